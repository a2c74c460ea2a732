#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A session's readable trace: a small text view, kept hidden until the session asks for it.
class CTraceView {
public:
    virtual ~CTraceView() = default;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void AppendLine(const std::string& line) = 0;  // one line, without line end
    virtual void Clear() = 0;
    virtual int LineCount() const = 0;
    virtual void ShowMinimized() = 0;  // shown minimised, not activated
    std::function<void()> onClose;     // set by the library: the user closed the view
};

using TraceViewFactory = std::function<std::unique_ptr<CTraceView>()>;

// Process-wide; an empty factory restores the in-memory default.
void SetTraceViewFactory(TraceViewFactory factory);
std::unique_ptr<CTraceView> CreateTraceView();

// The headless view: keeps its lines, and echoes them to standard error when VOLTTCP_TRACE=1.
class CMemoryTraceView final : public CTraceView {
public:
    CMemoryTraceView();
    void SetTitle(const std::string& title) override { m_title = title; }
    void AppendLine(const std::string& line) override;
    void Clear() override { m_lines.clear(); }
    int LineCount() const override { return static_cast<int>(m_lines.size()); }
    void ShowMinimized() override { m_shown = true; }

    const std::string& Title() const { return m_title; }
    const std::vector<std::string>& Lines() const { return m_lines; }
    bool IsShown() const { return m_shown; }

private:
    std::string m_title;
    std::vector<std::string> m_lines;
    bool m_shown = false;
    bool m_echo = false;
};
