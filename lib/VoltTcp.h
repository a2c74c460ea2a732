#pragma once

#include <cstdint>
#include <memory>

#include "lib/Session.h"

class CTcp;

// The stream component every protocol component and stream client derives from. Work goes
// down as calls; everything that happens comes back up as the virtual events. Texts handed
// to an event are valid only during the event.
class CVoltTcp {
public:
    // Values of GetState.
    using State = session::EState;
    using enum session::EState;

    CVoltTcp();
    virtual ~CVoltTcp();  // destroys the session; no event is raised
    CVoltTcp(const CVoltTcp&) = delete;
    CVoltTcp& operator=(const CVoltTcp&) = delete;

    // Events, in slot order.
    virtual void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                           uint16_t localPort, const char* localHostName);
    // data is followed by a zero byte that is not counted; no data and length 0: the closed
    // event, the last thing the session does, so the facade may be destroyed inside it.
    virtual void OnReceive(const char* data, uint32_t length);
    virtual void OnSent(uint32_t tag);
    virtual void OnListen(const char* localAddress, uint16_t port, const char* localHostName);
    virtual void OnAccept();
    virtual void OnException(uint8_t code, const char* text) = 0;
    // addresses: texts ending at an empty text.
    virtual void OnStackInfo(uint16_t version, const char* description, const char* systemStatus,
                             uint16_t maxSockets, uint16_t maxUdpDg, const char* localHostName,
                             const char* const* addresses);
    virtual bool Send(const char* data, uint32_t length, bool outOfBand = false, uint32_t tag = 0);

    bool Connect(uint8_t flags, const char* remoteHost, uint16_t remotePort,
                 const char* localAddress = nullptr, uint16_t localPort = 0);
    bool Listen(uint8_t flags, const char* localAddress, uint16_t localPort, uint16_t timeout = 0);
    bool Accept(uint8_t flags, CVoltTcp* listening);
    bool Close(bool abort);
    uint8_t GetState() const;
    bool SetReceiveSize(uint32_t size);
    bool QueryStack();

private:
    std::unique_ptr<CTcp> m_session;
};
