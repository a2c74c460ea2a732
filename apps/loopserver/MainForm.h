#pragma once

#include <cstdint>
#include <memory>

#include <QWidget>

#include "apps/loopserver/EchoServerView.h"

class CEchoServer;
class QLabel;
class QLineEdit;
class QPushButton;
class TfrmAbout;
class TfrmInfo;

// The echo server's window: listening state, active connections, the port and the last error.
class TfrmMain final : public QWidget, private CEchoServerView {
    Q_OBJECT
public:
    TfrmMain(TfrmAbout& about, TfrmInfo& info, uint16_t port = 7, QWidget* parent = nullptr);
    ~TfrmMain() override;

    CEchoServer& Server() { return *m_server; }

private:
    void btnToggleClick();
    void edListeningPortExit();
    void SetServerStatus(bool listening);

    void OnServerListening(uint16_t port) override;
    void OnServerStopped() override;
    void OnConnectionCount(uint32_t connections) override;
    void OnServerError(const char* text, bool closed) override;

    QLabel* m_lblServerStatus;
    QLabel* m_lblConn;
    QLineEdit* m_edListeningPort;
    QPushButton* m_btnToggle;
    QLabel* m_lblError;
    std::unique_ptr<CEchoServer> m_server;
};
