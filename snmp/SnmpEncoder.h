#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "snmp/SnmpTypes.h"

// Builds responses and traps backward from the end of a packet buffer, so that every length
// is known when its header is written. A message that would not fit is split: the bindings
// encoded so far are closed into one message and handed to the sink, and encoding resumes
// with the rest.
class CSnmpEncoder final {
public:
    // Receives each finished message; false stops the encoding.
    using Sink = std::function<bool(const uint8_t* data, size_t length)>;

    CSnmpEncoder(uint8_t* buffer, size_t size);

    // False when an identifier or address text cannot be encoded, a single binding cannot fit
    // the buffer, or the sink refused a message.
    bool Response(const char* community, int32_t requestId, uint8_t errorStatus, int32_t errorIndex,
                  uint8_t pduType, uint32_t count, const char* const* names, const SnmpValue* values,
                  const uint8_t* types, const Sink& sink) const;
    bool Trap(const char* community, const char* enterprise, const char* agentAddress, uint8_t genericTrap,
              int32_t specificTrap, uint32_t timeStamp, uint32_t count, const char* const* names,
              const SnmpValue* values, const uint8_t* types, const Sink& sink) const;

private:
    uint8_t* m_buffer;
    size_t m_size;
};
