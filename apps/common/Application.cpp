#include "apps/common/Application.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include <QApplication>
#include <QMessageBox>

#include "apps/common/About.h"
#include "apps/common/LoopBridge.h"
#include "apps/common/TraceWindow.h"

std::string CApplication::HelpText(const CProgramInfo& info)
{
    std::string text = std::string("Usage: ") + info.name + " [options]\n" + info.summary + "\n\nOptions:\n";
    if (info.options && *info.options) {
        text += info.options;
    }
    text += "  --help               show this help and exit\n"
            "  --version            show the version and exit\n"
            "  -platform NAME       Qt platform plugin, e.g. offscreen or xcb\n"
            "\nSettings are kept in $VOLTTCP_INI, else $XDG_CONFIG_HOME/VOLTTCP.INI,\n"
            "else ~/.config/VOLTTCP.INI.\n";
    return text;
}

std::optional<int> CApplication::HandleStandardOptions(int argc, char** argv, const CProgramInfo& info)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(HelpText(info).c_str(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s (%s) %s\n", info.name, info.title, info.version);
            return 0;
        }
    }
    return std::nullopt;
}

CApplication::CApplication(int& argc, char** argv, const CProgramInfo& info)
    : m_app(std::make_unique<QApplication>(argc, argv))
{
    QApplication::setApplicationName(info.name);
    QApplication::setApplicationDisplayName(info.title);
    QApplication::setApplicationVersion(info.version);
    m_bridge = std::make_unique<CQtLoopBridge>();
    CTraceWindow::Install();
    m_about = std::make_unique<TfrmAbout>();
}

CApplication::~CApplication()
{
    m_about.reset();
    m_bridge.reset();
}

TfrmAbout& CApplication::About()
{
    return *m_about;
}

int CApplication::Run(QWidget& mainForm)
{
    mainForm.show();
    return QApplication::exec();
}

int CApplication::Guarded(const std::function<int()>& start)
{
    try {
        return start();
    } catch (const std::exception& error) {
        if (QApplication::instance()) {
            QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), error.what());
        } else {
            std::fprintf(stderr, "%s\n", error.what());
        }
        return 0;
    }
}
