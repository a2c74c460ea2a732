#include "tests/support/ScriptedPeer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/Loopback.h"
#include "tests/support/RunLoop.h"

CScriptedPeer::CScriptedPeer() : m_listen(BindLoopback(SOCK_STREAM | SOCK_NONBLOCK))
{
    if (m_listen >= 0 && ::listen(m_listen, 4) == 0)
        m_port = LocalPort(m_listen);
}

std::unique_ptr<CScriptedPeer> CScriptedPeer::ConnectTo(uint16_t port, Ms timeout)
{
    std::unique_ptr<CScriptedPeer> peer(new CScriptedPeer(SOutgoing{}));
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return peer;
    const bool connected = RunUntil(
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
    RunUntil(
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

uint16_t CScriptedPeer::PeerPort() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (m_fd < 0 || ::getpeername(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

std::unique_ptr<CScriptedPeer> CScriptedPeer::TakeConnection()
{
    std::unique_ptr<CScriptedPeer> peer(new CScriptedPeer(SOutgoing{}));
    std::swap(peer->m_fd, m_fd);
    std::swap(peer->m_peerClosed, m_peerClosed);
    std::swap(peer->m_in, m_in);
    return peer;
}

bool CScriptedPeer::Send(const std::string& bytes, Ms timeout)
{
    size_t sent = 0;
    return RunUntil(
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

bool CScriptedPeer::SendPieces(const std::vector<std::string>& pieces, Ms gap)
{
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            RunFor(gap);
        if (!Send(pieces[i]))
            return false;
    }
    return true;
}

bool CScriptedPeer::SendUrgent(const std::string& bytes)
{
    return m_fd >= 0 && ::send(m_fd, bytes.data(), bytes.size(), MSG_OOB | MSG_NOSIGNAL) ==
                            static_cast<ssize_t>(bytes.size());
}

bool CScriptedPeer::Fill(Ms timeout, const std::function<bool()>& done)
{
    return RunUntil(
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

CDatagramPeer::CDatagramPeer() : m_fd(BindLoopback(SOCK_DGRAM | SOCK_NONBLOCK)), m_port(LocalPort(m_fd))
{
    // Room for a few datagrams of the largest size, whatever the system's default.
    const int size = 1 << 20;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

CDatagramPeer::~CDatagramPeer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void CDatagramPeer::SendTo(uint16_t port, const std::string& datagram)
{
    const sockaddr_in address = LoopbackAddress(port);
    ::sendto(m_fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&address),
             sizeof address);
}

const std::vector<std::string>& CDatagramPeer::Received()
{
    std::string buffer(70000, '\0');
    ssize_t n;
    while ((n = ::recv(m_fd, buffer.data(), buffer.size(), 0)) >= 0)
        m_received.emplace_back(buffer.data(), static_cast<size_t>(n));
    return m_received;
}
