#include "apps/loopserver/MainForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "apps/common/About.h"
#include "apps/common/FieldWidth.h"
#include "apps/common/FormColors.h"
#include "apps/loopserver/Info.h"
#include "apps/loopserver/Server.h"
#include "lib/VoltTcp.h"

namespace {

// A port typed by the user: 1 to 65535, or 0 when the text is not one.
uint16_t ParsePort(const QString& text)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    return ok && value >= 1 && value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

}  // namespace

TfrmMain::TfrmMain(TfrmAbout& about, TfrmInfo& info, uint16_t port, QWidget* parent)
    : QWidget(parent),
      m_lblServerStatus(new QLabel("SERVER OFF", this)),
      m_lblConn(new QLabel("0", this)),
      m_edListeningPort(new QLineEdit(this)),
      m_btnToggle(new QPushButton("OFF", this)),
      m_lblError(new QLabel(this))
{
    setObjectName("TfrmMain");
    setWindowTitle("VoltTCP Echo Server");

    auto* group = new QGroupBox("Server Operation", this);
    group->setObjectName("grpServer");
    m_lblServerStatus->setObjectName("lblServerStatus");
    m_lblServerStatus->setAlignment(Qt::AlignCenter);
    m_lblServerStatus->setMinimumHeight(32);
    QFont statusFont = m_lblServerStatus->font();
    statusFont.setBold(true);
    statusFont.setPointSize(statusFont.pointSize() + 2);
    m_lblServerStatus->setFont(statusFont);

    m_lblConn->setObjectName("lblConn");
    m_edListeningPort->setObjectName("edListeningPort");
    m_edListeningPort->setMaxLength(5);
    m_edListeningPort->setText(QString::number(port));
    FitFieldToDigits(m_edListeningPort, 5);
    m_btnToggle->setObjectName("btnToggle");
    m_lblError->setObjectName("lblError");
    m_lblError->setWordWrap(true);
    m_lblError->setMargin(4);
    SetFormColors(m_lblError, kColorMaroon, kColorWhite);

    auto* grid = new QGridLayout(group);
    grid->addWidget(m_lblServerStatus, 0, 0, 1, 3);
    auto* lblConnCaption = new QLabel("Active Connections:", group);
    lblConnCaption->setObjectName("lblConnCaption");
    grid->addWidget(lblConnCaption, 1, 0);
    grid->addWidget(m_lblConn, 1, 1, 1, 2);
    auto* lblPortCaption = new QLabel("Listening Port:", group);
    lblPortCaption->setObjectName("lblPortCaption");
    lblPortCaption->setBuddy(m_edListeningPort);
    grid->addWidget(lblPortCaption, 2, 0);
    grid->addWidget(m_edListeningPort, 2, 1);
    grid->addWidget(m_btnToggle, 2, 2);
    grid->addWidget(m_lblError, 3, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);

    auto* btnHelp = new QPushButton("Help", this);
    btnHelp->setObjectName("btnHelp");
    auto* btnAbout = new QPushButton("About VoltTCP", this);
    btnAbout->setObjectName("btnAbout");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnHelp);
    buttons->addStretch();
    buttons->addWidget(btnAbout);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);
    resize(340, 230);

    connect(m_btnToggle, &QPushButton::clicked, this, [this] { btnToggleClick(); });
    connect(m_edListeningPort, &QLineEdit::editingFinished, this, [this] { edListeningPortExit(); });
    connect(btnHelp, &QPushButton::clicked, this, [&info] {
        info.show();
        info.raise();
    });
    connect(btnAbout, &QPushButton::clicked, this, [&about] { about.ShowAbout(); });

    SetServerStatus(false);
    m_lblError->hide();
    CEchoServerView& view = *this;
    m_server = std::make_unique<CEchoServer>(view);
    m_server->SetPort(port);
    // A failure here (a port below 1024 without privilege, a port in use) stays on show.
    m_server->StartListening();
}

TfrmMain::~TfrmMain()
{
    m_server.reset();
}

void TfrmMain::btnToggleClick()
{
    if (const uint16_t port = ParsePort(m_edListeningPort->text()); port != 0) {
        m_server->SetPort(port);
    }
    if (m_server->GetState() == CVoltTcp::Closed) {
        m_server->StartListening();
    } else {
        m_server->Close(true);
    }
}

void TfrmMain::edListeningPortExit()
{
    const uint16_t port = ParsePort(m_edListeningPort->text());
    m_edListeningPort->setText(QString::number(port != 0 ? port : m_server->Port()));
}

void TfrmMain::SetServerStatus(bool listening)
{
    m_lblServerStatus->setText(listening ? "SERVER ON" : "SERVER OFF");
    SetFormColors(m_lblServerStatus, listening ? kColorGreen : kColorMaroon, kColorWhite);
    m_btnToggle->setText(listening ? "OFF" : "ON");
    m_edListeningPort->setEnabled(!listening);
}

void TfrmMain::OnServerListening(uint16_t port)
{
    m_edListeningPort->setText(QString::number(port));
    SetServerStatus(true);
    m_lblError->hide();
}

void TfrmMain::OnServerStopped()
{
    SetServerStatus(false);
}

void TfrmMain::OnConnectionCount(uint32_t connections)
{
    m_lblConn->setText(QString::number(connections));
}

void TfrmMain::OnServerError(const char* text, bool closed)
{
    m_lblError->setText(QString::fromLatin1(text));
    m_lblError->show();
    if (closed) {
        m_btnToggle->setText("ON");
    }
}
