#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QColor>
#include <QDialog>
#include <QFont>

#include "vt/VtProperty.h"

class CTelnetClient;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Terminal Preferences": echo, CR -> CRLF, history rows, colours, font, status bar events,
// the character encoding, what the keys send and how much a host may print in one job. Cancel takes back what the dialog changed.
class TfrmPrefs final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPrefs(QWidget* parent = nullptr);

    // The host print limit is edited and kept in whole megabytes.
    static constexpr uint64_t kMegabyte = 1024 * 1024;
    static constexpr int kMaxPrintLimitMb = 1024;

    // The client the dialog edits; filled from it before each showing.
    void Fill(CTelnetClient& client);

    // The colour and font dialogs, replaceable so that tests need no modal dialog.
    std::function<std::optional<QColor>(const QColor& initial, const QString& title)> m_pickColor;
    std::function<std::optional<QFont>(const QFont& initial)> m_pickFont;

    QCheckBox* cbxEcho;
    QCheckBox* cbxCRLF;
    QLineEdit* edBufferRows;
    QSpinBox* spnPrintLimit;  // megabytes
    QPushButton* btnForeColor;
    QPushButton* btnBackColor;
    QPushButton* btnBoldColor;
    QPushButton* Button1;
    QCheckBox* cbxSbEvents;
    QComboBox* cboEncoding;  // "UTF-8", "8-bit (VT320)"
    QComboBox* cboKeyLayout;
    QCheckBox* cbxBackspaceDel;
    QCheckBox* cbxAltEscape;
    QPushButton* btnOK;
    QPushButton* btnCancel;

signals:
    void StatusCleared();
    // OK applied the settings to the client.
    void Applied();

public slots:
    // Cancel, Escape or closing the window: the colours and the font as they were.
    void reject() override;

private:
    void PickColour(EVtProperty property, const QString& title);
    void Button1Click();
    void btnOKClick();

    CTelnetClient* m_client = nullptr;
    // What Cancel restores: the colours and the font change at once.
    VtValue m_colours[3] = {};
    std::optional<QFont> m_fontBefore;
};
