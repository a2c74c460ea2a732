#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QClipboard>
#include <QMainWindow>

#include "apps/termclient/Client.h"

class CProfile;
class QAction;
class QLabel;
class TfrmAbout;
class TfrmPrefs;
class TfrmSettings;

// The terminal program's main window: the terminal above a two-panel status bar.
class TfrmMain final : public QMainWindow, public ITelnetClientView {
    Q_OBJECT
public:
    // encoding: UTF-8 (true) or 8-bit for this run, whatever the settings say.
    TfrmMain(CProfile& profile, TfrmAbout* about, QWidget* parent = nullptr,
             std::optional<bool> encoding = std::nullopt);
    ~TfrmMain() override;

    // The encoding a new user gets: UTF-8 where the locale's character set is UTF-8.
    static bool LocaleIsUtf8();

    CTelnetClient& Client() { return *m_client; }
    TfrmSettings& Settings() { return *m_settings; }
    TfrmPrefs& Prefs() { return *m_prefs; }
    QString Status(int panel) const;
    // Connect as the settings dialog would, without showing it.
    void ConnectTo(const QString& host, uint16_t port);

    // ITelnetClientView
    void SetStatus(int panel, const QString& text) override;
    void SetConnectedMenus(bool connected) override;
    void FocusTerminal() override;
    void SetTitle(const QString& title) override;
    void PasteSelection() override;

    // Replaceable so that tests need no modal dialogs.
    std::function<bool()> m_runSettings;
    std::function<void()> m_runPrefs;
    std::function<QString()> m_askLogFile;

    QAction* mnuRemoteSystem;
    QAction* mnuDisconnect;
    QAction* mnuExit;
    QAction* mnuCopy;
    QAction* mnuPaste;
    QAction* mnuSelectAll;
    QAction* mnuPreferences;
    QAction* mnuLogStart;
    QAction* mnuLogStop;
    QAction* mnuAbout;

    void mnuRemoteSystemClick();
    void mnuDisconnectClick();
    void mnuCopyClick();
    void mnuPasteClick();
    void mnuSelectAllClick();
    void mnuPreferencesClick();
    void mnuLogStartClick();
    void mnuLogStopClick();
    void mnuAboutClick();

protected:
    void changeEvent(QEvent* event) override;

private:
    void BuildMenus();
    // Sends the text of the clipboard or of the primary selection, as it is.
    void Paste(QClipboard::Mode mode);
    void LoadTerminalSettings(std::optional<bool> encoding);
    void SaveTerminalSettings();

    CProfile& m_profile;
    TfrmAbout* m_about;
    QLabel* m_panels[2];
    TfrmSettings* m_settings;
    TfrmPrefs* m_prefs;
    std::unique_ptr<CTelnetClient> m_client;
};
