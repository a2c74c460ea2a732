#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "apps/common/Profile.h"
#include "apps/termclient/MainForm.h"
#include "apps/termclient/Prefs.h"
#include "apps/termclient/Settings.h"
#include "telnet/TelnetCodes.h"
#include "tests/support/Files.h"
#include "tests/support/FormFit.h"
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
        // The classic 8-bit terminal unless a test asks for UTF-8, whatever the locale.
        m_form = std::make_unique<TfrmMain>(*m_profile, nullptr, nullptr, Utf8());
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    }

    virtual bool Utf8() const { return false; }

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

    // Drags the mouse over screen row `row` from column `first` to column `end`.
    void SelectOnScreen(int row, int first, int end)
    {
        CVtWidget* terminal = Client().TerminalWindow();
        const int w = terminal->CellWidth();
        const int h = terminal->CellHeight();
        const int y = (static_cast<int>(Client().GetProperty(kVtPropScrollbackRows)) + row -
                       terminal->ScrollPosition()) *
                          h +
                      h / 2;
        QTest::mousePress(terminal->viewport(), Qt::LeftButton, {}, QPoint(first * w, y));
        QTest::mouseMove(terminal->viewport(), QPoint(end * w, y));
        QTest::mouseRelease(terminal->viewport(), Qt::LeftButton, {}, QPoint(end * w, y));
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
    EXPECT_FALSE(m_form->mnuPaste->isEnabled());
    EXPECT_TRUE(m_form->mnuCopy->isEnabled()) << "the screen can be copied when no host is connected";
    EXPECT_FALSE(m_form->mnuLogStop->isEnabled()) << "no log runs";
    EXPECT_EQ(Client().GetProperty(kVtPropScrollbackRows), 1000);
    EXPECT_EQ(Client().GetProperty(kVtPropEnabled), 1);
    EXPECT_EQ(Client().GetProperty(kVtPropCaretVisible), 0);
    // The window holds 80 x 24 at the font's size; keys go by their labels.
    EXPECT_EQ(Client().GetProperty(kVtPropColumns), 80);
    EXPECT_EQ(Client().GetProperty(kVtPropRows), 24);
    EXPECT_EQ(Client().KeyLayout(), kKeyLayoutLabels);
    EXPECT_EQ(Client().GetProperty(kVtPropBackspaceSendsBs), 0);
    EXPECT_TRUE(Client().AltSendsEscape());
    EXPECT_EQ(m_form->mnuCopy->shortcut(), QKeySequence("Ctrl+Shift+C"));
    EXPECT_EQ(m_form->mnuPaste->shortcut(), QKeySequence("Ctrl+Shift+V"));
}

TEST_F(TermClientTest, HostDataReachesTheScreenAndTheLog)
{
    const QString log = m_dir.filePath("session.log");
    m_form->m_askLogFile = [&] { return log; };
    m_form->mnuLogStartClick();
    EXPECT_TRUE(m_form->mnuLogStop->isEnabled());
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
    EXPECT_FALSE(m_form->mnuLogStop->isEnabled());
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

    SelectOnScreen(0, 6, 10);
    m_form->mnuCopyClick();
    EXPECT_EQ(clipboard->text(), "line");

    m_form->mnuSelectAllClick();
    m_form->mnuCopyClick();
    const QString all = clipboard->text();
    const int history = static_cast<int>(Client().GetProperty(kVtPropScrollbackRows));
    EXPECT_EQ(all.size(), (history + 24) * 82);
    EXPECT_TRUE(all.mid(history * 82).startsWith("first line"));

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
        EXPECT_EQ(prefs.edBufferRows->text(), "1000");
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
    EXPECT_EQ(ScreenRow(0), "bye") << "the screen stays to be read";
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
    QTest::keyClick(Client().TerminalWindow(), Qt::Key_Print);
    ASSERT_TRUE(Client().PrintSink().WaitIdle(std::chrono::seconds(60)));
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("%PDF"));
}

TEST_F(TermClientTest, EveryCaptionAndFieldIsWholeAtTheMinimumSize)
{
    for (QWidget* form : {static_cast<QWidget*>(m_form.get()), static_cast<QWidget*>(&m_form->Settings()),
                          static_cast<QWidget*>(&m_form->Prefs())})
        EXPECT_THAT(TextsCutAtMinimumSize(*form), testing::IsEmpty()) << form->objectName().toStdString();
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

TEST_F(TermClientTest, RemoteSystemKeepsHostAndPort)
{
    ConnectToPeer();
    const QString port = QString::number(m_peer.Port());
    EXPECT_EQ(m_profile->GetString("TELNET", "Port", "", 16), port.toStdString());
    m_form->mnuDisconnectClick();
    ASSERT_TRUE(RunUntil([&] { return m_form->mnuRemoteSystem->isEnabled(); }));
    QString shownHost;
    QString shownPort;
    m_form->m_runSettings = [&] {
        shownHost = m_form->Settings().edHost->text();
        shownPort = m_form->Settings().cboPort->currentText();
        return false;
    };
    m_form->mnuRemoteSystemClick();
    EXPECT_EQ(shownHost, "127.0.0.1");
    EXPECT_EQ(shownPort, port);
    // A new run starts where the last one left off; a well-known port shows by its name.
    m_form = std::make_unique<TfrmMain>(*m_profile, nullptr, nullptr, false);
    m_form->m_runSettings = [&] {
        shownPort = m_form->Settings().cboPort->currentText();
        return false;
    };
    m_form->mnuRemoteSystemClick();
    EXPECT_EQ(shownPort, port);
    m_form->Settings().SetPort(23);
    EXPECT_EQ(m_form->Settings().cboPort->currentText(), "telnet");
}

// IAC SB NAWS with the terminal's size.
std::string WindowSize(const CTelnetClient& client)
{
    const auto columns = static_cast<int>(client.GetProperty(kVtPropColumns));
    const auto rows = static_cast<int>(client.GetProperty(kVtPropRows));
    const char bytes[] = {'\xff',
                          '\xfa',
                          kTelnetOptNaws,
                          static_cast<char>(columns >> 8),
                          static_cast<char>(columns & 0xff),
                          static_cast<char>(rows >> 8),
                          static_cast<char>(rows & 0xff),
                          '\xff',
                          '\xf0'};
    return std::string(bytes, sizeof bytes);
}

TEST_F(TermClientTest, TheTerminalFollowsItsWindowAndTellsTheServer)
{
    ConnectToPeer();
    ASSERT_TRUE(m_peer.Send(std::string("\xff\xfd\x1f", 3)));  // DO NAWS
    EXPECT_EQ(m_peer.Read(12), std::string("\xff\xfb\x1f", 3) + WindowSize(Client()));
    EXPECT_EQ(WindowSize(Client()), std::string("\xff\xfa\x1f\x00\x50\x00\x18\xff\xf0", 9));

    // A larger window: more columns and rows, the text where it was.
    ASSERT_TRUE(m_peer.Send("top-left"));
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(0) == "top-left"; }));
    m_form->resize(m_form->size() + QSize(20 * Client().TerminalWindow()->CellWidth(),
                                          5 * Client().TerminalWindow()->CellHeight()));
    ASSERT_TRUE(RunUntil([&] { return Client().GetProperty(kVtPropColumns) == 100; }));
    EXPECT_EQ(Client().GetProperty(kVtPropRows), 29);
    EXPECT_EQ(ScreenRow(0), "top-left");
    EXPECT_EQ(m_peer.Read(9), WindowSize(Client()));

    // A larger font in the same window: fewer cells, and the server hears of it.
    QTest::keyClick(Client().TerminalWindow(), Qt::Key_Equal, Qt::ControlModifier);
    ASSERT_TRUE(RunUntil([&] { return Client().GetProperty(kVtPropColumns) < 100; }));
    EXPECT_LT(Client().GetProperty(kVtPropRows), 29);
    EXPECT_EQ(m_peer.Read(9), WindowSize(Client()));
    QTest::keyClick(Client().TerminalWindow(), Qt::Key_0, Qt::ControlModifier);
    ASSERT_TRUE(RunUntil([&] { return Client().GetProperty(kVtPropColumns) == 100; }));
    EXPECT_EQ(m_peer.Read(9), WindowSize(Client()));

    // Once the server says DONT, it hears no more sizes.
    ASSERT_TRUE(m_peer.Send(std::string("\xff\xfe\x1f", 3)));
    EXPECT_EQ(m_peer.Read(3), std::string("\xff\xfc\x1f", 3));
    m_form->resize(m_form->size() - QSize(10 * Client().TerminalWindow()->CellWidth(), 0));
    ASSERT_TRUE(RunUntil([&] { return Client().GetProperty(kVtPropColumns) == 90; }));
    QTest::keyClicks(Client().TerminalWindow(), "z");
    EXPECT_EQ(m_peer.Read(1), "z");
}

TEST_F(TermClientTest, TheHostSetsTheWindowTitle)
{
    ConnectToPeer();
    ASSERT_TRUE(m_peer.Send("\x1b]0;build: 3 jobs\x07"
                            "after"));
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(0) == "after"; }));
    EXPECT_EQ(m_form->windowTitle(), "build: 3 jobs");
    ASSERT_TRUE(m_peer.Send("\x1b]2;\x1b\\"));
    ASSERT_TRUE(RunUntil([&] { return m_form->windowTitle() == "VoltTCP Telnet - Vt320 Sample"; }))
        << "an empty title gives the program's caption back";
}

TEST_F(TermClientTest, ClipboardKeysAndTheMiddleButtonNeverReachTheHostAsKeys)
{
    ConnectToPeer();
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    CVtWidget* terminal = Client().TerminalWindow();
    terminal->setFocus();
    ASSERT_TRUE(m_peer.Send("copy me"));
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(0) == "copy me"; }));
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->setText("before");

    SelectOnScreen(0, 0, 4);
    QTest::keyClick(terminal, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(clipboard->text(), "copy");
    clipboard->setText("from the clipboard");
    QTest::keyClick(terminal, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(m_peer.Read(18), "from the clipboard");

    // The primary selection where the desktop has one, else the clipboard.
    const QClipboard::Mode primary =
        clipboard->supportsSelection() ? QClipboard::Selection : QClipboard::Clipboard;
    clipboard->setText("primary", primary);
    QTest::mouseClick(terminal->viewport(), Qt::MiddleButton, {}, QPoint(5, 5));
    EXPECT_EQ(m_peer.Read(7), "primary");
    QTest::keyClick(terminal, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(m_peer.Read(7), "primary");

    // With Copy unavailable the keys still send nothing: Ctrl+Shift+C is no interrupt.
    m_form->mnuCopy->setEnabled(false);
    QTest::keyClick(terminal, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClicks(terminal, "q");
    EXPECT_EQ(m_peer.Read(1), "q");
}

TEST_F(TermClientTest, ShiftPageUpShowsTheHistoryAndADisconnectKeepsIt)
{
    ConnectToPeer();
    std::string lines;
    for (int i = 1; i <= 60; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(m_peer.Send(lines));
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(22) == "line 60"; }));
    CVtWidget* terminal = Client().TerminalWindow();
    const int bottom = terminal->ScrollPosition();
    QTest::keyClick(terminal, Qt::Key_PageUp, Qt::ShiftModifier);
    EXPECT_EQ(terminal->ScrollPosition(), bottom - terminal->VisibleRows());
    QTest::keyClick(terminal, Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(terminal->ScrollPosition(), bottom);
    EXPECT_EQ(m_peer.Drain(std::chrono::milliseconds(100)), "") << "nothing went to the host";

    m_peer.Close();
    ASSERT_TRUE(RunUntil([&] { return m_form->Status(0) == "Not Connected"; }));
    EXPECT_EQ(ScreenRow(22), "line 60");
    const VtCell* oldest =
        Client().Emulator().Screen().LineAt(Client().Emulator().Screen().ScrollbackRows() - 37);
    ASSERT_NE(oldest, nullptr);
    EXPECT_EQ(CVtScreen::CellText(oldest[5]), '1') << "line 1 is still in the history";
}

TEST_F(TermClientTest, PreferencesChooseEncodingAndKeysKeepThemAndCancelTakesColoursBack)
{
    const VtValue background = Client().GetProperty(kVtPropBackgroundColour);
    m_form->Prefs().m_pickColor = [](const QColor&, const QString&) {
        return std::optional<QColor>(QColor(0x12, 0x34, 0x56));
    };
    m_form->m_runPrefs = [&] {
        QTest::mouseClick(m_form->Prefs().btnBackColor, Qt::LeftButton);
        EXPECT_EQ(Client().GetProperty(kVtPropBackgroundColour), 0x123456) << "seen at once";
        QTest::mouseClick(m_form->Prefs().btnCancel, Qt::LeftButton);
    };
    m_form->mnuPreferencesClick();
    EXPECT_EQ(Client().GetProperty(kVtPropBackgroundColour), background);

    m_form->m_runPrefs = [&] {
        TfrmPrefs& prefs = m_form->Prefs();
        EXPECT_EQ(prefs.cboEncoding->currentText(), "8-bit (VT320)");
        prefs.cboEncoding->setCurrentIndex(0);
        prefs.cboKeyLayout->setCurrentIndex(1);
        prefs.cbxBackspaceDel->setChecked(false);
        prefs.cbxAltEscape->setChecked(false);
        EXPECT_EQ(prefs.edBufferRows->text(), "1000");
        prefs.edBufferRows->setText("250");
        QTest::mouseClick(prefs.btnOK, Qt::LeftButton);
    };
    m_form->mnuPreferencesClick();
    EXPECT_EQ(Client().GetProperty(kVtPropUtf8), 1);
    EXPECT_EQ(Client().KeyLayout(), kKeyLayoutDec);
    EXPECT_EQ(Client().GetProperty(kVtPropBackspaceSendsBs), 1);
    EXPECT_FALSE(Client().AltSendsEscape());

    // The next run starts with them; a command line's encoding wins for its run.
    m_form = std::make_unique<TfrmMain>(*m_profile, nullptr);
    EXPECT_EQ(Client().GetProperty(kVtPropUtf8), 1);
    EXPECT_EQ(Client().KeyLayout(), kKeyLayoutDec);
    EXPECT_EQ(Client().GetProperty(kVtPropBackspaceSendsBs), 1);
    EXPECT_FALSE(Client().AltSendsEscape());
    EXPECT_EQ(Client().GetProperty(kVtPropScrollbackRows), 250);
    m_form = std::make_unique<TfrmMain>(*m_profile, nullptr, nullptr, false);
    EXPECT_EQ(Client().GetProperty(kVtPropUtf8), 0);
    // A history length the dialog would not take is the default.
    for (const char* stored : {"-5", "lots", "100000"}) {
        m_profile->WriteString("TELNET", "BufferRows", stored);
        m_form = std::make_unique<TfrmMain>(*m_profile, nullptr);
        EXPECT_EQ(Client().GetProperty(kVtPropScrollbackRows), CTelnetClient::kScrollbackRows) << stored;
    }
}

TEST_F(TermClientTest, HostPrintLimitIsAPreferenceKeptInTheSettings)
{
    const auto limit = [&] { return Client().Emulator().Printer().JobLimit(); };
    EXPECT_EQ(limit(), CVtPrinter::kDefaultJobLimit);
    m_form->m_runPrefs = [&] {
        EXPECT_EQ(m_form->Prefs().spnPrintLimit->value(), 10);
        m_form->Prefs().spnPrintLimit->setValue(3);
        QTest::mouseClick(m_form->Prefs().btnOK, Qt::LeftButton);
    };
    m_form->mnuPreferencesClick();
    EXPECT_EQ(limit(), 3u * 1024 * 1024);
    EXPECT_EQ(m_profile->GetString("TELNET", "PrintJobLimit", "", 16), "3");

    m_form = std::make_unique<TfrmMain>(*m_profile, nullptr);
    EXPECT_EQ(limit(), 3u * 1024 * 1024);
    m_form->m_runPrefs = [&] {
        EXPECT_EQ(m_form->Prefs().spnPrintLimit->value(), 3);
        QTest::mouseClick(m_form->Prefs().btnCancel, Qt::LeftButton);
    };
    m_form->mnuPreferencesClick();
    // What the dialog would not take is the default.
    for (const char* stored : {"0", "-2", "lots", "1025"}) {
        m_profile->WriteString("TELNET", "PrintJobLimit", stored);
        m_form = std::make_unique<TfrmMain>(*m_profile, nullptr);
        EXPECT_EQ(limit(), CVtPrinter::kDefaultJobLimit) << stored;
    }
}

TEST(TermClientLocale, UTF8LocalesGiveUtf8)
{
    const char* saved = std::getenv("LC_ALL");
    const std::string before = saved != nullptr ? saved : "";
    const struct {
        const char* locale;
        bool utf8;
    } cases[] = {{"C.UTF-8", true},     {"C", false},         {"POSIX", false},
                 {"xx_YY.UTF-8", true}, {"xx_YY.utf8", true}, {"xx_YY.ISO-8859-1", false}};
    for (const auto& c : cases) {
        setenv("LC_ALL", c.locale, 1);
        EXPECT_EQ(TfrmMain::LocaleIsUtf8(), c.utf8) << c.locale;
    }
    if (saved != nullptr)
        setenv("LC_ALL", before.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

class TermClientUtf8Test : public TermClientTest {
protected:
    bool Utf8() const override { return true; }

    std::string Utf8Row(int row)
    {
        const std::string text = Client().Emulator().Screen().RowUtf8(row);
        return text.substr(0, text.find_last_not_of(' ') + 1);
    }
};

TEST_F(TermClientUtf8Test, TextGoesBothWaysInUtf8AndTheLogKeepsTheBytes)
{
    const QString log = m_dir.filePath("session.log");
    m_form->m_askLogFile = [&] { return log; };
    m_form->mnuLogStartClick();
    ConnectToPeer();
    const std::string text =
        "caf\xc3\xa9 \xe2\x9c\x93 \xe4\xb8\xad\xe6\x96\x87 \xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82";
    ASSERT_TRUE(m_peer.Send(text.substr(0, 4)));
    ASSERT_TRUE(m_peer.Send(text.substr(4)));
    ASSERT_TRUE(RunUntil([&] { return Utf8Row(0) == text; })) << Utf8Row(0);
    EXPECT_EQ(m_peer.Drain(std::chrono::milliseconds(50)), "") << "no answer came out of the text";

    // Keys that type text beyond ASCII (a keyboard layout's letters, an input method).
    for (const char* typed : {"\xc3\xa9", "\xe2\x82\xac"}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8(typed));
        QApplication::sendEvent(Client().TerminalWindow(), &press);
    }
    EXPECT_EQ(m_peer.Read(5), "\xc3\xa9\xe2\x82\xac");

    SelectOnScreen(0, 5, 11);
    m_form->mnuCopyClick();
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("\xe2\x9c\x93 \xe4\xb8\xad\xe6\x96\x87"));
    QApplication::clipboard()->setText(QString::fromUtf8("\xe2\x9c\x93"));
    m_form->mnuPasteClick();
    EXPECT_EQ(m_peer.Read(3), "\xe2\x9c\x93");

    m_form->mnuLogStopClick();
    EXPECT_EQ(ReadFile(log.toStdString()), text);
}

TEST(TermClientProgram, CommandLine)
{
    const struct {
        const char* arguments;
        int exitCode;
        const char* said;
    } cases[] = {
        {"--help", 0, "--encoding utf-8|8bit"},
        {"--encoding latin1", 2, "--encoding takes utf-8 or 8bit, not 'latin1'"},
        {"--encoding", 2, "--encoding needs a value"},
        {"--bogus", 2, "unknown option '--bogus'"},
        {"host 23 extra", 2, "unexpected argument 'extra'"},
    };
    for (const auto& c : cases) {
        const std::string command =
            std::string("timeout 20 " TERMCLIENT_PATH " -platform offscreen ") + c.arguments + " 2>&1";
        std::string output;
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        const int status = pclose(pipe);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.exitCode) << c.arguments << "\n" << output;
        EXPECT_NE(output.find(c.said), std::string::npos) << c.arguments << "\n" << output;
    }
}

TEST_F(TermClientTest, HostColumnModeStaysUntilTheWindowChanges)
{
    ConnectToPeer();
    ASSERT_TRUE(m_peer.Send("\x1b[?3h"));
    ASSERT_TRUE(RunUntil([&] { return Client().GetProperty(kVtPropColumns) == 132; }));
    RunFor(std::chrono::milliseconds(300));
    EXPECT_EQ(Client().GetProperty(kVtPropColumns), 132);
    EXPECT_EQ(Client().GetProperty(kVtPropRows), 24);
}

}  // namespace
