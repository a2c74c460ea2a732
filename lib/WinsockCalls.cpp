// The socket calls of a session: each goes through the binding's table, sets the last error
// from errno, and re-enables the notifications it stands for, as its Winsock counterpart does.

#include <netinet/in.h>

#include <cerrno>

#include "lib/ErrorText.h"
#include "lib/Winsock.h"

namespace {

void SetLastFromErrno(ssize_t result)
{
    if (result < 0)
        WsaSetLastError(MapErrno(errno));
}

}  // namespace

#define WS_BOUND(name, failure)            \
    auto fn = SocketBinding().name;        \
    if (!fn) {                             \
        NotFound("'" #name "' Not Found"); \
        return failure;                    \
    }

void CWinsock::NotFound(const char* text)
{
    WsaSetLastError(kWsaReported);
    if (!m_quiet)
        OnError(ExcInterface, text);
}

int CWinsock::WsAccept(int fd, sockaddr_in* address)
{
    WS_BOUND(accept, -1)
    socklen_t length = sizeof *address;
    const int result = fn(fd, reinterpret_cast<sockaddr*>(address), &length);
    SetLastFromErrno(result);
    if (result >= 0)
        CMessageLoop::Instance().AcceptAgain(fd);
    else
        CMessageLoop::Instance().ReenableSocket(fd, kFdAccept);
    return result;
}

int CWinsock::WsBind(int fd, const sockaddr_in& address)
{
    WS_BOUND(bind, -1)
    const int result = fn(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    SetLastFromErrno(result);
    return result;
}

int CWinsock::WsCloseSocket(int fd)
{
    // Stopping notifications is part of closing, not a call of its own to report.
    auto select = SocketBinding().WSAAsyncSelect;
    if (select && m_window)
        select(fd, m_window->Handle(), 0, 0);
    CMessageLoop::Instance().SelectSocket(fd, {}, 0, 0);
    WS_BOUND(closesocket, -1)
    const int result = fn(fd);
    SetLastFromErrno(result);
    return result;
}

int CWinsock::WsConnect(int fd, const sockaddr_in& address)
{
    WS_BOUND(connect, -1)
    const int result = fn(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    SetLastFromErrno(result);
    return result;
}

int CWinsock::WsGetPeerName(int fd, sockaddr_in* address)
{
    WS_BOUND(getpeername, -1)
    socklen_t length = sizeof *address;
    const int result = fn(fd, reinterpret_cast<sockaddr*>(address), &length);
    SetLastFromErrno(result);
    return result;
}

int CWinsock::WsGetSockName(int fd, sockaddr_in* address)
{
    WS_BOUND(getsockname, -1)
    socklen_t length = sizeof *address;
    const int result = fn(fd, reinterpret_cast<sockaddr*>(address), &length);
    SetLastFromErrno(result);
    return result;
}

uint16_t CWinsock::WsHtons(uint16_t value)
{
    WS_BOUND(htons, 0xFFFF)
    return fn(value);
}

uint32_t CWinsock::WsInetAddr(const char* text)
{
    WS_BOUND(inet_addr, INADDR_NONE)
    return fn(text);
}

int CWinsock::WsIoctlSocket(int fd, unsigned long command, int* argument)
{
    WS_BOUND(ioctlsocket, -1)
    const int result = fn(fd, command, argument);
    SetLastFromErrno(result);
    return result;
}

int CWinsock::WsListen(int fd, int backlog)
{
    WS_BOUND(listen, -1)
    const int result = fn(fd, backlog);
    SetLastFromErrno(result);
    return result;
}

uint16_t CWinsock::WsNtohs(uint16_t value)
{
    WS_BOUND(ntohs, 0xFFFF)
    return fn(value);
}

ssize_t CWinsock::WsRecv(int fd, char* buffer, size_t length, int flags)
{
    WS_BOUND(recv, -1)
    const ssize_t result = fn(fd, buffer, length, flags);
    SetLastFromErrno(result);
    if (length > 0 && result == static_cast<ssize_t>(length))
        CMessageLoop::Instance().ReadAgain(fd);
    else
        CMessageLoop::Instance().ReenableSocket(fd, kFdRead | kFdOob);
    return result;
}

ssize_t CWinsock::WsRecvFrom(int fd, char* buffer, size_t length, int flags, sockaddr_in* from)
{
    auto fn = SocketBinding().recvfrom;
    if (!fn) {
        NotFound("'recv' Not Found");
        return -1;
    }
    socklen_t fromLength = sizeof *from;
    const ssize_t result = fn(fd, buffer, length, flags, reinterpret_cast<sockaddr*>(from), &fromLength);
    SetLastFromErrno(result);
    CMessageLoop::Instance().ReenableSocket(fd, kFdRead | kFdOob);
    return result;
}

ssize_t CWinsock::WsSend(int fd, const char* buffer, size_t length, int flags)
{
    WS_BOUND(send, -1)
    const ssize_t result = fn(fd, buffer, length, flags);
    SetLastFromErrno(result);
    if (result < 0 && WsaGetLastError() == kWsaWouldBlock)
        CMessageLoop::Instance().ReenableSocket(fd, kFdWrite);
    return result;
}

ssize_t CWinsock::WsSendTo(int fd, const char* buffer, size_t length, int flags, const sockaddr_in& to)
{
    WS_BOUND(sendto, -1)
    const ssize_t result = fn(fd, buffer, length, flags, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    SetLastFromErrno(result);
    if (result < 0 && WsaGetLastError() == kWsaWouldBlock)
        CMessageLoop::Instance().ReenableSocket(fd, kFdWrite);
    return result;
}

int CWinsock::WsSetSockOpt(int fd, int level, int option, const void* value, socklen_t length)
{
    WS_BOUND(setsockopt, -1)
    const int result = fn(fd, level, option, value, length);
    SetLastFromErrno(result);
    return result;
}

int CWinsock::WsSocket(int family, int type, int protocol)
{
    WS_BOUND(socket, -1)
    const int result = fn(family, type, protocol);
    SetLastFromErrno(result);
    return result;
}

int CWinsock::WsGetHostName(char* name, size_t length)
{
    WS_BOUND(gethostname, -1)
    const int result = fn(name, length);
    SetLastFromErrno(result);
    return result;
}

int CWinsock::WsAsyncSelect(int fd, uint32_t events)
{
    WS_BOUND(WSAAsyncSelect, -1)
    const TargetHandle target = m_window ? m_window->Handle() : TargetHandle{};
    errno = 0;
    const int result = fn(fd, target, events ? kMsgSocket : 0, events);
    SetLastFromErrno(result);
    return result;
}

uint32_t CWinsock::WsAsyncGetHostByName(uint32_t message, const char* name, CHostEntry* entry)
{
    WS_BOUND(WSAAsyncGetHostByName, 0)
    const TargetHandle target = m_window ? m_window->Handle() : TargetHandle{};
    const uint32_t request = fn(target, message, name, entry);
    if (request == 0)
        WsaSetLastError(MapErrno(errno));
    return request;
}

int CWinsock::WsCancelAsyncRequest(uint32_t request)
{
    WS_BOUND(WSACancelAsyncRequest, -1)
    const int result = fn(request);
    SetLastFromErrno(result);
    return result;
}

int CWinsock::WsStartup(uint16_t version, CStartupData* data)
{
    WS_BOUND(WSAStartup, -1)
    const int result = fn(version, data);
    SetLastFromErrno(result);
    return result;
}

int CWinsock::WsCleanup()
{
    auto fn = SocketBinding().WSACleanup;
    return fn ? fn() : -1;
}
