#include "tests/support/EchoLoad.h"

#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "tests/support/Loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

uint64_t SplitMix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Fills out with the stream's bytes from offset on, eight at a time.
void FillStream(uint64_t seed, uint32_t connection, uint64_t offset, uint8_t* out, std::size_t n)
{
    const uint64_t base = SplitMix(seed ^ (static_cast<uint64_t>(connection) << 32));
    std::size_t done = 0;
    while (done < n) {
        const uint64_t at = offset + done;
        const uint64_t word = SplitMix(base + at / 8);
        const auto shift = static_cast<unsigned>(at % 8);
        const std::size_t take = std::min<std::size_t>(8 - shift, n - done);
        for (std::size_t i = 0; i < take; ++i) {
            out[done + i] = static_cast<uint8_t>(word >> (8 * (shift + i)));
        }
        done += take;
    }
}

struct CConn {
    int fd = -1;
    bool connecting = true;
    bool confirmed = false;
    bool wantWrite = false;
    bool done = false;
    uint64_t sent = 0;
    uint64_t received = 0;
};

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

}  // namespace

uint8_t CEchoLoad::StreamByte(uint64_t seed, uint32_t connection, uint64_t offset)
{
    uint8_t byte = 0;
    FillStream(seed, connection, offset, &byte, 1);
    return byte;
}

bool CEchoLoad::RaiseDescriptorLimit(uint64_t needed)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return false;
    }
    if (limit.rlim_cur >= needed) {
        return true;
    }
    if (limit.rlim_max < needed) {
        return false;
    }
    limit.rlim_cur = needed;
    return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

CEchoLoad::CResult CEchoLoad::Run(const COptions& options)
{
    CResult result;
    const auto fail = [&result](const std::string& text) {
        if (result.error.empty()) {
            result.error = text;
        }
    };
    if (!RaiseDescriptorLimit(options.connections + 64)) {
        fail("descriptor limit too low for " + std::to_string(options.connections) + " connections");
        return result;
    }
    const int poller = epoll_create1(EPOLL_CLOEXEC);
    std::vector<CConn> conns(options.connections);
    std::vector<uint8_t> outBuffer(options.chunk);
    std::vector<uint8_t> inBuffer(options.chunk);
    std::vector<uint8_t> expected(options.chunk);
    // Unchecked runs send one random block over and over: generating the stream would cost
    // the generator more than the server being measured spends.
    if (!options.verify) {
        FillStream(options.seed, 0, 0, outBuffer.data(), outBuffer.size());
    }

    const sockaddr_in server = LoopbackAddress(options.port);

    const Clock::time_point start = Clock::now();
    const auto deadline = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(options.timeoutSeconds));
    // A connection counts as up only when its first byte has come back, that is when the
    // server has accepted it. Few are left unconfirmed at a time: a server with a small
    // listen backlog would otherwise see its accept queue overflow and lose handshakes.
    constexpr uint32_t kConnectBurst = 4;
    uint32_t started = 0;
    uint32_t pending = 0;
    uint32_t finished = 0;
    bool measuring = false;
    bool stopSending = false;
    Clock::time_point measureStart{};
    Clock::time_point measureEnd{};

    const auto update = [&](uint32_t index) {
        CConn& c = conns[index];
        epoll_event ev{};
        ev.events = EPOLLIN | (c.wantWrite || c.connecting ? EPOLLOUT : 0u);
        ev.data.u32 = index;
        epoll_ctl(poller, EPOLL_CTL_MOD, c.fd, &ev);
    };
    const auto finish = [&](uint32_t index) {
        CConn& c = conns[index];
        if (c.fd >= 0) {
            close(c.fd);
            c.fd = -1;
        }
        if (!c.done) {
            c.done = true;
            ++finished;
        }
    };
    const auto sendMore = [&](uint32_t index) {
        CConn& c = conns[index];
        bool blocked = false;
        while (!stopSending || options.bytesPerConnection != 0) {
            uint64_t room = options.window - std::min<uint64_t>(options.window, c.sent - c.received);
            if (options.bytesPerConnection != 0) {
                room = std::min(room, options.bytesPerConnection - c.sent);
            }
            room = std::min<uint64_t>(room, options.chunk);
            if (room == 0) {
                break;
            }
            if (options.verify) {
                FillStream(options.seed, index, c.sent, outBuffer.data(), room);
            }
            const ssize_t n = send(c.fd, outBuffer.data(), room, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno != EAGAIN && errno != EWOULDBLOCK) {
                    fail(std::string("send: ") + std::strerror(errno));
                    finish(index);
                    return;
                }
                blocked = true;
                break;
            }
            c.sent += static_cast<uint64_t>(n);
        }
        if (blocked != c.wantWrite) {
            c.wantWrite = blocked;
            update(index);
        }
    };
    const auto startConnects = [&] {
        while (started < options.connections && pending < kConnectBurst) {
            const uint32_t index = started++;
            CConn& c = conns[index];
            c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (c.fd < 0) {
                fail(std::string("socket: ") + std::strerror(errno));
                finish(index);
                continue;
            }
            const int one = 1;
            setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            if (connect(c.fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0 &&
                errno != EINPROGRESS) {
                fail(std::string("connect: ") + std::strerror(errno));
                finish(index);
                continue;
            }
            epoll_event ev{};
            ev.events = EPOLLIN | EPOLLOUT;
            ev.data.u32 = index;
            epoll_ctl(poller, EPOLL_CTL_ADD, c.fd, &ev);
            ++pending;
        }
    };

    const auto startMeasuring = [&] {
        if (options.onAllConnected) {
            options.onAllConnected();
        }
        measuring = true;
        measureStart = Clock::now();
        measureEnd = measureStart + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(options.durationSeconds));
        for (uint32_t k = 0; k < options.connections; ++k) {
            if (conns[k].fd < 0) {
                continue;
            }
            if (options.bytesPerConnection != 0 && conns[k].received == options.bytesPerConnection) {
                ++result.completed;
                finish(k);
            } else {
                sendMore(k);
            }
        }
    };

    startConnects();
    std::vector<epoll_event> events(1024);
    while (finished < options.connections) {
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            fail("timed out: " + std::to_string(result.completed) + " of " +
                 std::to_string(options.connections) + " connections complete");
            break;
        }
        if (measuring && options.bytesPerConnection == 0 && !stopSending && now >= measureEnd) {
            // The measured interval is over; stop and close everything.
            stopSending = true;
            result.seconds = Seconds(now - measureStart);
            break;
        }
        const int n = epoll_wait(poller, events.data(), static_cast<int>(events.size()), 20);
        if (n < 0 && errno != EINTR) {
            fail(std::string("epoll_wait: ") + std::strerror(errno));
            break;
        }
        for (int i = 0; i < n; ++i) {
            const uint32_t index = events[static_cast<std::size_t>(i)].data.u32;
            CConn& c = conns[index];
            if (c.fd < 0) {
                continue;
            }
            if (c.connecting) {
                int error = 0;
                socklen_t length = sizeof error;
                getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &error, &length);
                if (error != 0) {
                    fail(std::string("connect: ") + std::strerror(error));
                    --pending;
                    finish(index);
                    continue;
                }
                if (!(events[static_cast<std::size_t>(i)].events & (EPOLLOUT | EPOLLIN))) {
                    continue;
                }
                c.connecting = false;
                FillStream(options.seed, index, 0, outBuffer.data(), 1);
                if (send(c.fd, outBuffer.data(), 1, MSG_NOSIGNAL) != 1) {
                    fail(std::string("send: ") + std::strerror(errno));
                    --pending;
                    finish(index);
                    continue;
                }
                c.sent = 1;
                update(index);
                continue;
            }
            for (;;) {
                const ssize_t got = recv(c.fd, inBuffer.data(), inBuffer.size(), 0);
                if (got < 0) {
                    if (errno != EAGAIN && errno != EWOULDBLOCK) {
                        fail(std::string("recv: ") + std::strerror(errno));
                        finish(index);
                    }
                    break;
                }
                if (got == 0) {
                    fail("server closed connection " + std::to_string(index) + " after " +
                         std::to_string(c.received) + " bytes");
                    finish(index);
                    break;
                }
                const auto size = static_cast<std::size_t>(got);
                if (c.received + size > c.sent) {
                    fail("more bytes came back than were sent on connection " + std::to_string(index));
                    finish(index);
                    break;
                }
                if (options.verify) {
                    FillStream(options.seed, index, c.received, expected.data(), size);
                    if (std::memcmp(expected.data(), inBuffer.data(), size) != 0) {
                        fail("wrong bytes came back on connection " + std::to_string(index) +
                             " near offset " + std::to_string(c.received));
                        finish(index);
                        break;
                    }
                }
                c.received += size;
                if (measuring) {
                    result.bytesEchoed += size;
                }
                if (!c.confirmed) {
                    c.confirmed = true;
                    --pending;
                    ++result.connected;
                    startConnects();
                    if (result.connected == options.connections) {
                        startMeasuring();
                    }
                    break;
                }
                if (options.bytesPerConnection != 0 && c.received == options.bytesPerConnection) {
                    ++result.completed;
                    finish(index);
                    break;
                }
                if (size < inBuffer.size()) {
                    break;
                }
            }
            if (c.fd >= 0 && measuring) {
                sendMore(index);
            }
        }
    }
    if (options.bytesPerConnection != 0 && measuring) {
        result.seconds = Seconds(Clock::now() - measureStart);
    }
    for (uint32_t k = 0; k < options.connections; ++k) {
        if (conns[k].fd >= 0) {
            close(conns[k].fd);
        }
    }
    close(poller);
    return result;
}
