// A listing of 20,000 files into fileclient's log, through its form (offscreen), from vsftpd
// on 127.0.0.1: the time from the click to the 226 line, and the longest the event loop went
// without running (a zero-interval timer counts its turns).
//
//   build/bench/ftp_list_bench [files] [rounds]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "apps/common/About.h"
#include "apps/common/CommandLine.h"
#include "apps/common/Profile.h"
#include "apps/fileclient/Client.h"
#include "apps/fileclient/MainForm.h"
#include "tests/ftp/FtpServers.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

}  // namespace

int main(int argc, char** argv)
{
    const CProgramInfo info{"ftp_list_bench",
                            "VoltTCP FTP listing benchmark",
                            VOLTTCP_VERSION,
                            "A listing of FILES files through the FTP program's form, against vsftpd.",
                            "  FILES ROUNDS         files in the listed folder (default 20000), rounds (3)\n",
                            false};
    CCommandLine commandLine(info, {}, 2);
    if (const auto exitCode = commandLine.Parse(argc, argv))
        return *exitCode;
    const auto& args = commandLine.Arguments();
    const int files = args.size() > 0 ? std::atoi(args[0].c_str()) : 20000;
    const int rounds = args.size() > 1 ? std::atoi(args[1].c_str()) : 3;
    const SFtpServer& server = FtpServer(EFtpServer::kVsftpd);
    if (!server.running) {
        std::fprintf(stderr, "ftp_list_bench: %s\n", server.whyNot.c_str());
        return 1;
    }
    server.Put("many/keep.txt", "");
    for (int i = 0; i < files; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "many/file-%05d.txt", i);
        std::ofstream(server.root / name);
    }
    const fs::path ini = fs::temp_directory_path() / ("ftp-list-bench-" + std::to_string(getpid()) + ".ini");
    setenv("VOLTTCP_INI", ini.c_str(), 1);
    EnsureQtTestApp("VoltTCP FTP Client Sample");
    TfrmAbout about;
    CProfile profile(ini.string());
    auto form = std::make_unique<TfrmMain>(about, profile);
    form->show();
    auto* log = form->findChild<QPlainTextEdit*>("mmoResponse");
    const auto text = [&] { return log->toPlainText().toStdString(); };
    form->findChild<QLineEdit*>("edHost")->setText(QString::fromStdString(server.Host()));
    form->findChild<QLineEdit*>("edUser")->setText(QString::fromStdString(server.user));
    form->findChild<QLineEdit*>("edPass")->setText(QString::fromStdString(server.password));
    form->findChild<QPushButton*>("btnLogin")->click();
    if (!RunUntil([&] { return text().find("230 ") != std::string::npos; }, 10s))
        return 1;
    form->findChild<QComboBox*>("cboCmd")->setCurrentText("CWD");
    form->findChild<QLineEdit*>("edRemFile")->setText("many");
    form->findChild<QPushButton*>("btnCmd")->click();
    if (!RunUntil([&] { return text().find("\n250 ") != std::string::npos; }, 10s))
        return 1;

    std::printf("LIST of %d files into the log, %d rounds\n", files, rounds);
    for (const bool passive : {true, false}) {
        for (int round = 0; round < rounds; ++round) {
            form->findChild<QComboBox*>("cboCmd")->setCurrentText("LIST");
            form->findChild<QLineEdit*>("edRemFile")->setText("");
            form->findChild<QCheckBox*>("cbxPassive")->setChecked(passive);
            log->clear();
            QElapsedTimer clock;
            qint64 lastTurn = 0;
            qint64 longest = 0;
            QTimer turns;
            turns.setInterval(0);
            QObject::connect(&turns, &QTimer::timeout, [&] {
                const qint64 now = clock.nsecsElapsed();
                longest = std::max(longest, now - lastTurn);
                lastTurn = now;
            });
            clock.start();
            turns.start();
            form->findChild<QPushButton*>("btnCmd")->click();
            const bool done = RunUntil(
                [&] {
                    return form->Client().CurrentCommand() == 1 && text().find("226 ") != std::string::npos;
                },
                60s);
            const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
            turns.stop();
            std::printf("%s round %d: %s in %.1f ms, longest pause of the event loop %.2f ms\n",
                        passive ? "passive" : "active", round + 1, done ? "done" : "NOT DONE", ms,
                        static_cast<double>(longest) / 1e6);
        }
    }
    form.reset();
    fs::remove(ini);
    return 0;
}
