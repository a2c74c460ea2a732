#include "tests/support/QtTestApp.h"

#include <csignal>

#include <QApplication>
#include <QTest>

#include "apps/common/LoopBridge.h"
#include "apps/common/TraceWindow.h"
#include "tests/support/RunLoop.h"

void EnsureQtTestApp(const char* title)
{
    if (QApplication::instance()) {
        QApplication::setApplicationDisplayName(title);
        return;
    }
    std::signal(SIGPIPE, SIG_IGN);
    static int argc = 3;
    static char arg0[] = "tests";
    static char arg1[] = "-platform";
    static char arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    // Kept for the life of the process: Qt must outlive every form the tests create.
    static auto* app = new QApplication(argc, argv);
    static auto* bridge = new CQtLoopBridge();
    (void)app;
    (void)bridge;
    CTraceWindow::Install();
    SetEventLoopStep([] { QTest::qWait(2); });
    QApplication::setApplicationDisplayName(title);
}
