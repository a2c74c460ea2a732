#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// A login server of tests/peers for one test program: the script's "serve DIR PORT..."
// becomes the server's own inetd on 127.0.0.1, is stopped by its pid and never outlives
// the object. The test account it logs into is shared by every such server on the machine,
// so a machine-wide lock is held from Start to Stop, and the account is locked again after.
class CPeerServer final {
public:
    static constexpr const char* kAccount = "volttcp-tester";

    // script: the path of a tests/peers script that knows "serve" and "lock".
    explicit CPeerServer(std::string script);
    ~CPeerServer();
    CPeerServer(const CPeerServer&) = delete;
    CPeerServer& operator=(const CPeerServer&) = delete;

    // Starts the server on ports free ports; empty once it listens on all of them, else why not.
    std::string Start(size_t ports);
    void Stop();

    uint16_t Port(size_t index) const { return m_ports.at(index); }
    const std::string& Password() const { return m_password; }
    const std::string& Directory() const { return m_dir; }
    std::string Log() const;  // the inetd's output

    // True when a socket listens on 127.0.0.1:port.
    static bool Listening(uint16_t port);

private:
    std::string Launch();
    void StopServer();

    std::string m_script;
    std::string m_dir;
    std::vector<uint16_t> m_ports;
    std::string m_password;
    int m_lock = -1;
    pid_t m_pid = -1;
};
