#pragma once

#include <functional>

#include <QColor>
#include <QUrl>
#include <QWidget>

class QLabel;
class QPushButton;

// The About box every program shares; created once and only shown and hidden.
class TfrmAbout final : public QWidget {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    static QUrl HomePage();
    // Opening the link goes through here so that the desktop can be left alone in tests.
    void SetUrlOpener(std::function<bool(const QUrl&)> opener);
    QColor LinkColor() const;

    // Shows the form, or raises it when it is already shown.
    void ShowAbout();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetLinkColor(const QColor& color);

    QLabel* m_lblTitle;
    QLabel* m_lblWWW;
    QWidget* m_panel;
    QColor m_linkColor;
    std::function<bool(const QUrl&)> m_openUrl;
};
