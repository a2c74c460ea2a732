#include "apps/fileclient/MainForm.h"

#include <functional>
#include <iterator>

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

#include "apps/common/About.h"
#include "apps/common/FormColors.h"
#include "apps/common/Profile.h"
#include "apps/fileclient/Client.h"
#include "lib/VoltTcp.h"

namespace {

constexpr const char* kSection = "FTP";
constexpr std::size_t kReadBuffer = 300;
// A server that floods the control connection must not grow the log without end: past the
// limit the older half goes.
constexpr int kLogLimit = 1 << 20;
constexpr const char* kKeys[] = {"HostName", "UserName", "LocalFile", "RemoteFile"};

const char* const kCommands[] = {"APPE", "CDUP", "CWD",    "DELE", "HELP", "LIST", "MKD",
                                 "NLST", "PWD",  "RENAME", "RETR", "RMD",  "STOR", "STOU"};

const char* const kCustomText =
    "Select a command from the drop down list above, then fill in any required parameters that may appear. "
    "If you wish to manually send a command, simply type the text of the command into the text section of "
    "the "
    "drop down and press \"Send Command\".";

QLabel* Named(QLabel* label, const char* name)
{
    label->setObjectName(name);
    return label;
}

QString FromWire(const std::string& text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToWire(const QString& text)
{
    return text.toLatin1().toStdString();
}

}  // namespace

TfrmMain::TfrmMain(TfrmAbout& about, CProfile& profile, QWidget* parent)
    : QWidget(parent),
      m_profile(profile),
      m_lblCountLabel(Named(new QLabel("Byte Count:", this), "lblCountLabel")),
      m_lblCount(Named(new QLabel("0", this), "lblCount")),
      m_lblRateLabel(Named(new QLabel("Transfer Rate:", this), "lblRateLabel")),
      m_lblRate(Named(new QLabel("0", this), "lblRate")),
      m_LogRepliesListing(new QGroupBox("Log / Replies / Listing", this)),
      m_mmoResponse(new QPlainTextEdit(m_LogRepliesListing)),
      m_cboCmd(new QComboBox(this)),
      m_lblCustom(Named(new QLabel(kCustomText, this), "lblCustom")),
      m_lblRemFile(Named(new QLabel("Path/Remote File:", this), "lblRemFile")),
      m_edRemFile(new QLineEdit(this)),
      m_lblLocFile(Named(new QLabel("Local File:", this), "lblLocFile")),
      m_edLocFile(new QLineEdit(this)),
      m_lblBuffer(Named(new QLabel("Buffer Size:", this), "lblBuffer")),
      m_edBuffer(new QLineEdit("8192", this)),
      m_lblRestart(Named(new QLabel("Restart at:", this), "lblRestart")),
      m_edRestart(new QLineEdit("0", this)),
      m_cbxAuto(new QCheckBox("Auto Spool", this)),
      m_cbxPassive(new QCheckBox("Passive", this)),
      m_cbxBinary(new QCheckBox("Binary", this)),
      m_edHost(new QLineEdit(this)),
      m_edUser(new QLineEdit(this)),
      m_edPass(new QLineEdit(this)),
      m_edAccount(new QLineEdit(this)),
      m_lblControl(Named(new QLabel("Control", this), "lblControl")),
      m_lblData(Named(new QLabel("Data", this), "lblData"))
{
    setObjectName("TfrmMain");
    setWindowTitle("VoltTCP FTP Sample");
    setWindowIcon(QIcon::fromTheme("fileclient"));

    // Connection
    auto* connection = new QGroupBox("Connection", this);
    connection->setObjectName("Connection");
    m_edHost->setObjectName("edHost");
    m_edUser->setObjectName("edUser");
    m_edPass->setObjectName("edPass");
    m_edPass->setEchoMode(QLineEdit::Password);
    m_edPass->setStyleSheet("lineedit-password-character: 42");  // '*'

    m_edAccount->setObjectName("edAccount");
    for (QLabel* indicator : {m_lblControl, m_lblData}) {
        indicator->setAlignment(Qt::AlignCenter);
        indicator->setMinimumWidth(60);
        indicator->setFrameShape(QFrame::Panel);
        indicator->setFrameShadow(QFrame::Sunken);
        SetFormColors(indicator, kColorMaroon, kColorWhite);
    }
    auto* connectionGrid = new QGridLayout(connection);
    const struct {
        const char* caption;
        QLineEdit* edit;
    } logins[] = {{"Host Name:", m_edHost},
                  {"User Name:", m_edUser},
                  {"Password:", m_edPass},
                  {"Account:", m_edAccount}};
    int row = 0;
    for (const auto& login : logins) {
        auto* label = new QLabel(login.caption, connection);
        label->setBuddy(login.edit);
        connectionGrid->addWidget(label, row, 0);
        connectionGrid->addWidget(login.edit, row, 1, 1, 2);
        ++row;
    }
    connectionGrid->addWidget(m_lblControl, row, 1);
    connectionGrid->addWidget(m_lblData, row, 2);
    ++row;
    auto* buttons = new QGridLayout;
    const struct {
        const char* caption;
        const char* name;
        std::function<void()> click;
    } actions[] = {
        {"Login", "btnLogin", [this] { btnLoginClick(); }},
        {"Logout", "btnLogout", [this] { m_client->Quit(); }},
        {"Abort", "btnAbort", [this] { m_client->Abort(); }},
        {"Kill", "btnKill", [this] { m_client->Kill(); }},
    };
    int column = 0;
    for (const auto& action : actions) {
        auto* button = new QPushButton(action.caption, connection);
        button->setObjectName(action.name);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, action.click);
        buttons->addWidget(button, column / 2, column % 2);
        ++column;
    }
    connectionGrid->addLayout(buttons, row, 0, 1, 3);
    connectionGrid->setRowStretch(row + 1, 1);
    connectionGrid->setColumnStretch(1, 1);
    connectionGrid->setColumnStretch(2, 1);

    // Commands
    auto* commands = new QGroupBox("Commands", this);
    commands->setObjectName("Commands");
    m_cboCmd->setObjectName("cboCmd");
    m_cboCmd->setEditable(true);
    m_cboCmd->setInsertPolicy(QComboBox::NoInsert);
    for (const char* command : kCommands)
        m_cboCmd->addItem(command);
    m_cboCmd->model()->sort(0);
    m_cboCmd->setCurrentIndex(-1);
    m_cboCmd->setMinimumContentsLength(12);
    auto* btnCmd = new QPushButton("Send Command:", commands);
    btnCmd->setObjectName("btnCmd");
    btnCmd->setDefault(true);
    m_lblCustom->setWordWrap(true);
    m_lblCustom->setMinimumWidth(240);
    m_edRemFile->setObjectName("edRemFile");
    m_edLocFile->setObjectName("edLocFile");
    m_edBuffer->setObjectName("edBuffer");
    m_edRestart->setObjectName("edRestart");
    // Room for a ten-digit number at any size of the window.
    const int numberWidth = m_edBuffer->fontMetrics().horizontalAdvance(QString(10, '0')) + 16;
    for (QLineEdit* number : {m_edBuffer, m_edRestart}) {
        number->setMinimumWidth(numberWidth);
        number->setMaximumWidth(numberWidth + 40);
    }
    m_cbxAuto->setObjectName("cbxAuto");
    m_cbxAuto->setChecked(true);
    m_cbxPassive->setObjectName("cbxPassive");
    m_cbxBinary->setObjectName("cbxBinary");
    m_cbxBinary->setChecked(true);
    auto* btnAbout = new QPushButton("About...", commands);
    btnAbout->setObjectName("btnAbout");
    btnAbout->setAutoDefault(false);

    auto* commandGrid = new QGridLayout(commands);
    commandGrid->addWidget(btnCmd, 0, 0);
    commandGrid->addWidget(m_cboCmd, 0, 1, 1, 3);
    commandGrid->addWidget(m_lblCustom, 1, 0, 4, 4);
    commandGrid->addWidget(m_lblRemFile, 1, 0);
    commandGrid->addWidget(m_edRemFile, 1, 1, 1, 3);
    commandGrid->addWidget(m_lblLocFile, 2, 0);
    commandGrid->addWidget(m_edLocFile, 2, 1, 1, 3);
    commandGrid->addWidget(m_lblBuffer, 3, 0);
    commandGrid->addWidget(m_edBuffer, 3, 1);
    commandGrid->addWidget(m_lblRestart, 3, 2);
    commandGrid->addWidget(m_edRestart, 3, 3);
    auto* checks = new QHBoxLayout;
    checks->addWidget(m_cbxAuto);
    checks->addWidget(m_cbxPassive);
    checks->addWidget(m_cbxBinary);
    checks->addStretch();
    commandGrid->addLayout(checks, 4, 0, 1, 4);
    commandGrid->setRowStretch(5, 1);
    auto* aboutRow = new QHBoxLayout;
    aboutRow->addStretch();
    aboutRow->addWidget(btnAbout);
    commandGrid->addLayout(aboutRow, 6, 0, 1, 4);
    commandGrid->setColumnStretch(1, 1);
    commandGrid->setColumnStretch(3, 1);

    // Counters and log
    for (QLabel* value : {m_lblCount, m_lblRate}) {
        value->setMinimumWidth(130);
        value->setFrameShape(QFrame::StyledPanel);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    auto* counters = new QHBoxLayout;
    counters->addWidget(m_lblCountLabel);
    counters->addWidget(m_lblCount);
    counters->addSpacing(20);
    counters->addWidget(m_lblRateLabel);
    counters->addWidget(m_lblRate);
    counters->addStretch();

    m_LogRepliesListing->setObjectName("LogRepliesListing");
    m_mmoResponse->setObjectName("mmoResponse");
    m_mmoResponse->setReadOnly(true);
    m_mmoResponse->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_mmoResponse->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_mmoResponse->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_mmoResponse->setMinimumHeight(120);
    auto* logLayout = new QVBoxLayout(m_LogRepliesListing);
    logLayout->addWidget(m_mmoResponse);

    auto* top = new QHBoxLayout;
    top->addWidget(connection, 2);
    top->addWidget(commands, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(counters);
    layout->addWidget(m_LogRepliesListing, 1);

    for (size_t i = 0; i < std::size(kKeys); ++i) {
        const QString value = FromWire(m_profile.GetString(kSection, kKeys[i], kKeys[i], kReadBuffer));
        QLineEdit* edits[] = {m_edHost, m_edUser, m_edLocFile, m_edRemFile};
        edits[i]->setText(value);
    }
    IFtpClientView& view = *this;
    m_client = std::make_unique<CFtpClient>(view);
    ResetFields();
    m_lblCustom->show();
    resize(760, 560);

    connect(btnCmd, &QPushButton::clicked, this, [this] { btnCmdClick(); });
    connect(m_cboCmd, &QComboBox::currentTextChanged, this, [this] { cboCmdChange(); });
    connect(m_cbxAuto, &QCheckBox::clicked, this, [this] { cbxAutoClick(); });
    connect(btnAbout, &QPushButton::clicked, this, [&about] { about.ShowAbout(); });
}

TfrmMain::~TfrmMain()
{
    WriteSettings();
    m_client->Kill();  // a running transfer ends here; its partial file stays
    m_client.reset();
}

void TfrmMain::WriteSettings()
{
    const QLineEdit* edits[] = {m_edHost, m_edUser, m_edLocFile, m_edRemFile};
    for (size_t i = 0; i < std::size(kKeys); ++i)
        m_profile.WriteString(kSection, kKeys[i], ToWire(edits[i]->text()));
}

void TfrmMain::ResetFields()
{
    for (QWidget* field : std::initializer_list<QWidget*>{
             m_lblRemFile, m_edRemFile, m_lblLocFile, m_edLocFile, m_lblBuffer, m_edBuffer, m_cbxBinary,
             m_cbxAuto, m_cbxPassive, m_lblCount, m_lblCountLabel, m_lblRate, m_lblRateLabel, m_lblCustom,
             m_lblRestart, m_edRestart})
        field->hide();
}

void TfrmMain::cboCmdChange()
{
    ResetFields();
    const QString command = m_cboCmd->currentText();
    const auto show = [](std::initializer_list<QWidget*> fields) {
        for (QWidget* field : fields)
            field->show();
    };
    if (command.isEmpty()) {
        m_lblCustom->show();
    } else if (command == "HELP") {
        m_lblRemFile->setText("Command:");
        show({m_lblRemFile, m_edRemFile});
    } else if (command == "CWD" || command == "MKD" || command == "RMD") {
        m_lblRemFile->setText("Directory:");
        show({m_lblRemFile, m_edRemFile});
    } else if (command == "DELE") {
        m_lblRemFile->setText("FileSpec:");
        show({m_lblRemFile, m_edRemFile});
    } else if (command == "LIST" || command == "NLST") {
        m_lblRemFile->setText("FileSpec:");
        show({m_lblRemFile, m_edRemFile, m_cbxPassive});
    } else if (command == "RENAME") {
        m_lblRemFile->setText("Old File:");
        m_lblLocFile->setText("New File:");
        show({m_lblRemFile, m_edRemFile, m_lblLocFile, m_edLocFile});
    } else if (command == "RETR" || command == "STOR" || command == "APPE" || command == "STOU") {
        m_lblRemFile->setText("Remote File:");
        m_lblLocFile->setText("Local File:");
        show({m_lblRemFile, m_edRemFile, m_lblLocFile, m_edLocFile, m_cbxPassive, m_cbxBinary, m_cbxAuto,
              m_edBuffer, m_lblBuffer, m_lblCount, m_lblCountLabel, m_lblRate, m_lblRateLabel});
        if (command == "RETR" || command == "STOR")
            show({m_lblRestart, m_edRestart});
    }
}

void TfrmMain::btnCmdClick()
{
    SCommandFields fields;
    fields.remoteFile = ToWire(m_edRemFile->text());
    fields.localFile = m_edLocFile->text().toLocal8Bit().toStdString();
    fields.bufferSize = ToWire(m_edBuffer->text());
    fields.restart = ToWire(m_edRestart->text());
    fields.autoSpool = m_cbxAuto->isChecked();
    fields.passive = m_cbxPassive->isChecked();
    fields.binary = m_cbxBinary->isChecked();
    const std::string command = ToWire(m_cboCmd->currentText());
    if (command == "RENAME")
        fields.localFile = ToWire(m_edLocFile->text());  // a remote name, not a local path
    m_client->Run(command, fields);
}

void TfrmMain::btnLoginClick()
{
    const std::string host = ToWire(m_edHost->text().trimmed());
    const std::string user = ToWire(m_edUser->text());
    const std::string password = ToWire(m_edPass->text());
    const std::string account = ToWire(m_edAccount->text());
    WriteSettings();
    m_client->Connect(host.c_str(), nullptr, user.c_str(), password.c_str(), account.c_str(), 0);
}

void TfrmMain::cbxAutoClick()
{
    const bool restartShown = m_cboCmd->currentText() == "RETR" || m_cboCmd->currentText() == "STOR";
    if (m_cbxAuto->isChecked() && restartShown) {
        m_lblRestart->show();
        m_edRestart->show();
    } else if (!m_cbxAuto->isChecked()) {
        m_lblRestart->hide();
        m_edRestart->hide();
        m_edRestart->setText("0");
    }
}

bool TfrmMain::OpenLink(const QString& link)
{
    const QUrl url(link, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != "ftp" || url.host().isEmpty()) {
        AppendLog("Not an ftp:// link: " + ToWire(link) + "\r\n");
        return false;
    }
    QString host = url.host();
    if (url.port() > 0)
        host += ":" + QString::number(url.port());
    m_edHost->setText(host);
    m_edUser->setText(url.userName().isEmpty() ? "anonymous" : url.userName(QUrl::FullyDecoded));
    m_edPass->setText(url.password(QUrl::FullyDecoded));
    m_edAccount->clear();
    QString path = url.path(QUrl::FullyDecoded);
    if (path.startsWith('/'))
        path.remove(0, 1);
    const qsizetype slash = path.lastIndexOf('/');
    const QString directory = slash >= 0 ? path.left(slash) : QString();
    const QString file = path.mid(slash + 1);
    if (!file.isEmpty()) {
        m_cboCmd->setCurrentText("RETR");
        m_edRemFile->setText(file);
        m_edLocFile->setText(file);
    }
    btnLoginClick();
    if (!directory.isEmpty())
        m_client->ChangeDir(ToWire(directory).c_str());  // waits in the queue for the login
    return true;
}

void TfrmMain::ShowControl(bool connected)
{
    SetFormColors(m_lblControl, connected ? kColorGreen : kColorMaroon, kColorWhite);
}

void TfrmMain::ShowData(bool flowing)
{
    if (flowing)
        SetFormColors(m_lblData, kColorYellow, kColorBlack);
    else
        SetFormColors(m_lblData, kColorMaroon, kColorWhite);
}

void TfrmMain::ShowCount(const std::string& text)
{
    m_lblCount->setText(QString::fromStdString(text));
}

void TfrmMain::ShowRate(const std::string& text)
{
    m_lblRate->setText(QString::fromStdString(text));
}

void TfrmMain::AppendLog(const std::string& text)
{
    // Always at the end, whatever the user has selected or scrolled to.
    QTextCursor cursor(m_mmoResponse->document());
    cursor.movePosition(QTextCursor::End);
    QString piece = FromWire(text);
    piece.remove('\r');
    cursor.insertText(piece);
    if (m_mmoResponse->document()->characterCount() > kLogLimit) {
        cursor.movePosition(QTextCursor::Start);
        cursor.setPosition(kLogLimit / 2, QTextCursor::KeepAnchor);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        cursor.deleteChar();
    }
    QScrollBar* bar = m_mmoResponse->verticalScrollBar();
    bar->setValue(bar->maximum());
}

size_t TfrmMain::LogLength() const
{
    return static_cast<size_t>(m_mmoResponse->document()->characterCount());
}

void TfrmMain::ClearLog()
{
    m_mmoResponse->clear();
}
