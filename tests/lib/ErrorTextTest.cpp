#include "lib/ErrorText.h"

#include <arpa/inet.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

namespace {

struct ErrorCase {
    int number;
    ExceptionCode code;
    const char* text;
};

TEST(ErrorText, MapsNumbersToCodeAndText)
{
    const ErrorCase cases[] = {
        {0, ExcSystem, "Error not defined"},
        {10035, ExcPending, "Would Block"},
        {10061, ExcRefused, "Connection Refused"},
        {10054, ExcConnectionLost, "Connection Aborted (Reset) by Peer"},
        {10013, ExcSystem, "Permission Denied"},
        {10024, ExcNoSockets, "MFILE"},
        {10048, ExcAddressInUse, "Address Already in Use"},
        {10060, ExcTimeout, "Connection Timed Out"},
        {10065, ExcUnreachable, "No Route to Host"},
        {10069, ExcLimit, "Disc Quota Exceeded"},
        {11001, ExcAddress, "Authoritative Answer: Host not found"},
        {11003, ExcSystem, "Non recoverable errors"},
        {11004, ExcAddress, "Valid name, no data record of requested type"},
        {10000, ExcSystem, "Error not defined"},
        {99999, ExcSystem, "Error not defined"},
    };
    for (const ErrorCase& c : cases) {
        const char* text = nullptr;
        EXPECT_EQ(c.code, ErrorText(c.number, &text)) << c.number;
        EXPECT_STREQ(c.text, text) << c.number;
    }
}

TEST(ErrorText, NativeErrorsMapOntoSocketNumbers)
{
    const std::pair<int, int> cases[] = {
        {EAGAIN, 10035},    {EINPROGRESS, 10035},  {ECONNREFUSED, 10061}, {EADDRINUSE, 10048},
        {ETIMEDOUT, 10060}, {EHOSTUNREACH, 10065}, {ECONNRESET, 10054},   {EPIPE, 10058},
        {EMFILE, 10024},    {EACCES, 10013},       {ENOTCONN, 10057},     {0, 0},
    };
    for (const auto& [native, number] : cases)
        EXPECT_EQ(number, MapErrno(native)) << native;
}

TEST(ErrorText, NativeErrorWithoutRowKeepsAPlainText)
{
    const int number = MapErrno(EIO);
    EXPECT_EQ(kWsaNativeBase + EIO, number);
    const char* text = nullptr;
    EXPECT_EQ(ExcSystem, ErrorText(number, &text));
    EXPECT_STREQ("Input/output error", text);
}

TEST(FormatDotted, PrintsBytesInMemoryOrder)
{
    EXPECT_STREQ("127.0.0.1", FormatDotted(htonl(0x7F000001)));
    EXPECT_STREQ("0.0.0.0", FormatDotted(0));
    EXPECT_STREQ("255.255.255.255", FormatDotted(0xFFFFFFFFu));
    EXPECT_STREQ("10.1.200.3", FormatDotted(htonl(0x0A01C803)));
}

}  // namespace
