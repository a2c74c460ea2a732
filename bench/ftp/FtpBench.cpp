// 200 MiB down and up through vsftpd on 127.0.0.1, in passive and active mode: the FTP
// component (64 KiB blocks) against curl and lftp on the same server and file, in turns.
// Every run is a new connection and login, as it is for the two programs.
//
//   TMPDIR=/dev/shm build/bench/ftp_bench [MiB] [rounds]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "apps/common/CommandLine.h"
#include "ftp/FtpTypes.h"
#include "ftp/VoltFtp.h"
#include "tests/ftp/FtpServers.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBlock = 64 * 1024;

class CBenchFtp final : public CVoltFtp {
public:
    bool done = false;
    bool failed = false;
    std::string last;
    void OnCommandEcho(const char*) override {}
    void OnReply(uint8_t status, uint8_t command, unsigned code, const char* text) override
    {
        last = text;
        if (status == kReplyUnexpected || status == kReplyFailed ||
            (status == kReplyComplete && command == 0))
            failed = true;
        if (status == kReplyComplete && command != 0 && code / 100 == 2)
            done = true;
    }
    void OnException(uint8_t, const char* text) override { last = text; }
};

// One connection, login and transfer by the component; seconds, or -1.
double RunComponent(const SFtpServer& server, bool passive, bool upload, const fs::path& local)
{
    const auto start = Clock::now();
    CBenchFtp ftp;
    ftp.Connect(server.Host().c_str(), nullptr, server.user.c_str(), server.password.c_str(), "", 0);
    if (!RunUntil([&] { return ftp.done || ftp.failed; }, std::chrono::seconds(30)) || ftp.failed)
        return -1;
    ftp.done = false;
    if (upload)
        ftp.Store(local.c_str(), "up.bin", kBlock, kFtpTypeImage, passive, 60);
    else
        ftp.Retrieve(local.c_str(), "big.bin", kBlock, kFtpTypeImage, passive, 60);
    if (!RunUntil([&] { return ftp.done || ftp.failed; }, std::chrono::seconds(120)) || ftp.failed) {
        std::fprintf(stderr, "component: %s\n", ftp.last.c_str());
        return -1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ftp.Quit();
    RunUntil([&] { return ftp.GetState() != 4; }, std::chrono::seconds(2));
    return seconds;
}

double RunProgram(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double RunCurl(const SFtpServer& server, bool passive, bool upload, const fs::path& local)
{
    std::vector<std::string> args = {
        "curl",          "-s", "-S", "--user", server.user + ":" + server.password, "--disable-epsv",
        "--disable-eprt"};
    if (!passive)
        args.insert(args.end(), {"-P", "127.0.0.1"});
    if (upload)
        args.insert(args.end(), {"-T", local.string(), "ftp://" + server.Host() + "/up.bin"});
    else
        args.insert(args.end(), {"-o", local.string(), "ftp://" + server.Host() + "/big.bin"});
    return RunProgram(args);
}

double RunLftp(const SFtpServer& server, bool passive, bool upload, const fs::path& local)
{
    std::string script = std::string("set ftp:passive-mode ") + (passive ? "on" : "off") +
                         "; set ftp:prefer-epsv no; set ftp:use-feat no; set xfer:clobber on; "
                         "set net:max-retries 1; ";
    script +=
        upload ? "put " + local.string() + " -o up.bin; quit" : "get big.bin -o " + local.string() + "; quit";
    return RunProgram({"lftp", "-u", server.user + "," + server.password, "-p", std::to_string(server.port),
                       "-e", script, "127.0.0.1"});
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const CProgramInfo info{
        "ftp_bench",
        "VoltTCP FTP benchmark",
        VOLTTCP_VERSION,
        "Downloads and uploads through the FTP component against vsftpd, beside curl and lftp.",
        "  MIB ROUNDS           mebibytes per transfer (default 200), rounds (3)\n",
        false};
    CCommandLine commandLine(info, {}, 2);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    const auto& args = commandLine.Arguments();
    const size_t mib = args.size() > 0 ? std::strtoul(args[0].c_str(), nullptr, 10) : 200;
    const int rounds = args.size() > 1 ? std::atoi(args[1].c_str()) : 3;
    const SFtpServer& server = FtpServer(EFtpServer::kVsftpd);
    if (!server.running) {
        std::fprintf(stderr, "ftp_bench: %s\n", server.whyNot.c_str());
        return 1;
    }
    const size_t size = mib << 20;
    {
        std::string block(1 << 20, '\0');
        uint32_t x = 12345;
        for (auto& c : block) {
            x = x * 1103515245 + 12345;
            c = static_cast<char>(x >> 16);
        }
        std::string data;
        for (size_t i = 0; i < mib; ++i)
            data += block;
        server.Put("big.bin", data);
    }
    const fs::path local = fs::temp_directory_path() / ("ftp-bench-" + std::to_string(getpid()) + ".bin");
    const fs::path source = server.root / "big.bin";

    using Runner = std::function<double(const SFtpServer&, bool, bool, const fs::path&)>;
    const struct {
        const char* name;
        Runner run;
    } clients[] = {{"VoltTCP", RunComponent}, {"curl", RunCurl}, {"lftp", RunLftp}};

    std::printf("%zu MiB through vsftpd on 127.0.0.1, median of %d rounds, MiB/s\n", mib, rounds);
    std::printf(
        "| mode | direction | VoltTCP | curl | lftp | vs curl | vs lftp |\n|---|---|---|---|---|---|---|\n");
    for (const bool passive : {true, false}) {
        for (const bool upload : {false, true}) {
            std::vector<double> times[3];
            for (int round = 0; round < rounds; ++round) {
                for (int c = 0; c < 3; ++c) {
                    fs::remove(local);
                    fs::remove(server.root / "up.bin");
                    if (upload)
                        fs::copy_file(source, local);
                    const double seconds = clients[c].run(server, passive, upload, local);
                    const fs::path result = upload ? server.root / "up.bin" : local;
                    if (seconds <= 0 || !fs::exists(result) || fs::file_size(result) != size) {
                        std::fprintf(stderr, "%s failed (%s, %s)\n", clients[c].name,
                                     passive ? "passive" : "active", upload ? "upload" : "download");
                        continue;
                    }
                    times[c].push_back(seconds);
                }
            }
            double rate[3];
            for (int c = 0; c < 3; ++c) {
                const double t = Median(times[c]);
                rate[c] = t > 0 ? static_cast<double>(mib) / t : 0;
            }
            std::printf("| %s | %s | %.0f | %.0f | %.0f | %.2f | %.2f |\n", passive ? "passive" : "active",
                        upload ? "upload" : "download", rate[0], rate[1], rate[2],
                        rate[1] > 0 ? rate[0] / rate[1] : 0, rate[2] > 0 ? rate[0] / rate[2] : 0);
            std::fflush(stdout);
        }
    }
    fs::remove(local);
    return 0;
}
