#include "apps/common/Profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dirTemplate[] = "/tmp/profile_test.XXXXXX";
        ASSERT_NE(mkdtemp(dirTemplate), nullptr);
        m_dir = dirTemplate;
        m_path = m_dir + "/VOLTTCP.INI";
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(m_dir, fs::perms::owner_all, ignored);
        fs::remove_all(m_dir, ignored);
    }

    void WriteFile(const std::string& text) const { std::ofstream(m_path, std::ios::binary) << text; }
    std::string ReadFile() const
    {
        std::ifstream in(m_path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::string m_dir;
    std::string m_path;
};

const char* const kSample = "; settings of the suite\n"
                            "[TELNET]\n"
                            "Host = alpha.example\n"
                            "\n"
                            "[Tcp]\n"
                            "HOST=beta.example\n"
                            "port=  7  \n"
                            "Quoted=\"  spaced  \"\n"
                            "# kept comment\n"
                            "\n"
                            "[tcp]\n"
                            "Host=ignored-second-section\n"
                            "[FTP]\n"
                            "UserName=anonymous\r\n";

TEST_F(ProfileTest, ReadsWithProfileSemantics)
{
    WriteFile(kSample);
    const CProfile profile(m_path);
    struct Case {
        const char* section;
        const char* key;
        const char* defaultValue;
        std::size_t buffer;
        const char* expected;
    };
    const Case cases[] = {
        {"TCP", "Host", "localhost", 100, "beta.example"},  // any case for both names
        {"tcp", "PORT", "0", 100, "7"},                     // blanks around the value go
        {"TCP", "Quoted", "", 100, "  spaced  "},           // quotes protect blanks
        {"TCP", "Missing", "localhost", 100, "localhost"},  // missing key
        {"POP3", "Server", "", 100, ""},                    // missing section
        {"TELNET", "Host", "", 6, "alpha"},                 // cut to buffer - 1
        {"TELNET", "Host", "", 1, ""},
        {"TELNET", "Host", "", 0, ""},
        {"TCP", "Missing", "a-long-default", 4, "a-l"},  // defaults are cut too
        {"FTP", "UserName", "", 300, "anonymous"},       // CR LF line ends
        {"TELNET", "Port", "23", 100, "23"},             // key of another section
    };
    for (const Case& c : cases) {
        EXPECT_EQ(profile.GetString(c.section, c.key, c.defaultValue, c.buffer), c.expected)
            << c.section << "/" << c.key << " buffer " << c.buffer;
    }
}

TEST_F(ProfileTest, MissingFileGivesDefaults)
{
    const CProfile profile(m_path);
    EXPECT_EQ(profile.GetString("TCP", "Host", "localhost", 100), "localhost");
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(ProfileTest, WriteKeepsEveryOtherLine)
{
    WriteFile(kSample);
    CProfile profile(m_path);
    ASSERT_TRUE(profile.WriteString("tcp", "host", "gamma.example"));
    ASSERT_TRUE(profile.WriteString("TCP", "Retries", "3"));
    ASSERT_TRUE(profile.WriteString("REXEC", "HostName", "delta"));

    const std::string expected = "; settings of the suite\n"
                                 "[TELNET]\n"
                                 "Host = alpha.example\n"
                                 "\n"
                                 "[Tcp]\n"
                                 "host=gamma.example\n"
                                 "port=  7  \n"
                                 "Quoted=\"  spaced  \"\n"
                                 "# kept comment\n"
                                 "Retries=3\n"
                                 "\n"
                                 "[tcp]\n"
                                 "Host=ignored-second-section\n"
                                 "[FTP]\n"
                                 "UserName=anonymous\r\n"
                                 "[REXEC]\n"
                                 "HostName=delta\n";
    EXPECT_EQ(ReadFile(), expected);
    EXPECT_EQ(profile.GetString("TCP", "HOST", "", 100), "gamma.example");
    EXPECT_EQ(profile.GetString("rexec", "hostname", "", 100), "delta");
}

TEST_F(ProfileTest, RefusesTextThatWouldBreakTheFile)
{
    WriteFile(kSample);
    CProfile profile(m_path);
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"TCP", "Host", "a\nInjected=1"},
        {"TCP", "Ho=st", "x"},
        {"TC]P", "Host", "x"},
        {"TCP", "Host\r", "x"},
        {"", "Host", "x"},
        {"TCP", "  ", "x"},
        {"TCP", ";Host", "x"},
        {"TCP", "[Host", "x"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(profile.WriteString(c.section, c.key, c.value)) << c.key;
    }
    EXPECT_EQ(ReadFile(), kSample);
}

TEST_F(ProfileTest, WriteCreatesPrivateFileAndDirectories)
{
    const std::string nested = m_dir + "/config/sub/VOLTTCP.INI";
    CProfile profile(nested);
    ASSERT_TRUE(profile.WriteString("TCP", "Port", "7"));
    struct stat info {};
    ASSERT_EQ(stat(nested.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // An existing readable file becomes private on its next write.
    WriteFile("[TCP]\nHost=x\n");
    ASSERT_EQ(chmod(m_path.c_str(), 0644), 0);
    CProfile shared(m_path);
    ASSERT_TRUE(shared.WriteString("TCP", "Host", "y"));
    ASSERT_EQ(stat(m_path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ProfileTest, WriteReplacesTheFileWholeAndLeavesNoTemporary)
{
    WriteFile(kSample);
    // A reader holding the old file keeps seeing it whole: the new text arrives by rename,
    // never by rewriting the old file in place.
    std::ifstream oldReader(m_path, std::ios::binary);
    struct stat before {};
    ASSERT_EQ(stat(m_path.c_str(), &before), 0);

    CProfile profile(m_path);
    ASSERT_TRUE(profile.WriteString("TCP", "Host", "replaced"));

    struct stat after {};
    ASSERT_EQ(stat(m_path.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    const std::string oldText{std::istreambuf_iterator<char>(oldReader), std::istreambuf_iterator<char>()};
    EXPECT_EQ(oldText, kSample);

    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_dir)) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(ProfileTest, FailedWriteIsReportedAndLeavesNoTemporary)
{
    // A directory in the file's place makes the final rename fail, even for root.
    fs::create_directories(m_path + "/occupied");
    CProfile profile(m_path);
    EXPECT_FALSE(profile.WriteString("TCP", "Host", "never"));
    EXPECT_TRUE(fs::is_directory(m_path + "/occupied"));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(m_dir)) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnv()
    {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(ProfileLocation, FollowsEnvironment)
{
    struct Case {
        const char* ini;
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/tmp/a.ini", "/xdg", "/home/u", "/tmp/a.ini"},
        {"", "/xdg", "/home/u", "/xdg/VOLTTCP.INI"},
        {nullptr, "/xdg", "/home/u", "/xdg/VOLTTCP.INI"},
        {nullptr, "", "/home/u", "/home/u/.config/VOLTTCP.INI"},
        {nullptr, nullptr, "/home/u", "/home/u/.config/VOLTTCP.INI"},
    };
    for (const Case& c : cases) {
        const ScopedEnv ini("VOLTTCP_INI", c.ini);
        const ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
        const ScopedEnv home("HOME", c.home);
        EXPECT_EQ(CProfile::DefaultPath(), c.expected);
    }
}

}  // namespace
