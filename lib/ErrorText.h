#pragma once

#include <cstdint>

// The category that travels with every failure text.
enum ExceptionCode : uint8_t {
    ExcPending = 0,
    ExcNetDown = 1,
    ExcSystem = 2,
    ExcAddress = 3,
    ExcRefused = 4,
    ExcUnreachable = 5,
    ExcTimeout = 6,
    ExcResources = 7,
    ExcAddressInUse = 8,
    ExcNotConnected = 9,
    ExcLimit = 10,
    ExcInterface = 12,
    ExcConnectionLost = 13,
    ExcNoSockets = 15,
    ExcSessionInUse = 22,
    ExcNoSocketLibrary = 23,
};

// Socket error numbers (the classic interface's values).
constexpr int kWsaBase = 10000;
constexpr int kWsaIntr = 10004;
constexpr int kWsaBadF = 10009;
constexpr int kWsaAccess = 10013;
constexpr int kWsaFault = 10014;
constexpr int kWsaInval = 10022;
constexpr int kWsaMFile = 10024;
constexpr int kWsaWouldBlock = 10035;
constexpr int kWsaInProgress = 10036;
constexpr int kWsaAlready = 10037;
constexpr int kWsaNotSock = 10038;
constexpr int kWsaMsgSize = 10040;
constexpr int kWsaOpNotSupp = 10045;
constexpr int kWsaAddrInUse = 10048;
constexpr int kWsaAddrNotAvail = 10049;
constexpr int kWsaNetDown = 10050;
constexpr int kWsaNetUnreach = 10051;
constexpr int kWsaConnAborted = 10053;
constexpr int kWsaConnReset = 10054;
constexpr int kWsaNoBufs = 10055;
constexpr int kWsaNotConn = 10057;
constexpr int kWsaShutdown = 10058;
constexpr int kWsaTimedOut = 10060;
constexpr int kWsaConnRefused = 10061;
constexpr int kWsaHostUnreach = 10065;
constexpr int kWsaHostNotFound = 11001;
constexpr int kWsaTryAgain = 11002;
constexpr int kWsaNoRecovery = 11003;
constexpr int kWsaNoData = 11004;
// Native errors with no classic number: kWsaNativeBase + errno, with the system's English text.
constexpr int kWsaNativeBase = 12000;

// Returns the exception code and points *text at a constant text (never null).
uint8_t ErrorText(int error, const char** text);

// Maps a native errno value onto the socket error numbers above.
int MapErrno(int native);

// "%d.%d.%d.%d" of an address in network order, in one shared buffer overwritten by each call.
const char* FormatDotted(uint32_t address);
