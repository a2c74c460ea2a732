#include "remote/Rlogin.h"

#include <string>

namespace {

// Whether text ends inside a UTF-8 sequence.
bool EndsInsideCharacter(const char* data, uint32_t length)
{
    const uint32_t look = length < 3 ? length : 3;
    for (uint32_t back = 1; back <= look; ++back) {
        const auto byte = static_cast<unsigned char>(data[length - back]);
        if ((byte & 0xC0) == 0x80)
            continue;  // a continuation byte: look further back for its lead
        const uint32_t size = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return size > back;
    }
    return false;
}

}  // namespace

std::string CRloginClient::StartupMessage(const std::string& user)
{
    std::string message;
    AppendField(message, std::string());
    AppendField(message, user);
    AppendField(message, user);
    AppendField(message, kTerminal);
    return message;
}

void CRloginClient::OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                              uint16_t localPort, const char* localHostName)
{
    CBaseClient::OnConnect(remoteAddress, remotePort, localAddress, localPort, localHostName);
    m_acknowledged = false;
    m_characterOpen = false;
    SendMessage(StartupMessage(View().UserName()));
}

void CRloginClient::OnReceive(const char* data, uint32_t length)
{
    CBaseClient::OnReceive(data, length);
    if (data == nullptr || length == 0)
        return;
    if (!m_acknowledged) {
        if (data[0] == '\0') {
            m_acknowledged = true;
            View().ClearDisplay();
            View().FocusDisplay();
            ++data;
            --length;
        } else if (data[0] == '\1') {
            ++data;  // the failure byte; the server's message follows
            --length;
        }
    } else if (!m_characterOpen && IsControlByte(static_cast<unsigned char>(data[0]))) {
        ++data;
        --length;
    }
    Show(data, length);
}

void CRloginClient::Show(const char* data, uint32_t length)
{
    if (length == 0)
        return;
    m_characterOpen = EndsInsideCharacter(data, length);
    std::string text;
    text.reserve(length);
    for (uint32_t i = 0; i < length; ++i) {
        if (data[i] != '\0')
            text.push_back(data[i]);
    }
    View().AppendDisplay(text.data(), text.size());
}
