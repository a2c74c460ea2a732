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

namespace {

int s_lastError = 0;

int NativeIoctl(int fd, unsigned long command, int* argument)
{
    return ioctl(fd, command, argument);
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

int NativeSocket(int family, int type, int protocol)
{
    return ::socket(family, type | SOCK_CLOEXEC, protocol);
}

int NativeGetHostName(char* name, size_t length)
{
    return ::gethostname(name, length);
}

int NativeAsyncSelect(int fd, TargetHandle target, uint32_t message, uint32_t events)
{
    if (events != 0) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0)
            return -1;
        if (events & kFdOob) {
            // Urgent bytes stay in the stream, where a plain read finds them.
            const int one = 1;
            setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &one, sizeof one);
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
    ::accept,
    ::bind,
    ::close,
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
