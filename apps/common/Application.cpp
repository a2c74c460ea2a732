#include "apps/common/Application.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include "apps/common/About.h"
#include "apps/common/LoopBridge.h"
#include "apps/common/TraceWindow.h"

// Ends the event loop once a close of the main window has gone through (the form may refuse it).
class CApplication::CMainWindowWatch final : public QObject {
public:
    explicit CMainWindowWatch(QWidget& mainForm) : m_form(&mainForm) { mainForm.installEventFilter(this); }
    ~CMainWindowWatch() override
    {
        if (m_form)
            m_form->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_form && event->type() == QEvent::Close) {
            QTimer::singleShot(0, this, [this] {
                if (m_form && !m_form->isVisible())
                    QApplication::exit(0);  // quit() would ask every window, and some refuse
            });
        }
        return false;
    }

private:
    QPointer<QWidget> m_form;
};

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
    CMainWindowWatch watch(mainForm);
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
