#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>

#include "apps/loopserver/EchoServerView.h"

// The echo server without a window: what the form would show becomes log lines, and
// SIGINT or SIGTERM ends the run cleanly. With more than one worker, each worker is a process
// of its own with its own loop, listening on the shared port; the kernel spreads new
// connections over them, so the echo work can use every processor.
class CHeadlessServer final : private CEchoServerView {
public:
    // errors: where a failure that the user must act on is explained (standard error).
    CHeadlessServer(std::FILE* log, std::FILE* errors);

    // Returns the process exit code: 0 after a signal, 1 when listening failed.
    int Run(uint16_t port, unsigned workers = 1);

private:
    // One server on this process's loop; readyFd (when not -1) gets a byte once it listens.
    int Serve(uint16_t port, const sigset_t& stopSignals, int readyFd);
    int Supervise(uint16_t port, unsigned workers, const sigset_t& stopSignals);

    void OnServerListening(uint16_t port) override;
    void OnServerStopped() override;
    void OnConnectionCount(uint32_t connections) override;
    void OnServerError(const char* text, bool closed) override;
    void OnConnectionOpened(const char* address, uint16_t port) override;
    void OnConnectionError(const char* text) override;

    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Writes the lines held while serving: whole lines, in as few writes as possible.
    void FlushLog();
    // A port below 1024 refused for lack of privilege: say how to choose another.
    void ExplainRefusal(uint16_t port, int error);

    std::FILE* m_log;
    std::FILE* m_errors;
    std::string m_prefix;  // names the worker in its log lines
    // While serving, lines wait here until the loop is about to sleep: a burst of connects
    // then costs one write, not four per connection.
    std::string m_pending;
    bool m_holdLog = false;
};
