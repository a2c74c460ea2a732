#include "tests/support/QtTestApp.h"

#include <csignal>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "apps/common/Application.h"
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

bool ClosingEndsTheRun(QWidget& form)
{
    constexpr int kStuck = 99;
    QTimer close;
    close.setSingleShot(true);
    QObject::connect(&close, &QTimer::timeout, &form, [&form] { form.close(); });
    close.start(20);
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QApplication::exit(kStuck); });
    stuck.start(5000);
    return CApplication::Run(form) == 0 && !form.isVisible();
}
