#pragma once

#include "remote/CommandReply.h"
#include "remote/Rbase.h"

// Remote execution: user name and password checked by the server, then one command whose
// output (standard error included) comes back on the one connection.
class CRexecClient final : public CBaseClient {
public:
    explicit CRexecClient(IRemoteView& view) : CBaseClient(view) {}

    // An empty secondary-port field, the user name, the password and the command.
    static std::string StartupMessage(const std::string& user, const std::string& password,
                                      const std::string& command);

protected:
    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* localHostName) override;
    void OnReceive(const char* data, uint32_t length) override;

private:
    CCommandReply m_reply;
};
