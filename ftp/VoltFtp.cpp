#include "ftp/VoltFtp.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "ftp/FtpControl.h"
#include "lib/ErrorText.h"

namespace {

constexpr uint16_t kFtpPort = 21;
constexpr size_t kPortDigits = 8;
constexpr uint32_t kListBlockSize = 8192;

bool HasLineBreak(const char* text)
{
    return text && std::strpbrk(text, "\r\n") != nullptr;
}

}  // namespace

CVoltFtp::CVoltFtp() : m_control(std::make_unique<CFtpControl>(*this))
{}

CVoltFtp::~CVoltFtp() = default;

void CVoltFtp::OnConnect(const char*, uint16_t, const char*, uint16_t, const char*)
{}
void CVoltFtp::OnTransferData(const char*, uint32_t)
{}
void CVoltFtp::OnTransferProgress(uint8_t, uint32_t, uint64_t, const char*)
{}
void CVoltFtp::OnTransferReady(uint32_t)
{}
void CVoltFtp::OnException(uint8_t, const char*)
{}
void CVoltFtp::OnCommandFilter(const char*&, uint32_t&)
{}
void CVoltFtp::OnReplyFilter(const char*&, uint32_t&)
{}

bool CVoltFtp::Connect(const char* host, const char* localAddress, const char* user, const char* password,
                       const char* account, uint8_t flags)
{
    m_control->Queue().Clear();
    if (Refused(user, password) || Refused(account))
        return false;
    if (m_control->GetState() != CVoltTcp::Closed) {
        OnException(ExcSessionInUse, "Resetting Control Connection");
        m_control->Close(true);
    }
    m_control->SetLogin(user, password, account);
    m_control->SetFlags(flags);
    std::string name = host ? host : "";
    uint16_t port = kFtpPort;
    if (const size_t colon = name.find(':'); colon != std::string::npos) {
        const std::string digits = name.substr(colon + 1, kPortDigits);
        const long value = std::strtol(digits.c_str(), nullptr, 10);
        if (value > 0 && value <= 65535)
            port = static_cast<uint16_t>(value);
        name.resize(colon);
    }
    return m_control->Connect(flags, name.c_str(), port, localAddress);
}

bool CVoltFtp::Refused(const char* text, const char* other)
{
    // CR or LF inside would smuggle a second command onto the control connection.
    if (!HasLineBreak(text) && !HasLineBreak(other))
        return false;
    OnException(kExcFtpLocal, "Line break in FTP command");
    return true;
}

bool CVoltFtp::QueueChecked(const char* word, const char* argument, uint8_t id)
{
    if (Refused(word, argument))
        return false;
    return m_control->Queue().Add(word, argument ? argument : "", id);
}

bool CVoltFtp::Quote(const char* command)
{
    return QueueChecked(command ? command : "", "", kFtpCmdIdle);
}

bool CVoltFtp::ChangeDir(const char* directory)
{
    return QueueChecked("CWD", directory, kFtpCmdCwd);
}

bool CVoltFtp::ChangeDirUp()
{
    return QueueChecked("CDUP", "", kFtpCmdCdup);
}

bool CVoltFtp::Quit()
{
    return QueueChecked("QUIT", "", kFtpCmdQuit);
}

bool CVoltFtp::Rename(const char* oldName, const char* newName)
{
    if (Refused(oldName, newName))
        return false;
    return QueueChecked("RNFR", oldName, kFtpCmdRnfr) && QueueChecked("RNTO", newName, kFtpCmdRnto);
}

bool CVoltFtp::Abort()
{
    return m_control->SendCommand("ABOR\r\n", kFtpCmdAbor);
}

bool CVoltFtp::Delete(const char* file)
{
    return QueueChecked("DELE", file, kFtpCmdDele);
}

bool CVoltFtp::RemoveDir(const char* directory)
{
    return QueueChecked("RMD", directory, kFtpCmdRmd);
}

bool CVoltFtp::MakeDir(const char* directory)
{
    return QueueChecked("MKD", directory, kFtpCmdMkd);
}

bool CVoltFtp::PrintDir()
{
    return QueueChecked("PWD", "", kFtpCmdPwd);
}

bool CVoltFtp::Help(const char* topic)
{
    return QueueChecked("HELP", topic, kFtpCmdHelp);
}

bool CVoltFtp::System()
{
    return QueueChecked("SYST", "", kFtpCmdSyst);
}

bool CVoltFtp::Status(const char* path)
{
    return QueueChecked("STAT", path, kFtpCmdStat);
}

bool CVoltFtp::Noop()
{
    return QueueChecked("NOOP", "", kFtpCmdNoop);
}

bool CVoltFtp::Site(const char* command)
{
    return QueueChecked("SITE", command, kFtpCmdSite);
}

void CVoltFtp::Kill()
{
    m_control->Kill();
}

bool CVoltFtp::Transfer(uint8_t id, const char* localFile, const char* remoteFile, uint32_t blockSize,
                        uint8_t type, bool passive, uint16_t listenTimeout)
{
    if (Refused(remoteFile))
        return false;
    return m_control->QueueTransfer(id, localFile, remoteFile, blockSize, type, passive, listenTimeout);
}

bool CVoltFtp::Retrieve(const char* localFile, const char* remoteFile, uint32_t blockSize, uint8_t type,
                        bool passive, uint16_t listenTimeout)
{
    return Transfer(kFtpCmdRetr, localFile, remoteFile, blockSize, type, passive, listenTimeout);
}

bool CVoltFtp::Store(const char* localFile, const char* remoteFile, uint32_t blockSize, uint8_t type,
                     bool passive, uint16_t listenTimeout)
{
    return Transfer(kFtpCmdStor, localFile, remoteFile, blockSize, type, passive, listenTimeout);
}

bool CVoltFtp::StoreUnique(const char* localFile, const char* remoteFile, uint32_t blockSize, uint8_t type,
                           bool passive, uint16_t listenTimeout)
{
    return Transfer(kFtpCmdStou, localFile, remoteFile, blockSize, type, passive, listenTimeout);
}

bool CVoltFtp::Append(const char* localFile, const char* remoteFile, uint32_t blockSize, uint8_t type,
                      bool passive, uint16_t listenTimeout)
{
    return Transfer(kFtpCmdAppe, localFile, remoteFile, blockSize, type, passive, listenTimeout);
}

bool CVoltFtp::List(const char* fileSpec, bool passive, uint16_t listenTimeout)
{
    return Transfer(kFtpCmdList, nullptr, fileSpec, kListBlockSize, kFtpTypeAscii, passive, listenTimeout);
}

bool CVoltFtp::NameList(const char* fileSpec, bool passive, uint16_t listenTimeout)
{
    return Transfer(kFtpCmdNlst, nullptr, fileSpec, kListBlockSize, kFtpTypeAscii, passive, listenTimeout);
}

void CVoltFtp::SetRestart(int64_t offset)
{
    m_control->SetRestart(offset);
}

bool CVoltFtp::SendData(const char* data, uint32_t length)
{
    return m_control->SendData(data, length);
}

bool CVoltFtp::CloseData()
{
    return m_control->CloseData();
}

uint8_t CVoltFtp::GetState() const
{
    return m_control->GetState();
}

uint8_t CVoltFtp::CurrentCommand() const
{
    return m_control->CurrentCommand();
}
