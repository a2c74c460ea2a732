#pragma once

#include <cstdint>
#include <cstdio>

#include "apps/loopserver/EchoServerView.h"

// The echo server without a window: what the form would show becomes log lines, and
// SIGINT or SIGTERM ends the run cleanly.
class CHeadlessServer final : private CEchoServerView {
public:
    explicit CHeadlessServer(std::FILE* log);

    // Returns the process exit code: 0 after a signal, 1 when listening failed.
    int Run(uint16_t port);

private:
    void OnServerListening(uint16_t port) override;
    void OnServerStopped() override;
    void OnConnectionCount(uint32_t connections) override;
    void OnServerError(const char* text, bool closed) override;
    void OnConnectionOpened(const char* address, uint16_t port) override;
    void OnConnectionError(const char* text) override;

    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    std::FILE* m_log;
};
