#include "lib/SocketBinding.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

int s_lastError = 0;

// Descriptors known to be non-blocking with urgent data inline, as selection wants them: a
// listening socket once selected, and what it accepts (accepted sockets inherit both), so
// that selecting each of a burst of accepted connections costs no further calls.
std::vector<bool> s_prepared;

bool IsPrepared(int fd)
{
    return fd >= 0 && static_cast<size_t>(fd) < s_prepared.size() && s_prepared[static_cast<size_t>(fd)];
}

void MarkPrepared(int fd, bool prepared)
{
    if (fd < 0)
        return;
    if (static_cast<size_t>(fd) >= s_prepared.size()) {
        if (!prepared)
            return;
        s_prepared.resize(static_cast<size_t>(fd) + 1);
    }
    s_prepared[static_cast<size_t>(fd)] = prepared;
}

int NativeIoctl(int fd, unsigned long command, int* argument)
{
    if (command == FIONBIO)
        MarkPrepared(fd, false);
    return ioctl(fd, command, argument);
}

int NativeClose(int fd)
{
    MarkPrepared(fd, false);
    return ::close(fd);
}

uint16_t NativeHtons(uint16_t value)
{
    return htons(value);
}
uint16_t NativeNtohs(uint16_t value)
{
    return ntohs(value);
}

uint32_t NativeInetAddr(const char* text)
{
    return ::inet_addr(text);
}

ssize_t NativeSend(int fd, const void* buffer, size_t length, int flags)
{
    // A peer that has gone must be an error code, never a signal that ends the program.
    return ::send(fd, buffer, length, flags | MSG_NOSIGNAL);
}

ssize_t NativeSendTo(int fd, const void* buffer, size_t length, int flags, const sockaddr* to,
                     socklen_t toLength)
{
    return ::sendto(fd, buffer, length, flags | MSG_NOSIGNAL, to, toLength);
}

// An accepted socket is used only through its notifications, as the listening one was, so it
// starts non-blocking; and no program this process starts may hold the connection open.
int NativeAccept(int fd, sockaddr* address, socklen_t* length)
{
    const int accepted = ::accept4(fd, address, length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    MarkPrepared(accepted, IsPrepared(fd));
    return accepted;
}

int NativeSocket(int family, int type, int protocol)
{
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    MarkPrepared(fd, false);
    return fd;
}

int NativeGetHostName(char* name, size_t length)
{
    return ::gethostname(name, length);
}

int NativeAsyncSelect(int fd, TargetHandle target, uint32_t message, uint32_t events)
{
    if (events != 0 && !IsPrepared(fd)) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || (!(flags & O_NONBLOCK) && fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0))
            return -1;
        if (events & (kFdOob | kFdAccept)) {
            // Urgent bytes stay in the stream, where a plain read finds them; a listening
            // socket passes this on to what it accepts.
            const int one = 1;
            const bool urgentInline = setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &one, sizeof one) == 0;
            MarkPrepared(fd, urgentInline && (events & kFdAccept));
        }
    }
    if (!CMessageLoop::Instance().SelectSocket(fd, target, message, events)) {
        if (errno == 0)
            errno = EBADF;
        return -1;
    }
    return 0;
}

uint32_t NativeAsyncGetHostByName(TargetHandle target, uint32_t message, const char* name, CHostEntry* entry)
{
    return CMessageLoop::Instance().StartLookup(target, message, name, entry);
}

int NativeCancelAsyncRequest(uint32_t request)
{
    if (CMessageLoop::Instance().CancelLookup(request))
        return 0;
    errno = EINVAL;
    return -1;
}

int NativeStartup(uint16_t version, CStartupData* data)
{
    if (version != 0x0101) {
        errno = EPROTONOSUPPORT;
        return -1;
    }
    data->version = 0x0101;
    std::snprintf(data->description, sizeof data->description, "Linux TCP/IP stack (BSD sockets, IPv4)");
    std::snprintf(data->systemStatus, sizeof data->systemStatus, "Running");
    rlimit limit{};
    rlim_t descriptors = 1024;
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        descriptors = limit.rlim_cur;
    else if (limit.rlim_cur == RLIM_INFINITY)
        descriptors = 65535;
    data->maxSockets = static_cast<uint16_t>(std::min<rlim_t>(descriptors, 65535));
    data->maxUdpDg = 65507;
    return 0;
}

int NativeCleanup()
{
    return 0;
}

const CSocketBinding kNative = {
    NativeAccept,
    ::bind,
    NativeClose,
    ::connect,
    ::getpeername,
    ::getsockname,
    NativeHtons,
    NativeInetAddr,
    NativeIoctl,
    ::listen,
    NativeNtohs,
    ::recv,
    ::recvfrom,
    NativeSend,
    NativeSendTo,
    ::setsockopt,
    NativeSocket,
    NativeGetHostName,
    ::getifaddrs,
    ::freeifaddrs,
    NativeAsyncSelect,
    NativeAsyncGetHostByName,
    NativeCancelAsyncRequest,
    NativeStartup,
    NativeCleanup,
};

}  // namespace

CSocketBinding& SocketBinding()
{
    static CSocketBinding binding = kNative;
    return binding;
}

const CSocketBinding& NativeSocketBinding()
{
    return kNative;
}

int SystemListenBacklog()
{
    static const int backlog = [] {
        int value = 0;
        if (std::FILE* file = std::fopen("/proc/sys/net/core/somaxconn", "re")) {
            if (std::fscanf(file, "%d", &value) != 1)
                value = 0;
            std::fclose(file);
        }
        return value > 0 ? value : SOMAXCONN;
    }();
    return backlog;
}

int WsaGetLastError()
{
    return s_lastError;
}

void WsaSetLastError(int error)
{
    s_lastError = error;
}
