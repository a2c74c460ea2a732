#pragma once

#include <cstdint>
#include <string>

// The two option policies, stateless: what each command is answered with when it arrives.
// CTelnetOptions keeps a request for a state already agreed from being answered again. An
// empty answer means nothing is sent.
class CTelnetPolicy final {
public:
    static constexpr const char* kTerminalType = "vt320";
    static constexpr uint16_t kColumns = 80;
    static constexpr uint16_t kRows = 24;

    // What a plain protocol client (the FTP control connection) answers.
    static std::string DefaultAnswer(uint8_t command, uint8_t option);
    // What the terminal client answers: it reports its type and window size, and lets
    // the host keep echoing.
    static std::string TerminalAnswer(uint8_t command, uint8_t option);
    // The window-size subnegotiation (RFC 1073).
    static std::string WindowSize(uint16_t columns, uint16_t rows);
};
