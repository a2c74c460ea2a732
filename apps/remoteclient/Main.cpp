#include <cstdlib>
#include <string>

#include "apps/common/About.h"
#include "apps/common/Application.h"
#include "apps/common/CommandLine.h"
#include "apps/common/Profile.h"
#include "apps/remoteclient/MainForm.h"

namespace {

const CProgramInfo kProgram{
    "remoteclient", "VoltTCP REXEC Sample", VOLTTCP_VERSION,
    "Runs a command on a remote computer with rexec or rsh, or logs in to it with rlogin.",
    "  --rexec-port N       the remote execution server's port (default 512)\n"
    "  --rsh-port N         the remote shell server's port (default 514)\n"
    "  --rlogin-port N      the remote login server's port (default 513)\n"};

// False when the option is given and is not a port.
bool PortOption(const CCommandLine& commandLine, const char* name, uint16_t& port)
{
    const char* text = commandLine.Value(name);
    if (!text)
        return true;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || value == 0 || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    CCommandLine commandLine(kProgram,
                             {{"--rexec-port", true}, {"--rsh-port", true}, {"--rlogin-port", true}});
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    SServicePorts ports;
    for (const auto& [name, port] :
         {std::pair{"--rexec-port", &ports.rexec}, std::pair{"--rsh-port", &ports.rshell},
          std::pair{"--rlogin-port", &ports.rlogin}}) {
        if (!PortOption(commandLine, name, *port))
            return commandLine.Usage(std::string(name) + " takes a port from 1 to 65535");
    }
    return CApplication::Guarded([&] {
        CApplication app(argc, argv, kProgram);
        CProfile profile(CProfile::DefaultPath());
        TfrmMain mainForm(app.About(), profile, ports);
        return app.Run(mainForm);
    });
}
