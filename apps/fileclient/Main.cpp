#include <QApplication>

#include "apps/common/About.h"
#include "apps/common/Application.h"
#include "apps/common/Profile.h"
#include "apps/fileclient/MainForm.h"

namespace {

const CProgramInfo kProgram = {
    "fileclient",
    "VoltTCP FTP Client Sample",
    VOLTTCP_VERSION,
    "An FTP client: listings, downloads and uploads in active or passive mode.",
    "  ftp://[USER[:PASSWORD]@]HOST[:PORT][/PATH]\n"
    "                       fill in the fields and log in at start; a PATH ending in /\n"
    "                       is changed to, a file name is offered for RETR\n",
};

}  // namespace

int main(int argc, char** argv)
{
    CCommandLine commandLine(kProgram, {}, 1);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    return CApplication::Guarded([&] {
        CApplication app(argc, argv, kProgram);
        CProfile profile(CProfile::DefaultPath());
        TfrmMain main(app.About(), profile);
        if (!commandLine.Arguments().empty())
            main.OpenLink(QString::fromLocal8Bit(commandLine.Arguments().front().c_str()));
        return app.Run(main);
    });
}
