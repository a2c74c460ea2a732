#pragma once

#include <cstdint>

#include "lib/VoltTcp.h"

class CEchoServer;

// One accepted connection of the echo server: sends back whatever arrives and destroys
// itself when the connection ends.
class CTcpChild final : public CVoltTcp {
public:
    // Reading stops while more than this many echoed bytes wait to be sent, so a client that
    // never reads cannot make the server's memory grow without bound.
    static constexpr uint32_t kMaxQueued = 1024 * 1024;
    static constexpr uint32_t kResumeQueued = kMaxQueued / 4;
    static constexpr uint32_t kReceiveSize = 32766;
    // Reads while the stream is light: the first bytes go back sooner, and reads this small
    // need no buffer of the session's own, so a connection that never shows a backlog
    // allocates none.
    static constexpr uint32_t kLightReceiveSize = 511;

    explicit CTcpChild(CEchoServer* server);
    ~CTcpChild() override;
    CTcpChild(const CTcpChild&) = delete;
    CTcpChild& operator=(const CTcpChild&) = delete;

    CTcpChild* Previous() const { return m_previous; }
    CTcpChild* Next() const { return m_next; }
    void LinkAfter(CTcpChild* previous);

    uint32_t Queued() const { return m_queued; }
    bool ReadingPaused() const { return m_paused; }

protected:
    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* hostName) override;
    void OnReceive(const char* data, uint32_t length) override;
    void OnSent(uint32_t tag) override;
    void OnException(uint8_t code, const char* text) override;

private:
    CTcpChild* m_previous = nullptr;
    CTcpChild* m_next = nullptr;
    CEchoServer* m_server;
    uint32_t m_queued = 0;                    // bytes handed to Send whose OnSent has not come yet
    uint32_t m_readSize = kLightReceiveSize;  // a new connection has shown no backlog yet
    bool m_paused = false;
};
