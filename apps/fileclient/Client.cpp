#include "apps/fileclient/Client.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "apps/fileclient/ClientView.h"

namespace {

constexpr uint32_t kMaxBufferSize = 16u << 20;

// The number in a field; fallback when it is empty or not a number.
int64_t Number(const std::string& text, int64_t fallback)
{
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || errno != 0)
        return fallback;
    return value;
}

uint32_t BlockSize(const std::string& text)
{
    const int64_t value = Number(text, 8192);
    if (value <= 0)
        return 8192;
    return static_cast<uint32_t>(value > kMaxBufferSize ? kMaxBufferSize : value);
}

}  // namespace

CFtpClient::CFtpClient(IFtpClientView& view) : m_view(view)
{}

CFtpClient::~CFtpClient()
{
    CloseOwnFile();
}

uint64_t CFtpClient::TickCount()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

std::string CFtpClient::RateText(uint64_t bytes, uint64_t elapsedMs)
{
    char text[48];
    std::snprintf(text, sizeof text, "%" PRIu64 " Bytes/Sec",
                  bytes * 1000 / (elapsedMs == 0 ? 1 : elapsedMs));
    return text;
}

void CFtpClient::ShowRate()
{
    m_view.ShowRate(RateText(m_byteCount, TickCount() - m_startTime));
}

void CFtpClient::CloseOwnFile()
{
    if (m_file != -1)
        ::close(m_file);
    m_file = -1;
    m_uploadBuffer.reset();
    m_uploadBufferSize = 0;
}

void CFtpClient::Run(const std::string& command, const SCommandFields& fields)
{
    const char* remote = fields.remoteFile.c_str();
    if (command == "APPE" || command == "RETR" || command == "STOR" || command == "STOU")
        Transfer(command, fields);
    else if (command == "CDUP")
        ChangeDirUp();
    else if (command == "CWD")
        ChangeDir(remote);
    else if (command == "DELE")
        Delete(remote);
    else if (command == "HELP")
        Help(remote);
    else if (command == "LIST")
        List(remote, fields.passive, kListenTimeout);
    else if (command == "NLST")
        NameList(remote, fields.passive, kListenTimeout);
    else if (command == "MKD")
        MakeDir(remote);
    else if (command == "PWD")
        PrintDir();
    else if (command == "RENAME")
        Rename(remote, fields.localFile.c_str());
    else if (command == "RMD")
        RemoveDir(remote);
    else
        Quote(command.c_str());
}

void CFtpClient::Transfer(const std::string& command, const SCommandFields& fields)
{
    const uint8_t type = fields.binary ? kFtpTypeImage : kFtpTypeAscii;
    m_byteCount = 0;
    m_startTime = TickCount();
    m_view.ShowCount("0");
    m_view.ShowRate("");
    if (fields.remoteFile.empty() || fields.localFile.empty())
        return;
    const uint32_t blockSize = BlockSize(fields.bufferSize);
    const char* remote = fields.remoteFile.c_str();
    const bool download = command == "RETR";
    const char* local = nullptr;
    if (fields.autoSpool) {
        if (download || command == "STOR")
            SetRestart(Number(fields.restart, 0) < 0 ? 0 : Number(fields.restart, 0));
        local = fields.localFile.c_str();
    } else {
        if (m_file != -1)
            return;
        m_file = download ? ::open(fields.localFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                          : ::open(fields.localFile.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_file == -1)
            return;
        m_uploadBuffer.reset(new (std::nothrow) char[blockSize]());
        if (!m_uploadBuffer) {
            CloseOwnFile();
            return;
        }
        m_uploadBufferSize = blockSize;
        if (download || command == "STOR")
            SetRestart(0);
    }
    bool queued = false;
    if (download)
        queued = Retrieve(local, remote, blockSize, type, fields.passive, kListenTimeout);
    else if (command == "STOR")
        queued = Store(local, remote, blockSize, type, fields.passive, kListenTimeout);
    else if (command == "APPE")
        queued = Append(local, remote, blockSize, type, fields.passive, kListenTimeout);
    else
        queued = StoreUnique(local, remote, blockSize, type, fields.passive, kListenTimeout);
    if (!queued)
        CloseOwnFile();
}

void CFtpClient::OnConnect(const char*, uint16_t, const char*, uint16_t, const char*)
{
    m_view.ShowControl(true);
}

void CFtpClient::OnCommandEcho(const char* text)
{
    const std::string line = text;
    m_view.AppendLog("---> " + (line.find("PASS ") != std::string::npos ? std::string("PASS ******") : line) +
                     "\r\n");
}

void CFtpClient::OnTransferData(const char* data, uint32_t length)
{
    m_view.ShowData(length != 0);
    if (m_file != -1) {
        if (data == nullptr) {
            if (m_byteCount != 0)
                ShowRate();
            CloseOwnFile();
            return;
        }
        ssize_t written = 0;
        for (uint32_t done = 0; done < length; done += static_cast<uint32_t>(written)) {
            written = ::write(m_file, data + done, length - done);
            if (written < 0 && errno == EINTR) {
                written = 0;
            } else if (written <= 0) {
                // The component's own spooling aborts in this case; so does the program's.
                CloseOwnFile();
                m_view.AppendLog("Exception: Failure writing to local file...transfer aborting\r\n");
                Abort();
                return;
            }
        }
        m_byteCount += length;
        m_view.ShowCount(std::to_string(m_byteCount));
        return;
    }
    if (data == nullptr)
        return;
    if (m_view.LogLength() > kLogLimit)
        m_view.ClearLog();
    m_view.AppendLog(std::string(data, length));
}

void CFtpClient::OnTransferProgress(uint8_t, uint32_t blockCount, uint64_t byteTotal, const char*)
{
    if (blockCount != 0) {
        m_view.ShowCount(std::to_string(byteTotal));
        m_view.ShowData(true);
        return;
    }
    m_view.ShowRate(RateText(byteTotal, TickCount() - m_startTime));
    m_view.ShowData(false);
}

void CFtpClient::OnReply(uint8_t status, uint8_t, unsigned, const char* text)
{
    if (*text != '\0')
        m_view.AppendLog(text);
    else
        m_view.ShowControl(false);
    if (status == kReplyUnexpected || status == kReplyFailed)
        CloseOwnFile();
}

void CFtpClient::OnTransferReady(uint32_t)
{
    if (m_file == -1 || !m_uploadBuffer)
        return;
    ssize_t got;
    do {
        got = ::read(m_file, m_uploadBuffer.get(), m_uploadBufferSize);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        m_byteCount += static_cast<uint64_t>(got);
        m_view.ShowCount(std::to_string(m_byteCount));
        SendData(m_uploadBuffer.get(), static_cast<uint32_t>(got));
        m_view.ShowData(true);
        return;
    }
    ShowRate();
    CloseOwnFile();
    CloseData();
}

void CFtpClient::OnException(uint8_t, const char* text)
{
    m_view.AppendLog(std::string("Exception: ") + text + "\r\n");
}
