// Streams the same bytes over loopback twice: between two stream facades on the one event
// thread, and between two plain blocking sockets on two threads. Prints both rates.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "apps/common/CommandLine.h"
#include "lib/MessageLoop.h"
#include "lib/VoltTcp.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlock = 64 * 1024;

class CSink final : public CVoltTcp {
public:
    uint64_t expected = 0;
    uint64_t received = 0;
    void OnReceive(const char* data, uint32_t length) override
    {
        if (!data)
            return;
        received += length;
        if (received >= expected)
            CMessageLoop::Instance().Quit();
    }
    void OnException(uint8_t code, const char* text) override
    {
        std::fprintf(stderr, "sink: %u %s\n", code, text);
    }
};

class CSource final : public CVoltTcp {
public:
    uint64_t total = 0;
    uint64_t queued = 0;
    const char* block = nullptr;
    void OnConnect(const char*, uint16_t, const char*, uint16_t, const char*) override { Next(); }
    void OnSent(uint32_t) override { Next(); }
    void OnException(uint8_t code, const char* text) override
    {
        std::fprintf(stderr, "source: %u %s\n", code, text);
    }

private:
    void Next()
    {
        if (queued >= total)
            return;
        const auto length = static_cast<uint32_t>(std::min<uint64_t>(kBlock, total - queued));
        queued += length;
        Send(block, length, false, 0);
    }
};

class CServer final : public CVoltTcp {
public:
    std::unique_ptr<CSink> sink = std::make_unique<CSink>();
    uint16_t port = 0;
    void OnListen(const char*, uint16_t listenPort, const char*) override { port = listenPort; }
    void OnAccept() override { sink->Accept(0, this); }
    void OnException(uint8_t code, const char* text) override
    {
        std::fprintf(stderr, "server: %u %s\n", code, text);
    }
};

double StreamFacades(uint64_t total, const std::vector<char>& block)
{
    CServer server;
    server.sink->expected = total;
    if (!server.Listen(0, "127.0.0.1", 0, 0))
        std::exit(1);
    CSource source;
    source.total = total;
    source.block = block.data();
    const auto start = Clock::now();
    if (!source.Connect(0, "127.0.0.1", server.port))
        std::exit(1);
    CMessageLoop::Instance().Run();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (server.sink->received != total) {
        std::fprintf(stderr, "received %llu of %llu\n",
                     static_cast<unsigned long long>(server.sink->received),
                     static_cast<unsigned long long>(total));
        std::exit(1);
    }
    return seconds;
}

double StreamPlain(uint64_t total, const std::vector<char>& block)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        std::exit(1);
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    const auto start = Clock::now();
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        std::exit(1);
    const int server = accept(listener, nullptr, nullptr);
    std::thread writer([&] {
        uint64_t sent = 0;
        while (sent < total) {
            const size_t chunk = static_cast<size_t>(std::min<uint64_t>(kBlock, total - sent));
            const ssize_t n = send(client, block.data(), chunk, 0);
            if (n <= 0)
                std::exit(1);
            sent += static_cast<uint64_t>(n);
        }
    });
    std::vector<char> buffer(kBlock);
    uint64_t received = 0;
    while (received < total) {
        const ssize_t n = recv(server, buffer.data(), buffer.size(), 0);
        if (n <= 0)
            std::exit(1);
        received += static_cast<uint64_t>(n);
    }
    writer.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(client);
    close(server);
    close(listener);
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    // volttcp_bench [MiB per run] [rounds]: the best round of each counts, as the machine is shared.
    const CProgramInfo info{"volttcp_bench",
                            "VoltTCP socket library benchmark",
                            VOLTTCP_VERSION,
                            "Streams over loopback through the library and through plain sockets.",
                            "  MIB ROUNDS           mebibytes per run (default 1024), rounds (3)\n",
                            false};
    CCommandLine commandLine(info, {}, 2);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    const auto& args = commandLine.Arguments();
    uint64_t mebibytes = 1024;
    int rounds = 3;
    if (args.size() > 0)
        mebibytes = std::strtoull(args[0].c_str(), nullptr, 10);
    if (args.size() > 1)
        rounds = std::max(1, std::atoi(args[1].c_str()));
    const uint64_t total = mebibytes << 20;
    std::vector<char> block(kBlock);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 7);

    double facades = 1e30;
    double plain = 1e30;
    const double mib = static_cast<double>(total) / (1 << 20);
    for (int round = 0; round < rounds; ++round) {
        const double f = StreamFacades(total, block);
        const double p = StreamPlain(total, block);
        std::printf("round %d: CVoltTcp %8.1f MiB/s, plain %8.1f MiB/s\n", round + 1, mib / f, mib / p);
        facades = std::min(facades, f);
        plain = std::min(plain, p);
    }
    std::printf("bytes per run: %llu, best of %d rounds\n", static_cast<unsigned long long>(total), rounds);
    std::printf("CVoltTcp pair, one thread:    %8.1f MiB/s (%.3f s)\n", mib / facades, facades);
    std::printf("plain sockets, two threads:   %8.1f MiB/s (%.3f s)\n", mib / plain, plain);
    std::printf("ratio: %.2f\n", plain / facades);
    return 0;
}
