// One test per script in tests/vt-parser/scripts, run against the whole emulator.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/vt-parser/VtParserScriptHost.h"

namespace {

const char kScriptDir[] = "tests/vt-parser/scripts";

std::vector<std::string> Scripts()
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(VOLTTCP_SOURCE_DIR) / kScriptDir, error)) {
        if (entry.path().extension() == ".test")
            names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class ParserScript : public testing::TestWithParam<std::string> {};

TEST_P(ParserScript, Passes)
{
    const std::string path = std::string(VOLTTCP_SOURCE_DIR) + "/" + kScriptDir + "/" + GetParam() + ".test";
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    std::ostringstream text;
    text << file.rdbuf();
    CParserScriptHost host;
    for (const std::string& failure : RunVtScript(text.str(), GetParam(), host))
        ADD_FAILURE() << failure;
}

INSTANTIATE_TEST_SUITE_P(Scripts, ParserScript, testing::ValuesIn(Scripts()), [](const auto& param) {
    std::string name = param.param;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; },
        '_');
    return name;
});

// The host's own commands must be able to fail, or scripts using them pass vacuously.
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
