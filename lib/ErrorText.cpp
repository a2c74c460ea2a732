#include "lib/ErrorText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

struct ErrorRow {
    int number;
    const char* text;
    uint8_t code;
};

constexpr ErrorRow kRows[] = {
    {10004, "INTR", 2},
    {10009, "Invalid Descriptor Used", 12},
    {10013, "Permission Denied", 2},
    {10014, "FAULT", 2},
    {10022, "Socket not bound to an address", 12},
    {10024, "MFILE", 15},
    {10035, "Would Block", 0},
    {10036, "Operation In Progress", 0},
    {10037, "Operation Already In Progress", 0},
    {10038, "Socket Operation on Non-Socket", 12},
    {10039, "Destination Address Required", 3},
    {10040, "Message Too Long", 2},
    {10041, "Protocol Wrong Type for Socket", 12},
    {10042, "Option Unknown or Unsupported", 12},
    {10043, "Protocol Not Supported", 12},
    {10044, "Socket Type Not Supported", 12},
    {10045, "Operation Not Supported on Socket", 12},
    {10046, "Protocol Family Not Supported", 12},
    {10047, "Address Family Not Supported by Protocol Family", 12},
    {10048, "Address Already in Use", 8},
    {10049, "Can't Assign Requested Address", 12},
    {10050, "Network is Down", 1},
    {10051, "Network is Unreachable", 5},
    {10052, "Network Dropped Connection on Reset", 13},
    {10053, "Connection Aborted", 13},
    {10054, "Connection Aborted (Reset) by Peer", 13},
    {10055, "Buffer Deadlock Condition", 7},
    {10056, "Socket is Already Connected", 12},
    {10057, "Socket is Not Connected", 9},
    {10058, "Can't Send or Recv After Shutdown", 13},
    {10059, "Too Many References, Cant Splice", 12},
    {10060, "Connection Timed Out", 6},
    {10061, "Connection Refused", 4},
    {10062, "Too Many Levels of Symbolic Links", 2},
    {10063, "File Name Too Long", 12},
    {10064, "Host is Down", 6},
    {10065, "No Route to Host", 5},
    {10066, "Directory Not Empty", 12},
    {10067, "Too Many Processes", 10},
    {10068, "Too Many Users", 10},
    {10069, "Disc Quota Exceeded", 10},
    {10070, "Stale NFS File Handle", 12},
    {10071, "Too Many Levels of Remote in Path", 12},
    {10091, "Network subsystem is not ready for network communication", 2},
    {10092, "Old version of WinSock API", 2},
    {10093, "WSA NOTINITIALISED", 12},
    {11001, "Authoritative Answer: Host not found", 3},
    {11002, "Non-Authoritative: Host not found", 3},
    {11003, "Non recoverable errors", 2},
    {11004, "Valid name, no data record of requested type", 3},
};

struct NativeRow {
    int native;
    int number;
};

// One switch for every errno the socket calls give; the rest keep their own text.
constexpr NativeRow kNative[] = {
    {EINTR, 10004},           {EBADF, 10009},           {EACCES, 10013},        {EPERM, 10013},
    {EFAULT, 10014},          {EINVAL, 10022},          {EMFILE, 10024},        {ENFILE, 10024},
    {EAGAIN, 10035},          {EINPROGRESS, 10035},     {EALREADY, 10037},      {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},        {EPROTOTYPE, 10041},    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045},    {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},
    {ENETUNREACH, 10051},     {ENETRESET, 10052},       {ECONNABORTED, 10053},  {ECONNRESET, 10054},
    {ENOBUFS, 10055},         {ENOMEM, 10055},          {EISCONN, 10056},       {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},       {EPIPE, 10058},           {ETOOMANYREFS, 10059},  {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},    {ELOOP, 10062},           {ENAMETOOLONG, 10063},  {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},       {EUSERS, 10068},        {EDQUOT, 10069},
    {ESTALE, 10070},          {EREMOTE, 10071},
};

char s_dotted[20];

}  // namespace

uint8_t ErrorText(int error, const char** text)
{
    for (const ErrorRow& row : kRows) {
        if (row.number == error) {
            *text = row.text;
            return row.code;
        }
    }
    if (error > kWsaNativeBase && error < kWsaNativeBase + 1000) {
        if (const char* native = strerrordesc_np(error - kWsaNativeBase)) {
            *text = native;
            return ExcSystem;
        }
    }
    *text = "Error not defined";
    return ExcSystem;
}

int MapErrno(int native)
{
    if (native == EWOULDBLOCK)
        return kWsaWouldBlock;
    for (const NativeRow& row : kNative) {
        if (row.native == native)
            return row.number;
    }
    return native > 0 ? kWsaNativeBase + native : 0;
}

const char* FormatDotted(uint32_t address)
{
    unsigned char bytes[4];
    std::memcpy(bytes, &address, sizeof bytes);
    std::snprintf(s_dotted, sizeof s_dotted, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return s_dotted;
}
