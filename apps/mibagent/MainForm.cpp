#include "apps/mibagent/MainForm.h"

#include <QFontMetrics>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "apps/common/About.h"
#include "apps/common/FieldWidth.h"
#include "apps/common/FormColors.h"
#include "apps/mibagent/Agent.h"
#include "apps/mibagent/SystemDefaults.h"
#include "apps/mibagent/Trap.h"

namespace {

QLabel* Panel(const char* name, const QString& text, QWidget* parent)
{
    auto* panel = new QLabel(text, parent);
    panel->setObjectName(name);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setMargin(4);
    panel->setWordWrap(true);
    return panel;
}

}  // namespace

TfrmMain::TfrmMain(TfrmAbout& about, TfrmTrap& trap, uint16_t port, QWidget* parent)
    : QWidget(parent), m_edits{}
{
    setObjectName("TfrmMain");
    setWindowTitle("VoltTCP SNMP Agent");

    auto* status = new QGroupBox("Agent Status", this);
    status->setObjectName("grpStatus");
    m_statusPanel = Panel("StatusPanel", "Port Closed", status);
    QFont bold = m_statusPanel->font();
    bold.setBold(true);
    m_statusPanel->setFont(bold);
    SetFormColors(m_statusPanel, kColorMaroon, kColorWhite);
    // The longest status on one line, so that a narrow window never wraps the port away.
    m_statusPanel->setMinimumWidth(QFontMetrics(bold).horizontalAdvance("Listening on port 65535") +
                                   2 * (m_statusPanel->margin() + m_statusPanel->frameWidth()) + 2);
    m_errorPanel = Panel("ErrorPanel", "", status);
    SetFormColors(m_errorPanel, kColorMaroon, kColorWhite);
    m_errorPanel->hide();
    m_actionPanel = Panel("ActionPanel", "", status);
    SetFormColors(m_actionPanel, kColorYellow, kColorBlack);
    m_actionPanel->hide();
    auto* btnReset = new QPushButton("Reset", status);
    btnReset->setObjectName("btnReset");
    m_edPort = new QLineEdit(QString::number(port), status);
    m_edPort->setObjectName("edPort");
    m_edPort->setMaxLength(5);
    FitFieldToDigits(m_edPort, 5);
    auto* lblPort = new QLabel("Port:", status);
    lblPort->setObjectName("lblPort");
    lblPort->setBuddy(m_edPort);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(m_statusPanel, 1);
    statusRow->addWidget(lblPort);
    statusRow->addWidget(m_edPort);
    statusRow->addWidget(btnReset);
    auto* statusLayout = new QVBoxLayout(status);
    statusLayout->addLayout(statusRow);
    statusLayout->addWidget(m_errorPanel);
    statusLayout->addWidget(m_actionPanel);

    auto* system = new QGroupBox("System OID Configuration", this);
    system->setObjectName("grpSystem");
    auto* form = new QFormLayout(system);
    static const char* const kLabels[] = {
        "sysDescr:", "sysObjectID:", "sysContact:", "sysName:", "sysLocation:"};
    static const char* const kLabelNames[] = {"lblSysDescr", "lblSysObjectId", "lblSysContact", "lblSysName",
                                              "lblSysLocation"};
    static const char* const kEditNames[] = {"edSysDescr", "edSysObjectId", "edSysContact", "edSysName",
                                             "edSysLocation"};
    for (int i = 0; i < SystemTextCount; ++i) {
        m_edits[i] = new QLineEdit(QString::fromLatin1(kSystemDefaults[i]), system);
        m_edits[i]->setObjectName(kEditNames[i]);
        FitFieldToText(m_edits[i], m_edits[i]->text());
        auto* label = new QLabel(kLabels[i], system);
        label->setObjectName(kLabelNames[i]);
        label->setBuddy(m_edits[i]);
        form->addRow(label, m_edits[i]);
    }

    auto* btnTrap = new QPushButton("Send Trap", this);
    btnTrap->setObjectName("btnTrap");
    auto* btnAbout = new QPushButton("About VoltTCP", this);
    btnAbout->setObjectName("btnAbout");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnTrap);
    buttons->addStretch();
    buttons->addWidget(btnAbout);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(status);
    layout->addWidget(system, 1);
    layout->addLayout(buttons);
    resize(460, 330);

    connect(btnReset, &QPushButton::clicked, this, [this] { btnResetClick(); });
    connect(btnTrap, &QPushButton::clicked, this, [this, &trap] { trap.ShowModal(*m_agent); });
    connect(btnAbout, &QPushButton::clicked, this, [&about] { about.ShowAbout(); });

    CAgentView& view = *this;
    m_agent = std::make_unique<CSnmpAgent>(view, port);
    btnResetClick();
}

TfrmMain::~TfrmMain()
{
    m_agent.reset();
}

void TfrmMain::btnResetClick()
{
    bool ok = false;
    const uint value = m_edPort->text().trimmed().toUInt(&ok);
    if (ok && value <= 65535)
        m_agent->SetPort(static_cast<uint16_t>(value));
    else
        m_edPort->setText(QString::number(m_agent->Port()));
    m_agent->Reset();
}

std::string TfrmMain::GetSystemText(SystemText which)
{
    return m_edits[which]->text().toLatin1().toStdString();
}

void TfrmMain::SetSystemText(SystemText which, const std::string& text)
{
    m_edits[which]->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void TfrmMain::ShowStatus(const std::string& text, bool listening)
{
    m_statusPanel->setText(QString::fromLatin1(text.c_str()));
    SetFormColors(m_statusPanel, listening ? kColorGreen : kColorMaroon, kColorWhite);
}

void TfrmMain::ShowError(const std::string& text)
{
    m_errorPanel->setText(QString::fromLatin1(text.c_str()));
    m_errorPanel->show();
}

void TfrmMain::ShowAction(const std::string& text)
{
    m_actionPanel->setText(QString::fromLatin1(text.c_str()));
    m_actionPanel->show();
}

void TfrmMain::HidePanels()
{
    m_errorPanel->hide();
    m_actionPanel->hide();
}
