#include <cstdio>
#include <cstdlib>
#include <string>

#include "apps/common/Application.h"
#include "apps/common/CommandLine.h"
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
    if (end == text || *end != '\0' || text[0] == '-' || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    CCommandLine commandLine(kProgram, {{"--port", true}, {"--trap-port", true}, {"--headless", false}});
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    uint16_t port = CSnmpAgent::kAgentPort;
    uint16_t trapPort = CSnmpAgent::kTrapPort;
    for (const auto& [name, value] : {std::pair{"--port", &port}, std::pair{"--trap-port", &trapPort}}) {
        const char* text = commandLine.Value(name);
        if (text && !ParsePort(text, *value))
            return commandLine.Usage(std::string(name) + " needs a number from 0 to 65535");
    }
    if (commandLine.Has("--headless")) {
        CHeadlessAgent agent(stdout, stderr);
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
