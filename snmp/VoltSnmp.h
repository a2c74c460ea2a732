#pragma once

#include <cstdint>
#include <memory>

#include "lib/VoltUdp.h"
#include "snmp/SnmpTypes.h"

// The SNMP component: decodes every datagram it receives into a request or trap event, and
// encodes and sends responses and traps. Texts and arrays handed to an event are valid only
// during the event; the request's value and type arrays may be changed in place.
class CVoltSnmp : public CVoltUdp {
public:
    CVoltSnmp();
    ~CVoltSnmp() override;

    // Events, after the datagram facade's own; the defaults do nothing.
    virtual void OnSnmpRequest(const char* community, int32_t requestId, uint8_t errorStatus,
                               int32_t errorIndex, uint8_t pduType, uint32_t count, const char** names,
                               SnmpValue* values, uint8_t* types, const char* senderAddress,
                               uint16_t senderPort);
    virtual void OnSnmpTrap(const char* community, const char* enterprise, const char* agentAddress,
                            uint8_t genericTrap, int32_t specificTrap, uint32_t timeStamp, uint32_t count,
                            const char** names, SnmpValue* values, uint8_t* types, const char* senderAddress,
                            uint16_t senderPort);
    virtual void OnSnmpOpen(const char* localAddress, uint16_t localPort, const char* localHostName,
                            uint16_t bufferSize);

    // 1 when the socket is open and every message was encoded and queued, 0 otherwise.
    int SendResponse(const char* host, uint16_t port, const char* community, int32_t requestId,
                     uint8_t errorStatus, int32_t errorIndex, uint32_t count, const char* const* names,
                     const SnmpValue* values, const uint8_t* types);
    int SendTrap(const char* host, uint16_t port, const char* community, const char* enterprise,
                 const char* agentAddress, uint8_t genericTrap, int32_t specificTrap, uint32_t timeStamp,
                 uint32_t count, const char* const* names, const SnmpValue* values, const uint8_t* types);

    uint16_t BufferSize() const { return m_bufferSize; }

protected:
    void OnOpen(const char* localAddress, uint16_t localPort, const char* localHostName,
                uint16_t maxDatagram) override;
    void OnReceive(const char* data, uint32_t length, const char* senderAddress,
                   uint16_t senderPort) override;

private:
    std::unique_ptr<uint8_t[]> m_packet;
    std::unique_ptr<uint8_t[]> m_decode;
    uint16_t m_bufferSize = 0;
};
