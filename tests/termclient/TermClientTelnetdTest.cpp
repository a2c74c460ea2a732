// The terminal program against the system's own Telnet server and login on 127.0.0.1, and
// vttest run through it. The server is tests/peers/telnetd.sh: a private inetd on a port of
// its own, a test account with a fresh password. Needs root and the test peers' packages.

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include "apps/common/Profile.h"
#include "apps/termclient/MainForm.h"
#include "apps/termclient/Prefs.h"
#include "telnet/TelnetCodes.h"
#include "tests/support/Files.h"
#include "tests/support/Loopback.h"
#include "tests/support/PeerServer.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"

namespace {

using namespace std::chrono_literals;

constexpr const char* kScript = VOLTTCP_SOURCE_DIR "/tests/peers/telnetd.sh";
constexpr const char* kAccount = CPeerServer::kAccount;

bool Executable(const char* path)
{
    return access(path, X_OK) == 0;
}

// A transparent relay between the client and the server that keeps every byte each side
// sent: the record that the log and the negotiation are checked against.
class CWireTap final {
public:
    explicit CWireTap(unsigned short serverPort) : m_serverPort(serverPort)
    {
        m_listener = BindLoopback(SOCK_STREAM | SOCK_NONBLOCK);
        listen(m_listener, 1);
        m_accept = std::make_unique<QSocketNotifier>(m_listener, QSocketNotifier::Read);
        QObject::connect(m_accept.get(), &QSocketNotifier::activated, [this] { Accept(); });
    }

    ~CWireTap()
    {
        m_pipes[0].reset();
        m_pipes[1].reset();
        m_accept.reset();
        for (int fd : {m_client, m_server, m_listener})
            if (fd >= 0)
                close(fd);
    }

    unsigned short Port() const { return LocalPort(m_listener); }
    const std::string& FromServer() const { return m_fromServer; }
    const std::string& FromClient() const { return m_fromClient; }

private:
    // One direction: what arrives on `from` leaves on `to`, in order; its end is passed on.
    struct SPipe {
        int from;
        int to;
        std::string* record;
        std::string pending;
        bool ended = false;
        std::unique_ptr<QSocketNotifier> readable;
        std::unique_ptr<QSocketNotifier> writable;

        void Read()
        {
            char buffer[65536];
            for (;;) {
                const ssize_t n = recv(from, buffer, sizeof buffer, 0);
                if (n > 0) {
                    record->append(buffer, static_cast<size_t>(n));
                    pending.append(buffer, static_cast<size_t>(n));
                    continue;
                }
                if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                    ended = true;
                    readable->setEnabled(false);
                }
                break;
            }
            Flush();
        }

        void Flush()
        {
            while (!pending.empty()) {
                const ssize_t n = send(to, pending.data(), pending.size(), MSG_NOSIGNAL);
                if (n > 0) {
                    pending.erase(0, static_cast<size_t>(n));
                    continue;
                }
                // Still connecting, or full: wait to be writable. Gone: nothing more to pass.
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ENOTCONN) {
                    pending.clear();
                    ended = true;
                    readable->setEnabled(false);
                }
                break;
            }
            writable->setEnabled(!pending.empty());
            if (pending.empty() && ended)
                shutdown(to, SHUT_WR);
        }
    };

    void Accept()
    {
        const int client = accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0 || m_client >= 0) {
            if (client >= 0)
                close(client);
            return;
        }
        m_client = client;
        m_server = ConnectLoopback(m_serverPort);
        m_pipes[0] = MakePipe(m_client, m_server, &m_fromClient);
        m_pipes[1] = MakePipe(m_server, m_client, &m_fromServer);
        // Bytes the client sends before the connection to the server is up wait in pending.
        m_pipes[0]->writable->setEnabled(true);
    }

    static std::unique_ptr<SPipe> MakePipe(int from, int to, std::string* record)
    {
        auto pipe = std::make_unique<SPipe>();
        pipe->from = from;
        pipe->to = to;
        pipe->record = record;
        pipe->readable = std::make_unique<QSocketNotifier>(from, QSocketNotifier::Read);
        pipe->writable = std::make_unique<QSocketNotifier>(to, QSocketNotifier::Write);
        pipe->writable->setEnabled(false);
        SPipe* raw = pipe.get();
        QObject::connect(raw->readable.get(), &QSocketNotifier::activated, [raw] { raw->Read(); });
        QObject::connect(raw->writable.get(), &QSocketNotifier::activated, [raw] { raw->Flush(); });
        return pipe;
    }

    unsigned short m_serverPort;
    int m_listener = -1;
    std::unique_ptr<QSocketNotifier> m_accept;
    int m_client = -1;
    int m_server = -1;
    std::unique_ptr<SPipe> m_pipes[2];
    std::string m_fromServer;
    std::string m_fromClient;
};

// The data a Telnet receiver keeps from a stream (RFC 854): commands and subnegotiations
// removed, a doubled IAC as one 0xFF, the NUL that pads a bare CR dropped.
std::string TelnetData(const std::string& wire)
{
    enum { kData, kCommand, kOption, kSub, kSubIac } state = kData;
    std::string data;
    bool afterCr = false;
    for (const char ch : wire) {
        const auto byte = static_cast<uint8_t>(ch);
        switch (state) {
        case kData:
            if (byte == kTelnetIac) {
                state = kCommand;
            } else if (!(afterCr && byte == 0)) {
                data += ch;
            }
            afterCr = byte == '\r';
            break;
        case kCommand:
            afterCr = false;
            if (byte == kTelnetIac) {
                data += ch;
                state = kData;
            } else if (byte == kTelnetSb) {
                state = kSub;
            } else if (IsTelnetNegotiation(byte)) {
                state = kOption;
            } else {
                state = kData;
            }
            break;
        case kOption: state = kData; break;
        case kSub: state = byte == kTelnetIac ? kSubIac : kSub; break;
        case kSubIac: state = byte == kTelnetSe ? kData : kSub; break;
        }
    }
    return data;
}

class TermClientTelnetdTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (geteuid() != 0 || !Executable("/usr/sbin/telnetd") || !Executable("/usr/sbin/inetd"))
            return;
        EnsureQtTestApp("VoltTCP Telnet - Vt320 Sample");
        s_server = new CPeerServer(kScript);
        s_startError = s_server->Start(1);
    }

    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    void SetUp() override
    {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: it creates the account " << kAccount
                         << " and starts a login service";
        if (!Executable("/usr/sbin/telnetd") || !Executable("/usr/sbin/inetd"))
            GTEST_SKIP()
                << "inetutils-telnetd and openbsd-inetd are not installed (./volttcp test installs them)";
        // A chroot without its own /dev/pts has no pseudo-terminals, and telnetd needs one per login.
        struct stat ptmx {};
        if (stat("/dev/pts/ptmx", &ptmx) != 0 || !S_ISCHR(ptmx.st_mode))
            GTEST_SKIP()
                << "no pseudo-terminals here (/dev/pts is not mounted), so telnetd cannot log anyone in";
        ASSERT_NE(s_server, nullptr);
        ASSERT_EQ(s_startError, "") << "the Telnet server did not start";
        ASSERT_TRUE(m_dir.isValid());
        m_profile = std::make_unique<CProfile>(m_dir.filePath("VOLTTCP.INI").toStdString());
        // The classic 8-bit terminal unless a test switches to UTF-8.
        m_form = std::make_unique<TfrmMain>(*m_profile, nullptr, nullptr, false);
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
        m_tap = std::make_unique<CWireTap>(s_server->Port(0));
    }

    void TearDown() override
    {
        m_form.reset();  // closes the connection: the server's session ends with it
        m_tap.reset();
    }

    CTelnetClient& Client() { return m_form->Client(); }
    CVtWidget* Terminal() { return Client().TerminalWindow(); }

    // A row as its characters: bytes in 8-bit mode, UTF-8 in UTF-8 mode.
    std::string ScreenRow(int row)
    {
        std::string line;
        if (Client().GetProperty(kVtPropUtf8) != 0) {
            line = Client().Emulator().Screen().RowUtf8(row);
        } else {
            char text[kMaxColumns + 1] = {};
            line.assign(text, static_cast<size_t>(Client().Emulator().Screen().RowText(row, text)));
        }
        return line.substr(0, line.find_last_not_of(' ') + 1);
    }

    std::vector<std::string> Screen()
    {
        std::vector<std::string> rows;
        for (int row = 0; row < Client().Emulator().Screen().Rows(); ++row)
            rows.push_back(ScreenRow(row));
        return rows;
    }

    std::string Dump()
    {
        std::string text =
            "\nscreen (" + std::to_string(Client().GetProperty(kVtPropColumns)) + " columns):\n";
        for (const std::string& row : Screen())
            text += "|" + row + "\n";
        return text;
    }

    int CursorRow() { return static_cast<int>(Client().GetProperty(kVtPropCursorRow)) - 1; }
    std::string CursorLine() { return ScreenRow(CursorRow()); }

    void Type(const std::string& text)
    {
        // QTest types ASCII only; other letters come as a keyboard layout or input method sends them.
        for (const QChar c : QString::fromStdString(text)) {
            if (c.unicode() < 0x80) {
                QTest::keyClicks(Terminal(), QString(c));
                continue;
            }
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(Terminal(), &press);
        }
    }

    void Enter() { QTest::keyClick(Terminal(), Qt::Key_Return); }

    void Connect()
    {
        m_form->ConnectTo("127.0.0.1", m_tap->Port());
        ASSERT_TRUE(RunUntil([&] { return m_form->Status(0) == "Connected to 127.0.0.1"; }, 10s))
            << m_form->Status(0).toStdString() << " " << m_form->Status(1).toStdString();
    }

    // Through the prompts of the system's login to the shell's prompt; with a typo, the
    // name is first typed with a letter too many, which Backspace takes back.
    void LogIn(bool typo = false)
    {
        ASSERT_NO_FATAL_FAILURE(Connect());
        // Each prompt flushes the input when it takes the terminal, so an answer that
        // arrives in between is lost: after an answer, a screen that stays still for a
        // while gets the same answer again.
        std::string answered;
        std::vector<std::string> seen;
        auto changedAt = std::chrono::steady_clock::now();
        bool changedSinceAnswer = true;
        int answers = 0;
        const auto answer = [&](const std::string& prompt) {
            if (prompt == "login" && typo) {
                Type(std::string(kAccount) + "x");
                QTest::keyClick(Terminal(), Qt::Key_Backspace);
            } else {
                Type(prompt == "login" ? kAccount : s_server->Password());
            }
            Enter();
            answered = prompt;
            changedSinceAnswer = false;
            changedAt = std::chrono::steady_clock::now();
            ++answers;
        };
        const bool in = RunUntil(
            [&] {
                const std::vector<std::string> rows = Screen();
                if (rows != seen) {
                    seen = rows;
                    changedAt = std::chrono::steady_clock::now();
                    changedSinceAnswer = true;
                }
                const std::string line = CursorLine();
                if (line == "$" && Client().GetProperty(kVtPropCursorColumn) == 3)
                    return true;
                if (changedSinceAnswer && line.ends_with("login:"))
                    answer("login");
                else if (changedSinceAnswer && line == "Password:")
                    answer("password");
                else if (!answered.empty() && std::chrono::steady_clock::now() - changedAt > 4s)
                    answer(answered);
                return false;
            },
            45s);
        ASSERT_TRUE(in) << answers << " answers" << Dump() << s_server->Log();
        ASSERT_LE(answers, 3) << "the login took answers again" << Dump();
    }

    void WaitForPrompt(std::chrono::milliseconds timeout = 10s)
    {
        ASSERT_TRUE(RunUntil(
            [&] { return CursorLine() == "$" && Client().GetProperty(kVtPropCursorColumn) == 3; }, timeout))
            << Dump();
    }

    // Types a command line, waits for the host's echo of it, and runs it on a cleared
    // screen; empty when its output and the next prompt then fill the top rows as expected.
    std::string Run(const std::string& command, std::vector<std::string> output)
    {
        const std::string line = "printf '\\033[H\\033[J'; " + command;
        Type(line);
        if (!RunUntil([&] { return CursorLine() == "$ " + line; }, 10s))
            return "the command line reads |" + CursorLine() + "|" + Dump();
        Enter();
        output.push_back("$");
        const bool done = RunUntil(
            [&] {
                const std::vector<std::string> rows = Screen();
                return std::equal(output.begin(), output.end(), rows.begin()) &&
                       CursorRow() == static_cast<int>(output.size()) - 1;
            },
            10s);
        return done ? std::string() : "unexpected output" + Dump();
    }

    void WaitForScreen(const std::vector<std::string>& expected, const char* what)
    {
        const bool same = RunUntil([&] { return Screen() == expected; }, 15s);
        if (same)
            return;
        const std::vector<std::string> actual = Screen();
        std::string differences;
        for (size_t row = 0; row < expected.size(); ++row) {
            const std::string got = row < actual.size() ? actual[row] : "<missing>";
            if (got != expected[row])
                differences += "row " + std::to_string(row + 1) + "\n  expected |" + expected[row] +
                               "|\n  actual   |" + got + "|\n";
        }
        FAIL() << what << " differs:\n" << differences << Dump();
    }

    static inline CPeerServer* s_server = nullptr;
    static inline std::string s_startError;
    QTemporaryDir m_dir;
    std::unique_ptr<CProfile> m_profile;
    std::unique_ptr<TfrmMain> m_form;
    std::unique_ptr<CWireTap> m_tap;
};

TEST_F(TermClientTelnetdTest, LogsInRunsCommandsLogsAndEndsWithTheHost)
{
    const QString log = m_dir.filePath("session.log");
    m_form->m_askLogFile = [&] { return log; };
    m_form->mnuLogStartClick();
    ASSERT_NO_FATAL_FAILURE(LogIn());

    // The server's side of the negotiation: the pseudo-terminal got the type and the size.
    // Without local echo the command line shows once, as the host echoes it.
    ASSERT_EQ(Run("echo \"T=$TERM\"; stty size; id -un", {"T=vt320", "24 80", kAccount}), "");
    const char ttype[] = "\xff\xfa\x18\x00vt320\xff\xf0";
    const char naws[] = "\xff\xfa\x1f\x00\x50\x00\x18\xff\xf0";
    EXPECT_NE(m_tap->FromClient().find(std::string(ttype, sizeof ttype - 1)), std::string::npos);
    EXPECT_NE(m_tap->FromClient().find(std::string(naws, sizeof naws - 1)), std::string::npos)
        << QByteArray::fromStdString(m_tap->FromClient()).toHex(' ').toStdString();
    // Enter sends a bare CR.
    const size_t enter = m_tap->FromClient().find("id -un\r");
    ASSERT_NE(enter, std::string::npos);
    EXPECT_NE(m_tap->FromClient()[enter + 7], '\n');

    Type("exit");
    Enter();
    ASSERT_TRUE(RunUntil([&] { return m_form->Status(0) == "Not Connected"; }, 15s)) << Dump();
    EXPECT_TRUE(m_form->mnuRemoteSystem->isEnabled());
    EXPECT_FALSE(m_form->mnuDisconnect->isEnabled());

    m_form->mnuLogStopClick();
    const std::string logged = ReadFile(log.toStdString());
    EXPECT_NE(logged.find("T=vt320\r\n24 80\r\n"), std::string::npos);
    EXPECT_NE(logged.find("Password:"), std::string::npos);
    EXPECT_EQ(logged, TelnetData(m_tap->FromServer()))
        << "the log holds every data byte that arrived, in order";
}

TEST_F(TermClientTelnetdTest, CrLfAndLocalEchoWithTheHostsEcho)
{
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_EQ(Run("true", {}), "");

    m_form->m_runPrefs = [&] {
        m_form->Prefs().cbxCRLF->setChecked(true);
        m_form->Prefs().cbxEcho->setChecked(true);
        QTest::mouseClick(m_form->Prefs().btnOK, Qt::LeftButton);
    };
    m_form->mnuPreferencesClick();
    ASSERT_TRUE(Client().m_localEcho);

    // The local echo shows the keys at once, the host's echo follows: everything twice.
    Type("echo A1");
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(0) == "$ echo A1echo A1"; }, 10s)) << Dump();
    Enter();
    // The host takes CR LF as one end of line: one command, one new prompt, no empty one.
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(2) == "$"; }, 10s)) << Dump();
    Type("echo B2");
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(2) == "$ echo B2echo B2"; }, 10s)) << Dump();
    Enter();
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(4) == "$"; }, 10s)) << Dump();
    RunFor(300ms);
    const std::vector<std::string> expected = {"$ echo A1echo A1", "A1", "$ echo B2echo B2", "B2", "$", ""};
    const std::vector<std::string> screen = Screen();
    EXPECT_EQ(std::vector<std::string>(screen.begin(), screen.begin() + 6), expected) << Dump();
    EXPECT_NE(m_tap->FromClient().find("echo A1\r\n"), std::string::npos) << "Enter sends CR LF";
}

TEST_F(TermClientTelnetdTest, BackspaceEditingKeysAndTheWindowSizeOnTodaysHost)
{
    // Backspace sends DEL, the erase character of the host's terminal: the typo goes.
    ASSERT_NO_FATAL_FAILURE(LogIn(true));
    ASSERT_EQ(Run("id -un; stty size", {kAccount, "24 80"}), "");

    // The editing keys send what the host's terminfo entry for vt320 names for them.
    Type("cat -v");
    Enter();
    ASSERT_TRUE(RunUntil([&] { return CursorLine().empty(); }, 10s)) << Dump();
    const int row = CursorRow();
    for (const Qt::Key key : {Qt::Key_PageUp, Qt::Key_Delete, Qt::Key_Home, Qt::Key_PageDown, Qt::Key_Insert})
        QTest::keyClick(Terminal(), key);
    Enter();
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(row + 1) == "^[[5~^[[3~^[[1~^[[6~^[[2~"; }, 10s)) << Dump();
    QTest::keyClick(Terminal(), Qt::Key_D, Qt::ControlModifier);
    ASSERT_NO_FATAL_FAILURE(WaitForPrompt());

    // A larger window: the host hears the new size at once.
    CVtWidget* terminal = Terminal();
    m_form->resize(m_form->size() + QSize(20 * terminal->CellWidth(), 6 * terminal->CellHeight()));
    ASSERT_TRUE(RunUntil([&] { return Client().GetProperty(kVtPropColumns) == 100; }, 10s));
    EXPECT_EQ(Client().GetProperty(kVtPropRows), 30);
    ASSERT_EQ(Run("stty size", {"30 100"}), "");
    // And a larger font in it.
    QTest::keyClick(terminal, Qt::Key_Equal, Qt::ControlModifier);
    ASSERT_TRUE(RunUntil([&] { return Client().GetProperty(kVtPropColumns) < 100; }, 10s));
    const std::string size = std::to_string(Client().GetProperty(kVtPropRows)) + " " +
                             std::to_string(Client().GetProperty(kVtPropColumns));
    ASSERT_EQ(Run("stty size", {size}), "");
}

TEST_F(TermClientTelnetdTest, Utf8TextAndManualPagesUnderAUtf8Locale)
{
    Client().SetProperty(kVtPropUtf8, 1);
    // Wide enough for the command lines below on one line.
    m_form->resize(m_form->size() + QSize(60 * Terminal()->CellWidth(), 0));
    ASSERT_TRUE(RunUntil([&] { return Client().GetProperty(kVtPropColumns) == 140; }, 10s));
    ASSERT_NO_FATAL_FAILURE(LogIn());
    // Letters whose UTF-8 bytes are 8-bit controls in the other mode (É: C3 89, Л: D0 9B,
    // Ð: C3 90, А: D0 90) and characters two cells wide.
    ASSERT_EQ(Run("printf 'caf\\303\\251 \\342\\234\\223 \\303\\211\\320\\233\\303\\220\\320\\220 "
                  "\\344\\270\\255\\346\\226\\207|\\n'",
                  {"caf\xc3\xa9 \xe2\x9c\x93 \xc3\x89\xd0\x9b\xc3\x90\xd0\x90 \xe4\xb8\xad\xe6\x96\x87|"}),
              "");
    EXPECT_EQ(m_tap->FromClient().find("\x1b[?6"), std::string::npos) << "no answer came out of the text";
    const CVtScreen& screen = Client().Emulator().Screen();
    EXPECT_NE(screen.Cell(0, 12) & kCellWide, 0u) << Dump();
    EXPECT_EQ(CellChar(screen.Cell(0, 16)), uint32_t{'|'}) << "each wide character takes two cells";
    // And typed: the host's shell gets the letters whole.
    ASSERT_EQ(Run("echo 'caf\xc3\xa9 \xe2\x9c\x93'", {"caf\xc3\xa9 \xe2\x9c\x93"}), "");

    if (!Executable("/usr/bin/man") || access("/usr/share/man/man1/ls.1.gz", R_OK) != 0)
        GTEST_SKIP() << "man or the manual page of ls is not installed here";
    // The page's hyphenation hyphen is U+2010, whose last byte is DCS in the other mode.
    Type("LANG=C.UTF-8 MANWIDTH=80 man ls");
    Enter();
    const auto hyphenated = [&] {
        for (const std::string& line : Screen()) {
            if (line.ends_with("speci\xe2\x80\x90"))
                return true;
        }
        return false;
    };
    ASSERT_TRUE(RunUntil(hyphenated, 15s)) << Dump();
    const std::vector<std::string> rows = Screen();
    EXPECT_NE(std::find(rows.begin(), rows.end(), "       ls - list directory contents"), rows.end())
        << Dump();
    Type("q");
    ASSERT_NO_FATAL_FAILURE(WaitForPrompt());
}

// What vttest draws, from the screens' own descriptions and the positions vttest writes them.
std::vector<std::string> Trimmed(std::vector<std::string> rows)
{
    for (std::string& row : rows)
        row.erase(row.find_last_not_of(' ') + 1);
    return rows;
}

std::vector<std::string> VttestMenu()
{
    std::vector<std::string> rows(24);
    rows[4] = "         Choose test type:";
    const char* items[] = {
        "Exit",
        "Test of cursor movements",
        "Test of screen features",
        "Test of character sets",
        "Test of double-sized characters",
        "Test of keyboard",
        "Test of terminal reports",
        "Test of VT52 mode",
        "Test of VT102 features (Insert/Delete Char/Line)",
        "Test of known bugs",
        "Test of reset and self-test",
        "Test non-VT100 (e.g., VT220, XTERM) terminals",
        "Modify test-parameters",
    };
    for (size_t i = 0; i < std::size(items); ++i)
        rows[6 + i] = "          " + std::to_string(i) + ". " + items[i];
    rows[20] = "          Enter choice number (0 - 12):";
    return rows;
}

// "An unbroken border of *'s and +'s around the edge, and exactly in the middle a frame of
// E's around this text with one free position around it", then the prompt to go on.
std::vector<std::string> VttestBorderScreen(int width)
{
    const auto w = static_cast<size_t>(width);
    std::vector<std::string> rows(24, std::string(w, ' '));
    rows[0] = rows[23] = std::string(w, '*');
    for (size_t r = 1; r <= 22; ++r) {
        rows[r][0] = rows[r][w - 1] = '*';
        rows[r][1] = rows[r][w - 2] = '+';
    }
    for (size_t c = 1; c + 1 < w; ++c)
        rows[1][c] = rows[22][c] = '+';
    // The frame: 60 columns centred, rows 9 to 16.
    const size_t left = (w - 60) / 2;
    for (size_t r = 8; r <= 15; ++r) {
        for (size_t c = left; c < left + 60; ++c) {
            if (r == 8 || r == 15 || c == left || c == left + 59)
                rows[r][c] = 'E';
        }
    }
    const std::string text[] = {
        "The screen should be cleared,  and have an unbroken bor-",
        "der of *'s and +'s around the edge,   and exactly in the",
        "middle  there should be a frame of E's around this  text",
        "with  one (1) free position around it.    Push <RETURN>",
    };
    for (size_t i = 0; i < std::size(text); ++i)
        rows[10 + i].replace(left + 2, text[i].size(), text[i]);
    return Trimmed(rows);
}

std::vector<std::string> VttestControlsInSequencesScreen()
{
    std::vector<std::string> rows(24);
    rows[0] = "Test of cursor-control characters inside ESC sequences.";
    rows[1] = "Below should be four identical lines:";
    for (size_t r = 3; r <= 6; ++r)
        rows[r] = "A B C D E F G H I";
    rows[8] = "Push <RETURN>";
    return rows;
}

std::vector<std::string> VttestLeadingZerosScreen()
{
    std::vector<std::string> rows(24);
    rows[0] = "Test of leading zeros in ESC sequences.";
    rows[1] = "Two lines below you should see the sentence \"This is a correct sentence\".";
    rows[3] = "This is a correct sentence";
    rows[19] = "Push <RETURN>";
    return rows;
}

TEST_F(TermClientTelnetdTest, VttestCursorMovementScreens)
{
    if (!Executable("/usr/bin/vttest"))
        GTEST_SKIP() << "vttest is not installed (./volttcp test installs it)";
    ASSERT_NO_FATAL_FAILURE(LogIn());

    // Each screen of a test ends with vttest waiting for Return.
    const auto holds = [&] {
        size_t count = 0;
        for (size_t at = m_tap->FromServer().find("Push <RETURN>"); at != std::string::npos;
             at = m_tap->FromServer().find("Push <RETURN>", at + 1))
            ++count;
        return count;
    };
    const auto menuShown = [&] {
        std::vector<std::string> rows = Screen();
        // The title names the version; the line below it the line speed, if not vttest's default.
        if (!rows[2].starts_with("         VT100 test program, version "))
            return false;
        rows[2].clear();
        if (rows[3].starts_with("         Line speed "))
            rows[3].clear();
        return rows == VttestMenu() && CursorRow() == 20;
    };

    Type("vttest");
    Enter();
    ASSERT_TRUE(RunUntil(menuShown, 15s)) << Dump();

    Type("1");
    Enter();
    ASSERT_NO_FATAL_FAILURE(WaitForScreen(VttestBorderScreen(80), "the border screen in 80 columns"));
    EXPECT_EQ(Client().GetProperty(kVtPropColumns), 80);
    Enter();
    ASSERT_NO_FATAL_FAILURE(WaitForScreen(VttestBorderScreen(132), "the border screen in 132 columns"));
    EXPECT_EQ(Client().GetProperty(kVtPropColumns), 132);

    // The two autowrap screens are passed without comparing them: this terminal keeps the
    // text on a change of column mode, and a backspace at the right margin with a wrap
    // pending only cancels the wrap, where vttest expects the screen cleared and a step
    // back.
    // Either way each ends with the prompt to go on in row 22, in its own width.
    const auto wrapScreenDone = [&](size_t hold, int columns) {
        return holds() == hold && Client().GetProperty(kVtPropColumns) == columns && CursorRow() == 21 &&
               Client().GetProperty(kVtPropCursorColumn) == 14 && ScreenRow(21).starts_with("Push <RETURN>");
    };
    Enter();
    ASSERT_TRUE(RunUntil([&] { return wrapScreenDone(3, 80); }, 15s)) << Dump();
    Enter();
    ASSERT_TRUE(RunUntil([&] { return wrapScreenDone(4, 132); }, 15s)) << Dump();

    Enter();
    ASSERT_NO_FATAL_FAILURE(
        WaitForScreen(VttestControlsInSequencesScreen(), "cursor controls inside sequences"));
    EXPECT_EQ(Client().GetProperty(kVtPropColumns), 80);
    Enter();
    ASSERT_NO_FATAL_FAILURE(WaitForScreen(VttestLeadingZerosScreen(), "leading zeros"));
    Enter();
    ASSERT_TRUE(RunUntil(menuShown, 15s)) << Dump();

    Type("0");
    Enter();
    ASSERT_TRUE(RunUntil([&] { return ScreenRow(11) == std::string(29, ' ') + "That's all, folks!"; }, 15s))
        << Dump();
    ASSERT_NO_FATAL_FAILURE(WaitForPrompt());
    Type("exit");
    Enter();
    ASSERT_TRUE(RunUntil([&] { return m_form->Status(0) == "Not Connected"; }, 15s)) << Dump();
}

}  // namespace
