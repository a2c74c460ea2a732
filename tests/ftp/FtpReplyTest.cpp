#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ftp/FtpListen.h"
#include "ftp/FtpReplyAssembler.h"
#include "ftp/FtpReplyRules.h"
#include "ftp/FtpTypes.h"

namespace {

// Feeds the pieces and lists what comes out: each reply, "BAD" for bad data (what is
// dropped with it depends on where the block ended).
std::vector<std::string> Assemble(const std::vector<std::string>& pieces)
{
    CFtpReplyAssembler assembler;
    std::vector<std::string> out;
    for (const std::string& piece : pieces) {
        EXPECT_TRUE(assembler.Append(piece.data(), piece.size()));
        std::string reply;
        for (;;) {
            const auto result = assembler.Next(reply);
            if (result == CFtpReplyAssembler::kNeedMore)
                break;
            if (result == CFtpReplyAssembler::kBadData) {
                out.push_back("BAD");
                assembler.Clear();
                break;
            }
            out.push_back(reply);
        }
    }
    return out;
}

struct SAssemblyCase {
    const char* name;
    std::string stream;
    std::vector<std::string> replies;
};

const std::vector<SAssemblyCase> kAssemblyCases = {
    {"single line", "220 Ready\r\n", {"220 Ready\r\n"}},
    {"two replies in one block", "331 Password\r\n230 In\r\n", {"331 Password\r\n", "230 In\r\n"}},
    {"multi-line", "220-Welcome\r\n220 Ready\r\n", {"220-Welcome\r\n220 Ready\r\n"}},
    {"inner lines with the code and a hyphen",
     "214-a\r\n214-b\r\n c\r\n214 d\r\n",
     {"214-a\r\n214-b\r\n c\r\n214 d\r\n"}},
    {"150 folded into 226", "150-Opening\r\n226 Done\r\n", {"226-Opening\r\n226 Done\r\n"}},
    {"own terminator before a 226 line",
     "211-x\r\n211 end\r\n226 y\r\n",
     {"211-x\r\n211 end\r\n", "226 y\r\n"}},
    {"code in the middle of a line does not end it",
     "250-a 250 b\r\n250 c\r\n",
     {"250-a 250 b\r\n250 c\r\n"}},
    {"unfinished reply is held", "200 ok\r\n22", {"200 ok\r\n"}},
    {"bad data", "hello\r\n", {"BAD"}},
    {"bad data after a reply", "200 ok\r\nxx\r\n", {"200 ok\r\n", "BAD"}},
};

TEST(FtpReplyAssembly, EverySplitGivesTheSameReplies)
{
    for (const auto& test : kAssemblyCases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(Assemble({test.stream}), test.replies);
        for (size_t cut = 1; cut < test.stream.size(); ++cut) {
            SCOPED_TRACE("cut at " + std::to_string(cut));
            EXPECT_EQ(Assemble({test.stream.substr(0, cut), test.stream.substr(cut)}), test.replies);
        }
        std::vector<std::string> bytes;
        for (const char c : test.stream)
            bytes.emplace_back(1, c);
        EXPECT_EQ(Assemble(bytes), test.replies);
    }
}

TEST(FtpReplyAssembly, AFloodWithoutLineEndIsBounded)
{
    CFtpReplyAssembler assembler;
    const std::string chunk(1 << 20, 'x');
    ASSERT_TRUE(assembler.Append("220 ", 4));
    int accepted = 0;
    while (assembler.Append(chunk.data(), chunk.size()))
        ++accepted;
    EXPECT_EQ(accepted, 3);
    EXPECT_TRUE(assembler.Buffered().empty());
}

struct SRuleCase {
    unsigned code;
    uint8_t command;
    EReplyAction action;
};

TEST(FtpReplyRules, TableAnswersForCodeAndCommand)
{
    const SRuleCase cases[] = {
        {220, kFtpCmdGreeting, kActLogin},
        {220, kFtpCmdUser, kActUnexpected},
        {120, kFtpCmdGreeting, kActProgress},
        {110, kFtpCmdRetr, kActProgress},
        {150, kFtpCmdList, kActStarted},
        {125, kFtpCmdDele, kActStarted},
        {331, kFtpCmdUser, kActSendPass},
        {333, kFtpCmdUser, kActSendPass},
        {332, kFtpCmdPass, kActSendAcct},
        {230, kFtpCmdPass, kActComplete},
        {200, kFtpCmdType, kActComplete},
        {200, kFtpCmdPort, kActComplete},
        {200, kFtpCmdRetr, kActUnexpected},
        {226, kFtpCmdRetr, kActTransferEnd},
        {226, kFtpCmdAbor, kActTransferEnd},
        {226, kFtpCmdCwd, kActUnexpected},
        {250, kFtpCmdStor, kActTransferEnd},
        {250, kFtpCmdCwd, kActComplete},
        {250, kFtpCmdList, kActComplete},
        {227, kFtpCmdPasv, kActPassive},
        {257, kFtpCmdMkd, kActComplete},
        {350, kFtpCmdRest, kActComplete},
        {350, kFtpCmdRnfr, kActComplete},
        {334, kFtpCmdUser, kActUnsolicited},
        {421, kFtpCmdNoop, kActFailed},
        {425, kFtpCmdNlst, kActFailed},
        {425, kFtpCmdCwd, kActUnexpected},
        {452, kFtpCmdRetr, kActUnexpected},
        {452, kFtpCmdAppe, kActFailed},
        {500, kFtpCmdIdle, kActFailed},
        {530, kFtpCmdPass, kActFailed},
        {530, kFtpCmdQuit, kActUnexpected},
        {550, kFtpCmdRetr, kActFailed},
        {550, kFtpCmdStor, kActUnexpected},
        {553, kFtpCmdRnto, kActFailed},
        {221, kFtpCmdQuit, kActComplete},
        {225, kFtpCmdAbor, kActComplete},
        {211, kFtpCmdHelp, kActComplete},
        {214, kFtpCmdHelp, kActComplete},
        {0, kFtpCmdPwd, kActUnexpected},
        // The commands that no described operation sends.
        {200, kFtpCmdStru, kActComplete},
        {200, kFtpCmdNoop, kActComplete},
        {202, kFtpCmdAllo, kActComplete},
        {213, kFtpCmdStat, kActComplete},
        {215, kFtpCmdSyst, kActComplete},
        {230, kFtpCmdSite, kActComplete},
        {330, kFtpCmdSite, kActComplete},
        {250, kFtpCmdSmnt, kActComplete},
        {450, kFtpCmdStat, kActFailed},
        {502, kFtpCmdSyst, kActFailed},
        {504, kFtpCmdMode, kActFailed},
        {530, kFtpCmdAllo, kActFailed},
        {550, kFtpCmdSmnt, kActFailed},
        {215, kFtpCmdHelp, kActUnexpected},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyReply(c.code, c.command), c.action) << c.code << " to " << int{c.command};
}

TEST(FtpReplyRules, ReplyCodeNeedsThreeDigits)
{
    EXPECT_EQ(ReplyCode("226 ok"), 226u);
    EXPECT_EQ(ReplyCode("2x6 ok"), 0u);
    EXPECT_EQ(ReplyCode("22"), 0u);
}

TEST(FtpReplyRules, PassiveAddress)
{
    const struct {
        const char* reply;
        bool ok;
        const char* host;
        uint16_t port;
    } cases[] = {
        {"227 Entering Passive Mode (10,0,0,5,4,1).\r\n", true, "10.0.0.5", 1025},
        {"227 Entering Passive Mode (127,0,0,1,195,80)\r\n", true, "127.0.0.1", 50000},
        {"227 =127,0,0,1,0,21\r\n", true, "127.0.0.1", 21},
        {"227 Passive ( 127, 0, 0, 1, 255, 255 )\r\n", true, "127.0.0.1", 65535},
        {"227 Entering Passive Mode (127,0,0,1,256,1)\r\n", false, "", 0},
        {"227 Entering Passive Mode (127,0,0,1,4)\r\n", false, "", 0},
        {"227 Entering Passive Mode (1270,0,0,1,4,1)\r\n", false, "", 0},
        {"227 Entering Passive Mode\r\n", false, "", 0},
        {"227 (", false, "", 0},
    };
    for (const auto& c : cases) {
        SPassiveAddress address;
        EXPECT_EQ(ParsePassiveReply(c.reply, address), c.ok) << c.reply;
        if (c.ok) {
            EXPECT_EQ(address.host, c.host) << c.reply;
            EXPECT_EQ(address.port, c.port) << c.reply;
        }
    }
}

TEST(FtpReplyRules, PortLineCarriesAddressAndPortBytes)
{
    EXPECT_EQ(CFtpListen::PortLine("192.168.1.20", 5001), "PORT 192,168,1,20,19,137\r\n");
    EXPECT_EQ(CFtpListen::PortLine("127.0.0.1", 65535), "PORT 127,0,0,1,255,255\r\n");
}

}  // namespace
