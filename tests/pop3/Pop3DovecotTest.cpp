// The component against dovecot on 127.0.0.1 (tests/peers/dovecot.sh), with the mailbox that
// tests/peers/make_mailbox.py writes with Python's email package: header listing, every
// message retrieved with its attachments byte-exact, mail files equal to the messages,
// deletion, an empty mailbox and a wrong password.

#include <unistd.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pop3/HeaderText.h"
#include "pop3/VoltPop3.h"
#include "tests/pop3/DovecotPeer.h"
#include "tests/pop3/MailText.h"
#include "tests/support/RunLoop.h"

namespace {

using namespace std::chrono_literals;

using dovecot::CDovecotPeer;
using dovecot::Sha256;
using dovecot::SManifest;

// A client that remembers what the server told it.
class CMailbox final : public CVoltPop3 {
public:
    bool loggedIn = false, closed = false, failed = false;
    std::string error;
    int count = -1;
    std::vector<std::string> subjects, froms;
    std::string text;
    std::vector<std::string> saved;
    std::vector<std::string> exceptions;
    int completed = 0;
    int replies = 0;

    void OnPop3Event(uint8_t status, uint8_t command, const char* data, uint32_t length, const char*, char,
                     uint16_t percent) override
    {
        const std::string bytes = data ? std::string(data, length) : std::string();
        if (status == Pop3Closed)
            closed = true;
        if (status == Pop3Error) {
            failed = true;
            error = bytes;
        }
        if (status == Pop3Ok) {
            ++replies;
            if (command == kPop3Pass)
                loggedIn = true;
            if (command == kPop3Stat)
                count = std::stoi(bytes.substr(4));
        }
        if (status == Pop3_Mail && command == kPop3Retr) {
            text += bytes;
            if (!data && percent == 100)
                ++completed;
        }
    }
    void OnFileClosed(const char* path, char, uint32_t) override { saved.emplace_back(path); }
    void OnException(uint8_t code, const char* what) override
    {
        if (code != 13)
            exceptions.push_back(what);
    }
    void OnHeader(uint8_t command, const char*, const char*, const char*, const char* from,
                  const char* subject, const char*, const char*, const char*) override
    {
        if (command == kPop3Top) {
            subjects.push_back(CHeaderText::Decode(subject));
            froms.push_back(from);
            ++completed;
        }
    }
};

class DovecotTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
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
        m_manifest = s_peer->Manifest();
        ASSERT_EQ(m_manifest.messages.size(), 7u);
    }

    bool Login(CMailbox& box, const char* user = "tester", std::string password = "")
    {
        if (password.empty())
            password = s_peer->Password();
        box.Connect(0, "127.0.0.1", s_peer->Port(), nullptr, 0, user, password.c_str());
        return RunUntil([&] { return box.loggedIn || box.failed || box.closed; }, 10s) && box.loggedIn;
    }
    static bool Stat(CMailbox& box)
    {
        box.Stat();
        return RunUntil([&] { return box.count >= 0 || box.failed; });
    }
    static void Quit(CMailbox& box)
    {
        box.Quit(false);
        EXPECT_TRUE(RunUntil([&] { return box.closed; }));
    }

    static CDovecotPeer* s_peer;
    static std::string s_skip;
    SManifest m_manifest;
};

CDovecotPeer* DovecotTest::s_peer = nullptr;
std::string DovecotTest::s_skip;

TEST_F(DovecotTest, HeaderListing)
{
    CMailbox box;
    ASSERT_TRUE(Login(box));
    ASSERT_TRUE(Stat(box));
    ASSERT_EQ(box.count, 7);
    for (uint32_t n = 1; n <= 7; ++n) {
        box.Top(n, 0);
        ASSERT_TRUE(RunUntil([&] { return box.completed == static_cast<int>(n) || box.failed; }));
    }
    for (int n = 1; n <= 7; ++n) {
        EXPECT_EQ(box.subjects[static_cast<size_t>(n - 1)],
                  " " + CHeaderText::Decode(m_manifest.messages[n].subject));
        EXPECT_EQ(box.froms[static_cast<size_t>(n - 1)], " " + m_manifest.messages[n].from);
    }
    EXPECT_EQ(box.subjects[5], " Embedded uuencode \xe2\x9c\x93");
    Quit(box);
}

TEST_F(DovecotTest, EveryMessageWithItsAttachmentsByteExact)
{
    CMailbox box;
    ASSERT_TRUE(Login(box));
    for (uint32_t n = 1; n <= 7; ++n) {
        SCOPED_TRACE("message " + std::to_string(n));
        mailtext::CScratchDir attachments, mail;
        box.text.clear();
        box.Retrieve(n, mail.File("Message." + std::to_string(n)).c_str(), attachments.Path().c_str());
        ASSERT_TRUE(RunUntil([&] { return box.completed == static_cast<int>(n) || box.closed; }, 10s));
        const SManifest::SMessage& wanted = m_manifest.messages[static_cast<int>(n)];
        std::map<std::string, std::string> found;
        for (const auto& [name, data] : attachments.Files())
            found[name] = Sha256(attachments.File(name));
        EXPECT_EQ(found, wanted.files);
        EXPECT_EQ(Sha256(mail.File("Message." + std::to_string(n))), wanted.sha256);
        for (const std::string& snippet : wanted.texts)
            EXPECT_NE(box.text.find(snippet), std::string::npos) << snippet;
    }
    EXPECT_TRUE(box.exceptions.empty());
    Quit(box);
}

TEST_F(DovecotTest, DeleteTakesEffectAfterQuit)
{
    {
        CMailbox box;
        ASSERT_TRUE(Login(box));
        box.Delete(1);
        ASSERT_TRUE(RunUntil([&] { return box.replies == 4 || box.failed; }));
        EXPECT_FALSE(box.failed);
        Quit(box);
    }
    CMailbox again;
    ASSERT_TRUE(Login(again));
    ASSERT_TRUE(Stat(again));
    EXPECT_EQ(again.count, 6);
    Quit(again);
}

TEST_F(DovecotTest, EmptyMailbox)
{
    CMailbox box;
    ASSERT_TRUE(Login(box, "empty"));
    ASSERT_TRUE(Stat(box));
    EXPECT_EQ(box.count, 0);
    Quit(box);
}

TEST_F(DovecotTest, WrongPassword)
{
    CMailbox box;
    EXPECT_FALSE(Login(box, "tester", "not-the-password"));
    EXPECT_TRUE(box.failed);
    EXPECT_EQ(box.error.compare(0, 4, "-ERR"), 0) << box.error;
    box.Quit(true);
}

}  // namespace
