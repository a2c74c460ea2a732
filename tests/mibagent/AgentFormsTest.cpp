#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "apps/common/About.h"
#include "apps/common/FormColors.h"
#include "apps/mibagent/Agent.h"
#include "apps/mibagent/MainForm.h"
#include "apps/mibagent/Trap.h"
#include "lib/SocketBinding.h"
#include "tests/mibagent/AgentHarness.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"
#include "tests/support/FormFit.h"
#include "tests/support/Loopback.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"

namespace {

using namespace std::chrono_literals;

class AgentFormsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("VoltTCP SNMP Agent"); }
    void TearDown() override { SocketBinding() = NativeSocketBinding(); }

    template <typename T>
    T* Find(QWidget& form, const char* name)
    {
        T* child = form.findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    // The form opened on a port the system chooses.
    uint16_t WaitListening(TfrmMain& form)
    {
        RunUntil([&] { return form.Agent().ListeningPort() != 0; });
        return form.Agent().ListeningPort();
    }

    TfrmAbout m_about;
    TfrmTrap m_trap;
};

TEST_F(AgentFormsTest, MainFormStartsListeningWithItsDefaults)
{
    TfrmMain form(m_about, m_trap, 0);
    EXPECT_EQ(form.objectName(), "TfrmMain");
    EXPECT_EQ(form.windowTitle(), "VoltTCP SNMP Agent");
    const uint16_t port = WaitListening(form);
    ASSERT_NE(port, 0);
    auto* status = Find<QLabel>(form, "StatusPanel");
    EXPECT_EQ(status->text(), QString("Listening on port %1").arg(port));
    EXPECT_EQ(BackgroundColor(status), kColorGreen);
    EXPECT_TRUE(Find<QLabel>(form, "ErrorPanel")->isHidden());
    EXPECT_TRUE(Find<QLabel>(form, "ActionPanel")->isHidden());
    EXPECT_EQ(BackgroundColor(Find<QLabel>(form, "ErrorPanel")), kColorMaroon);
    EXPECT_EQ(BackgroundColor(Find<QLabel>(form, "ActionPanel")), kColorYellow);
    const struct {
        const char* name;
        const char* text;
    } edits[] = {{"edSysDescr", "RODAVIV X.23b System A"},
                 {"edSysObjectId", "1.3.6.1.4.1.69.0"},
                 {"edSysContact", "Site Contact"},
                 {"edSysName", "Norvik"},
                 {"edSysLocation", "Here"}};
    for (const auto& e : edits)
        EXPECT_EQ(Find<QLineEdit>(form, e.name)->text(), e.text) << e.name;
    EXPECT_EQ(Find<QPushButton>(form, "btnReset")->text(), "Reset");
    EXPECT_EQ(Find<QPushButton>(form, "btnTrap")->text(), "Send Trap");
    EXPECT_EQ(Find<QPushButton>(form, "btnAbout")->text(), "About VoltTCP");
    QStringList groups;
    for (auto* g : form.findChildren<QGroupBox*>())
        groups << g->title();
    EXPECT_TRUE(groups.contains("Agent Status") && groups.contains("System OID Configuration"))
        << groups.join(",").toStdString();
}

TEST_F(AgentFormsTest, SetChangesTheEditAndAGetReturnsIt)
{
    TfrmMain form(m_about, m_trap, 0);
    const uint16_t port = WaitListening(form);
    ASSERT_NE(port, 0);
    SCommandResult r = RunCommand(SnmpCommand("snmpset", port, {"1.3.6.1.2.1.1.5.0", "s", "Lighthouse"}));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(Find<QLineEdit>(form, "edSysName")->text(), "Lighthouse");
    auto* action = Find<QLabel>(form, "ActionPanel");
    EXPECT_FALSE(action->isHidden());
    EXPECT_EQ(action->text(), "Last Action: SetRequest from: 127.0.0.1");

    Find<QLineEdit>(form, "edSysLocation")->setText("Up the hill");
    r = RunCommand(SnmpCommand("snmpget", port, {"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.6.0"}));
    EXPECT_NE(r.output.find("STRING: \"Lighthouse\""), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("STRING: \"Up the hill\""), std::string::npos) << r.output;
    EXPECT_EQ(action->text(), "Last Action: GetRequest from: 127.0.0.1");
}

TEST_F(AgentFormsTest, VersionTwoShowsTheErrorUntilReset)
{
    TfrmMain form(m_about, m_trap, 0);
    const uint16_t port = WaitListening(form);
    ASSERT_NE(port, 0);
    const SCommandResult r = RunCommand(SnmpCommand("snmpget", port, {"1.3.6.1.2.1.1.5.0"}, "2c"));
    EXPECT_NE(r.output.find("Timeout"), std::string::npos) << r.output;
    auto* error = Find<QLabel>(form, "ErrorPanel");
    EXPECT_FALSE(error->isHidden());
    EXPECT_EQ(error->text(), "SNMP packet received: Version not supported.");
    Find<QPushButton>(form, "btnReset")->click();
    EXPECT_TRUE(error->isHidden());
    EXPECT_NE(WaitListening(form), 0);
}

TEST_F(AgentFormsTest, PortWithoutPrivilegeShowsPermissionDenied)
{
    TfrmMain form(m_about, m_trap, 0);
    ASSERT_NE(WaitListening(form), 0);
    SocketBinding().bind = [](int, const sockaddr*, socklen_t) {
        errno = EACCES;
        return -1;
    };
    Find<QLineEdit>(form, "edPort")->setText("161");
    Find<QPushButton>(form, "btnReset")->click();
    auto* status = Find<QLabel>(form, "StatusPanel");
    EXPECT_EQ(status->text(), "Not Listening");
    EXPECT_EQ(BackgroundColor(status), kColorMaroon);
    auto* error = Find<QLabel>(form, "ErrorPanel");
    EXPECT_FALSE(error->isHidden());
    EXPECT_EQ(error->text(), "Permission Denied");
    EXPECT_EQ(form.Agent().Port(), 161);
}

TEST_F(AgentFormsTest, NothingIsCutAtTheMinimumSize)
{
    TfrmMain form(m_about, m_trap, 0);
    ASSERT_NE(WaitListening(form), 0);
    Find<QLineEdit>(form, "edPort")->setText("65535");
    EXPECT_THAT(TextsCutAtMinimumSize(form), testing::IsEmpty());
    const SCommandResult r =
        RunCommand(SnmpCommand("snmpget", form.Agent().ListeningPort(), {"1.3.6.1.2.1.1.5.0"}));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_THAT(TextsCutAtMinimumSize(form), testing::IsEmpty());  // with the last action shown
    for (const char* name : {"edDestination", "edCommunity", "edEnterprise"})
        Find<QLineEdit>(m_trap, name)->setText("255.255.255.255");
    EXPECT_THAT(TextsCutAtMinimumSize(m_trap), testing::IsEmpty());
    m_trap.hide();
}

TEST_F(AgentFormsTest, ClosingTheMainWindowEndsTheProgramAndItsSocket)
{
    auto form = std::make_unique<TfrmMain>(m_about, m_trap, 0);
    const uint16_t port = WaitListening(*form);
    ASSERT_NE(port, 0);
    m_trap.show();
    EXPECT_TRUE(ClosingEndsTheRun(*form));
    m_trap.hide();
    form.reset();  // what the program's end does
    const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address))
        << "the port is still held";
    close(probe);
}

TEST_F(AgentFormsTest, TrapFormSendsTheDefaultTrap)
{
    EXPECT_EQ(m_trap.windowTitle(), "Send Trap");
    const struct {
        const char* name;
        const char* text;
    } edits[] = {{"edDestination", "255.255.255.255"},
                 {"edCommunity", "orchid"},
                 {"edEnterprise", "1.3.6.1"},
                 {"edGen", "6"},
                 {"edSpec", "1"}};
    for (const auto& e : edits) {
        auto* edit = Find<QLineEdit>(m_trap, e.name);
        EXPECT_EQ(edit->text(), e.text) << e.name;
        EXPECT_EQ(edit->maxLength(), 15) << e.name;
    }
    EXPECT_TRUE(Find<QPushButton>(m_trap, "btnSend")->isDefault());
    EXPECT_EQ(Find<QPushButton>(m_trap, "btnDone")->text(), "Done");

    TfrmMain form(m_about, m_trap, 0);
    ASSERT_NE(WaitListening(form), 0);
    const CTempDir dir("mibagent-test");
    const std::string config = dir.Path("snmptrapd.conf");
    std::ofstream(config) << "disableAuthorization yes\n";
    const uint16_t trapPort = UnusedLoopbackPort(SOCK_DGRAM);
    const std::string log = dir.Path("traps.log");
    CChildProcess trapd;
    ASSERT_TRUE(trapd.Start({"snmptrapd", "-f", "-Lo", "-C", "-c", config, "-n", "-m", "", "-On", "-F",
                             "TRAP %N generic=%w specific=%q from %a\\n%v\\n",
                             "127.0.0.1:" + std::to_string(trapPort)},
                            log));
    m_trap.SetAgent(&form.Agent());
    m_trap.SetTrapPort(trapPort);
    Find<QLineEdit>(m_trap, "edDestination")->setText("127.0.0.1");
    bool received = false;
    for (int attempt = 0; attempt < 40 && !received; ++attempt) {
        if (ReadFile(log).find("NET-SNMP version") != std::string::npos)
            Find<QPushButton>(m_trap, "btnSend")->click();
        RunFor(100ms);
        received = ReadFile(log).find("TRAP") != std::string::npos;
    }
    trapd.Stop();
    const std::string text = ReadFile(log);
    ASSERT_TRUE(received) << text;
    EXPECT_NE(text.find("TRAP .1.3.6.1 generic=6 specific=.1 from " + form.Agent().AgentAddress() + "\n"),
              std::string::npos)
        << text;
    for (int i = 1; i <= 3; ++i)
        EXPECT_NE(text.find(".1.3.6.1." + std::to_string(i) +
                            " = STRING: \"Test Trap from VoltTCP SNMP Agent, Value-" + std::to_string(i) +
                            "\""),
                  std::string::npos)
            << text;
}

}  // namespace
