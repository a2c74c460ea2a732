#include "lib/ErrorText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

struct ErrorRow {
    int number;
    const char* text;
    ExceptionCode code;
};

constexpr ErrorRow kRows[] = {
    {10004, "INTR", ExcSystem},
    {10009, "Invalid Descriptor Used", ExcInterface},
    {10013, "Permission Denied", ExcSystem},
    {10014, "FAULT", ExcSystem},
    {10022, "Socket not bound to an address", ExcInterface},
    {10024, "MFILE", ExcNoSockets},
    {10035, "Would Block", ExcPending},
    {10036, "Operation In Progress", ExcPending},
    {10037, "Operation Already In Progress", ExcPending},
    {10038, "Socket Operation on Non-Socket", ExcInterface},
    {10039, "Destination Address Required", ExcAddress},
    {10040, "Message Too Long", ExcSystem},
    {10041, "Protocol Wrong Type for Socket", ExcInterface},
    {10042, "Option Unknown or Unsupported", ExcInterface},
    {10043, "Protocol Not Supported", ExcInterface},
    {10044, "Socket Type Not Supported", ExcInterface},
    {10045, "Operation Not Supported on Socket", ExcInterface},
    {10046, "Protocol Family Not Supported", ExcInterface},
    {10047, "Address Family Not Supported by Protocol Family", ExcInterface},
    {10048, "Address Already in Use", ExcAddressInUse},
    {10049, "Can't Assign Requested Address", ExcInterface},
    {10050, "Network is Down", ExcNetDown},
    {10051, "Network is Unreachable", ExcUnreachable},
    {10052, "Network Dropped Connection on Reset", ExcConnectionLost},
    {10053, "Connection Aborted", ExcConnectionLost},
    {10054, "Connection Aborted (Reset) by Peer", ExcConnectionLost},
    {10055, "Buffer Deadlock Condition", ExcResources},
    {10056, "Socket is Already Connected", ExcInterface},
    {10057, "Socket is Not Connected", ExcNotConnected},
    {10058, "Can't Send or Recv After Shutdown", ExcConnectionLost},
    {10059, "Too Many References, Cant Splice", ExcInterface},
    {10060, "Connection Timed Out", ExcTimeout},
    {10061, "Connection Refused", ExcRefused},
    {10062, "Too Many Levels of Symbolic Links", ExcSystem},
    {10063, "File Name Too Long", ExcInterface},
    {10064, "Host is Down", ExcTimeout},
    {10065, "No Route to Host", ExcUnreachable},
    {10066, "Directory Not Empty", ExcInterface},
    {10067, "Too Many Processes", ExcLimit},
    {10068, "Too Many Users", ExcLimit},
    {10069, "Disc Quota Exceeded", ExcLimit},
    {10070, "Stale NFS File Handle", ExcInterface},
    {10071, "Too Many Levels of Remote in Path", ExcInterface},
    {10091, "Network subsystem is not ready for network communication", ExcSystem},
    {10092, "Old version of WinSock API", ExcSystem},
    {10093, "WSA NOTINITIALISED", ExcInterface},
    {11001, "Authoritative Answer: Host not found", ExcAddress},
    {11002, "Non-Authoritative: Host not found", ExcAddress},
    {11003, "Non recoverable errors", ExcSystem},
    {11004, "Valid name, no data record of requested type", ExcAddress},
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
