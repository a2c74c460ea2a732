#include "lib/VoltTcp.h"

#include "lib/Tcp.h"

static_assert(int{CVoltTcp::Closed} == int{CWinsock::Closed} &&
              int{CVoltTcp::Connecting} == int{CWinsock::Connecting} &&
              int{CVoltTcp::Connected} == int{CWinsock::Connected} &&
              int{CVoltTcp::Listening} == int{CWinsock::Listening} &&
              int{CVoltTcp::Closing} == int{CWinsock::Closing});

CVoltTcp::CVoltTcp() : m_session(std::make_unique<CTcp>(this))
{}

CVoltTcp::~CVoltTcp() = default;

void CVoltTcp::OnConnect(const char*, uint16_t, const char*, uint16_t, const char*)
{}
void CVoltTcp::OnReceive(const char*, uint32_t)
{}
void CVoltTcp::OnSent(uint32_t)
{}
void CVoltTcp::OnListen(const char*, uint16_t, const char*)
{}
void CVoltTcp::OnAccept()
{}
void CVoltTcp::OnStackInfo(uint16_t, const char*, const char*, uint16_t, uint16_t, const char*,
                           const char* const*)
{}

bool CVoltTcp::Send(const char* data, uint32_t length, bool outOfBand, uint32_t tag)
{
    return m_session->Send(data, length, outOfBand, tag);
}

bool CVoltTcp::Connect(uint8_t flags, const char* remoteHost, uint16_t remotePort, const char* localAddress,
                       uint16_t localPort)
{
    return m_session->Connect(flags, remoteHost, remotePort, localAddress, localPort);
}

bool CVoltTcp::Listen(uint8_t flags, const char* localAddress, uint16_t localPort, uint16_t timeout)
{
    return m_session->Listen(flags, localAddress, localPort, timeout);
}

bool CVoltTcp::Accept(uint8_t flags, CVoltTcp* listening)
{
    return m_session->Accept(flags, listening ? listening->m_session.get() : nullptr);
}

bool CVoltTcp::Close(bool abort)
{
    return m_session->Close(abort);
}

uint8_t CVoltTcp::GetState() const
{
    return m_session->GetState();
}

bool CVoltTcp::SetReceiveSize(uint32_t size)
{
    return m_session->SetReceiveSize(size);
}

bool CVoltTcp::QueryStack()
{
    return m_session->QueryStack();
}
