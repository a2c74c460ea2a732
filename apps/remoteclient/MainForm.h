#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QWidget>

#include "remote/DisplayFilter.h"
#include "remote/Rbase.h"
#include "remote/RemoteView.h"

class CProfile;
class CRemoteDisplay;
class CRexecClient;
class CRloginClient;
class CRshellClient;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TfrmAbout;

// Where the servers listen: the services' own ports unless the command line says else.
struct SServicePorts {
    uint16_t rexec = CBaseClient::kRexecPort;
    uint16_t rshell = CBaseClient::kRshellPort;
    uint16_t rlogin = CBaseClient::kRloginPort;
};

// The remote command program's window: runs a command with rexec or rsh, or holds an
// rlogin session whose keys typed into the display go to the remote computer.
class TfrmMain final : public QWidget, private IRemoteView {
    Q_OBJECT
public:
    static constexpr uint16_t kDefaultLocalPort = 512;

    TfrmMain(TfrmAbout& about, CProfile& profile, SServicePorts ports = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    CRexecClient& RexecClient() { return *m_rexec; }
    CRshellClient& RshellClient() { return *m_rshell; }
    CRloginClient& RloginClient() { return *m_rlogin; }

    // The number in the local-port field, 512 when it is not one.
    uint16_t LocalPort() const;
    // The bytes a key typed into the display sends to an rlogin session; empty for none.
    static std::string KeyBytes(const QKeyEvent& event);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void rbRexecClick();
    void rbRshellClick();
    void rbRloginClick();
    void btnExecuteClick();
    void btnLoginClick();
    void btnLogoutClick();
    void edDisplayKeyPress(QKeyEvent* event);
    void edLocPortExit();
    void CloseAll();
    void ShowMode(bool password, bool command, bool localPort, const char* description);

    // IRemoteView
    void ShowStatus(const std::string& text, EPanelColor background, EPanelColor textColor) override;
    void ShowError(const std::string& text) override;
    void HideError() override;
    void ClearDisplay() override;
    void AppendDisplay(const char* text, size_t length) override;
    void FocusDisplay() override;
    std::string UserName() override;
    std::string Password() override;
    std::string Command() override;

    CProfile& m_profile;
    SServicePorts m_ports;
    QGroupBox* m_Protocol;
    QRadioButton* m_rbRexec;
    QRadioButton* m_rbRshell;
    QRadioButton* m_rbRlogin;
    QLabel* m_lblDesc;
    QLineEdit* m_edHost;
    QLineEdit* m_edUser;
    QLabel* m_lblPass;
    QLineEdit* m_edPass;
    QLabel* m_lblLocPort;
    QLineEdit* m_edLocPort;
    QLabel* m_lblCommand;
    QLineEdit* m_edCommand;
    QPushButton* m_btnExecute;
    QPushButton* m_btnLogin;
    QPushButton* m_btnLogout;
    QLabel* m_StatusPanel;
    QLabel* m_ErrorPanel;
    CRemoteDisplay* m_edDisplay;
    CDisplayFilter m_filter;
    CDisplayFilter::SEdit m_edit;
    std::unique_ptr<CRexecClient> m_rexec;
    std::unique_ptr<CRshellClient> m_rshell;
    std::unique_ptr<CRloginClient> m_rlogin;
};
