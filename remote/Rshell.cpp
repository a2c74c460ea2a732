#include "remote/Rshell.h"

std::string CRshellClient::StartupMessage(const std::string& user, const std::string& command)
{
    std::string message;
    AppendField(message, std::string());
    AppendField(message, user);
    AppendField(message, user);
    AppendField(message, command);
    return message;
}

void CRshellClient::OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                              uint16_t localPort, const char* localHostName)
{
    CBaseClient::OnConnect(remoteAddress, remotePort, localAddress, localPort, localHostName);
    m_reply.Reset();
    IRemoteView& view = View();
    SendMessage(StartupMessage(view.UserName(), view.Command()));
}

void CRshellClient::OnReceive(const char* data, uint32_t length)
{
    CBaseClient::OnReceive(data, length);
    if (data == nullptr && length == 0)
        m_reply.Finish(View());
    else
        m_reply.Show(View(), data, length);
}
