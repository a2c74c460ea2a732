// The data path of a stream session: the send queue and its packets, and reception.

#include <algorithm>
#include <new>

#include "lib/ErrorText.h"
#include "lib/Pkt.h"
#include "lib/Tcp.h"
#include "lib/VoltTcp.h"

namespace {

constexpr size_t kMaxSparePackets = 4;

}  // namespace

bool CTcp::Send(const char* data, uint32_t length, bool outOfBand, uint32_t tag)
{
    if (m_state != Connected) {
        m_owner->OnException(ExcNotConnected, "Send attempted with closed connection");
        return false;
    }
    if (length == 0) {
        if (QueuedPackets() != 0)
            PostSelf(kFdWrite);
        return true;
    }
    // A peer that stops reading must not grow the queue until the list's count wraps.
    if (QueuedPackets() >= kMaxQueuedPackets) {
        OnError(ExcResources, "Insufficent memory to buffer packet");
        return false;
    }
    uint32_t sent = 0;
    if (m_sendQueue.IsEmpty()) {
        const ssize_t result = WsSend(m_socket, data, length, outOfBand ? MSG_OOB : 0);
        if (result < 0) {
            const int error = WsaGetLastError();
            if (error != kWsaWouldBlock) {
                ReportSocketError(error);
                return false;
            }
        } else {
            sent = static_cast<uint32_t>(result);
            RecordTraffic(true, data, sent);
        }
    }
    const uint32_t rest = length - sent;
    if (rest == 0 && !m_sentPending && m_sendQueue.IsEmpty()) {
        m_sentPending = true;
        m_sentTag = tag;
        PostSelf(kFdWrite);
        return true;
    }
    CPkt* packet = NewPacket();
    if (!packet || packet->Set(rest, data + sent, outOfBand, tag) != rest) {
        delete packet;
        OnError(ExcResources, "Insufficent memory to buffer packet");
        return false;
    }
    m_sendQueue.AddTail(packet);
    PostSelf(kFdWrite);
    return true;
}

void CTcp::OnWriteReady()
{
    if (m_socket == -1) {
        if (m_state != Closed)
            CloseSocket(true);
        return;
    }
    if (m_sending) {
        m_writePending = true;
        return;
    }
    m_sending = true;
    const auto alive = m_alive;
    if (!PumpPending() || !*alive || m_socket == -1)
        return;
    while (m_socket != -1 && QueuedPackets() != 0) {
        uint32_t tag = m_sentTag;
        if (m_sentPending) {
            m_sentPending = false;
        } else {
            auto* packet = static_cast<CPkt*>(m_sendQueue.GetHead());
            if (packet->Remaining() > 0) {
                const ssize_t result = WsSend(m_socket, packet->Current(), packet->Remaining(),
                                              packet->IsOutOfBand() ? MSG_OOB : 0);
                if (result < 0) {
                    const int error = WsaGetLastError();
                    if (error == kWsaWouldBlock)
                        break;
                    ReportSocketError(error);
                    if (!*alive)
                        return;
                    if (error == kWsaInProgress)
                        PostSelf(kFdWrite);
                    break;
                }
                RecordTraffic(true, packet->Current(), static_cast<size_t>(result));
                packet->Advance(static_cast<uint32_t>(result));
                if (packet->Remaining() > 0)
                    continue;
            }
            m_sendQueue.RemoveHead();
            tag = packet->Tag();
            RecyclePacket(packet);
        }
        if (m_flags & kFlagTrace)
            TraceF("  Data tag %lu sent", static_cast<unsigned long>(tag));
        const uint16_t count = QueuedPackets();
        m_owner->OnSent(tag);
        if (!*alive)
            return;
        if (count != QueuedPackets())
            break;
    }
    m_sending = false;
    if (m_writePending) {
        m_writePending = false;
        if (m_window)
            PostSelf(kFdWrite);
    }
    if (m_state == Closing && QueuedPackets() == 0)
        CloseSocket(true);
}

void CTcp::OnReceive(bool closing)
{
    if (m_receiving) {
        m_readPending = true;
        return;
    }
    if (m_state == Listening || m_receiveSize == 0)
        return;
    m_receiving = true;
    const auto alive = m_alive;
    if (!PumpPending() || !*alive)
        return;
    if (m_socket != -1 && m_receiveSize != 0) {
        // Small reads land on the stack: the bytes are the owner's only while its event runs,
        // so a connection that only ever reads a little needs no buffer of its own. Larger
        // reads use the session's buffer, kept for the next one.
        char small[512];
        char* buffer = small;
        uint32_t limit = sizeof small - 1;
        const auto wanted = static_cast<uint32_t>(m_receiveSize);
        if (wanted > limit) {
            if (m_largeCapacity < wanted + 1) {
                char* large = new (std::nothrow) char[wanted + 1];
                if (large) {
                    m_largeBuffer.reset(large);
                    m_largeCapacity = wanted + 1;
                }
            }
            if (m_largeBuffer) {
                buffer = m_largeBuffer.get();
                limit = m_largeCapacity - 1;
            }
        }
        const ssize_t result = WsRecv(m_socket, buffer, std::min(wanted, limit), 0);
        if (result == 0) {
            OnError(ExcConnectionLost, "Remote Host Closed");
            return;
        }
        if (result > 0) {
            const auto length = static_cast<uint32_t>(result);
            RecordTraffic(false, buffer, length);
            buffer[length] = '\0';
            m_owner->OnReceive(buffer, length);
            if (!*alive)
                return;
            if (closing && m_socket != -1)
                PostSelf(kFdClose);
            if (m_readPending) {
                m_readPending = false;
                if (m_window)
                    PostSelf(kFdRead);
            }
            m_receiving = false;
            return;
        }
        const int error = WsaGetLastError();
        if (error != kWsaWouldBlock) {
            ReportSocketError(error);
            if (!*alive)
                return;
        }
    }
    m_receiving = false;
}

bool CTcp::SetReceiveSize(uint32_t size)
{
    m_receiveSize =
        size >= static_cast<uint32_t>(kDefaultReceiveSize) ? kDefaultReceiveSize : static_cast<int32_t>(size);
    if (m_state != Connected)
        return false;
    if (size != 0)
        PostSelf(kFdRead);
    return true;
}

void CTcp::DropQueue()
{
    m_sentPending = false;
    while (!m_sendQueue.IsEmpty())
        delete static_cast<CPkt*>(m_sendQueue.RemoveHead());
}

CPkt* CTcp::NewPacket()
{
    if (!m_sparePackets.empty()) {
        CPkt* packet = m_sparePackets.back();
        m_sparePackets.pop_back();
        return packet;
    }
    return new (std::nothrow) CPkt;
}

void CTcp::RecyclePacket(CPkt* packet)
{
    if (m_sparePackets.size() < kMaxSparePackets)
        m_sparePackets.push_back(packet);
    else
        delete packet;
}
