#include "lib/VoltUdp.h"

#include "lib/Udp.h"

CVoltUdp::CVoltUdp() : m_session(std::make_unique<CUdp>(this))
{}

CVoltUdp::~CVoltUdp() = default;

void CVoltUdp::OnOpen(const char*, uint16_t, const char*, uint16_t)
{}
void CVoltUdp::OnStackInfo(uint16_t, const char*, const char*, uint16_t, uint16_t, const char*,
                           const char* const*)
{}
void CVoltUdp::OnReceive(const char*, uint32_t, const char*, uint16_t)
{}
void CVoltUdp::OnSent(uint32_t)
{}

bool CVoltUdp::Open(uint8_t flags, const char* localAddress, uint16_t localPort)
{
    return m_session->Open(flags, localAddress, localPort);
}

bool CVoltUdp::SendTo(const char* host, uint16_t port, const char* data, uint32_t length, uint32_t tag)
{
    return m_session->SendTo(host, port, data, length, tag);
}

bool CVoltUdp::Close(bool abort)
{
    return m_session->Close(abort);
}

uint8_t CVoltUdp::GetState() const
{
    return m_session->GetState();
}
