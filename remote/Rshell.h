#pragma once

#include "remote/CommandReply.h"
#include "remote/Rbase.h"

// Remote shell: the server trusts the client's host and privileged source port, and the
// user's .rhosts; one command whose output (standard error included) comes back on the
// one connection.
class CRshellClient final : public CBaseClient {
public:
    explicit CRshellClient(IRemoteView& view) : CBaseClient(view) {}

    // An empty secondary-port field, the user name as the local and as the remote user, and
    // the command.
    static std::string StartupMessage(const std::string& user, const std::string& command);

protected:
    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* localHostName) override;
    void OnReceive(const char* data, uint32_t length) override;

private:
    CCommandReply m_reply;
};
