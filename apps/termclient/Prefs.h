#pragma once

#include <functional>
#include <optional>

#include <QColor>
#include <QDialog>
#include <QFont>

#include "vt/VtProperty.h"

class CTelnetClient;
class QCheckBox;
class QLineEdit;
class QPushButton;

// "Terminal Preferences": echo, CR -> CRLF, history rows, colours, font, status bar events.
class TfrmPrefs final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPrefs(QWidget* parent = nullptr);

    // The client the dialog edits; filled from it before each showing.
    void Fill(CTelnetClient& client);

    // The colour and font dialogs, replaceable so that tests need no modal dialog.
    std::function<std::optional<QColor>(const QColor& initial, const QString& title)> m_pickColor;
    std::function<std::optional<QFont>(const QFont& initial)> m_pickFont;

    QCheckBox* cbxEcho;
    QCheckBox* cbxCRLF;
    QLineEdit* edBufferRows;
    QPushButton* btnForeColor;
    QPushButton* btnBackColor;
    QPushButton* btnBoldColor;
    QPushButton* Button1;
    QCheckBox* cbxSbEvents;
    QPushButton* btnOK;

signals:
    void StatusCleared();

private:
    void PickColour(EVtProperty property, const QString& title);
    void Button1Click();
    void btnOKClick();

    CTelnetClient* m_client = nullptr;
};
