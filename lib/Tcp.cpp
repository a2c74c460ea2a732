#include "lib/Tcp.h"

#include <netinet/in.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "lib/ErrorText.h"
#include "lib/Pkt.h"
#include "lib/VoltTcp.h"

namespace {

constexpr uint32_t kConnectEvents = kFdRead | kFdWrite | kFdOob | kFdConnect | kFdClose;  // 55
constexpr uint32_t kAcceptedEvents = kFdRead | kFdWrite | kFdOob | kFdClose;              // 39

// Errors of accept that say the process or the system has no descriptor or memory to spare:
// the connection waits in the backlog until some are freed.
bool IsShortage(int error)
{
    return error == kWsaMFile || error == kWsaNoBufs;
}

sockaddr_in MakeAddress(uint16_t portNetworkOrder, uint32_t address)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = portNetworkOrder;
    result.sin_addr.s_addr = address;
    return result;
}

}  // namespace

CTcp::CTcp(CVoltTcp* owner) : m_owner(owner)
{}

CTcp::~CTcp()
{
    m_quiet = true;
    CloseTraceFile();
    if (m_socket != -1) {
        SetLinger(true);
        const int fd = m_socket;
        m_socket = -1;
        WsCloseSocket(fd);
    }
    DropQueue();
    for (CPkt* packet : m_sparePackets)
        delete packet;
}

bool CTcp::Connect(uint8_t flags, const char* remoteHost, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort)
{
    if (m_state != Closed) {
        OnError(ExcSessionInUse, "Session in use.");
        return false;
    }
    if (!remoteHost || !*remoteHost || remotePort == 0) {
        OnError(ExcAddress, "No RemoteHost or RemotePort given.");
        return false;
    }
    m_flags = flags;
    if (!CreateNotifyWindow())
        return false;
    ShowIfTracing();
    m_state = Connecting;
    m_remotePort = remotePort;
    m_localPort = localPort;
    TraceF("Trying to connect to %s on port %d...", remoteHost, remotePort);
    char title[515];
    std::snprintf(title, sizeof title, "Connecting to %.490s...", remoteHost);
    SetTitle(title);
    m_localBindAddress = 0;
    if (localAddress && *localAddress) {
        const uint32_t bindAddress = WsInetAddr(localAddress);
        if (bindAddress != INADDR_NONE)
            m_localBindAddress = bindAddress;
    }

    const uint32_t address = WsInetAddr(remoteHost);
    if (address != INADDR_NONE || std::strcmp(remoteHost, "255.255.255.255") == 0) {
        const auto alive = m_alive;
        OnHostResolved(0, address);
        if (!*alive)
            return false;
        // The attempt was made inside this call; report whether it is still under way.
        return m_state == Connecting || m_state == Connected;
    }

    m_hostRecord.reset(new (std::nothrow) CHostEntry);
    m_hostName.reset(new (std::nothrow) std::string(remoteHost));
    if (!m_hostRecord || !m_hostName) {
        m_hostRecord.reset();
        m_hostName.reset();
        OnError(ExcResources, "Insufficient Memory");
        return false;
    }
    m_remoteRequest = WsAsyncGetHostByName(kMsgRemoteHost, m_hostName->c_str(), m_hostRecord.get());
    if (m_remoteRequest == 0) {
        // A look-up that never started would leave the session connecting forever.
        const int error = WsaGetLastError();
        m_hostRecord.reset();
        m_hostName.reset();
        if (m_state == Connecting) {
            CloseSocket(false);
            ReportSocketError(error);
        }
        return false;
    }
    return true;
}

void CTcp::OnHostResolved(int error, uint32_t address)
{
    if (m_state != Connecting)
        return;
    if (error == 0) {
        const sockaddr_in remote = MakeAddress(WsHtons(m_remotePort), address);
        const sockaddr_in local = MakeAddress(WsHtons(m_localPort), m_localBindAddress);
        m_socket = WsSocket(AF_INET, SOCK_STREAM, 0);
        if (m_socket != -1) {
            if (!ApplySocketOptions())
                return;
            if (m_flags & kFlagTrace)
                OpenTraceFile();
            if (WsBind(m_socket, local) == 0 && WsAsyncSelect(m_socket, kConnectEvents) == 0) {
                if (WsConnect(m_socket, remote) == 0 || WsaGetLastError() == kWsaWouldBlock)
                    return;  // FD_CONNECT follows
            }
        }
        error = WsaGetLastError();
    }
    CloseSocket(false);
    ReportSocketError(error);
}

bool CTcp::ApplySocketOptions()
{
    static const struct {
        uint8_t flag;
        int option;
    } kOptions[] = {
        {kFlagReuseAddr, SO_REUSEADDR}, {kFlagKeepAlive, SO_KEEPALIVE}, {kFlagSocketDebug, SO_DEBUG}};
    const auto alive = m_alive;
    for (const auto& option : kOptions) {
        const int one = 1;
        if ((m_flags & option.flag) &&
            WsSetSockOpt(m_socket, SOL_SOCKET, option.option, &one, sizeof one) != 0) {
            const int error = WsaGetLastError();
            if (error == kWsaReported)
                continue;
            // A refused option is a notice; it must not end the operation that asked for it.
            const char* text = nullptr;
            const uint8_t code = ErrorText(error, &text);
            TraceF("+++ Exception Event: %s", text);
            m_owner->OnException(code, text);
            if (!*alive || m_socket == -1)
                return false;
        }
    }
    return true;
}

void CTcp::OnConnect()
{
    ReportConnected(nullptr);
}

void CTcp::ReportConnected(const sockaddr_in* acceptedPeer)
{
    if (m_socket == -1)
        return;
    m_state = Connected;
    const auto alive = m_alive;
    sockaddr_in peer{};
    sockaddr_in local{};
    if (acceptedPeer) {
        peer = *acceptedPeer;
    } else if (WsGetPeerName(m_socket, &peer) != 0) {
        ReportSocketError(WsaGetLastError());
        if (!*alive || m_socket == -1)
            return;
    }
    if (WsGetSockName(m_socket, &local) != 0) {
        ReportSocketError(WsaGetLastError());
        if (!*alive || m_socket == -1)
            return;
    }
    m_remotePort = WsNtohs(peer.sin_port);
    const uint16_t localPort = WsNtohs(local.sin_port);
    char remoteText[64];
    char localText[64];
    std::snprintf(remoteText, sizeof remoteText, "%s", FormatDotted(peer.sin_addr.s_addr));
    std::snprintf(localText, sizeof localText, "%s", FormatDotted(local.sin_addr.s_addr));
    m_receiving = m_sending = m_readPending = m_writePending = false;
    TraceF("Connected to %s on port %d", remoteText, m_remotePort);
    char title[80];
    std::snprintf(title, sizeof title, "Connected to %s", remoteText);
    SetTitle(title);
    m_owner->OnConnect(remoteText, m_remotePort, localText, localPort, LocalHostName());
}

bool CTcp::Listen(uint8_t flags, const char* localAddress, uint16_t localPort, uint16_t timeout)
{
    if (m_state != Closed) {
        OnError(ExcSessionInUse, "Session in use.");
        return false;
    }
    m_flags = flags;
    if (!CreateNotifyWindow())
        return false;
    ShowIfTracing();
    uint32_t address = 0;
    if (localAddress) {
        const uint32_t given = WsInetAddr(localAddress);
        if (given != INADDR_NONE)
            address = given;
    }
    sockaddr_in local{};
    m_socket = WsSocket(AF_INET, SOCK_STREAM, 0);
    bool ok = m_socket != -1;
    if (ok) {
        const auto alive = m_alive;
        if (!ApplySocketOptions() && !*alive)
            return false;  // destroyed by its owner in the notice
        if (m_flags & kFlagTrace)
            OpenTraceFile();
        local = MakeAddress(WsHtons(localPort), address);
        if (WsBind(m_socket, local) != 0) {
            Trace("Error binding to listening address...default address used");
            address = 0;
            local.sin_addr.s_addr = 0;
            ok = WsBind(m_socket, local) == 0;
        }
        ok = ok && WsGetSockName(m_socket, &local) == 0 && WsListen(m_socket, SystemListenBacklog()) == 0 &&
             WsAsyncSelect(m_socket, kFdAccept) == 0;
    }
    if (!ok) {
        const int error = WsaGetLastError();
        CloseSocket(false);
        ReportSocketError(error);
        return false;
    }
    const uint16_t port = WsNtohs(local.sin_port);
    m_state = Listening;
    m_acceptShortage = false;
    TraceF("Daemon listening for connection on port %u...", port);
    char title[32];
    std::snprintf(title, sizeof title, "Listening on %u...", port);
    SetTitle(title);
    char addressText[20];
    std::snprintf(addressText, sizeof addressText, "%s", FormatDotted(address));
    const auto alive = m_alive;
    m_owner->OnListen(addressText, port, LocalHostName());
    if (!*alive)
        return true;
    if (timeout != 0 && m_window && m_state == Listening)
        m_window->SetTimer(kListenTimerId, static_cast<uint32_t>(timeout) * 1000);
    return true;
}

void CTcp::OnAccept()
{
    if (m_socket != -1 && m_state == Listening)
        m_owner->OnAccept();
}

bool CTcp::Accept(uint8_t flags, CTcp* listening)
{
    if (m_state != Closed) {
        OnError(ExcSessionInUse, "Session in use.");
        return false;
    }
    if (!listening) {
        OnError(ExcAddress, "NULL Daemon given.");
        return false;
    }
    m_flags = flags;
    if (!CreateNotifyWindow(listening))
        return false;
    ShowIfTracing();
    sockaddr_in peer{};
    m_socket = WsAccept(listening->m_socket, &peer);
    if (m_socket == -1 || WsAsyncSelect(m_socket, kAcceptedEvents) != 0) {
        const int error = WsaGetLastError();
        const bool shortage = m_socket == -1 && IsShortage(error);
        CloseSocket(false);
        if (shortage) {
            const bool reported = listening->m_acceptShortage;
            listening->PauseAccepting();
            if (reported)
                return false;
        }
        ReportSocketError(error);
        return false;
    }
    listening->m_acceptShortage = false;
    Trace("Daemon has accepted a connection");
    const auto alive = m_alive;
    if (!ApplySocketOptions() && !*alive)
        return false;  // destroyed by its owner in the notice
    if (m_flags & kFlagTrace)
        OpenTraceFile();
    m_state = Connected;
    PostSelf(kFdRead);  // data may have arrived before the selection
    // The accept named the peer already; asking the socket again would cost a call for each
    // connection of a burst.
    ReportConnected(&peer);
    return true;
}

void CTcp::PauseAccepting()
{
    m_acceptShortage = true;
    if (m_socket == -1 || m_state != Listening || !m_window)
        return;
    WsAsyncSelect(m_socket, 0);
    m_window->SetTimer(kAcceptRetryTimerId, kAcceptRetryMs);
}

void CTcp::OnTimer(uintptr_t id)
{
    if (id != kAcceptRetryTimerId)
        return;
    if (m_window)
        m_window->KillTimer(kAcceptRetryTimerId);
    if (m_socket != -1 && m_state == Listening && WsAsyncSelect(m_socket, kFdAccept) != 0)
        ReportSocketError(WsaGetLastError());
}

bool CTcp::Close(bool abort)
{
    switch (m_state) {
    case Closed: ReleaseWindow(); return false;
    case Connected:
    case Listening:
    case Closing:
        if (!abort) {
            if (m_state != Closing) {
                m_state = Closing;
                PostSelf(kFdWrite);
                SetLinger(false);
            }
            return true;
        }
        [[fallthrough]];
    case Connecting:
        SetLinger(true);
        CloseSocket(true);  // drops the queue
        return true;
    default: return true;
    }
}

void CTcp::SetLinger(bool on)
{
    if (m_socket == -1)
        return;
    linger value{};
    value.l_onoff = on ? 1 : 0;
    value.l_linger = 0;
    WsSetSockOpt(m_socket, SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

void CTcp::CloseSocket(bool notify)
{
    if (m_remoteRequest) {
        // A closed session must not start connecting when a late answer arrives.
        WsCancelAsyncRequest(m_remoteRequest);
        m_remoteRequest = 0;
        m_hostRecord.reset();
        m_hostName.reset();
    }
    if (m_window) {
        m_window->KillTimer(kListenTimerId);
        m_window->KillTimer(kAcceptRetryTimerId);
    }
    if (m_socket != -1) {
        const int fd = m_socket;
        m_socket = -1;
        WsCloseSocket(fd);
        if (m_flags & kFlagTrace) {
            Trace("Primary Socket Closed");
            SetTitle("Closed");
        }
    }
    m_state = Closed;
    // What is still queued belonged to this connection; a later one must not send it.
    DropQueue();
    if (!(m_flags & kFlagTrace))
        ReleaseWindow();
    CloseTraceFile();
    if (notify)
        m_owner->OnReceive(nullptr, 0);
}

void CTcp::OnError(uint8_t code, const char* text)
{
    if (m_quiet)
        return;
    TraceF("+++ Exception Event: %s", text);
    if (m_state == Connecting) {
        CloseSocket(false);
        m_owner->OnException(code, text);
    } else if ((m_state == Connected || m_state == Closing) &&
               (code == ExcConnectionLost || code == ExcNotConnected)) {
        // A lost connection also ends a graceful close that is still draining.
        const auto alive = m_alive;
        m_owner->OnException(code, text);
        if (*alive && m_state != Closed)
            CloseSocket(true);
    } else {
        m_owner->OnException(code, text);
    }
}

bool CTcp::QueryStack()
{
    m_stackQueryPending = true;
    if (LocalAddressText()[0] != '\0') {
        OnLocalHostResolved();
        return true;
    }
    // An existing window has its local look-up under way already; a new one would cut the
    // session off from its socket.
    if (!m_window && CreateNotifyWindow() && LocalAddressText()[0] != '\0')
        OnLocalHostResolved();  // start-up settled the address itself (no host name)
    return true;
}

void CTcp::OnLocalHostResolved()
{
    if (!m_stackQueryPending)
        return;
    m_stackQueryPending = false;
    const CLocalAddresses addresses;
    const CStartupData& data = StartupData();
    m_owner->OnStackInfo(data.version, data.description, data.systemStatus, data.maxSockets, data.maxUdpDg,
                         LocalHostName(), addresses.List());
}
