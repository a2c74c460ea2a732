#pragma once

#include <cstddef>
#include <cstdint>

#include "telnet/TelnetSink.h"

// Splits a received Telnet stream into data runs and commands. Commands may be split over
// any number of blocks; everything it finds goes to the sink, so it needs no socket.
class CTelnetParser final {
public:
    static constexpr uint32_t kCommandSize = 256;
    static constexpr uint8_t kErrorCode = 2;
    static constexpr const char* kErrorText = "Error parsing TELNET option";

    explicit CTelnetParser(CTelnetSink& sink) : m_sink(sink) {}
    ~CTelnetParser();
    CTelnetParser(const CTelnetParser&) = delete;
    CTelnetParser& operator=(const CTelnetParser&) = delete;

    // One received block; null data is the closing call and is passed on unchanged. A
    // closing call that arrives from inside a sink call (the owner aborted the connection)
    // ends the block being parsed, and so does destroying the parser there.
    void Receive(const char* data, uint32_t length);

    bool Assembling() const { return m_count != 0; }
    void Reset();

private:
    void Parse(const char* data, uint32_t length, const bool& stopped);
    bool FilterData(const char* data, size_t length, bool endsBlock, const bool& stopped);
    void Assemble(uint8_t byte);
    void AssembleSubnegotiation(uint8_t byte);
    bool Append(uint8_t byte);
    void Complete(uint8_t command, uint8_t option, const char* data, uint32_t length);

    CTelnetSink& m_sink;
    char m_command[kCommandSize] = {};
    // The block ended with a lone CR, so a NUL opening the next block is its padding.
    bool m_crPending = false;
    uint32_t m_count = 0;
    // Inside a subnegotiation the last stored byte is an IAC still waiting for its partner.
    bool m_sbIacPending = false;
    // The stop flag of the innermost Receive running, on its caller's stack.
    bool* m_stopped = nullptr;
};
