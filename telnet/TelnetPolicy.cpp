#include "telnet/TelnetPolicy.h"

#include "telnet/TelnetCodes.h"
#include "telnet/TelnetWriter.h"

namespace {

bool HostMayEnable(uint8_t option)
{
    return option == kTelnetOptEcho || option == kTelnetOptSuppressGoAhead;
}

}  // namespace

std::string CTelnetPolicy::WindowSize(uint16_t columns, uint16_t rows)
{
    const char size[] = {static_cast<char>(columns >> 8), static_cast<char>(columns & 0xff),
                         static_cast<char>(rows >> 8), static_cast<char>(rows & 0xff)};
    return CTelnetWriter::Subnegotiation(kTelnetOptNaws, std::string_view(size, sizeof size));
}

std::string CTelnetPolicy::DefaultAnswer(uint8_t command, uint8_t option)
{
    switch (command) {
    case kTelnetWill: return CTelnetWriter::Command(HostMayEnable(option) ? kTelnetDo : kTelnetDont, option);
    case kTelnetWont: return CTelnetWriter::Command(kTelnetDont, option);
    case kTelnetDo:
        return CTelnetWriter::Command(option == kTelnetOptSuppressGoAhead ? kTelnetWill : kTelnetWont,
                                      option);
    case kTelnetDont: return CTelnetWriter::Command(kTelnetWont, option);
    default: return {};
    }
}

std::string CTelnetPolicy::TerminalAnswer(uint8_t command, uint8_t option)
{
    switch (command) {
    case kTelnetWill: return CTelnetWriter::Command(HostMayEnable(option) ? kTelnetDo : kTelnetDont, option);
    case kTelnetWont: return CTelnetWriter::Command(kTelnetDont, option);
    case kTelnetDo:
        // The size goes along with the agreement: the host never asks for it (RFC 1073).
        if (option == kTelnetOptNaws)
            return CTelnetWriter::Command(kTelnetWill, option) + WindowSize(kColumns, kRows);
        return CTelnetWriter::Command(option == kTelnetOptTerminalType ? kTelnetWill : kTelnetWont, option);
    case kTelnetDont:
        // Refusing to stop an echo we never offered would only invite another round.
        if (option == kTelnetOptEcho)
            return {};
        return CTelnetWriter::Command(kTelnetWont, option);
    case kTelnetSb:
        if (option == kTelnetOptTerminalType) {
            return CTelnetWriter::Subnegotiation(option, std::string(1, static_cast<char>(kTelnetTtypeIs)) +
                                                             kTerminalType);
        }
        if (option == kTelnetOptNaws)
            return WindowSize(kColumns, kRows);
        return CTelnetWriter::Command(kTelnetWont, option);
    default: return {};
    }
}
