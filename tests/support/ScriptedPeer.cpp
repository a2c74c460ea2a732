#include "tests/support/ScriptedPeer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "lib/MessageLoop.h"

bool RunLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        CMessageLoop::Instance().RunOnce(5);
    }
    return true;
}

void RunLoopFor(std::chrono::milliseconds duration)
{
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < deadline)
        CMessageLoop::Instance().RunOnce(5);
}

CScriptedPeer::CScriptedPeer()
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listen >= 0 && ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::listen(m_listen, 4) == 0 &&
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
}

std::unique_ptr<CScriptedPeer> CScriptedPeer::ConnectTo(uint16_t port, Ms timeout)
{
    std::unique_ptr<CScriptedPeer> peer(new CScriptedPeer(SOutgoing{}));
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (fd < 0)
        return peer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return peer;
    }
    const bool connected = RunLoopUntil(
        [fd] {
            pollfd entry{fd, POLLOUT, 0};
            return ::poll(&entry, 1, 0) == 1;
        },
        timeout);
    int error = 0;
    socklen_t length = sizeof error;
    if (!connected || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        ::close(fd);
        return peer;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    peer->m_fd = fd;
    return peer;
}

CScriptedPeer::~CScriptedPeer()
{
    Close(true);
}

bool CScriptedPeer::Accept(Ms timeout)
{
    if (m_fd >= 0)
        return true;
    RunLoopUntil(
        [this] {
            m_fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            return m_fd >= 0;
        },
        timeout);
    if (m_fd >= 0) {
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_peerClosed = false;
        m_in.clear();
    }
    return m_fd >= 0;
}

bool CScriptedPeer::Send(const std::string& bytes, Ms timeout)
{
    size_t sent = 0;
    return RunLoopUntil(
               [&] {
                   if (m_fd < 0)
                       return true;
                   const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                   if (n > 0)
                       sent += static_cast<size_t>(n);
                   else if (n < 0 && errno != EAGAIN)
                       return true;
                   return sent == bytes.size();
               },
               timeout) &&
           sent == bytes.size();
}

bool CScriptedPeer::SendUrgent(const std::string& bytes)
{
    return m_fd >= 0 && ::send(m_fd, bytes.data(), bytes.size(), MSG_OOB | MSG_NOSIGNAL) ==
                            static_cast<ssize_t>(bytes.size());
}

bool CScriptedPeer::Fill(Ms timeout, const std::function<bool()>& done)
{
    return RunLoopUntil(
        [&] {
            if (done())
                return true;
            if (m_fd < 0 || m_peerClosed)
                return true;
            char buffer[65536];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n > 0)
                m_in.append(buffer, static_cast<size_t>(n));
            else if (n == 0 || errno != EAGAIN)
                m_peerClosed = true;
            return done();
        },
        timeout);
}

std::string CScriptedPeer::ReadLine(Ms timeout)
{
    Fill(timeout, [this] { return m_in.find("\r\n") != std::string::npos; });
    const size_t end = m_in.find("\r\n");
    if (end == std::string::npos)
        return "";
    std::string line = m_in.substr(0, end + 2);
    m_in.erase(0, end + 2);
    return line;
}

std::string CScriptedPeer::Read(size_t count, Ms timeout)
{
    Fill(timeout, [&] { return m_in.size() >= count; });
    std::string out = m_in.substr(0, count);
    m_in.erase(0, out.size());
    return out;
}

bool CScriptedPeer::WaitClosed(Ms timeout)
{
    Fill(timeout, [] { return false; });
    return m_peerClosed;
}

std::string CScriptedPeer::Drain(Ms duration)
{
    const auto deadline = std::chrono::steady_clock::now() + duration;
    Fill(duration, [&] { return std::chrono::steady_clock::now() >= deadline; });
    std::string out;
    out.swap(m_in);
    return out;
}

void CScriptedPeer::Close(bool listener)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (listener && m_listen >= 0) {
        ::close(m_listen);
        m_listen = -1;
    }
}

void CScriptedPeer::Reset()
{
    if (m_fd >= 0) {
        linger value{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &value, sizeof value);
    }
    Close();
}
