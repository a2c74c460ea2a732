#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "apps/common/Application.h"
#include "apps/common/CommandLine.h"
#include "apps/common/Profile.h"
#include "apps/streamclient/EchoConsole.h"
#include "apps/streamclient/MainForm.h"
#include "lib/Session.h"

namespace {

const CProgramInfo kProgram{
    "streamclient", "VoltTCP TCP Client", VOLTTCP_VERSION,
    "TCP test client: send blocks, count bytes, throttle reception, run an echo test.",
    "  --echo-test HOST[:PORT]  run the echo test without a window (port 7 by default); every\n"
    "                           byte must come back as it was sent\n"
    "  --size N                 bytes per block for --echo-test (default 12)\n"
    "  --reps R                 blocks for --echo-test, 1 to 50 (default 1)\n"
    "  --timeout S              give up after S seconds (default 30; 0 waits as long as it takes)\n"
    "  --trace                  write a VTCP%d.DBG trace file of the test\n"};

bool ParseNumber(const char* text, unsigned long low, unsigned long high, unsigned long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 10);
    return end != text && *end == '\0' && text[0] != '-' && errno == 0 && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv)
{
    CCommandLine commandLine(
        kProgram,
        {{"--echo-test", true}, {"--size", true}, {"--reps", true}, {"--timeout", true}, {"--trace", false}});
    if (const auto exitCode = commandLine.Parse(argc, argv)) {
        return *exitCode;
    }
    const char* target = commandLine.Value("--echo-test");
    if (!target) {
        for (const char* option : {"--size", "--reps", "--timeout", "--trace"}) {
            if (commandLine.Has(option)) {
                return commandLine.Usage(std::string(option) + " goes with --echo-test");
            }
        }
        return CApplication::Guarded([&] {
            CApplication app(argc, argv, kProgram);
            CProfile profile(CProfile::DefaultPath());
            TfrmMain mainForm(app.About(), profile);
            return app.Run(mainForm);
        });
    }

    CEchoConsole::COptions options;
    unsigned long value = 0;
    std::string host = target;
    if (const auto colon = host.rfind(':'); colon != std::string::npos) {
        if (!ParseNumber(host.c_str() + colon + 1, 1, 65535, value)) {
            return commandLine.Usage("the port must be a number from 1 to 65535");
        }
        options.port = static_cast<uint16_t>(value);
        host.resize(colon);
    }
    if (host.empty()) {
        return commandLine.Usage("--echo-test needs a host");
    }
    options.host = host;
    if (const char* size = commandLine.Value("--size")) {
        if (!ParseNumber(size, 1, 999999, value)) {
            return commandLine.Usage("--size takes 1 to 999999");
        }
        options.size = static_cast<uint32_t>(value);
    }
    if (const char* reps = commandLine.Value("--reps")) {
        if (!ParseNumber(reps, 1, 50, value)) {
            return commandLine.Usage("--reps takes 1 to 50");
        }
        options.reps = static_cast<uint32_t>(value);
    }
    if (const char* timeout = commandLine.Value("--timeout")) {
        if (!ParseNumber(timeout, 0, 86400, value)) {
            return commandLine.Usage("--timeout takes 0 to 86400 seconds");
        }
        options.timeoutSeconds = static_cast<uint32_t>(value);
    }
    if (commandLine.Has("--trace")) {
        options.flags = kFlagTrace;
    }
    CEchoConsole console(stdout);
    return console.Run(options);
}
