#pragma once

#include <cstdint>
#include <vector>

#include "lib/Vxlist.h"
#include "lib/Winsock.h"

class CPkt;
class CVoltTcp;

// One TCP connection or listening socket, driven entirely by notifications. Reports to its
// owner facade through the facade's events; never talks to the application.
class CTcp final : public CWinsock {
public:
    static constexpr int32_t kDefaultReceiveSize = 32766;
    static constexpr uint16_t kMaxQueuedPackets = 65535;
    // After an accept failed for lack of descriptors the listening socket rests this long,
    // instead of failing the same accept again at once for as long as the shortage lasts.
    static constexpr uint32_t kAcceptRetryMs = 100;

    explicit CTcp(CVoltTcp* owner);
    ~CTcp() override;

    bool Connect(uint8_t flags, const char* remoteHost, uint16_t remotePort, const char* localAddress,
                 uint16_t localPort);
    bool Listen(uint8_t flags, const char* localAddress, uint16_t localPort, uint16_t timeout);
    bool Accept(uint8_t flags, CTcp* listening);
    bool Send(const char* data, uint32_t length, bool outOfBand, uint32_t tag);
    bool Close(bool abort) override;
    bool SetReceiveSize(uint32_t size);
    bool QueryStack();

    uint16_t QueuedPackets() const
    {
        return static_cast<uint16_t>(m_sendQueue.GetCount() + (m_sentPending ? 1 : 0));
    }

private:
    void OnHostResolved(int error, uint32_t address) override;
    void OnConnect() override;
    // The connected notice with both addresses; the peer's is asked of the socket when not given.
    void ReportConnected(const sockaddr_in* acceptedPeer);
    void OnAccept() override;
    void OnReceive(bool closing) override;
    void OnWriteReady() override;
    void OnError(uint8_t code, const char* text) override;
    void OnLocalHostResolved() override;
    void OnTimer(uintptr_t id) override;

    // The options the session flags ask for. A refused one is a notice to the owner; false
    // when the owner closed or destroyed the session in it.
    bool ApplySocketOptions();
    void CloseSocket(bool notify);
    void SetLinger(bool on);
    void DropQueue();
    CPkt* NewPacket();
    void RecyclePacket(CPkt* packet);
    // Listening: stop taking connections until the retry timer fires.
    void PauseAccepting();

    int32_t m_receiveSize = kDefaultReceiveSize;
    CVoltTcp* m_owner;
    CVxList m_sendQueue{10};
    uint32_t m_localBindAddress = 0;
    uint16_t m_remotePort = 0;
    uint16_t m_localPort = 0;
    bool m_receiving = false;
    bool m_sending = false;
    bool m_readPending = false;
    bool m_writePending = false;
    bool m_stackQueryPending = false;
    // Listening: accepts fail for lack of descriptors; reported once until one succeeds.
    bool m_acceptShortage = false;
    std::vector<CPkt*> m_sparePackets;  // keeps their buffers for the next sends
    // A send that went out whole into an empty queue still reports on the next write notice,
    // like any queued packet; it waits here, ahead of the queue, without a packet of its own.
    bool m_sentPending = false;
    uint32_t m_sentTag = 0;
};
