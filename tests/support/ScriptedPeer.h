#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// A scripted TCP peer on 127.0.0.1 for tests of protocol components: it listens on a free
// port, accepts one connection, sends what the script says and reads what the component
// sent. Every wait runs the library's message loop, so the component keeps working, and is
// bounded by its time-out.
class CScriptedPeer final {
public:
    using Ms = std::chrono::milliseconds;

    CScriptedPeer();  // listening already; Port() tells where
    // A peer that connects out instead, to 127.0.0.1:port (as an FTP server opens an
    // active-mode data connection); Connected() tells whether it got through.
    static std::unique_ptr<CScriptedPeer> ConnectTo(uint16_t port, Ms timeout = Ms(5000));
    ~CScriptedPeer();
    CScriptedPeer(const CScriptedPeer&) = delete;
    CScriptedPeer& operator=(const CScriptedPeer&) = delete;

    uint16_t Port() const { return m_port; }
    bool Accept(Ms timeout = Ms(5000));
    bool Connected() const { return m_fd >= 0; }

    bool Send(const std::string& bytes, Ms timeout = Ms(5000));
    // Sends the bytes as urgent data: the last one is the byte the urgent pointer marks.
    bool SendUrgent(const std::string& bytes);
    // Everything received up to and including the next CR LF, or "" after the time-out.
    std::string ReadLine(Ms timeout = Ms(5000));
    // Reads until count bytes or the peer's close; whatever arrived.
    std::string Read(size_t count, Ms timeout = Ms(5000));
    // Reads until the component closes the connection; false on time-out.
    bool WaitClosed(Ms timeout = Ms(5000));
    // What arrived within the duration, without waiting for more.
    std::string Drain(Ms duration = Ms(50));
    // Closes the accepted connection (and stops listening when listener is true).
    void Close(bool listener = false);
    // Closes with a reset instead of a FIN.
    void Reset();

private:
    struct SOutgoing {};
    explicit CScriptedPeer(SOutgoing) {}
    bool Fill(Ms timeout, const std::function<bool()>& done);

    int m_listen = -1;
    int m_fd = -1;
    uint16_t m_port = 0;
    bool m_peerClosed = false;
    std::string m_in;
};

// Runs the library's loop until done() or the time-out; true when done.
bool RunLoopUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(5));
void RunLoopFor(std::chrono::milliseconds duration);
