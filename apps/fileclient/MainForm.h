#pragma once

#include <memory>
#include <string>

#include <QString>
#include <QWidget>

#include "apps/fileclient/ClientView.h"

class CFtpClient;
class CProfile;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TfrmAbout;

// The FTP program's window: login, a command with its fields, and one log of commands,
// replies, listings and exceptions.
class TfrmMain final : public QWidget, private IFtpClientView {
    Q_OBJECT
public:
    TfrmMain(TfrmAbout& about, CProfile& profile, QWidget* parent = nullptr);
    ~TfrmMain() override;  // writes the settings, kills the session

    CFtpClient& Client() { return *m_client; }

    // ftp://[user[:password]@]host[:port][/path]: fills the fields and logs in. A path that
    // ends in '/' is the directory to change to; otherwise its last part is offered for RETR.
    // False (and a line in the log) when the text is not such a link.
    bool OpenLink(const QString& link);

private:
    void WriteSettings();
    void ResetFields();
    void cboCmdChange();
    void btnCmdClick();
    void btnLoginClick();
    void cbxAutoClick();

    void ShowControl(bool connected) override;
    void ShowData(bool flowing) override;
    void ShowCount(const std::string& text) override;
    void ShowRate(const std::string& text) override;
    void AppendLog(const std::string& text) override;
    size_t LogLength() const override;
    void ClearLog() override;

    CProfile& m_profile;
    QLabel* m_lblCountLabel;
    QLabel* m_lblCount;
    QLabel* m_lblRateLabel;
    QLabel* m_lblRate;
    QGroupBox* m_LogRepliesListing;
    QPlainTextEdit* m_mmoResponse;
    QComboBox* m_cboCmd;
    QLabel* m_lblCustom;
    QLabel* m_lblRemFile;
    QLineEdit* m_edRemFile;
    QLabel* m_lblLocFile;
    QLineEdit* m_edLocFile;
    QLabel* m_lblBuffer;
    QLineEdit* m_edBuffer;
    QLabel* m_lblRestart;
    QLineEdit* m_edRestart;
    QCheckBox* m_cbxAuto;
    QCheckBox* m_cbxPassive;
    QCheckBox* m_cbxBinary;
    QLineEdit* m_edHost;
    QLineEdit* m_edUser;
    QLineEdit* m_edPass;
    QLineEdit* m_edAccount;
    QLabel* m_lblControl;
    QLabel* m_lblData;
    std::unique_ptr<CFtpClient> m_client;
    std::string m_pendingDirectory;  // a link's directory, changed to after the login
};
