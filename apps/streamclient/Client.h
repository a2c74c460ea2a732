#pragma once

#include <cstdint>
#include <string>

#include "lib/VoltTcp.h"

class CTcpClientView;

// The stream test client: sends blocks, counts what the stack takes and what comes back,
// and times an echo test.
class CTcpClient final : public CVoltTcp {
public:
    static constexpr uint16_t kEchoPort = 7;
    static constexpr uint8_t kTraceFlags = kFlagTrace;

    explicit CTcpClient(CTcpClientView& view);

    // Aborts whatever runs, then connects.
    bool Open(uint8_t flags, const std::string& host, uint16_t port);
    // Starts the echo test: the block is sent as soon as the connection is up.
    bool StartEcho(uint8_t flags, const std::string& host, uint16_t port);

    // The outgoing text padded with zero bytes or cut to total bytes.
    static std::string BuildBlock(const std::string& text, uint32_t total);
    // Sends the block reps times; true when every Send was accepted.
    bool SendBlock(const std::string& text, uint32_t total, uint32_t reps);

    bool EchoMode() const { return m_echoMode; }
    uint32_t BytesReceived() const { return m_bytesReceived; }
    uint32_t BytesSent() const { return m_bytesSent; }
    uint32_t ExpectedEcho() const { return m_expectedEcho; }

    // The report appended at the end of an echo test.
    static std::string ThroughputReport(uint32_t bytes, uint64_t elapsedMs);

protected:
    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* hostName) override;
    void OnReceive(const char* data, uint32_t length) override;
    void OnSent(uint32_t tag) override;
    void OnException(uint8_t code, const char* text) override;

private:
    static uint64_t TickCount();

    bool m_echoMode = false;
    uint64_t m_startTime = 0;
    uint32_t m_bytesReceived = 0;
    uint32_t m_bytesSent = 0;
    uint32_t m_expectedEcho = 0;
    CTcpClientView& m_view;
};
