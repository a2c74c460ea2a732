// Throughput of the Telnet parser on generated host output, in socket-sized blocks.
//
// Usage: telnet_bench [megabytes per workload]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "apps/common/CommandLine.h"
#include "telnet/TelnetParser.h"

namespace {

constexpr size_t kChunk = 4096;

class CCounter final : public CTelnetSink {
public:
    void TelnetData(const char*, uint32_t length) override
    {
        m_bytes += length;
        ++m_calls;
    }
    void TelnetCommand(uint8_t, uint8_t, const char*, uint32_t) override { ++m_commands; }
    void TelnetError(uint8_t, const char*) override {}

    uint64_t m_bytes = 0;
    uint64_t m_calls = 0;
    uint64_t m_commands = 0;
};

// Text lines; every "every"-th line carries a CR NUL, a doubled IAC and a negotiation.
std::string Workload(size_t bytes, int every)
{
    std::string out;
    uint32_t state = 12345;
    for (int line = 0; out.size() < bytes; ++line) {
        for (int i = 0; i < 72; ++i) {
            state = state * 1664525u + 1013904223u;
            out.push_back(static_cast<char>('a' + (state >> 8) % 26));
        }
        if (every > 0 && line % every == 0)
            out += std::string("x\r\0y\xff\xff\xff\xfb\x01\xff\xfa\x18\x01\xff\xf0", 15);
        out += "\r\n";
    }
    return out;
}

void Measure(const char* name, const std::string& input)
{
    CCounter counter;
    CTelnetParser parser(counter);
    const auto start = std::chrono::steady_clock::now();
    for (size_t at = 0; at < input.size(); at += kChunk) {
        const size_t n = input.size() - at < kChunk ? input.size() - at : kChunk;
        parser.Receive(input.data() + at, static_cast<uint32_t>(n));
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    std::printf("%-22s %8.1f MB/s  (%llu data calls, %llu commands)\n", name,
                static_cast<double>(input.size()) / 1e6 / seconds.count(),
                static_cast<unsigned long long>(counter.m_calls),
                static_cast<unsigned long long>(counter.m_commands));
}

}  // namespace

int main(int argc, char** argv)
{
    const CProgramInfo info{"telnet_bench",
                            "VoltTCP Telnet parser benchmark",
                            VOLTTCP_VERSION,
                            "Megabytes per second through the Telnet parser.",
                            "  MB                   megabytes per workload (default 64)\n",
                            false};
    CCommandLine commandLine(info, {}, 1);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    const auto& args = commandLine.Arguments();
    const size_t megabytes = args.empty() ? 64 : std::strtoul(args[0].c_str(), nullptr, 10);
    const size_t bytes = megabytes * 1000000;
    Measure("text lines", Workload(bytes, 0));
    Measure("commands every line", Workload(bytes, 1));
    Measure("commands every 20th", Workload(bytes, 20));
    return 0;
}
