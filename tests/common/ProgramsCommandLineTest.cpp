// Every program and benchmark of the build, started with a command line it must refuse.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace {

struct SRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the program with its output in files, bounded to ten seconds.
SRun RunProgram(const std::string& path, const std::vector<std::string>& args)
{
    const std::string base = "/tmp/volttcp_cmdline." + std::to_string(getpid());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (base + ".out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (base + ".err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    SRun run;
    pid_t pid = -1;
    if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int waited = 0; waited < 1000; ++waited) {
        if (waitpid(pid, &run.status, WNOHANG) == pid)
            break;
        if (waited == 999) {
            kill(pid, SIGKILL);
            waitpid(pid, &run.status, 0);
            run.status = -1;
        }
        usleep(10000);
    }
    const auto read = [](const std::string& file) {
        std::ifstream in(file);
        std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::remove(file.c_str());
        return text;
    };
    run.out = read(base + ".out");
    run.err = read(base + ".err");
    return run;
}

struct SProgram {
    const char* name;
    const char* folder;  // bin or bench, in the build tree
    bool desktop;        // built with the Qt programs only
    std::vector<std::string> refused;
};

TEST(ProgramsCommandLine, AnUnknownOptionEndsWithTheUsageAndStatusTwo)
{
    const SProgram programs[] = {
        {"termclient", "bin", true, {"--bogus"}},
        {"fileclient", "bin", true, {"--bogus"}},
        {"mailclient", "bin", true, {"--bogus"}},
        {"mibagent", "bin", true, {"--headless", "--bogus"}},
        {"streamclient", "bin", true, {"--echo-test", "127.0.0.1:1", "--bogus"}},
        {"remoteclient", "bin", true, {"--bogus"}},
        {"loopserver", "bin", true, {"--headless", "--bogus"}},
        {"volttcp_bench", "bench", false, {"--bogus"}},
        {"pair_bench", "bench", false, {"--bogus"}},
        {"echo_bench", "bench", false, {"--bogus"}},
        {"epoll_echo", "bench", false, {"--bogus"}},
        {"idle_bench", "bench", false, {"--bogus"}},
        {"snmp_load", "bench", false, {"127.0.0.1", "1", "--bogus"}},
        {"telnet_bench", "bench", false, {"--bogus"}},
        {"vt_bench", "bench", false, {"--bogus"}},
        {"vtscreen_bench", "bench", false, {"--bogus"}},
        {"ftp_bench", "bench", false, {"--bogus"}},
        {"pop3_bench", "bench", false, {"decode", "m", "d", "--bogus"}},
        {"ftp_list_bench", "bench", true, {"--bogus"}},
        {"remote_bench", "bench", true, {"--bogus"}},
        {"render_bench", "bench", true, {"--bogus"}},
        {"vtqt_bench", "bench", true, {"--bogus"}},
    };
    for (const SProgram& program : programs) {
        SCOPED_TRACE(program.name);
        const std::string path = std::string(VOLTTCP_BINARY_DIR) + "/" + program.folder + "/" + program.name;
        if (!std::filesystem::exists(path)) {
#ifdef VOLTTCP_GUI
            ADD_FAILURE() << path << " was not built";
#else
            EXPECT_TRUE(program.desktop) << path << " was not built";
#endif
            continue;
        }
        const SRun run = RunProgram(path, program.refused);
        ASSERT_TRUE(WIFEXITED(run.status)) << run.status;
        EXPECT_EQ(WEXITSTATUS(run.status), 2) << run.err;
        EXPECT_NE(run.err.find("unknown option '--bogus'"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("Usage: " + std::string(program.name)), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");

        const SRun help = RunProgram(path, {"--help"});
        ASSERT_TRUE(WIFEXITED(help.status)) << help.status;
        EXPECT_EQ(WEXITSTATUS(help.status), 0);
        EXPECT_NE(help.out.find("--help"), std::string::npos) << help.out;
    }
}

TEST(ProgramsCommandLine, APrivilegedPortRefusedNamesTheOptionThatChoosesAnother)
{
    // Root binds below 1024, so the programs run as nobody for this test.
    std::vector<std::string> prefix;
    if (geteuid() == 0) {
        if (!std::filesystem::exists("/usr/bin/setpriv"))
            GTEST_SKIP() << "running as root without setpriv (util-linux) to drop the privilege";
        prefix = {"--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    for (const char* program : {"loopserver", "mibagent"}) {
        SCOPED_TRACE(program);
        const std::string path = std::string(VOLTTCP_BINARY_DIR) + "/bin/" + program;
        if (!std::filesystem::exists(path)) {
#ifdef VOLTTCP_GUI
            ADD_FAILURE() << path << " was not built";
#endif
            continue;
        }
        std::vector<std::string> args = prefix;
        args.push_back(path);
        args.push_back("--headless");
        const SRun run =
            prefix.empty() ? RunProgram(path, {"--headless"}) : RunProgram("/usr/bin/setpriv", args);
        ASSERT_TRUE(WIFEXITED(run.status)) << run.status;
        EXPECT_EQ(WEXITSTATUS(run.status), 1) << run.err;
        EXPECT_NE(run.out.find("Permission Denied"), std::string::npos) << run.out;
        EXPECT_NE(run.err.find("--port N chooses another (1024 or above)"), std::string::npos) << run.err;
    }
}

}  // namespace
