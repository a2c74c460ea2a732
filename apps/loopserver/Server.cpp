#include "apps/loopserver/Server.h"

#include "apps/loopserver/Child.h"
#include "apps/loopserver/EchoServerView.h"

CEchoServer::CEchoServer(CEchoServerView& view)
    : m_firstChild(new CTcpChild(this)),
      m_cursor(nullptr),
      m_last(m_firstChild),
      m_port(kDefaultPort),
      m_connections(0),
      m_view(view)
{}

CEchoServer::~CEchoServer()
{
    Close(true);
    m_cursor = m_last;
    // Each abort raises the child's closed event, in which it unlinks and deletes itself.
    while (m_cursor != m_firstChild) {
        CTcpChild* previous = m_cursor->Previous();
        if (!m_cursor->Close(true)) {
            delete m_cursor;  // never connected, so no closed event will remove it
        }
        m_cursor = previous;
    }
    delete m_firstChild;
}

void CEchoServer::ChildUnlinked(CTcpChild* child, CTcpChild* previous)
{
    if (child == m_last) {
        m_last = previous ? previous : m_firstChild;
    }
}

CTcpChild* CEchoServer::FirstConnection() const
{
    return m_firstChild->Next();
}

bool CEchoServer::StartListening()
{
    // Without address reuse Linux refuses the port while accepted connections or their
    // TIME_WAIT remain, so a restart would fail for a minute; a second listener is still
    // refused with "Address Already in Use".
    return Listen(kFlagReuseAddr, nullptr, m_port, 0);
}

void CEchoServer::ChildClosed()
{
    if (m_connections > 0) {
        --m_connections;
    }
    m_view.OnConnectionCount(m_connections);
}

void CEchoServer::OnReceive(const char* data, uint32_t length)
{
    if (data == nullptr && length == 0) {
        m_view.OnServerStopped();
    }
}

void CEchoServer::OnListen(const char* /*address*/, uint16_t port, const char* /*hostName*/)
{
    // Only differs from the asked port when the stack chose it (port 0).
    m_port = port;
    m_view.OnServerListening(port);
}

void CEchoServer::OnAccept()
{
    m_cursor = m_last;
    auto* child = new CTcpChild(this);
    child->LinkAfter(m_cursor);
    m_last = child;
    ++m_connections;
    m_view.OnConnectionCount(m_connections);
    if (!child->Accept(0, this)) {
        // A failed accept raises no closed event; without this the child would stay counted.
        delete child;
        --m_connections;
        m_view.OnConnectionCount(m_connections);
    }
}

void CEchoServer::OnException(uint8_t /*code*/, const char* text)
{
    m_view.OnServerError(text, GetState() == CVoltTcp::Closed);
}
