#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>

#include "apps/common/About.h"
#include "apps/common/FormColors.h"
#include "apps/common/Profile.h"
#include "apps/loopserver/EchoServerView.h"
#include "apps/loopserver/Server.h"
#include "apps/streamclient/Client.h"
#include "apps/streamclient/MainForm.h"
#include "tests/support/Files.h"
#include "tests/support/FormFit.h"
#include "tests/support/Loopback.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

namespace {

namespace fs = std::filesystem;

class CQuietView final : public CEchoServerView {
public:
    void OnServerListening(uint16_t listening) override { port = listening; }
    void OnServerStopped() override {}
    void OnConnectionCount(uint32_t count) override { connections = count; }
    void OnServerError(const char* /*text*/, bool /*closed*/) override {}
    uint16_t port = 0;
    uint32_t connections = 0;
};

class StreamClientForm : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("VoltTCP TCP Client"); }

    void SetUp() override
    {
        ASSERT_TRUE(m_temp.IsValid());
        m_dir = m_temp.Path();
        m_oldDir = fs::current_path();
        fs::current_path(m_dir);  // trace files land here
        setenv("VOLTTCP_INI", (m_dir + "/VOLTTCP.INI").c_str(), 1);
        m_profile = std::make_unique<CProfile>(CProfile::DefaultPath());
        m_echo = std::make_unique<CEchoServer>(m_echoView);
        m_echo->SetPort(0);
        ASSERT_TRUE(m_echo->StartListening());
    }
    void TearDown() override
    {
        m_form.reset();
        m_echo.reset();
        unsetenv("VOLTTCP_INI");
        fs::current_path(m_oldDir);
    }

    TfrmMain& Form()
    {
        if (!m_form) {
            m_form = std::make_unique<TfrmMain>(m_about, *m_profile, m_echoView.port);
            m_form->show();
        }
        return *m_form;
    }
    template <typename T>
    T* Find(const char* name)
    {
        T* child = Form().findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QString Text(const char* name)
    {
        if (auto* label = Form().findChild<QLabel*>(name)) {
            return label->text();
        }
        if (auto* edit = Form().findChild<QLineEdit*>(name)) {
            return edit->text();
        }
        if (auto* memo = Form().findChild<QPlainTextEdit*>(name)) {
            return memo->toPlainText();
        }
        ADD_FAILURE() << "no control " << name;
        return {};
    }
    void Click(const char* name) { Find<QPushButton>(name)->click(); }
    void ConnectTo(unsigned short port)
    {
        Find<QLineEdit>("edHost")->setText("127.0.0.1");
        Find<QLineEdit>("edPort")->setText(QString::number(port));
        Click("btnConnect");
    }
    bool WaitStatus(const char* status)
    {
        return RunUntil([&] { return Text("StatusPanel") == status; });
    }

    CTempDir m_temp{"streamclient_test"};
    std::string m_dir;
    fs::path m_oldDir;
    TfrmAbout m_about;
    std::unique_ptr<CProfile> m_profile;
    CQuietView m_echoView;
    std::unique_ptr<CEchoServer> m_echo;
    std::unique_ptr<TfrmMain> m_form;
};

TEST_F(StreamClientForm, FirstStartShowsDefaultsAndRemembersTheLastValues)
{
    EXPECT_EQ(Text("edHost"), "localhost");
    EXPECT_EQ(Text("edPort"), "7");
    EXPECT_EQ(Form().windowTitle(), "VoltTCP TCP Client");
    EXPECT_EQ(Text("StatusPanel"), "Not Connected");
    EXPECT_EQ(BackgroundColor(Find<QLabel>("StatusPanel")), kColorMaroon);
    EXPECT_FALSE(Find<QLabel>("ErrorPanel")->isVisible());
    EXPECT_EQ(Text("mmoOutgoing"), "Hello World!");
    EXPECT_EQ(Text("edTotal"), "12");
    EXPECT_EQ(Text("edReps"), "1");
    EXPECT_EQ(Find<QSlider>("TrackBar")->value(), 5000);
    EXPECT_EQ(Find<QSlider>("TrackBar")->maximum(), 8192);
    EXPECT_EQ(Text("lblRecvSize"), "5000");
    EXPECT_FALSE(Find<QGroupBox>("StackInfo")->isVisible());

    Find<QLineEdit>("edHost")->setText("echo.example");
    Find<QLineEdit>("edPort")->setText("2007");
    m_form.reset();
    EXPECT_EQ(m_profile->GetString("TCP", "Host", "", 100), "echo.example");
    EXPECT_EQ(m_profile->GetString("TCP", "Port", "", 100), "2007");
    EXPECT_EQ(Text("edHost"), "echo.example");
    EXPECT_EQ(Text("edPort"), "2007");
}

TEST_F(StreamClientForm, TotalSizePadsWithZerosOrCuts)
{
    struct Case {
        const char* total;
        std::string expected;
    };
    const Case cases[] = {
        {"20", std::string("Hello World!") + std::string(8, '\0')},
        {"5", "Hello"},
        {"12", "Hello World!"},
    };
    for (const Case& c : cases) {
        CScriptedPeer peer;
        ConnectTo(peer.Port());
        ASSERT_TRUE(peer.Accept());
        ASSERT_TRUE(WaitStatus("Connected"));
        Find<QLineEdit>("edTotal")->setText(c.total);
        Click("btnSend");
        EXPECT_EQ(peer.Read(c.expected.size()), c.expected) << c.total;
        EXPECT_EQ(peer.Drain(std::chrono::milliseconds(50)), "") << c.total;
        Click("btnAbort");
        ASSERT_TRUE(WaitStatus("Not Connected"));
    }
}

TEST_F(StreamClientForm, RepetitionsCountSubmittedAndSentBytes)
{
    CScriptedPeer peer;
    ConnectTo(peer.Port());
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(WaitStatus("Connected"));
    EXPECT_EQ(BackgroundColor(Find<QLabel>("StatusPanel")), kColorGreen);
    Find<QLineEdit>("edReps")->setText("3");
    emit Find<QLineEdit>("edReps")->returnPressed();  // Enter presses the default button
    EXPECT_EQ(Text("lblBytesSub"), "36");
    ASSERT_TRUE(RunUntil([&] { return Text("lblBytesOut") == "36"; }));
    EXPECT_EQ(peer.Read(36), "Hello World!Hello World!Hello World!");
}

TEST_F(StreamClientForm, EchoTestEndsWithReportAndGracefulClose)
{
    Find<QLineEdit>("edHost")->setText("127.0.0.1");
    Find<QLineEdit>("edReps")->setText("4");
    Click("btnEcho");
    EXPECT_EQ(Text("edPort"), QString::number(m_echoView.port));
    ASSERT_TRUE(RunUntil([&] { return Text("mmoIncoming").contains("Bytes/Sec"); }));
    const QString result = Text("mmoIncoming");
    EXPECT_TRUE(result.contains("48 Bytes in ")) << result.toStdString();
    EXPECT_TRUE(result.contains(" Sec.")) << result.toStdString();
    EXPECT_FALSE(Form().Client().EchoMode());
    ASSERT_TRUE(WaitStatus("Not Connected"));
    EXPECT_FALSE(Find<QLabel>("ErrorPanel")->isVisible());
    ASSERT_TRUE(RunUntil([&] { return m_echoView.connections == 0; }));
}

TEST_F(StreamClientForm, ReceivedDataShowsAsSizesOrAsText)
{
    ConnectTo(m_echoView.port);
    ASSERT_TRUE(WaitStatus("Connected"));
    Click("btnSend");
    ASSERT_TRUE(RunUntil([&] { return Text("lblBytesRec") == "12"; }));
    EXPECT_EQ(Text("mmoIncoming"), "12 Bytes Received\n");

    Find<QCheckBox>("cbxShow")->setChecked(true);
    Find<QLineEdit>("edTotal")->setText("5");
    Click("btnSend");
    ASSERT_TRUE(RunUntil([&] { return Text("lblBytesRec") == "17"; }));
    EXPECT_EQ(Text("mmoIncoming"), "12 Bytes Received\nHello");
}

TEST_F(StreamClientForm, TrackBarAtZeroHoldsReceptionBack)
{
    ConnectTo(m_echoView.port);
    ASSERT_TRUE(WaitStatus("Connected"));
    Find<QSlider>("TrackBar")->setValue(0);
    EXPECT_EQ(Text("lblRecvSize"), "0");
    Click("btnSend");
    ASSERT_TRUE(RunUntil([&] { return Text("lblBytesOut") == "12"; }));
    RunFor(std::chrono::milliseconds(200));
    EXPECT_EQ(Text("lblBytesRec"), "0");

    Find<QSlider>("TrackBar")->setValue(5);
    EXPECT_EQ(Text("lblRecvSize"), "5");
    ASSERT_TRUE(RunUntil([&] { return Text("lblBytesRec") == "12"; }));
    // Pieces of at most five bytes.
    EXPECT_EQ(Text("mmoIncoming"), "5 Bytes Received\n5 Bytes Received\n2 Bytes Received\n");
}

TEST_F(StreamClientForm, PeerCloseShowsRemoteHostClosed)
{
    CScriptedPeer peer;
    ConnectTo(peer.Port());
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(WaitStatus("Connected"));
    peer.Close();
    ASSERT_TRUE(WaitStatus("Not Connected"));
    EXPECT_TRUE(Find<QLabel>("ErrorPanel")->isVisible());
    EXPECT_EQ(Text("ErrorPanel"), "Remote Host Closed");
    EXPECT_EQ(Text("lblBytesRec"), "0");
}

TEST_F(StreamClientForm, ClosingTheTraceWindowAbortsTheConnection)
{
    CScriptedPeer peer;
    ConnectTo(peer.Port());
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(WaitStatus("Connected"));
    QWidget* trace = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == "TraceWindow" && window->isVisible() &&
            window->windowTitle().startsWith("Connected")) {
            trace = window;
        }
    }
    ASSERT_NE(trace, nullptr);
    trace->close();
    ASSERT_TRUE(WaitStatus("Not Connected"));
    EXPECT_TRUE(peer.WaitClosed());
}

TEST_F(StreamClientForm, RefusedConnectionIsReported)
{
    ConnectTo(UnusedLoopbackPort());
    ASSERT_TRUE(RunUntil([&] { return Find<QLabel>("ErrorPanel")->isVisible(); }));
    EXPECT_FALSE(Text("ErrorPanel").isEmpty());
    EXPECT_EQ(Text("StatusPanel"), "Not Connected");
}

TEST_F(StreamClientForm, QueryStackFillsThePanel)
{
    Click("btnQuery");
    auto* panel = Find<QGroupBox>("StackInfo");
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), Form().rect());
    ASSERT_TRUE(RunUntil([&] { return !Text("lblVersion").isEmpty(); }));
    EXPECT_EQ(Text("lblVersion"), "257");
    EXPECT_EQ(Text("lblMaxGram"), "65507");
    EXPECT_EQ(Text("lblStatus"), "Running");
    EXPECT_FALSE(Text("lblDesc").isEmpty());
    EXPECT_FALSE(Text("lblLocalname").isEmpty());
    EXPECT_GT(Text("lblMaxSock").toInt(), 0);
    for (int i = 0; i < Find<QListWidget>("lbxAddress")->count(); ++i) {
        EXPECT_EQ(Find<QListWidget>("lbxAddress")->item(i)->text().count('.'), 3);
    }
    // A second query answers at once and does not add lines.
    const int lines = Find<QListWidget>("lbxAddress")->count();
    Click("btnQuery");
    RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(Find<QListWidget>("lbxAddress")->count(), lines);
    Click("btnHide");
    EXPECT_FALSE(panel->isVisible());
}

TEST_F(StreamClientForm, ClosingTheMainWindowEndsTheProgramAndItsConnection)
{
    // Connected, its trace window open.
    CScriptedPeer peer;
    ConnectTo(peer.Port());
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(WaitStatus("Connected"));
    EXPECT_TRUE(ClosingEndsTheRun(Form()));
    m_form.reset();  // what the program's end does
    EXPECT_TRUE(peer.WaitClosed());

    // After an echo test, its trace windows minimised.
    Find<QLineEdit>("edHost")->setText("127.0.0.1");
    Click("btnEcho");
    ASSERT_TRUE(RunUntil([&] { return Text("mmoIncoming").contains("Bytes/Sec"); }));
    EXPECT_TRUE(ClosingEndsTheRun(Form()));
}

TEST_F(StreamClientForm, NothingIsCutAtTheMinimumSize)
{
    Find<QLineEdit>("edPort")->setText("65535");
    Find<QLineEdit>("edReps")->setText("50");
    EXPECT_THAT(TextsCutAtMinimumSize(Form()), testing::IsEmpty());
    ConnectTo(UnusedLoopbackPort());
    ASSERT_TRUE(RunUntil([&] { return Find<QLabel>("ErrorPanel")->isVisible(); }));
    EXPECT_THAT(TextsCutAtMinimumSize(Form()), testing::IsEmpty());
    Click("btnQuery");
    ASSERT_TRUE(RunUntil([&] { return !Text("lblVersion").isEmpty(); }));
    EXPECT_THAT(TextsCutAtMinimumSize(Form()), testing::IsEmpty());
}

TEST_F(StreamClientForm, FieldRules)
{
    struct Case {
        const char* field;
        const char* typed;
        const char* expected;
        bool onExit;
    };
    const Case cases[] = {
        {"edTotal", "abc", "0", false},      {"edTotal", "-3", "0", false}, {"edTotal", "250", "250", false},
        {"edPort", "0", "1", false},         {"edPort", "x", "1", false},   {"edPort", "80", "80", false},
        {"edPort", "70000", "65535", false}, {"edReps", "99", "50", true},  {"edReps", "0", "1", true},
        {"edReps", "", "1", true},           {"edReps", "7", "7", true},
    };
    for (const Case& c : cases) {
        auto* edit = Find<QLineEdit>(c.field);
        edit->setText(c.typed);
        if (c.onExit) {
            emit edit->editingFinished();
        }
        EXPECT_EQ(edit->text(), c.expected) << c.field << " " << c.typed;
    }
    EXPECT_EQ(Find<QLineEdit>("edPort")->maxLength(), 5);
    EXPECT_EQ(Find<QLineEdit>("edTotal")->maxLength(), 6);
    EXPECT_EQ(Find<QLineEdit>("edReps")->maxLength(), 2);

    Find<QPlainTextEdit>("mmoOutgoing")->setPlainText("two\nlines");
    EXPECT_EQ(Text("edTotal"), "10");  // the line break goes out as CR LF
}

TEST(StreamClientBlocks, BuildBlockAndReport)
{
    EXPECT_EQ(CTcpClient::BuildBlock("Hello World!", 0), "");
    EXPECT_EQ(CTcpClient::BuildBlock("", 3), std::string(3, '\0'));
    EXPECT_EQ(CTcpClient::ThroughputReport(5000, 2000),
              "\r\n\r\n5000 Bytes in 2.0000 Sec.\r\n2500.00 Bytes/Sec\r\n");
    EXPECT_EQ(CTcpClient::ThroughputReport(12, 0), "\r\n\r\n12 Bytes in 0.0000 Sec.\r\nTime Unresolved");
}

}  // namespace
