#include "remote/Rbase.h"

#include <cstring>

CBaseClient::CBaseClient(IRemoteView& view) : m_view(view)
{
    m_view.ShowStatus("Connection Closed", kPanelMaroon, kPanelWhite);
    m_view.HideError();
}

bool CBaseClient::OpenSession(const std::string& host, uint16_t port, uint16_t localPort)
{
    m_view.ShowStatus("Connecting ...", kPanelYellow, kPanelBlack);
    m_view.HideError();
    m_view.ClearDisplay();
    return Connect(0, host.c_str(), port, nullptr, localPort);
}

void CBaseClient::OnConnect(const char* remoteAddress, uint16_t /*remotePort*/, const char* /*localAddress*/,
                            uint16_t /*localPort*/, const char* /*localHostName*/)
{
    m_view.ShowStatus(std::string("Connected to ") + remoteAddress, kPanelGreen, kPanelWhite);
    m_view.HideError();
}

void CBaseClient::OnReceive(const char* data, uint32_t length)
{
    if (data == nullptr && length == 0)
        m_view.ShowStatus("Connection Closed", kPanelMaroon, kPanelWhite);
}

void CBaseClient::OnException(uint8_t /*code*/, const char* text)
{
    m_view.ShowError(text);
    if (GetState() == Closed)
        m_view.ShowStatus("Connection Closed", kPanelMaroon, kPanelWhite);
}

void CBaseClient::AppendField(std::string& message, const std::string& text)
{
    message.append(text.c_str(), std::strlen(text.c_str()));
    message.push_back('\0');
}

bool CBaseClient::SendMessage(const std::string& message)
{
    return Send(message.data(), static_cast<uint32_t>(message.size()), false, 0);
}
