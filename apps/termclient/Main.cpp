#include <optional>
#include <string>
#include <vector>

#include <QApplication>
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
    "  telnet://HOST[:PORT] the same, as a desktop passes a link\n"
    "  --encoding utf-8|8bit  host text as UTF-8, or as the VT320's 8-bit characters and\n"
    "                       controls, for this run (default: the preference, else the locale's)\n",
};

}  // namespace

int main(int argc, char** argv)
{
    CCommandLine commandLine(kProgram, {{"--encoding", true}}, 2);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    std::optional<bool> utf8;
    if (const char* encoding = commandLine.Value("--encoding")) {
        const QString name = QString::fromLocal8Bit(encoding).toLower();
        if (name == "utf-8" || name == "utf8")
            utf8 = true;
        else if (name == "8bit" || name == "8-bit")
            utf8 = false;
        else
            return commandLine.Usage(std::string("--encoding takes utf-8 or 8bit, not '") + encoding + "'");
    }
    return CApplication::Guarded([&] {
        CApplication app(argc, argv, kProgram);
        CProfile profile(CProfile::DefaultPath());
        TfrmMain main(profile, &app.About(), nullptr, utf8);
        const std::vector<std::string>& args = commandLine.Arguments();
        const QString first = args.empty() ? QString() : QString::fromLocal8Bit(args[0].c_str());
        const QUrl link(first);
        if (link.scheme() == "telnet" && !link.host().isEmpty())
            main.ConnectTo(link.host(), static_cast<uint16_t>(link.port(0) > 0 ? link.port() : 23));
        else if (!first.isEmpty())
            main.ConnectTo(first, TfrmSettings::PortFromText(
                                      args.size() > 1 ? QString::fromLocal8Bit(args[1].c_str()) : "telnet"));
        return app.Run(main);
    });
}
