#pragma once

#include <cstdint>

// Command and option codes of the Telnet protocol that the component handles by name.
inline constexpr uint8_t kTelnetIac = 255;
inline constexpr uint8_t kTelnetDont = 254;
inline constexpr uint8_t kTelnetDo = 253;
inline constexpr uint8_t kTelnetWont = 252;
inline constexpr uint8_t kTelnetWill = 251;
inline constexpr uint8_t kTelnetSb = 250;
inline constexpr uint8_t kTelnetGa = 249;
inline constexpr uint8_t kTelnetIp = 244;
inline constexpr uint8_t kTelnetDm = 242;
inline constexpr uint8_t kTelnetNop = 241;
inline constexpr uint8_t kTelnetSe = 240;

inline constexpr uint8_t kTelnetOptEcho = 1;
inline constexpr uint8_t kTelnetOptSuppressGoAhead = 3;
inline constexpr uint8_t kTelnetOptTerminalType = 24;
inline constexpr uint8_t kTelnetOptNaws = 31;

// Sub-command IS of the terminal-type subnegotiation.
inline constexpr uint8_t kTelnetTtypeIs = 0;

inline constexpr bool IsTelnetNegotiation(uint8_t command)
{
    return command >= kTelnetWill && command <= kTelnetDont;
}
