#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "lib/MessageLoop.h"
#include "lib/TraceView.h"

class CTraceView;

// A session's hidden notification target: its messages, timers, title and trace view.
// Destroying it drops everything still queued for it.
class CNotifyWindow final {
public:
    explicit CNotifyWindow(MessageHandler handler);
    ~CNotifyWindow();
    CNotifyWindow(const CNotifyWindow&) = delete;
    CNotifyWindow& operator=(const CNotifyWindow&) = delete;

    TargetHandle Handle() const { return m_handle; }
    void Post(uint32_t message, uintptr_t wParam, intptr_t lParam);
    void SetTimer(uintptr_t id, uint32_t periodMs);
    void KillTimer(uintptr_t id);

    void SetTitle(const std::string& title);
    const std::string& Title() const { return m_title; }
    void ShowMinimized();

    // The view is created on first use, so sessions that do not trace cost no view.
    CTraceView& TraceView();
    bool HasTraceView() const { return m_view != nullptr; }

private:
    TargetHandle m_handle;
    std::string m_title;
    std::unique_ptr<CTraceView> m_view;
};
