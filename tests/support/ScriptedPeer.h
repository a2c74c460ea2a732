#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The other end of a network test on 127.0.0.1, written with plain sockets so that it shares
// no code with the library under test. Every wait runs the event loop (RunLoop.h), so the
// component keeps working, and is bounded by its time-out.

// A scripted TCP peer for tests of protocol components and programs: it listens on a free
// port, accepts one connection, sends what the script says and reads what the component
// sent.
class CScriptedPeer final {
public:
    using Ms = std::chrono::milliseconds;

    CScriptedPeer();  // listening already; Port() tells where
    // A peer that connects out instead, to 127.0.0.1:port (as an FTP server opens an
    // active-mode data connection); Connected() tells whether it got through.
    static std::unique_ptr<CScriptedPeer> ConnectTo(uint16_t port, Ms timeout = Ms(10000));
    ~CScriptedPeer();
    CScriptedPeer(const CScriptedPeer&) = delete;
    CScriptedPeer& operator=(const CScriptedPeer&) = delete;

    uint16_t Port() const { return m_port; }
    bool Accept(Ms timeout = Ms(10000));
    // Hands the accepted connection to a peer of its own, so that Accept takes the next.
    std::unique_ptr<CScriptedPeer> TakeConnection();
    bool Connected() const { return m_fd >= 0; }
    // The source port of the accepted connection (0 without one).
    uint16_t PeerPort() const;

    bool Send(const std::string& bytes, Ms timeout = Ms(10000));
    // Sends each piece on its own, running the event loop for `gap` in between, so that the
    // component meets the pieces in separate reads.
    bool SendPieces(const std::vector<std::string>& pieces, Ms gap = Ms(20));
    // Sends the bytes as urgent data: the last one is the byte the urgent pointer marks.
    bool SendUrgent(const std::string& bytes);
    // Everything received up to and including the next CR LF, or "" after the time-out.
    std::string ReadLine(Ms timeout = Ms(10000));
    // Reads until count bytes or the peer's close; whatever arrived.
    std::string Read(size_t count, Ms timeout = Ms(10000));
    // Reads until the component closes the connection; false on time-out.
    bool WaitClosed(Ms timeout = Ms(10000));
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

// A datagram peer bound to a port of 127.0.0.1 that the system chooses.
class CDatagramPeer final {
public:
    CDatagramPeer();
    ~CDatagramPeer();
    CDatagramPeer(const CDatagramPeer&) = delete;
    CDatagramPeer& operator=(const CDatagramPeer&) = delete;

    uint16_t Port() const { return m_port; }
    void SendTo(uint16_t port, const std::string& datagram);
    // Every datagram received so far, in order.
    const std::vector<std::string>& Received();

private:
    int m_fd = -1;
    uint16_t m_port = 0;
    std::vector<std::string> m_received;
};
