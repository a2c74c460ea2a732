#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What the engine does with a reply, by its code and the command it answers.
enum EReplyAction : uint8_t {
    kActUnexpected,   // status 2
    kActComplete,     // complete-or-continue
    kActProgress,     // the command keeps running; status 4
    kActStarted,      // 125/150: the command keeps running; status 4 for transfers, else 2
    kActFailed,       // status 3
    kActLogin,        // 220 to the greeting: USER, or complete without a user name
    kActSendPass,     // status 4, then PASS
    kActSendAcct,     // ACCT, no report
    kActUnsolicited,  // status 0
    kActTransferEnd,  // 226, 250 to a transfer: held until the data connection closes
    kActPassive,      // 227: open the passive data connection
};

EReplyAction ClassifyReply(unsigned code, uint8_t command);

// The decimal value of the first three characters, 0 when they are not digits.
unsigned ReplyCode(std::string_view reply);

struct SPassiveAddress {
    std::string host;  // dotted
    uint16_t port = 0;
};

// The address of a 227 reply: six numbers (h1,h2,h3,h4,p1,p2) after '(' or, without one,
// from the first digit after the code. False unless all six are there and in range.
bool ParsePassiveReply(std::string_view reply, SPassiveAddress& address);
