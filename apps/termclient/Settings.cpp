#include "apps/termclient/Settings.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmSettings::TfrmSettings(QWidget* parent) : QDialog(parent)
{
    setObjectName("TfrmSettings");
    setWindowTitle("Server Setup");
    auto* group = new QGroupBox("Remote Host Information", this);
    edHost = new QLineEdit(group);
    edHost->setObjectName("edHost");
    cboPort = new QComboBox(group);
    cboPort->setObjectName("cboPort");
    cboPort->setEditable(true);
    cboPort->addItems({"telnet", "echo", "chargen"});
    // Room for a host name and the longest port name whole.
    edHost->setMinimumWidth(edHost->fontMetrics().horizontalAdvance(QString(32, 'x')));
    cboPort->setMinimumContentsLength(8);
    auto* form = new QFormLayout(group);
    form->addRow("Host:", edHost);
    form->addRow("Port:", cboPort);

    btnConnect = new QPushButton("Connect", this);
    btnConnect->setObjectName("btnConnect");
    btnConnect->setDefault(true);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnConnect);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    connect(btnConnect, &QPushButton::clicked, this, &TfrmSettings::btnConnectClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

uint16_t TfrmSettings::PortFromText(const QString& text)
{
    const QString name = text.trimmed();
    if (name.compare("telnet", Qt::CaseInsensitive) == 0)
        return 23;
    if (name.compare("echo", Qt::CaseInsensitive) == 0)
        return 7;
    if (name.compare("chargen", Qt::CaseInsensitive) == 0)
        return 19;
    bool ok = false;
    const uint port = name.toUInt(&ok, 10);
    // A number that is no port would wrap into some other port; it counts as no number.
    return ok && port >= 1 && port <= 65535 ? static_cast<uint16_t>(port) : 23;
}

void TfrmSettings::SetHost(const QString& host)
{
    edHost->setText(host);
}

void TfrmSettings::SetPort(uint16_t port)
{
    m_port = port;
    const QString name = port == 23   ? "telnet"
                         : port == 7  ? "echo"
                         : port == 19 ? "chargen"
                                      : QString::number(port);
    cboPort->setCurrentText(name);
}

QString TfrmSettings::Host() const
{
    return edHost->text().trimmed();
}

void TfrmSettings::btnConnectClick()
{
    m_port = PortFromText(cboPort->currentText());
    accept();
}
