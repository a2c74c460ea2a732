#include "apps/common/TraceWindow.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

class CTraceWindow::CWindow final : public QWidget {
public:
    explicit CWindow(CTraceWindow& owner) : m_owner(owner) {}

protected:
    void closeEvent(QCloseEvent* event) override
    {
        // The window stays; the library aborts the session and decides when to drop the view.
        // That may destroy this widget, so it must not happen inside its own event.
        event->ignore();
        QPointer<CWindow> alive(this);
        QTimer::singleShot(0, this, [this, alive] {
            if (alive && m_owner.onClose) {
                m_owner.onClose();
            }
        });
    }

private:
    CTraceWindow& m_owner;
};

CTraceWindow::CTraceWindow() : m_window(std::make_unique<CWindow>(*this)), m_text(nullptr)
{
    m_window->setObjectName("TraceWindow");
    m_window->setAttribute(Qt::WA_ShowWithoutActivating);
    m_text = new QPlainTextEdit(m_window.get());
    m_text->setObjectName("mmoTrace");
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_text);
    m_window->resize(560, 240);
}

CTraceWindow::~CTraceWindow() = default;

void CTraceWindow::SetTitle(const std::string& title)
{
    m_window->setWindowTitle(QString::fromLocal8Bit(title.c_str()));
}

void CTraceWindow::AppendLine(const std::string& line)
{
    m_text->appendPlainText(QString::fromLatin1(line.c_str()));
    ++m_lines;
}

void CTraceWindow::Clear()
{
    m_text->clear();
    m_lines = 0;
}

int CTraceWindow::LineCount() const
{
    return m_lines;
}

void CTraceWindow::ShowMinimized()
{
    m_window->showMinimized();
}

QWidget* CTraceWindow::Window() const
{
    return m_window.get();
}

void CTraceWindow::Install()
{
    SetTraceViewFactory([] { return std::make_unique<CTraceWindow>(); });
}
