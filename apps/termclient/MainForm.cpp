#include "apps/termclient/MainForm.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>

#include "apps/common/About.h"
#include "apps/common/Application.h"
#include "apps/common/Profile.h"
#include "apps/termclient/Prefs.h"
#include "apps/termclient/Settings.h"

namespace {

constexpr const char* kSection = "TELNET";
constexpr const char* kCaption = "VoltTCP Telnet - Vt320 Sample";
constexpr std::size_t kHostBuffer = 100;
constexpr std::size_t kPathBuffer = 4096;
constexpr std::size_t kValueBuffer = 16;

// The settings' words for the encodings and key layouts.
constexpr const char* kUtf8 = "utf-8";
constexpr const char* kEightBit = "8bit";
constexpr const char* kLabels = "labels";
constexpr const char* kDec = "dec";

}  // namespace

bool TfrmMain::LocaleIsUtf8()
{
    // The character set of the locale the environment names, as the C library resolves it;
    // a locale that is not installed is judged by its name.
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale != static_cast<locale_t>(nullptr)) {
        const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
        freelocale(locale);
        return utf8;
    }
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value == nullptr || *value == '\0')
            continue;
        const QString name = QString::fromLocal8Bit(value).toLower();
        return name.contains("utf-8") || name.contains("utf8");
    }
    return false;
}

TfrmMain::TfrmMain(CProfile& profile, TfrmAbout* about, QWidget* parent, std::optional<bool> encoding)
    : QMainWindow(parent), m_profile(profile), m_about(about)
{
    setObjectName("TfrmMain");
    setWindowTitle(kCaption);
    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(i == 0 ? "StatusPanel0" : "StatusPanel1");
        m_panels[i]->setFrameShape(QFrame::StyledPanel);
        statusBar()->addWidget(m_panels[i], i == 0 ? 0 : 1);
    }
    m_panels[0]->setMinimumWidth(220);
    statusBar()->setObjectName("StatusBar");
    SetStatus(0, "Not Connected");

    m_settings = new TfrmSettings(this);
    m_prefs = new TfrmPrefs(this);
    connect(m_prefs, &TfrmPrefs::StatusCleared, this, [this] { SetStatus(1, QString()); });
    connect(m_prefs, &TfrmPrefs::Applied, this, &TfrmMain::SaveTerminalSettings);
    m_runSettings = [this] { return m_settings->exec() == QDialog::Accepted; };
    m_runPrefs = [this] { m_prefs->exec(); };
    m_askLogFile = [this] {
        QFileDialog dialog(this, QString(), QString(), "Log Files (*.log)");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("log");
        dialog.selectFile("termclient.log");
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first()
                   : QString();
    };

    // The terminal's own widget fills the area above the status bar and follows its size.
    auto* area = new QWidget(this);
    area->setObjectName("TerminalArea");
    setCentralWidget(area);
    // Print output goes to this file when no printer is configured.
    const std::string printFile = m_profile.GetString(kSection, "PrintFile", "", kPathBuffer);
    m_client = std::make_unique<CTelnetClient>(*this, area, QString::fromStdString(printFile));
    m_client->m_host = m_profile.GetString(kSection, "Host", "", kHostBuffer);
    m_client->m_port = TfrmSettings::PortFromText(
        QString::fromStdString(m_profile.GetString(kSection, "Port", "telnet", kValueBuffer)));
    LoadTerminalSettings(encoding);
    CVtWidget* terminal = m_client->TerminalWindow();
    terminal->setParent(nullptr);
    setCentralWidget(terminal);

    BuildMenus();
    terminal->SetReservedKeys({mnuCopy->shortcut(), mnuPaste->shortcut()});
    SetConnectedMenus(false);
    // 80 x 24 at the font's size; from here on the terminal follows the window.
    resize(terminal->sizeHint() +
           QSize(0, menuBar()->sizeHint().height() + statusBar()->sizeHint().height()));
    // Half that at least: room for the caption, the status panels and a usable screen.
    terminal->setMinimumSize(terminal->sizeHint() / 2);
    m_client->SetFollowWindow(true);
}

void TfrmMain::LoadTerminalSettings(std::optional<bool> encoding)
{
    const std::string stored = m_profile.GetString(kSection, "Encoding", "", kValueBuffer);
    const bool utf8 = encoding ? *encoding : stored.empty() ? LocaleIsUtf8() : stored == kUtf8;
    m_client->SetProperty(kVtPropUtf8, utf8);
    m_client->SetKeyLayout(m_profile.GetString(kSection, "Keyboard", kLabels, kValueBuffer) == kDec
                               ? kKeyLayoutDec
                               : kKeyLayoutLabels);
    m_client->SetProperty(kVtPropBackspaceSendsBs,
                          m_profile.GetString(kSection, "BackspaceDel", "1", kValueBuffer) == "0");
    m_client->SetAltSendsEscape(m_profile.GetString(kSection, "AltEscape", "1", kValueBuffer) != "0");
    // The history's length as the dialog takes it (up to four digits); anything else is the default.
    bool ok = false;
    const int rows =
        QString::fromStdString(m_profile.GetString(kSection, "BufferRows", "", kValueBuffer)).toInt(&ok);
    m_client->SetProperty(kVtPropScrollbackRows,
                          ok && rows >= 0 && rows <= 9999 ? rows : CTelnetClient::kScrollbackRows);
    const int printLimit =
        QString::fromStdString(m_profile.GetString(kSection, "PrintJobLimit", "", kValueBuffer)).toInt(&ok);
    m_client->Emulator().Printer().SetJobLimit(ok && printLimit >= 1 &&
                                                       printLimit <= TfrmPrefs::kMaxPrintLimitMb
                                                   ? static_cast<uint64_t>(printLimit) * TfrmPrefs::kMegabyte
                                                   : CVtPrinter::kDefaultJobLimit);
}

void TfrmMain::SaveTerminalSettings()
{
    m_profile.WriteString(kSection, "Encoding", m_client->GetProperty(kVtPropUtf8) != 0 ? kUtf8 : kEightBit);
    m_profile.WriteString(kSection, "Keyboard", m_client->KeyLayout() == kKeyLayoutDec ? kDec : kLabels);
    m_profile.WriteString(kSection, "BackspaceDel",
                          m_client->GetProperty(kVtPropBackspaceSendsBs) != 0 ? "0" : "1");
    m_profile.WriteString(kSection, "AltEscape", m_client->AltSendsEscape() ? "1" : "0");
    m_profile.WriteString(kSection, "BufferRows",
                          std::to_string(m_client->GetProperty(kVtPropScrollbackRows)));
    m_profile.WriteString(kSection, "PrintJobLimit",
                          std::to_string(m_client->Emulator().Printer().JobLimit() / TfrmPrefs::kMegabyte));
}

TfrmMain::~TfrmMain()
{
    m_client.reset();  // the log closes, the terminal window goes before the form's children
}

void TfrmMain::BuildMenus()
{
    const auto action = [this](QMenu* menu, const QString& text, const char* name, void (TfrmMain::*slot)()) {
        QAction* item = menu->addAction(text);
        item->setObjectName(name);
        connect(item, &QAction::triggered, this, slot);
        return item;
    };
    QMenu* connection = menuBar()->addMenu("&Connect");
    mnuRemoteSystem =
        action(connection, "&Remote System...", "mnuRemoteSystem", &TfrmMain::mnuRemoteSystemClick);
    mnuDisconnect = action(connection, "&Disconnect", "mnuDisconnect", &TfrmMain::mnuDisconnectClick);
    connection->addSeparator();
    mnuExit = connection->addAction("E&xit");
    mnuExit->setObjectName("mnuExit");
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu("&Edit");
    mnuCopy = action(edit, "&Copy", "mnuCopy", &TfrmMain::mnuCopyClick);
    mnuPaste = action(edit, "&Paste", "mnuPaste", &TfrmMain::mnuPasteClick);
    // Ctrl+C and Ctrl+V belong to the host; with Shift they are the clipboard's.
    mnuCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    mnuPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    mnuSelectAll = action(edit, "Select &All", "mnuSelectAll", &TfrmMain::mnuSelectAllClick);
    edit->addSeparator();
    mnuPreferences = action(edit, "P&references...", "mnuPreferences", &TfrmMain::mnuPreferencesClick);

    QMenu* log = menuBar()->addMenu("&Log");
    mnuLogStart = action(log, "&Start...", "mnuLogStart", &TfrmMain::mnuLogStartClick);
    mnuLogStop = action(log, "S&top", "mnuLogStop", &TfrmMain::mnuLogStopClick);
    mnuLogStop->setEnabled(false);  // until a log runs

    QMenu* help = menuBar()->addMenu("&Help");
    mnuAbout = action(help, "&About VoltTCP", "mnuAbout", &TfrmMain::mnuAboutClick);
}

QString TfrmMain::Status(int panel) const
{
    return m_panels[panel & 1]->text();
}

void TfrmMain::SetStatus(int panel, const QString& text)
{
    m_panels[panel & 1]->setText(text);
}

void TfrmMain::SetConnectedMenus(bool connected)
{
    // Copy stays: the screen and history outlive the connection.
    mnuRemoteSystem->setEnabled(!connected);
    mnuDisconnect->setEnabled(connected);
    mnuPaste->setEnabled(connected);
}

void TfrmMain::SetTitle(const QString& title)
{
    setWindowTitle(title.isEmpty() ? QString(kCaption) : title);
}

void TfrmMain::PasteSelection()
{
    Paste(QApplication::clipboard()->supportsSelection() ? QClipboard::Selection : QClipboard::Clipboard);
}

void TfrmMain::FocusTerminal()
{
    if (CVtWidget* terminal = m_client->TerminalWindow())
        terminal->setFocus();
}

void TfrmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FocusTerminal();
}

void TfrmMain::ConnectTo(const QString& host, uint16_t port)
{
    m_client->m_host = host.toStdString();
    m_client->m_port = port;
    m_profile.WriteString(kSection, "Host", m_client->m_host);
    m_profile.WriteString(kSection, "Port", std::to_string(port));
    SetStatus(0, "Connecting .....");
    SetStatus(1, QString());
    m_client->Connect(0, m_client->m_host.c_str(), m_client->m_port);
}

void TfrmMain::mnuRemoteSystemClick()
{
    m_settings->SetHost(QString::fromStdString(m_client->m_host));
    m_settings->SetPort(m_client->m_port);
    if (m_runSettings())
        ConnectTo(m_settings->Host(), m_settings->Port());
}

void TfrmMain::mnuDisconnectClick()
{
    m_client->Close(false);
}

void TfrmMain::mnuCopyClick()
{
    const QString text = m_client->SelectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void TfrmMain::mnuPasteClick()
{
    Paste(QClipboard::Clipboard);
}

void TfrmMain::Paste(QClipboard::Mode mode)
{
    const QString text = QApplication::clipboard()->text(mode);
    if (text.isEmpty() || m_client->GetState() != CVoltTcp::Connected)
        return;
    QByteArray bytes;
    if (m_client->GetProperty(kVtPropUtf8) != 0) {
        bytes = text.toUtf8();
    } else {
        // 8-bit text: characters beyond it cannot be sent as they are.
        bytes.resize(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t ch = text.at(i).unicode();
            bytes[i] = ch <= 0xFF ? static_cast<char>(ch) : '?';
        }
    }
    m_client->Send(bytes.constData(), static_cast<uint32_t>(bytes.size()));
}

void TfrmMain::mnuSelectAllClick()
{
    const VtValue rows = m_client->GetProperty(kVtPropRows) + m_client->GetProperty(kVtPropScrollbackRows);
    m_client->SetProperty(kVtPropSelectionStart, 1);
    m_client->SetProperty(kVtPropSelectionLength, rows * (m_client->GetProperty(kVtPropColumns) + 2));
}

void TfrmMain::mnuPreferencesClick()
{
    m_prefs->Fill(*m_client);
    m_runPrefs();
    FocusTerminal();
}

void TfrmMain::mnuLogStartClick()
{
    const QString path = m_askLogFile();
    if (!path.isEmpty() && !m_client->Logging())
        m_client->StartLog(path.toStdString());
    mnuLogStop->setEnabled(m_client->Logging());
}

void TfrmMain::mnuLogStopClick()
{
    m_client->StopLog();
    mnuLogStop->setEnabled(false);
}

void TfrmMain::mnuAboutClick()
{
    if (m_about != nullptr)
        m_about->ShowAbout();
}
