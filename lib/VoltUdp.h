#pragma once

#include <cstdint>
#include <memory>

#include "lib/Session.h"

class CUdp;

// The datagram component: one UDP socket bound to a local port. Work goes down as calls;
// everything that happens comes back up as the virtual events. Texts handed to an event are
// valid only during the event.
class CVoltUdp {
public:
    // Values of GetState; a datagram session never listens.
    using State = session::EState;
    using enum session::EState;

    CVoltUdp();
    virtual ~CVoltUdp();  // destroys the session; no event is raised
    CVoltUdp(const CVoltUdp&) = delete;
    CVoltUdp& operator=(const CVoltUdp&) = delete;

    // Events, in slot order.
    virtual void OnOpen(const char* localAddress, uint16_t localPort, const char* localHostName,
                        uint16_t maxDatagram);
    virtual void OnException(uint8_t code, const char* text) = 0;
    // addresses: texts ending at an empty text.
    virtual void OnStackInfo(uint16_t version, const char* description, const char* systemStatus,
                             uint16_t maxSockets, uint16_t maxUdpDg, const char* localHostName,
                             const char* const* addresses);
    // No data, length 0, no sender and port 0: the socket has closed.
    virtual void OnReceive(const char* data, uint32_t length, const char* senderAddress, uint16_t senderPort);
    virtual void OnSent(uint32_t tag);

    // flags: only the trace bits 1 and 8 mean something here; localAddress null or empty: any.
    bool Open(uint8_t flags, const char* localAddress, uint16_t localPort);
    // host: name or dotted text; null or empty: the last destination looked up.
    bool SendTo(const char* host, uint16_t port, const char* data, uint32_t length, uint32_t tag = 0);
    bool Close(bool abort);
    uint8_t GetState() const;

private:
    std::unique_ptr<CUdp> m_session;
};
