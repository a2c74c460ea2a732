#include "lib/Udp.h"

#include <sys/ioctl.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "lib/ErrorText.h"
#include "lib/VoltUdp.h"

namespace {

constexpr size_t kSmallReceive = 512;
constexpr int kReadsPerNotification = 16;

CPkt* Head(CVxList& queue)
{
    return static_cast<CPkt*>(queue.GetHead());
}

}  // namespace

CUdp::CUdp(CVoltUdp* owner) : m_owner(owner)
{}

CUdp::~CUdp()
{
    m_quiet = true;
    if (m_socket != -1) {
        const int fd = m_socket;
        m_socket = -1;
        WsCloseSocket(fd);
    }
    DestroyQueue(m_sendQueue);
    DestroyQueue(m_lookupQueue);
}

bool CUdp::Open(uint8_t flags, const char* localAddress, uint16_t localPort)
{
    if (m_state != Closed)
        return false;
    m_receiving = false;
    m_readPending = false;
    m_flags = flags;
    if (!CreateNotifyWindow())
        return false;
    ShowIfTracing();
    if (m_flags & kFlagTrace)
        OpenTraceFile();
    m_state = Connecting;
    SetTitle(StateText(m_state));

    uint32_t local = 0;
    if (localAddress != nullptr && *localAddress != '\0') {
        const uint32_t address = WsInetAddr(localAddress);
        if (address != INADDR_NONE)
            local = address;
    }
    m_bound = sockaddr_in{};
    m_bound.sin_family = AF_INET;
    m_bound.sin_port = WsHtons(localPort);
    m_bound.sin_addr.s_addr = local;

    m_socket = WsSocket(AF_INET, SOCK_DGRAM, 0);
    if (m_socket == -1 || WsAsyncSelect(m_socket, kFdRead | kFdWrite | kFdClose) == -1 ||
        WsBind(m_socket, m_bound) == -1 || WsGetSockName(m_socket, &m_bound) == -1) {
        const int error = WsaGetLastError();
        CloseSocket(false);
        ReportSocketError(error);
        return false;
    }
    if (*LocalAddressText() != '\0')
        FinishOpen();
    return true;
}

void CUdp::FinishOpen()
{
    m_state = Connected;
    SetTitle(StateText(m_state));
    char address[16];
    const uint32_t bound = m_bound.sin_addr.s_addr;
    std::snprintf(address, sizeof address, "%s", bound != 0 ? FormatDotted(bound) : LocalAddressText());
    m_owner->OnOpen(address, WsNtohs(m_bound.sin_port), LocalHostName(), StartupData().maxUdpDg);
}

bool CUdp::SendTo(const char* host, uint16_t port, const char* data, uint32_t length, uint32_t tag)
{
    if (m_state != Connected) {
        m_owner->OnException(ExcNotConnected, "Send attempted with closed connection");
        return false;
    }
    auto* packet = new (std::nothrow) CPkt;
    if (packet == nullptr || packet->Set(length, data, false, tag) != length) {
        delete packet;
        ReportTagged(ExcResources, "Insufficient memory to buffer packet", tag);
        return false;
    }
    std::snprintf(packet->m_destHost, sizeof packet->m_destHost, "%s", host != nullptr ? host : "");
    packet->m_destPort = port;
    m_lookupQueue.AddTail(packet);
    if (m_lookupQueue.GetCount() == 1)
        ResolveHead();
    return true;
}

// Resolves the head of the look-up queue, and every following head that resolves at once;
// a name lookup ends the walk until its answer arrives.
void CUdp::ResolveHead()
{
    auto alive = m_alive;
    while (*alive && !m_lookupQueue.IsEmpty() && m_remoteRequest == 0) {
        const char* host = Head(m_lookupQueue)->m_destHost;
        uint32_t address = 0;
        int error = 0;
        if (*host == '\0') {
            address = 0;
        } else if (std::strcmp(host, "255.255.255.255") == 0) {
            const int on = 1;
            WsSetSockOpt(m_socket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
            address = INADDR_BROADCAST;
        } else if ((address = WsInetAddr(host)) == INADDR_NONE) {
            m_hostRecord = std::make_unique<CHostEntry>();
            m_hostName = std::make_unique<std::string>(host);
            m_remoteRequest = WsAsyncGetHostByName(kMsgRemoteHost, host, m_hostRecord.get());
            if (m_remoteRequest != 0)
                return;
            error = WsaGetLastError();
            if (error == 0)
                error = kWsaHostNotFound;
            m_hostRecord.reset();
            m_hostName.reset();
            address = 0;
        }
        OnHostResolved(error, address);
    }
}

void CUdp::OnHostResolved(int error, uint32_t address)
{
    if (m_lookupQueue.IsEmpty())
        return;  // the packets were dropped by an abort meanwhile
    CPkt* packet = static_cast<CPkt*>(m_lookupQueue.RemoveHead());
    if (error != 0) {
        const uint32_t tag = packet->Tag();
        delete packet;
        auto alive = m_alive;
        if (error != kWsaReported) {
            const char* text = nullptr;
            const uint8_t code = ErrorText(error, &text);
            ReportTagged(code, text, tag);
        }
        if (*alive && m_remoteRequest == 0)
            ResolveHead();
        return;
    }
    if (address != 0)
        m_lastDestination = address;
    else
        address = m_lastDestination;
    packet->m_destAddress = address;
    m_sendQueue.AddTail(packet);
    PostSelf(kFdWrite);
    if (m_remoteRequest == 0 && !m_lookupQueue.IsEmpty() && m_state != Closed)
        ResolveHead();
}

void CUdp::OnWriteReady()
{
    auto alive = m_alive;
    while (m_socket != -1 && !m_sendQueue.IsEmpty()) {
        CPkt* packet = Head(m_sendQueue);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = WsHtons(packet->m_destPort);
        to.sin_addr.s_addr = packet->m_destAddress;
        const uint32_t length = packet->Remaining();
        const ssize_t sent = WsSendTo(m_socket, packet->Current(), length, 0, to);
        const uint32_t tag = packet->Tag();
        if (sent < 0 && WsaGetLastError() == kWsaWouldBlock)
            return;  // the next FD_WRITE goes on
        if (sent >= 0)
            RecordTraffic(true, packet->Current(), static_cast<size_t>(sent));
        delete static_cast<CPkt*>(m_sendQueue.RemoveHead());
        if (sent < 0) {
            const int error = WsaGetLastError();
            PostSelf(kFdWrite);
            if (error != kWsaReported) {
                const char* text = nullptr;
                const uint8_t code = ErrorText(error, &text);
                ReportTagged(code, text, tag);
            }
            return;
        }
        if (static_cast<uint32_t>(sent) < length) {
            PostSelf(kFdWrite);
            ReportTagged(ExcResources, "Could not send requested number of bytes", tag);
            return;
        }
        m_owner->OnSent(tag);
        if (!*alive)
            return;
    }
    if (m_state == Closing && m_sendQueue.IsEmpty())
        CloseSocket(true);
}

void CUdp::OnReceive(bool)
{
    if (m_socket == -1)
        return;
    if (m_receiving) {
        m_readPending = true;
        return;
    }
    m_receiving = true;
    auto alive = m_alive;
    if (!PumpPending() || !*alive)
        return;
    if (m_socket == -1) {
        m_receiving = false;
        return;
    }
    // A busy socket is drained a few datagrams per notification, each with its own event, so
    // that a queue of requests costs fewer turns of the loop.
    for (int datagram = 0; datagram < kReadsPerNotification && m_socket != -1; ++datagram) {
        int waiting = 0;
        if (WsIoctlSocket(m_socket, FIONREAD, &waiting) == -1)
            waiting = 0;
        if (waiting == 8192)
            waiting = StartupData().maxUdpDg;
        const auto size = static_cast<uint32_t>(waiting > 0 ? waiting : 0);
        if (size > kSmallReceive && m_largeCapacity < size) {
            auto* buffer = new (std::nothrow) char[size];
            if (buffer != nullptr) {
                m_largeBuffer.reset(buffer);
                m_largeCapacity = size;
            }
        }
        char* buffer = m_largeBuffer ? m_largeBuffer.get() : m_text;
        const size_t limit = m_largeBuffer ? m_largeCapacity : kSmallReceive;

        sockaddr_in from{};
        const ssize_t received = WsRecvFrom(m_socket, buffer, limit, 0, &from);
        if (received < 0) {
            const int error = WsaGetLastError();
            if (error == kWsaWouldBlock)
                break;
            m_receiving = false;
            ReportSocketError(error);
            return;
        }
        RecordTraffic(false, buffer, static_cast<size_t>(received));
        char sender[16];
        std::snprintf(sender, sizeof sender, "%s", FormatDotted(from.sin_addr.s_addr));
        m_owner->OnReceive(buffer, static_cast<uint32_t>(received), sender, WsNtohs(from.sin_port));
        if (!*alive)
            return;
    }
    if (m_readPending) {
        m_readPending = false;
        PostSelf(kFdRead);
    }
    m_receiving = false;
}

void CUdp::OnError(uint8_t code, const char* text)
{
    ReportTagged(code, text, 0);
}

void CUdp::ReportTagged(uint8_t code, const char* text, uint32_t tag)
{
    if (tag != 0)
        std::snprintf(m_text, sizeof m_text, "+++ UDP Exception Event: %s (DataTag: %ul)", text, tag);
    else
        std::snprintf(m_text, sizeof m_text, "+++ UDP Exception Event: %s", text);
    Trace(m_text);
    m_owner->OnException(code, text);
}

bool CUdp::Close(bool abort)
{
    if (m_state == Closed) {
        ReleaseWindow();
        return false;
    }
    m_state = Closing;
    if (!abort) {
        PostSelf(kFdWrite);
        return true;
    }
    DestroyQueue(m_sendQueue);
    CloseSocket(true);
    return true;
}

void CUdp::CloseSocket(bool notify)
{
    bool closed = false;
    if (m_socket != -1) {
        const int fd = m_socket;
        m_socket = -1;
        WsCloseSocket(fd);
        closed = true;
        if (m_flags & kFlagTrace) {
            Trace("Primary Socket Closed");
            SetTitle("Closed");
        }
    }
    m_largeBuffer.reset();
    m_largeCapacity = 0;
    m_state = Closed;
    // Unresolved datagrams have no socket to leave by; a reopened session must not send them.
    if (m_remoteRequest != 0) {
        WsCancelAsyncRequest(m_remoteRequest);
        m_remoteRequest = 0;
        m_hostRecord.reset();
        m_hostName.reset();
    }
    DestroyQueue(m_lookupQueue);
    if (!(m_flags & kFlagTrace))
        ReleaseWindow();
    if (closed && notify)
        m_owner->OnReceive(nullptr, 0, nullptr, 0);
}

void CUdp::OnLocalHostResolved()
{
    auto alive = m_alive;
    if (m_stackQueryPending) {
        m_stackQueryPending = false;
        const CLocalAddresses addresses;
        const CStartupData& data = StartupData();
        m_owner->OnStackInfo(data.version, data.description, data.systemStatus, data.maxSockets,
                             data.maxUdpDg, LocalHostName(), addresses.List());
        if (!*alive)
            return;
    }
    if (m_state == Connecting)
        FinishOpen();
}

void CUdp::DestroyQueue(CVxList& queue)
{
    while (!queue.IsEmpty())
        delete static_cast<CPkt*>(queue.RemoveHead());
}
