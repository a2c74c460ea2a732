#pragma once

#include <cstdint>

#include "lib/VoltTcp.h"

class CEchoServerView;
class CTcpChild;

// The listening half of the echo service. Every accepted connection becomes a CTcpChild
// linked at the end of a chain anchored by a child that never connects.
class CEchoServer final : public CVoltTcp {
public:
    static constexpr uint16_t kDefaultPort = 7;

    explicit CEchoServer(CEchoServerView& view);
    ~CEchoServer() override;
    CEchoServer(const CEchoServer&) = delete;
    CEchoServer& operator=(const CEchoServer&) = delete;

    // Listens on Port(), any local address, no time-out.
    bool StartListening();

    uint16_t Port() const { return m_port; }
    void SetPort(uint16_t port) { m_port = port; }
    uint32_t Connections() const { return m_connections; }
    // The first live connection of the chain; walk on with Next().
    CTcpChild* FirstConnection() const;
    CEchoServerView& View() { return m_view; }

    // Called by a child whose connection has ended.
    void ChildClosed();

protected:
    void OnReceive(const char* data, uint32_t length) override;
    void OnListen(const char* address, uint16_t port, const char* hostName) override;
    void OnAccept() override;
    void OnException(uint8_t code, const char* text) override;

private:
    CTcpChild* m_firstChild;
    CTcpChild* m_cursor;
    uint16_t m_port;
    uint32_t m_connections;
    CEchoServerView& m_view;
};
