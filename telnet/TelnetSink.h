#pragma once

#include <cstdint>

// Receives what CTelnetParser finds in the byte stream. Texts and bytes are valid only
// during the call.
class CTelnetSink {
public:
    virtual ~CTelnetSink() = default;

    // A run of plain data bytes; null data with length 0 is the closing call.
    virtual void TelnetData(const char* data, uint32_t length) = 0;
    // One complete command: negotiation (option set), subnegotiation (command SB, data
    // set, possibly empty) or any other two-byte command (option 0, no data).
    virtual void TelnetCommand(uint8_t command, uint8_t option, const char* data, uint32_t length) = 0;
    virtual void TelnetError(uint8_t code, const char* text) = 0;
};
