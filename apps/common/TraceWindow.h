#pragma once

#include <memory>
#include <string>

#include "lib/TraceView.h"

class QPlainTextEdit;
class QWidget;

// A session's trace lines in a small window of their own. Closing the window by the user
// asks the library to abort the session; the window itself lives until the library drops it.
class CTraceWindow final : public CTraceView {
public:
    CTraceWindow();
    ~CTraceWindow() override;
    CTraceWindow(const CTraceWindow&) = delete;
    CTraceWindow& operator=(const CTraceWindow&) = delete;

    void SetTitle(const std::string& title) override;
    void AppendLine(const std::string& line) override;
    void Clear() override;
    int LineCount() const override;
    void ShowMinimized() override;

    QWidget* Window() const;

    // Makes every new session's trace view one of these windows.
    static void Install();

private:
    class CWindow;
    std::unique_ptr<CWindow> m_window;
    QPlainTextEdit* m_text;
    int m_lines = 0;
};
