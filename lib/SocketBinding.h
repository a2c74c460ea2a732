#pragma once

#include <ifaddrs.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "lib/MessageLoop.h"

// What start-up reports about the socket stack.
struct CStartupData {
    uint16_t version = 0;  // low byte major, high byte minor
    char description[257] = {};
    char systemStatus[129] = {};
    uint16_t maxSockets = 0;
    uint16_t maxUdpDg = 0;
};

// Every socket call goes through this one table; tests replace entries to inject failures,
// and a null entry is a function the interface does not have. Failures return -1 (0 for
// the look-up) with errno set.
struct CSocketBinding {
    int (*accept)(int fd, sockaddr* address, socklen_t* length);
    int (*bind)(int fd, const sockaddr* address, socklen_t length);
    int (*closesocket)(int fd);
    int (*connect)(int fd, const sockaddr* address, socklen_t length);
    int (*getpeername)(int fd, sockaddr* address, socklen_t* length);
    int (*getsockname)(int fd, sockaddr* address, socklen_t* length);
    uint16_t (*htons)(uint16_t value);
    uint32_t (*inet_addr)(const char* text);
    int (*ioctlsocket)(int fd, unsigned long command, int* argument);
    int (*listen)(int fd, int backlog);
    uint16_t (*ntohs)(uint16_t value);
    ssize_t (*recv)(int fd, void* buffer, size_t length, int flags);
    ssize_t (*recvfrom)(int fd, void* buffer, size_t length, int flags, sockaddr* from,
                        socklen_t* fromLength);
    ssize_t (*send)(int fd, const void* buffer, size_t length, int flags);
    ssize_t (*sendto)(int fd, const void* buffer, size_t length, int flags, const sockaddr* to,
                      socklen_t toLength);
    int (*setsockopt)(int fd, int level, int option, const void* value, socklen_t length);
    int (*socket)(int family, int type, int protocol);
    int (*gethostname)(char* name, size_t length);
    int (*getifaddrs)(ifaddrs** list);
    void (*freeifaddrs)(ifaddrs* list);
    int (*WSAAsyncSelect)(int fd, TargetHandle target, uint32_t message, uint32_t events);
    uint32_t (*WSAAsyncGetHostByName)(TargetHandle target, uint32_t message, const char* name,
                                      CHostEntry* entry);
    int (*WSACancelAsyncRequest)(uint32_t request);
    int (*WSAStartup)(uint16_t version, CStartupData* data);
    int (*WSACleanup)();
};

// The largest backlog the system grants a listening socket (net.core.somaxconn).
int SystemListenBacklog();

// The table in use, and the real calls it starts with.
CSocketBinding& SocketBinding();
const CSocketBinding& NativeSocketBinding();

// The last socket error number, as the calls above left it (mapped from errno).
int WsaGetLastError();
void WsaSetLastError(int error);
