#include "tests/snmp/SnmpBytes.h"

#include <cstdio>

Bytes Hex(const std::string& text)
{
    Bytes out;
    unsigned value = 0;
    int digits = 0;
    for (char c : text) {
        int d = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                         : -1;
        if (d < 0)
            continue;
        value = value * 16 + static_cast<unsigned>(d);
        if (++digits == 2) {
            out.push_back(static_cast<uint8_t>(value));
            value = 0;
            digits = 0;
        }
    }
    return out;
}

std::string ToHex(const uint8_t* data, size_t length)
{
    std::string out;
    char part[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(part, sizeof part, i ? " %02X" : "%02X", data[i]);
        out += part;
    }
    return out;
}

Bytes Tlv(uint8_t tag, const Bytes& content)
{
    Bytes out{tag};
    size_t n = content.size();
    if (n < 128) {
        out.push_back(static_cast<uint8_t>(n));
    } else if (n < 256) {
        out.insert(out.end(), {0x81, static_cast<uint8_t>(n)});
    } else {
        out.insert(out.end(), {0x82, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Int(int64_t value)
{
    Bytes content;
    // Minimal two's complement.
    for (int i = 7; i >= 0; --i)
        content.push_back(static_cast<uint8_t>(value >> (8 * i)));
    while (content.size() > 1 &&
           ((content[0] == 0 && !(content[1] & 0x80)) || (content[0] == 0xFF && (content[1] & 0x80))))
        content.erase(content.begin());
    return Tlv(0x02, content);
}

Bytes Str(const std::string& text, uint8_t tag)
{
    return Tlv(tag, Bytes(text.begin(), text.end()));
}

Bytes Oid(std::initializer_list<uint32_t> arcs)
{
    std::vector<uint32_t> ids(arcs);
    Bytes content;
    std::vector<uint32_t> subs;
    if (ids.size() >= 2) {
        subs.push_back(ids[0] * 40 + ids[1]);
        subs.insert(subs.end(), ids.begin() + 2, ids.end());
    }
    for (uint32_t v : subs) {
        Bytes enc{static_cast<uint8_t>(v & 0x7F)};
        for (v >>= 7; v; v >>= 7)
            enc.insert(enc.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
        content.insert(content.end(), enc.begin(), enc.end());
    }
    return Tlv(0x06, content);
}

Bytes Message(int version, const std::string& community, uint8_t pduTag, const Bytes& pduContent)
{
    return Tlv(0x30, Cat({Int(version), Str(community), Tlv(pduTag, pduContent)}));
}

Bytes Request(uint8_t pduTag, int32_t requestId, const Bytes& bindings, const std::string& community)
{
    return Message(0, community, pduTag, Cat({Int(requestId), Int(0), Int(0), Tlv(0x30, bindings)}));
}
