#include "apps/loopserver/Headless.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

#include "apps/loopserver/Server.h"
#include "lib/ErrorText.h"
#include "lib/MessageLoop.h"
#include "lib/SocketBinding.h"
#include "lib/VoltTcp.h"

namespace {

// Every connection needs a descriptor; take all the system allows this process.
void RaiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

class CFd final {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
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

// Every worker's listening socket joins the port's SO_REUSEPORT group.
int BindSharingThePort(int fd, const sockaddr* address, socklen_t length)
{
    const int one = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one) != 0) {
        return -1;
    }
    return NativeSocketBinding().bind(fd, address, length);
}

// Held log lines are written once this much has gathered, so a pass with many events
// neither grows the buffer without bound nor waits long to show them.
constexpr size_t kLogFlushBytes = 16384;

const char* SocketErrorText(int native)
{
    const char* text = nullptr;
    ErrorText(MapErrno(native), &text);
    return text;
}

}  // namespace

CHeadlessServer::CHeadlessServer(std::FILE* log, std::FILE* errors) : m_log(log), m_errors(errors)
{}

void CHeadlessServer::ExplainRefusal(uint16_t port, int error)
{
    if (error == kWsaAccess && port != 0 && port < 1024) {
        std::fprintf(m_errors,
                     "loopserver: port %u is reserved for privileged programs; --port N chooses another "
                     "(1024 or above)\n",
                     port);
    }
}

int CHeadlessServer::Run(uint16_t port, unsigned workers)
{
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
    if (workers > 1) {
        return Supervise(port, workers, stopSignals);
    }
    return Serve(port, stopSignals, -1);
}

int CHeadlessServer::Supervise(uint16_t port, unsigned workers, const sigset_t& stopSignals)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    socklen_t length = sizeof address;
    const int one = 1;
    // Sharing the port would also let these workers join another server of the same user that
    // shares its port; a plain bind first finds any server already there.
    if (port != 0) {
        const CFd probe(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (probe.Get() < 0 || setsockopt(probe.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
            bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            const int error = errno;
            Log("error: %s", SocketErrorText(error));
            ExplainRefusal(port, MapErrno(error));
            return 1;
        }
    }
    // Hold the port (a chosen one, when port is 0) for the whole run; a bound socket that does
    // not listen takes no connections.
    const CFd reserve(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (reserve.Get() < 0 || setsockopt(reserve.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        setsockopt(reserve.Get(), SOL_SOCKET, SO_REUSEPORT, &one, sizeof one) != 0 ||
        bind(reserve.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(reserve.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        Log("error: %s", SocketErrorText(errno));
        return 1;
    }
    port = ntohs(address.sin_port);
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        Log("error: %s", std::strerror(errno));
        return 1;
    }
    SocketBinding().bind = BindSharingThePort;
    std::vector<pid_t> pids;
    const pid_t supervisor = getpid();
    for (unsigned worker = 1; worker <= workers; ++worker) {
        std::fflush(m_log);
        const pid_t pid = fork();
        if (pid == 0) {
            // A supervisor that is killed outright must not leave its workers serving the port.
            if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != supervisor) {
                _exit(1);
            }
            close(ready[0]);
            m_prefix = "worker " + std::to_string(worker) + ": ";
            const int code = Serve(port, stopSignals, ready[1]);
            std::fflush(nullptr);
            _exit(code);
        }
        if (pid < 0) {
            Log("error: cannot start a worker: %s", std::strerror(errno));
            break;
        }
        pids.push_back(pid);
    }
    close(ready[1]);
    // Each worker writes one byte once it listens; a worker that fails closes its end unwritten.
    size_t listening = 0;
    char byte = 0;
    pollfd wait{ready[0], POLLIN, 0};
    while (listening < pids.size() && poll(&wait, 1, 10000) == 1 && read(ready[0], &byte, 1) == 1) {
        ++listening;
    }
    close(ready[0]);
    const bool started = listening == workers;
    if (started) {
        Log("SERVER ON: listening on port %u with %u workers", port, workers);
    }

    sigset_t watched = stopSignals;
    sigaddset(&watched, SIGCHLD);
    sigprocmask(SIG_BLOCK, &watched, nullptr);
    const CFd signals(signalfd(-1, &watched, SFD_CLOEXEC));
    const auto stopAll = [&pids] {
        for (pid_t pid : pids) {
            kill(pid, SIGTERM);
        }
    };
    int code = started ? 0 : 1;
    size_t running = pids.size();
    bool stopping = !started;
    if (stopping) {
        stopAll();
    }
    while (running > 0) {
        // Reap first: a SIGCHLD that arrived before the signal descriptor existed is not queued.
        int status = 0;
        pid_t ended;
        while (running > 0 && (ended = waitpid(-1, &status, WNOHANG)) > 0) {
            --running;
            if (!stopping) {
                Log("error: worker %d ended; stopping the others", static_cast<int>(ended));
                code = 1;
                stopping = true;
                stopAll();
            }
        }
        if (running == 0) {
            break;
        }
        signalfd_siginfo info{};
        pollfd event{signals.Get(), POLLIN, 0};
        if (poll(&event, 1, 1000) == 1 && read(signals.Get(), &info, sizeof info) == sizeof info &&
            info.ssi_signo != SIGCHLD && !stopping) {
            Log("stopping on signal %u", info.ssi_signo);
            stopping = true;
            stopAll();
        }
    }
    Log("stopped");
    return code;
}

int CHeadlessServer::Serve(uint16_t port, const sigset_t& stopSignals, int readyFd)
{
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
        ExplainRefusal(port, WsaGetLastError());
        return 1;
    }
    if (readyFd >= 0) {
        const char byte = 1;
        const bool told = write(readyFd, &byte, 1) == 1;
        close(readyFd);
        if (!told) {
            return 1;
        }
    }
    bool stop = false;
    m_holdLog = true;
    while (!stop) {
        // The library's loop first runs whatever is already due, then waits with the signals.
        loop.RunOnce(0);
        FlushLog();
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
    m_holdLog = false;
    Log("stopped");
    return 0;
}

void CHeadlessServer::Log(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    m_pending += m_prefix;
    m_pending.append(line, static_cast<size_t>(std::clamp(length, 0, static_cast<int>(sizeof line) - 1)));
    m_pending += '\n';
    if (!m_holdLog || m_pending.size() >= kLogFlushBytes) {
        FlushLog();
    }
}

void CHeadlessServer::FlushLog()
{
    if (m_pending.empty()) {
        return;
    }
    std::fflush(m_log);
    const int fd = fileno(m_log);
    size_t done = 0;
    while (fd >= 0 && done < m_pending.size()) {
        const ssize_t written = write(fd, m_pending.data() + done, m_pending.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            break;  // a log nobody reads must not stop the server
        }
        done += static_cast<size_t>(written);
    }
    if (fd < 0) {
        std::fwrite(m_pending.data(), 1, m_pending.size(), m_log);
        std::fflush(m_log);
    }
    m_pending.clear();
}

void CHeadlessServer::OnServerListening(uint16_t port)
{
    Log("SERVER ON: listening on port %u", port);
}

void CHeadlessServer::OnServerStopped()
{
    Log("SERVER OFF");
}

void CHeadlessServer::OnConnectionCount(uint32_t connections)
{
    Log("Active Connections: %u", connections);
}

void CHeadlessServer::OnServerError(const char* text, bool closed)
{
    Log("error: %s%s", text, closed ? " (server closed)" : "");
}

void CHeadlessServer::OnConnectionOpened(const char* address, uint16_t port)
{
    Log("connection from %s:%u", address, port);
}

void CHeadlessServer::OnConnectionError(const char* text)
{
    Log("connection: %s", text);
}
