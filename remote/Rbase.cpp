#include "remote/Rbase.h"

#include <cstring>

#include "lib/ErrorText.h"

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
    m_host = host;
    m_port = port;
    m_localPort = localPort;
    m_portsTried = 0;
    return ConnectFromLocalPort();
}

bool CBaseClient::ConnectFromLocalPort()
{
    for (;;) {
        m_portTaken = false;
        m_connecting = true;
        const bool ok = Connect(0, m_host.c_str(), m_port, nullptr, m_localPort);
        m_connecting = false;
        if (!m_portTaken)
            return ok;
    }
}

bool CBaseClient::TakeNextLocalPort()
{
    const int reserved = kReservedPortEnd - kReservedPortStart;
    if (m_localPort < kReservedPortStart || m_localPort >= kReservedPortEnd || GetState() != Closed ||
        ++m_portsTried >= reserved)
        return false;
    m_localPort = m_localPort == kReservedPortStart ? kReservedPortEnd - 1 : m_localPort - 1;
    return true;
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

void CBaseClient::OnException(uint8_t code, const char* text)
{
    if (code == ExcAddressInUse && TakeNextLocalPort()) {
        if (m_connecting)
            m_portTaken = true;
        else
            ConnectFromLocalPort();  // the look-up of a name ended in this failure: the last thing it does
        return;
    }
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
