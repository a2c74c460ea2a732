#include "ftp/FtpControl.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "ftp/FtpData.h"
#include "ftp/FtpListen.h"
#include "ftp/FtpReplyRules.h"
#include "ftp/FtpTypes.h"
#include "ftp/VoltFtp.h"
#include "lib/ErrorText.h"
#include "telnet/TelnetCodes.h"

namespace {

std::string LoginField(const char* text)
{
    return std::string(text, strnlen(text, CFtpControl::kLoginFieldSize - 1));
}

const char* TransferWord(uint8_t id)
{
    switch (id) {
    case kFtpCmdRetr: return "RETR";
    case kFtpCmdStor: return "STOR";
    case kFtpCmdStou: return "STOU";
    case kFtpCmdAppe: return "APPE";
    case kFtpCmdList: return "LIST";
    case kFtpCmdNlst: return "NLST";
    default: return nullptr;
    }
}

}  // namespace

CFtpControl::CFtpControl(CVoltFtp& owner) : m_queue(*this), m_owner(owner)
{}

CFtpControl::~CFtpControl()
{
    *m_alive = false;
    m_queue.Clear();
    delete m_listener;
    delete m_data;
}

void CFtpControl::SetLogin(const char* user, const char* password, const char* account)
{
    if (user)
        m_user = LoginField(user);
    if (password)
        m_password = LoginField(password);
    if (account)
        m_account = LoginField(account);
}

void CFtpControl::OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                            uint16_t localPort, const char* localHostName)
{
    m_currentType = kFtpTypeAscii;
    m_currentCommand = kFtpCmdGreeting;
    m_localAddress = localAddress;
    m_remoteAddress = remoteAddress;
    m_replies.Clear();
    m_pending.clear();
    m_owner.OnConnect(remoteAddress, remotePort, localAddress, localPort, localHostName);
}

void CFtpControl::OnException(uint8_t code, const char* text)
{
    // The end of the control connection is told by the closing reply alone.
    if (code != ExcConnectionLost)
        m_owner.OnException(code, text);
}

void CFtpControl::OnTelnetData(const char* data, uint32_t length)
{
    if (data == nullptr) {
        OnControlClosed();
        return;
    }
    if (!m_replies.Append(data, length)) {
        m_owner.OnException(ExcResources, "Unable to allocate buffer");
        return;
    }
    const auto alive = m_alive;
    const uint32_t closes = m_closeCount;
    std::string reply;
    for (;;) {
        const CFtpReplyAssembler::EResult result = m_replies.Next(reply);
        if (result == CFtpReplyAssembler::kNeedMore)
            return;
        if (result == CFtpReplyAssembler::kBadData) {
            const std::string bad = m_replies.Buffered();
            m_replies.Clear();
            m_owner.OnCommandEcho("Bad Control Data Received");
            if (*alive)
                m_owner.OnCommandEcho(bad.c_str());
            if (*alive)
                m_owner.OnCommandEcho("Buffers Reset");
            return;
        }
        Interpret(reply);
        // A reply's event may have closed the connection (or ended the component).
        if (!*alive || closes != m_closeCount)
            return;
    }
}

void CFtpControl::OnControlClosed()
{
    ++m_closeCount;
    m_replies.Clear();
    m_pending.clear();
    DestroyListener();
    DestroyData();
    m_owner.OnReply(kReplyComplete, kFtpCmdNone, 0, "");
}

void CFtpControl::Report(uint8_t status, uint8_t command, unsigned code, const char* text)
{
    if (status == kReplyUnexpected || status == kReplyFailed)
        DestroyListener();
    m_owner.OnReply(status, command, code, text);
}

void CFtpControl::CompleteOrContinue(uint8_t command, unsigned code, const char* text)
{
    if (m_queue.IsEmpty()) {
        Report(kReplyComplete, command, code, text);
        return;
    }
    const auto alive = m_alive;
    Report(kReplyProgress, command, code, text);
    if (*alive)
        m_queue.SendNext();
}

void CFtpControl::Interpret(const std::string& received)
{
    const uint8_t command = m_currentCommand;
    m_currentCommand = kFtpCmdIdle;
    const char* filtered = received.c_str();
    uint32_t length = static_cast<uint32_t>(received.size());
    m_owner.OnReplyFilter(filtered, length);
    if (length == 0)
        return;
    const std::string reply(filtered, length);
    const char* text = reply.c_str();
    const unsigned code = ReplyCode(reply);
    if (command == kFtpCmdIdle) {
        Report(kReplyUnsolicited, kFtpCmdIdle, code, text);
        return;
    }
    if (code >= 400 || code == 0)
        m_queue.Clear();

    const auto alive = m_alive;
    switch (ClassifyReply(code, command)) {
    case kActUnexpected: Report(kReplyUnexpected, command, code, text); break;
    case kActComplete:
        if (command == kFtpCmdType)
            m_currentType = m_requestedType;
        CompleteOrContinue(command, code, text);
        break;
    case kActProgress:
        m_currentCommand = command;
        Report(kReplyProgress, command, code, text);
        break;
    case kActStarted:
        m_currentCommand = command;
        Report(IsFtpTransfer(command) || command == kFtpCmdList || command == kFtpCmdNlst ? kReplyProgress
                                                                                          : kReplyUnexpected,
               command, code, text);
        break;
    case kActFailed: Report(kReplyFailed, command, code, text); break;
    case kActLogin:
        if (m_user.empty()) {
            Report(kReplyComplete, command, code, text);
            break;
        }
        Report(kReplyProgress, command, code, text);
        if (*alive)
            SendCommand(("USER " + m_user + "\r\n").c_str(), kFtpCmdUser);
        break;
    case kActSendPass:
        Report(kReplyProgress, command, code, text);
        if (*alive)
            SendCommand(("PASS " + m_password + "\r\n").c_str(), kFtpCmdPass);
        break;
    case kActSendAcct: SendCommand(("ACCT " + m_account + "\r\n").c_str(), kFtpCmdAcct); break;
    case kActUnsolicited: Report(kReplyUnsolicited, command, code, text); break;
    case kActTransferEnd: TransferEnd(command, code, text); break;
    case kActPassive:
        if (m_queue.IsEmpty()) {
            Report(kReplyComplete, command, code, text);
            break;
        }
        Report(kReplyProgress, command, code, text);
        if (*alive)
            OpenPassive(reply);
        break;
    }
}

void CFtpControl::TransferEnd(uint8_t command, unsigned code, const char* text)
{
    CFtpData* data = m_data;
    if (data == nullptr && m_listener == nullptr) {
        // No data connection exists and none is on its way (an ABOR with nothing running):
        // holding the reply would leave the engine busy for good.
        CompleteOrContinue(command, code, text);
        return;
    }
    if (data != nullptr && data->GetState() == CVoltTcp::Closed) {
        const auto alive = m_alive;
        if (data->AwaitsEmptyDownload()) {
            data->FinishEmptyDownload(command);
            if (!*alive)
                return;
        }
        DestroyData();
        CompleteOrContinue(command, code, text);
        return;
    }
    // The data connection is still open (or not yet accepted): report once it has closed.
    m_currentCommand = command;
    m_pending.assign(text, strnlen(text, kPendingSize - 1));
}

bool CFtpControl::ReleasePending(CFtpData* data)
{
    if (m_pending.empty())
        return false;
    const uint8_t command = m_currentCommand;
    m_currentCommand = kFtpCmdIdle;
    const std::string text = std::move(m_pending);
    m_pending.clear();
    if (m_data == data)
        DestroyData();
    CompleteOrContinue(command, 226, text.c_str());
    return true;
}

CFtpData* CFtpControl::NewData()
{
    DestroyData();
    m_data = new (std::nothrow) CFtpData(*this);
    if (!m_data)
        m_owner.OnException(ExcResources, "Insufficient Memory");
    return m_data;
}

void CFtpControl::DestroyData()
{
    delete m_data;  // its destructor clears m_data
    m_data = nullptr;
}

void CFtpControl::DestroyListener()
{
    delete m_listener;
    m_listener = nullptr;
}

void CFtpControl::StartListener()
{
    DestroyListener();
    m_listener = new (std::nothrow) CFtpListen(*this);
    if (!m_listener) {
        m_queue.Clear();
        m_owner.OnException(ExcResources, "Insufficient Memory");
        return;
    }
    const auto alive = m_alive;
    if (!m_listener->Listen(m_flags, m_localAddress.c_str(), 0, m_listenTimeout) && *alive) {
        // Without a listener the transfer command must not follow.
        m_queue.Clear();
        DestroyListener();
    }
}

void CFtpControl::OpenPassive(const std::string& reply)
{
    SPassiveAddress address;
    if (!ParsePassiveReply(reply, address)) {
        // Nothing to connect to: the rest of the sequence would run without its data connection.
        m_queue.Clear();
        m_owner.OnException(kExcFtpLocal, "No address in the PASV reply");
        return;
    }
    std::string host = address.host;
    if (!m_remoteAddress.empty() && host != m_remoteAddress) {
        // A server must not send the client to another host.
        const std::string note = "PASV address " + host + " ignored; data connection to " + m_remoteAddress;
        host = m_remoteAddress;
        const auto alive = m_alive;
        m_owner.OnCommandEcho(note.c_str());
        if (!*alive)
            return;
    }
    CFtpData* data = NewData();
    if (data)
        data->Connect(m_flags, host.c_str(), address.port);
}

bool CFtpControl::SendCommand(const char* line, uint8_t id)
{
    if (GetState() != Connected) {
        m_owner.OnException(ExcNotConnected, "Control Connection Closed");
        return false;
    }
    if (id == kFtpCmdAbor) {
        if (m_data)
            m_data->Stop();
        SendTelnetCommand(kTelnetIp, 0, nullptr, 0, 0);
        SendTelnetCommand(kTelnetDm, 0, nullptr, 0, 1);
    } else if (id != kFtpCmdQuit && id != kFtpCmdGreeting && m_currentCommand != kFtpCmdIdle) {
        m_owner.OnException(ExcInterface, "FTP Command in Progress");
        return false;
    }
    m_currentCommand = id;
    const char* text = line;
    auto length = static_cast<uint32_t>(std::strlen(line));
    const auto alive = m_alive;
    m_owner.OnCommandFilter(text, length);
    if (!*alive)
        return false;
    if (length == 0)
        return true;
    Send(text, length, false, 0);
    if (!*alive)
        return false;
    std::string echo(text, length >= 2 ? length - 2 : 0);
    if (echo.size() > kEchoLimit)
        echo.resize(kEchoLimit);
    m_owner.OnCommandEcho(echo.c_str());
    if (!*alive)
        return true;
    // An upload whose data connection is already up starts now.
    if (IsFtpUpload(id) && m_data)
        m_data->StartUpload();
    return true;
}

bool CFtpControl::QueueTransfer(uint8_t id, const char* localFile, const char* remoteName, uint32_t blockSize,
                                uint8_t type, bool passive, uint16_t listenTimeout)
{
    const char* word = TransferWord(id);
    if (!word)
        return false;
    const bool hasFile = localFile && *localFile;
    if ((id == kFtpCmdStor || id == kFtpCmdStou) && hasFile && ::access(localFile, F_OK) != 0) {
        m_owner.OnException(kExcFtpLocal, "Local file not present");
        return false;
    }
    m_blockSize = blockSize ? blockSize : kDefaultBlockSize;
    m_listenTimeout = listenTimeout;
    static const char* const kTypes[] = {"A", "E", "I"};
    bool ok = true;
    if (type <= kFtpTypeImage)
        ok = m_queue.Add("TYPE", kTypes[type], kFtpCmdType);
    ok = ok && (passive ? m_queue.Add("PASV", "", kFtpCmdPasv) : m_queue.Add("", "", kFtpCmdPort));
    if (ok && (id == kFtpCmdRetr || id == kFtpCmdStor) && m_restartOffset > 0) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "%lld", static_cast<long long>(m_restartOffset));
        ok = m_queue.Add("REST", offset, kFtpCmdRest);
    }
    ok = ok && m_queue.Add(word, remoteName ? remoteName : "", id, hasFile ? localFile : "");
    if (!ok)
        m_owner.OnException(ExcResources, "Insufficient Memory");
    return ok;
}

bool CFtpControl::SendData(const char* data, uint32_t length)
{
    return m_data ? m_data->Send(data, length, false, 0) : false;
}

bool CFtpControl::CloseData()
{
    if (!m_data)
        return false;
    m_data->Close(false);
    return true;
}

void CFtpControl::Kill()
{
    const auto alive = m_alive;
    if (m_data)
        m_data->Close(true);
    if (*alive)
        Close(false);
}
