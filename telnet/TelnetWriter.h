#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Builds the bytes of outgoing Telnet commands and subnegotiations.
class CTelnetWriter final {
public:
    // A command when length is 0 (IAC command [option]), else a subnegotiation of the
    // option with every 255 in the data doubled. False when no buffer could be had.
    static bool Encode(uint8_t command, uint8_t option, const char* data, uint32_t length, std::string& wire);
    // Data Mark has to travel as urgent data to be of any use to the peer.
    static bool IsUrgent(uint8_t command, uint32_t length);

    static std::string Command(uint8_t command, uint8_t option);
    static std::string Subnegotiation(uint8_t option, std::string_view data);
};
