#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QWidget>

#include "apps/streamclient/ClientView.h"

class CProfile;
class CTcpClient;
class CTcpQuery;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class TfrmAbout;

// The stream test client's window.
class TfrmMain final : public QWidget, private CTcpClientView {
    Q_OBJECT
public:
    // echoPort: where the echo test connects; the echo service's port unless a test says else.
    TfrmMain(TfrmAbout& about, CProfile& profile, uint16_t echoPort = 7, QWidget* parent = nullptr);
    ~TfrmMain() override;

    CTcpClient& Client() { return *m_client; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void btnConnectClick();
    void btnEchoClick();
    void btnSendClick();
    void btnQueryClick();
    void edTotalChange();
    void edPortChange();
    void edRepsExit();
    void mmoOutgoingChange();
    void TrackBarChange(int position);
    void RefreshStatus();
    void AppendIncoming(const QString& text);
    std::string OutgoingText() const;
    QGroupBox* BuildStackInfo();

    void OnClientConnected() override;
    void OnClientReceived(const char* bytes, uint32_t length, uint32_t totalReceived) override;
    void OnClientSubmitted(uint32_t totalSubmitted) override;
    void OnClientSent(uint32_t totalSent) override;
    void OnClientEchoDone(const std::string& report) override;
    void OnClientException(uint8_t code, const char* text) override;

    CProfile& m_profile;
    uint16_t m_echoPort;
    QLineEdit* m_edHost;
    QLineEdit* m_edPort;
    QLabel* m_StatusPanel;
    QLabel* m_ErrorPanel;
    QPlainTextEdit* m_mmoOutgoing;
    QLineEdit* m_edTotal;
    QLineEdit* m_edReps;
    QLabel* m_lblBytesSub;
    QLabel* m_lblBytesOut;
    QLabel* m_lblBytesRec;
    QPlainTextEdit* m_mmoIncoming;
    QCheckBox* m_cbxShow;
    QSlider* m_TrackBar;
    QLabel* m_lblRecvSize;
    QGroupBox* m_StackInfo;
    std::unique_ptr<CTcpClient> m_client;
    std::unique_ptr<CTcpQuery> m_query;
};
