#include "apps/mailclient/Settings.h"

#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QTreeView>
#include <QVBoxLayout>

#include "apps/mailclient/Client.h"

TfrmSettings::TfrmSettings(QWidget* parent) : QDialog(parent)
{
    setObjectName("TfrmSettings");
    setWindowTitle("Server Setup");
    auto* stack = new QStackedLayout(this);

    m_setup = new QWidget(this);
    auto* form = new QFormLayout();
    m_edServer = new QLineEdit(m_setup);
    m_edServer->setObjectName("edServer");
    m_edServer->setPlaceholderText("host or host:port");
    m_edAccount = new QLineEdit(m_setup);
    m_edAccount->setObjectName("edAccount");
    m_edPassword = new QLineEdit(m_setup);
    m_edPassword->setObjectName("edPassword");
    m_edPassword->setEchoMode(QLineEdit::Password);
    m_edPassword->setStyleSheet("lineedit-password-character: 42");  // '*'

    form->addRow("POP3 Server:", m_edServer);
    form->addRow("Account:", m_edAccount);
    form->addRow("Password:", m_edPassword);
    m_chkUnique = new QCheckBox("Unique Attachments", m_setup);
    m_chkUnique->setObjectName("chkUnique");
    m_lblAttachDir = new QLabel(m_setup);
    m_lblAttachDir->setObjectName("lblAttachDir");
    m_lblAttachDir->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_lblAttachDir->setWordWrap(true);
    m_btnAttach = new QPushButton("Set Attach Dir", m_setup);
    m_btnAttach->setObjectName("btnAttach");
    auto* btnSave = new QPushButton("Save", m_setup);
    btnSave->setObjectName("btnSave");
    btnSave->setDefault(true);
    auto* btnCancel = new QPushButton("Cancel", m_setup);
    btnCancel->setObjectName("btnCancel");
    auto* dirRow = new QHBoxLayout();
    dirRow->addWidget(m_lblAttachDir, 1);
    dirRow->addWidget(m_btnAttach);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnCancel);
    auto* setupLayout = new QVBoxLayout(m_setup);
    setupLayout->addLayout(form);
    setupLayout->addWidget(m_chkUnique);
    setupLayout->addLayout(dirRow);
    setupLayout->addStretch(1);
    setupLayout->addLayout(buttons);
    stack->addWidget(m_setup);

    // The directory chooser covers the whole dialog while it is open.
    m_ChooseAttachDir = new QGroupBox("Choose Attachment Directory", this);
    m_ChooseAttachDir->setObjectName("ChooseAttachDir");
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_model->setRootPath("/");
    m_Dir = new QTreeView(m_ChooseAttachDir);
    m_Dir->setObjectName("Dir");
    m_Dir->setModel(m_model);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_Dir->hideColumn(column);
    m_Dir->header()->hide();
    auto* btnOk = new QPushButton("OK", m_ChooseAttachDir);
    btnOk->setObjectName("btnOk");
    auto* chooseLayout = new QVBoxLayout(m_ChooseAttachDir);
    chooseLayout->addWidget(m_Dir, 1);
    auto* okRow = new QHBoxLayout();
    okRow->addStretch(1);
    okRow->addWidget(btnOk);
    chooseLayout->addLayout(okRow);
    stack->addWidget(m_ChooseAttachDir);
    stack->setCurrentWidget(m_setup);

    connect(m_btnAttach, &QPushButton::clicked, this, &TfrmSettings::btnAttachClick);
    connect(btnOk, &QPushButton::clicked, this, &TfrmSettings::btnOkClick);
    connect(btnSave, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_Dir, &QTreeView::doubleClicked, this, &TfrmSettings::btnOkClick);
    setMinimumSize(420, 260);
}

void TfrmSettings::Load(const CPopClient& client)
{
    m_edServer->setText(QString::fromStdString(client.Server));
    m_edAccount->setText(QString::fromStdString(client.Account));
    m_edPassword->setText(QString::fromStdString(client.Password));
    m_chkUnique->setChecked(client.Unique);
    SetDirectory(QString::fromStdString(client.AttachDir));
    static_cast<QStackedLayout*>(layout())->setCurrentWidget(m_setup);
}

void TfrmSettings::Store(CPopClient& client) const
{
    client.Server = m_edServer->text().trimmed().toStdString();
    client.Account = m_edAccount->text().toStdString();
    client.Password = m_edPassword->text().toStdString();
    client.AttachDir = m_directory.toStdString();
    client.Unique = m_chkUnique->isChecked();
}

QString TfrmSettings::Directory() const
{
    return m_directory;
}

void TfrmSettings::SetDirectory(const QString& path)
{
    m_directory = path;
    m_lblAttachDir->setText(path.isEmpty() ? QString("Attachments: the working directory")
                                           : QString("Attachments: %1").arg(path));
    const QModelIndex index = m_model->index(path.isEmpty() ? QDir::currentPath() : path);
    if (index.isValid()) {
        m_Dir->setCurrentIndex(index);
        m_Dir->scrollTo(index);
    }
}

void TfrmSettings::btnAttachClick()
{
    SetDirectory(m_directory);
    static_cast<QStackedLayout*>(layout())->setCurrentWidget(m_ChooseAttachDir);
}

void TfrmSettings::btnOkClick()
{
    const QModelIndex index = m_Dir->currentIndex();
    if (index.isValid())
        SetDirectory(m_model->filePath(index));
    static_cast<QStackedLayout*>(layout())->setCurrentWidget(m_setup);
}
