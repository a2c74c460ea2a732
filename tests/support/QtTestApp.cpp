#include "tests/support/QtTestApp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include "apps/common/LoopBridge.h"
#include "apps/common/TraceWindow.h"

void EnsureQtTestApp(const char* title)
{
    if (QApplication::instance()) {
        QApplication::setApplicationDisplayName(title);
        return;
    }
    std::signal(SIGPIPE, SIG_IGN);
    static int argc = 3;
    static char arg0[] = "tests";
    static char arg1[] = "-platform";
    static char arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    // Kept for the life of the process: Qt must outlive every form the tests create.
    static auto* app = new QApplication(argc, argv);
    static auto* bridge = new CQtLoopBridge();
    (void)app;
    (void)bridge;
    CTraceWindow::Install();
    QApplication::setApplicationDisplayName(title);
}

bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeout.count()) {
            return false;
        }
        QTest::qWait(2);
    }
    return true;
}

void SpinFor(std::chrono::milliseconds duration)
{
    QTest::qWait(static_cast<int>(duration.count()));
}

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

namespace {

sockaddr_in Loopback(unsigned short port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

CTestSocket CTestSocket::Connect(unsigned short port)
{
    CTestSocket s(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(port);
    if (connect(s.m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS) {
        s.Close();
    }
    return s;
}

CTestSocket CTestSocket::Listen()
{
    CTestSocket s(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(0);
    if (bind(s.m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(s.m_fd, 16) != 0) {
        s.Close();
    }
    return s;
}

unsigned short CTestSocket::Port() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

CTestSocket CTestSocket::Accept(std::chrono::milliseconds timeout)
{
    int fd = -1;
    SpinUntil(
        [&] {
            fd = accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            return fd >= 0;
        },
        timeout);
    return CTestSocket(fd);
}

bool CTestSocket::WaitConnected(std::chrono::milliseconds timeout)
{
    return SpinUntil(
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
    return SpinUntil(
        [&] {
            while (done < bytes.size()) {
                const ssize_t n = send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
                if (n <= 0) {
                    break;
                }
                done += static_cast<std::size_t>(n);
            }
            return done == bytes.size();
        },
        timeout);
}

std::string CTestSocket::Receive(std::size_t count, std::chrono::milliseconds timeout)
{
    std::string bytes;
    char buffer[65536];
    SpinUntil(
        [&] {
            while (bytes.size() < count) {
                const ssize_t n = recv(m_fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
                if (n == 0) {
                    m_peerClosed = true;
                    return true;
                }
                if (n < 0) {
                    break;
                }
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
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < duration.count()) {
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n == 0) {
            m_peerClosed = true;
            break;
        }
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        QTest::qWait(2);
    }
    return bytes;
}
