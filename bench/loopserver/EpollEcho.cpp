// The smallest echo server this machine allows: one thread, level-triggered epoll, one
// buffer per connection while the peer is slow to read. It is the yardstick the echo
// server's throughput is measured against.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "apps/common/CommandLine.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

struct CPending {
    std::string bytes;
    std::size_t offset = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    const CProgramInfo info{"epoll_echo",
                            "VoltTCP epoll echo yardstick",
                            VOLTTCP_VERSION,
                            "The smallest echo server: one thread, level-triggered epoll.",
                            "  --port N             listen on port N (default 0: the system chooses)\n"
                            "  --buffer N           bytes read per call (default 65536; 32766 is the\n"
                            "                       library's largest receive size)\n"
                            "  --backlog N          the listen backlog (default 128)\n",
                            false};
    CCommandLine commandLine(info, {{"--port", true}, {"--buffer", true}, {"--backlog", true}});
    if (const auto exitCode = commandLine.Parse(argc, argv)) {
        return *exitCode;
    }
    uint16_t port = 0;
    std::size_t bufferSize = 64 * 1024;
    int backlog = 128;
    if (const char* text = commandLine.Value("--port")) {
        port = static_cast<uint16_t>(std::atoi(text));
    }
    if (const char* text = commandLine.Value("--buffer")) {
        bufferSize = static_cast<std::size_t>(std::max(1, std::atoi(text)));
    }
    if (const char* text = commandLine.Value("--backlog")) {
        backlog = std::max(1, std::atoi(text));
    }
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);

    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, backlog) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("epoll_echo");
        return 1;
    }
    std::printf("listening on port %u\n", ntohs(address.sin_port));
    std::fflush(stdout);

    const int poller = epoll_create1(EPOLL_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = listener;
    epoll_ctl(poller, EPOLL_CTL_ADD, listener, &ev);
    std::unordered_map<int, CPending> pending;
    std::vector<char> buffer(bufferSize);
    std::vector<epoll_event> events(1024);
    while (!g_stop) {
        const int n = epoll_wait(poller, events.data(), static_cast<int>(events.size()), 200);
        for (int i = 0; i < n; ++i) {
            const int fd = events[static_cast<std::size_t>(i)].data.fd;
            if (fd == listener) {
                for (;;) {
                    const int client = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (client < 0) {
                        break;
                    }
                    epoll_event add{};
                    add.events = EPOLLIN;
                    add.data.fd = client;
                    epoll_ctl(poller, EPOLL_CTL_ADD, client, &add);
                }
                continue;
            }
            bool closed = false;
            auto found = pending.find(fd);
            if (found != pending.end()) {
                // Writable again: flush what the peer refused before reading more.
                CPending& p = found->second;
                const ssize_t w =
                    send(fd, p.bytes.data() + p.offset, p.bytes.size() - p.offset, MSG_NOSIGNAL);
                if (w < 0 && errno != EAGAIN) {
                    closed = true;
                } else if (w > 0) {
                    p.offset += static_cast<std::size_t>(w);
                }
                if (!closed && p.offset == p.bytes.size()) {
                    pending.erase(found);
                    epoll_event mod{};
                    mod.events = EPOLLIN;
                    mod.data.fd = fd;
                    epoll_ctl(poller, EPOLL_CTL_MOD, fd, &mod);
                }
            } else {
                const ssize_t r = recv(fd, buffer.data(), buffer.size(), 0);
                if (r == 0 || (r < 0 && errno != EAGAIN)) {
                    closed = true;
                } else if (r > 0) {
                    const auto size = static_cast<std::size_t>(r);
                    const ssize_t w = send(fd, buffer.data(), size, MSG_NOSIGNAL);
                    const std::size_t done = w > 0 ? static_cast<std::size_t>(w) : 0;
                    if (w < 0 && errno != EAGAIN) {
                        closed = true;
                    } else if (done < size) {
                        pending[fd] = CPending{std::string(buffer.data() + done, size - done), 0};
                        epoll_event mod{};
                        mod.events = EPOLLOUT;
                        mod.data.fd = fd;
                        epoll_ctl(poller, EPOLL_CTL_MOD, fd, &mod);
                    }
                }
            }
            if (closed) {
                pending.erase(fd);
                close(fd);
            }
        }
    }
    close(poller);
    close(listener);
    return 0;
}
