#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Test-side BER building blocks, written forward and independently of the codec.
Bytes Hex(const std::string& text);
std::string ToHex(const uint8_t* data, size_t length);
inline std::string ToHex(const Bytes& b)
{
    return ToHex(b.data(), b.size());
}
Bytes Tlv(uint8_t tag, const Bytes& content);
Bytes Cat(std::initializer_list<Bytes> parts);
Bytes Int(int64_t value);
Bytes Str(const std::string& text, uint8_t tag = 0x04);
Bytes Oid(std::initializer_list<uint32_t> arcs);
Bytes Message(int version, const std::string& community, uint8_t pduTag, const Bytes& pduContent);
Bytes Request(uint8_t pduTag, int32_t requestId, const Bytes& bindings,
              const std::string& community = "orchid");
