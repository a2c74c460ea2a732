#include <QApplication>
#include <QStringList>
#include <QUrl>

#include "apps/common/About.h"
#include "apps/common/Application.h"
#include "apps/common/CommandLine.h"
#include "apps/common/Profile.h"
#include "apps/termclient/MainForm.h"
#include "apps/termclient/Settings.h"

namespace {

const CProgramInfo kProgram = {
    "termclient",
    "VoltTCP Telnet - Vt320 Sample",
    VOLTTCP_VERSION,
    "A Telnet client with a VT320 terminal.",
    "  HOST [PORT]          connect at start (PORT: a number, telnet, echo or chargen; default 23)\n"
    "  telnet://HOST[:PORT] the same, as a desktop passes a link\n",
};

}  // namespace

int main(int argc, char** argv)
{
    CCommandLine commandLine(kProgram, {}, 2);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    return CApplication::Guarded([&] {
        CApplication app(argc, argv, kProgram);
        CProfile profile(CProfile::DefaultPath());
        TfrmMain main(profile, &app.About());
        QStringList args;
        for (const std::string& argument : commandLine.Arguments())
            args.push_back(QString::fromLocal8Bit(argument.c_str()));
        const QUrl link(args.value(0));
        if (link.scheme() == "telnet" && !link.host().isEmpty())
            main.ConnectTo(link.host(), static_cast<uint16_t>(link.port(0) > 0 ? link.port() : 23));
        else if (!args.isEmpty())
            main.ConnectTo(args.at(0), TfrmSettings::PortFromText(args.value(1, "telnet")));
        return app.Run(main);
    });
}
