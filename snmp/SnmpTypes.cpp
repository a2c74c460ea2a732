#include "snmp/SnmpTypes.h"

#include <cstring>

bool SnmpIsNumberType(uint8_t type)
{
    switch (type) {
    case kSnmpInteger:
    case kSnmpNull:
    case kSnmpCounter:
    case kSnmpGauge:
    case kSnmpTimeTicks:
    case kSnmpUInteger: return true;
    default: return false;
    }
}

bool SnmpIsTextType(uint8_t type)
{
    return type == kSnmpOctetString || type == kSnmpOpaque || type == kSnmpObjectId || type == kSnmpIpAddress;
}

size_t MakeCounted(uint8_t* dst, size_t cap, const void* bytes, size_t length)
{
    if (length > 0xFFFF || cap < length + 3)
        return 0;
    dst[0] = static_cast<uint8_t>(length & 0xFF);
    dst[1] = static_cast<uint8_t>(length >> 8);
    if (length > 0)
        std::memcpy(dst + 2, bytes, length);
    dst[2 + length] = 0;
    return length + 3;
}
