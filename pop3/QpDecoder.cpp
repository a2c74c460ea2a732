#include "pop3/QpDecoder.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <array>
#include <cstdint>

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
    for (;;) {
        // Plain runs are copied whole; only "=" and a LF (rare inside a line) need a look. The
        // output never runs ahead of the input, so a block stored whole stays inside out.
#ifdef __SSE2__
        const __m128i equals = _mm_set1_epi8('='), lf = _mm_set1_epi8('\n');
        while (end - p >= 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), block);
            const auto special = static_cast<unsigned>(
                _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, equals), _mm_cmpeq_epi8(block, lf))));
            if (special == 0) {
                p += 16;
                o += 16;
                continue;
            }
            const auto run = static_cast<size_t>(__builtin_ctz(special));
            p += run;
            o += run;
            // Escapes come thick in accented text: the common one is taken here at once.
            const int high = *p == '=' && end - p >= 3 ? HexValue(p[1]) : -1;
            const int low = high >= 0 ? HexValue(p[2]) : -1;
            if (low < 0)
                break;
            *o++ = static_cast<char>(high << 4 | low);
            p += 3;
        }
#endif
        while (p < end && *p != '=' && *p != '\n')
            *o++ = *p++;
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
