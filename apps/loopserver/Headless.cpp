#include "apps/loopserver/Headless.h"

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <memory>

#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "apps/loopserver/Server.h"
#include "lib/MessageLoop.h"
#include "lib/VoltTcp.h"

namespace {

// Every connection needs a descriptor; take all the system allows this process.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

class CFd final {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

}  // namespace

CHeadlessServer::CHeadlessServer(std::FILE* log) : m_log(log) {}

int CHeadlessServer::Run(uint16_t port) {
    RaiseDescriptorLimit();
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        Log("error: cannot block signals: %s", std::strerror(errno));
        return 1;
    }
    const CFd signals(signalfd(-1, &stopSignals, SFD_CLOEXEC));
    const CFd poller(epoll_create1(EPOLL_CLOEXEC));
    CMessageLoop& loop = CMessageLoop::Instance();
    epoll_event interest{};
    interest.events = EPOLLIN;
    interest.data.fd = signals.Get();
    bool ready = signals.Get() >= 0 && poller.Get() >= 0 &&
                 epoll_ctl(poller.Get(), EPOLL_CTL_ADD, signals.Get(), &interest) == 0;
    interest.data.fd = loop.Fd();
    ready = ready && epoll_ctl(poller.Get(), EPOLL_CTL_ADD, loop.Fd(), &interest) == 0;
    if (!ready) {
        Log("error: cannot watch the event loop: %s", std::strerror(errno));
        return 1;
    }

    CEchoServerView& view = *this;
    auto server = std::make_unique<CEchoServer>(view);
    server->SetPort(port);
    if (!server->StartListening()) {
        return 1;
    }
    bool stop = false;
    while (!stop) {
        // The library's loop first runs whatever is already due, then waits with the signals.
        loop.RunOnce(0);
        epoll_event events[2];
        const int n = epoll_wait(poller.Get(), events, 2, -1);
        if (n < 0 && errno != EINTR) {
            Log("error: %s", std::strerror(errno));
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (events[i].data.fd == signals.Get()) {
                signalfd_siginfo info{};
                if (read(signals.Get(), &info, sizeof info) == sizeof info) {
                    Log("stopping on signal %u", info.ssi_signo);
                }
                stop = true;
            }
        }
    }
    server.reset();
    loop.RunOnce(0);
    Log("stopped");
    return 0;
}

void CHeadlessServer::Log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(m_log, format, args);
    va_end(args);
    std::fputc('\n', m_log);
    std::fflush(m_log);
}

void CHeadlessServer::OnServerListening(uint16_t port) {
    Log("SERVER ON: listening on port %u", port);
}

void CHeadlessServer::OnServerStopped() {
    Log("SERVER OFF");
}

void CHeadlessServer::OnConnectionCount(uint32_t connections) {
    Log("Active Connections: %u", connections);
}

void CHeadlessServer::OnServerError(const char* text, bool closed) {
    Log("error: %s%s", text, closed ? " (server closed)" : "");
}

void CHeadlessServer::OnConnectionOpened(const char* address, uint16_t port) {
    Log("connection from %s:%u", address, port);
}

void CHeadlessServer::OnConnectionError(const char* text) {
    Log("connection: %s", text);
}
