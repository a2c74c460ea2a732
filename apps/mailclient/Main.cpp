#include "apps/common/Application.h"
#include "apps/common/CommandLine.h"
#include "apps/common/Profile.h"
#include "apps/mailclient/MainForm.h"

namespace {

const CProgramInfo kProgram = {
    "mailclient",
    "VoltTCP POP3 Sample",
    VOLTTCP_VERSION,
    "A POP3 mail reader: lists, retrieves, deletes and saves messages with their attachments.",
    "",
};

}  // namespace

int main(int argc, char** argv)
{
    CCommandLine commandLine(kProgram, {});
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    return CApplication::Guarded([&] {
        CApplication app(argc, argv, kProgram);
        CProfile profile(CProfile::DefaultPath());
        TfrmMain main(profile, &app.About());
        return app.Run(main);
    });
}
