#include "tests/support/TestSocket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/Loopback.h"
#include "tests/support/RunLoop.h"

CTestSocket::~CTestSocket()
{
    Close();
}

CTestSocket::CTestSocket(CTestSocket&& other) noexcept : m_fd(other.m_fd), m_peerClosed(other.m_peerClosed)
{
    other.m_fd = -1;
}

CTestSocket& CTestSocket::operator=(CTestSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_peerClosed = other.m_peerClosed;
        other.m_fd = -1;
    }
    return *this;
}

void CTestSocket::Close()
{
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

CTestSocket CTestSocket::Connect(uint16_t port)
{
    return CTestSocket(ConnectLoopback(port));
}

CTestSocket CTestSocket::Listen()
{
    CTestSocket s(BindLoopback(SOCK_STREAM | SOCK_NONBLOCK));
    if (s.m_fd >= 0 && listen(s.m_fd, 16) != 0)
        s.Close();
    return s;
}

uint16_t CTestSocket::Port() const
{
    return LocalPort(m_fd);
}

CTestSocket CTestSocket::Accept(std::chrono::milliseconds timeout)
{
    int fd = -1;
    RunUntil(
        [&] {
            fd = accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            return fd >= 0;
        },
        timeout);
    return CTestSocket(fd);
}

bool CTestSocket::WaitConnected(std::chrono::milliseconds timeout)
{
    return RunUntil(
        [&] {
            sockaddr_in peer{};
            socklen_t length = sizeof peer;
            return getpeername(m_fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
        },
        timeout);
}

bool CTestSocket::SendAll(const std::string& bytes, std::chrono::milliseconds timeout)
{
    std::size_t done = 0;
    return RunUntil(
        [&] {
            while (done < bytes.size()) {
                const ssize_t n = send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                done += static_cast<std::size_t>(n);
            }
            return done == bytes.size();
        },
        timeout);
}

bool CTestSocket::SendPieces(const std::vector<std::string>& pieces, std::chrono::milliseconds gap)
{
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            RunFor(gap);
        if (!SendAll(pieces[i]))
            return false;
    }
    return true;
}

std::string CTestSocket::Receive(std::size_t count, std::chrono::milliseconds timeout)
{
    std::string bytes;
    char buffer[65536];
    RunUntil(
        [&] {
            while (bytes.size() < count) {
                const ssize_t n = recv(m_fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
                if (n == 0) {
                    m_peerClosed = true;
                    return true;
                }
                if (n < 0)
                    break;
                bytes.append(buffer, static_cast<std::size_t>(n));
            }
            return bytes.size() >= count;
        },
        timeout);
    return bytes;
}

std::string CTestSocket::Drain(std::chrono::milliseconds duration)
{
    std::string bytes;
    char buffer[65536];
    RunUntil(
        [&] {
            for (;;) {
                const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
                if (n == 0) {
                    m_peerClosed = true;
                    return true;
                }
                if (n < 0)
                    return false;
                bytes.append(buffer, static_cast<std::size_t>(n));
            }
        },
        duration);
    return bytes;
}

CTestDatagramSocket::CTestDatagramSocket()
    : m_fd(BindLoopback(SOCK_DGRAM | SOCK_NONBLOCK)), m_port(LocalPort(m_fd))
{
    // Room for a few datagrams of the largest size, whatever the system's default.
    const int size = 1 << 20;
    setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

CTestDatagramSocket::~CTestDatagramSocket()
{
    if (m_fd >= 0)
        close(m_fd);
}

void CTestDatagramSocket::SendTo(uint16_t port, const std::string& datagram)
{
    const sockaddr_in address = LoopbackAddress(port);
    sendto(m_fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&address),
           sizeof address);
}

const std::vector<std::string>& CTestDatagramSocket::Received()
{
    std::string buffer(70000, '\0');
    ssize_t n;
    while ((n = recv(m_fd, buffer.data(), buffer.size(), 0)) >= 0)
        m_received.emplace_back(buffer.data(), static_cast<std::size_t>(n));
    return m_received;
}
