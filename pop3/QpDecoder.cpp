#include "pop3/QpDecoder.h"

#include <cstring>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

size_t CQpDecoder::DecodeLine(const char* line, size_t length, char* out, bool* hardBreak)
{
    while (length > 0 && (line[length - 1] == ' ' || line[length - 1] == '\t'))
        --length;
    *hardBreak = true;
    if (length > 0 && line[length - 1] == '=') {
        *hardBreak = false;
        --length;
    }
    char* o = out;
    const char* p = line;
    const char* const end = line + length;
    while (p < end) {
        // Plain runs are copied whole; only "=" and LF need a look.
        const char* special = p;
        while (special < end && *special != '=' && *special != '\n')
            ++special;
        const auto run = static_cast<size_t>(special - p);
        std::memcpy(o, p, run);
        o += run;
        p = special;
        if (p == end)
            break;
        if (*p == '\n') {
            if (p > line && p[-1] == '\r')
                *o++ = '\n';
            ++p;
            continue;
        }
        const int high = end - p >= 3 ? HexValue(p[1]) : -1;
        const int low = high >= 0 ? HexValue(p[2]) : -1;
        if (low >= 0) {
            *o++ = static_cast<char>(high << 4 | low);
            p += 3;
        } else {
            *o++ = '=';
            ++p;
        }
    }
    return static_cast<size_t>(o - out);
}
