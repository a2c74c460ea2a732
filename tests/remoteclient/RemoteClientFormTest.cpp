// The remote command program's window offscreen: its fields and modes, its settings, the
// local-port rule, and its sessions against a scripted server on 127.0.0.1.

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include "apps/common/FormColors.h"
#include "remote/Rexec.h"
#include "remote/Rlogin.h"
#include "tests/remoteclient/FormFixture.h"
#include "tests/support/FormFit.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

TEST_F(RemoteClientForm, AFirstStartShowsTheKeyNamesAndTheRexecMode)
{
    TfrmMain& form = Form();
    EXPECT_EQ("VoltTCP R-Protocol Sample", form.windowTitle());
    EXPECT_EQ("HostName", Text("edHost"));
    EXPECT_EQ("UserName", Text("edUser"));
    EXPECT_EQ("ls -l", Text("edCommand"));
    EXPECT_EQ("512", Text("edLocPort"));
    EXPECT_EQ("Connection Closed", Text("StatusPanel"));
    EXPECT_EQ(kColorMaroon, BackgroundColor(Find<QLabel>("StatusPanel")));
    EXPECT_FALSE(Find<QLabel>("ErrorPanel")->isVisible());
    EXPECT_TRUE(Find<QRadioButton>("rbRexec")->isChecked());
    EXPECT_TRUE(Find<QPushButton>("btnExecute")->isDefault());
    EXPECT_EQ(QLineEdit::Password, Find<QLineEdit>("edPass")->echoMode());
    EXPECT_EQ(4, Find<QLineEdit>("edLocPort")->maxLength());
    EXPECT_EQ(Qt::ClickFocus, Display()->focusPolicy()) << "the display is no tab stop";
}

TEST_F(RemoteClientForm, EachModeShowsItsFieldsAndDescription)
{
    struct SMode {
        const char* radio;
        std::vector<const char*> shown;
        std::vector<const char*> hidden;
        const char* description;
    };
    const SMode modes[] = {
        {"rbRshell",
         {"edCommand", "lblCommand", "btnExecute", "lblLocPort", "edLocPort"},
         {"edPass", "lblPass", "btnLogin", "btnLogout"},
         "Remote Shell executes a command on a remote computer. Fill in the name of the computer, the user "
         "name "
         "and the command to execute, then click Execute. NOTE: This will only work if you have the proper "
         "R-shell privileges on the remote computer."},
        {"rbRlogin",
         {"btnLogin", "btnLogout", "lblLocPort", "edLocPort"},
         {"edPass", "lblPass", "edCommand", "lblCommand", "btnExecute"},
         "Remote Login creates a login session on a remote computer. Fill in the name of the computer and "
         "the "
         "user. Then click Login. NOTE: This will only work if you have the proper R-Login privileges on the "
         "remote computer."},
        {"rbRexec",
         {"edPass", "lblPass", "edCommand", "lblCommand", "btnExecute"},
         {"btnLogin", "btnLogout", "lblLocPort", "edLocPort"},
         "Remote Execute executes a command on a remote computer. Fill in the name of the computer, the user "
         "name and password, then the command to execute, and click Execute."},
    };
    for (const SMode& mode : modes) {
        SCOPED_TRACE(mode.radio);
        Click(mode.radio);
        for (const char* name : mode.shown)
            EXPECT_TRUE(Find<QWidget>(name)->isVisible()) << name;
        for (const char* name : mode.hidden)
            EXPECT_FALSE(Find<QWidget>(name)->isVisible()) << name;
        EXPECT_EQ(mode.description, Text("lblDesc"));
        for (const char* name : {"edHost", "edUser", "edDisplay", "btnAbout", "StatusPanel", "Protocol"})
            EXPECT_TRUE(Find<QWidget>(name)->isVisible()) << name;
    }
}

TEST_F(RemoteClientForm, HostAndUserAreKeptInTheRexecSection)
{
    SetText("edHost", "build-host");
    SetText("edUser", "operator");
    DestroyForm();
    EXPECT_EQ("build-host", m_profile->GetString("REXEC", "HostName", "", 64));
    EXPECT_EQ("operator", m_profile->GetString("REXEC", "UserName", "", 64));
    EXPECT_EQ("build-host", Text("edHost")) << "read again by the next start";
    EXPECT_EQ("operator", Text("edUser"));
}

TEST_F(RemoteClientForm, LeavingTheLocalPortFieldKeepsOnly513To1024)
{
    const std::pair<const char*, const char*> cases[] = {
        {"2000", "512"}, {"513", "513"}, {"1024", "1024"}, {"1025", "512"},
        {"512", "512"},  {"100", "512"}, {"abc", "512"},   {"", "512"},
    };
    Click("rbRshell");
    auto* edit = Find<QLineEdit>("edLocPort");
    for (const auto& [typed, kept] : cases) {
        edit->setText(typed);
        emit edit->editingFinished();
        EXPECT_EQ(kept, edit->text()) << typed;
    }
    edit->setText("abc");
    EXPECT_EQ(512, Form().LocalPort()) << "a text that is no number counts as 512";
}

TEST_F(RemoteClientForm, ExecuteRunsRexecAndShowsTheOutput)
{
    CScriptedPeer server;
    SServicePorts ports;
    ports.rexec = server.Port();
    Form(ports);
    SetText("edHost", "127.0.0.1");
    SetText("edUser", "tester");
    SetText("edPass", "secret");
    SetText("edCommand", "ls");
    QTest::keyClick(Find<QLineEdit>("edCommand"), Qt::Key_Return);  // Execute is the default
    ASSERT_TRUE(server.Accept());
    const auto session = server.TakeConnection();
    EXPECT_EQ("\0tester\0secret\0ls\0"s, session->Read(18));
    ASSERT_TRUE(RunUntil([&] { return Text("StatusPanel") == "Connected to 127.0.0.1"; }));
    EXPECT_EQ(kColorGreen, BackgroundColor(Find<QLabel>("StatusPanel")));
    ASSERT_TRUE(session->Send("\0a.txt\nb.txt\n"s));
    ASSERT_TRUE(RunUntil([&] { return Display()->Text() == "a.txt\nb.txt\n"; }))
        << Display()->Text().toStdString();
    EXPECT_EQ("Successful Login", Text("StatusPanel"));
    session->Close();
    ASSERT_TRUE(RunUntil([&] { return Text("StatusPanel") == "Connection Closed"; }));
    EXPECT_EQ("Remote Host Closed", Text("ErrorPanel"));
    EXPECT_TRUE(Find<QLabel>("ErrorPanel")->isVisible());
}

TEST_F(RemoteClientForm, AFloodOfOutputCostsBoundedMemoryAndKeepsTheWindowLive)
{
    CScriptedPeer server;
    SServicePorts ports;
    ports.rexec = server.Port();
    Form(ports);
    SetText("edHost", "127.0.0.1");
    Click("btnExecute");
    ASSERT_TRUE(server.Accept());
    const auto session = server.TakeConnection();
    ASSERT_EQ("\0UserName\0\0ls -l\0"s, session->Read(17))
        << "all of it: unread bytes would reset the connection";
    // More than the display holds: 24 MB of lines of 100 characters.
    const std::string line = std::string(99, 'f') + "\n";
    std::string block;
    for (int i = 0; i < 1000; ++i)
        block += line;
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 longestPause = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestPause = std::max(longestPause, sinceTick.restart()); });
    ticker.start(5);
    ASSERT_TRUE(session->Send("\0"s));
    for (int i = 0; i < 240; ++i)
        ASSERT_TRUE(session->Send(block));
    session->Close();
    ASSERT_TRUE(RunUntil([&] { return Text("StatusPanel") == "Connection Closed"; }, 60s));
    ticker.stop();
    const int lines = Display()->LineCount();
    EXPECT_LE(static_cast<size_t>(lines) * 99, CRemoteDisplay::kMaxBytes);
    EXPECT_GE(static_cast<size_t>(lines) * 99, CRemoteDisplay::kMaxBytes / 2);
    EXPECT_EQ(line.substr(0, 99), Display()->Line(lines - 2).toStdString()) << "the newest lines stay";
    EXPECT_EQ("", Display()->Line(lines - 1).toStdString());
    EXPECT_LT(longestPause, 1000) << "the window kept answering";
}

TEST_F(RemoteClientForm, ChangingTheModeClosesARunningSessionAtOnce)
{
    CScriptedPeer server;
    SServicePorts ports;
    ports.rexec = server.Port();
    Form(ports);
    SetText("edHost", "127.0.0.1");
    Click("btnExecute");
    ASSERT_TRUE(server.Accept());
    const auto session = server.TakeConnection();
    ASSERT_TRUE(RunUntil([&] { return Form().RexecClient().GetState() == CVoltTcp::Connected; }));
    Click("rbRshell");
    EXPECT_EQ(CVoltTcp::Closed, Form().RexecClient().GetState());
    EXPECT_EQ("Connection Closed", Text("StatusPanel"));
    EXPECT_TRUE(session->WaitClosed());
}

TEST_F(RemoteClientForm, KeysInTheDisplayGoToAnRloginSessionOnly)
{
    CScriptedPeer server;
    SServicePorts ports;
    ports.rexec = ports.rlogin = server.Port();
    Form(ports);
    SetText("edHost", "127.0.0.1");
    SetText("edUser", "tester");

    // In rexec mode a key sends nothing.
    Click("btnExecute");
    ASSERT_TRUE(server.Accept());
    const auto rexec = server.TakeConnection();
    EXPECT_EQ("\0tester\0\0ls -l\0"s, rexec->Read(15));
    QTest::keyClicks(Display(), "x");
    EXPECT_EQ("", rexec->Drain(50ms));

    Click("rbRlogin");
    SetText("edLocPort", "0");  // any port: this server does not ask
    Click("btnLogin");
    ASSERT_TRUE(server.Accept());
    const auto login = server.TakeConnection();
    EXPECT_EQ("\0tester\0tester\0TTY\0"s, login->Read(19));
    ASSERT_TRUE(login->Send("\0"s + "Password: "));
    ASSERT_TRUE(RunUntil([&] { return Display()->Text() == "Password: "; }));
    EXPECT_TRUE(Display()->hasFocus());
    QTest::keyClicks(Display(), "ls -l");
    QTest::keyClick(Display(), Qt::Key_Backspace);
    QTest::keyClick(Display(), Qt::Key_Return);
    QTest::keyClick(Display(), Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(Display(), Qt::Key_Tab);
    QTest::keyClick(Display(), Qt::Key_Left);  // no character: nothing goes out
    EXPECT_EQ("ls -l\x7f\r\x03\t", login->Read(9));
    EXPECT_EQ("", login->Drain(30ms));
    // Copying and pasting take Shift in a session.
    QApplication::clipboard()->setText("echo 1\necho 2\n");
    QTest::keyClick(Display(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ("echo 1\recho 2\r", login->Read(14));
    Display()->SelectAll();
    QTest::keyClick(Display(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ("Password: ", QApplication::clipboard()->text());
    EXPECT_EQ("", login->Drain(30ms));

    Click("btnLogout");
    EXPECT_TRUE(login->WaitClosed());
    ASSERT_TRUE(RunUntil([&] { return Form().RloginClient().GetState() == CVoltTcp::Closed; }));
    QTest::keyClicks(Display(), "y");
    EXPECT_EQ(CVoltTcp::Closed, Form().RloginClient().GetState()) << "keys after the session go nowhere";
}

TEST_F(RemoteClientForm, ClosingTheWindowEndsTheSession)
{
    CScriptedPeer server;
    SServicePorts ports;
    ports.rlogin = server.Port();
    Form(ports);
    SetText("edHost", "127.0.0.1");
    Click("rbRlogin");
    SetText("edLocPort", "0");
    Click("btnLogin");
    ASSERT_TRUE(server.Accept());
    const auto login = server.TakeConnection();
    ASSERT_TRUE(RunUntil([&] { return Form().RloginClient().GetState() == CVoltTcp::Connected; }));
    Form().close();
    EXPECT_EQ(CVoltTcp::Closed, Form().RloginClient().GetState());
    EXPECT_TRUE(login->WaitClosed());
}

TEST_F(RemoteClientForm, NothingIsCutAtTheSmallestSize)
{
    TfrmMain& form = Form();
    form.resize(form.minimumSize());
    for (const char* radio : {"rbRexec", "rbRshell", "rbRlogin"}) {
        SCOPED_TRACE(radio);
        Click(radio);
        QApplication::processEvents();
        for (QWidget* child : form.findChildren<QWidget*>()) {
            if (!child->isVisible() || child->objectName().isEmpty() || child == Display())
                continue;
            const QSize need = child->minimumSizeHint();
            EXPECT_GE(child->width(), need.width()) << child->objectName().toStdString();
            EXPECT_GE(child->height(), need.height()) << child->objectName().toStdString();
            if (child->hasHeightForWidth()) {
                EXPECT_GE(child->height(), child->heightForWidth(child->width()))
                    << child->objectName().toStdString();
            }
            EXPECT_TRUE(form.rect().contains(QRect(child->mapTo(&form, QPoint(0, 0)), child->size())))
                << child->objectName().toStdString();
        }
        EXPECT_GE(Display()->height(), 100);
        EXPECT_THAT(TextsCutAtMinimumSize(form), testing::IsEmpty());
    }
}

TEST_F(RemoteClientForm, KeyBytesOfTheDisplay)
{
    struct SCase {
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        std::string bytes;
    };
    const SCase cases[] = {
        {Qt::Key_A, Qt::NoModifier, "a", "a"},
        {Qt::Key_Return, Qt::NoModifier, "\r", "\r"},
        {Qt::Key_Enter, Qt::KeypadModifier, "\r", "\r"},
        {Qt::Key_Backspace, Qt::NoModifier, "\b", "\x7f"},
        {Qt::Key_Escape, Qt::NoModifier, "\x1b", "\x1b"},
        {Qt::Key_D, Qt::ControlModifier, "", "\x04"},
        {Qt::Key_BracketLeft, Qt::ControlModifier, "", "\x1b"},
        {Qt::Key_Space, Qt::ControlModifier, "", "\0"s},
        {Qt::Key_Eacute, Qt::NoModifier, QString(QChar(0xE9)), "\xC3\xA9"},
        {Qt::Key_F1, Qt::NoModifier, "", ""},
        {Qt::Key_Up, Qt::NoModifier, "", ""},
    };
    for (const SCase& c : cases) {
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, c.text);
        EXPECT_EQ(c.bytes, TfrmMain::KeyBytes(event)) << c.key;
    }
}

}  // namespace
