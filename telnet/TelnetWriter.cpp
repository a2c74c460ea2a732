#include "telnet/TelnetWriter.h"

#include <algorithm>
#include <limits>
#include <new>

#include "telnet/TelnetCodes.h"

bool CTelnetWriter::IsUrgent(uint8_t command, uint32_t length)
{
    return length == 0 && command == kTelnetDm;
}

std::string CTelnetWriter::Command(uint8_t command, uint8_t option)
{
    std::string wire{static_cast<char>(kTelnetIac), static_cast<char>(command)};
    if (IsTelnetNegotiation(command))
        wire.push_back(static_cast<char>(option));
    return wire;
}

std::string CTelnetWriter::Subnegotiation(uint8_t option, std::string_view data)
{
    std::string wire;
    wire.reserve(data.size() + 5);
    wire.push_back(static_cast<char>(kTelnetIac));
    wire.push_back(static_cast<char>(kTelnetSb));
    wire.push_back(static_cast<char>(option));
    for (const char c : data) {
        wire.push_back(c);
        if (static_cast<uint8_t>(c) == kTelnetIac)
            wire.push_back(c);
    }
    wire.push_back(static_cast<char>(kTelnetIac));
    wire.push_back(static_cast<char>(kTelnetSe));
    return wire;
}

bool CTelnetWriter::Encode(uint8_t command, uint8_t option, const char* data, uint32_t length,
                           std::string& wire)
{
    if (length == 0) {
        wire = Command(command, option);
        return true;
    }
    if (data == nullptr)
        return false;
    const std::string_view view(data, length);
    const auto doubled =
        static_cast<uint64_t>(std::count(view.begin(), view.end(), static_cast<char>(kTelnetIac)));
    // The whole subnegotiation has to fit one Send call.
    if (uint64_t{length} + doubled + 5 > std::numeric_limits<uint32_t>::max())
        return false;
    try {
        wire = Subnegotiation(option, view);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
