#include "telnet/TelnetOptions.h"

#include "telnet/TelnetCodes.h"

namespace {

// True when the answer is the command `verb` for the option.
bool Says(const std::string& answer, uint8_t verb, uint8_t option)
{
    return answer.size() >= 3 && static_cast<uint8_t>(answer[0]) == kTelnetIac &&
           static_cast<uint8_t>(answer[1]) == verb && static_cast<uint8_t>(answer[2]) == option;
}

}  // namespace

std::string CTelnetOptions::Answer(Policy policy, uint8_t command, uint8_t option)
{
    if (!IsTelnetNegotiation(command)) {
        std::string answer = policy(command, option);
        // A subnegotiation the policy does not know is refused with WONT; once says it.
        if (command == kTelnetSb && Says(answer, kTelnetWont, option)) {
            if (m_local[option] == kNo)
                return {};
            m_local[option] = kNo;
        }
        return answer;
    }
    const bool remote = command == kTelnetWill || command == kTelnetWont;
    const bool wanted = command == kTelnetWill || command == kTelnetDo;
    EState& state = remote ? m_remote[option] : m_local[option];
    if (state == (wanted ? kYes : kNo))
        return {};
    std::string answer = policy(command, option);
    state = wanted && Says(answer, remote ? kTelnetDo : kTelnetWill, option) ? kYes : kNo;
    return answer;
}

void CTelnetOptions::Reset()
{
    m_local.fill(kUnknown);
    m_remote.fill(kUnknown);
}
