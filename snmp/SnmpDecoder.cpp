#include "snmp/SnmpDecoder.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// Room for the longest text an identifier can produce: 200 sub-identifiers of up to ten
// digits each, separators and the extra first arc.
constexpr size_t kOidTextMax = (kSnmpMaxSubIds + 1) * 11 + 1;

class CBerReader {
public:
    CBerReader() = default;
    CBerReader(const uint8_t* p, size_t n) : m_p(p), m_end(p + n) {}

    bool AtEnd() const { return m_p == m_end; }
    size_t Left() const { return static_cast<size_t>(m_end - m_p); }
    const uint8_t* Data() const { return m_p; }

    bool Byte(uint8_t& b)
    {
        if (m_p == m_end)
            return false;
        b = *m_p++;
        return true;
    }

    // Definite lengths only; a length running past the datagram is refused here.
    bool Length(size_t& n)
    {
        uint8_t first = 0;
        if (!Byte(first))
            return false;
        if (first < 0x80) {
            n = first;
        } else {
            size_t bytes = first & 0x7F;
            if (bytes == 0 || bytes > 4)
                return false;
            n = 0;
            for (size_t i = 0; i < bytes; ++i) {
                uint8_t b = 0;
                if (!Byte(b))
                    return false;
                n = (n << 8) | b;
            }
        }
        return n <= Left();
    }

    // One element: its tag and a reader over exactly its contents.
    bool Element(uint8_t& tag, CBerReader& content)
    {
        size_t n = 0;
        if (!Byte(tag) || !Length(n))
            return false;
        content = CBerReader(m_p, n);
        m_p += n;
        return true;
    }

private:
    const uint8_t* m_p = nullptr;
    const uint8_t* m_end = nullptr;
};

uint32_t ContentNumber(CBerReader content)
{
    if (content.AtEnd())
        return 0;
    const uint8_t* p = content.Data();
    uint32_t value = (p[0] & 0x80) ? 0xFFFFFFFFu : 0u;
    for (size_t i = 0; i < content.Left(); ++i)
        value = (value << 8) | p[i];
    return value;
}

bool ReadNumber(CBerReader& r, uint32_t& value)
{
    uint8_t tag = 0;
    CBerReader content;
    if (!r.Element(tag, content))
        return false;
    value = ContentNumber(content);
    return true;
}

// Dotted text of an encoded identifier; false for a sub-identifier above 32 bits, one cut off
// by the end of the element, or more than 200 of them.
bool OidText(CBerReader content, char* out, size_t& length)
{
    size_t used = 0;
    size_t subIds = 0;
    const uint8_t* p = content.Data();
    const size_t n = content.Left();
    size_t i = 0;
    while (i < n) {
        uint32_t value = 0;
        bool done = false;
        while (i < n) {
            uint8_t b = p[i++];
            if (value > (0xFFFFFFFFu >> 7))
                return false;
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80) == 0) {
                done = true;
                break;
            }
        }
        if (!done || ++subIds > kSnmpMaxSubIds)
            return false;
        // Formatting by hand: this runs for every name of every request.
        char* at = out + used;
        char* end = out + kOidTextMax;
        if (subIds == 1) {
            at = std::to_chars(at, end, value / 40).ptr;
            *at++ = '.';
            at = std::to_chars(at, end, value % 40).ptr;
        } else {
            *at++ = '.';
            at = std::to_chars(at, end, value).ptr;
        }
        used = static_cast<size_t>(at - out);
    }
    out[used] = '\0';
    length = used;
    return true;
}

bool AddressText(CBerReader content, char* out, size_t& length)
{
    if (content.Left() != 4)
        return false;
    const uint8_t* p = content.Data();
    int w = std::snprintf(out, 16, "%u%c%u%c%u%c%u", p[0], '.', p[1], '.', p[2], '.', p[3]);
    length = static_cast<size_t>(w);
    return true;
}

// Bump allocation of texts in the decode area; the first pass runs it with no storage to
// measure, the second writes.
class CTextArea {
public:
    CTextArea(uint8_t* p, size_t cap) : m_p(p), m_cap(cap) {}
    size_t Used() const { return m_used; }

    const char* Text(const char* s, size_t n)
    {
        const size_t at = m_used;
        m_used += n + 1;
        if (m_p == nullptr)
            return nullptr;
        std::memcpy(m_p + at, s, n);
        m_p[at + n] = 0;
        return reinterpret_cast<const char*>(m_p + at);
    }
    const uint8_t* Counted(const void* s, size_t n)
    {
        const size_t at = m_used;
        m_used += n + 3;
        if (m_p == nullptr)
            return nullptr;
        MakeCounted(m_p + at, m_cap - at, s, n);
        return m_p + at;
    }

private:
    uint8_t* m_p;
    size_t m_cap;
    size_t m_used = 0;
};

struct BindingOut {
    const char* name = nullptr;
    SnmpValue value;
    uint8_t type = 0;
};

bool DecodeBinding(CBerReader& list, CTextArea& texts, BindingOut& out)
{
    uint8_t tag = 0;
    CBerReader binding;
    if (!list.Element(tag, binding))
        return false;
    CBerReader name;
    if (!binding.Element(tag, name))
        return false;
    std::array<char, kOidTextMax> text{};
    size_t n = 0;
    if (!OidText(name, text.data(), n))
        return false;
    out.name = texts.Text(text.data(), n);

    CBerReader value;
    if (!binding.Element(out.type, value))
        return false;
    out.value = SnmpValue{};
    switch (out.type) {
    case kSnmpOctetString:
    case kSnmpOpaque:
        if (value.Left() > 0xFFFF)
            return false;
        out.value.text = texts.Counted(value.Data(), value.Left());
        break;
    case kSnmpObjectId:
        if (!OidText(value, text.data(), n))
            return false;
        out.value.text = texts.Counted(text.data(), n);
        break;
    case kSnmpIpAddress:
        if (!AddressText(value, text.data(), n))
            return false;
        out.value.text = texts.Counted(text.data(), n);
        break;
    default:
        if (SnmpIsNumberType(out.type))
            out.value.number = ContentNumber(value);
        break;
    }
    return true;
}

template <typename T>
T* AlignedArray(uint8_t* base, size_t& offset, size_t count, size_t areaSize)
{
    offset = (offset + alignof(T) - 1) / alignof(T) * alignof(T);
    if (offset > areaSize || count > (areaSize - offset) / sizeof(T))
        return nullptr;
    T* array = reinterpret_cast<T*>(base + offset);
    for (size_t i = 0; i < count; ++i)
        new (&array[i]) T();
    offset += count * sizeof(T);
    return array;
}

// First pass: validates every binding and measures the texts; second: lays them out.
SnmpDecodeResult DecodeBindings(CBerReader list, uint8_t* area, size_t areaSize, SnmpRecord& record)
{
    record.count = 0;
    record.names = nullptr;
    record.values = nullptr;
    record.types = nullptr;
    size_t count = 0;
    CTextArea measure(nullptr, 0);
    for (CBerReader r = list; !r.AtEnd(); ++count) {
        BindingOut b;
        if (!DecodeBinding(r, measure, b))
            return SnmpDecodeResult::Dropped;
    }
    if (count == 0)
        return SnmpDecodeResult::Request;

    uint8_t* base = area;
    size_t space = areaSize;
    if (base == nullptr ||
        std::align(alignof(SnmpValue), 1, reinterpret_cast<void*&>(base), space) == nullptr)
        return SnmpDecodeResult::NoRoom;
    size_t offset = 0;
    auto* names = AlignedArray<const char*>(base, offset, count, space);
    auto* values = names ? AlignedArray<SnmpValue>(base, offset, count, space) : nullptr;
    auto* types = values ? AlignedArray<uint8_t>(base, offset, count, space) : nullptr;
    if (types == nullptr || space - offset < measure.Used())
        return SnmpDecodeResult::NoRoom;

    CTextArea texts(base + offset, space - offset);
    for (size_t i = 0; i < count; ++i) {
        BindingOut b;
        if (!DecodeBinding(list, texts, b))
            return SnmpDecodeResult::Dropped;
        names[i] = b.name;
        values[i] = b.value;
        types[i] = b.type;
    }
    record.count = static_cast<uint32_t>(count);
    record.names = names;
    record.values = values;
    record.types = types;
    return SnmpDecodeResult::Request;
}

}  // namespace

SnmpDecodeResult CSnmpDecoder::Decode(const uint8_t* data, size_t length, uint8_t* area, size_t areaSize,
                                      SnmpRecord& record)
{
    record = SnmpRecord{};
    if (data == nullptr)
        return SnmpDecodeResult::Dropped;
    CBerReader datagram(data, length);
    uint8_t tag = 0;
    CBerReader message;
    if (!datagram.Element(tag, message))
        return SnmpDecodeResult::Dropped;
    uint32_t version = 0;
    if (!ReadNumber(message, version))
        return SnmpDecodeResult::Dropped;
    if (version != 0)
        return SnmpDecodeResult::VersionNotSupported;

    CBerReader community;
    if (!message.Element(tag, community) || community.Left() > kSnmpMaxCommunity)
        return SnmpDecodeResult::Dropped;
    record.community.assign(reinterpret_cast<const char*>(community.Data()), community.Left());

    CBerReader pdu;
    if (!message.Element(tag, pdu))
        return SnmpDecodeResult::Dropped;
    record.pduType = tag & 0x07;

    uint32_t number = 0;
    CBerReader list;
    if (record.pduType == kPduTrap) {
        CBerReader enterprise;
        std::array<char, kOidTextMax> text{};
        size_t n = 0;
        if (!pdu.Element(tag, enterprise) || !OidText(enterprise, text.data(), n))
            return SnmpDecodeResult::Dropped;
        record.enterprise.assign(text.data(), n);
        CBerReader address;
        if (!pdu.Element(tag, address) || !AddressText(address, text.data(), n))
            return SnmpDecodeResult::Dropped;
        record.agentAddress.assign(text.data(), n);
        if (!ReadNumber(pdu, number))
            return SnmpDecodeResult::Dropped;
        record.genericTrap = static_cast<uint8_t>(number);
        if (!ReadNumber(pdu, number))
            return SnmpDecodeResult::Dropped;
        record.specificTrap = static_cast<int32_t>(number);
        if (!ReadNumber(pdu, record.timeStamp))
            return SnmpDecodeResult::Dropped;
    } else {
        if (!ReadNumber(pdu, number))
            return SnmpDecodeResult::Dropped;
        record.requestId = static_cast<int32_t>(number);
        if (!ReadNumber(pdu, number))
            return SnmpDecodeResult::Dropped;
        record.errorStatus = static_cast<uint8_t>(number);
        if (!ReadNumber(pdu, number))
            return SnmpDecodeResult::Dropped;
        record.errorIndex = static_cast<int32_t>(number);
    }
    if (!pdu.Element(tag, list))
        return SnmpDecodeResult::Dropped;

    SnmpDecodeResult result = DecodeBindings(list, area, areaSize, record);
    if (result != SnmpDecodeResult::Request)
        return result;
    if (record.pduType == kPduTrap)
        return SnmpDecodeResult::Trap;
    return record.count == 0 ? SnmpDecodeResult::Dropped : SnmpDecodeResult::Request;
}
