// Decoding and retrieval speed of the POP3 component.
//
//   pop3_bench decode MESSAGE DIR [ROUNDS]    the message (as the server sends it, CR LF
//                                             lines) fed to the engine in 32 KiB chunks from
//                                             memory, attachments written into DIR; best round
//   pop3_bench retrieve HOST PORT USER PASSWORD NUMBER DIR
//                                             connect, log in, RETR NUMBER into DIR, quit
//
// decode prints "<seconds> <processor seconds> <MB/s> <bytes decoded> <user seconds> <system
// seconds>" (the processor time split into our code and the kernel's, mostly writing the files),
// retrieve "<seconds> <processor seconds> <bytes decoded>" (MB = 10^6 bytes).

#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "apps/common/CommandLine.h"
#include "lib/MessageLoop.h"
#include "pop3/Pop3.h"
#include "pop3/VoltPop3.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// User and system processor seconds of this process.
std::pair<double, double> UserSystem()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

class CBenchEngine final : public CPop3 {
public:
    using CPop3::CPop3;
    bool Send(const char*, uint32_t, bool, uint32_t) override { return true; }
};

class CCounter : public CVoltPop3 {
public:
    CCounter() = default;
    explicit CCounter(const EngineFactory& factory) : CVoltPop3(factory) {}
    CPop3& Wire() { return Engine(); }

    bool done = false, failed = false, closed = false, loggedIn = false;
    uint64_t fileBytes = 0;
    uint32_t number = 0;
    std::string dir;

    void OnPop3Event(uint8_t status, uint8_t command, const char* data, uint32_t length, const char*, char,
                     uint16_t percent) override
    {
        if (status == Pop3File)
            fileBytes += length;
        if (status == Pop3Error) {
            std::fprintf(stderr, "pop3_bench: %.*s", static_cast<int>(length), data);
            failed = true;
        }
        if (status == Pop3Closed)
            closed = true;
        if (status == Pop3Ok && command == kPop3Pass) {
            loggedIn = true;
            Retrieve(number, nullptr, dir.c_str());
        }
        if (status == Pop3_Mail && !data && percent == 100 && command == kPop3Retr) {
            done = true;
            Quit(false);
        }
    }
    void OnException(uint8_t code, const char* text) override
    {
        if (code != 13) {
            std::fprintf(stderr, "pop3_bench: %s\n", text);
            failed = true;
        }
    }
};

std::string Wire(const std::string& message)
{
    std::string out = "+OK " + std::to_string(message.size()) + " octets\r\n";
    out.reserve(message.size() + 64);
    bool lineStart = true;
    for (const char c : message) {
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = c == '\n';
    }
    return out + ".\r\n";
}

int Decode(const char* path, const char* dir, int rounds)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    const std::string message = content.str();
    if (message.empty()) {
        std::fprintf(stderr, "pop3_bench: cannot read %s\n", path);
        return 1;
    }
    const std::string wire = Wire(message);
    double best = 1e9, bestCpu = 1e9, bestUser = 1e9, bestSystem = 1e9;
    uint64_t bytes = 0;
    for (int round = 0; round < rounds; ++round) {
        CCounter counter([](CVoltPop3& owner) { return std::make_unique<CBenchEngine>(owner); });
        counter.Retrieve(1, nullptr, dir);
        const auto start = Clock::now();
        const double cpu = CpuSeconds();
        const auto [user, system] = UserSystem();
        constexpr size_t kChunk = 32766;  // the session's largest read
        for (size_t at = 0; at < wire.size(); at += kChunk)
            counter.Wire().OnReceive(wire.data() + at,
                                     static_cast<uint32_t>(std::min(kChunk, wire.size() - at)));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        bestCpu = std::min(bestCpu, CpuSeconds() - cpu);
        const auto [userAfter, systemAfter] = UserSystem();
        bestUser = std::min(bestUser, userAfter - user);
        bestSystem = std::min(bestSystem, systemAfter - system);
        if (!counter.done)
            return std::fprintf(stderr, "pop3_bench: the message did not end\n"), 1;
        best = std::min(best, seconds);
        bytes = counter.fileBytes;
    }
    std::printf("%.4f %.4f %.1f %llu %.4f %.4f\n", best, bestCpu,
                static_cast<double>(message.size()) / best / 1e6, static_cast<unsigned long long>(bytes),
                bestUser, bestSystem);
    return 0;
}

int Retrieve(char** argv)
{
    CCounter counter;
    counter.number = static_cast<uint32_t>(std::strtoul(argv[5], nullptr, 10));
    counter.dir = argv[6];
    const auto start = Clock::now();
    const double cpu = CpuSeconds();
    counter.Connect(0, argv[1], static_cast<uint16_t>(std::atoi(argv[2])), nullptr, 0, argv[3], argv[4]);
    const auto deadline = start + std::chrono::seconds(120);
    while (!counter.closed && !counter.failed && Clock::now() < deadline)
        CMessageLoop::Instance().RunOnce(100);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!counter.done)
        return std::fprintf(stderr, "pop3_bench: retrieval failed after %.1f s\n", seconds), 1;
    std::printf("%.4f %.4f %llu\n", seconds, CpuSeconds() - cpu,
                static_cast<unsigned long long>(counter.fileBytes));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const CProgramInfo info{
        "pop3_bench",
        "VoltTCP POP3 benchmark",
        VOLTTCP_VERSION,
        "Message decoding from memory, or retrieval from a server, timed.",
        "  decode MESSAGE DIR [ROUNDS]                 decode MESSAGE into DIR (3 rounds)\n"
        "  retrieve HOST PORT USER PASSWORD N DIR      retrieve message N into DIR\n",
        false};
    CCommandLine commandLine(info, {}, 7);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    std::vector<char*> words{argv[0]};
    for (const std::string& argument : commandLine.Arguments())
        words.push_back(const_cast<char*>(argument.c_str()));
    const size_t count = words.size();
    if ((count == 4 || count == 5) && std::strcmp(words[1], "decode") == 0)
        return Decode(words[2], words[3], count == 5 ? std::atoi(words[4]) : 3);
    if (count == 8 && std::strcmp(words[1], "retrieve") == 0)
        return Retrieve(words.data() + 1);
    return commandLine.Usage("decode or retrieve, with their arguments");
}
