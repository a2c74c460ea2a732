#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The other end of a network test on 127.0.0.1, written with plain sockets so that it shares
// no code with the library under test. Every wait runs the event loop (RunLoop.h).

// A stream peer: a listener that accepts, or one connection that sends and records bytes.
class CTestSocket final {
public:
    CTestSocket() = default;
    explicit CTestSocket(int fd) : m_fd(fd) {}
    ~CTestSocket();
    CTestSocket(CTestSocket&& other) noexcept;
    CTestSocket& operator=(CTestSocket&& other) noexcept;
    CTestSocket(const CTestSocket&) = delete;
    CTestSocket& operator=(const CTestSocket&) = delete;

    // A connection to 127.0.0.1:port, started; WaitConnected() tells when it is up.
    static CTestSocket Connect(uint16_t port);
    // A listener on a port of 127.0.0.1 that the system chooses; Port() tells which.
    static CTestSocket Listen();
    uint16_t Port() const;
    CTestSocket Accept(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    bool WaitConnected(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool SendAll(const std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Sends each piece on its own, running the event loop for `gap` in between, so that the
    // other end meets the pieces in separate reads.
    bool SendPieces(const std::vector<std::string>& pieces,
                    std::chrono::milliseconds gap = std::chrono::milliseconds(20));
    // Reads until count bytes arrived (or the peer closed, or time ran out).
    std::string Receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Reads whatever arrives within the duration.
    std::string Drain(std::chrono::milliseconds duration);
    bool PeerClosed() const { return m_peerClosed; }
    void Close();

private:
    int m_fd = -1;
    bool m_peerClosed = false;
};

// A datagram peer bound to a port of 127.0.0.1 that the system chooses.
class CTestDatagramSocket final {
public:
    CTestDatagramSocket();
    ~CTestDatagramSocket();
    CTestDatagramSocket(const CTestDatagramSocket&) = delete;
    CTestDatagramSocket& operator=(const CTestDatagramSocket&) = delete;

    uint16_t Port() const { return m_port; }
    void SendTo(uint16_t port, const std::string& datagram);
    // Every datagram received so far, in order.
    const std::vector<std::string>& Received();

private:
    int m_fd = -1;
    uint16_t m_port = 0;
    std::vector<std::string> m_received;
};
