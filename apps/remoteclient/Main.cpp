#include "apps/common/About.h"
#include "apps/common/Application.h"
#include "apps/common/CommandLine.h"
#include "apps/common/Profile.h"
#include "apps/remoteclient/MainForm.h"

namespace {

const CProgramInfo kProgram{
    "remoteclient", "VoltTCP REXEC Sample", VOLTTCP_VERSION,
    "Runs a command on a remote computer with rexec or rsh, or logs in to it with rlogin.", ""};

}  // namespace

int main(int argc, char** argv)
{
    CCommandLine commandLine(kProgram, {});
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    return CApplication::Guarded([&] {
        CApplication app(argc, argv, kProgram);
        CProfile profile(CProfile::DefaultPath());
        TfrmMain mainForm(app.About(), profile);
        return app.Run(mainForm);
    });
}
