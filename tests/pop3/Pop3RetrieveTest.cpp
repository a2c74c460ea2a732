// Retrieval through the engine and the MIME walker, fed in chunks: every message of the table
// in one piece, cut at every position into two, and one byte at a time. Text, files and the
// order of events must not depend on the cuts.

#include <signal.h>
#include <sys/resource.h>

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/pop3/MailText.h"
#include "tests/pop3/Pop3Recorder.h"

namespace {

using mailtext::Base64;
using mailtext::Binary;
using mailtext::Uuencode;

struct SRetrieveCase {
    const char* name;
    std::string message;
    std::string text;                          // what the user is shown
    std::map<std::string, std::string> files;  // what lands in the attachment directory
    std::vector<std::string> saved;            // OnFileClosed, in order: "name letter bytes"
};

std::string Part(const std::string& boundary, const std::string& header, const std::string& body)
{
    return "--" + boundary + "\r\n" + header + "\r\n" + body + "\r\n";
}

const std::string kBlob = Binary(700);
const std::string kSmall = "Hello, attachment\r\n\x01\x02\xff";

std::vector<SRetrieveCase> Cases()
{
    std::vector<SRetrieveCase> cases;
    cases.push_back(
        {"plain",
         "From: a@example.org\r\nSubject: Hi\r\n\r\nHello\r\n.dot line\r\n..two dots\r\nWorld\r\n",
         "Hello\r\n.dot line\r\n..two dots\r\nWorld\r\n",
         {},
         {}});
    cases.push_back({"dots inside lines and at their start",
                     "Subject: dots\r\n\r\na.b.\r\n.\r\n..\r\n.x.y\n.z\r\nend.\r\n",
                     "a.b.\r\n.\r\n..\r\n.x.y\n.z\r\nend.\r\n",
                     {},
                     {}});
    cases.push_back({"empty body", "Subject: nothing\r\n\r\n", "", {}, {}});
    cases.push_back({"no blank line", "Subject: only a header\r\n", "", {}, {}});
    cases.push_back({"no header", "\r\nbody without header\r\n", "body without header\r\n", {}, {}});
    cases.push_back(
        {"multipart with base64 attachment and spaces inside lines",
         "Subject: files\r\nContent-Type: multipart/mixed; boundary=\"b1\"\r\n\r\nThe preamble.\r\n" +
             Part("b1", "Content-Type: text/plain\r\n", "Body text.\r\nSecond line.") +
             Part("b1",
                  "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
                  "Content-Disposition: attachment; filename=\"data.bin\"\r\n",
                  "AAEC AwQF\tBgcI\r\n CQoL\r\n") +
             "--b1--\r\nThe epilogue.\r\n",
         "Body text.\r\nSecond line.",
         {{"data.bin", std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b", 12)}},
         {"data.bin M 12"}});
    cases.push_back(
        {"nested multipart",
         "Content-Type: multipart/mixed; boundary=outer\r\n\r\n" +
             Part("outer", "Content-Type: multipart/alternative; boundary=\"inner\"\r\n",
                  Part("inner", "Content-Type: text/plain\r\n", "plain version") +
                      Part("inner",
                           "Content-Type: text/html\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                           "<p>caf=C3=A9 =\r\nand more</p>") +
                      "--inner--") +
             Part("outer",
                  "Content-Type: text/plain; name=q.txt\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                  "line one=0D=0Aline two=3D2") +
             "--outer--\r\n",
         "plain version<p>caf\xc3\xa9 and more</p>",
         {{"q.txt", "line one\r\nline two=2"}},
         {"q.txt Q 20"}});
    cases.push_back({"attached message with its own attachment",
                     "Content-Type: multipart/mixed; boundary=\"m\"\r\n\r\n" +
                         Part("m", "Content-Type: text/plain\r\n", "see attached") +
                         Part("m", "Content-Type: message/rfc822\r\n",
                              "Subject: inner\r\nContent-Type: multipart/mixed; boundary=\"n\"\r\n\r\n" +
                                  Part("n", "Content-Type: text/plain\r\n", "inner text") +
                                  Part("n",
                                       "Content-Type: application/octet-stream; name=\"inner.bin\"\r\n"
                                       "Content-Transfer-Encoding: base64\r\n",
                                       Base64(kBlob)) +
                                  "--n--") +
                         Part("m", "Content-Type: text/plain\r\n", "after the message") + "--m--\r\n",
                     "see attachedinner textafter the message",
                     {{"inner.bin", kBlob}},
                     {"inner.bin M 700"}});
    cases.push_back(
        {"begin 644 in plain text",
         "Subject: uu\r\n\r\nText before\r\nbegin 644 hello.txt\r\n" + Uuencode(kSmall) + "Text after\r\n",
         "Text before\r\nText after\r\n",
         {{"hello.txt", kSmall}},
         {"hello.txt U 22"}});
    cases.push_back(
        {"quoted-printable soft breaks and escapes",
         "Content-Transfer-Encoding: quoted-printable\r\n\r\nabc=\r\ndef=41=ZZ  \r\n=3D=\r\nnext\t\r\n",
         "abcdefA=ZZ\r\n=next\r\n",
         {},
         {}});
    cases.push_back(
        {"single-part base64 file",
         "Content-Type: application/pdf; name=\"doc.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
             Base64(kBlob),
         "",
         {{"doc.pdf", kBlob}},
         {"doc.pdf M 700"}});
    cases.push_back({"single-part base64 text",
                     "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                         Base64("decoded text\r\n"),
                     "decoded text\r\n",
                     {},
                     {}});
    cases.push_back(
        {"encoded names",
         "Content-Type: multipart/mixed; boundary=x\r\n\r\n" +
             Part("x", "Content-Disposition: attachment; filename*=UTF-8''%E2%82%AC%20rate.txt\r\n", "euro") +
             Part("x", "Content-Type: text/plain; name=\"=?ISO-8859-1?Q?caf=E9?= =?UTF-8?B?LnR4dA==?=\"\r\n",
                  "cafe") +
             Part("x",
                  "Content-Disposition: attachment;\r\n filename*0*=UTF-8''long%20;\r\n "
                  "filename*1=name.txt\r\n",
                  "cont") +
             "--x--\r\n",
         "",
         {{"\xe2\x82\xac rate.txt", "euro"}, {"caf\xc3\xa9.txt", "cafe"}, {"long name.txt", "cont"}},
         {"\xe2\x82\xac rate.txt   4", "caf\xc3\xa9.txt   4", "long name.txt   4"}});
    cases.push_back({"uuencoded part",
                     "Content-Type: multipart/mixed; boundary=u\r\n\r\n" +
                         Part("u", "Content-Transfer-Encoding: x-uuencode\r\n",
                              "\r\nbegin 600 from-begin.dat\r\n" + Uuencode(kBlob)) +
                         "--u--\r\n",
                     "",
                     {{"from-begin.dat", kBlob}},
                     {"from-begin.dat U 700"}});
    cases.push_back(
        {"hostile names",
         "Content-Type: multipart/mixed; boundary=h\r\n\r\n" +
             Part("h", "Content-Disposition: attachment; filename=\"../../evil.txt\"\r\n", "1") +
             Part("h", "Content-Disposition: attachment; filename=\"C:\\dir\\report.txt\"\r\n", "2") +
             Part("h", "Content-Disposition: attachment; filename=\"..\"\r\n", "3") +
             Part("h", "Content-Disposition: attachment; filename=\"a=?UTF-8?Q?=0A?=b\"\r\n", "4") +
             Part("h", "Content-Disposition: attachment; filename=.bashrc\r\n", "5") + "--h--\r\n",
         "",
         {{"evil.txt", "1"}, {"report.txt", "2"}, {"attachment.bin", "4"}, {"_bashrc", "5"}},
         {"evil.txt   1", "report.txt   1", "attachment.bin   1", "attachment.bin   1", "_bashrc   1"}});
    cases.push_back({"delimiter with padding and a part without header",
                     "Content-Type: multipart/mixed; boundary=p\r\n\r\n--p  \r\n\r\nno header\r\n--p\t\r\n"
                     "Content-Type: text/plain\r\n\r\nsecond\r\n--p-- \r\n",
                     "no headersecond",
                     {},
                     {}});
    cases.push_back({"base64 that ends early goes on as text",
                     "Content-Transfer-Encoding: base64\r\n\r\n" + Base64("ab") + "trailing words\r\n",
                     "abtrailing words\r\n",
                     {},
                     {}});
    return cases;
}

class RetrieveTest : public ::testing::Test {
protected:
    // The transcript of one retrieval of message, given to the engine in the chunks cut at cuts.
    std::vector<std::string> Run(const SRetrieveCase& c, const std::vector<size_t>& cuts,
                                 CPop3Recorder& recorder)
    {
        m_dir.Clear();
        recorder.Retrieve(1, nullptr, m_dir.Path().c_str());
        const std::string wire =
            "+OK " + std::to_string(c.message.size()) + " octets\r\n" + mailtext::Wire(c.message);
        size_t from = 0;
        for (size_t cut : cuts) {
            recorder.Wire().Receive(std::string_view(wire).substr(from, cut - from));
            from = cut;
        }
        recorder.Wire().Receive(std::string_view(wire).substr(from));
        return recorder.transcript;
    }

    mailtext::CScratchDir m_dir;
};

TEST_F(RetrieveTest, EveryMessageWhateverTheChunks)
{
    for (const SRetrieveCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        CPop3Recorder whole;
        const std::vector<std::string> reference = Run(c, {}, whole);
        ASSERT_FALSE(reference.empty());
        EXPECT_EQ(reference.back(), "done");
        EXPECT_EQ(whole.text, c.text);
        EXPECT_EQ(m_dir.Files(), c.files);
        EXPECT_TRUE(whole.exceptions.empty()) << whole.exceptions.front();
        std::vector<std::string> saved;
        for (const std::string& line : reference)
            if (line.compare(0, 6, "saved ") == 0)
                saved.push_back(line.substr(6));
        EXPECT_EQ(saved, c.saved);

        const std::string wire =
            "+OK " + std::to_string(c.message.size()) + " octets\r\n" + mailtext::Wire(c.message);
        for (size_t cut = 1; cut < wire.size(); ++cut) {
            CPop3Recorder split;
            const std::vector<std::string> transcript = Run(c, {cut}, split);
            ASSERT_EQ(transcript, reference) << "cut at " << cut;
            ASSERT_EQ(m_dir.Files(), c.files) << "cut at " << cut;
        }
        std::vector<size_t> everyByte;
        for (size_t cut = 1; cut < wire.size(); ++cut)
            everyByte.push_back(cut);
        CPop3Recorder bytewise;
        EXPECT_EQ(Run(c, everyByte, bytewise), reference);
        EXPECT_EQ(m_dir.Files(), c.files);
    }
}

// Files larger than max bytes cannot be written while it lives.
class CFileSizeLimit final {
public:
    explicit CFileSizeLimit(rlim_t max)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = max;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~CFileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, SIG_DFL);
    }
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

private:
    rlimit m_old{};
};

TEST_F(RetrieveTest, AFileThatCannotBeWrittenWholeIsNotLeft)
{
    // The write fails in the middle of the data, or only when the last of it is written as the
    // file is closed.
    const struct {
        size_t size;
        rlim_t limit;
    } cases[] = {{200000, 100000}, {70000, 66000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const SRetrieveCase message{"too big",
                                    "Content-Type: application/octet-stream; name=\"big.bin\"\r\n"
                                    "Content-Transfer-Encoding: base64\r\n\r\n" +
                                        Base64(Binary(c.size)),
                                    "",
                                    {},
                                    {}};
        std::vector<size_t> reads;  // as the session reads
        for (size_t at = 32766; at < message.message.size(); at += 32766)
            reads.push_back(at);
        CPop3Recorder recorder;
        std::vector<std::string> transcript;
        {
            const CFileSizeLimit limit(c.limit);
            transcript = Run(message, reads, recorder);
        }
        EXPECT_EQ(recorder.exceptions, std::vector<std::string>{"15 Can not write attachment file"});
        EXPECT_EQ(transcript.back(), "done");
        for (const std::string& line : transcript)
            EXPECT_NE(line.compare(0, 6, "saved "), 0) << line;
        EXPECT_TRUE(m_dir.Files().empty());
    }
}

}  // namespace
