// The program's command line: its own options, the standard ones, and refusals with the usage.

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace {

struct SRun {
    int exitCode = -1;
    std::string output;  // standard output and error together
};

SRun RunProgram(const std::string& arguments)
{
    const std::string command = "timeout 20 " REMOTECLIENT_PATH " -platform offscreen " + arguments + " 2>&1";
    SRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(RemoteClientProgram, CommandLine)
{
    struct SCase {
        const char* arguments;
        int exitCode;
        const char* said;
    };
    const SCase cases[] = {
        {"--help", 0, "--rsh-port N         the remote shell server's port (default 514)"},
        {"--version", 0, "remoteclient (VoltTCP REXEC Sample) "},
        {"--rsh-port 0", 2, "remoteclient: --rsh-port takes a port from 1 to 65535"},
        {"--rlogin-port=70000", 2, "--rlogin-port takes a port from 1 to 65535"},
        {"--rexec-port x", 2, "--rexec-port takes a port from 1 to 65535"},
        {"--bogus", 2, "unknown option '--bogus'"},
        {"somehost", 2, "unexpected argument 'somehost'"},
    };
    for (const SCase& c : cases) {
        const SRun run = RunProgram(c.arguments);
        EXPECT_EQ(c.exitCode, run.exitCode) << c.arguments << "\n" << run.output;
        EXPECT_NE(std::string::npos, run.output.find(c.said)) << c.arguments << "\n" << run.output;
        if (c.exitCode == 2) {
            EXPECT_NE(std::string::npos, run.output.find("Usage: remoteclient [options]")) << c.arguments;
        }
    }
}

}  // namespace
