// What the tests against the system's in.rexecd, in.rshd and in.rlogind (tests/peers/rshd.sh)
// need from the machine, and a privileged source port to call them from.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

// Why the servers cannot run here, or empty.
inline std::string RshServersUnavailable()
{
    if (getuid() != 0)
        return "needs root: the servers log into a test account and want privileged source ports";
    for (const char* path : {"/usr/sbin/in.rexecd", "/usr/sbin/in.rshd", "/usr/sbin/in.rlogind"}) {
        if (access(path, X_OK) != 0)
            return std::string(path) + " is missing (Debian package rsh-server)";
    }
    if (access("/usr/sbin/inetd", X_OK) != 0)
        return "/usr/sbin/inetd is missing (Debian package openbsd-inetd)";
    if (access("/dev/pts/ptmx", F_OK) != 0)
        return "no pseudo-terminals: /dev/pts is not mounted";
    if (access("/etc/nologin", F_OK) == 0)
        return "/etc/nologin exists: the system refuses logins";
    return {};
}

// A privileged source port nobody holds right now, from the top of the range down as the
// classic clients pick theirs; 0 when none is free.
inline uint16_t FreeReservedPort()
{
    for (uint16_t port = 1023; port >= 600; --port) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        close(fd);
        if (free)
            return port;
    }
    return 0;
}
