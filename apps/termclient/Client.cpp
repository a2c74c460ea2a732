#include "apps/termclient/Client.h"

#include "telnet/TelnetCodes.h"
#include "telnet/TelnetPolicy.h"
#include "telnet/TelnetWriter.h"

namespace {

// The terminal's answers without the window size, which the client sends itself.
std::string SizelessAnswer(uint8_t command, uint8_t option)
{
    if (option == kTelnetOptNaws && command == kTelnetDo)
        return CTelnetWriter::Command(kTelnetWill, option);
    return CTelnetPolicy::TerminalAnswer(command, option);
}

}  // namespace

CTelnetClient::CTelnetClient(ITelnetClientView& view, QWidget* parent, const QString& pdfPath)
    : CVoltVt(pdfPath), m_view(view)
{
    CreateTerminalWindow(parent);
    SetProperty(kVtPropEnabled, 1);
    SetProperty(kVtPropCaretVisible, 0);
    SetProperty(kVtPropScrollbackRows, kScrollbackRows);
    // What today's hosts expect of a terminal; the form applies the user's preferences.
    SetProperty(kVtPropBackspaceSendsBs, 0);
    SetKeyLayout(kKeyLayoutLabels);
    SetAltSendsEscape(true);
    QFont font(CVtWidget::kDecFamily);
    font.setPixelSize(16);
    SetFont(font);
}

CTelnetClient::~CTelnetClient()
{
    StopLog();
}

bool CTelnetClient::StartLog(const std::string& path)
{
    if (m_log != nullptr)
        return false;
    m_log = std::fopen(path.c_str(), "wb");
    return m_log != nullptr;
}

void CTelnetClient::StopLog()
{
    if (m_log != nullptr)
        std::fclose(m_log);
    m_log = nullptr;
}

void CTelnetClient::OnConnect(const char* remoteAddress, uint16_t, const char*, uint16_t, const char*)
{
    m_nawsAgreed = false;
    m_view.SetTitle(QString());
    m_view.SetConnectedMenus(true);
    SetProperty(kVtPropClearAll, 1);
    SetProperty(kVtPropCaretVisible, 1);
    m_view.FocusTerminal();
    m_view.SetStatus(0, QString::asprintf("Connected to %s", remoteAddress != nullptr ? remoteAddress : ""));
}

void CTelnetClient::OnException(uint8_t, const char* text)
{
    m_view.SetStatus(1, QString::asprintf("EXCEPTION: %s", text != nullptr ? text : ""));
    if (GetState() == CVoltTcp::Closed)
        m_view.SetStatus(0, "Not Connected");
}

void CTelnetClient::OnTelnetData(const char* data, uint32_t length)
{
    if (data == nullptr || length == 0) {
        // The screen and the history stay, for the user to read and copy.
        m_nawsAgreed = false;
        m_view.SetStatus(0, "Not Connected");
        m_view.SetConnectedMenus(false);
        SetProperty(kVtPropCaretVisible, 0);
        return;
    }
    FeedTerminal(reinterpret_cast<const uint8_t*>(data), length);
    if (m_log != nullptr)
        std::fwrite(data, 1, length, m_log);
}

void CTelnetClient::OnTelnetCommand(uint8_t command, uint8_t option, const char*, uint32_t)
{
    const auto columns = static_cast<uint16_t>(GetProperty(kVtPropColumns));
    const auto rows = static_cast<uint16_t>(GetProperty(kVtPropRows));
    if (option == kTelnetOptNaws && command == kTelnetSb) {
        SendAnswer(CTelnetPolicy::WindowSize(columns, rows));
        return;
    }
    const bool sizeAgreed = Options().LocalEnabled(kTelnetOptNaws);
    AnswerNegotiation(&SizelessAnswer, command, option);
    m_nawsAgreed = Options().LocalEnabled(kTelnetOptNaws);
    // The size is this window's, not the policy's, and goes along with the agreement.
    if (option == kTelnetOptNaws && m_nawsAgreed && !sizeAgreed)
        SendAnswer(CTelnetPolicy::WindowSize(columns, rows));
}

void CTelnetClient::OnScreenSize(int columns, int rows)
{
    if (!m_nawsAgreed || GetState() != CVoltTcp::Connected)
        return;
    SendAnswer(CTelnetPolicy::WindowSize(static_cast<uint16_t>(columns), static_cast<uint16_t>(rows)));
}

void CTelnetClient::OnWindowTitle(const QString& title)
{
    m_view.SetTitle(title);
}

void CTelnetClient::OnPasteSelection()
{
    m_view.PasteSelection();
}

void CTelnetClient::SendToHost(const uint8_t* bytes, size_t length)
{
    if (GetState() != CVoltTcp::Connected || bytes == nullptr || length == 0)
        return;
    Send(reinterpret_cast<const char*>(bytes), static_cast<uint32_t>(length));
    if (m_addLineFeed && bytes[0] == '\r')
        Send("\n", 1);
    if (!m_localEcho)
        return;
    if (m_feeding)
        m_pendingEcho.append(reinterpret_cast<const char*>(bytes), length);
    else
        FeedTerminal(bytes, length);
}

void CTelnetClient::FeedTerminal(const uint8_t* bytes, size_t length)
{
    m_feeding = true;
    ReceiveData(bytes, length);
    // Answers echoed meanwhile may produce answers of their own; bound the rounds.
    for (int round = 0; round < 4 && !m_pendingEcho.empty(); ++round) {
        const std::string echo = std::move(m_pendingEcho);
        m_pendingEcho.clear();
        ReceiveData(echo.data(), echo.size());
    }
    m_pendingEcho.clear();
    m_feeding = false;
}

void CTelnetClient::OnKeyNotify(uint32_t& key, uint32_t& shiftCode, bool extended)
{
    if (m_showEvents)
        m_view.SetStatus(1, QString::asprintf("KeyCode = %lu  ShiftCode = %lu  Extended = %s",
                                              static_cast<unsigned long>(key),
                                              static_cast<unsigned long>(shiftCode),
                                              extended ? "TRUE" : "FALSE"));
}

void CTelnetClient::OnMouse(int x, int y, uint32_t type, uint32_t keys)
{
    if (m_showEvents)
        m_view.SetStatus(1, QString::asprintf("xPos = %lu  yPos = %lu  cType = %lu  fwKeys = %lu",
                                              static_cast<unsigned long>(x), static_cast<unsigned long>(y),
                                              static_cast<unsigned long>(type),
                                              static_cast<unsigned long>(keys)));
}
