#include <memory>

#include <gtest/gtest.h>

#include <QApplication>

namespace {

// Created before the first test and destroyed after the last, while Qt is still whole.
class CQtEnvironment final : public ::testing::Environment {
public:
    void SetUp() override { m_app = std::make_unique<QApplication>(m_argc, m_argv); }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "vt_qt_tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};

const ::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new CQtEnvironment);

}  // namespace
