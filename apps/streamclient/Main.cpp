#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/common/Application.h"
#include "apps/common/Profile.h"
#include "apps/streamclient/EchoConsole.h"
#include "apps/streamclient/MainForm.h"
#include "lib/Session.h"

namespace {

const CProgramInfo kProgram{
    "streamclient", "VoltTCP TCP Client", VOLTTCP_VERSION,
    "TCP test client: send blocks, count bytes, throttle reception, run an echo test.",
    "  --echo-test HOST[:PORT]  run the echo test without a window (port 7 by default)\n"
    "  --size N                 bytes per block for --echo-test (default 12)\n"
    "  --reps R                 blocks for --echo-test, 1 to 50 (default 1)\n"
    "  --timeout S              give up after S seconds (default: wait)\n"
    "  --trace                  write a VTCP%d.DBG trace file of the test\n"};

bool ParseNumber(const char* text, unsigned long low, unsigned long high, unsigned long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtoul(text, &end, 10);
    return end != text && *end == '\0' && errno == 0 && value >= low && value <= high;
}

int Usage(const char* message)
{
    std::fprintf(stderr, "streamclient: %s (see --help)\n", message);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (auto exitCode = CApplication::HandleStandardOptions(argc, argv, kProgram)) {
        return *exitCode;
    }
    bool echoTest = false;
    CEchoConsole::COptions options;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        unsigned long value = 0;
        if (std::strcmp(argv[i], "--echo-test") == 0 && hasValue) {
            echoTest = true;
            std::string target = argv[++i];
            if (const auto colon = target.rfind(':'); colon != std::string::npos) {
                if (!ParseNumber(target.c_str() + colon + 1, 1, 65535, value)) {
                    return Usage("the port must be a number from 1 to 65535");
                }
                options.port = static_cast<uint16_t>(value);
                target.resize(colon);
            }
            options.host = target;
        } else if (std::strcmp(argv[i], "--size") == 0 && hasValue) {
            if (!ParseNumber(argv[++i], 1, 999999, value)) {
                return Usage("--size takes 1 to 999999");
            }
            options.size = static_cast<uint32_t>(value);
        } else if (std::strcmp(argv[i], "--reps") == 0 && hasValue) {
            if (!ParseNumber(argv[++i], 1, 50, value)) {
                return Usage("--reps takes 1 to 50");
            }
            options.reps = static_cast<uint32_t>(value);
        } else if (std::strcmp(argv[i], "--timeout") == 0 && hasValue) {
            if (!ParseNumber(argv[++i], 0, 86400, value)) {
                return Usage("--timeout takes seconds");
            }
            options.timeoutSeconds = static_cast<uint32_t>(value);
        } else if (std::strcmp(argv[i], "--trace") == 0) {
            options.flags = kFlagTrace;
        }
    }
    if (echoTest) {
        if (options.host.empty()) {
            return Usage("--echo-test needs a host");
        }
        CEchoConsole console(stdout);
        return console.Run(options);
    }
    return CApplication::Guarded([&] {
        CApplication app(argc, argv, kProgram);
        CProfile profile(CProfile::DefaultPath());
        TfrmMain mainForm(app.About(), profile);
        return app.Run(mainForm);
    });
}
