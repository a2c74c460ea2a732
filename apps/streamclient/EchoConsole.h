#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "apps/streamclient/ClientView.h"

// The echo test without a window: the same client and report, printed to a stream.
class CEchoConsole final : private CTcpClientView {
public:
    // A server that never reads or never answers must not hold the test for ever.
    static constexpr uint32_t kDefaultTimeoutSeconds = 30;

    struct COptions {
        std::string host;
        uint16_t port = 7;
        uint32_t size = 12;
        uint32_t reps = 1;
        uint32_t timeoutSeconds = kDefaultTimeoutSeconds;  // 0: wait as long as it takes
        uint8_t flags = 0;
    };

    explicit CEchoConsole(std::FILE* out);

    // 0 when every byte came back as it was sent, 1 otherwise.
    int Run(const COptions& options);

private:
    void OnClientConnected() override;
    void OnClientReceived(const char* data, uint32_t length, uint32_t totalReceived) override;
    void OnClientSubmitted(uint32_t totalSubmitted) override;
    void OnClientSent(uint32_t totalSent) override;
    void OnClientEchoDone(const std::string& report) override;
    void OnClientException(uint8_t code, const char* text) override;

    std::FILE* m_out;
    COptions m_options;
    class CTcpClient* m_client = nullptr;
    bool m_done = false;
    bool m_succeeded = false;
    std::string m_block;  // what each of the reps sent; the echo must repeat it
    bool m_differs = false;
};
