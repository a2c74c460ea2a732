#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "ftp/FtpTypes.h"
#include "lib/VoltTcp.h"
#include "tests/ftp/FtpRecorder.h"
#include "tests/ftp/FtpServers.h"
#include "tests/support/Files.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kBlock = 8192;

std::string Random(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (auto& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return bytes;
}

struct SParam {
    EFtpServer server;
    bool passive;
};

std::string ParamName(const testing::TestParamInfo<SParam>& info)
{
    return std::string(info.param.server == EFtpServer::kVsftpd ? "vsftpd" : "pyftpdlib") +
           (info.param.passive ? "_passive" : "_active");
}

// The component against vsftpd and pyftpdlib, in active and passive mode.
class FtpServer : public testing::TestWithParam<SParam> {
protected:
    void SetUp() override
    {
        m_server = &::FtpServer(GetParam().server);
        if (!m_server->running)
            GTEST_SKIP() << m_server->whyNot;
        m_passive = GetParam().passive;
        m_local = fs::temp_directory_path() / ("volttcp-ftp-local-" + std::to_string(::getpid()));
        fs::create_directories(m_local);
        // Every test works in a directory of its own under the server's root.
        m_dir = testing::UnitTest::GetInstance()->current_test_info()->name();
        m_dir.erase(std::remove(m_dir.begin(), m_dir.end(), '/'), m_dir.end());
        fs::remove_all(m_server->root / m_dir);
        m_server->Put(m_dir + "/keep.txt", "");
        LogIn(m_server->password);
    }

    void TearDown() override
    {
        if (m_server && m_server->running)
            fs::remove_all(m_local);
    }

    void LogIn(const std::string& password)
    {
        ASSERT_TRUE(m_ftp.Connect(m_server->Host().c_str(), nullptr, m_server->user.c_str(), password.c_str(),
                                  "", 0));
        if (password == m_server->password) {
            ASSERT_EQ(Finish(), "1 3 230") << m_ftp.Joined();
            ASSERT_TRUE(m_ftp.ChangeDir(m_dir.c_str()));
            ASSERT_EQ(Finish(), "1 5 250") << m_ftp.Joined();
        }
    }

    // Runs until the sequence started last ends (a reply with status 1, 2 or 3); "status
    // command code" of that reply, or "timeout".
    std::string Finish(std::chrono::milliseconds timeout = 20s)
    {
        std::string result = "timeout";
        const size_t from = m_seen;
        RunUntil(
            [&] {
                for (size_t i = from; i < m_ftp.events.size(); ++i) {
                    const std::string& e = m_ftp.events[i];
                    if (e.rfind("reply ", 0) == 0 && e[6] >= '1' && e[6] <= '3') {
                        result = e.substr(6);
                        m_seen = i + 1;
                        return true;
                    }
                }
                return false;
            },
            timeout);
        return result;
    }

    std::string Local(const std::string& name) const { return (m_local / name).string(); }
    std::string Remote(const std::string& name) const { return m_dir + "/" + name; }

    const SFtpServer* m_server = nullptr;
    bool m_passive = false;
    fs::path m_local;
    std::string m_dir;
    CFtpRecorder m_ftp;
    size_t m_seen = 0;
};

TEST_P(FtpServer, ListAndNameList)
{
    m_server->Put(Remote("alpha.txt"), "a");
    m_server->Put(Remote("beta.bin"), "bb");
    ASSERT_TRUE(m_ftp.NameList("", m_passive, 60));
    EXPECT_EQ(Finish(), "1 29 226") << m_ftp.Joined();
    std::set<std::string> names;
    std::istringstream lines(m_ftp.transferData);
    for (std::string line; std::getline(lines, line);)
        names.insert(line.substr(0, line.find('\r')));
    EXPECT_EQ(names, (std::set<std::string>{"alpha.txt", "beta.bin", "keep.txt"}));
    EXPECT_TRUE(m_ftp.dataEnded);

    m_ftp.transferData.clear();
    ASSERT_TRUE(m_ftp.List("", m_passive, 60));
    EXPECT_EQ(Finish(), "1 28 226") << m_ftp.Joined();
    EXPECT_NE(m_ftp.transferData.find("alpha.txt"), std::string::npos) << m_ftp.transferData;
    EXPECT_NE(m_ftp.transferData.find("beta.bin"), std::string::npos);
}

TEST_P(FtpServer, RetrieveIsByteExact)
{
    const struct {
        const char* name;
        size_t size;
    } files[] = {{"five.bin", 5u << 20}, {"empty.bin", 0}, {"blocks.bin", 3 * kBlock}};
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const std::string content = Random(file.size, static_cast<unsigned>(file.size));
        m_server->Put(Remote(file.name), content);
        ASSERT_TRUE(
            m_ftp.Retrieve(Local(file.name).c_str(), file.name, kBlock, kFtpTypeImage, m_passive, 60));
        EXPECT_EQ(Finish(), "1 15 226") << m_ftp.Joined();
        ASSERT_TRUE(fs::exists(Local(file.name)));
        EXPECT_TRUE(ReadFile(Local(file.name)) == content) << "differs: " << fs::file_size(Local(file.name));
    }
}

TEST_P(FtpServer, RetrieveWithRestartCompletesAPartialFile)
{
    const std::string content = Random(300000, 7);
    m_server->Put(Remote("whole.bin"), content);
    std::ofstream(Local("part.bin"), std::ios::binary) << content.substr(0, 1000);
    m_ftp.SetRestart(1000);
    ASSERT_TRUE(m_ftp.Retrieve(Local("part.bin").c_str(), "whole.bin", kBlock, kFtpTypeImage, m_passive, 60));
    EXPECT_EQ(Finish(), "1 15 226") << m_ftp.Joined();
    m_ftp.SetRestart(0);
    EXPECT_TRUE(m_ftp.Has("echo REST 1000"));
    EXPECT_TRUE(ReadFile(Local("part.bin")) == content);
}

TEST_P(FtpServer, StoreAppendAndStoreUniqueAreByteExact)
{
    const std::string first = Random(1000000, 3);
    const std::string second = Random(2 * kBlock, 4);
    std::ofstream(Local("first.bin"), std::ios::binary) << first;
    std::ofstream(Local("second.bin"), std::ios::binary) << second;
    std::ofstream(Local("empty.bin"), std::ios::binary);

    ASSERT_TRUE(m_ftp.Store(Local("first.bin").c_str(), "up.bin", kBlock, kFtpTypeImage, m_passive, 60));
    EXPECT_EQ(Finish(), "1 16 226") << m_ftp.Joined();
    EXPECT_TRUE(m_server->Get(Remote("up.bin")) == first);

    ASSERT_TRUE(m_ftp.Append(Local("second.bin").c_str(), "up.bin", kBlock, kFtpTypeImage, m_passive, 60));
    EXPECT_EQ(Finish(), "1 18 226") << m_ftp.Joined();
    EXPECT_TRUE(m_server->Get(Remote("up.bin")) == first + second);

    ASSERT_TRUE(m_ftp.Store(Local("empty.bin").c_str(), "empty.bin", kBlock, kFtpTypeImage, m_passive, 60));
    EXPECT_EQ(Finish(), "1 16 226") << m_ftp.Joined();
    EXPECT_TRUE(fs::exists(m_server->root / Remote("empty.bin")));
    EXPECT_EQ(fs::file_size(m_server->root / Remote("empty.bin")), 0u);

    std::set<fs::path> before;
    for (const auto& entry : fs::directory_iterator(m_server->root / m_dir))
        before.insert(entry.path());
    ASSERT_TRUE(m_ftp.StoreUnique(Local("second.bin").c_str(), "", kBlock, kFtpTypeImage, m_passive, 60));
    EXPECT_EQ(Finish(), "1 17 226") << m_ftp.Joined();
    std::vector<fs::path> created;
    for (const auto& entry : fs::directory_iterator(m_server->root / m_dir))
        if (!before.count(entry.path()))
            created.push_back(entry.path());
    ASSERT_EQ(created.size(), 1u);
    EXPECT_TRUE(ReadFile(created[0]) == second);
}

TEST_P(FtpServer, ProgramSpooledTransfersThroughTheEvents)
{
    const std::string content = Random(200000, 9);
    m_server->Put(Remote("src.bin"), content);
    ASSERT_TRUE(m_ftp.Retrieve(nullptr, "src.bin", kBlock, kFtpTypeImage, m_passive, 60));
    EXPECT_EQ(Finish(), "1 15 226") << m_ftp.Joined();
    EXPECT_TRUE(m_ftp.transferData == content);

    size_t offset = 0;
    m_ftp.onReady = [&](uint32_t) {
        if (offset == content.size()) {
            m_ftp.CloseData();
            return;
        }
        const size_t n = std::min<size_t>(kBlock, content.size() - offset);
        m_ftp.SendData(content.data() + offset, static_cast<uint32_t>(n));
        offset += n;
    };
    ASSERT_TRUE(m_ftp.Store(nullptr, "dst.bin", kBlock, kFtpTypeImage, m_passive, 60));
    EXPECT_EQ(Finish(), "1 16 226") << m_ftp.Joined();
    EXPECT_TRUE(m_server->Get(Remote("dst.bin")) == content);
}

TEST_P(FtpServer, FileAndDirectoryCommands)
{
    m_server->Put(Remote("old.txt"), "x");
    const struct {
        std::function<bool()> call;
        const char* result;
    } steps[] = {
        {[&] { return m_ftp.MakeDir("sub"); }, "1 26 257"},
        {[&] { return m_ftp.ChangeDir("sub"); }, "1 5 250"},
        {[&] { return m_ftp.PrintDir(); }, "1 27 257"},
        {[&] { return m_ftp.ChangeDirUp(); }, "1 6 250"},
        {[&] { return m_ftp.Rename("old.txt", "new.txt"); }, "1 22 250"},
        {[&] { return m_ftp.Delete("new.txt"); }, "1 24 250"},
        {[&] { return m_ftp.RemoveDir("sub"); }, "1 25 250"},
        {[&] { return m_ftp.Help(""); }, "1 33 214"},
        {[&] { return m_ftp.ChangeDir("no-such-dir"); }, "3 5 550"},
        {[&] { return m_ftp.Delete("no-such-file"); }, "3 24 550"},
    };
    for (const auto& step : steps) {
        ASSERT_TRUE(step.call());
        EXPECT_EQ(Finish(), step.result) << m_ftp.Joined();
    }
    EXPECT_TRUE(std::any_of(m_ftp.replyTexts.begin(), m_ftp.replyTexts.end(), [](const std::string& text) {
        return text.rfind("257 ", 0) == 0 && text.find("/sub\"") != std::string::npos;
    })) << m_ftp.Joined();
    EXPECT_FALSE(fs::exists(m_server->root / Remote("old.txt")));
    EXPECT_FALSE(fs::exists(m_server->root / Remote("sub")));

    // A quoted command leaves the engine idle: its reply comes unsolicited.
    ASSERT_TRUE(m_ftp.Quote("SYST"));
    EXPECT_TRUE(RunUntil([&] { return m_ftp.Last() == "reply 0 1 215"; })) << m_ftp.Joined();
}

TEST_P(FtpServer, WrongPasswordFails)
{
    CFtpRecorder other;
    ASSERT_TRUE(other.Connect(m_server->Host().c_str(), nullptr, m_server->user.c_str(), "wrong", "", 0));
    EXPECT_TRUE(RunUntil([&] { return other.Has("reply 3 3 530"); }, 20s)) << other.Joined();
}

TEST_P(FtpServer, AbortStopsALongDownload)
{
    // A sparse file: long to send, nothing to write.
    const fs::path big = m_server->root / Remote("big.bin");
    m_server->Put(Remote("big.bin"), "");
    fs::resize_file(big, 1ull << 30);
    bool aborted = false;
    m_ftp.onData = [&](const char* data, uint32_t) {
        if (data && !aborted) {
            aborted = true;
            m_ftp.Abort();
        }
    };
    ASSERT_TRUE(m_ftp.Retrieve(nullptr, "big.bin", kBlock, kFtpTypeImage, m_passive, 60));
    ASSERT_TRUE(RunUntil([&] { return aborted; }, 20s)) << m_ftp.Joined();
    // The server answers the transfer (426) and the ABOR (226); then the engine is idle.
    EXPECT_TRUE(RunUntil([&] { return m_ftp.Has("reply 0 1 226") || m_ftp.Has("reply 1 23 226"); }, 20s))
        << m_ftp.Joined();
    EXPECT_LT(m_ftp.transferData.size(), size_t{1} << 30);
    RunFor(200ms);
    m_seen = m_ftp.events.size();
    ASSERT_TRUE(m_ftp.PrintDir());
    EXPECT_EQ(Finish(), "1 27 257") << m_ftp.Joined();
}

TEST_P(FtpServer, KillKeepsThePartialFile)
{
    const fs::path big = m_server->root / Remote("big.bin");
    m_server->Put(Remote("big.bin"), "");
    fs::resize_file(big, 1ull << 30);
    ASSERT_TRUE(
        m_ftp.Retrieve(Local("partial.bin").c_str(), "big.bin", kBlock, kFtpTypeImage, m_passive, 60));
    ASSERT_TRUE(RunUntil([&] { return !m_ftp.progress.empty(); }, 20s)) << m_ftp.Joined();
    m_ftp.Kill();
    EXPECT_TRUE(RunUntil([&] { return m_ftp.closed; }, 20s)) << m_ftp.Joined();
    EXPECT_EQ(m_ftp.GetState(), CVoltTcp::Closed);
    const auto size = fs::file_size(Local("partial.bin"));
    EXPECT_GT(size, 0u);
    EXPECT_LT(size, 1ull << 30);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpServer,
                         testing::Values(SParam{EFtpServer::kVsftpd, true},
                                         SParam{EFtpServer::kVsftpd, false},
                                         SParam{EFtpServer::kPyftpdlib, true},
                                         SParam{EFtpServer::kPyftpdlib, false}),
                         ParamName);

}  // namespace
