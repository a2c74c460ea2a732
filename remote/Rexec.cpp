#include "remote/Rexec.h"

std::string CRexecClient::StartupMessage(const std::string& user, const std::string& password,
                                         const std::string& command)
{
    std::string message;
    AppendField(message, std::string());  // no secondary port: standard error comes inline
    AppendField(message, user);
    AppendField(message, password);
    AppendField(message, command);
    return message;
}

void CRexecClient::OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                             uint16_t localPort, const char* localHostName)
{
    CBaseClient::OnConnect(remoteAddress, remotePort, localAddress, localPort, localHostName);
    m_reply.Reset();
    IRemoteView& view = View();
    SendMessage(StartupMessage(view.UserName(), view.Password(), view.Command()));
}

void CRexecClient::OnReceive(const char* data, uint32_t length)
{
    CBaseClient::OnReceive(data, length);
    if (data == nullptr && length == 0)
        m_reply.Finish(View());
    else
        m_reply.Show(View(), data, length);
}
