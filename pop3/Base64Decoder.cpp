#include "pop3/Base64Decoder.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VOLTTCP_BASE64_AVX2 1
#endif

namespace {

constexpr uint8_t kSkip = 253;  // line breaks, spaces and tabs

constexpr std::array<uint8_t, 256> MakeTable()
{
    std::array<uint8_t, 256> table{};
    for (auto& entry : table)
        entry = CBase64Decoder::kStray;
    for (int i = 0; i < 26; ++i) {
        table[static_cast<size_t>('A' + i)] = static_cast<uint8_t>(i);
        table[static_cast<size_t>('a' + i)] = static_cast<uint8_t>(26 + i);
    }
    for (int i = 0; i < 10; ++i)
        table[static_cast<size_t>('0' + i)] = static_cast<uint8_t>(52 + i);
    table['+'] = 62;
    table['/'] = 63;
    table['='] = CBase64Decoder::kPad;
    table['\r'] = kSkip;
    table['\n'] = kSkip;
    table[' '] = kSkip;
    table['\t'] = kSkip;
    return table;
}

constexpr std::array<uint8_t, 256> kTable = MakeTable();

// A digit's six bits already in their place within a group of four; any byte that is no
// digit sets kGroupInvalid, so one test after the four look-ups covers the whole group.
constexpr uint32_t kGroupInvalid = 1u << 24;

constexpr std::array<uint32_t, 256> MakeShifted(int shift)
{
    std::array<uint32_t, 256> table{};
    for (size_t i = 0; i < 256; ++i)
        table[i] = kTable[i] < 64 ? uint32_t{kTable[i]} << shift : kGroupInvalid;
    return table;
}

constexpr std::array<uint32_t, 256> kShift18 = MakeShifted(18);
constexpr std::array<uint32_t, 256> kShift12 = MakeShifted(12);
constexpr std::array<uint32_t, 256> kShift6 = MakeShifted(6);
constexpr std::array<uint32_t, 256> kShift0 = MakeShifted(0);

// Whole groups of four digits; stops before the first group holding anything else.
void DecodeGroups(const uint8_t*& p, const uint8_t* end, uint8_t*& o)
{
    while (end - p >= 4) {
        const uint32_t group = kShift18[p[0]] | kShift12[p[1]] | kShift6[p[2]] | kShift0[p[3]];
        if (group & kGroupInvalid)
            return;
        o[0] = static_cast<uint8_t>(group >> 16);
        o[1] = static_cast<uint8_t>(group >> 8);
        o[2] = static_cast<uint8_t>(group);
        o += 3;
        p += 4;
    }
}

#ifdef VOLTTCP_BASE64_AVX2

// Blocks of 32 bytes: the high and the low half of each byte select bit sets whose overlap
// marks a byte outside the alphabet, and the high half picks the offset that turns a digit into
// its value. The whole groups of digits at the front of a block are decoded, line breaks,
// spaces and tabs after them passed over; a group cut by anything else is left to the caller.
__attribute__((target("avx2"))) void DecodeBlocks(const uint8_t*& p, const uint8_t* end, uint8_t*& o)
{
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i slash = _mm256_set1_epi8('/');
    // Bit sets: 0x01 for 0x2_, 0x02 for 0x3_, 0x04 for 0x4_ and 0x6_, 0x08 for 0x5_ and 0x7_,
    // 0x10 for everything else; per low half, the sets in which that low half is no digit.
    const __m256i invalidLow = _mm256_setr_epi8(
        0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A, 0x15,
        0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i setHigh = _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10,
                                             0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08,
                                             0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    // Indexed by the high half, one less for '/': '/' '+' digits 'A'-'Z' 'a'-'z'.
    const __m256i offset = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16,
                                            19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i pairs = _mm256_set1_epi32(0x01400140);
    const __m256i quads = _mm256_set1_epi32(0x00011000);
    const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6,
                                           5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i pack = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    while (end - p >= 32) {
        const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i high = _mm256_and_si256(_mm256_srli_epi32(in, 4), nibble);
        const __m256i low = _mm256_and_si256(in, nibble);
        const __m256i invalid =
            _mm256_and_si256(_mm256_shuffle_epi8(invalidLow, low), _mm256_shuffle_epi8(setHigh, high));
        const auto valid =
            static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(invalid, _mm256_setzero_si256())));
        const unsigned digits = valid == 0xFFFFFFFFu ? 32u : static_cast<unsigned>(__builtin_ctz(~valid));
        const unsigned whole = digits & ~3u;
        if (whole > 0) {
            const __m256i index = _mm256_add_epi8(_mm256_cmpeq_epi8(in, slash), high);
            const __m256i values = _mm256_add_epi8(in, _mm256_shuffle_epi8(offset, index));
            // aaaaaabb bbbbcccc ccdddddd from each four values, then the 24 bytes packed together.
            const __m256i merged = _mm256_madd_epi16(_mm256_maddubs_epi16(values, pairs), quads);
            const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(merged, order), pack);
            if (whole == 32) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(bytes));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 16), _mm256_extracti128_si256(bytes, 1));
            } else {
                // Only the bytes of whole groups: out has no room to spare.
                alignas(32) uint8_t block[32];
                _mm256_store_si256(reinterpret_cast<__m256i*>(block), bytes);
                std::memcpy(o, block, whole / 4 * 3);
            }
            o += whole / 4 * 3;
            p += whole;
            if (whole == 32)
                continue;
        }
        if (digits != whole)
            return;
        const uint8_t* const from = p;
        while (p < end && kTable[*p] == kSkip)
            ++p;
        if (p == from)
            return;
    }
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

#endif

}  // namespace

const uint8_t* CBase64Decoder::Table()
{
    return kTable.data();
}

size_t CBase64Decoder::Decode(const char* in, size_t length, char* out, size_t* written, bool* stopped)
{
    const auto* p = reinterpret_cast<const uint8_t*>(in);
    const uint8_t* const end = p + length;
    auto* o = reinterpret_cast<uint8_t*>(out);
    *stopped = false;
#ifdef VOLTTCP_BASE64_AVX2
    const bool blocks = HasAvx2();
#endif
    while (p < end) {
        // While the accumulator is empty, digits go whole blocks or groups at a time; a line
        // break or any other byte ends a run and is looked at one byte at a time below.
        if (m_count == 0) {
#ifdef VOLTTCP_BASE64_AVX2
            if (blocks)
                DecodeBlocks(p, end, o);
#endif
            DecodeGroups(p, end, o);
            if (p == end)
                break;
        }
        const uint8_t value = kTable[*p];
        if (value < 64) {
            m_bits = (m_bits << 6 | value) & 0xFFFFFF;
            m_count += 6;
            if (m_count >= 8) {
                m_count -= 8;
                *o++ = static_cast<uint8_t>(m_bits >> m_count);
            }
        } else if (value != kSkip) {
            *stopped = true;
            break;
        }
        ++p;
    }
    *written = static_cast<size_t>(o - reinterpret_cast<uint8_t*>(out));
    return static_cast<size_t>(p - reinterpret_cast<const uint8_t*>(in));
}
