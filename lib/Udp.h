#pragma once

#include <netinet/in.h>

#include <cstdint>

#include "lib/Pkt.h"
#include "lib/Vxlist.h"
#include "lib/Winsock.h"

class CVoltUdp;

// One UDP socket bound to a local port. Destinations given by name are looked up one at a
// time, in call order; resolved datagrams wait in the send queue until the stack takes them.
class CUdp final : public CWinsock {
public:
    explicit CUdp(CVoltUdp* owner);
    ~CUdp() override;

    bool Open(uint8_t flags, const char* localAddress, uint16_t localPort);
    bool SendTo(const char* host, uint16_t port, const char* data, uint32_t length, uint32_t tag);
    bool Close(bool abort) override;

private:
    void OnHostResolved(int error, uint32_t address) override;
    void OnReceive(bool closing) override;
    void OnWriteReady() override;
    void OnError(uint8_t code, const char* text) override;
    void OnLocalHostResolved() override;

    void ReportTagged(uint8_t code, const char* text, uint32_t tag);
    void ResolveHead();
    void FinishOpen();
    void CloseSocket(bool notify);
    void DestroyQueue(CVxList& queue);

    CVoltUdp* m_owner;
    CVxList m_lookupQueue{10};
    CVxList m_sendQueue{10};
    uint32_t m_lastDestination = 0;
    bool m_receiving = false;
    bool m_readPending = false;
    bool m_stackQueryPending = false;
    sockaddr_in m_bound{};
    char m_text[515] = {};  // small datagrams, and the lines of exception notices
};
