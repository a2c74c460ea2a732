#include "apps/remoteclient/MainForm.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "apps/common/About.h"
#include "apps/common/FormColors.h"
#include "apps/common/Profile.h"
#include "apps/remoteclient/RemoteDisplay.h"
#include "remote/Rexec.h"
#include "remote/Rlogin.h"
#include "remote/Rshell.h"

namespace {

constexpr const char* kSection = "REXEC";
constexpr std::size_t kReadBuffer = 64;
constexpr uint16_t kHighestLocalPort = 1024;

constexpr const char* kRexecDescription =
    "Remote Execute executes a command on a remote computer. Fill in the name of the computer, the user "
    "name and password, then the command to execute, and click Execute.";
constexpr const char* kRshellDescription =
    "Remote Shell executes a command on a remote computer. Fill in the name of the computer, the user name "
    "and the command to execute, then click Execute. NOTE: This will only work if you have the proper "
    "R-shell privileges on the remote computer.";
constexpr const char* kRloginDescription =
    "Remote Login creates a login session on a remote computer. Fill in the name of the computer and the "
    "user. Then click Login. NOTE: This will only work if you have the proper R-Login privileges on the "
    "remote computer.";

QColor ToColor(EPanelColor color)
{
    return QColor::fromRgb(static_cast<QRgb>(color));
}

QLabel* Panel(const char* name, QWidget* parent)
{
    auto* panel = new QLabel(parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::Box);
    panel->setLineWidth(1);
    panel->setMargin(3);
    return panel;
}

template <typename T>
T* Named(T* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

// The text as the clients put it on the wire: UTF-8, as everything else on this system.
std::string Bytes(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

}  // namespace

TfrmMain::TfrmMain(TfrmAbout& about, CProfile& profile, SServicePorts ports, QWidget* parent)
    : QWidget(parent),
      m_profile(profile),
      m_ports(ports),
      m_Protocol(Named(new QGroupBox("Protocol", this), "Protocol")),
      m_rbRexec(Named(new QRadioButton("Rexec", m_Protocol), "rbRexec")),
      m_rbRshell(Named(new QRadioButton("Rshell", m_Protocol), "rbRshell")),
      m_rbRlogin(Named(new QRadioButton("Rlogin", m_Protocol), "rbRlogin")),
      m_lblDesc(Named(new QLabel(kRexecDescription, this), "lblDesc")),
      m_edHost(Named(new QLineEdit(this), "edHost")),
      m_edUser(Named(new QLineEdit(this), "edUser")),
      m_lblPass(Named(new QLabel("Password:", this), "lblPass")),
      m_edPass(Named(new QLineEdit(this), "edPass")),
      m_lblLocPort(Named(new QLabel("Local Port (512 - 1024) :", this), "lblLocPort")),
      m_edLocPort(Named(new QLineEdit("512", this), "edLocPort")),
      m_lblCommand(Named(new QLabel("Command to execute on host:", this), "lblCommand")),
      m_edCommand(Named(new QLineEdit(this), "edCommand")),
      m_btnExecute(Named(new QPushButton("Execute", this), "btnExecute")),
      m_btnLogin(Named(new QPushButton("Login", this), "btnLogin")),
      m_btnLogout(Named(new QPushButton("Logout", this), "btnLogout")),
      m_StatusPanel(Panel("StatusPanel", this)),
      m_ErrorPanel(Panel("ErrorPanel", this)),
      m_edDisplay(Named(new CRemoteDisplay(this), "edDisplay"))
{
    setObjectName("TfrmMain");
    setWindowTitle("VoltTCP R-Protocol Sample");
    setWindowIcon(QIcon::fromTheme("remoteclient"));

    m_rbRexec->setChecked(true);
    auto* radios = new QVBoxLayout(m_Protocol);
    radios->addWidget(m_rbRexec);
    radios->addWidget(m_rbRshell);
    radios->addWidget(m_rbRlogin);
    m_lblDesc->setWordWrap(true);
    m_lblDesc->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_lblDesc->setMinimumWidth(260);
    auto* top = new QHBoxLayout;
    top->addWidget(m_Protocol);
    top->addWidget(m_lblDesc, 1);

    m_edPass->setEchoMode(QLineEdit::Password);
    m_edLocPort->setMaxLength(4);
    m_edLocPort->setMaximumWidth(m_edLocPort->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    auto* lblHost = Named(new QLabel("Host Name:", this), "Label2");
    auto* lblUser = Named(new QLabel("User:", this), "Label3");
    lblHost->setBuddy(m_edHost);
    lblUser->setBuddy(m_edUser);
    m_lblPass->setBuddy(m_edPass);
    m_lblLocPort->setBuddy(m_edLocPort);
    m_lblCommand->setBuddy(m_edCommand);
    // Password and local port are never shown together: they share a place.
    auto* fields = new QGridLayout;
    fields->addWidget(lblHost, 0, 0);
    fields->addWidget(m_edHost, 0, 1);
    fields->addWidget(lblUser, 0, 2);
    fields->addWidget(m_edUser, 0, 3);
    fields->addWidget(m_lblPass, 1, 0);
    fields->addWidget(m_edPass, 1, 1);
    fields->addWidget(m_lblLocPort, 1, 0);
    fields->addWidget(m_edLocPort, 1, 1, Qt::AlignLeft);
    fields->addWidget(m_lblCommand, 2, 0, 1, 4);
    fields->addWidget(m_edCommand, 3, 0, 1, 4);
    fields->setColumnStretch(1, 1);
    fields->setColumnStretch(3, 1);

    m_btnExecute->setDefault(true);
    auto* btnAbout = Named(new QPushButton("About VoltTCP", this), "btnAbout");
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_btnExecute, m_btnLogin, m_btnLogout})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(btnAbout);
    for (QPushButton* button : {m_btnLogin, m_btnLogout, btnAbout})
        button->setAutoDefault(false);

    m_StatusPanel->setAlignment(Qt::AlignCenter);
    m_StatusPanel->setFixedWidth(
        m_StatusPanel->fontMetrics().horizontalAdvance(QStringLiteral("Connected to 255.255.255.255")) + 24);
    m_ErrorPanel->setWordWrap(true);
    auto* panels = new QHBoxLayout;
    panels->addWidget(m_StatusPanel);
    panels->addWidget(m_ErrorPanel, 1);
    panels->addStretch(0);  // takes the room while the error panel is hidden

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addLayout(panels);
    layout->addWidget(m_edDisplay, 1);
    m_edDisplay->setMinimumHeight(120);

    connect(m_rbRexec, &QRadioButton::clicked, this, [this] { rbRexecClick(); });
    connect(m_rbRshell, &QRadioButton::clicked, this, [this] { rbRshellClick(); });
    connect(m_rbRlogin, &QRadioButton::clicked, this, [this] { rbRloginClick(); });
    connect(m_btnExecute, &QPushButton::clicked, this, [this] { btnExecuteClick(); });
    connect(m_btnLogin, &QPushButton::clicked, this, [this] { btnLoginClick(); });
    connect(m_btnLogout, &QPushButton::clicked, this, [this] { btnLogoutClick(); });
    connect(btnAbout, &QPushButton::clicked, this, [&about] { about.ShowAbout(); });
    connect(m_edLocPort, &QLineEdit::editingFinished, this, [this] { edLocPortExit(); });
    connect(m_edDisplay, &CRemoteDisplay::keyTyped, this,
            [this](QKeyEvent* event) { edDisplayKeyPress(event); });
    // Enter in a field starts what the mode offers: Execute, or Login where Execute is hidden.
    for (QLineEdit* edit : {m_edHost, m_edUser, m_edPass, m_edLocPort, m_edCommand}) {
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            if (m_rbRlogin->isChecked())
                m_btnLogin->click();
            else
                m_btnExecute->click();
        });
    }

    // FormCreate
    m_edHost->setText(
        QString::fromStdString(m_profile.GetString(kSection, "HostName", "HostName", kReadBuffer)));
    m_edUser->setText(
        QString::fromStdString(m_profile.GetString(kSection, "UserName", "UserName", kReadBuffer)));
    m_edCommand->setText("ls -l");
    IRemoteView& view = *this;
    m_rexec = std::make_unique<CRexecClient>(view);
    m_rshell = std::make_unique<CRshellClient>(view);
    m_rlogin = std::make_unique<CRloginClient>(view);
    rbRexecClick();

    // Nothing is cut at the smallest size: the layout's own minimum, with room for the
    // longest description.
    setMinimumSize(minimumSizeHint().expandedTo(QSize(520, 420)));
    resize(620, 540);
}

TfrmMain::~TfrmMain()
{
    // FormDestroy
    m_profile.WriteString(kSection, "HostName", m_edHost->text().toStdString());
    m_profile.WriteString(kSection, "UserName", m_edUser->text().toStdString());
    m_rlogin.reset();
    m_rshell.reset();
    m_rexec.reset();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    // The window's end is the session's end, even while the program stays for other windows.
    CloseAll();
    QWidget::closeEvent(event);
}

void TfrmMain::CloseAll()
{
    for (CBaseClient* client :
         {static_cast<CBaseClient*>(m_rexec.get()), static_cast<CBaseClient*>(m_rshell.get()),
          static_cast<CBaseClient*>(m_rlogin.get())}) {
        if (client && client->GetState() != CVoltTcp::Closed)
            client->Close(true);
    }
}

void TfrmMain::ShowMode(bool password, bool command, bool localPort, const char* description)
{
    CloseAll();
    m_lblPass->setVisible(password);
    m_edPass->setVisible(password);
    m_lblCommand->setVisible(command);
    m_edCommand->setVisible(command);
    m_btnExecute->setVisible(command);
    m_btnLogin->setVisible(!command);
    m_btnLogout->setVisible(!command);
    m_lblLocPort->setVisible(localPort);
    m_edLocPort->setVisible(localPort);
    m_lblDesc->setText(description);
}

void TfrmMain::rbRexecClick()
{
    ShowMode(true, true, false, kRexecDescription);
}

void TfrmMain::rbRshellClick()
{
    ShowMode(false, true, true, kRshellDescription);
}

void TfrmMain::rbRloginClick()
{
    ShowMode(false, false, true, kRloginDescription);
}

uint16_t TfrmMain::LocalPort() const
{
    bool ok = false;
    const uint value = m_edLocPort->text().trimmed().toUInt(&ok);
    return ok && value <= 65535 ? static_cast<uint16_t>(value) : kDefaultLocalPort;
}

void TfrmMain::btnExecuteClick()
{
    CloseAll();
    const std::string host = m_edHost->text().trimmed().toStdString();
    if (m_rbRexec->isChecked())
        m_rexec->OpenSession(host, m_ports.rexec, 0);
    else if (m_rbRshell->isChecked())
        m_rshell->OpenSession(host, m_ports.rshell, LocalPort());
}

void TfrmMain::btnLoginClick()
{
    CloseAll();
    m_rlogin->OpenSession(m_edHost->text().trimmed().toStdString(), m_ports.rlogin, LocalPort());
}

void TfrmMain::btnLogoutClick()
{
    m_rlogin->Close(false);
}

void TfrmMain::edLocPortExit()
{
    const uint16_t port = LocalPort();
    if (port <= kDefaultLocalPort || port > kHighestLocalPort)
        m_edLocPort->setText(QString::number(kDefaultLocalPort));
}

std::string TfrmMain::KeyBytes(const QKeyEvent& event)
{
    const int key = event.key();
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return "\r";
    case Qt::Key_Backspace: return "\x7f";  // the erase character of Unix terminals
    case Qt::Key_Tab: return "\t";
    case Qt::Key_Escape: return "\x1b";
    default: break;
    }
    if ((modifiers & Qt::ControlModifier) && !(modifiers & Qt::AltModifier)) {
        if (key >= Qt::Key_A && key <= Qt::Key_Z)
            return std::string(1, static_cast<char>(key - Qt::Key_A + 1));
        if (key >= Qt::Key_BracketLeft && key <= Qt::Key_Underscore)  // [ \ ] ^ _
            return std::string(1, static_cast<char>(key - Qt::Key_BracketLeft + 0x1B));
        if (key == Qt::Key_Space || key == Qt::Key_At)
            return std::string(1, '\0');
    }
    const QString text = event.text();
    if (text.isEmpty() || text.at(0).isNonCharacter())
        return {};
    return text.toStdString();
}

void TfrmMain::edDisplayKeyPress(QKeyEvent* event)
{
    if (m_rlogin->GetState() != CVoltTcp::Connected)
        return;  // the display's own keys (copy, scrolling) go on
    // Ctrl+C belongs to the session; copying and pasting take Shift as terminals do.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool controlShift = modifiers == (Qt::ControlModifier | Qt::ShiftModifier);
    if (controlShift && event->key() == Qt::Key_C) {
        m_edDisplay->Copy();
        event->accept();
        return;
    }
    if ((controlShift && event->key() == Qt::Key_V) ||
        (modifiers == Qt::ShiftModifier && event->key() == Qt::Key_Insert)) {
        std::string text = QApplication::clipboard()->text().toStdString();
        std::replace(text.begin(), text.end(), '\n', '\r');  // lines end as Enter ends them
        if (!text.empty())
            m_rlogin->Send(text.data(), static_cast<uint32_t>(text.size()));
        event->accept();
        return;
    }
    const std::string bytes = KeyBytes(*event);
    if (bytes.empty())
        return;
    m_rlogin->Send(bytes.data(), static_cast<uint32_t>(bytes.size()));
    event->accept();
}

void TfrmMain::ShowStatus(const std::string& text, EPanelColor background, EPanelColor textColor)
{
    m_StatusPanel->setText(QString::fromStdString(text));
    SetFormColors(m_StatusPanel, ToColor(background), ToColor(textColor));
    m_StatusPanel->show();
}

void TfrmMain::ShowError(const std::string& text)
{
    m_ErrorPanel->setText(QString::fromStdString(text));
    SetFormColors(m_ErrorPanel, kColorMaroon, kColorWhite);
    m_ErrorPanel->show();
}

void TfrmMain::HideError()
{
    m_ErrorPanel->clear();
    m_ErrorPanel->hide();
}

void TfrmMain::ClearDisplay()
{
    m_filter.Reset();
    m_edDisplay->Clear();
}

void TfrmMain::AppendDisplay(const char* text, size_t length)
{
    m_edit.erase = 0;
    m_edit.text.clear();  // keeps its capacity for the next block
    m_filter.Feed(text, length, m_edit);
    if (m_edit.erase != 0 || !m_edit.text.empty())
        m_edDisplay->Append(m_edit.erase, m_edit.text);
}

void TfrmMain::FocusDisplay()
{
    m_edDisplay->setFocus(Qt::OtherFocusReason);
}

std::string TfrmMain::UserName()
{
    return Bytes(m_edUser);
}

std::string TfrmMain::Password()
{
    return Bytes(m_edPass);
}

std::string TfrmMain::Command()
{
    return Bytes(m_edCommand);
}
