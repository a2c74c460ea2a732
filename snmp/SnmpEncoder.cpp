#include "snmp/SnmpEncoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// The messages' own fields never take more than this, apart from the community and the
// trap's enterprise; a buffer is at most 64 KiB, so every length fits three bytes.
constexpr size_t kMinReserve = 48;
constexpr size_t kResponseFixed = 35;
constexpr size_t kTrapFixed = 47;
constexpr size_t kMaxBuffer = 0xFFFF;

class CBerWriter {
public:
    CBerWriter(uint8_t* begin, size_t size) : m_begin(begin), m_end(begin + size), m_pos(m_end) {}

    bool Ok() const { return m_ok; }
    size_t Used() const { return static_cast<size_t>(m_end - m_pos); }
    uint8_t* Pos() const { return m_pos; }
    void Reset(uint8_t* pos)
    {
        m_pos = pos;
        m_ok = true;
    }

    void Byte(uint8_t b)
    {
        if (!m_ok || m_pos == m_begin) {
            m_ok = false;
            return;
        }
        *--m_pos = b;
    }
    void Bytes(const uint8_t* p, size_t n)
    {
        if (!m_ok || static_cast<size_t>(m_pos - m_begin) < n) {
            m_ok = false;
            return;
        }
        m_pos -= n;
        if (n > 0)
            std::memcpy(m_pos, p, n);
    }
    void Length(size_t n)
    {
        if (n < 0x80) {
            Byte(static_cast<uint8_t>(n));
            return;
        }
        uint8_t bytes = 0;
        for (; n != 0; n >>= 8, ++bytes)
            Byte(static_cast<uint8_t>(n & 0xFF));
        Byte(static_cast<uint8_t>(0x80 | bytes));
    }
    void Header(uint8_t tag, size_t contentLength)
    {
        Length(contentLength);
        Byte(tag);
    }
    // The low byte, then one more byte for every byte the magnitude shifted right by 7 still
    // occupies; unsigned values come in non-negative, so a set top bit gains a leading zero.
    void Number(uint8_t tag, int64_t value)
    {
        const size_t start = Used();
        uint64_t magnitude = static_cast<uint64_t>(value < 0 ? -value : value) >> 7;
        Byte(static_cast<uint8_t>(value & 0xFF));
        for (; magnitude != 0; magnitude >>= 8) {
            value >>= 8;
            Byte(static_cast<uint8_t>(value & 0xFF));
        }
        Header(tag, Used() - start);
    }
    void Base128(uint32_t v)
    {
        Byte(static_cast<uint8_t>(v & 0x7F));
        for (v >>= 7; v != 0; v >>= 7)
            Byte(static_cast<uint8_t>(0x80 | (v & 0x7F)));
    }

private:
    uint8_t* m_begin;
    uint8_t* m_end;
    uint8_t* m_pos;
    bool m_ok = true;
};

// Sub-identifiers of a dotted text, the first two already combined. An empty text has none.
struct SubIds {
    std::array<uint32_t, kSnmpMaxSubIds + 1> v{};
    size_t n = 0;
};

bool ParseNumbers(const char* text, size_t length, uint32_t* out, size_t max, size_t& n)
{
    n = 0;
    size_t i = 0;
    while (i < length) {
        if (n == max)
            return false;
        uint64_t value = 0;
        size_t digits = 0;
        for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
            value = value * 10 + static_cast<uint64_t>(text[i] - '0');
            if (value > 0xFFFFFFFFu)
                return false;
        }
        if (digits == 0)
            return false;
        out[n++] = static_cast<uint32_t>(value);
        if (i < length) {
            if (text[i] != '.' || i + 1 == length)
                return false;
            ++i;
        }
    }
    return true;
}

bool ParseOid(const char* text, size_t length, SubIds& ids)
{
    size_t n = 0;
    if (!ParseNumbers(text, length, ids.v.data(), ids.v.size(), n))
        return false;
    if (n == 0) {
        ids.n = 0;
        return true;
    }
    uint64_t first = uint64_t{ids.v[0]} * 40 + (n > 1 ? ids.v[1] : 0);
    if (first > 0xFFFFFFFFu)
        return false;
    ids.v[0] = static_cast<uint32_t>(first);
    if (n > 1)
        std::copy(ids.v.begin() + 2, ids.v.begin() + static_cast<std::ptrdiff_t>(n), ids.v.begin() + 1);
    ids.n = n > 1 ? n - 1 : 1;
    return true;
}

size_t Base128Length(uint32_t v)
{
    size_t n = 1;
    for (v >>= 7; v != 0; v >>= 7)
        ++n;
    return n;
}

bool WriteOid(CBerWriter& w, const char* text, size_t length)
{
    SubIds ids;
    if (!ParseOid(text, length, ids))
        return false;
    const size_t start = w.Used();
    for (size_t i = ids.n; i-- > 0;)
        w.Base128(ids.v[i]);
    w.Header(kSnmpObjectId, w.Used() - start);
    return true;
}

bool WriteAddress(CBerWriter& w, const char* text, size_t length)
{
    std::array<uint32_t, 4> parts{};
    size_t n = 0;
    if (!ParseNumbers(text, length, parts.data(), parts.size(), n) || n != 4)
        return false;
    for (size_t i = 4; i-- > 0;) {
        if (parts[i] > 255)
            return false;
        w.Byte(static_cast<uint8_t>(parts[i]));
    }
    w.Header(kSnmpIpAddress, 4);
    return true;
}

bool WriteBinding(CBerWriter& w, const char* name, const SnmpValue& value, uint8_t type, bool nullValue)
{
    const size_t start = w.Used();
    const auto* text = reinterpret_cast<const char*>(CountedBytes(value.text));
    const size_t textLength = CountedLength(value.text);
    switch (nullValue ? kSnmpNull : type) {
    case kSnmpInteger: w.Number(type, static_cast<int32_t>(value.number)); break;
    case kSnmpCounter:
    case kSnmpGauge:
    case kSnmpTimeTicks: w.Number(type, value.number); break;
    case kSnmpOctetString:
    case kSnmpOpaque:
        w.Bytes(CountedBytes(value.text), textLength);
        w.Header(type, textLength);
        break;
    case kSnmpObjectId:
        if (!WriteOid(w, text, textLength))
            return false;
        break;
    case kSnmpIpAddress:
        if (!WriteAddress(w, text, textLength))
            return false;
        break;
    default:  // NULL, and the types no agent produces
        w.Header(kSnmpNull, 0);
        break;
    }
    if (name == nullptr || !WriteOid(w, name, std::strlen(name)))
        return false;
    w.Header(0x30, w.Used() - start);
    return true;
}

// Encodes the bindings last to first, closing a message whenever the next binding would
// leave less than `reserve` bytes for the message's own fields.
bool EncodeBindings(CBerWriter& w, uint8_t* end, size_t size, size_t reserve, uint32_t count,
                    const char* const* names, const SnmpValue* values, const uint8_t* types, bool nullValues,
                    const std::function<bool(CBerWriter&)>& close)
{
    if (size <= reserve)
        return false;
    size_t inMessage = 0;
    for (size_t i = count; i-- > 0;) {
        uint8_t* mark = w.Pos();
        if (!WriteBinding(w, names[i], values[i], types[i], nullValues))
            return false;
        if (w.Ok() && w.Used() <= size - reserve) {
            ++inMessage;
            continue;
        }
        if (inMessage == 0)
            return false;
        w.Reset(mark);
        if (!close(w))
            return false;
        w.Reset(end);
        inMessage = 0;
        ++i;
    }
    return close(w);
}

}  // namespace

CSnmpEncoder::CSnmpEncoder(uint8_t* buffer, size_t size)
    : m_buffer(buffer), m_size(std::min(size, kMaxBuffer))
{}

bool CSnmpEncoder::Response(const char* community, int32_t requestId, uint8_t errorStatus, int32_t errorIndex,
                            uint8_t pduType, uint32_t count, const char* const* names,
                            const SnmpValue* values, const uint8_t* types, const Sink& sink) const
{
    if (m_buffer == nullptr)
        return false;
    const size_t communityLength = community ? std::strlen(community) : 0;
    const size_t reserve = std::max(kMinReserve, kResponseFixed + communityLength);
    CBerWriter w(m_buffer, m_size);
    auto close = [&](CBerWriter& out) {
        out.Header(0x30, out.Used());
        out.Number(kSnmpInteger, static_cast<int16_t>(errorIndex));
        out.Number(kSnmpInteger, errorStatus);
        out.Number(kSnmpInteger, requestId);
        out.Header(static_cast<uint8_t>(0xA0 + pduType), out.Used());
        out.Bytes(reinterpret_cast<const uint8_t*>(community), communityLength);
        out.Header(kSnmpOctetString, communityLength);
        out.Number(kSnmpInteger, 0);
        out.Header(0x30, out.Used());
        return out.Ok() && sink(out.Pos(), out.Used());
    };
    return EncodeBindings(w, m_buffer + m_size, m_size, reserve, count, names, values, types,
                          pduType == kPduGetRequest || pduType == kPduGetNextRequest, close);
}

bool CSnmpEncoder::Trap(const char* community, const char* enterprise, const char* agentAddress,
                        uint8_t genericTrap, int32_t specificTrap, uint32_t timeStamp, uint32_t count,
                        const char* const* names, const SnmpValue* values, const uint8_t* types,
                        const Sink& sink) const
{
    if (m_buffer == nullptr || enterprise == nullptr || agentAddress == nullptr)
        return false;
    SubIds ids;
    if (!ParseOid(enterprise, std::strlen(enterprise), ids))
        return false;
    size_t enterpriseLength = 0;
    for (size_t i = 0; i < ids.n; ++i)
        enterpriseLength += Base128Length(ids.v[i]);
    const size_t communityLength = community ? std::strlen(community) : 0;
    const size_t reserve = std::max(kMinReserve, kTrapFixed + enterpriseLength + communityLength);
    CBerWriter w(m_buffer, m_size);
    bool textsOk = true;
    auto close = [&](CBerWriter& out) {
        out.Header(0x30, out.Used());
        out.Number(kSnmpTimeTicks, timeStamp);
        out.Number(kSnmpInteger, specificTrap);
        out.Number(kSnmpInteger, genericTrap);
        textsOk = WriteAddress(out, agentAddress, std::strlen(agentAddress)) &&
                  WriteOid(out, enterprise, std::strlen(enterprise));
        out.Header(static_cast<uint8_t>(0xA0 + kPduTrap), out.Used());
        out.Bytes(reinterpret_cast<const uint8_t*>(community), communityLength);
        out.Header(kSnmpOctetString, communityLength);
        out.Number(kSnmpInteger, 0);
        out.Header(0x30, out.Used());
        return textsOk && out.Ok() && sink(out.Pos(), out.Used());
    };
    {
        // Refuse a bad agent address before any binding is encoded.
        std::array<uint8_t, 8> scratch{};
        CBerWriter probe(scratch.data(), scratch.size());
        if (!WriteAddress(probe, agentAddress, std::strlen(agentAddress)))
            return false;
    }
    return EncodeBindings(w, m_buffer + m_size, m_size, reserve, count, names, values, types, false, close);
}
