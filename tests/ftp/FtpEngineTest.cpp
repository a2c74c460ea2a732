#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ftp/FtpCommandList.h"
#include "ftp/FtpData.h"
#include "ftp/FtpTypes.h"
#include "lib/VoltTcp.h"
#include "tests/ftp/FtpRecorder.h"
#include "tests/support/Files.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

namespace {

namespace fs = std::filesystem;

std::string Pattern(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    return bytes;
}

// The component against a scripted server: replies are handed straight to the control
// connection (so where a block ends is the test's choice), commands are read from the
// server's socket, and data connections are scripted peers of their own.
class FtpEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("volttcp-ftp-engine-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void Open(const char* user = "", const char* password = "")
    {
        const std::string host = "127.0.0.1:" + std::to_string(m_server.Port());
        ASSERT_TRUE(m_ftp.Connect(host.c_str(), nullptr, user, password, "", 0));
        ASSERT_TRUE(m_server.Accept());
        ASSERT_TRUE(RunUntil([this] { return m_ftp.Has("connect"); }));
    }

    void LogIn()
    {
        Open("anna", "secret");
        m_ftp.Feed("220 Ready\r\n");
        ASSERT_EQ(m_server.ReadLine(), "USER anna\r\n");
        m_ftp.Feed("331 Password\r\n");
        ASSERT_EQ(m_server.ReadLine(), "PASS secret\r\n");
        m_ftp.Feed("230 Logged in\r\n");
        ASSERT_EQ(m_ftp.Last(), "reply 1 3 230");
    }

    // Answers TYPE when it comes, then PASV or PORT; returns the connected data peer.
    std::unique_ptr<CScriptedPeer> OpenData(bool passive, bool connectBeforePortReply = false)
    {
        std::string line = m_server.ReadLine();
        if (line.rfind("TYPE ", 0) == 0) {
            m_ftp.Feed("200 Type set\r\n");
            line = m_server.ReadLine();
        }
        if (passive) {
            EXPECT_EQ(line, "PASV\r\n");
            auto data = std::make_unique<CScriptedPeer>();
            const unsigned port = data->Port();
            m_ftp.Feed("227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
                       std::to_string(port % 256) + ")\r\n");
            EXPECT_TRUE(data->Accept());
            return data;
        }
        unsigned a, b, c, d, hi, lo;
        EXPECT_EQ(std::sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &a, &b, &c, &d, &hi, &lo), 6) << line;
        std::unique_ptr<CScriptedPeer> data;
        if (connectBeforePortReply)
            data = CScriptedPeer::ConnectTo(static_cast<uint16_t>(hi * 256 + lo));
        m_ftp.Feed("200 PORT ok\r\n");
        if (!connectBeforePortReply)
            data = CScriptedPeer::ConnectTo(static_cast<uint16_t>(hi * 256 + lo));
        EXPECT_TRUE(data->Connected());
        return data;
    }

    bool WaitFor(const std::string& event)
    {
        return RunUntil([&] { return m_ftp.Has(event); });
    }

    fs::path m_dir;
    CScriptedPeer m_server;
    CFtpRecorder m_ftp;
};

TEST_F(FtpEngine, LoginSendsUserPassAndReportsEachStep)
{
    LogIn();
    EXPECT_EQ(m_ftp.Joined(), "connect\nreply 4 9 220\necho USER anna\nreply 4 2 331\necho PASS secret\n"
                              "reply 1 3 230\n");
}

TEST_F(FtpEngine, AccountIsSentWhenTheServerAsks)
{
    const std::string host = "127.0.0.1:" + std::to_string(m_server.Port());
    ASSERT_TRUE(m_ftp.Connect(host.c_str(), nullptr, "anna", "secret", "acct9", 0));
    ASSERT_TRUE(m_server.Accept());
    ASSERT_TRUE(WaitFor("connect"));
    m_ftp.Feed("220 Ready\r\n331 Password\r\n");
    EXPECT_EQ(m_server.ReadLine(), "USER anna\r\n");
    EXPECT_EQ(m_server.ReadLine(), "PASS secret\r\n");
    m_ftp.Feed("332 Account\r\n");
    EXPECT_EQ(m_server.ReadLine(), "ACCT acct9\r\n");
    m_ftp.Feed("230 In\r\n");
    EXPECT_EQ(m_ftp.Last(), "reply 1 4 230");
}

TEST_F(FtpEngine, UserNamesAreCutTo63Characters)
{
    for (const size_t length : {63u, 64u}) {
        CScriptedPeer server;
        CFtpRecorder ftp;
        const std::string user(length, 'u');
        const std::string host = "127.0.0.1:" + std::to_string(server.Port());
        ASSERT_TRUE(ftp.Connect(host.c_str(), nullptr, user.c_str(), "", "", 0));
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(RunUntil([&] { return ftp.Has("connect"); }));
        ftp.Feed("220 Ready\r\n");
        EXPECT_EQ(server.ReadLine(), "USER " + std::string(63, 'u') + "\r\n") << length;
    }
}

TEST_F(FtpEngine, GreetingWithoutUserCompletes)
{
    Open();
    m_ftp.Feed("220-Welcome\r\n220 Ready\r\n");
    EXPECT_EQ(m_ftp.Last(), "reply 1 9 220");
    EXPECT_EQ(m_ftp.replyTexts.back(), "220-Welcome\r\n220 Ready\r\n");
    EXPECT_EQ(m_server.Drain(), "");
}

TEST_F(FtpEngine, RepliesSplitAnywhereAreInterpretedOnce)
{
    LogIn();
    for (const std::string reply : {"200 Fine\r\n", "211-Status\r\n x\r\n211 End\r\n"}) {
        for (size_t cut = 1; cut < reply.size(); ++cut) {
            const size_t before = m_ftp.events.size();
            m_ftp.Feed(reply.substr(0, cut));
            EXPECT_EQ(m_ftp.events.size(), before) << cut;
            m_ftp.Feed(reply.substr(cut));
            ASSERT_EQ(m_ftp.events.size(), before + 1) << cut;
            EXPECT_EQ(m_ftp.Last(), "reply 0 1 " + reply.substr(0, 3));
            EXPECT_EQ(m_ftp.replyTexts.back(), reply);
        }
    }
}

TEST_F(FtpEngine, WrongPasswordFailsAndClearsTheQueue)
{
    Open("anna", "wrong");
    m_ftp.Feed("220 Ready\r\n331 Password\r\n");
    m_ftp.ChangeDir("pub");
    m_ftp.PrintDir();
    m_ftp.Feed("530 Login incorrect\r\n");
    EXPECT_EQ(m_ftp.Last(), "reply 3 3 530");
    EXPECT_TRUE(m_ftp.Ctl().Queue().IsEmpty());
    EXPECT_EQ(m_server.Drain(), "USER anna\r\nPASS wrong\r\n");
}

TEST_F(FtpEngine, QueuedCommandsWaitForTheirTurn)
{
    LogIn();
    m_ftp.ChangeDir("pub");
    m_ftp.MakeDir("new");
    m_ftp.Rename("a", "b");
    EXPECT_EQ(m_server.ReadLine(), "CWD pub\r\n");
    EXPECT_EQ(m_server.Drain(), "");
    m_ftp.Feed("250 OK\r\n");
    EXPECT_EQ(m_server.ReadLine(), "MKD new\r\n");
    m_ftp.Feed("257 \"/new\" created\r\n");
    EXPECT_EQ(m_server.ReadLine(), "RNFR a\r\n");
    m_ftp.Feed("350 Ready\r\n");
    EXPECT_EQ(m_server.ReadLine(), "RNTO b\r\n");
    m_ftp.Feed("250 Renamed\r\n");
    const std::vector<std::string> tail(m_ftp.events.end() - 8, m_ftp.events.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"echo CWD pub", "reply 4 5 250", "echo MKD new", "reply 4 26 257",
                                        "echo RNFR a", "reply 4 21 350", "echo RNTO b", "reply 1 22 250"}));
}

TEST_F(FtpEngine, QuoteLeavesTheEngineIdle)
{
    LogIn();
    m_ftp.Quote("SYST");
    m_ftp.PrintDir();
    EXPECT_EQ(m_server.ReadLine(), "SYST\r\n");
    EXPECT_EQ(m_server.ReadLine(), "PWD\r\n");
    m_ftp.Feed("215 UNIX Type: L8\r\n");
    EXPECT_EQ(m_ftp.Last(), "reply 2 27 215");  // the PWD was current
    m_ftp.Feed("257 \"/\"\r\n");
    EXPECT_EQ(m_ftp.Last(), "reply 0 1 257");
}

TEST_F(FtpEngine, BusyDisconnectedAndUnsafeCommandsAreRefused)
{
    m_ftp.Abort();
    EXPECT_EQ(m_ftp.Last(), "exception 9 Control Connection Closed");
    LogIn();
    m_ftp.ChangeDir("pub");
    EXPECT_FALSE(m_ftp.Ctl().SendCommand("PWD\r\n", kFtpCmdPwd));
    EXPECT_EQ(m_ftp.Last(), "exception 12 FTP Command in Progress");
    EXPECT_FALSE(m_ftp.Delete("a\r\nDELE b"));
    EXPECT_EQ(m_ftp.Last(), "exception 16 Line break in FTP command");
    EXPECT_EQ(m_server.Drain(), "CWD pub\r\n");
}

TEST_F(FtpEngine, TypeAlreadyInForceIsSkipped)
{
    LogIn();
    m_ftp.Ctl().Queue().Add("TYPE", "I", kFtpCmdType);
    EXPECT_EQ(m_server.ReadLine(), "TYPE I\r\n");
    m_ftp.Feed("200 Binary\r\n");
    EXPECT_EQ(m_ftp.Ctl().CurrentType(), kFtpTypeImage);
    m_ftp.Ctl().Queue().Add("TYPE", "I", kFtpCmdType);
    m_ftp.Ctl().Queue().Add("TYPE", "A", kFtpCmdType);
    EXPECT_EQ(m_server.ReadLine(), "TYPE A\r\n");
    EXPECT_EQ(m_server.Drain(), "");
}

TEST_F(FtpEngine, BadControlDataIsEchoedAndDropped)
{
    LogIn();
    m_ftp.Feed("garbage\r\n");
    const std::vector<std::string> tail(m_ftp.events.end() - 3, m_ftp.events.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"echo Bad Control Data Received", "echo garbage\r\n",
                                              "echo Buffers Reset"}));
    m_ftp.Feed("200 Fine\r\n");
    EXPECT_EQ(m_ftp.Last(), "reply 0 1 200");
}

TEST_F(FtpEngine, AbortWithNoTransferCompletesOnItsReply)
{
    LogIn();
    EXPECT_TRUE(m_ftp.Abort());
    const std::string sent = m_server.Read(8);
    EXPECT_EQ(sent.substr(0, 2), "\xff\xf4");  // IP; the urgent DM is not in the normal stream
    m_ftp.Feed("226 Abort successful\r\n");
    EXPECT_EQ(m_ftp.Last(), "reply 1 23 226");
    EXPECT_EQ(m_ftp.CurrentCommand(), kFtpCmdIdle);
}

TEST_F(FtpEngine, ControlCloseIsReportedOnce)
{
    LogIn();
    m_ftp.List("", true, 60);
    auto data = OpenData(true);
    m_server.Close();
    ASSERT_TRUE(RunUntil([this] { return m_ftp.closed; }));
    EXPECT_EQ(m_ftp.Last(), "reply 1 0 0");
    EXPECT_EQ(m_ftp.Ctl().Data(), nullptr);
    EXPECT_EQ(m_ftp.GetState(), CVoltTcp::Closed);
}

struct SDownloadCase {
    bool passive;
    bool replyBeforeClose;
};

TEST_F(FtpEngine, DownloadsToAFileWhicheverEndComesFirst)
{
    LogIn();
    const std::string content = Pattern(50000);
    for (const SDownloadCase c : {SDownloadCase{true, true}, {true, false}, {false, true}, {false, false}}) {
        SCOPED_TRACE(std::string(c.passive ? "passive" : "active") +
                     (c.replyBeforeClose ? ", 226 first" : ""));
        const fs::path local = m_dir / "down.bin";
        m_ftp.events.clear();
        ASSERT_TRUE(m_ftp.Retrieve(local.c_str(), "file.bin", 4096, kFtpTypeImage, c.passive, 60));
        auto data = OpenData(c.passive);
        ASSERT_EQ(m_server.ReadLine(), "RETR file.bin\r\n");
        m_ftp.Feed("150-Opening\r\n150 BINARY\r\n");
        ASSERT_TRUE(data->Send(content));
        data->Close();
        if (!c.replyBeforeClose) {
            ASSERT_TRUE(WaitFor("progress 15 0 50000"));
        }
        m_ftp.Feed("226 Transfer complete\r\n");
        ASSERT_TRUE(WaitFor("reply 1 15 226"));
        EXPECT_EQ(ReadFile(local), content);
        EXPECT_EQ(m_ftp.lastPath, fs::canonical(local).string());
        EXPECT_EQ(m_ftp.Ctl().Data(), nullptr);
        EXPECT_EQ(m_ftp.replyTexts.back(), "226 Transfer complete\r\n");
    }
}

TEST_F(FtpEngine, RestartWritesFromTheOffsetIntoTheExistingFile)
{
    LogIn();
    const fs::path local = m_dir / "part.bin";
    const std::string content = Pattern(3000);
    WriteFile(local, content.substr(0, 1000));
    m_ftp.SetRestart(1000);
    ASSERT_TRUE(m_ftp.Retrieve(local.c_str(), "file.bin", 8192, kFtpTypeImage, true, 60));
    auto data = OpenData(true);
    EXPECT_EQ(m_server.ReadLine(), "REST 1000\r\n");
    m_ftp.Feed("350 Restarting at 1000\r\n");
    EXPECT_EQ(m_server.ReadLine(), "RETR file.bin\r\n");
    m_ftp.Feed("150 Opening\r\n");
    ASSERT_TRUE(data->Send(content.substr(1000)));
    data->Close();
    m_ftp.Feed("226 Done\r\n");
    ASSERT_TRUE(WaitFor("reply 1 15 226"));
    EXPECT_EQ(ReadFile(local), content);
}

TEST_F(FtpEngine, RefusedDownloadLeavesTheLocalFileAlone)
{
    LogIn();
    const fs::path local = m_dir / "keep.txt";
    WriteFile(local, "precious");
    ASSERT_TRUE(m_ftp.Retrieve(local.c_str(), "missing", 8192, kFtpTypeImage, true, 60));
    auto data = OpenData(true);
    EXPECT_EQ(m_server.ReadLine(), "RETR missing\r\n");
    data->Close();
    ASSERT_TRUE(RunUntil([this] { return m_ftp.Ctl().Data()->AwaitsEmptyDownload(); }));
    m_ftp.Feed("550 Failed to open file.\r\n");
    EXPECT_EQ(m_ftp.Last(), "reply 3 15 550");
    EXPECT_EQ(ReadFile(local), "precious");

    // The same with success: an empty remote file makes an empty local file.
    ASSERT_TRUE(m_ftp.Retrieve(local.c_str(), "empty", 8192, kFtpTypeImage, true, 60));
    data = OpenData(true);
    EXPECT_EQ(m_server.ReadLine(), "RETR empty\r\n");
    data->Close();
    ASSERT_TRUE(RunUntil([this] { return m_ftp.Ctl().Data()->AwaitsEmptyDownload(); }));
    m_ftp.Feed("226 Done\r\n");
    EXPECT_EQ(m_ftp.Last(), "reply 1 15 226");
    EXPECT_TRUE(m_ftp.Has("progress 15 0 0"));
    EXPECT_TRUE(fs::exists(local));
    EXPECT_EQ(fs::file_size(local), 0u);
}

TEST_F(FtpEngine, WriteFailureAbortsTheTransfer)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full to make writes fail";
    LogIn();
    ASSERT_TRUE(m_ftp.Retrieve("/dev/full", "file.bin", 8192, kFtpTypeImage, true, 60));
    auto data = OpenData(true);
    EXPECT_EQ(m_server.ReadLine(), "RETR file.bin\r\n");
    ASSERT_TRUE(data->Send("some bytes"));
    ASSERT_TRUE(WaitFor("exception 15 Failure writing to local file...transfer aborting"));
    EXPECT_NE(m_server.ReadLine().find("ABOR\r\n"), std::string::npos);
    EXPECT_TRUE(data->WaitClosed());
    EXPECT_EQ(m_ftp.CurrentCommand(), kFtpCmdAbor);
}

TEST_F(FtpEngine, ListingGoesToTransferDataAndEndsWithTheEndCall)
{
    LogIn();
    ASSERT_TRUE(m_ftp.List("-l", false, 60));
    auto data = OpenData(false, true);
    EXPECT_EQ(m_server.ReadLine(), "LIST -l\r\n");
    m_ftp.Feed("150 Here comes the listing\r\n");
    ASSERT_TRUE(data->Send("a\r\nb\r\n"));
    data->Close();
    m_ftp.Feed("226 Directory send OK\r\n");
    ASSERT_TRUE(WaitFor("reply 1 28 226"));
    EXPECT_EQ(m_ftp.transferData, "a\r\nb\r\n");
    EXPECT_TRUE(m_ftp.dataEnded);
}

TEST_F(FtpEngine, PassiveAddressOfAnotherHostIsNotFollowed)
{
    LogIn();
    ASSERT_TRUE(m_ftp.NameList("", true, 60));
    // A connection starts in ASCII, so TYPE A is skipped.
    EXPECT_EQ(m_server.ReadLine(), "PASV\r\n");
    CScriptedPeer data;
    m_ftp.Feed("227 Entering Passive Mode (10,0,0,5," + std::to_string(data.Port() / 256) + "," +
               std::to_string(data.Port() % 256) + ")\r\n");
    EXPECT_TRUE(data.Accept());
    EXPECT_TRUE(m_ftp.Has("echo PASV address 10.0.0.5 ignored; data connection to 127.0.0.1"));
    EXPECT_EQ(m_server.ReadLine(), "NLST\r\n");
}

TEST_F(FtpEngine, UnreadablePassiveReplyStopsTheSequence)
{
    LogIn();
    ASSERT_TRUE(m_ftp.Retrieve(nullptr, "f", 8192, kFtpTypeImage, true, 60));
    EXPECT_EQ(m_server.ReadLine(), "TYPE I\r\n");
    m_ftp.Feed("200 ok\r\n");
    EXPECT_EQ(m_server.ReadLine(), "PASV\r\n");
    m_ftp.Feed("227 Entering Passive Mode\r\n");
    EXPECT_EQ(m_ftp.Last(), "exception 16 No address in the PASV reply");
    EXPECT_TRUE(m_ftp.Ctl().Queue().IsEmpty());
    EXPECT_EQ(m_ftp.CurrentCommand(), kFtpCmdIdle);
}

TEST_F(FtpEngine, RefusedPassiveConnectionDropsTheWaitingTransfer)
{
    LogIn();
    ASSERT_TRUE(m_ftp.Retrieve(nullptr, "f", 8192, kFtpTypeImage, true, 60));
    EXPECT_EQ(m_server.ReadLine(), "TYPE I\r\n");
    m_ftp.Feed("200 ok\r\n");
    EXPECT_EQ(m_server.ReadLine(), "PASV\r\n");
    uint16_t closedPort = 0;
    {
        CScriptedPeer gone;
        closedPort = gone.Port();
    }
    m_ftp.Feed("227 Entering Passive Mode (127,0,0,1," + std::to_string(closedPort / 256) + "," +
               std::to_string(closedPort % 256) + ")\r\n");
    ASSERT_TRUE(RunUntil([this] { return m_ftp.Last().rfind("exception 4 ", 0) == 0; })) << m_ftp.Joined();
    EXPECT_TRUE(m_ftp.Ctl().Queue().IsEmpty());
    m_ftp.PrintDir();
    EXPECT_EQ(m_server.ReadLine(), "PWD\r\n");
}

struct SUploadCase {
    const char* name;
    bool passive;
    bool early;  // the server connects while handling PORT
    int64_t restart;
    size_t size;
};

TEST_F(FtpEngine, UploadStartsOnceConnectionAndCommandAreBothThere)
{
    LogIn();
    const SUploadCase cases[] = {
        {"passive", true, false, 0, 10000},
        {"passive with restart", true, false, 100, 10000},
        {"active", false, false, 0, 10000},
        {"active, early connection", false, true, 0, 10000},
        {"active, early connection, restart", false, true, 100, 10000},
        {"exact multiple of the block size", true, false, 0, 3 * 4096},
        {"empty file", false, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path local = m_dir / "up.bin";
        const std::string content = Pattern(c.size);
        WriteFile(local, content);
        m_ftp.SetRestart(c.restart);
        m_ftp.events.clear();
        ASSERT_TRUE(m_ftp.Store(local.c_str(), "up.bin", 4096, kFtpTypeImage, c.passive, 60));
        auto data = OpenData(c.passive, c.early);
        if (c.restart > 0) {
            EXPECT_EQ(m_server.ReadLine(), "REST " + std::to_string(c.restart) + "\r\n");
            EXPECT_EQ(data->Drain(), "");  // nothing is sent before STOR
            m_ftp.Feed("350 Restart\r\n");
        }
        EXPECT_EQ(m_server.ReadLine(), "STOR up.bin\r\n");
        m_ftp.Feed("150 Ok to send data.\r\n");
        const std::string expected = content.substr(static_cast<size_t>(c.restart));
        EXPECT_EQ(data->Read(expected.size() + 1), expected);
        EXPECT_TRUE(data->WaitClosed());
        ASSERT_TRUE(WaitFor("progress 16 0 " + std::to_string(expected.size())));
        m_ftp.Feed("226 Transfer complete.\r\n");
        EXPECT_EQ(m_ftp.Last(), "reply 1 16 226");
    }
    m_ftp.SetRestart(0);
}

TEST_F(FtpEngine, StoreOfAMissingFileQueuesNothing)
{
    LogIn();
    EXPECT_FALSE(m_ftp.Store((m_dir / "nothing").c_str(), "x", 4096, kFtpTypeImage, true, 60));
    EXPECT_EQ(m_ftp.Last(), "exception 16 Local file not present");
    EXPECT_EQ(m_server.Drain(), "");
}

TEST_F(FtpEngine, ProgramSpooledUploadSendsWhenAsked)
{
    LogIn();
    const std::string content = Pattern(3 * 1000 + 17);
    size_t offset = 0;
    m_ftp.onReady = [&](uint32_t) {
        if (offset == content.size()) {
            m_ftp.CloseData();
            return;
        }
        const size_t n = std::min<size_t>(1000, content.size() - offset);
        m_ftp.SendData(content.data() + offset, static_cast<uint32_t>(n));
        offset += n;
    };
    ASSERT_TRUE(m_ftp.StoreUnique(nullptr, "", 1000, kFtpTypeImage, true, 60));
    auto data = OpenData(true);
    EXPECT_EQ(m_server.ReadLine(), "STOU\r\n");
    EXPECT_EQ(data->Read(content.size() + 1), content);
    EXPECT_TRUE(data->WaitClosed());
    m_ftp.Feed("226 Transfer complete.\r\n");
    ASSERT_TRUE(WaitFor("reply 1 17 226"));
    EXPECT_TRUE(m_ftp.Has("ready 0"));
}

TEST_F(FtpEngine, KillClosesDataAtOnceAndControlGracefully)
{
    LogIn();
    ASSERT_TRUE(m_ftp.Retrieve(nullptr, "big", 8192, kFtpTypeImage, true, 60));
    auto data = OpenData(true);
    EXPECT_EQ(m_server.ReadLine(), "RETR big\r\n");
    ASSERT_TRUE(data->Send(Pattern(1000)));
    ASSERT_TRUE(RunUntil([this] { return m_ftp.transferData.size() == 1000; }));
    m_ftp.Kill();
    EXPECT_TRUE(m_ftp.dataEnded);
    EXPECT_TRUE(data->WaitClosed());
    EXPECT_TRUE(m_server.WaitClosed());
    ASSERT_TRUE(RunUntil([this] { return m_ftp.closed; }));
}

}  // namespace
