#pragma once

#include <chrono>
#include <functional>
#include <string>

class QWidget;

// One offscreen QApplication for the whole test program, with the library's loop running
// inside it and trace views as windows, as in the programs.
void EnsureQtTestApp(const char* title);

// Spins Qt's loop (and with it the library's) until done() or the time-out; true when done.
bool SpinUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
void SpinFor(std::chrono::milliseconds duration);

// A non-blocking test peer on 127.0.0.1 whose waits spin the event loop.
class CTestSocket final {
public:
    CTestSocket() = default;
    explicit CTestSocket(int fd) : m_fd(fd) {}
    ~CTestSocket();
    CTestSocket(CTestSocket&& other) noexcept;
    CTestSocket& operator=(CTestSocket&& other) noexcept;
    CTestSocket(const CTestSocket&) = delete;
    CTestSocket& operator=(const CTestSocket&) = delete;

    static CTestSocket Connect(unsigned short port);
    // A listener on port 0; Port() tells which one the system chose.
    static CTestSocket Listen();
    unsigned short Port() const;
    CTestSocket Accept(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    bool IsOpen() const { return m_fd >= 0; }
    int Fd() const { return m_fd; }
    bool WaitConnected(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool SendAll(const std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(10));
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
