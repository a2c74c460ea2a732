#include "snmp/VoltSnmp.h"

#include <algorithm>
#include <new>

#include "lib/ErrorText.h"
#include "snmp/SnmpDecoder.h"
#include "snmp/SnmpEncoder.h"

namespace {

constexpr uint16_t kMinBuffer = 512;

}  // namespace

CVoltSnmp::CVoltSnmp() = default;
CVoltSnmp::~CVoltSnmp() = default;

void CVoltSnmp::OnSnmpRequest(const char*, int32_t, uint8_t, int32_t, uint8_t, uint32_t, const char**,
                              SnmpValue*, uint8_t*, const char*, uint16_t)
{}
void CVoltSnmp::OnSnmpTrap(const char*, const char*, const char*, uint8_t, int32_t, uint32_t, uint32_t,
                           const char**, SnmpValue*, uint8_t*, const char*, uint16_t)
{}
void CVoltSnmp::OnSnmpOpen(const char*, uint16_t, const char*, uint16_t)
{}

void CVoltSnmp::OnOpen(const char* localAddress, uint16_t localPort, const char* localHostName,
                       uint16_t maxDatagram)
{
    const uint16_t size = std::max(kMinBuffer, maxDatagram);
    if (!m_packet || !m_decode || size > m_bufferSize) {
        m_packet.reset(new (std::nothrow) uint8_t[size]);
        m_decode.reset(new (std::nothrow) uint8_t[size]);
        if (!m_packet || !m_decode) {
            m_packet.reset();
            m_decode.reset();
            m_bufferSize = 0;
            OnException(ExcResources, "Could not allocate packet buffer");
            Close(true);
            return;
        }
        m_bufferSize = size;
    }
    OnSnmpOpen(localAddress, localPort, localHostName, m_bufferSize);
}

void CVoltSnmp::OnReceive(const char* data, uint32_t length, const char* senderAddress, uint16_t senderPort)
{
    if (data == nullptr || !m_decode)
        return;
    SnmpRecord r;
    switch (CSnmpDecoder::Decode(reinterpret_cast<const uint8_t*>(data), length, m_decode.get(), m_bufferSize,
                                 r)) {
    case SnmpDecodeResult::Request:
        OnSnmpRequest(r.community.c_str(), r.requestId, r.errorStatus, r.errorIndex, r.pduType, r.count,
                      r.names, r.values, r.types, senderAddress, senderPort);
        break;
    case SnmpDecodeResult::Trap:
        OnSnmpTrap(r.community.c_str(), r.enterprise.c_str(), r.agentAddress.c_str(), r.genericTrap,
                   r.specificTrap, r.timeStamp, r.count, r.names, r.values, r.types, senderAddress,
                   senderPort);
        break;
    case SnmpDecodeResult::VersionNotSupported:
        OnException(ExcSystem, "SNMP packet received: Version not supported.");
        break;
    case SnmpDecodeResult::NoRoom:
        OnException(ExcResources, "Could not allocate memory to decode received packet");
        break;
    case SnmpDecodeResult::Dropped: break;
    }
}

int CVoltSnmp::SendResponse(const char* host, uint16_t port, const char* community, int32_t requestId,
                            uint8_t errorStatus, int32_t errorIndex, uint32_t count, const char* const* names,
                            const SnmpValue* values, const uint8_t* types)
{
    if (GetState() != Connected || !m_packet)
        return 0;
    CSnmpEncoder encoder(m_packet.get(), m_bufferSize);
    auto sink = [&](const uint8_t* message, size_t length) {
        return SendTo(host, port, reinterpret_cast<const char*>(message), static_cast<uint32_t>(length));
    };
    return encoder.Response(community, requestId, errorStatus, errorIndex, kPduGetResponse, count, names,
                            values, types, sink)
               ? 1
               : 0;
}

int CVoltSnmp::SendTrap(const char* host, uint16_t port, const char* community, const char* enterprise,
                        const char* agentAddress, uint8_t genericTrap, int32_t specificTrap,
                        uint32_t timeStamp, uint32_t count, const char* const* names, const SnmpValue* values,
                        const uint8_t* types)
{
    if (GetState() != Connected || !m_packet)
        return 0;
    CSnmpEncoder encoder(m_packet.get(), m_bufferSize);
    auto sink = [&](const uint8_t* message, size_t length) {
        return SendTo(host, port, reinterpret_cast<const char*>(message), static_cast<uint32_t>(length));
    };
    return encoder.Trap(community, enterprise, agentAddress, genericTrap, specificTrap, timeStamp, count,
                        names, values, types, sink)
               ? 1
               : 0;
}
