#include "telnet/VoltTelnet.h"

#include <string>

#include "telnet/TelnetPolicy.h"
#include "telnet/TelnetWriter.h"

CVoltTelnet::CVoltTelnet() : m_parserEvents(*this), m_parser(m_parserEvents)
{}

CVoltTelnet::~CVoltTelnet() = default;

void CVoltTelnet::OnReceive(const char* data, uint32_t length)
{
    if (data == nullptr)
        m_options.Reset();  // the next connection negotiates afresh
    m_parser.Receive(data, length);
}

void CVoltTelnet::OnTelnetCommand(uint8_t command, uint8_t option, const char*, uint32_t)
{
    AnswerNegotiation(&CTelnetPolicy::DefaultAnswer, command, option);
}

bool CVoltTelnet::AnswerNegotiation(CTelnetOptions::Policy policy, uint8_t command, uint8_t option)
{
    return SendAnswer(m_options.Answer(policy, command, option));
}

bool CVoltTelnet::SendTelnetCommand(uint8_t command, uint8_t option, const char* data, uint32_t length,
                                    uint32_t tag)
{
    std::string wire;
    if (!CTelnetWriter::Encode(command, option, data, length, wire))
        return false;
    return Send(wire.data(), static_cast<uint32_t>(wire.size()), CTelnetWriter::IsUrgent(command, length),
                tag);
}

bool CVoltTelnet::SendAnswer(std::string_view wire)
{
    if (wire.empty())
        return true;
    return Send(wire.data(), static_cast<uint32_t>(wire.size()), false, 0);
}

void CVoltTelnet::CParserEvents::TelnetData(const char* data, uint32_t length)
{
    m_owner.OnTelnetData(data, length);
}

void CVoltTelnet::CParserEvents::TelnetCommand(uint8_t command, uint8_t option, const char* data,
                                               uint32_t length)
{
    m_owner.OnTelnetCommand(command, option, data, length);
}

void CVoltTelnet::CParserEvents::TelnetError(uint8_t code, const char* text)
{
    m_owner.OnException(code, text);
}
