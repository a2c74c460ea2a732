#include "apps/mibagent/Trap.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "apps/common/FieldWidth.h"
#include "apps/mibagent/Agent.h"

TfrmTrap::TfrmTrap(QWidget* parent)
    : QDialog(parent),
      m_edDestination(Edit("edDestination", "255.255.255.255")),
      m_edCommunity(Edit("edCommunity", "orchid")),
      m_edEnterprise(Edit("edEnterprise", "1.3.6.1")),
      m_edGen(Edit("edGen", "6")),
      m_edSpec(Edit("edSpec", "1"))
{
    setObjectName("TfrmTrap");
    setWindowTitle("Send Trap");
    auto* form = new QFormLayout;
    const struct {
        const char* name;
        const char* caption;
        QLineEdit* edit;
    } rows[] = {
        {"lblDestination", "Desination IP:", m_edDestination},
        {"lblCommunity", "Community:", m_edCommunity},
        {"lblEnterprise", "Enterprise:", m_edEnterprise},
        {"lblGen", "Generic:", m_edGen},
        {"lblSpec", "Special Trap:", m_edSpec},
    };
    for (const auto& row : rows) {
        auto* label = new QLabel(row.caption, this);
        label->setObjectName(row.name);
        label->setBuddy(row.edit);
        form->addRow(label, row.edit);
    }
    auto* btnSend = new QPushButton("Send", this);
    btnSend->setObjectName("btnSend");
    btnSend->setDefault(true);
    auto* btnDone = new QPushButton("Done", this);
    btnDone->setObjectName("btnDone");
    btnDone->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnSend);
    buttons->addWidget(btnDone);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });
    connect(btnDone, &QPushButton::clicked, this, &QDialog::accept);
}

QLineEdit* TfrmTrap::Edit(const char* name, const char* text)
{
    auto* edit = new QLineEdit(QString::fromLatin1(text), this);
    edit->setObjectName(name);
    edit->setMaxLength(15);
    FitFieldToDigits(edit, 15, false);  // a dotted address with every digit
    return edit;
}

void TfrmTrap::ShowModal(CSnmpAgent& agent)
{
    m_agent = &agent;
    exec();
}

void TfrmTrap::btnSendClick()
{
    if (m_agent == nullptr)
        return;
    auto text = [](const QLineEdit* edit) { return edit->text().toLatin1().toStdString(); };
    m_agent->SendTestTrap(text(m_edDestination), m_trapPort, text(m_edCommunity), text(m_edEnterprise),
                          text(m_edGen), text(m_edSpec));
}
