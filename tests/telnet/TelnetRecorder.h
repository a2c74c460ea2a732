#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "telnet/TelnetSink.h"

// Records what the parser reports as readable text, so a failing case prints what it saw:
// D"..." data run, C<command>,<option> command, S<option>[hex] subnegotiation,
// E<code> error, X the closing call, | the end of a received block.
class CTelnetRecorder final : public CTelnetSink {
public:
    static std::string Hex(std::string_view bytes)
    {
        std::string out;
        char digits[4];
        for (const char c : bytes) {
            std::snprintf(digits, sizeof digits, "%s%02x", out.empty() ? "" : " ",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += digits;
        }
        return out;
    }

    void TelnetData(const char* data, uint32_t length) override
    {
        if (data == nullptr) {
            Record(length == 0 ? "X" : "X!");
            return;
        }
        m_data.append(data, length);
        if (length == 0)
            Record("D<empty>");
        else
            Record("D\"" + Printable(std::string_view(data, length)) + "\"");
    }

    void TelnetCommand(uint8_t command, uint8_t option, const char* data, uint32_t length) override
    {
        std::string event;
        if (data != nullptr || length != 0) {
            event = "S" + std::to_string(option) + "[" + Hex(std::string_view(data, length)) + "]";
            if (command != 250)
                event += "!cmd" + std::to_string(command);
        } else {
            event = "C" + std::to_string(command) + "," + std::to_string(option);
        }
        m_commands.push_back(event);
        Record(event);
    }

    void TelnetError(uint8_t code, const char* text) override
    {
        m_commands.push_back("E" + std::to_string(code));
        m_lastError = text;
        Record("E" + std::to_string(code));
    }

    void EndBlock() { m_events.push_back("|"); }

    // Called with each event as it is recorded, so a test can act from inside the parser.
    std::function<void(const std::string& event)> m_onEvent;

    std::string Events() const
    {
        std::string out;
        for (const auto& e : m_events)
            out += e + " ";
        if (!out.empty())
            out.pop_back();
        return out;
    }

    const std::string& Data() const { return m_data; }
    const std::vector<std::string>& Commands() const { return m_commands; }
    const std::string& LastError() const { return m_lastError; }

private:
    void Record(const std::string& event)
    {
        m_events.push_back(event);
        if (m_onEvent)
            m_onEvent(event);
    }

    static std::string Printable(std::string_view bytes)
    {
        std::string out;
        for (const char c : bytes) {
            const auto u = static_cast<unsigned char>(c);
            if (u >= 0x20 && u < 0x7f && c != '\\') {
                out += c;
            } else {
                char esc[8];
                std::snprintf(esc, sizeof esc, "\\x%02x", static_cast<unsigned>(u));
                out += esc;
            }
        }
        return out;
    }

    std::vector<std::string> m_events;
    std::vector<std::string> m_commands;
    std::string m_data;
    std::string m_lastError;
};
