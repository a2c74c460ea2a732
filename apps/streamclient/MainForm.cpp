#include "apps/streamclient/MainForm.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "apps/common/About.h"
#include "apps/common/FormColors.h"
#include "apps/common/Profile.h"
#include "apps/streamclient/Client.h"
#include "apps/streamclient/Query.h"
#include "lib/VoltTcp.h"

namespace {

constexpr const char* kSection = "TCP";
constexpr std::size_t kReadBuffer = 100;
constexpr int kStartReceiveSize = 5000;
constexpr uint32_t kMaxReps = 50;

// The number in an edit, or -1 when the text is not a number.
long long NumberIn(const QLineEdit* edit)
{
    bool ok = false;
    const long long value = edit->text().trimmed().toLongLong(&ok);
    return ok ? value : -1;
}

void ReplaceAndSelect(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text) {
        edit->setText(text);
    }
    edit->selectAll();
}

QLabel* ValueLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel("0", parent);
    label->setObjectName(name);
    label->setMinimumWidth(70);
    label->setFrameShape(QFrame::StyledPanel);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

}  // namespace

TfrmMain::TfrmMain(TfrmAbout& about, CProfile& profile, uint16_t echoPort, QWidget* parent)
    : QWidget(parent),
      m_profile(profile),
      m_echoPort(echoPort),
      m_edHost(new QLineEdit(this)),
      m_edPort(new QLineEdit(this)),
      m_StatusPanel(new QLabel("Not Connected", this)),
      m_ErrorPanel(new QLabel(this)),
      m_mmoOutgoing(new QPlainTextEdit("Hello World!", this)),
      m_edTotal(new QLineEdit("0", this)),
      m_edReps(new QLineEdit("1", this)),
      m_lblBytesSub(ValueLabel("lblBytesSub", this)),
      m_lblBytesOut(ValueLabel("lblBytesOut", this)),
      m_lblBytesRec(ValueLabel("lblBytesRec", this)),
      m_mmoIncoming(new QPlainTextEdit(this)),
      m_cbxShow(new QCheckBox("Show Data", this)),
      m_TrackBar(new QSlider(Qt::Horizontal, this)),
      m_lblRecvSize(new QLabel(this))
{
    setObjectName("TfrmMain");
    setWindowTitle("VoltTCP TCP Client");

    m_edHost->setObjectName("edHost");
    m_edPort->setObjectName("edPort");
    m_edPort->setMaxLength(5);
    m_edPort->setMaximumWidth(70);
    m_StatusPanel->setObjectName("StatusPanel");
    m_StatusPanel->setAlignment(Qt::AlignCenter);
    m_StatusPanel->setMinimumWidth(130);
    m_StatusPanel->setFrameShape(QFrame::Panel);
    m_StatusPanel->setFrameShadow(QFrame::Sunken);
    m_ErrorPanel->setObjectName("ErrorPanel");
    m_ErrorPanel->setWordWrap(true);
    m_ErrorPanel->setMargin(3);
    SetFormColors(m_ErrorPanel, kColorMaroon, kColorWhite);
    m_ErrorPanel->hide();

    auto* hostRow = new QHBoxLayout;
    auto* lblHost = new QLabel("Host:", this);
    lblHost->setBuddy(m_edHost);
    auto* lblPort = new QLabel("Port:", this);
    lblPort->setBuddy(m_edPort);
    hostRow->addWidget(lblHost);
    hostRow->addWidget(m_edHost, 1);
    hostRow->addWidget(lblPort);
    hostRow->addWidget(m_edPort);
    hostRow->addWidget(m_StatusPanel);

    auto* connectRow = new QHBoxLayout;
    auto* btnConnect = new QPushButton("Connect", this);
    btnConnect->setObjectName("btnConnect");
    auto* btnAbort = new QPushButton("Abort", this);
    btnAbort->setObjectName("btnAbort");
    auto* btnClose = new QPushButton("Close", this);
    btnClose->setObjectName("btnClose");
    auto* btnEcho = new QPushButton("Echo Test", this);
    btnEcho->setObjectName("btnEcho");
    for (QPushButton* button : {btnConnect, btnAbort, btnClose, btnEcho}) {
        button->setAutoDefault(false);
        connectRow->addWidget(button);
    }

    auto* outgoing = new QGroupBox("Outgoing", this);
    outgoing->setObjectName("grpOutgoing");
    m_mmoOutgoing->setObjectName("mmoOutgoing");
    m_mmoOutgoing->setMaximumHeight(70);
    m_edTotal->setObjectName("edTotal");
    m_edTotal->setMaxLength(6);
    m_edTotal->setMaximumWidth(80);
    m_edReps->setObjectName("edReps");
    m_edReps->setMaxLength(2);
    m_edReps->setMaximumWidth(40);
    auto* btnSend = new QPushButton("Send", this);
    btnSend->setObjectName("btnSend");
    btnSend->setDefault(true);
    auto* outGrid = new QGridLayout(outgoing);
    outGrid->addWidget(m_mmoOutgoing, 0, 0, 1, 6);
    outGrid->addWidget(new QLabel("Total Size:", outgoing), 1, 0);
    outGrid->addWidget(m_edTotal, 1, 1);
    outGrid->addWidget(new QLabel("Repetitions:", outgoing), 1, 2);
    outGrid->addWidget(m_edReps, 1, 3);
    outGrid->setColumnStretch(4, 1);
    outGrid->addWidget(btnSend, 1, 5);

    auto* counters = new QGridLayout;
    counters->addWidget(new QLabel("Bytes Submitted:", this), 0, 0);
    counters->addWidget(m_lblBytesSub, 0, 1);
    counters->addWidget(new QLabel("Bytes Sent:", this), 0, 2);
    counters->addWidget(m_lblBytesOut, 0, 3);
    counters->addWidget(new QLabel("Bytes Received:", this), 0, 4);
    counters->addWidget(m_lblBytesRec, 0, 5);

    auto* incoming = new QGroupBox("Incoming", this);
    incoming->setObjectName("grpIncoming");
    m_mmoIncoming->setObjectName("mmoIncoming");
    m_mmoIncoming->setReadOnly(true);
    m_cbxShow->setObjectName("cbxShow");
    m_TrackBar->setObjectName("TrackBar");
    m_TrackBar->setRange(0, 8192);
    m_TrackBar->setPageStep(512);
    m_TrackBar->setTickInterval(1024);
    m_TrackBar->setTickPosition(QSlider::TicksBelow);
    m_lblRecvSize->setObjectName("lblRecvSize");
    m_lblRecvSize->setMinimumWidth(40);
    auto* inGrid = new QGridLayout(incoming);
    inGrid->addWidget(m_mmoIncoming, 0, 0, 1, 4);
    inGrid->addWidget(m_cbxShow, 1, 0);
    inGrid->addWidget(new QLabel("Receive Size:", incoming), 1, 1);
    inGrid->addWidget(m_TrackBar, 1, 2);
    inGrid->addWidget(m_lblRecvSize, 1, 3);
    inGrid->setColumnStretch(2, 1);

    auto* bottomRow = new QHBoxLayout;
    auto* btnQuery = new QPushButton("Query Stack", this);
    btnQuery->setObjectName("btnQuery");
    auto* btnAbout = new QPushButton("About VoltTCP", this);
    btnAbout->setObjectName("btnAbout");
    btnQuery->setAutoDefault(false);
    btnAbout->setAutoDefault(false);
    bottomRow->addWidget(btnQuery);
    bottomRow->addStretch();
    bottomRow->addWidget(btnAbout);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(hostRow);
    layout->addWidget(m_ErrorPanel);
    layout->addLayout(connectRow);
    layout->addWidget(outgoing);
    layout->addLayout(counters);
    layout->addWidget(incoming, 1);
    layout->addLayout(bottomRow);

    m_StackInfo = BuildStackInfo();
    resize(520, 520);

    connect(btnConnect, &QPushButton::clicked, this, [this] { btnConnectClick(); });
    connect(btnAbort, &QPushButton::clicked, this, [this] {
        m_client->Close(true);
        RefreshStatus();
    });
    connect(btnClose, &QPushButton::clicked, this, [this] {
        m_client->Close(false);
        RefreshStatus();
    });
    connect(btnEcho, &QPushButton::clicked, this, [this] { btnEchoClick(); });
    connect(btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });
    connect(btnQuery, &QPushButton::clicked, this, [this] { btnQueryClick(); });
    connect(btnAbout, &QPushButton::clicked, this, [&about] { about.ShowAbout(); });
    // Send is the default button: Enter in any one-line field presses it.
    for (QLineEdit* edit : {m_edHost, m_edPort, m_edTotal, m_edReps}) {
        connect(edit, &QLineEdit::returnPressed, btnSend, &QPushButton::click);
    }
    connect(m_edTotal, &QLineEdit::textChanged, this, [this] { edTotalChange(); });
    connect(m_edPort, &QLineEdit::textChanged, this, [this] { edPortChange(); });
    connect(m_edReps, &QLineEdit::editingFinished, this, [this] { edRepsExit(); });
    connect(m_mmoOutgoing, &QPlainTextEdit::textChanged, this, [this] { mmoOutgoingChange(); });
    connect(m_TrackBar, &QSlider::valueChanged, this, [this](int position) { TrackBarChange(position); });
    m_mmoOutgoing->installEventFilter(this);
    m_mmoOutgoing->viewport()->installEventFilter(this);

    CTcpClientView& view = *this;
    m_client = std::make_unique<CTcpClient>(view);
    m_edHost->setText(QString::fromLatin1(m_profile.GetString(kSection, "Host", "localhost", kReadBuffer)));
    m_edPort->setText(QString::fromLatin1(m_profile.GetString(kSection, "Port", "7", kReadBuffer)));
    mmoOutgoingChange();
    m_TrackBar->setValue(kStartReceiveSize);
    TrackBarChange(kStartReceiveSize);
    RefreshStatus();
}

TfrmMain::~TfrmMain()
{
    m_profile.WriteString(kSection, "Host", m_edHost->text().toStdString());
    m_profile.WriteString(kSection, "Port", m_edPort->text().toStdString());
    m_query.reset();
    m_client.reset();
}

QGroupBox* TfrmMain::BuildStackInfo()
{
    auto* panel = new QGroupBox("Stack Info", this);
    panel->setObjectName("StackInfo");
    panel->setAutoFillBackground(true);
    auto* grid = new QGridLayout(panel);
    CTcpQuery::CLabels labels{};
    struct Row {
        const char* caption;
        const char* name;
        QLabel** slot;
    };
    const Row rows[] = {
        {"Local Hostname:", "lblLocalname", &labels.localName},
        {"System Description:", "lblDesc", &labels.description},
        {"System Status:", "lblStatus", &labels.status},
        {"Winsock Version:", "lblVersion", &labels.version},
        {"Max TCP Sockets:", "lblMaxSock", &labels.maxSockets},
        {"Max UDP Datagrams:", "lblMaxGram", &labels.maxDatagrams},
    };
    int row = 0;
    for (const Row& r : rows) {
        grid->addWidget(new QLabel(r.caption, panel), row, 0, Qt::AlignTop);
        auto* value = new QLabel(panel);
        value->setObjectName(r.name);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(value, row++, 1);
        *r.slot = value;
    }
    grid->addWidget(new QLabel("Local IP Addresse(s):", panel), row, 0, Qt::AlignTop);
    labels.addresses = new QListWidget(panel);
    labels.addresses->setObjectName("lbxAddress");
    grid->addWidget(labels.addresses, row++, 1);
    labels.exception = new QLabel(panel);
    labels.exception->setObjectName("lblQueryException");
    labels.exception->setWordWrap(true);
    SetFormColors(labels.exception, kColorMaroon, kColorWhite);
    labels.exception->hide();
    grid->addWidget(labels.exception, row++, 0, 1, 2);
    auto* btnHide = new QPushButton("Hide", panel);
    btnHide->setObjectName("btnHide");
    btnHide->setAutoDefault(false);
    grid->addWidget(btnHide, row, 1, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);
    connect(btnHide, &QPushButton::clicked, panel, &QWidget::hide);
    panel->hide();
    m_query = std::make_unique<CTcpQuery>(labels);
    return panel;
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_StackInfo->setGeometry(rect());
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == m_mmoOutgoing && event->type() == QEvent::FocusIn) ||
        (watched == m_mmoOutgoing->viewport() && event->type() == QEvent::MouseButtonDblClick)) {
        // After the click that gave the focus has placed the caret.
        QTimer::singleShot(0, m_mmoOutgoing, [this] { m_mmoOutgoing->selectAll(); });
        if (event->type() == QEvent::MouseButtonDblClick) {
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

std::string TfrmMain::OutgoingText() const
{
    // Memo lines end with CR LF, as text on the wire does.
    return m_mmoOutgoing->toPlainText().replace("\n", "\r\n").toLatin1().toStdString();
}

void TfrmMain::btnConnectClick()
{
    if (m_client->EchoMode()) {
        m_edPort->setText(QString::number(m_echoPort));
    }
    m_mmoIncoming->clear();
    const long long port = NumberIn(m_edPort);
    m_client->Open(CTcpClient::kTraceFlags, m_edHost->text().toStdString(),
                   static_cast<uint16_t>(port > 0 && port <= 65535 ? port : 0));
    RefreshStatus();
}

void TfrmMain::btnEchoClick()
{
    m_edPort->setText(QString::number(m_echoPort));
    m_mmoIncoming->clear();
    m_client->StartEcho(CTcpClient::kTraceFlags, m_edHost->text().toStdString(), m_echoPort);
    RefreshStatus();
}

void TfrmMain::btnSendClick()
{
    m_lblBytesSub->setText("0");
    m_lblBytesOut->setText("0");
    edRepsExit();
    const long long total = NumberIn(m_edTotal);
    const long long reps = NumberIn(m_edReps);
    m_client->SendBlock(OutgoingText(), static_cast<uint32_t>(total > 0 ? total : 0),
                        static_cast<uint32_t>(reps > 0 ? reps : 1));
}

void TfrmMain::btnQueryClick()
{
    m_StackInfo->setGeometry(rect());
    m_StackInfo->show();
    m_StackInfo->raise();
    m_query->QueryStack();
}

void TfrmMain::edTotalChange()
{
    if (NumberIn(m_edTotal) <= 0) {
        ReplaceAndSelect(m_edTotal, "0");
    }
}

void TfrmMain::edPortChange()
{
    const long long port = NumberIn(m_edPort);
    if (port <= 1) {
        ReplaceAndSelect(m_edPort, "1");
    } else if (port > 65535) {
        // Five digits reach past the last port; a bigger number must not wrap to another port.
        ReplaceAndSelect(m_edPort, "65535");
    }
}

void TfrmMain::edRepsExit()
{
    const long long reps = NumberIn(m_edReps);
    if (reps > static_cast<long long>(kMaxReps)) {
        m_edReps->setText(QString::number(kMaxReps));
    } else if (reps <= 1) {
        m_edReps->setText("1");
    }
}

void TfrmMain::mmoOutgoingChange()
{
    m_edTotal->setText(QString::number(OutgoingText().size()));
}

void TfrmMain::TrackBarChange(int position)
{
    m_client->SetReceiveSize(static_cast<uint32_t>(position));
    m_lblRecvSize->setText(QString::number(position));
}

void TfrmMain::RefreshStatus()
{
    switch (m_client->GetState()) {
    case CVoltTcp::Connecting:
        m_StatusPanel->setText("Connecting ...");
        SetFormColors(m_StatusPanel, kColorYellow, kColorBlack);
        m_ErrorPanel->hide();
        break;
    case CVoltTcp::Connected:
        m_StatusPanel->setText("Connected");
        SetFormColors(m_StatusPanel, kColorGreen, kColorWhite);
        m_ErrorPanel->hide();
        break;
    case CVoltTcp::Closing:
        m_StatusPanel->setText("Closing ...");
        SetFormColors(m_StatusPanel, kColorYellow, kColorBlack);
        m_ErrorPanel->hide();
        break;
    default:
        m_StatusPanel->setText("Not Connected");
        SetFormColors(m_StatusPanel, kColorMaroon, kColorWhite);
        m_lblBytesSub->setText("0");
        m_lblBytesOut->setText("0");
        m_lblBytesRec->setText("0");
        break;
    }
}

void TfrmMain::AppendIncoming(const QString& text)
{
    QString plain = text;
    plain.replace("\r\n", "\n");
    plain.remove(QChar('\0'));
    m_mmoIncoming->moveCursor(QTextCursor::End);
    m_mmoIncoming->insertPlainText(plain);
    m_mmoIncoming->verticalScrollBar()->setValue(m_mmoIncoming->verticalScrollBar()->maximum());
}

void TfrmMain::OnClientConnected()
{
    RefreshStatus();
    if (m_client->EchoMode()) {
        btnSendClick();
    }
}

void TfrmMain::OnClientReceived(const char* bytes, uint32_t length, uint32_t totalReceived)
{
    m_lblBytesRec->setText(QString::number(totalReceived));
    RefreshStatus();
    if (length == 0) {
        return;
    }
    if (m_cbxShow->isChecked()) {
        AppendIncoming(QString::fromLatin1(bytes, static_cast<qsizetype>(length)));
    } else {
        AppendIncoming(QString("%1 Bytes Received\r\n").arg(length));
    }
}

void TfrmMain::OnClientSubmitted(uint32_t totalSubmitted)
{
    m_lblBytesSub->setText(QString::number(totalSubmitted));
}

void TfrmMain::OnClientSent(uint32_t totalSent)
{
    m_lblBytesOut->setText(QString::number(totalSent));
}

void TfrmMain::OnClientEchoDone(const std::string& report)
{
    AppendIncoming(QString::fromLatin1(report.c_str()));
}

void TfrmMain::OnClientException(uint8_t /*code*/, const char* text)
{
    // The status first: refreshing a still connected session would hide the panel again,
    // and a peer's close is reported while the session is still connected.
    RefreshStatus();
    m_ErrorPanel->setText(QString::fromLatin1(text));
    m_ErrorPanel->show();
}
