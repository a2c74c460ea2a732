#include "lib/NotifyWindow.h"

CNotifyWindow::CNotifyWindow(MessageHandler handler)
    : m_handle(CMessageLoop::Instance().Register(std::move(handler)))
{}

CNotifyWindow::~CNotifyWindow()
{
    if (m_view)
        m_view->onClose = nullptr;
    CMessageLoop::Instance().Unregister(m_handle);
}

void CNotifyWindow::Post(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    CMessageLoop::Instance().Post(m_handle, message, wParam, lParam);
}

void CNotifyWindow::SetTimer(uintptr_t id, uint32_t periodMs)
{
    CMessageLoop::Instance().SetTimer(m_handle, id, periodMs);
}

void CNotifyWindow::KillTimer(uintptr_t id)
{
    CMessageLoop::Instance().KillTimer(m_handle, id);
}

void CNotifyWindow::SetTitle(const std::string& title)
{
    m_title = title;
    if (m_view)
        m_view->SetTitle(title);
}

void CNotifyWindow::ShowMinimized()
{
    TraceView().ShowMinimized();
}

CTraceView& CNotifyWindow::TraceView()
{
    if (!m_view) {
        m_view = CreateTraceView();
        m_view->SetTitle(m_title);
        // Closing the view is a request, never a destruction: the session decides (it aborts).
        const TargetHandle handle = m_handle;
        m_view->onClose = [handle] { CMessageLoop::Instance().Post(handle, kMsgClose, 0, 0); };
    }
    return *m_view;
}
