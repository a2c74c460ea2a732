// One test per script in tests/vt/scripts: those in screen/ run against the screen model
// alone, those in terminal/ against the whole emulator, with `push` feeding its parser.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "tests/support/Files.h"
#include "tests/vt/VtParserScriptHost.h"
#include "tests/vt/VtScriptHost.h"

namespace {

const std::filesystem::path kScriptDir = std::filesystem::path(VOLTTCP_SOURCE_DIR) / "tests/vt/scripts";

std::unique_ptr<IVtScriptHost> HostFor(const std::string& folder)
{
    if (folder == "terminal")
        return std::make_unique<CParserScriptHost>();
    return std::make_unique<CModelScriptHost>();
}

// Every script as "folder/name", in order.
std::vector<std::string> Scripts()
{
    std::vector<std::string> names;
    for (const char* folder : {"screen", "terminal"}) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(kScriptDir / folder, error)) {
            if (entry.path().extension() == ".test")
                names.push_back(std::string(folder) + "/" + entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

class VtScript : public testing::TestWithParam<std::string> {};

TEST_P(VtScript, Passes)
{
    const std::filesystem::path path = kScriptDir / (GetParam() + ".test");
    const std::string text = ReadFile(path);
    ASSERT_FALSE(text.empty()) << path << " cannot be read";
    const std::unique_ptr<IVtScriptHost> host = HostFor(GetParam().substr(0, GetParam().find('/')));
    for (const std::string& failure : RunVtScript(text, GetParam(), *host))
        ADD_FAILURE() << failure;
}

INSTANTIATE_TEST_SUITE_P(Scripts, VtScript, testing::ValuesIn(Scripts()), [](const auto& param) {
    std::string name = param.param;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; },
        '_');
    return name;
});

// The runner itself must notice a wrong expectation, or every script passes vacuously.
TEST(VtScriptRunner, ReportsMismatchesWithLineNumbers)
{
    CModelScriptHost host;
    const std::vector<std::string> failures = RunVtScript("call WriteRun \"abc\"\n"
                                                          "expect row 0 \"abd\"\n"
                                                          "expect cursor 0,3\n"
                                                          "push \"x\"\n"
                                                          "bogus\n",
                                                          "t", host);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[0], "t:2: row 0: saw \"abc\", wanted \"abd\"");
    EXPECT_EQ(failures[1], "t:4: push: this host has no byte consumer");
    EXPECT_EQ(failures[2], "t:5: unknown command 'bogus'");
}

// So must the terminal host's own commands.
TEST(ParserScriptHost, ReportsWrongAnswersAndProperties)
{
    CParserScriptHost host;
    const std::vector<std::string> failures = RunVtScript("push \"\\e[6n\"\n"
                                                          "answers \"\\e[2;2R\"\n"
                                                          "prop kVtPropAutowrap 0\n"
                                                          "setprop kVtPropAutoWrap 0\n"
                                                          "fresh\n"
                                                          "expect row 0 \"\"\n",
                                                          "t", host);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(failures[0], "t:2: answers: saw \"\\e[1;1R\", wanted \"\\e[2;2R\"");
    EXPECT_EQ(failures[1], "t:3: prop kVtPropAutowrap: saw 1, wanted 0");
    EXPECT_EQ(failures[2], "t:4: no property named \"kVtPropAutoWrap\"");
}

}  // namespace
