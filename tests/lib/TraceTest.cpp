#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "lib/Winsock.h"
#include "tests/lib/SessionHelpers.h"
#include "tests/support/RunLoop.h"

namespace {

using namespace std::chrono_literals;

namespace fs = std::filesystem;

// Tests run in parallel in one directory; trace files go to a private one.
class TraceFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previous = fs::current_path();
        std::string pattern = (fs::temp_directory_path() / "volttcp-trace-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(pattern.data()));
        m_dir = pattern;
        fs::current_path(m_dir);
    }
    void TearDown() override
    {
        fs::current_path(m_previous);
        fs::remove_all(m_dir);
    }
    static std::string Read(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path m_dir;
    fs::path m_previous;
};

TEST_F(TraceFiles, NextFreeNumberHoldsExactlyTheTrafficRecords)
{
    std::ofstream("VTCP0.DBG") << "old";
    std::ofstream("VTCP1.DBG") << "old";
    TraceCapture capture;
    CTestListener listener;
    listener.prepareChild = [](CTestSession& child) {
        child.onReceive = [&child](const char*, uint32_t) {
            if (child.received == "hello")
                child.Send("world!", 6, false, 0);
        };
    };
    const uint16_t port = listener.Start();
    CTestSession client;
    client.onReceive = [&](const char*, uint32_t) { client.Close(false); };
    ASSERT_TRUE(client.Connect(kFlagTrace, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return client.connected; }));
    ASSERT_TRUE(client.Send("hello", 5, false, 3));
    ASSERT_TRUE(RunUntil([&] { return client.closedCount == 1; }));

    EXPECT_EQ("old", Read("VTCP0.DBG"));
    EXPECT_EQ("old", Read("VTCP1.DBG"));
    EXPECT_EQ(std::string("\r\n---> hello\r\n<--- world!"), Read("VTCP2.DBG"));
    EXPECT_FALSE(fs::exists("VTCP3.DBG"));

    const std::string path = fs::canonical("VTCP2.DBG").string();
    const std::string portText = std::to_string(port);
    for (const std::string& line :
         {std::string(65, '*'), std::string("  System Status: Running"),
          std::string("  Windows Sockets Version: 1.1"), std::string("  Max bytes for a UDP datagram: 65507"),
          "Trying to connect to 127.0.0.1 on port " + portText + "...", std::string("Debug flag SET!"),
          "  " + path + " will be filled with debug data", "Connected to 127.0.0.1 on port " + portText,
          std::string("  5 bytes sent, 5 bytes saved in debug file"), std::string("  Data tag 3 sent"),
          std::string("  6 bytes received, 6 bytes saved in debug file"),
          std::string("Primary Socket Closed")})
        EXPECT_TRUE(capture.Has(line)) << line;
    EXPECT_TRUE(RunUntil(
        [&] {
            for (const auto& line : capture.record->lines)
                if (line.rfind("  Local Host Addr: ", 0) == 0 && line.ends_with("l)"))
                    return true;
            return false;
        },
        5s));
    EXPECT_GE(capture.record->shown, 1);
    EXPECT_EQ("Closed", capture.record->titles.back());
    EXPECT_EQ("Connected to 127.0.0.1", capture.record->titles.at(capture.record->titles.size() - 2));

    // The next traced session takes the next number.
    CTestSession second;
    ASSERT_TRUE(second.Connect(kFlagTrace, "127.0.0.1", port));
    EXPECT_TRUE(fs::exists("VTCP3.DBG"));
}

TEST_F(TraceFiles, TraceLinesOnlyWritesNoFileAndNoFlagsNoView)
{
    CTestListener listener;
    const uint16_t port = listener.Start();
    {
        TraceCapture capture;
        CTestSession client;
        ASSERT_TRUE(client.Connect(0, "127.0.0.1", port));
        ASSERT_TRUE(RunUntil([&] { return client.connected; }));
        EXPECT_TRUE(capture.record->lines.empty());
        EXPECT_EQ(0, capture.record->shown);
    }
    TraceCapture capture;
    CTestSession client;
    ASSERT_TRUE(client.Connect(kFlagTraceLines, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return client.connected; }));
    EXPECT_TRUE(capture.Has("Connected to 127.0.0.1 on port " + std::to_string(port)));
    EXPECT_FALSE(capture.Has("Debug flag SET!"));
    EXPECT_FALSE(fs::exists("VTCP0.DBG"));
    std::string maxSockets;
    for (const auto& line : capture.record->lines)
        if (line.rfind("  Max number of open sockets: ", 0) == 0)
            maxSockets = line.substr(30);
    ASSERT_FALSE(maxSockets.empty());
    EXPECT_GT(std::stol(maxSockets), 0);
    EXPECT_LE(std::stol(maxSockets), 65535);
}

TEST_F(TraceFiles, ViewIsClearedPastFourHundredLines)
{
    TraceCapture capture;
    CTestListener listener;
    const uint16_t port = listener.Start();
    CTestSession client;
    ASSERT_TRUE(client.Connect(kFlagTrace, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return client.connected; }));
    uint32_t sent = 0;
    client.onSent = [&](uint32_t) {
        if (sent < 300)
            client.Send("x", 1, false, ++sent);
    };
    client.Send("x", 1, false, ++sent);
    ASSERT_TRUE(RunUntil([&] { return client.sentTags.size() == 300; }));
    EXPECT_GE(capture.record->clears, 1);
    EXPECT_EQ(401, capture.record->maxLineCount);
}

TEST_F(TraceFiles, ClosingTheViewAbortsTheSession)
{
    TraceCapture capture;
    CTestListener listener;
    const uint16_t port = listener.Start();
    CTestSession client;
    ASSERT_TRUE(client.Connect(kFlagTraceLines, "127.0.0.1", port));
    ASSERT_TRUE(RunUntil([&] { return client.connected; }));
    ASSERT_NE(nullptr, capture.record->last);
    ASSERT_TRUE(capture.record->last->onClose);
    capture.record->last->onClose();
    ASSERT_TRUE(RunUntil([&] { return client.closedCount == 1; }));
    EXPECT_EQ(CVoltTcp::Closed, client.GetState());
}

TEST(Startup, FailedHostNameShowsUnknown)
{
    if (CWinsock::LocalHostName()[0] != '\0')
        GTEST_SKIP() << "the host name is process-wide and already known";
    BindingGuard guard;
    SocketBinding().gethostname = [](char*, size_t) {
        errno = EFAULT;
        return -1;
    };
    CTestSession query;
    ASSERT_TRUE(query.QueryStack());
    ASSERT_TRUE(RunUntil([&] { return !query.events.empty(); }, 5s));
    EXPECT_EQ((std::vector<std::string>{""}), query.stackAddresses) << "no host record was looked up";
    EXPECT_STREQ("Unknown", CWinsock::LocalHostName());
    EXPECT_EQ("Unknown", query.stackHost);
}

}  // namespace
