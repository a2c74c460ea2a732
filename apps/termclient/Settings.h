#pragma once

#include <cstdint>

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

// "Server Setup": the host and port of the next connection.
class TfrmSettings final : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSettings(QWidget* parent = nullptr);

    // "telnet", "echo", "chargen" or a decimal port; 23 for anything else.
    static uint16_t PortFromText(const QString& text);

    void SetHost(const QString& host);
    QString Host() const;
    // Shows the port of the last connection: its service name where it has one.
    void SetPort(uint16_t port);
    uint16_t Port() const { return m_port; }

    QLineEdit* edHost;
    QComboBox* cboPort;
    QPushButton* btnConnect;
    QPushButton* btnCancel;

private:
    void btnConnectClick();

    uint16_t m_port = 23;
};
