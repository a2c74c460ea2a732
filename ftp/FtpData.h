#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "lib/VoltTcp.h"

class CFtpControl;

// One data connection: writes a download to the local file or hands it to the application,
// and pumps an upload out block by block, paced by OnSent so that at most two blocks wait.
class CFtpData final : public CVoltTcp {
public:
    explicit CFtpData(CFtpControl& control);
    ~CFtpData() override;  // unregisters from the control connection; closes the file

    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* localHostName) override;
    void OnReceive(const char* data, uint32_t length) override;
    void OnSent(uint32_t tag) override;
    void OnException(uint8_t code, const char* text) override;

    void Stop() { m_stop = true; }
    // Starts the upload once the connection is up and an upload command is current; a
    // second call does nothing.
    void StartUpload();
    bool UploadStarted() const { return m_uploadStarted; }
    // The connection closed before a RETR's success reply, with nothing received.
    bool AwaitsEmptyDownload() const { return m_emptyDownload; }
    // Creates the empty local file of a download that succeeded with no bytes.
    void FinishEmptyDownload(uint8_t command);

private:
    enum class EOpenMode : uint8_t { kDownload, kUpload };
    // False (and the exception raised) when the file cannot be opened; true with no file
    // when the transfer has none.
    bool OpenLocalFile(EOpenMode mode);
    void CloseLocalFile();
    bool IsDownload() const;
    void OnClosed();
    // One upload block: read, send with the block count as tag, report. False when the
    // upload has ended (short read or failure).
    bool SendBlock();
    void UploadStep(uint32_t tag, bool first);

    std::unique_ptr<char[]> m_buffer;
    CFtpControl& m_control;
    int m_file = -1;
    std::string m_path;  // full path name of the local file
    uint32_t m_blockCount = 0;
    uint64_t m_byteTotal = 0;
    bool m_stop = false;
    bool m_connected = false;
    bool m_uploadStarted = false;
    bool m_emptyDownload = false;
    bool m_fileDone = false;  // the transfer's file was opened and closed already
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
