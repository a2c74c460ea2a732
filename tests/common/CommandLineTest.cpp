#include "apps/common/CommandLine.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

const CProgramInfo kInfo{"tool", "VoltTCP Tool", "1.2.3", "Does one thing.", "  --port N   the port\n"};

struct SCase {
    std::vector<const char*> args;
    int exitCode;         // -1: the program goes on
    const char* errText;  // expected in standard error, or nullptr for none
    const char* port;     // --port's value, or nullptr
    bool headless;
    std::vector<std::string> arguments;
};

class CommandLine : public ::testing::TestWithParam<SCase> {};

TEST_P(CommandLine, AcceptsOrRefusesWithTheUsage)
{
    const SCase& c = GetParam();
    std::vector<char*> argv{const_cast<char*>("tool")};
    for (const char* arg : c.args)
        argv.push_back(const_cast<char*>(arg));
    CCommandLine line(kInfo, {{"--port", true}, {"--headless", false}}, 1);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const auto result = line.Parse(static_cast<int>(argv.size()), argv.data());
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(result.value_or(-1), c.exitCode) << err;
    if (c.errText) {
        EXPECT_NE(err.find(c.errText), std::string::npos) << err;
        EXPECT_NE(err.find("Usage: tool [options]"), std::string::npos) << err;
    } else {
        EXPECT_EQ(err, "");
    }
    if (c.exitCode == -1) {
        EXPECT_EQ(out, "");
        EXPECT_STREQ(line.Value("--port"), c.port);
        EXPECT_EQ(line.Has("--headless"), c.headless);
        EXPECT_EQ(line.Arguments(), c.arguments);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    ::testing::Values(
        SCase{{}, -1, nullptr, nullptr, false, {}},
        SCase{{"--port", "7", "--headless"}, -1, nullptr, "7", true, {}},
        SCase{{"--port=8", "--port", "9"}, -1, nullptr, "9", false, {}},
        SCase{{"host.example"}, -1, nullptr, nullptr, false, {"host.example"}},
        SCase{{"--", "-dash"}, -1, nullptr, nullptr, false, {"-dash"}},
        SCase{{"-platform", "offscreen", "--style", "fusion", "-reverse"}, -1, nullptr, nullptr, false, {}},
        SCase{{"--bogus"}, 2, "unknown option '--bogus'", nullptr, false, {}},
        SCase{{"-x"}, 2, "unknown option '-x'", nullptr, false, {}},
        SCase{{"--port"}, 2, "--port needs a value", nullptr, false, {}},
        SCase{{"--headless=yes"}, 2, "--headless takes no value", nullptr, false, {}},
        SCase{{"a", "b"}, 2, "unexpected argument 'b'", nullptr, false, {}},
        SCase{{"--bogus", "--help"}, 0, nullptr, nullptr, false, {}},
        SCase{{"--version"}, 0, nullptr, nullptr, false, {}}));

TEST(CommandLineHelp, HelpAndVersionGoToStandardOutput)
{
    char* help[] = {const_cast<char*>("tool"), const_cast<char*>("--help")};
    char* version[] = {const_cast<char*>("tool"), const_cast<char*>("--version")};
    CCommandLine line(kInfo, {});
    testing::internal::CaptureStdout();
    EXPECT_EQ(line.Parse(2, help), 0);
    const std::string helpText = testing::internal::GetCapturedStdout();
    EXPECT_NE(helpText.find("Does one thing."), std::string::npos);
    EXPECT_NE(helpText.find("--port N   the port"), std::string::npos);
    testing::internal::CaptureStdout();
    EXPECT_EQ(line.Parse(2, version), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "tool (VoltTCP Tool) 1.2.3\n");
}

TEST(CommandLineHelp, ABenchmarkTakesNoQtOptionsAndKeepsNoSettings)
{
    const CProgramInfo bench{"bench", "VoltTCP Bench", "1.2.3", "Measures.", "", false};
    char* platform[] = {const_cast<char*>("bench"), const_cast<char*>("-platform"), const_cast<char*>("xcb")};
    testing::internal::CaptureStderr();
    EXPECT_EQ(CCommandLine(bench, {}).Parse(3, platform), 2);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("unknown option '-platform'"), std::string::npos);
    const std::string help = CCommandLine::HelpText(bench);
    EXPECT_EQ(help.find("-platform"), std::string::npos) << help;
    EXPECT_EQ(help.find("VOLTTCP.INI"), std::string::npos) << help;
    EXPECT_NE(CCommandLine::HelpText(kInfo).find("-platform"), std::string::npos);
}

}  // namespace
