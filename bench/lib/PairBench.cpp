// Streams the same bytes over loopback from a sender process to a receiver process, three
// ways: two stream facades each on its own message loop, plain blocking sockets, and a
// minimal non-blocking epoll pair. The kinds take turns within each round, so that load from
// other work on a shared machine falls on all of them alike; medians and spreads are printed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "apps/common/CommandLine.h"
#include "lib/MessageLoop.h"
#include "lib/VoltTcp.h"

namespace {

using Clock = std::chrono::steady_clock;

const CProgramInfo kProgram{
    "pair_bench",
    "VoltTCP stream benchmark",
    VOLTTCP_VERSION,
    "Streams over loopback from one process to another: through the library, plain blocking\n"
    "sockets and a minimal epoll pair, in turns, and prints the rates with their spread.",
    "  --mib N              mebibytes per run (default 1024)\n"
    "  --block N            bytes per send (default 65536)\n"
    "  --read N             bytes per read of the plain pairs (default: the block)\n"
    "  --rounds N           runs of each kind (default 5)\n"
    "  --only KIND          run one kind: volttcp, blocking or epoll (for a profiler)\n",
    false};

// A run that takes longer than this is stuck; its processes end themselves.
constexpr unsigned kRunLimitSeconds = 300;

enum class EKind { kVoltTcp, kBlocking, kEpoll };

struct SKindInfo {
    EKind kind;
    const char* option;
    const char* label;
};

constexpr SKindInfo kKinds[] = {
    {EKind::kVoltTcp, "volttcp", "CVoltTcp"},
    {EKind::kBlocking, "blocking", "blocking"},
    {EKind::kEpoll, "epoll", "epoll"},
};

struct SSettings {
    uint64_t total = 0;
    size_t block = 0;
    size_t read = 0;
};

// What the receiver reports through its pipe once the last byte is in.
struct SReceiverReport {
    double seconds = 0;
    uint64_t received = 0;
};

struct SRun {
    double mibPerSecond = 0;
    double senderCpu = 0;  // user + system seconds of each process
    double receiverCpu = 0;
};

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "pair_bench: %s: %s\n", what, std::strerror(errno));
    _exit(1);
}

void WriteAll(int fd, const void* data, size_t length)
{
    if (write(fd, data, length) != static_cast<ssize_t>(length))
        Fail("report pipe");
}

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// ---- the library pair -----------------------------------------------------------------

class CSink final : public CVoltTcp {
public:
    uint64_t expected = 0;
    uint64_t received = 0;
    Clock::time_point start;
    void OnReceive(const char* data, uint32_t length) override
    {
        if (!data) {
            CMessageLoop::Instance().Quit();  // closed early: the count tells
            return;
        }
        received += length;
        if (received >= expected)
            CMessageLoop::Instance().Quit();
    }
    void OnException(uint8_t code, const char* text) override
    {
        if (received < expected)  // the sender's close after the last byte is no news
            std::fprintf(stderr, "receiver: %u %s\n", code, text);
    }
};

class CListener final : public CVoltTcp {
public:
    CSink sink;
    int reportFd = -1;
    void OnListen(const char*, uint16_t port, const char*) override
    {
        WriteAll(reportFd, &port, sizeof port);
    }
    void OnAccept() override
    {
        sink.start = Clock::now();
        sink.Accept(0, this);
    }
    void OnException(uint8_t code, const char* text) override
    {
        std::fprintf(stderr, "listener: %u %s\n", code, text);
        _exit(1);
    }
};

class CSource final : public CVoltTcp {
public:
    uint64_t total = 0;
    uint64_t queued = 0;
    const std::vector<char>* block = nullptr;
    void OnConnect(const char*, uint16_t, const char*, uint16_t, const char*) override { Next(); }
    void OnSent(uint32_t) override { Next(); }
    void OnReceive(const char* data, uint32_t) override
    {
        if (!data)
            CMessageLoop::Instance().Quit();
    }
    void OnException(uint8_t code, const char* text) override
    {
        std::fprintf(stderr, "sender: %u %s\n", code, text);
        _exit(1);
    }

private:
    void Next()
    {
        if (queued >= total) {
            Close(false);  // after the queue has drained; the closed event ends the loop
            return;
        }
        const auto length = static_cast<uint32_t>(std::min<uint64_t>(block->size(), total - queued));
        queued += length;
        Send(block->data(), length, false, 0);
    }
};

void ReceiveVoltTcp(const SSettings& settings, int reportFd)
{
    CListener listener;
    listener.reportFd = reportFd;
    listener.sink.expected = settings.total;
    if (!listener.Listen(0, "127.0.0.1", 0, 0))
        _exit(1);
    CMessageLoop::Instance().Run();
    const SReceiverReport report{Since(listener.sink.start), listener.sink.received};
    WriteAll(reportFd, &report, sizeof report);
}

void SendVoltTcp(const SSettings& settings, uint16_t port, const std::vector<char>& block)
{
    CSource source;
    source.total = settings.total;
    source.block = &block;
    if (!source.Connect(0, "127.0.0.1", port))
        _exit(1);
    CMessageLoop::Instance().Run();
}

// ---- the plain pairs -------------------------------------------------------------------

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Listens on a free port, tells it through the pipe and returns the accepted socket.
int AcceptOne(int reportFd)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        Fail("listen");
    const uint16_t port = ntohs(address.sin_port);
    WriteAll(reportFd, &port, sizeof port);
    const int fd = accept(listener, nullptr, nullptr);
    if (fd < 0)
        Fail("accept");
    close(listener);
    return fd;
}

int ConnectTo(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = Loopback(port);
    if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        Fail("connect");
    return fd;
}

// Waits until fd is ready for events; the set is made once and stays level-triggered.
class CWaiter final {
public:
    CWaiter(int fd, uint32_t events) : m_epoll(epoll_create1(0))
    {
        epoll_event ev{};
        ev.events = events;
        ev.data.fd = fd;
        if (m_epoll < 0 || epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &ev) != 0)
            Fail("epoll");
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    ~CWaiter() { close(m_epoll); }
    CWaiter(const CWaiter&) = delete;
    CWaiter& operator=(const CWaiter&) = delete;
    void Wait()
    {
        epoll_event ev{};
        while (epoll_wait(m_epoll, &ev, 1, -1) < 0) {
            if (errno != EINTR)
                Fail("epoll_wait");
        }
    }

private:
    int m_epoll;
};

void ReceivePlain(const SSettings& settings, int reportFd, bool nonBlocking)
{
    const int fd = AcceptOne(reportFd);
    const auto start = Clock::now();
    std::unique_ptr<CWaiter> waiter;
    if (nonBlocking)
        waiter = std::make_unique<CWaiter>(fd, EPOLLIN);
    std::vector<char> buffer(settings.read);
    uint64_t received = 0;
    while (received < settings.total) {
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            received += static_cast<uint64_t>(n);
        } else if (n < 0 && waiter && errno == EAGAIN) {
            waiter->Wait();
        } else {
            break;
        }
    }
    const SReceiverReport report{Since(start), received};
    WriteAll(reportFd, &report, sizeof report);
    close(fd);
}

void SendPlain(const SSettings& settings, uint16_t port, const std::vector<char>& block, bool nonBlocking)
{
    const int fd = ConnectTo(port);
    std::unique_ptr<CWaiter> waiter;
    if (nonBlocking)
        waiter = std::make_unique<CWaiter>(fd, EPOLLOUT);
    uint64_t sent = 0;
    while (sent < settings.total) {
        const auto chunk = static_cast<size_t>(std::min<uint64_t>(block.size(), settings.total - sent));
        const ssize_t n = send(fd, block.data(), chunk, 0);
        if (n > 0) {
            sent += static_cast<uint64_t>(n);
        } else if (n < 0 && waiter && errno == EAGAIN) {
            waiter->Wait();
        } else {
            Fail("send");
        }
    }
    close(fd);
}

// ---- running the processes -------------------------------------------------------------

double CpuSeconds(const rusage& usage)
{
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

template <typename Body>
pid_t Spawn(Body body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        Fail("fork");
    if (pid == 0) {
        alarm(kRunLimitSeconds);
        body();
        std::fflush(nullptr);
        _exit(0);
    }
    return pid;
}

// False when a process failed; the reason is on standard error.
bool Reap(pid_t pid, const char* role, double& cpu)
{
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        Fail("wait");
    cpu = CpuSeconds(usage);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    std::fprintf(stderr, "pair_bench: the %s %s\n", role,
                 WIFSIGNALED(status) ? "was killed (time limit?)" : "failed");
    return false;
}

bool RunOnce(EKind kind, const SSettings& settings, const std::vector<char>& block, SRun& run)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        Fail("pipe");
    const pid_t receiver = Spawn([&] {
        close(pipeFds[0]);
        if (kind == EKind::kVoltTcp)
            ReceiveVoltTcp(settings, pipeFds[1]);
        else
            ReceivePlain(settings, pipeFds[1], kind == EKind::kEpoll);
    });
    close(pipeFds[1]);
    uint16_t port = 0;
    pid_t sender = -1;
    if (read(pipeFds[0], &port, sizeof port) == sizeof port) {
        sender = Spawn([&] {
            close(pipeFds[0]);
            if (kind == EKind::kVoltTcp)
                SendVoltTcp(settings, port, block);
            else
                SendPlain(settings, port, block, kind == EKind::kEpoll);
        });
    }
    SReceiverReport report;
    const bool reported = read(pipeFds[0], &report, sizeof report) == sizeof report;
    close(pipeFds[0]);
    bool ok = sender > 0 && Reap(sender, "sender", run.senderCpu);
    ok = Reap(receiver, "receiver", run.receiverCpu) && ok;
    if (!ok || !reported)
        return false;
    if (report.received != settings.total) {
        std::fprintf(stderr, "pair_bench: received %llu of %llu bytes\n",
                     static_cast<unsigned long long>(report.received),
                     static_cast<unsigned long long>(settings.total));
        return false;
    }
    run.mibPerSecond = static_cast<double>(settings.total) / (1 << 20) / report.seconds;
    return true;
}

std::string LoadAverage()
{
    char text[64] = {};
    if (FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(text, sizeof text, file))
            text[0] = '\0';
        std::fclose(file);
    }
    std::string result(text);
    // The first three fields: the 1, 5 and 15 minute averages.
    size_t end = 0;
    for (int field = 0; field < 3 && end != std::string::npos; ++field)
        end = result.find(' ', end + (field ? 1 : 0));
    return result.substr(0, end);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool ParseCount(const char* text, uint64_t low, uint64_t high, uint64_t& value)
{
    if (!text)
        return true;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || parsed < low || parsed > high || text[0] == '-')
        return false;
    value = parsed;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    CCommandLine commandLine(
        kProgram,
        {{"--mib", true}, {"--block", true}, {"--read", true}, {"--rounds", true}, {"--only", true}});
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    uint64_t mebibytes = 1024;
    uint64_t blockSize = 64 * 1024;
    uint64_t readSize = 0;
    uint64_t rounds = 5;
    if (!ParseCount(commandLine.Value("--mib"), 1, 1 << 20, mebibytes))
        return commandLine.Usage("--mib takes a number of mebibytes from 1 to 1048576");
    if (!ParseCount(commandLine.Value("--block"), 1, 1 << 30, blockSize))
        return commandLine.Usage("--block takes a number of bytes from 1 to 1073741824");
    if (!ParseCount(commandLine.Value("--read"), 1, 1 << 30, readSize))
        return commandLine.Usage("--read takes a number of bytes from 1 to 1073741824");
    if (!ParseCount(commandLine.Value("--rounds"), 1, 1000, rounds))
        return commandLine.Usage("--rounds takes a number from 1 to 1000");
    std::vector<SKindInfo> kinds(std::begin(kKinds), std::end(kKinds));
    if (const char* only = commandLine.Value("--only")) {
        std::erase_if(kinds, [&](const SKindInfo& info) { return std::string_view(info.option) != only; });
        if (kinds.empty())
            return commandLine.Usage("--only takes volttcp, blocking or epoll");
    }

    const SSettings settings{mebibytes << 20, static_cast<size_t>(blockSize),
                             static_cast<size_t>(readSize ? readSize : blockSize)};
    std::vector<char> block(settings.block);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);

    std::printf("%llu MiB per run, %zu-byte sends, plain reads of %zu bytes, %llu rounds; load at start %s\n",
                static_cast<unsigned long long>(mebibytes), settings.block, settings.read,
                static_cast<unsigned long long>(rounds), LoadAverage().c_str());
    std::vector<std::vector<SRun>> runs(kinds.size());
    for (uint64_t round = 1; round <= rounds; ++round) {
        std::printf("round %llu:", static_cast<unsigned long long>(round));
        for (size_t k = 0; k < kinds.size(); ++k) {
            SRun run;
            if (!RunOnce(kinds[k].kind, settings, block, run))
                return 1;
            runs[k].push_back(run);
            std::printf("  %s %7.1f", kinds[k].label, run.mibPerSecond);
        }
        std::printf(" MiB/s  (load %s)\n", LoadAverage().c_str());
    }

    std::printf("\n%-10s %9s %9s %9s   %s\n", "kind", "median", "min", "max", "cpu s/GiB sender / receiver");
    std::vector<std::vector<double>> rates(kinds.size());
    const double gibibytes = static_cast<double>(settings.total) / (1 << 30);
    for (size_t k = 0; k < kinds.size(); ++k) {
        std::vector<double> sender;
        std::vector<double> receiver;
        for (const SRun& run : runs[k]) {
            rates[k].push_back(run.mibPerSecond);
            sender.push_back(run.senderCpu / gibibytes);
            receiver.push_back(run.receiverCpu / gibibytes);
        }
        const auto [low, high] = std::minmax_element(rates[k].begin(), rates[k].end());
        std::printf("%-10s %9.1f %9.1f %9.1f   %9.2f / %.2f\n", kinds[k].label, Median(rates[k]), *low, *high,
                    Median(sender), Median(receiver));
    }
    if (kinds.size() == std::size(kKinds)) {
        // Against the faster plain pair of the same round, and of the medians.
        std::vector<double> ratios;
        for (size_t r = 0; r < rounds; ++r)
            ratios.push_back(rates[0][r] / std::max(rates[1][r], rates[2][r]));
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("CVoltTcp / faster plain: %.2f of the medians; per round %.2f to %.2f, median %.2f\n",
                    Median(rates[0]) / std::max(Median(rates[1]), Median(rates[2])), *low, *high,
                    Median(ratios));
    }
    std::printf("load at end %s\n", LoadAverage().c_str());
    return 0;
}
