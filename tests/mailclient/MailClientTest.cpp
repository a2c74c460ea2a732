// The mail program's forms offscreen against the private dovecot: header listing, retrieval
// on double click, deletion, "Save Messages", a wrong password, an empty mailbox, the
// settings dialog, and a window closed in the middle of a retrieval.

#include <stdlib.h>

#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "apps/common/Profile.h"
#include "apps/mailclient/MainForm.h"
#include "apps/mailclient/Settings.h"
#include "lib/VoltTcp.h"
#include "tests/pop3/DovecotPeer.h"
#include "tests/pop3/MailText.h"
#include "tests/support/FormFit.h"
#include "tests/support/Loopback.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"

namespace {

using namespace std::chrono_literals;
using dovecot::CDovecotPeer;

class MailClientTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        EnsureQtTestApp("VoltTCP POP3 Sample");
        s_peer = new CDovecotPeer();
        s_skip = s_peer->Start();
    }
    static void TearDownTestSuite()
    {
        delete s_peer;
        s_peer = nullptr;
    }
    void SetUp() override
    {
        if (!s_skip.empty())
            GTEST_SKIP() << s_skip;
        ASSERT_TRUE(s_peer->ResetMailbox());
        setenv("VOLTTCP_INI", m_ini.File("VOLTTCP.INI").c_str(), 1);
        CProfile profile(m_ini.File("VOLTTCP.INI"));
        profile.WriteString("POP3", "Server", "127.0.0.1:" + std::to_string(s_peer->Port()));
        profile.WriteString("POP3", "Account", "tester");
        profile.WriteString("POP3", "Password", s_peer->Password());
        profile.WriteString("POP3", "AttachDir", m_attach.Path());
        m_profile = std::make_unique<CProfile>(m_ini.File("VOLTTCP.INI"));
        m_form = std::make_unique<TfrmMain>(*m_profile, nullptr);
        m_form->show();
    }
    void TearDown() override
    {
        m_form.reset();
        unsetenv("VOLTTCP_INI");
    }

    template <typename T>
    T* Find(const char* name)
    {
        return m_form->findChild<T*>(name);
    }
    QString Action() { return Find<QLabel>("ActionPanel")->text(); }
    QString Status() { return Find<QLabel>("StatusPanel")->text(); }
    QListWidget* List() { return Find<QListWidget>("lbxMessage"); }
    bool ListHeaders(int count)
    {
        m_form->mnuHeadersClick();
        return RunUntil([&] { return List()->isEnabled() && List()->count() == count; }, 15s);
    }
    bool WaitClosed()
    {
        return RunUntil(
            [&] { return Status() == "Not Connected" && m_form->Client().GetState() == CVoltTcp::Closed; },
            15s);
    }
    // Answers the next modal box (message box or dialog) and returns its text.
    void AnswerModal(QString* text, bool accept = true)
    {
        QTimer::singleShot(20, [this, text, accept] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                if (auto* box = qobject_cast<QMessageBox*>(modal))
                    *text = box->text();
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    accept ? dialog->accept() : dialog->reject();
            } else {
                AnswerModal(text, accept);
            }
        });
    }
    void Screenshot(QWidget* widget, const char* name)
    {
        if (const char* dir = getenv("VOLTTCP_SCREENSHOTS"))
            widget->grab().save(QString(dir) + "/" + name + ".png");
    }

    static CDovecotPeer* s_peer;
    static std::string s_skip;
    mailtext::CScratchDir m_ini, m_attach;
    std::unique_ptr<CProfile> m_profile;
    std::unique_ptr<TfrmMain> m_form;
};

CDovecotPeer* MailClientTest::s_peer = nullptr;
std::string MailClientTest::s_skip;

TEST_F(MailClientTest, ListRetrieveDeleteAndClose)
{
    EXPECT_EQ(m_form->windowTitle(), "VoltTCP POP3 Sample");
    EXPECT_EQ(Status(), "Not Connected");
    ASSERT_TRUE(ListHeaders(7)) << Action().toStdString();
    EXPECT_EQ(Action(), "Retrieved 7 Headers");
    EXPECT_TRUE(Status().startsWith("Connected to 127.0.0.1"));
    EXPECT_EQ(List()->item(0)->text().trimmed().toStdString(),
              "1    Plain message" + std::string(12, ' ') + "Sender 1 <sender1@example.org>");
    EXPECT_TRUE(List()->item(5)->text().contains(QString::fromUtf8("Embedded uuencode \xe2\x9c\x93")));
    EXPECT_FALSE(Find<QAction>("mnuHeaders")->isEnabled());
    EXPECT_TRUE(Find<QAction>("mnuClose")->isEnabled());
    Screenshot(m_form.get(), "mailclient-list");

    List()->setCurrentRow(2);
    m_form->lbxMessageDblClick();
    ASSERT_TRUE(RunUntil([&] { return Find<QGroupBox>("ViewMailMessage")->isVisible(); }, 15s));
    EXPECT_EQ(Action(), "Retrieved Message Number  3");
    const QString memo = Find<QPlainTextEdit>("mmoMessage")->toPlainText();
    EXPECT_TRUE(memo.contains("Subject: Mixed with a binary attachment")) << memo.toStdString();
    EXPECT_TRUE(memo.contains("See the attached binary."));
    EXPECT_EQ(dovecot::Sha256(m_attach.File("random.bin")),
              s_peer->Manifest().messages[3].files["random.bin"]);
    RunFor(100ms);
    Screenshot(m_form.get(), "mailclient-message");

    List()->setCurrentRow(0);
    int asked = 0;
    static int* s_asked = nullptr;
    s_asked = &asked;
    m_form->DeleteSelected([](QWidget*, int number) {
        *s_asked = number;
        return true;
    });
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(RunUntil([&] { return List()->isEnabled() && List()->count() == 6; }, 10s));
    EXPECT_TRUE(List()->item(0)->text().startsWith("2 "));

    m_form->mnuCloseClick();
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(List()->count(), 0);
    EXPECT_TRUE(Find<QAction>("mnuHeaders")->isEnabled());
    EXPECT_FALSE(Find<QAction>("mnuClose")->isEnabled());
    ASSERT_TRUE(ListHeaders(6));
    m_form->mnuCloseClick();
    ASSERT_TRUE(WaitClosed());
}

TEST_F(MailClientTest, SaveMessagesWritesEveryMessageAndDisconnects)
{
    m_form->mnuSaveAllClick();
    ASSERT_TRUE(RunUntil([&] { return !m_form->Client().SaveAll && m_form->Client().Count == 7; }, 20s));
    ASSERT_TRUE(WaitClosed());
    const dovecot::SManifest manifest = s_peer->Manifest();
    for (int n = 1; n <= 7; ++n) {
        EXPECT_EQ(dovecot::Sha256(m_attach.File("Message." + std::to_string(n))),
                  manifest.messages.at(n).sha256)
            << n;
        for (const auto& [name, sha] : manifest.messages.at(n).files)
            EXPECT_EQ(dovecot::Sha256(m_attach.File(name)), sha) << name;
    }
    // Unique names: a second run keeps the first run's files.
    m_form->Client().Unique = true;
    m_form->mnuSaveAllClick();
    ASSERT_TRUE(RunUntil([&] { return !m_form->Client().SaveAll && m_form->Client().Count == 7; }, 20s));
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(dovecot::Sha256(m_attach.File("Messag1.1")), manifest.messages.at(1).sha256);
    EXPECT_EQ(dovecot::Sha256(m_attach.File("rando1.bin")), manifest.messages.at(3).files.at("random.bin"));
    for (const auto& [name, data] : m_attach.Files())
        EXPECT_NE(name[0], '.') << name;
}

TEST_F(MailClientTest, WrongPasswordShowsTheServerError)
{
    m_form->Client().Password = "wrong";
    m_form->mnuHeadersClick();
    ASSERT_TRUE(RunUntil([&] { return Find<QLabel>("ServerErrorPanel")->isVisible(); }, 15s));
    EXPECT_TRUE(Find<QLabel>("ServerErrorPanel")->text().startsWith("-ERR"));
    ASSERT_TRUE(WaitClosed());
    EXPECT_TRUE(Find<QAction>("mnuHeaders")->isEnabled());
}

TEST_F(MailClientTest, EmptyMailbox)
{
    m_form->Client().Account = "empty";
    QString text;
    AnswerModal(&text);
    m_form->mnuHeadersClick();
    ASSERT_TRUE(WaitClosed());
    EXPECT_EQ(text, "No Messages on Server");
}

TEST_F(MailClientTest, RefusedConnectionComesBackToRest)
{
    m_form->Client().Server = "127.0.0.1:" + std::to_string(UnusedLoopbackPort());
    m_form->mnuHeadersClick();
    ASSERT_TRUE(RunUntil([&] { return Action().startsWith("EXCEPTION:"); }, 10s));
    EXPECT_TRUE(Find<QAction>("mnuHeaders")->isEnabled());
    EXPECT_TRUE(Find<QAction>("mnuSettings")->isEnabled());
    m_form->Client().Server = "127.0.0.1:notaport";
    m_form->mnuHeadersClick();
    EXPECT_TRUE(Action().startsWith("EXCEPTION:"));
    EXPECT_TRUE(Find<QAction>("mnuHeaders")->isEnabled());
}

TEST_F(MailClientTest, NothingIsCutAtTheMinimumSize)
{
    EXPECT_THAT(TextsCutAtMinimumSize(*m_form), testing::IsEmpty());
    ASSERT_TRUE(ListHeaders(7)) << Action().toStdString();
    EXPECT_THAT(TextsCutAtMinimumSize(*m_form), testing::IsEmpty());
    TfrmSettings& settings = m_form->Settings();
    EXPECT_THAT(TextsCutAtMinimumSize(settings), testing::IsEmpty());
    settings.hide();
}

TEST_F(MailClientTest, SettingsDialogKeepsEveryValue)
{
    TfrmSettings& settings = m_form->Settings();
    QTimer::singleShot(50, [&] {
        settings.findChild<QLineEdit*>("edServer")->setText("mail.example.org:1110");
        settings.findChild<QLineEdit*>("edAccount")->setText("ann");
        settings.findChild<QLineEdit*>("edPassword")->setText("pw");
        settings.findChild<QCheckBox*>("chkUnique")->setChecked(true);
        settings.findChild<QPushButton*>("btnAttach")->click();
        EXPECT_TRUE(settings.findChild<QGroupBox*>("ChooseAttachDir")->isVisible());
        settings.SetDirectory(QString::fromStdString(m_ini.Path()));
        Screenshot(&settings, "mailclient-settings");
        settings.findChild<QPushButton*>("btnOk")->click();
        Screenshot(&settings, "mailclient-settings-main");
        settings.findChild<QPushButton*>("btnSave")->click();
    });
    m_form->mnuSettingsClick();
    CProfile profile(m_ini.File("VOLTTCP.INI"));
    EXPECT_EQ(profile.GetString("POP3", "Server", "", 255), "mail.example.org:1110");
    EXPECT_EQ(profile.GetString("POP3", "Account", "", 255), "ann");
    EXPECT_EQ(profile.GetString("POP3", "Password", "", 255), "pw");
    EXPECT_EQ(profile.GetString("POP3", "AttachDir", "", 255), m_ini.Path());
    EXPECT_EQ(profile.GetString("POP3", "Unique", "", 255), "1");
    EXPECT_EQ(m_form->findChild<QLineEdit*>("edPassword")->echoMode(), QLineEdit::Password);
}

TEST_F(MailClientTest, ClosingDuringARetrievalLeavesNoHalfFile)
{
    ASSERT_TRUE(s_peer->ResetMailbox("--only-big --big-base64 8"));
    ASSERT_TRUE(ListHeaders(1));
    List()->setCurrentRow(0);
    m_form->lbxMessageDblClick();
    ASSERT_TRUE(RunUntil([&] { return Action().startsWith("Decoding:"); }, 15s));
    EXPECT_FALSE(m_attach.Files().empty());  // being written, under a hidden name
    m_form->close();
    m_form.reset();
    EXPECT_TRUE(m_attach.Files().empty());
}

}  // namespace
