#pragma once

#include <cstddef>
#include <cstdint>

#include "snmp/SnmpTypes.h"

enum class SnmpDecodeResult {
    Dropped,              // malformed, truncated, or a request without bindings
    Request,              // record holds a request or response
    Trap,                 // record holds a trap
    VersionNotSupported,  // a well-formed header with a version other than 0
    NoRoom,               // the bindings do not fit the decode area
};

// Turns one datagram into a record. Every read is bounded by the datagram; the binding arrays
// and their texts are laid out in `area`.
class CSnmpDecoder final {
public:
    static SnmpDecodeResult Decode(const uint8_t* data, size_t length, uint8_t* area, size_t areaSize,
                                   SnmpRecord& record);
};
