#include "pop3/Base64Decoder.h"

#include <array>
#include <vector>

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

// Two digits at once: the 12 bits they carry, or kPairInvalid when either is no digit.
constexpr uint16_t kPairInvalid = 0xF000;

const uint16_t* PairTable()
{
    static const std::vector<uint16_t> table = [] {
        std::vector<uint16_t> t(65536);
        for (unsigned first = 0; first < 256; ++first)
            for (unsigned second = 0; second < 256; ++second) {
                const unsigned a = kTable[first], b = kTable[second];
                t[first | second << 8] = a < 64 && b < 64 ? static_cast<uint16_t>(a << 6 | b) : kPairInvalid;
            }
        return t;
    }();
    return table.data();
}

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
    static const uint16_t* const pairs = PairTable();
    while (p < end) {
        // Whole groups of four digits while the accumulator is empty: the common case, taken
        // two digits per look-up.
        while (m_count == 0 && end - p >= 4) {
            const uint32_t high = pairs[p[0] | p[1] << 8], low = pairs[p[2] | p[3] << 8];
            if ((high | low) & kPairInvalid)
                break;
            const uint32_t group = high << 12 | low;
            o[0] = static_cast<uint8_t>(group >> 16);
            o[1] = static_cast<uint8_t>(group >> 8);
            o[2] = static_cast<uint8_t>(group);
            o += 3;
            p += 4;
        }
        if (p == end)
            break;
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
