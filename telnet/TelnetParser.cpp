#include "telnet/TelnetParser.h"

#include <cstring>

#include "telnet/TelnetCodes.h"

void CTelnetParser::Reset()
{
    m_count = 0;
    m_crPending = false;
    m_sbIacPending = false;
}

CTelnetParser::~CTelnetParser()
{
    if (m_stopped != nullptr)
        *m_stopped = true;
}

void CTelnetParser::Receive(const char* data, uint32_t length)
{
    if (data == nullptr) {
        if (m_stopped != nullptr) {
            *m_stopped = true;
            m_stopped = nullptr;
        }
        // A half-assembled command must not leak into the next connection.
        Reset();
        m_sink.TelnetData(nullptr, 0);
        return;
    }

    bool stopped = false;
    bool* const outer = m_stopped;
    m_stopped = &stopped;
    Parse(data, length, stopped);
    if (stopped) {
        // The parser may be gone: touch nothing of it, only the callers' flags.
        if (outer != nullptr)
            *outer = true;
        return;
    }
    m_stopped = outer;
}

void CTelnetParser::Parse(const char* data, uint32_t length, const bool& stopped)
{
    size_t i = 0;
    if (m_crPending) {
        m_crPending = false;
        if (length > 0 && data[0] == '\0')
            i = 1;
    }

    while (i < length) {
        if (m_count != 0) {
            Assemble(static_cast<uint8_t>(data[i++]));
            if (stopped)
                return;
            continue;
        }
        const void* hit = std::memchr(data + i, kTelnetIac, length - i);
        const size_t end =
            hit != nullptr ? static_cast<size_t>(static_cast<const char*>(hit) - data) : length;
        if (!FilterData(data + i, end - i, end == length, stopped) || hit == nullptr)
            return;
        m_command[0] = static_cast<char>(kTelnetIac);
        m_count = 1;
        i = end + 1;
    }
}

bool CTelnetParser::FilterData(const char* data, size_t length, bool endsBlock, const bool& stopped)
{
    size_t i = 0;
    while (i < length) {
        const void* cr = std::memchr(data + i, '\r', length - i);
        if (cr == nullptr) {
            m_sink.TelnetData(data + i, static_cast<uint32_t>(length - i));
            return !stopped;
        }
        size_t next = static_cast<size_t>(static_cast<const char*>(cr) - data) + 1;
        if (next < length && data[next] == '\n')
            ++next;
        m_sink.TelnetData(data + i, static_cast<uint32_t>(next - i));
        if (stopped)
            return false;
        if (data[next - 1] == '\n') {
            i = next;
            continue;
        }
        if (next == length) {
            // Only a NUL that really follows this CR is padding; a command in between
            // ends the CR's claim on it.
            m_crPending = endsBlock;
            return true;
        }
        if (data[next] == '\0')
            ++next;
        i = next;
    }
    return true;
}

void CTelnetParser::Assemble(uint8_t byte)
{
    if (m_count == 1) {
        if (byte == kTelnetIac) {
            m_count = 0;
            static const char kDataIac = static_cast<char>(kTelnetIac);
            m_sink.TelnetData(&kDataIac, 1);
            return;
        }
        m_command[1] = static_cast<char>(byte);
        m_count = 2;
        if (byte != kTelnetSb && !IsTelnetNegotiation(byte))
            Complete(byte, 0, nullptr, 0);
        return;
    }
    const auto command = static_cast<uint8_t>(m_command[1]);
    if (command != kTelnetSb) {
        // The option byte is taken as it is, 255 included.
        Complete(command, byte, nullptr, 0);
        return;
    }
    AssembleSubnegotiation(byte);
}

void CTelnetParser::AssembleSubnegotiation(uint8_t byte)
{
    if (m_count == 2) {
        Append(byte);
        return;
    }
    if (m_sbIacPending) {
        m_sbIacPending = false;
        if (byte == kTelnetIac)
            return;  // the stored IAC now stands for one data byte 255
        if (!Append(byte))
            return;
        if (byte == kTelnetSe) {
            Complete(kTelnetSb, static_cast<uint8_t>(m_command[2]), m_command + 3, m_count - 5);
        }
        return;
    }
    if (Append(byte) && byte == kTelnetIac)
        m_sbIacPending = true;
}

bool CTelnetParser::Append(uint8_t byte)
{
    m_command[m_count++] = static_cast<char>(byte);
    if (m_count < kCommandSize)
        return true;
    m_count = 0;
    m_sbIacPending = false;
    m_sink.TelnetError(kErrorCode, kErrorText);
    return false;
}

void CTelnetParser::Complete(uint8_t command, uint8_t option, const char* data, uint32_t length)
{
    m_count = 0;
    m_sbIacPending = false;
    m_sink.TelnetCommand(command, option, data, length);
}
