#include "apps/mailclient/MainForm.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "apps/common/About.h"
#include "apps/common/FormColors.h"
#include "apps/common/Profile.h"
#include "apps/mailclient/Settings.h"
#include "lib/VoltTcp.h"

namespace {

constexpr const char* kSection = "POP3";
constexpr size_t kValueSize = 255;

QLabel* Panel(QWidget* parent, const char* name)
{
    auto* panel = new QLabel(parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setMargin(3);
    panel->setAutoFillBackground(true);
    panel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return panel;
}

bool AskDelete(QWidget* parent, int number)
{
    QMessageBox box(QMessageBox::Question, "Delete", QString("Delete message %1?").arg(number),
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

uint32_t NumberOfLine(const QString& line)
{
    bool ok = false;
    const uint32_t number = line.section(' ', 0, 0).toUInt(&ok);
    return ok ? number : 0;
}

}  // namespace

TfrmMain::TfrmMain(CProfile& profile, TfrmAbout* about, QWidget* parent)
    : QMainWindow(parent),
      m_profile(profile),
      m_about(about),
      m_client(std::make_unique<CPopClient>(static_cast<IMailView&>(*this)))
{
    setObjectName("TfrmMain");
    setWindowTitle("VoltTCP POP3 Sample");
    setWindowIcon(QIcon::fromTheme("mailclient"));

    QMenu* file = menuBar()->addMenu("&File");
    m_mnuHeaders = file->addAction("Get Headers", this, &TfrmMain::mnuHeadersClick);
    m_mnuHeaders->setObjectName("mnuHeaders");
    m_mnuSaveAll = file->addAction("Save Messages", this, &TfrmMain::mnuSaveAllClick);
    m_mnuSaveAll->setObjectName("mnuSaveAll");
    m_mnuClose = file->addAction("Close Connection", this, &TfrmMain::mnuCloseClick);
    m_mnuClose->setObjectName("mnuClose");
    file->addSeparator();
    QAction* exit = file->addAction("E&xit", this, &QWidget::close);
    exit->setObjectName("mnuExit");
    QMenu* setup = menuBar()->addMenu("&Setup");
    m_mnuSettings = setup->addAction("Se&ttings", this, &TfrmMain::mnuSettingsClick);
    m_mnuSettings->setObjectName("mnuSettings");
    QMenu* help = menuBar()->addMenu("&Help");
    QAction* aboutAction = help->addAction("About VoltTCP", this, [this] {
        if (m_about)
            m_about->ShowAbout();
    });
    aboutAction->setObjectName("mnuAbout");

    auto* central = new QSplitter(Qt::Vertical, this);
    central->setChildrenCollapsible(false);
    // Group titles clear of the window's edge, as on the other forms.
    central->setContentsMargins(6, 4, 6, 6);
    m_MessageList =
        new QGroupBox("Message List - Double Click to retrieve, press Delete to remove from server", central);
    m_MessageList->setObjectName("MessageList");
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Over the columns of CPopClient::ListLine, whose values keep the space after the colon.
    auto* heading = new QLabel(
        QString("No.").leftJustified(4) + QString(" Subject").leftJustified(25) + " From", m_MessageList);
    heading->setObjectName("lblHeading");
    heading->setFont(fixed);
    m_lbxMessage = new QListWidget(m_MessageList);
    m_lbxMessage->setObjectName("lbxMessage");
    m_lbxMessage->setFont(fixed);
    m_lbxMessage->installEventFilter(this);
    m_ProgressBar = new QProgressBar(m_MessageList);
    m_ProgressBar->setObjectName("ProgressBar");
    m_ProgressBar->setRange(0, 100);
    m_ProgressBar->setValue(0);
    m_StatusPanel = Panel(m_MessageList, "StatusPanel");
    m_ActionPanel = Panel(m_MessageList, "ActionPanel");
    m_ServerErrorPanel = Panel(m_MessageList, "ServerErrorPanel");
    m_ServerErrorPanel->hide();
    auto* panels = new QHBoxLayout();
    panels->addWidget(m_StatusPanel);
    panels->addWidget(m_ActionPanel, 1);
    auto* listLayout = new QVBoxLayout(m_MessageList);
    listLayout->addWidget(heading);
    listLayout->addWidget(m_lbxMessage, 1);
    listLayout->addWidget(m_ProgressBar);
    listLayout->addLayout(panels);
    listLayout->addWidget(m_ServerErrorPanel);

    m_ViewMailMessage = new QGroupBox("View Mail Message", central);
    m_ViewMailMessage->setObjectName("ViewMailMessage");
    m_mmoMessage = new QPlainTextEdit(m_ViewMailMessage);
    m_mmoMessage->setObjectName("mmoMessage");
    m_mmoMessage->setReadOnly(true);
    m_mmoMessage->setFont(fixed);
    auto* btnHide = new QPushButton("Hide", m_ViewMailMessage);
    btnHide->setObjectName("btnHide");
    connect(btnHide, &QPushButton::clicked, this, &TfrmMain::btnHideClick);
    auto* viewLayout = new QVBoxLayout(m_ViewMailMessage);
    viewLayout->addWidget(m_mmoMessage, 1);
    auto* hideRow = new QHBoxLayout();
    hideRow->addStretch(1);
    hideRow->addWidget(btnHide);
    viewLayout->addLayout(hideRow);
    m_ViewMailMessage->hide();
    setCentralWidget(central);

    m_settings = new TfrmSettings(this);

    connect(m_lbxMessage, &QListWidget::itemDoubleClicked, this, &TfrmMain::lbxMessageDblClick);

    // FormCreate.
    CPopClient& c = *m_client;
    c.Server = m_profile.GetString(kSection, "Server", "", kValueSize);
    c.Account = m_profile.GetString(kSection, "Account", "", kValueSize);
    c.Password = m_profile.GetString(kSection, "Password", "", kValueSize);
    c.AttachDir = m_profile.GetString(kSection, "AttachDir", "", kValueSize);
    c.Unique = m_profile.GetString(kSection, "Unique", "0", kValueSize).compare(0, 1, "1") == 0;
    ShowStatus("Not Connected", false);
    ShowClosed();
    m_ActionPanel->clear();
    ApplySettingsToMenus();

    const QFontMetrics metrics(fixed);
    setMinimumSize(std::max(metrics.horizontalAdvance(QString(72, 'M')) + 60, 560), 360);
    resize(minimumSize().width() + 80, 480);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::ApplySettingsToMenus()
{
    const bool server = !m_client->Server.empty();
    m_mnuHeaders->setEnabled(server);
    m_mnuSaveAll->setEnabled(server);
}

void TfrmMain::EnterBusy()
{
    // Yellow text as ever, on navy: on today's light button faces yellow could not be read.
    SetFormColors(m_ActionPanel, kColorNavy, kColorYellow);
    m_ServerErrorPanel->hide();
    m_mnuHeaders->setEnabled(false);
    m_mnuSaveAll->setEnabled(false);
    m_mnuSettings->setEnabled(false);
    m_mnuClose->setEnabled(true);
    m_lbxMessage->setEnabled(false);
}

void TfrmMain::mnuHeadersClick()
{
    if (m_client->GetState() != CVoltTcp::Closed)
        return;
    EnterBusy();
    m_lbxMessage->clear();
    m_client->SaveAll = false;
    m_client->ConnectToServer();
}

void TfrmMain::mnuSaveAllClick()
{
    if (m_client->GetState() != CVoltTcp::Closed)
        return;
    EnterBusy();
    m_lbxMessage->clear();
    m_client->SaveAll = true;
    m_client->ConnectToServer();
}

void TfrmMain::mnuCloseClick()
{
    EnterBusy();
    m_client->Quit(false);
}

void TfrmMain::mnuSettingsClick()
{
    m_settings->Load(*m_client);
    if (m_settings->exec() != QDialog::Accepted)
        return;
    CPopClient& c = *m_client;
    m_settings->Store(c);
    m_profile.WriteString(kSection, "Server", c.Server);
    m_profile.WriteString(kSection, "Account", c.Account);
    m_profile.WriteString(kSection, "Password", c.Password);
    m_profile.WriteString(kSection, "AttachDir", c.AttachDir);
    m_profile.WriteString(kSection, "Unique", c.Unique ? "1" : "0");
    ApplySettingsToMenus();
}

void TfrmMain::lbxMessageDblClick()
{
    QListWidgetItem* item = m_lbxMessage->currentItem();
    if (!item || m_client->GetState() != CVoltTcp::Connected)
        return;
    EnterBusy();
    m_mmoMessage->clear();
    m_decoder.resetState();
    m_client->RetrieveMessage(NumberOfLine(item->text()));
}

void TfrmMain::DeleteSelected(bool (*confirm)(QWidget*, int))
{
    QListWidgetItem* item = m_lbxMessage->currentItem();
    if (!item || !m_lbxMessage->isEnabled())
        return;
    const uint32_t number = NumberOfLine(item->text());
    if (!(confirm ? confirm : AskDelete)(this, static_cast<int>(number)))
        return;
    m_client->Delete(number);
    m_lbxMessage->setEnabled(false);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_lbxMessage && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        DeleteSelected();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::btnHideClick()
{
    m_ViewMailMessage->hide();
}

void TfrmMain::ShowStatus(const std::string& text, bool connected)
{
    m_StatusPanel->setText(QString::fromStdString(text));
    SetFormColors(m_StatusPanel, connected ? kColorGreen : kColorMaroon, kColorWhite);
}

void TfrmMain::ShowAction(const std::string& text)
{
    m_ActionPanel->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TfrmMain::ShowException(const std::string& text)
{
    ShowAction(text);
    SetFormColors(m_ActionPanel, kColorMaroon, kColorWhite);
}

void TfrmMain::ShowServerError(const std::string& text)
{
    m_ServerErrorPanel->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    SetFormColors(m_ServerErrorPanel, kColorMaroon, kColorWhite);
    m_ServerErrorPanel->show();
}

void TfrmMain::ShowClosed()
{
    m_mnuHeaders->setEnabled(true);
    m_mnuSaveAll->setEnabled(true);
    m_mnuSettings->setEnabled(true);
    ApplySettingsToMenus();
    m_lbxMessage->setEnabled(false);
    m_lbxMessage->clear();
    m_ProgressBar->setValue(0);
    m_mnuClose->setEnabled(false);
}

void TfrmMain::AddListLine(const std::string& line)
{
    m_lbxMessage->addItem(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

void TfrmMain::EnableList()
{
    m_lbxMessage->setEnabled(true);
    m_lbxMessage->setFocus();
}

void TfrmMain::RemoveSelectedLine()
{
    delete m_lbxMessage->takeItem(m_lbxMessage->currentRow());
}

void TfrmMain::SetProgressMax(int maximum)
{
    m_ProgressBar->setRange(0, std::max(maximum, 1));
}

void TfrmMain::SetProgress(int position)
{
    m_ProgressBar->setValue(std::min(position, m_ProgressBar->maximum()));
}

void TfrmMain::AdvanceProgress(int by)
{
    SetProgress(m_ProgressBar->value() + by);
}

void TfrmMain::InsertText(const std::string& bytes)
{
    QString text = m_decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    text.remove(QChar('\r'));
    m_mmoMessage->insertPlainText(text);
}

void TfrmMain::ShowMessageView()
{
    m_ViewMailMessage->show();
    m_ViewMailMessage->raise();
    m_mmoMessage->moveCursor(QTextCursor::Start);
}

void TfrmMain::ShowNoMessages()
{
    QMessageBox::information(this, "VoltTCP", "No Messages on Server");
}
