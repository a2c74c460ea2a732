// One test per script in tests/vt/scripts.

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "VtScriptHost.h"

namespace {

std::vector<std::string> Scripts()
{
    std::vector<std::string> names;
    const std::filesystem::path dir = std::filesystem::path(VOLTTCP_SOURCE_DIR) / "tests/vt/scripts";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        if (entry.path().extension() == ".test")
            names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class VtScript : public testing::TestWithParam<std::string> {};

TEST_P(VtScript, Passes)
{
    const std::string path = std::string(VOLTTCP_SOURCE_DIR) + "/tests/vt/scripts/" + GetParam() + ".test";
    for (const std::string& failure : RunVtScriptFile(path))
        ADD_FAILURE() << failure;
}

std::string ScriptTestName(const testing::TestParamInfo<std::string>& param)
{
    std::string name = param.param;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; },
        '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Scripts, VtScript, testing::ValuesIn(Scripts()), ScriptTestName);

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

}  // namespace
