#include "pop3/QpDecoder.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::array<int8_t, 256> MakeHex()
{
    std::array<int8_t, 256> table{};
    for (auto& entry : table)
        entry = -1;
    for (int i = 0; i < 10; ++i)
        table[static_cast<size_t>('0' + i)] = static_cast<int8_t>(i);
    for (int i = 0; i < 6; ++i) {
        table[static_cast<size_t>('A' + i)] = static_cast<int8_t>(10 + i);
        table[static_cast<size_t>('a' + i)] = static_cast<int8_t>(10 + i);
    }
    return table;
}

constexpr std::array<int8_t, 256> kHex = MakeHex();

int HexValue(char c)
{
    return kHex[static_cast<unsigned char>(c)];
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
    // Plain runs are copied whole; only "=" and a LF (rare inside a line) need a look.
    const bool lf = std::memchr(line, '\n', length) != nullptr;
    while (p < end) {
        const char* special =
            lf ? p : static_cast<const char*>(std::memchr(p, '=', static_cast<size_t>(end - p)));
        if (lf)
            while (special < end && *special != '=' && *special != '\n')
                ++special;
        if (!special)
            special = end;
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
