#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "apps/common/Profile.h"
#include "apps/termclient/MainForm.h"
#include "apps/termclient/Prefs.h"
#include "apps/termclient/Settings.h"
#include "tests/support/Files.h"
#include "tests/support/Loopback.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"
#include "vt/qt/QtPrintSink.h"

namespace {

using namespace std::chrono_literals;

TEST(TermClientSettingsTest, PortTextBecomesAPortNumber)
{
    const struct {
        const char* text;
        uint16_t port;
    } cases[] = {
        {"telnet", 23}, {"echo", 7},   {"chargen", 19}, {"2323", 2323},   {"ssh", 23},
        {"", 23},       {"70000", 23}, {"0", 23},       {" 8023 ", 8023},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TfrmSettings::PortFromText(c.text), c.port) << c.text;
}

class TermClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureQtTestApp("VoltTCP Telnet - Vt320 Sample");
        ASSERT_TRUE(m_dir.isValid());
        m_profile = std::make_unique<CProfile>(m_dir.filePath("VOLTTCP.INI").toStdString());
        m_form = std::make_unique<TfrmMain>(*m_profile, nullptr);
        m_form->show();
    }

    void TearDown() override
    {
        m_form.reset();
        m_peer.Close(true);
    }

    CTelnetClient& Client() { return m_form->Client(); }

    // Connects the form to a local peer and waits until both sides see the connection.
    void ConnectToPeer()
    {
        m_form->ConnectTo("127.0.0.1", m_peer.Port());
        ASSERT_TRUE(m_peer.Accept());
        ASSERT_TRUE(RunUntil([&] { return m_form->Status(0) == "Connected to 127.0.0.1"; }));
    }

    std::string ScreenRow(int row)
    {
        char text[kMaxColumns + 1] = {};
        const int count = Client().Emulator().Screen().RowText(row, text);
        std::string line(text, static_cast<size_t>(count));
        return line.substr(0, line.find_last_not_of(' ') + 1);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CProfile> m_profile;
    std::unique_ptr<TfrmMain> m_form;
    CScriptedPeer m_peer;
};

TEST_F(TermClientTest, StartsDisconnectedWithTheTerminalSetUp)
{
    EXPECT_EQ(m_form->windowTitle(), "VoltTCP Telnet - Vt320 Sample");
    EXPECT_EQ(m_form->Status(0), "Not Connected");
    EXPECT_TRUE(m_form->mnuRemoteSystem->isEnabled());
    EXPECT_FALSE(m_form->mnuDisconnect->isEnabled());
    EXPECT_FALSE(m_form->mnuCopy->isEnabled());
    EXPECT_EQ(Client().GetProperty(kVtPropScrollbackRows), 100);
    EXPECT_EQ(Client().GetProperty(kVtPropEnabled), 1);
    EXPECT_EQ(Client().GetProperty(kVtPropCaretVisible), 0);
}

TEST_F(TermClientTest, HostDataReachesTheScreenAndTheLog)
{
    const QString log = m_dir.filePath("session.log");
    m_form->m_askLogFile = [&] { return log; };
    m_form->mnuLogStartClick();
    ConnectToPeer();
    EXPECT_FALSE(m_form->mnuRemoteSystem->isEnabled());
    EXPECT_TRUE(m_form->mnuPaste->isEnabled());
    EXPECT_EQ(Client().GetProperty(kVtPropCaretVisible), 1);
    EXPECT_EQ(m_profile->GetString("TELNET", "Host", "", 100), "127.0.0.1");

    const std::string data = "\x1b[1;1Hhello\r\n\x1b[31mworld\x1b[0m";
    ASSERT_TRUE(m_peer.Send(data));
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(1) == "world"; }));
    EXPECT_EQ(ScreenRow(0), "hello");
    m_form->mnuLogStopClick();
    EXPECT_EQ(ReadFile(log.toStdString()), data) << "the log holds the raw bytes";
}

TEST_F(TermClientTest, EveryPrintableCharacterTypedReachesTheHost)
{
    ConnectToPeer();
    const std::string typed = "echo 'a b/c-d' | tr \"[a-z]\" _ ~ ; x=$((1+2*3)) {ok}? <in> `!@#%^&` \\ ,.=";
    QTest::keyClicks(Client().TerminalWindow(), QString::fromStdString(typed));
    EXPECT_EQ(m_peer.Read(typed.size()), typed);
}

TEST_F(TermClientTest, KeysGoToTheHostWithTheChosenOptions)
{
    ConnectToPeer();
    CVtWidget* terminal = Client().TerminalWindow();
    QTest::keyClicks(terminal, "ls");
    QTest::keyClick(terminal, Qt::Key_Return);
    EXPECT_EQ(m_peer.Read(3), "ls\r");

    m_form->m_runPrefs = [&] {
        m_form->Prefs().cbxCRLF->setChecked(true);
        m_form->Prefs().cbxEcho->setChecked(true);
        QTest::mouseClick(m_form->Prefs().btnOK, Qt::LeftButton);
    };
    m_form->mnuPreferencesClick();
    QTest::keyClicks(terminal, "x");
    QTest::keyClick(terminal, Qt::Key_Return);
    EXPECT_EQ(m_peer.Read(3), "x\r\n");
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(0) == "x"; })) << "local echo";

    // With the terminal's own new-line mode on as well, Enter sends CR LF LF.
    ASSERT_TRUE(m_peer.Send("\x1b[20h"));
    ASSERT_TRUE(RunUntil([&] { return Client().GetProperty(kVtPropNewLineMode) == 1; }));
    QTest::keyClick(terminal, Qt::Key_Return);
    EXPECT_EQ(m_peer.Read(3), "\r\n\n");
}

TEST_F(TermClientTest, AnswersToQueriesLeaveThroughTheConnectionEvenWithLocalEcho)
{
    ConnectToPeer();
    Client().m_localEcho = true;
    ASSERT_TRUE(m_peer.Send("\x1b[5n"));  // device status report
    EXPECT_EQ(m_peer.Read(5), "\x1b[?0n");
    ASSERT_TRUE(m_peer.Send("ok"));
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(0).find("ok") != std::string::npos; }));
}

TEST_F(TermClientTest, CopyPasteAndSelectAll)
{
    ConnectToPeer();
    ASSERT_TRUE(m_peer.Send("first line\r\nsecond"));
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(1) == "second"; }));
    QClipboard* clipboard = QApplication::clipboard();

    clipboard->setText("untouched");
    m_form->mnuCopyClick();
    EXPECT_EQ(clipboard->text(), "untouched") << "nothing selected, nothing copied";

    CVtWidget* terminal = Client().TerminalWindow();
    const int w = terminal->CellWidth();
    const int h = terminal->CellHeight();
    const int top = (100 - terminal->ScrollPosition()) * h;
    QTest::mousePress(terminal->viewport(), Qt::LeftButton, {}, QPoint(6 * w, top + h / 2));
    QTest::mouseMove(terminal->viewport(), QPoint(10 * w, top + h / 2));
    QTest::mouseRelease(terminal->viewport(), Qt::LeftButton, {}, QPoint(10 * w, top + h / 2));
    m_form->mnuCopyClick();
    EXPECT_EQ(clipboard->text(), "line");

    m_form->mnuSelectAllClick();
    m_form->mnuCopyClick();
    const QString all = clipboard->text();
    EXPECT_EQ(all.size(), (100 + 24) * 82);
    EXPECT_TRUE(all.mid(100 * 82).startsWith("first line"));

    clipboard->setText("pasted\rtext");
    m_form->mnuPasteClick();
    EXPECT_EQ(m_peer.Read(11), "pasted\rtext") << "sent as it is";
}

TEST_F(TermClientTest, PreferencesSetBufferRowsColoursAndEvents)
{
    m_form->Prefs().m_pickColor = [](const QColor&, const QString&) {
        return std::optional<QColor>(QColor(0x12, 0x34, 0x56));
    };
    m_form->m_runPrefs = [&] {
        TfrmPrefs& prefs = m_form->Prefs();
        EXPECT_EQ(prefs.edBufferRows->text(), "100");
        QTest::mouseClick(prefs.btnBackColor, Qt::LeftButton);
        prefs.edBufferRows->setText("abc");
        prefs.cbxSbEvents->setChecked(true);
        QTest::mouseClick(prefs.btnOK, Qt::LeftButton);
    };
    m_form->SetStatus(1, "old text");
    m_form->mnuPreferencesClick();
    EXPECT_EQ(Client().GetProperty(kVtPropBackgroundColour), 0x123456);
    EXPECT_EQ(Client().GetProperty(kVtPropScrollbackRows), 0) << "a text that is no number gives 0 rows";
    EXPECT_TRUE(Client().m_showEvents);
    QTest::keyClick(Client().TerminalWindow(), Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_EQ(m_form->Status(1), "KeyCode = 116  ShiftCode = 1  Extended = FALSE");
}

TEST_F(TermClientTest, HostClosingReturnsToNotConnected)
{
    ConnectToPeer();
    ASSERT_TRUE(m_peer.Send("bye"));
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(0) == "bye"; }));
    m_peer.Close();
    ASSERT_TRUE(RunUntil([&] { return m_form->Status(0) == "Not Connected"; }));
    EXPECT_TRUE(m_form->mnuRemoteSystem->isEnabled());
    EXPECT_FALSE(m_form->mnuDisconnect->isEnabled());
    EXPECT_EQ(Client().GetProperty(kVtPropCaretVisible), 0);
    EXPECT_EQ(ScreenRow(0), "") << "the terminal is cleared";
    // Keys typed while not connected are dropped quietly.
    QTest::keyClicks(Client().TerminalWindow(), "z");
}

TEST_F(TermClientTest, PrintScreenGoesToThePrintFileOfTheSettings)
{
    const QString pdf = m_dir.filePath("prints/screen.pdf");
    ASSERT_TRUE(m_profile->WriteString("TELNET", "PrintFile", pdf.toStdString()));
    m_form = std::make_unique<TfrmMain>(*m_profile, nullptr);
    Client().PrintSink().SetUsePrinter(false);
    Client().ReceiveData("printed", 7);
    QTest::keyClick(Client().TerminalWindow(), Qt::Key_F2);
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("%PDF"));
}

TEST_F(TermClientTest, ClosingTheMainWindowEndsTheProgramAndItsConnection)
{
    ConnectToPeer();
    EXPECT_TRUE(ClosingEndsTheRun(*m_form));
    m_form.reset();  // what the program's end does
    EXPECT_TRUE(m_peer.WaitClosed());
}

TEST_F(TermClientTest, RefusedConnectionIsReported)
{
    m_form->ConnectTo("127.0.0.1", UnusedLoopbackPort());
    ASSERT_TRUE(RunUntil([&] { return m_form->Status(1).startsWith("EXCEPTION: "); }));
    EXPECT_EQ(m_form->Status(0), "Not Connected");
}

}  // namespace
