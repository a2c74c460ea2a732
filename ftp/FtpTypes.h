#pragma once

#include <cstdint>

// FtpCommandId: the command a reply belongs to.
inline constexpr uint8_t kFtpCmdNone = 0;  // only in the closing report of the control connection
inline constexpr uint8_t kFtpCmdIdle = 1;  // also a command line given whole (Quote)
inline constexpr uint8_t kFtpCmdUser = 2;
inline constexpr uint8_t kFtpCmdPass = 3;
inline constexpr uint8_t kFtpCmdAcct = 4;
inline constexpr uint8_t kFtpCmdCwd = 5;
inline constexpr uint8_t kFtpCmdCdup = 6;
inline constexpr uint8_t kFtpCmdSmnt = 7;
inline constexpr uint8_t kFtpCmdQuit = 8;
inline constexpr uint8_t kFtpCmdGreeting = 9;  // the connection is up, the greeting not yet in
inline constexpr uint8_t kFtpCmdPort = 10;     // also the active-mode placeholder in the queue
inline constexpr uint8_t kFtpCmdPasv = 11;
inline constexpr uint8_t kFtpCmdType = 12;
inline constexpr uint8_t kFtpCmdStru = 13;
inline constexpr uint8_t kFtpCmdMode = 14;
inline constexpr uint8_t kFtpCmdRetr = 15;
inline constexpr uint8_t kFtpCmdStor = 16;
inline constexpr uint8_t kFtpCmdStou = 17;
inline constexpr uint8_t kFtpCmdAppe = 18;
inline constexpr uint8_t kFtpCmdAllo = 19;
inline constexpr uint8_t kFtpCmdRest = 20;
inline constexpr uint8_t kFtpCmdRnfr = 21;
inline constexpr uint8_t kFtpCmdRnto = 22;
inline constexpr uint8_t kFtpCmdAbor = 23;
inline constexpr uint8_t kFtpCmdDele = 24;
inline constexpr uint8_t kFtpCmdRmd = 25;
inline constexpr uint8_t kFtpCmdMkd = 26;
inline constexpr uint8_t kFtpCmdPwd = 27;
inline constexpr uint8_t kFtpCmdList = 28;
inline constexpr uint8_t kFtpCmdNlst = 29;
inline constexpr uint8_t kFtpCmdSite = 30;
inline constexpr uint8_t kFtpCmdSyst = 31;
inline constexpr uint8_t kFtpCmdStat = 32;
inline constexpr uint8_t kFtpCmdHelp = 33;
inline constexpr uint8_t kFtpCmdNoop = 34;

inline constexpr bool IsFtpUpload(uint8_t id)
{
    return id >= kFtpCmdStor && id <= kFtpCmdAppe;
}
inline constexpr bool IsFtpTransfer(uint8_t id)
{
    return id >= kFtpCmdRetr && id <= kFtpCmdAppe;
}

// ReplyStatus, passed with every OnReply.
inline constexpr uint8_t kReplyUnsolicited = 0;  // while idle, or a 334/335 reply
inline constexpr uint8_t kReplyComplete = 1;     // the queue is empty; also the control connection's close
inline constexpr uint8_t kReplyUnexpected = 2;
inline constexpr uint8_t kReplyFailed = 3;
inline constexpr uint8_t kReplyProgress = 4;

// Transfer types of Retrieve, Store, ... (TYPE A, E, I); any other value sends no TYPE.
inline constexpr uint8_t kFtpTypeAscii = 0;
inline constexpr uint8_t kFtpTypeEbcdic = 1;
inline constexpr uint8_t kFtpTypeImage = 2;

// Exception code of the component's own failures (local files, replies it cannot use).
inline constexpr uint8_t kExcFtpLocal = 16;
