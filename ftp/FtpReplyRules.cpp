#include "ftp/FtpReplyRules.h"

#include <cstdio>
#include <initializer_list>

#include "ftp/FtpTypes.h"

namespace {

using IdSet = uint64_t;

constexpr IdSet Ids(std::initializer_list<uint8_t> ids)
{
    IdSet set = 0;
    for (const uint8_t id : ids)
        set |= IdSet{1} << id;
    return set;
}

constexpr IdSet Range(uint8_t first, uint8_t last)
{
    IdSet set = 0;
    for (unsigned id = first; id <= last; ++id)
        set |= IdSet{1} << id;
    return set;
}

constexpr IdSet kAny = ~IdSet{0};
constexpr IdSet kTransfers = Range(kFtpCmdRetr, kFtpCmdAppe);
constexpr IdSet kUploads = Range(kFtpCmdStor, kFtpCmdAppe);
constexpr IdSet kListings = Ids({kFtpCmdList, kFtpCmdNlst});

struct SRule {
    unsigned code;
    IdSet commands;
    EReplyAction action;
};

// First match wins; a pair not listed is unexpected.
constexpr SRule kRules[] = {
    {110, kTransfers, kActProgress},
    {120, Ids({kFtpCmdGreeting}), kActProgress},
    {125, kAny, kActStarted},
    {150, kAny, kActStarted},
    {200,
     Ids({kFtpCmdCdup, kFtpCmdPort, kFtpCmdType, kFtpCmdStru, kFtpCmdMode, kFtpCmdAllo, kFtpCmdSite,
          kFtpCmdNoop}),
     kActComplete},
    {202, Ids({kFtpCmdPass, kFtpCmdAcct, kFtpCmdSmnt, kFtpCmdAllo, kFtpCmdSite}), kActComplete},
    {211, Ids({kFtpCmdHelp, kFtpCmdStat}), kActComplete},
    {212, Ids({kFtpCmdStat}), kActComplete},
    {213, Ids({kFtpCmdStat}), kActComplete},
    {214, Ids({kFtpCmdHelp}), kActComplete},
    {215, Ids({kFtpCmdSyst}), kActComplete},
    {220, Ids({kFtpCmdGreeting}), kActLogin},
    {221, Ids({kFtpCmdQuit, kFtpCmdAbor}), kActComplete},
    {225, Ids({kFtpCmdAbor}), kActComplete},
    {226, kTransfers | kListings | Ids({kFtpCmdAbor}), kActTransferEnd},
    {227, Ids({kFtpCmdPasv}), kActPassive},
    {230, Ids({kFtpCmdUser, kFtpCmdPass, kFtpCmdAcct, kFtpCmdSite}), kActComplete},
    {231, Ids({kFtpCmdUser}), kActComplete},
    {234, kAny, kActComplete},
    {235, kAny, kActComplete},
    {250,
     Ids({kFtpCmdCwd, kFtpCmdCdup, kFtpCmdRnto, kFtpCmdDele, kFtpCmdRmd, kFtpCmdList, kFtpCmdNlst,
          kFtpCmdSmnt}),
     kActComplete},
    {250, kTransfers, kActTransferEnd},
    {257, Ids({kFtpCmdMkd, kFtpCmdPwd}), kActComplete},
    {330, Ids({kFtpCmdSite}), kActComplete},
    {331, Ids({kFtpCmdUser}), kActSendPass},
    {333, Ids({kFtpCmdUser}), kActSendPass},
    {332, Ids({kFtpCmdUser, kFtpCmdPass}), kActSendAcct},
    {334, kAny, kActUnsolicited},
    {335, kAny, kActUnsolicited},
    {350, Ids({kFtpCmdRest, kFtpCmdRnfr}), kActComplete},
    {402, kAny, kActFailed},
    {421, kAny, kActFailed},
    {425, kTransfers | kListings, kActFailed},
    {426, kTransfers | kListings, kActFailed},
    {451, kTransfers | kListings, kActFailed},
    {450, kTransfers | kListings | Ids({kFtpCmdRnfr, kFtpCmdDele, kFtpCmdStat}), kActFailed},
    {452, kUploads, kActFailed},
    {500, kAny, kActFailed},
    {501, kAny, kActFailed},
    {502,
     Ids({kFtpCmdCwd, kFtpCmdCdup, kFtpCmdGreeting, kFtpCmdSmnt, kFtpCmdSyst, kFtpCmdStat, kFtpCmdHelp}) |
         Range(kFtpCmdRest, kFtpCmdRnto) | Range(kFtpCmdDele, kFtpCmdNlst),
     kActFailed},
    {503, Ids({kFtpCmdPass, kFtpCmdAcct, kFtpCmdRnto}), kActFailed},
    {504, Ids({kFtpCmdType, kFtpCmdStru, kFtpCmdMode, kFtpCmdAllo}), kActFailed},
    {530,
     Range(kFtpCmdUser, kFtpCmdSmnt) | Range(kFtpCmdPort, kFtpCmdMode) | Range(kFtpCmdRetr, kFtpCmdRnto) |
         Range(kFtpCmdDele, kFtpCmdMkd) | kListings | Ids({kFtpCmdSite, kFtpCmdStat}),
     kActFailed},
    {532, kUploads | Ids({kFtpCmdRnto}), kActFailed},
    {534, kTransfers | kListings, kActFailed},
    {535, kAny, kActFailed},
    {550,
     Ids({kFtpCmdCwd, kFtpCmdCdup, kFtpCmdRetr, kFtpCmdRnfr, kFtpCmdSmnt}) | Range(kFtpCmdDele, kFtpCmdPwd),
     kActFailed},
    {551, kUploads, kActFailed},
    {552, kUploads, kActFailed},
    {553, kUploads | Ids({kFtpCmdRnto}), kActFailed},
};

}  // namespace

EReplyAction ClassifyReply(unsigned code, uint8_t command)
{
    if (command >= 64)
        return kActUnexpected;
    const IdSet bit = IdSet{1} << command;
    for (const SRule& rule : kRules) {
        if (rule.code == code && (rule.commands & bit))
            return rule.action;
    }
    return kActUnexpected;
}

unsigned ReplyCode(std::string_view reply)
{
    if (reply.size() < 3)
        return 0;
    unsigned code = 0;
    for (size_t i = 0; i < 3; ++i) {
        if (reply[i] < '0' || reply[i] > '9')
            return 0;
        code = code * 10 + static_cast<unsigned>(reply[i] - '0');
    }
    return code;
}

bool ParsePassiveReply(std::string_view reply, SPassiveAddress& address)
{
    size_t pos = reply.find('(');
    if (pos == std::string_view::npos) {
        pos = reply.find_first_of("0123456789", reply.size() > 4 ? 4 : reply.size());
        if (pos == std::string_view::npos)
            return false;
    } else {
        ++pos;
    }
    unsigned values[6] = {};
    for (int i = 0; i < 6; ++i) {
        while (pos < reply.size() && reply[pos] == ' ')
            ++pos;
        size_t digits = 0;
        unsigned value = 0;
        while (pos < reply.size() && reply[pos] >= '0' && reply[pos] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(reply[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || value > 255)
            return false;
        values[i] = value;
        while (pos < reply.size() && reply[pos] == ' ')
            ++pos;
        if (i < 5) {
            if (pos >= reply.size() || reply[pos] != ',')
                return false;
            ++pos;
        }
    }
    char host[16];
    std::snprintf(host, sizeof host, "%u.%u.%u.%u", values[0], values[1], values[2], values[3]);
    address.host = host;
    address.port = static_cast<uint16_t>(values[4] * 256 + values[5]);
    return true;
}
