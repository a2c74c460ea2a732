#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "apps/common/About.h"
#include "apps/common/FormColors.h"
#include "apps/common/Profile.h"
#include "apps/fileclient/Client.h"
#include "apps/fileclient/MainForm.h"
#include "lib/VoltTcp.h"
#include "tests/ftp/FtpServers.h"
#include "tests/support/Files.h"
#include "tests/support/FormFit.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"
#include "tests/support/ScriptedPeer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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

class FileClientForm : public testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("VoltTCP FTP Client Sample"); }

    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("fileclient-test-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
        setenv("VOLTTCP_INI", (m_dir / "VOLTTCP.INI").c_str(), 1);
        m_profile = std::make_unique<CProfile>(CProfile::DefaultPath());
    }
    void TearDown() override
    {
        m_form.reset();
        unsetenv("VOLTTCP_INI");
        fs::remove_all(m_dir);
    }

    TfrmMain& Form()
    {
        if (!m_form) {
            m_form = std::make_unique<TfrmMain>(m_about, *m_profile);
            m_form->show();
        }
        return *m_form;
    }
    template <typename T>
    T* Find(const char* name)
    {
        T* child = Form().findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    void Type(const char* name, const std::string& text)
    {
        Find<QLineEdit>(name)->setText(QString::fromStdString(text));
    }
    void Click(const char* name) { Find<QPushButton>(name)->click(); }
    void Command(const char* command) { Find<QComboBox>("cboCmd")->setCurrentText(command); }
    std::string Log() { return Find<QPlainTextEdit>("mmoResponse")->toPlainText().toStdString(); }
    bool LogHas(const std::string& text, std::chrono::milliseconds timeout = 20s)
    {
        return RunUntil([&] { return Log().find(text) != std::string::npos; }, timeout);
    }
    // Waits for the end of what was started last: a reply line that begins with code.
    bool WaitReply(const std::string& code)
    {
        const size_t from = Log().size();
        return RunUntil(
            [&] {
                const std::string log = Log();
                const size_t at = log.find("\n" + code + " ", from > 0 ? from - 1 : 0);
                return at != std::string::npos;
            },
            20s);
    }

    bool LogIn(const SFtpServer& server, bool passive)
    {
        Type("edHost", server.Host());
        Type("edUser", server.user);
        Type("edPass", server.password);
        Click("btnLogin");
        if (!LogHas("230 ") || !RunUntil([&] { return Form().Client().CurrentCommand() == 1; }))
            return false;
        Find<QCheckBox>("cbxPassive")->setChecked(passive);
        return true;
    }

    fs::path m_dir;
    TfrmAbout m_about;
    std::unique_ptr<CProfile> m_profile;
    std::unique_ptr<TfrmMain> m_form;
};

TEST_F(FileClientForm, FirstStartShowsKeyNamesAndSavesTheFields)
{
    EXPECT_EQ(Find<QLineEdit>("edHost")->text(), "HostName");
    EXPECT_EQ(Find<QLineEdit>("edUser")->text(), "UserName");
    EXPECT_EQ(Find<QLineEdit>("edLocFile")->text(), "LocalFile");
    EXPECT_EQ(Find<QLineEdit>("edRemFile")->text(), "RemoteFile");
    EXPECT_EQ(Form().windowTitle(), "VoltTCP FTP Sample");
    EXPECT_TRUE(Find<QLabel>("lblCustom")->isVisible());
    Type("edHost", "ftp.example:2121");
    Type("edPass", "never-saved");
    m_form.reset();
    EXPECT_EQ(m_profile->GetString("FTP", "HostName", "", 300), "ftp.example:2121");
    EXPECT_EQ(ReadFile(m_dir / "VOLTTCP.INI").find("never-saved"), std::string::npos);
}

TEST_F(FileClientForm, FieldsFollowTheCommand)
{
    const struct {
        const char* command;
        const char* remoteCaption;  // "" when the remote field is hidden
        const char* localCaption;
        bool transfer;  // buffer, spool, binary, counters
        bool restart;
        bool passive;
    } cases[] = {
        {"HELP", "Command:", "", false, false, false},
        {"CWD", "Directory:", "", false, false, false},
        {"DELE", "FileSpec:", "", false, false, false},
        {"NLST", "FileSpec:", "", false, false, true},
        {"RENAME", "Old File:", "New File:", false, false, false},
        {"RETR", "Remote File:", "Local File:", true, true, true},
        {"STOU", "Remote File:", "Local File:", true, false, true},
        {"PWD", "", "", false, false, false},
        {"syst", "", "", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        Command(c.command);
        EXPECT_EQ(Find<QLineEdit>("edRemFile")->isVisible(), *c.remoteCaption != '\0');
        if (*c.remoteCaption) {
            EXPECT_EQ(Find<QLabel>("lblRemFile")->text(), c.remoteCaption);
        }
        EXPECT_EQ(Find<QLineEdit>("edLocFile")->isVisible(), *c.localCaption != '\0');
        if (*c.localCaption) {
            EXPECT_EQ(Find<QLabel>("lblLocFile")->text(), c.localCaption);
        }
        for (const char* name : {"edBuffer", "lblCount", "lblRate"})
            EXPECT_EQ(Find<QWidget>(name)->isVisible(), c.transfer) << name;
        EXPECT_EQ(Find<QCheckBox>("cbxAuto")->isVisible(), c.transfer);
        EXPECT_EQ(Find<QLineEdit>("edRestart")->isVisible(), c.restart);
        EXPECT_EQ(Find<QCheckBox>("cbxPassive")->isVisible(), c.passive);
        EXPECT_FALSE(Find<QLabel>("lblCustom")->isVisible());
    }
    Command("");
    EXPECT_TRUE(Find<QLabel>("lblCustom")->isVisible());

    Command("RETR");
    Type("edRestart", "1000");
    Find<QCheckBox>("cbxAuto")->click();
    EXPECT_FALSE(Find<QLineEdit>("edRestart")->isVisible());
    EXPECT_EQ(Find<QLineEdit>("edRestart")->text(), "0");
    Find<QCheckBox>("cbxAuto")->click();
    EXPECT_TRUE(Find<QLineEdit>("edRestart")->isVisible());
}

TEST_F(FileClientForm, NothingIsCutAtTheMinimumSize)
{
    Command("RETR");
    Form().resize(Form().minimumSizeHint());
    RunFor(50ms);
    EXPECT_GE(Form().width(), Form().minimumSizeHint().width());
    for (QWidget* widget : Form().findChildren<QWidget*>()) {
        if (!widget->isVisible() || widget->objectName() == "lblCustom")
            continue;
        if (qobject_cast<QLabel*>(widget) || qobject_cast<QPushButton*>(widget) ||
            qobject_cast<QCheckBox*>(widget)) {
            EXPECT_GE(widget->width(), widget->minimumSizeHint().width())
                << widget->objectName().toStdString();
        }
    }
    EXPECT_THAT(TextsCutAtMinimumSize(Form()), testing::IsEmpty());
}

TEST_F(FileClientForm, AFloodingServerCannotGrowTheLogWithoutEnd)
{
    CScriptedPeer server;
    Type("edHost", "127.0.0.1:" + std::to_string(server.Port()));
    Type("edUser", "");
    Click("btnLogin");
    ASSERT_TRUE(server.Accept());
    std::string flood;
    for (int i = 0; i < 18000; ++i)
        flood += "200 " + std::string(60, 'x') + "\r\n";
    flood += "garbage without a reply code\r\n211 end\r\n";
    ASSERT_TRUE(server.Send(flood, 30s));
    ASSERT_TRUE(RunUntil([&] { return LogHas("Buffers Reset", 0ms); }, 30s));
    const int length = Find<QPlainTextEdit>("mmoResponse")->document()->characterCount();
    EXPECT_GT(length, 1 << 18);
    EXPECT_LE(length, (1 << 20) + 4096);
}

TEST_F(FileClientForm, RateOfAnInstantTransferCountsOneMillisecond)
{
    EXPECT_EQ(CFtpClient::RateText(5, 0), "5000 Bytes/Sec");
    EXPECT_EQ(CFtpClient::RateText(1000000, 2000), "500000 Bytes/Sec");
}

struct SServerCase {
    EFtpServer server;
    bool passive;
};

class FileClientServer : public FileClientForm, public testing::WithParamInterface<SServerCase> {
protected:
    void SetUp() override
    {
        FileClientForm::SetUp();
        m_server = &FtpServer(GetParam().server);
        if (!m_server->running)
            GTEST_SKIP() << m_server->whyNot;
        m_work = std::string("form-") + (GetParam().passive ? "passive" : "active");
        fs::remove_all(m_server->root / m_work);
        m_server->Put(m_work + "/keep.txt", "");
        ASSERT_TRUE(LogIn(*m_server, GetParam().passive)) << Log();
        Command("CWD");
        Type("edRemFile", m_work);
        Click("btnCmd");
        ASSERT_TRUE(WaitReply("250")) << Log();
    }

    void Transfer(const char* command, const std::string& remote, const fs::path& local, bool autoSpool)
    {
        Command(command);
        Type("edRemFile", remote);
        Type("edLocFile", local.string());
        Type("edBuffer", "16384");
        if (Find<QCheckBox>("cbxAuto")->isChecked() != autoSpool)
            Find<QCheckBox>("cbxAuto")->click();
        Click("btnCmd");
    }

    const SFtpServer* m_server = nullptr;
    std::string m_work;
};

TEST_P(FileClientServer, TransfersThroughTheForm)
{
    EXPECT_NE(Log().find("---> PASS ******"), std::string::npos);
    EXPECT_EQ(Log().find(m_server->password), std::string::npos);
    EXPECT_EQ(BackgroundColor(Find<QLabel>("lblControl")), kColorGreen);

    const std::string content = Random(3 << 20, 11);
    m_server->Put(m_work + "/src.bin", content);
    for (const bool autoSpool : {true, false}) {
        SCOPED_TRACE(autoSpool ? "Auto Spool" : "spooled by the program");
        const fs::path down = m_dir / (autoSpool ? "auto.bin" : "own.bin");
        Transfer("RETR", "src.bin", down, autoSpool);
        ASSERT_TRUE(WaitReply("226")) << Log();
        ASSERT_TRUE(RunUntil([&] { return !Form().Client().SpoolingItself(); }));
        EXPECT_TRUE(ReadFile(down) == content);
        EXPECT_EQ(Find<QLabel>("lblCount")->text().toStdString(), std::to_string(content.size()));
        EXPECT_NE(Find<QLabel>("lblRate")->text().toStdString().find(" Bytes/Sec"), std::string::npos);
        EXPECT_EQ(BackgroundColor(Find<QLabel>("lblData")), kColorMaroon);

        const std::string remote = autoSpool ? "up-auto.bin" : "up-own.bin";
        Transfer("STOR", remote, down, autoSpool);
        ASSERT_TRUE(WaitReply("226")) << Log();
        EXPECT_TRUE(m_server->Get(m_work + "/" + remote) == content);
    }

    Command("NLST");
    Type("edRemFile", "");
    Click("btnCmd");
    ASSERT_TRUE(WaitReply("226")) << Log();
    EXPECT_NE(Log().find("up-own.bin"), std::string::npos);

    Command("syst");
    Click("btnCmd");
    EXPECT_TRUE(LogHas("---> syst\n215 ")) << Log();
}

TEST_P(FileClientServer, LongListingClearsTheLogAndKillEndsATransfer)
{
    for (int i = 0; i < 400; ++i)
        m_server->Put(m_work + "/a-file-with-a-rather-long-name-" + std::to_string(i) + ".txt", "x");
    Command("LIST");
    Type("edRemFile", "");
    Click("btnCmd");
    ASSERT_TRUE(WaitReply("226")) << Log().substr(0, 400);
    EXPECT_EQ(Log().find("230 "), std::string::npos);  // the log was cleared on the way
    EXPECT_LT(Log().size(), 20000u + 16384u);
    EXPECT_NE(Log().find("-399.txt"), std::string::npos);

    m_server->Put(m_work + "/big.bin", "");
    fs::resize_file(m_server->root / m_work / "big.bin", 1ull << 30);
    Transfer("RETR", "big.bin", m_dir / "big.bin", true);
    ASSERT_TRUE(RunUntil([&] { return Find<QLabel>("lblCount")->text() != "0"; }, 20s)) << Log();
    Click("btnKill");
    EXPECT_TRUE(RunUntil([&] { return BackgroundColor(Find<QLabel>("lblControl")) == kColorMaroon; }, 20s));
    EXPECT_GT(fs::file_size(m_dir / "big.bin"), 0u);
    EXPECT_LT(fs::file_size(m_dir / "big.bin"), 1ull << 30);
}

TEST_P(FileClientServer, ClosingTheWindowDuringATransferKeepsThePartialFile)
{
    m_server->Put(m_work + "/big.bin", "");
    fs::resize_file(m_server->root / m_work / "big.bin", 1ull << 30);
    for (const bool autoSpool : {true, false}) {
        SCOPED_TRACE(autoSpool ? "Auto Spool" : "spooled by the program");
        if (!m_form) {
            ASSERT_TRUE(LogIn(*m_server, GetParam().passive)) << Log();
            Command("CWD");
            Type("edRemFile", m_work);
            Click("btnCmd");
            ASSERT_TRUE(WaitReply("250")) << Log();
        }
        const fs::path local = m_dir / (autoSpool ? "auto.bin" : "own.bin");
        Transfer("RETR", "big.bin", local, autoSpool);
        ASSERT_TRUE(RunUntil([&] { return Find<QLabel>("lblCount")->text() != "0"; }, 20s)) << Log();
        EXPECT_TRUE(Form().close());
        m_form.reset();
        ASSERT_TRUE(fs::exists(local));
        const auto kept = fs::file_size(local);
        EXPECT_GT(kept, 0u);
        EXPECT_LT(kept, 1ull << 30);
        RunFor(200ms);  // nothing may still write to the file once the window is gone
        EXPECT_EQ(fs::file_size(local), kept);
    }
}

TEST_P(FileClientServer, LinkAtStartLogsIn)
{
    m_form.reset();
    m_server->Put("linked/file.txt", "linked");
    const std::string link =
        "ftp://" + m_server->user + ":" + m_server->password + "@" + m_server->Host() + "/linked/file.txt";
    ASSERT_TRUE(Form().OpenLink(QString::fromStdString(link)));
    EXPECT_EQ(Find<QLineEdit>("edHost")->text().toStdString(), m_server->Host());
    EXPECT_EQ(Find<QComboBox>("cboCmd")->currentText(), "RETR");
    EXPECT_EQ(Find<QLineEdit>("edRemFile")->text(), "file.txt");
    ASSERT_TRUE(LogHas("---> CWD linked\n250 ")) << Log();
    EXPECT_FALSE(Form().OpenLink("http://example.invalid/"));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, FileClientServer,
    testing::Values(SServerCase{EFtpServer::kVsftpd, true}, SServerCase{EFtpServer::kPyftpdlib, false}),
    [](const testing::TestParamInfo<SServerCase>& param) {
        return std::string(param.param.server == EFtpServer::kVsftpd ? "vsftpd_passive" : "pyftpdlib_active");
    });

}  // namespace
