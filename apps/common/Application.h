#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "apps/common/CommandLine.h"

class QApplication;
class QWidget;
class CQtLoopBridge;
class TfrmAbout;

// Program start shared by every program: title first, then the forms, which live for the
// whole run and are only shown and hidden; the library's loop runs inside Qt's.
class CApplication final {
public:
    CApplication(int& argc, char** argv, const CProgramInfo& info);
    ~CApplication();
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;

    TfrmAbout& About();
    // Shows the main form and runs until it is closed: other windows still open (trace
    // windows, dialogs) do not keep the program alive.
    static int Run(QWidget& mainForm);

    // Runs start-up; an exception that escapes it is shown and the program ends normally.
    static int Guarded(const std::function<int()>& start);

private:
    class CMainWindowWatch;

    std::unique_ptr<QApplication> m_app;
    std::unique_ptr<CQtLoopBridge> m_bridge;
    std::unique_ptr<TfrmAbout> m_about;
};
