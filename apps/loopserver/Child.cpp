#include "apps/loopserver/Child.h"

#include "apps/loopserver/EchoServerView.h"
#include "apps/loopserver/Server.h"

CTcpChild::CTcpChild(CEchoServer* server) : m_server(server)
{
    SetReceiveSize(m_readSize);
}

CTcpChild::~CTcpChild()
{
    m_server->ChildUnlinked(this, m_previous);
    if (m_previous) {
        m_previous->m_next = m_next;
    }
    if (m_next) {
        m_next->m_previous = m_previous;
    }
}

void CTcpChild::LinkAfter(CTcpChild* previous)
{
    m_previous = previous;
    m_next = previous->m_next;
    if (m_next) {
        m_next->m_previous = this;
    }
    previous->m_next = this;
}

void CTcpChild::OnConnect(const char* remoteAddress, uint16_t remotePort, const char* /*localAddress*/,
                          uint16_t /*localPort*/, const char* /*hostName*/)
{
    m_server->View().OnConnectionOpened(remoteAddress, remotePort);
}

void CTcpChild::OnReceive(const char* data, uint32_t length)
{
    if (data == nullptr && length == 0) {
        m_server->ChildClosed();
        delete this;
        return;
    }
    if (length == 0) {
        return;
    }
    // The tag carries the length, so OnSent can tell how much of the queue has drained. A
    // failed Send may have ended the connection and with it this object: nothing after it.
    if (!Send(data, length, false, length)) {
        return;
    }
    m_queued += length;
    if (!m_paused && m_queued > kMaxQueued) {
        m_paused = true;
        SetReceiveSize(0);
        return;
    }
    // A read that filled the buffer found a backlog, where large reads cost fewer calls; one
    // that did not emptied the socket, where small reads echo the first bytes sooner.
    const uint32_t wanted = length >= m_readSize ? kReceiveSize : kLightReceiveSize;
    if (!m_paused && wanted != m_readSize) {
        m_readSize = wanted;
        SetReceiveSize(wanted);
    }
}

void CTcpChild::OnSent(uint32_t tag)
{
    m_queued = tag > m_queued ? 0 : m_queued - tag;
    if (m_paused && m_queued <= kResumeQueued) {
        m_paused = false;
        SetReceiveSize(m_readSize);
    }
}

void CTcpChild::OnException(uint8_t /*code*/, const char* text)
{
    m_server->View().OnConnectionError(text);
}
