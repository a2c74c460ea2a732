#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ftp/VoltFtp.h"

class IFtpClientView;

// The texts of the command fields when a command is run.
struct SCommandFields {
    std::string remoteFile;
    std::string localFile;  // also the new name of RENAME
    std::string bufferSize;
    std::string restart;
    bool autoSpool = true;
    bool passive = false;
    bool binary = true;
};

// The FTP program's client: runs the commands of the form, shows what the component reports,
// and does the file work itself when a transfer is not spooled by the component.
class CFtpClient final : public CVoltFtp {
public:
    static constexpr uint16_t kListenTimeout = 60;
    static constexpr size_t kLogLimit = 20000;

    explicit CFtpClient(IFtpClientView& view);
    ~CFtpClient() override;

    // Runs the command chosen or typed in the combo box; any other text is sent as typed.
    void Run(const std::string& command, const SCommandFields& fields);
    bool SpoolingItself() const { return m_file != -1; }
    uint64_t ByteCount() const { return m_byteCount; }

    // "%lu Bytes/Sec" of bytes over the milliseconds; under 1 ms counts as 1 ms.
    static std::string RateText(uint64_t bytes, uint64_t elapsedMs);
    static uint64_t TickCount();

protected:
    void OnConnect(const char* remoteHost, uint16_t remotePort, const char* localAddress, uint16_t localPort,
                   const char* localHostName) override;
    void OnCommandEcho(const char* text) override;
    void OnTransferData(const char* data, uint32_t length) override;
    void OnTransferProgress(uint8_t command, uint32_t blockCount, uint64_t byteTotal,
                            const char* localPath) override;
    void OnReply(uint8_t status, uint8_t command, unsigned code, const char* text) override;
    void OnTransferReady(uint32_t tag) override;
    void OnException(uint8_t code, const char* text) override;

private:
    void Transfer(const std::string& command, const SCommandFields& fields);
    void ShowRate();
    void CloseOwnFile();

    uint64_t m_byteCount = 0;
    uint64_t m_startTime = 0;
    std::unique_ptr<char[]> m_uploadBuffer;
    uint32_t m_uploadBufferSize = 0;
    int m_file = -1;
    IFtpClientView& m_view;
};
