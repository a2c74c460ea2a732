#include "pop3/QpDecoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VOLTTCP_QP_BLOCKS 1
#endif

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

// Up to the next "=" or LF and that one character: the rules one byte at a
// time.
void DecodeStep(const char* line, const char*& p, const char* end, char*& o)
{
    while (p < end && *p != '=' && *p != '\n')
        *o++ = *p++;
    if (p == end)
        return;
    if (*p == '\n') {
        if (p > line && p[-1] == '\r')
            *o++ = '\n';
        ++p;
        return;
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

#ifdef VOLTTCP_QP_BLOCKS

// For each set of kept bytes among eight, the shuffle that moves them to the
// front.
constexpr std::array<uint64_t, 256> MakePack()
{
    std::array<uint64_t, 256> table{};
    for (unsigned keep = 0; keep < 256; ++keep) {
        unsigned at = 0;
        for (unsigned j = 0; j < 8; ++j)
            if (keep >> j & 1)
                table[keep] |= uint64_t{j} << (8 * at++);
        for (; at < 8; ++at)
            table[keep] |= uint64_t{0x80} << (8 * at);
    }
    return table;
}

constexpr std::array<uint64_t, 256> kPack = MakePack();

// The value of each hexadecimal digit; *valid marks the bytes that are one.
__attribute__((target("ssse3,popcnt"), always_inline)) inline __m128i HexDigits(__m128i v, __m128i* valid)
{
    const __m128i digit = _mm_sub_epi8(v, _mm_set1_epi8('0'));
    const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit);
    // Only 'A'-'F' and 'a'-'f' land on 'a'-'f' with the 0x20 bit set.
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
    *valid = _mm_or_si128(isDigit, isLetter);
    return _mm_or_si128(_mm_and_si128(isDigit, digit),
                        _mm_and_si128(isLetter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
}

// Sixteen bytes at a time while 18 are left: an "=" with two hexadecimal digits after it
// becomes their byte and the digits are dropped, the rest is packed together. An escape is
// known from its own three bytes alone (a digit is never "="), so all sixteen are found at
// once, and digits of an escape at the end of a block are dropped from the next. The output
// never runs ahead of the input, so 16 bytes stored at o stay inside out. Stops before a block
// that holds a LF, which the byte loop takes.
__attribute__((target("ssse3,popcnt"))) void DecodeBlocks(const char*& at, const char* end, char*& to)
{
    const char* p = at;
    char* o = to;
    const __m128i lf = _mm_set1_epi8('\n'), equals = _mm_set1_epi8('=');
    const __m128i highNibble = _mm_set1_epi8(-16);
    unsigned carry = 0;
    while (end - p >= 18) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)) != 0)
            break;
        __m128i highValid, lowValid;
        const __m128i high = HexDigits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)), &highValid);
        const __m128i low = HexDigits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2)), &lowValid);
        const __m128i escape = _mm_and_si128(_mm_cmpeq_epi8(v, equals), _mm_and_si128(highValid, lowValid));
        const __m128i value = _mm_or_si128(_mm_and_si128(_mm_slli_epi16(high, 4), highNibble), low);
        const __m128i bytes = _mm_or_si128(_mm_and_si128(escape, value), _mm_andnot_si128(escape, v));
        const auto escapes = static_cast<unsigned>(_mm_movemask_epi8(escape));
        const unsigned dropped = escapes << 1 | escapes << 2 | carry;
        const unsigned keep = ~dropped & 0xFFFF;
        const __m128i order = _mm_set_epi64x(static_cast<long long>(kPack[keep >> 8] + 0x0808080808080808u),
                                             static_cast<long long>(kPack[keep & 0xFF]));
        const __m128i packed = _mm_shuffle_epi8(bytes, order);
        const auto front = static_cast<size_t>(__builtin_popcount(keep & 0xFF));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + front), _mm_srli_si128(packed, 8));
        o += front + static_cast<size_t>(__builtin_popcount(keep >> 8));
        carry = dropped >> 16;
        p += 16;
    }
    at = p + __builtin_popcount(carry);
    to = o;
}

bool HasBlocks()
{
    static const bool has = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    return has;
}

#endif

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
#ifdef VOLTTCP_QP_BLOCKS
    const bool blocks = HasBlocks();
#endif
    while (p < end) {
#ifdef VOLTTCP_QP_BLOCKS
        if (blocks) {
            DecodeBlocks(p, end, o);
            if (p == end)
                break;
        }
#endif
        DecodeStep(line, p, end, o);
    }
    return static_cast<size_t>(o - out);
}
