#pragma once

#include <cstdint>
#include <string_view>

#include "lib/VoltTcp.h"
#include "telnet/TelnetCodes.h"
#include "telnet/TelnetOptions.h"
#include "telnet/TelnetParser.h"

// The Telnet protocol component: removes Telnet commands from the received stream, hands
// the data up through OnTelnetData and every complete command through OnTelnetCommand,
// whose default answers option negotiation for a plain protocol client.
class CVoltTelnet : public CVoltTcp {
public:
    CVoltTelnet();
    ~CVoltTelnet() override;

    void OnReceive(const char* data, uint32_t length) override;

    // Plain data; null data with length 0 is the closed event.
    virtual void OnTelnetData(const char* data, uint32_t length) = 0;
    virtual void OnTelnetCommand(uint8_t command, uint8_t option, const char* data, uint32_t length);

    // A command (length 0) or a subnegotiation of option (length > 0, command ignored).
    // False when nothing could be sent or queued.
    bool SendTelnetCommand(uint8_t command, uint8_t option, const char* data, uint32_t length,
                           uint32_t tag = 0);

    // What the options of this connection stand at.
    const CTelnetOptions& Options() const { return m_options; }

protected:
    // Sends an answer built by CTelnetPolicy; an empty answer sends nothing.
    bool SendAnswer(std::string_view wire);
    // Answers a received command by the policy, unless it asks for what is already agreed.
    bool AnswerNegotiation(CTelnetOptions::Policy policy, uint8_t command, uint8_t option);

private:
    class CParserEvents final : public CTelnetSink {
    public:
        explicit CParserEvents(CVoltTelnet& owner) : m_owner(owner) {}
        void TelnetData(const char* data, uint32_t length) override;
        void TelnetCommand(uint8_t command, uint8_t option, const char* data, uint32_t length) override;
        void TelnetError(uint8_t code, const char* text) override;

    private:
        CVoltTelnet& m_owner;
    };

    CParserEvents m_parserEvents;
    CTelnetParser m_parser;
    CTelnetOptions m_options;
};
