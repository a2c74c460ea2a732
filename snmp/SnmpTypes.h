#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Binding value tags as they appear on the wire.
constexpr uint8_t kSnmpInteger = 0x02;
constexpr uint8_t kSnmpOctetString = 0x04;
constexpr uint8_t kSnmpNull = 0x05;
constexpr uint8_t kSnmpObjectId = 0x06;
constexpr uint8_t kSnmpIpAddress = 0x40;
constexpr uint8_t kSnmpCounter = 0x41;
constexpr uint8_t kSnmpGauge = 0x42;
constexpr uint8_t kSnmpTimeTicks = 0x43;
constexpr uint8_t kSnmpOpaque = 0x44;
constexpr uint8_t kSnmpUInteger = 0x47;

// PDU types: the low three bits of the PDU tag.
constexpr uint8_t kPduGetRequest = 0;
constexpr uint8_t kPduGetNextRequest = 1;
constexpr uint8_t kPduGetResponse = 2;
constexpr uint8_t kPduSetRequest = 3;
constexpr uint8_t kPduTrap = 4;

constexpr size_t kSnmpMaxCommunity = 24;
constexpr size_t kSnmpMaxSubIds = 200;

// Integer-valued types and NULL carry `number`; strings, identifiers and addresses carry
// `text`, a counted text: 16-bit length (low byte first), the bytes, a zero not counted.
struct SnmpValue {
    uint32_t number = 0;
    const uint8_t* text = nullptr;
};

bool SnmpIsNumberType(uint8_t type);
bool SnmpIsTextType(uint8_t type);

inline size_t CountedLength(const uint8_t* text)
{
    return text == nullptr ? 0 : static_cast<size_t>(text[0] | (text[1] << 8));
}
inline const uint8_t* CountedBytes(const uint8_t* text)
{
    return text == nullptr ? nullptr : text + 2;
}
inline std::string CountedString(const uint8_t* text)
{
    return text == nullptr ? std::string()
                           : std::string(reinterpret_cast<const char*>(text + 2), CountedLength(text));
}
// Writes a counted text into dst (capacity cap); returns the bytes used, 0 when it does not fit.
size_t MakeCounted(uint8_t* dst, size_t cap, const void* bytes, size_t length);

// A decoded datagram. The binding arrays point into the caller's decode area and stay valid
// until that area is reused.
struct SnmpRecord {
    std::string community;
    uint8_t pduType = 0;
    int32_t requestId = 0;
    uint8_t errorStatus = 0;
    int32_t errorIndex = 0;
    std::string enterprise;
    std::string agentAddress;
    uint8_t genericTrap = 0;
    int32_t specificTrap = 0;
    uint32_t timeStamp = 0;
    uint32_t count = 0;
    const char** names = nullptr;
    SnmpValue* values = nullptr;
    uint8_t* types = nullptr;
};
