#include "apps/common/LoopBridge.h"

#include <QCoreApplication>

#include "lib/MessageLoop.h"

CQtLoopBridge::CQtLoopBridge() : m_notifier(CMessageLoop::Instance().Fd(), QSocketNotifier::Read)
{
    connect(&m_notifier, &QSocketNotifier::activated, this, [] { CMessageLoop::Instance().RunOnce(0); });
    CMessageLoop::Instance().SetPumpHook([this] { Pump(); });
}

CQtLoopBridge::~CQtLoopBridge()
{
    CMessageLoop::Instance().SetPumpHook(nullptr);
}

void CQtLoopBridge::Pump()
{
    // The notifier is the only way the library's events enter Qt, so with it disabled
    // processEvents runs user-interface and paint work only. ExcludeSocketNotifiers is not
    // honoured by the glib dispatcher, hence the explicit switch.
    const bool wasEnabled = m_notifier.isEnabled();
    m_notifier.setEnabled(false);
    QCoreApplication::processEvents();
    m_notifier.setEnabled(wasEnabled);
}
