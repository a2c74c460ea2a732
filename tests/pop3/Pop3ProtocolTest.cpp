// The engine's commands and replies: login driven by the greeting, one-line replies, TOP,
// the RETR status line, over-long arguments, and handlers that move on inside an event.

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pop3/MailFile.h"
#include "tests/pop3/MailText.h"
#include "tests/pop3/Pop3Recorder.h"
#include "tests/support/Files.h"

namespace {

const std::string kHeader =
    "Return-Path: <r@example.org>\r\nReceived: from a\r\n\tby b\r\nReceived: from c\r\n"
    "Received: from d\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\nfrom: Ann <ann@example.org>\r\n"
    "Subject: folded\r\n subject\r\nTo: bob@example.org\r\nCC: carl@example.org\r\n";

void Feed(CPop3Recorder& r, const std::vector<std::string>& chunks)
{
    for (const std::string& chunk : chunks)
        r.Wire().Receive(chunk);
}

TEST(Pop3Login, GreetingSplitOverChunksGivesOneEventAndTheLoginFollows)
{
    CPop3Recorder r;
    ASSERT_TRUE(r.Connect(0, "127.0.0.1", 110, nullptr, 0, "ann", "secret"));
    Feed(r, {"+OK Dove", "cot ready.", "\r", "\n"});
    ASSERT_EQ(r.Wire().sent, std::vector<std::string>{"USER ann\r\n"});
    Feed(r, {"+OK\r\n"});
    Feed(r, {"+OK Logged in.\r\n"});
    EXPECT_EQ(r.Wire().sent, (std::vector<std::string>{"USER ann\r\n", "PASS secret\r\n"}));
    EXPECT_EQ(r.transcript, (std::vector<std::string>{"ok 12 +OK Dovecot ready.\r\n", "ok 11 +OK\r\n",
                                                      "ok 4 +OK Logged in.\r\n"}));
    EXPECT_EQ(r.Wire().lastTag, kPop3Pass);
    r.Wire().OnSent(kPop3Pass);
    EXPECT_EQ(r.commandsSent, std::vector<std::string>{"PASS secret\r\n"});
}

TEST(Pop3Login, NegativeRepliesStopTheLogin)
{
    for (const char* greeting : {"-ERR go away\r\n", "+OK\r\n"}) {
        CPop3Recorder r;
        r.Connect(0, "127.0.0.1", 110, nullptr, 0, "ann", "secret");
        Feed(r, {greeting, "-ERR unknown user\r\n"});
        EXPECT_LE(r.Wire().sent.size(), 1u);
        EXPECT_EQ(r.transcript.back().compare(0, 5, "error"), 0) << r.transcript.back();
    }
}

TEST(Pop3Login, OverlongOrMultilineArgumentsAreRefused)
{
    struct SArgs {
        std::string user, password, exception;
        bool accepted;
    };
    const std::vector<SArgs> table = {
        {std::string(248, 'u'), std::string(248, 'p'), "", true},
        {std::string(249, 'u'), "p", "16 Command line too long", false},
        {"u", std::string(5000, 'p'), "16 Command line too long", false},
        {"u", "p\r\nDELE 1", "16 Command argument holds a line break", false},
        {"u\n", "p", "16 Command argument holds a line break", false},
    };
    for (const SArgs& a : table) {
        CPop3Recorder r;
        EXPECT_EQ(r.Connect(0, "127.0.0.1", 110, nullptr, 0, a.user.c_str(), a.password.c_str()), a.accepted);
        if (!a.accepted) {
            EXPECT_EQ(r.exceptions, std::vector<std::string>{a.exception});
            continue;
        }
        Feed(r, {"+OK\r\n", "+OK\r\n"});
        ASSERT_EQ(r.Wire().sent.size(), 2u);
        EXPECT_EQ(r.Wire().sent[1].size(), 255u);
    }
}

TEST(Pop3Commands, LinesAndOneLineReplies)
{
    struct SCommand {
        std::function<bool(CVoltPop3&)> call;
        std::string line;
        uint8_t code;
    };
    const std::vector<SCommand> table = {
        {[](CVoltPop3& p) { return p.Stat(); }, "STAT\r\n", kPop3Stat},
        {[](CVoltPop3& p) { return p.Delete(3); }, "DELE 3\r\n", kPop3Dele},
        {[](CVoltPop3& p) { return p.Delete(0); }, "DELE \r\n", kPop3Dele},
        {[](CVoltPop3& p) { return p.Retrieve(0, nullptr, nullptr); }, "RETR \r\n", kPop3Retr},
        {[](CVoltPop3& p) { return p.Top(12, 0); }, "TOP 12 0\r\n", kPop3Top},
        {[](CVoltPop3& p) { return p.Quit(false); }, "QUIT\r\n", kPop3Quit},
    };
    for (const SCommand& c : table) {
        CPop3Recorder r;
        ASSERT_TRUE(c.call(r));
        EXPECT_EQ(r.Wire().sent, std::vector<std::string>{c.line});
        EXPECT_EQ(r.Wire().Command(), c.code);
        if (c.code == kPop3Retr || c.code == kPop3Top)
            continue;
        Feed(r, {"+OK 2 3", "20\r\n"});
        EXPECT_EQ(r.transcript, std::vector<std::string>{"ok " + std::to_string(c.code) + " +OK 2 320\r\n"});
        EXPECT_EQ(r.percents, std::vector<uint16_t>{100});
    }
}

TEST(Pop3Top, HeaderBlockAndFields)
{
    CPop3Recorder r;
    r.Top(1, 0);
    const std::string reply = "+OK\r\n" + kHeader + "\r\n.\r\n";
    for (size_t cut = 1; cut < reply.size(); cut += 7)
        r.Wire().Receive(reply.substr(cut - 1, std::min<size_t>(7, reply.size() - cut + 1)));
    ASSERT_EQ(r.transcript.size(), 3u);
    EXPECT_EQ(r.transcript[0], "ok 9 +OK\r\n");
    EXPECT_EQ(r.transcript[1], "text " + kHeader + "\r");
    EXPECT_EQ(r.transcript[2], "fields 9");
    ASSERT_EQ(r.headers.size(), 1u);
    EXPECT_EQ(r.headers[0], " <r@example.org>| from a\r\n\tby b\r\nReceived: from c\r\nReceived: from d|"
                            " Mon, 1 Jan 2024 10:00:00 +0000| Ann <ann@example.org>| folded\r\n subject||"
                            " bob@example.org| carl@example.org");
}

TEST(Pop3Top, ErrorEndsAtTheFirstLineEvenWhenSplit)
{
    for (const std::vector<std::string>& chunks :
         {std::vector<std::string>{"-ERR no such message\r\n"},
          std::vector<std::string>{"-ER", "R no such message\r\n"}}) {
        CPop3Recorder r;
        r.Top(9, 0);
        Feed(r, chunks);
        EXPECT_EQ(r.transcript, std::vector<std::string>{"error 9 -ERR no such message\r\n"});
    }
}

TEST(Pop3Top, EmptyHeader)
{
    CPop3Recorder r;
    r.Top(1, 0);
    Feed(r, {"+OK\r\n.\r\n"});
    EXPECT_EQ(r.transcript, (std::vector<std::string>{"ok 9 +OK\r\n", "text ", "fields 9"}));
}

TEST(Pop3Retrieve, ExpectedSizeForms)
{
    const std::vector<std::pair<std::string, uint32_t>> table = {
        {"+OK 2048 octets\r\n", 2048},
        {"+OK message follows (2048 octets)\r\n", 2048},
        {"+OK\r\n", 10000},
        {"+OK 99999999999999999999 OCTETS\r\n", 4294967295u},
        {"+OK octets\r\n", 0},
    };
    for (const auto& [line, size] : table)
        EXPECT_EQ(CPop3::ParseExpectedSize(line), size) << line;
}

TEST(Pop3Retrieve, PercentStaysBelowHundredUntilTheEndMark)
{
    for (const char* status : {"+OK\r\n", "+OK 0 octets\r\n", "+OK 100 octets\r\n"}) {
        CPop3Recorder r;
        r.Retrieve(1, nullptr, nullptr);
        Feed(r, {status, "Subject: s\r\n\r\n", std::string(20000, 'x'), "\r\n", std::string(20000, 'y')});
        for (size_t i = 1; i < r.percents.size(); ++i)
            EXPECT_LE(r.percents[i], 99) << status;
        EXPECT_EQ(r.percents.back(), 99) << status;
        Feed(r, {"\r\n.\r\n"});
        EXPECT_EQ(r.percents.back(), 100);
        EXPECT_EQ(r.transcript.back(), "done");
        EXPECT_EQ(r.text.size(), 40004u);
    }
}

TEST(Pop3Retrieve, NegativeStatusLine)
{
    CPop3Recorder r;
    r.Retrieve(7, nullptr, nullptr);
    Feed(r, {"-ERR no such message\r\nignored"});
    EXPECT_EQ(r.transcript, std::vector<std::string>{"error 7 -ERR no such message\r\n"});
}

TEST(Pop3Retrieve, HeaderEventsInOrder)
{
    CPop3Recorder r;
    r.Retrieve(1, nullptr, nullptr);
    Feed(r, {"+OK 10 octets\r\n", kHeader, "\r\nbody\r\n.\r\n"});
    EXPECT_EQ(r.transcript, (std::vector<std::string>{"ok 7 +OK 10 octets\r\n", "header " + kHeader + "\r\n",
                                                      "fields 7", "text body\r\n", "done"}));
}

TEST(Pop3Retrieve, MailFileHoldsTheWholeMessage)
{
    mailtext::CScratchDir dir;
    const std::string message =
        "Subject: keep\r\nContent-Type: multipart/mixed; boundary=k\r\n\r\n--k\r\n\r\ntext\r\n"
        "--k\r\nContent-Disposition: attachment; filename=a.txt\r\n\r\nfile\r\n--k--\r\n"
        ".stuffed line\r\n";
    CPop3Recorder r;
    r.Retrieve(1, dir.File("Message.1").c_str(), dir.Path().c_str());
    Feed(r, {"+OK\r\n", mailtext::Wire(message)});
    EXPECT_EQ(ReadFile(dir.File("Message.1")), message);
    EXPECT_EQ(ReadFile(dir.File("a.txt")), "file");
    EXPECT_EQ(dir.Files().size(), 2u);
    EXPECT_EQ(r.transcript[r.transcript.size() - 2], "saved Message.1   " + std::to_string(message.size()));
}

TEST(Pop3Retrieve, UniqueNamesKeepEveryFile)
{
    mailtext::CScratchDir dir;
    WriteFile(dir.File("report.txt"), "old");
    WriteFile(dir.File("repor1.txt"), "older");
    CPop3Recorder r;
    ASSERT_TRUE(r.Connect(UniqueNames, "127.0.0.1", 110, nullptr, 0, "u", "p"));
    r.Retrieve(1, nullptr, dir.Path().c_str());
    Feed(r, {"+OK\r\n", "Content-Disposition: attachment; filename=report.txt\r\n\r\nnew\r\n.\r\n"});
    EXPECT_EQ(ReadFile(dir.File("repor2.txt")), "new\r\n");
    EXPECT_EQ(ReadFile(dir.File("report.txt")), "old");
    EXPECT_EQ(CMailFile::NumberedName("report.txt", 10), "repo10.txt");
    EXPECT_EQ(CMailFile::NumberedName("a.tar.gz", 12), "a12.tar.gz");
    EXPECT_EQ(CMailFile::NumberedName("Message", 3), "Messag3");
}

TEST(Pop3Retrieve, NeverThroughASymbolicLinkNorOverAnything)
{
    mailtext::CScratchDir dir, elsewhere;
    ASSERT_EQ(symlink(elsewhere.File("target").c_str(), dir.File("link.txt").c_str()), 0);
    ASSERT_EQ(mkdir(dir.File("sub.txt").c_str(), 0700), 0);
    for (const char* name : {"link.txt", "sub.txt"}) {
        CPop3Recorder r;
        r.Retrieve(1, nullptr, dir.Path().c_str());
        Feed(r, {"+OK\r\n",
                 std::string("Content-Disposition: attachment; filename=") + name + "\r\n\r\ndata\r\n.\r\n"});
        EXPECT_EQ(r.exceptions, std::vector<std::string>{"15 Can not create attachment file"});
        EXPECT_EQ(r.text, "data\r\n");  // reported as text instead
    }
    EXPECT_TRUE(elsewhere.Files().empty());
    EXPECT_EQ(dir.Files().size(), 2u);
}

TEST(Pop3Retrieve, AttachmentDirectoryMissing)
{
    CPop3Recorder r;
    r.Retrieve(1, "/nonexistent-volttcp/Message.1", "/nonexistent-volttcp");
    Feed(r, {"+OK\r\n", "Subject: s\r\nContent-Disposition: attachment; filename=x\r\n\r\n"
                        "begin 644 y\r\n" +
                            mailtext::Uuencode("abc") + ".\r\n"});
    EXPECT_EQ(r.exceptions,
              (std::vector<std::string>{"15 Can not create mail file", "15 Can not create attachment file"}));
    EXPECT_EQ(r.text, "begin 644 y\r\n#86)C\r\n`\r\nend\r\n");
}

TEST(Pop3Retrieve, AbortiveQuitWhileWritingLeavesNoFile)
{
    mailtext::CScratchDir dir;
    CPop3Recorder r;
    r.Retrieve(1, dir.File("Message.1").c_str(), dir.Path().c_str());
    Feed(r, {"+OK\r\n",
             "Content-Type: application/pdf; name=big.pdf\r\nContent-Transfer-Encoding: base64\r\n\r\n",
             mailtext::Base64(mailtext::Binary(3000))});
    EXPECT_EQ(dir.Files().size(), 2u);  // the two files, under their temporary names
    EXPECT_TRUE(r.Quit(true));
    EXPECT_EQ(r.Wire().closes, 1);
    EXPECT_EQ(r.transcript.back(), "closed");
    for (const std::string& line : r.transcript)
        EXPECT_NE(line.compare(0, 5, "saved"), 0) << line;
    EXPECT_TRUE(dir.Files().empty());
}

TEST(Pop3Retrieve, LostConnectionLeavesNoHalfFile)
{
    mailtext::CScratchDir dir;
    CPop3Recorder r;
    r.Retrieve(1, nullptr, dir.Path().c_str());
    Feed(r, {"+OK\r\n", "Content-Disposition: attachment; filename=half.txt\r\n\r\nsome data\r\n"});
    r.Wire().OnReceive(nullptr, 0);
    EXPECT_EQ(r.transcript.back(), "closed");
    EXPECT_TRUE(dir.Files().empty());
}

TEST(Pop3Retrieve, HandlersThatMoveOnInsideAnEvent)
{
    mailtext::CScratchDir dir;
    const std::string message = "Content-Type: multipart/mixed; boundary=z\r\n\r\n--z\r\n\r\ntext\r\n--z\r\n"
                                "Content-Disposition: attachment; filename=f\r\n\r\nfile\r\n--z--\r\n";
    // Each handler acts at a different event; the rest of the data must be dropped safely.
    for (int at = 0; at < 6; ++at) {
        for (int action = 0; action < 3; ++action) {
            auto r = std::make_unique<CPop3Recorder>();
            CPop3Recorder* raw = r.get();
            int seen = 0;
            auto act = [&] {
                if (seen++ != at)
                    return;
                if (action == 0)
                    raw->Retrieve(2, nullptr, dir.Path().c_str());
                else if (action == 1)
                    raw->Quit(true);
                else
                    r.reset();
            };
            raw->onEvent = [&](uint8_t, uint8_t) { act(); };
            raw->onFileClosed = act;
            raw->Retrieve(1, nullptr, dir.Path().c_str());
            raw->Wire().Receive("+OK\r\n" + mailtext::Wire(message));
            if (r) {
                EXPECT_LE(std::count(r->transcript.begin(), r->transcript.end(), "done"), 1);
            }
        }
    }
}

TEST(Pop3Replies, FloodWithoutLineEndIsCut)
{
    CPop3Recorder r;
    r.Stat();
    const std::string flood(32768, 'x');
    for (int i = 0; i < 4; ++i)
        r.Wire().Receive(flood);
    EXPECT_EQ(r.exceptions, std::vector<std::string>{"7 Reply too long"});
    EXPECT_EQ(r.Wire().closes, 1);
}

}  // namespace
