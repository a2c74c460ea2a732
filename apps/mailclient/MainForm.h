#pragma once

#include <memory>
#include <string>

#include <QMainWindow>
#include <QStringDecoder>

#include "apps/mailclient/Client.h"

class CProfile;
class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class TfrmAbout;
class TfrmSettings;

// The mail program's window: the message list with its progress bar and panels, and the view
// of a retrieved message.
class TfrmMain final : public QMainWindow, private IMailView {
    Q_OBJECT
public:
    TfrmMain(CProfile& profile, TfrmAbout* about, QWidget* parent = nullptr);
    ~TfrmMain() override;

    CPopClient& Client() { return *m_client; }
    TfrmSettings& Settings() { return *m_settings; }

    void mnuHeadersClick();
    void mnuSaveAllClick();
    void mnuCloseClick();
    void mnuSettingsClick();
    void lbxMessageDblClick();
    // The Delete key on a selected line; confirm answers the question (tests pass one).
    void DeleteSelected(bool (*confirm)(QWidget*, int) = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void EnterBusy();
    void ApplySettingsToMenus();
    void btnHideClick();

    void ShowStatus(const std::string& text, bool connected) override;
    void ShowAction(const std::string& text) override;
    void ShowException(const std::string& text) override;
    void ShowServerError(const std::string& text) override;
    void ShowClosed() override;
    void AddListLine(const std::string& line) override;
    void EnableList() override;
    void RemoveSelectedLine() override;
    void SetProgressMax(int maximum) override;
    void SetProgress(int position) override;
    void AdvanceProgress(int by) override;
    void InsertText(const std::string& bytes) override;
    void ShowMessageView() override;
    void ShowNoMessages() override;

    CProfile& m_profile;
    TfrmAbout* m_about;
    std::unique_ptr<CPopClient> m_client;
    TfrmSettings* m_settings;
    QAction* m_mnuHeaders;
    QAction* m_mnuSaveAll;
    QAction* m_mnuClose;
    QAction* m_mnuSettings;
    QGroupBox* m_MessageList;
    QListWidget* m_lbxMessage;
    QProgressBar* m_ProgressBar;
    QLabel* m_StatusPanel;
    QLabel* m_ActionPanel;
    QLabel* m_ServerErrorPanel;
    QGroupBox* m_ViewMailMessage;
    QPlainTextEdit* m_mmoMessage;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
};
