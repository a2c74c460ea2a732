#include "ftp/FtpData.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "ftp/FtpControl.h"
#include "ftp/FtpTypes.h"
#include "ftp/VoltFtp.h"
#include "lib/ErrorText.h"

namespace {

bool WriteAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// Fills the block unless the file ends first; -1 on a read error.
ssize_t ReadBlock(int fd, char* buffer, size_t size)
{
    size_t total = 0;
    while (total < size) {
        const ssize_t got = ::read(fd, buffer + total, size - total);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        total += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

}  // namespace

CFtpData::CFtpData(CFtpControl& control) : m_control(control)
{}

CFtpData::~CFtpData()
{
    *m_alive = false;
    if (m_control.m_data == this)
        m_control.m_data = nullptr;
    if (m_file != -1)
        ::close(m_file);
}

void CFtpData::OnConnect(const char*, uint16_t, const char*, uint16_t, const char*)
{
    m_stop = false;
    m_connected = true;
    const auto alive = m_alive;
    const uint8_t head = m_control.Queue().HeadId();
    if (head == kFtpCmdRest || IsFtpTransfer(head) || head == kFtpCmdList || head == kFtpCmdNlst)
        m_control.Queue().SendNext();
    if (!*alive)
        return;
    // An upload starts once its command is current, whichever of the two came first.
    if (IsFtpUpload(m_control.CurrentCommand()))
        StartUpload();
    if (!*alive)
        return;
    SetReceiveSize(m_control.BlockSize());
}

bool CFtpData::OpenLocalFile(EOpenMode mode)
{
    m_blockCount = 0;
    m_byteTotal = 0;
    const std::string& name = m_control.LocalFile();
    if (name.empty())
        return true;
    CloseLocalFile();
    const int64_t offset = m_control.RestartOffset();
    if (offset != 0) {
        m_file = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
        if (m_file != -1 && ::lseek(m_file, offset, SEEK_SET) < 0) {
            ::close(m_file);
            m_file = -1;
        }
    } else if (mode == EOpenMode::kDownload) {
        m_file = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } else {
        m_file = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (m_file == -1) {
        m_control.Owner().OnException(kExcFtpLocal, "Unable to open local file");
        return false;
    }
    char resolved[PATH_MAX];
    m_path = ::realpath(name.c_str(), resolved) ? resolved : name;
    return true;
}

void CFtpData::CloseLocalFile()
{
    if (m_file == -1)
        return;
    ::close(m_file);
    m_file = -1;
    m_fileDone = true;
}

bool CFtpData::IsDownload() const
{
    return m_file == -1 && !m_fileDone && !m_uploadStarted && !m_control.LocalFile().empty() &&
           m_control.CurrentCommand() == kFtpCmdRetr;
}

void CFtpData::OnReceive(const char* data, uint32_t length)
{
    const auto alive = m_alive;
    if (data == nullptr) {
        OnClosed();
        return;
    }
    // Only a download writes the local file: an upload's name must never be truncated.
    if (IsDownload() && !OpenLocalFile(EOpenMode::kDownload)) {
        if (*alive)
            Close(false);
        return;
    }
    if (m_file == -1) {
        m_control.Owner().OnTransferData(data, length);
        return;
    }
    if (length == 0)
        return;
    if (!WriteAll(m_file, data, length)) {
        m_control.Owner().OnException(ExcNoSockets, "Failure writing to local file...transfer aborting");
        if (!*alive)
            return;
        char line[16];
        std::snprintf(line, sizeof line, "ABOR%s", "\r\n");
        m_control.SendCommand(line, kFtpCmdAbor);
        if (*alive)
            Close(true);
        return;
    }
    ++m_blockCount;
    m_byteTotal += length;
    m_control.Owner().OnTransferProgress(m_control.CurrentCommand(), m_blockCount, m_byteTotal,
                                         m_path.c_str());
}

void CFtpData::OnClosed()
{
    const auto alive = m_alive;
    if (IsDownload()) {
        // Nothing arrived. The empty file is made only once the server has said the
        // transfer succeeded: a refused RETR must not empty an existing local file.
        if (m_control.HasPending())
            FinishEmptyDownload(m_control.CurrentCommand());
        else
            m_emptyDownload = true;
        if (!*alive)
            return;
    } else if (m_file != -1) {
        CloseLocalFile();
        m_control.Owner().OnTransferProgress(m_control.CurrentCommand(), 0, m_byteTotal, m_path.c_str());
        if (!*alive)
            return;
    } else if (!m_fileDone) {
        m_control.Owner().OnTransferData(nullptr, 0);
        if (!*alive)
            return;
    }
    m_control.ReleasePending(this);
}

void CFtpData::FinishEmptyDownload(uint8_t command)
{
    m_emptyDownload = false;
    const auto alive = m_alive;
    if (!OpenLocalFile(EOpenMode::kDownload) || !*alive)
        return;
    CloseLocalFile();
    m_control.Owner().OnTransferProgress(command, 0, 0, m_path.c_str());
}

void CFtpData::StartUpload()
{
    if (m_uploadStarted || GetState() != Connected)
        return;
    m_uploadStarted = true;
    UploadStep(0, true);
}

void CFtpData::OnSent(uint32_t tag)
{
    if (m_uploadStarted)
        UploadStep(tag, false);
}

bool CFtpData::SendBlock()
{
    const uint32_t size = m_control.BlockSize();
    const ssize_t got = ReadBlock(m_file, m_buffer.get(), size);
    if (got < 0) {
        const auto alive = m_alive;
        m_control.Owner().OnException(ExcNoSockets, "Failure reading from local file");
        if (*alive)
            Close(false);
        return false;
    }
    const auto alive = m_alive;
    if (got > 0) {
        ++m_blockCount;
        const auto count = static_cast<uint32_t>(got);
        if (!Send(m_buffer.get(), count, false, m_blockCount) || !*alive)
            return false;
        m_byteTotal += count;
        m_control.Owner().OnTransferProgress(m_control.CurrentCommand(), m_blockCount, m_byteTotal,
                                             m_path.c_str());
        if (!*alive)
            return false;
    }
    if (static_cast<uint32_t>(got) < size) {
        Close(false);  // the queued blocks go out before the connection ends
        return false;
    }
    return true;
}

void CFtpData::UploadStep(uint32_t tag, bool first)
{
    if (GetState() != Connected)
        return;
    const auto alive = m_alive;
    if (first && !m_control.LocalFile().empty()) {
        m_buffer.reset(new (std::nothrow) char[m_control.BlockSize()]);
        if (!m_buffer) {
            Close(false);
            return;
        }
        if (!OpenLocalFile(EOpenMode::kUpload)) {
            if (*alive)
                Close(false);
            return;
        }
        if (!SendBlock() || !*alive)
            return;
    }
    if (m_stop)
        return;
    if (m_file == -1) {
        m_control.Owner().OnTransferReady(tag);
        return;
    }
    SendBlock();
}

void CFtpData::OnException(uint8_t code, const char* text)
{
    // The closing event ends the transfer; a lost data connection is no news of its own.
    if (code == ExcConnectionLost)
        return;
    // A passive connection that never came up: the transfer command waiting for it must not
    // go out later on its own.
    if (!m_connected && GetState() == Closed)
        m_control.Queue().Clear();
    m_control.Owner().OnException(code, text);
}
