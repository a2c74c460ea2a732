#pragma once

#include <cstdint>
#include <string>

#include "lib/VoltTcp.h"
#include "remote/RemoteView.h"

// The common part of the remote execution, remote shell and remote login clients: keeps the
// status and error panels up to date and starts connections. Each service sends its start-up
// message from OnConnect and reads the server's answer in OnReceive.
class CBaseClient : public CVoltTcp {
public:
    static constexpr uint16_t kRexecPort = 512;
    static constexpr uint16_t kRloginPort = 513;
    static constexpr uint16_t kRshellPort = 514;
    // The servers of rsh and rlogin trust only source ports from 512 up to below 1024.
    static constexpr uint16_t kReservedPortStart = 512;
    static constexpr uint16_t kReservedPortEnd = 1024;

    explicit CBaseClient(IRemoteView& view);

    // Shows "Connecting ...", empties the display and connects from localPort (0: any). A
    // reserved local port still held by an earlier connection (in TIME_WAIT after a Logout,
    // say) gives way to the next lower free one, wrapping from 512 to 1023, as the classic
    // clients do; only when every one is taken does the user see "Address Already in Use".
    bool OpenSession(const std::string& host, uint16_t port, uint16_t localPort);

protected:
    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* localHostName) override;
    // No data and length 0: the connection has closed.
    void OnReceive(const char* data, uint32_t length) override;
    void OnException(uint8_t code, const char* text) override;

    IRemoteView& View() { return m_view; }

    // Appends one text and its NUL to a start-up message; a NUL inside the text ends it, so
    // no field can shift the ones after it.
    static void AppendField(std::string& message, const std::string& text);
    // Sends a start-up message in one piece: the bytes on the wire are the same as field by
    // field, and the server reads them without waiting for more segments.
    bool SendMessage(const std::string& message);

private:
    bool ConnectFromLocalPort();
    bool TakeNextLocalPort();

    IRemoteView& m_view;
    std::string m_host;
    uint16_t m_port = 0;
    uint16_t m_localPort = 0;
    int m_portsTried = 0;
    bool m_connecting = false;  // inside Connect: a taken port is retried by the caller's loop
    bool m_portTaken = false;
};
