#pragma once

#include <QObject>
#include <QSocketNotifier>

// Runs the library's message loop inside Qt's: the loop's descriptor wakes a socket
// notifier, and the library's pump hook lets Qt process user-interface work without
// delivering the library's own events nested.
class CQtLoopBridge final : public QObject {
    Q_OBJECT
public:
    CQtLoopBridge();
    ~CQtLoopBridge() override;
    CQtLoopBridge(const CQtLoopBridge&) = delete;
    CQtLoopBridge& operator=(const CQtLoopBridge&) = delete;

private:
    void Pump();

    QSocketNotifier m_notifier;
};
