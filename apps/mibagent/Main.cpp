#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "apps/common/Application.h"
#include "apps/mibagent/Agent.h"
#include "apps/mibagent/Headless.h"
#include "apps/mibagent/MainForm.h"
#include "apps/mibagent/Trap.h"

namespace {

const CProgramInfo kProgram{
    "mibagent", "VoltTCP SNMP Agent", VOLTTCP_VERSION,
    "SNMPv1 agent: answers Get, GetNext and Set for a few MIB-II variables and sends test traps.",
    "  --port N             answer on UDP port N (default 161, which needs privilege;\n"
    "                       0 lets the system choose)\n"
    "  --trap-port N        send test traps to port N (default 162)\n"
    "  --headless           run without a window; what the panels show goes to standard output\n"};

bool ParsePort(const char* text, uint16_t& port)
{
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (auto exitCode = CApplication::HandleStandardOptions(argc, argv, kProgram))
        return *exitCode;
    bool headless = false;
    uint16_t port = CSnmpAgent::kAgentPort;
    uint16_t trapPort = CSnmpAgent::kTrapPort;
    for (int i = 1; i < argc; ++i) {
        const bool isPort = std::strcmp(argv[i], "--port") == 0;
        if (std::strcmp(argv[i], "--headless") == 0) {
            headless = true;
        } else if (isPort || std::strcmp(argv[i], "--trap-port") == 0) {
            if (i + 1 >= argc || !ParsePort(argv[i + 1], isPort ? port : trapPort)) {
                std::fprintf(stderr, "mibagent: %s needs a number from 0 to 65535\n", argv[i]);
                return 2;
            }
            ++i;
        }
    }
    if (headless) {
        CHeadlessAgent agent(stdout);
        return agent.Run(port);
    }
    return CApplication::Guarded([&] {
        CApplication app(argc, argv, kProgram);
        TfrmTrap trap;
        trap.SetTrapPort(trapPort);
        TfrmMain mainForm(app.About(), trap, port);
        return app.Run(mainForm);
    });
}
