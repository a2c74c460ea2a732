#include "apps/termclient/MainForm.h"

#include <string>

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>

#include "apps/common/About.h"
#include "apps/common/Application.h"
#include "apps/common/Profile.h"
#include "apps/termclient/Prefs.h"
#include "apps/termclient/Settings.h"

namespace {

constexpr const char* kSection = "TELNET";
constexpr std::size_t kHostBuffer = 100;
constexpr std::size_t kPathBuffer = 4096;

}  // namespace

TfrmMain::TfrmMain(CProfile& profile, TfrmAbout* about, QWidget* parent)
    : QMainWindow(parent), m_profile(profile), m_about(about)
{
    setObjectName("TfrmMain");
    setWindowTitle("VoltTCP Telnet - Vt320 Sample");
    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(i == 0 ? "StatusPanel0" : "StatusPanel1");
        m_panels[i]->setFrameShape(QFrame::StyledPanel);
        statusBar()->addWidget(m_panels[i], i == 0 ? 0 : 1);
    }
    m_panels[0]->setMinimumWidth(220);
    statusBar()->setObjectName("StatusBar");
    SetStatus(0, "Not Connected");

    m_settings = new TfrmSettings(this);
    m_prefs = new TfrmPrefs(this);
    connect(m_prefs, &TfrmPrefs::StatusCleared, this, [this] { SetStatus(1, QString()); });
    m_runSettings = [this] { return m_settings->exec() == QDialog::Accepted; };
    m_runPrefs = [this] { m_prefs->exec(); };
    m_askLogFile = [this] {
        QFileDialog dialog(this, QString(), QString(), "Log Files (*.log)");
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix("log");
        dialog.selectFile("termclient.log");
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().first()
                   : QString();
    };

    // The terminal's own widget fills the area above the status bar and follows its size.
    auto* area = new QWidget(this);
    area->setObjectName("TerminalArea");
    setCentralWidget(area);
    // Print output goes to this file when no printer is configured.
    const std::string printFile = m_profile.GetString(kSection, "PrintFile", "", kPathBuffer);
    m_client = std::make_unique<CTelnetClient>(*this, area, QString::fromStdString(printFile));
    m_client->m_host = m_profile.GetString(kSection, "Host", "", kHostBuffer);
    CVtWidget* terminal = m_client->TerminalWindow();
    terminal->setParent(nullptr);
    setCentralWidget(terminal);

    BuildMenus();
    SetConnectedMenus(false);
    resize(terminal->sizeHint() +
           QSize(0, menuBar()->sizeHint().height() + statusBar()->sizeHint().height()));
}

TfrmMain::~TfrmMain()
{
    m_client.reset();  // the log closes, the terminal window goes before the form's children
}

void TfrmMain::BuildMenus()
{
    const auto action = [this](QMenu* menu, const QString& text, const char* name, void (TfrmMain::*slot)()) {
        QAction* item = menu->addAction(text);
        item->setObjectName(name);
        connect(item, &QAction::triggered, this, slot);
        return item;
    };
    QMenu* connection = menuBar()->addMenu("&Connect");
    mnuRemoteSystem =
        action(connection, "&Remote System...", "mnuRemoteSystem", &TfrmMain::mnuRemoteSystemClick);
    mnuDisconnect = action(connection, "&Disconnect", "mnuDisconnect", &TfrmMain::mnuDisconnectClick);
    connection->addSeparator();
    mnuExit = connection->addAction("E&xit");
    mnuExit->setObjectName("mnuExit");
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu("&Edit");
    mnuCopy = action(edit, "&Copy", "mnuCopy", &TfrmMain::mnuCopyClick);
    mnuPaste = action(edit, "&Paste", "mnuPaste", &TfrmMain::mnuPasteClick);
    mnuSelectAll = action(edit, "Select &All", "mnuSelectAll", &TfrmMain::mnuSelectAllClick);
    edit->addSeparator();
    mnuPreferences = action(edit, "P&references...", "mnuPreferences", &TfrmMain::mnuPreferencesClick);

    QMenu* log = menuBar()->addMenu("&Log");
    mnuLogStart = action(log, "&Start...", "mnuLogStart", &TfrmMain::mnuLogStartClick);
    mnuLogStop = action(log, "S&top", "mnuLogStop", &TfrmMain::mnuLogStopClick);

    QMenu* help = menuBar()->addMenu("&Help");
    mnuAbout = action(help, "&About VoltTCP", "mnuAbout", &TfrmMain::mnuAboutClick);
}

QString TfrmMain::Status(int panel) const
{
    return m_panels[panel & 1]->text();
}

void TfrmMain::SetStatus(int panel, const QString& text)
{
    m_panels[panel & 1]->setText(text);
}

void TfrmMain::SetConnectedMenus(bool connected)
{
    mnuRemoteSystem->setEnabled(!connected);
    mnuDisconnect->setEnabled(connected);
    mnuCopy->setEnabled(connected);
    mnuPaste->setEnabled(connected);
}

void TfrmMain::FocusTerminal()
{
    if (CVtWidget* terminal = m_client->TerminalWindow())
        terminal->setFocus();
}

void TfrmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FocusTerminal();
}

void TfrmMain::ConnectTo(const QString& host, uint16_t port)
{
    m_client->m_host = host.toStdString();
    m_client->m_port = port;
    m_profile.WriteString(kSection, "Host", m_client->m_host);
    SetStatus(0, "Connecting .....");
    SetStatus(1, QString());
    m_client->Connect(0, m_client->m_host.c_str(), m_client->m_port);
}

void TfrmMain::mnuRemoteSystemClick()
{
    m_settings->SetHost(QString::fromStdString(m_client->m_host));
    if (m_runSettings())
        ConnectTo(m_settings->Host(), m_settings->Port());
}

void TfrmMain::mnuDisconnectClick()
{
    m_client->Close(false);
}

void TfrmMain::mnuCopyClick()
{
    const VtValue length = m_client->GetProperty(kVtPropSelectionLength);
    if (length <= 0)
        return;
    const VtValue start = m_client->GetProperty(kVtPropSelectionStart);
    std::string text(static_cast<std::size_t>(start + length), '\0');
    const int got = m_client->GetText(text.data(), static_cast<int>(text.size()));
    if (start - 1 >= got)
        return;
    text.resize(static_cast<std::size_t>(got));
    QApplication::clipboard()->setText(QString::fromLatin1(
        text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length))));
}

void TfrmMain::mnuPasteClick()
{
    // The terminal speaks 8-bit text: characters beyond it cannot be sent as they are.
    const QString text = QApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    QByteArray bytes(text.size(), '\0');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text.at(i).unicode();
        bytes[i] = ch <= 0xFF ? static_cast<char>(ch) : '?';
    }
    m_client->Send(bytes.constData(), static_cast<uint32_t>(bytes.size()));
}

void TfrmMain::mnuSelectAllClick()
{
    const VtValue rows = m_client->GetProperty(kVtPropRows) + m_client->GetProperty(kVtPropScrollbackRows);
    m_client->SetProperty(kVtPropSelectionStart, 1);
    m_client->SetProperty(kVtPropSelectionLength, rows * (m_client->GetProperty(kVtPropColumns) + 2));
}

void TfrmMain::mnuPreferencesClick()
{
    m_prefs->Fill(*m_client);
    m_runPrefs();
    FocusTerminal();
}

void TfrmMain::mnuLogStartClick()
{
    const QString path = m_askLogFile();
    if (!path.isEmpty() && !m_client->Logging())
        m_client->StartLog(path.toStdString());
}

void TfrmMain::mnuLogStopClick()
{
    m_client->StopLog();
}

void TfrmMain::mnuAboutClick()
{
    if (m_about != nullptr)
        m_about->ShowAbout();
}
