#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>

// Addresses and sockets on 127.0.0.1, the only host network tests talk to.

// 127.0.0.1:port.
sockaddr_in LoopbackAddress(uint16_t port);
// A socket of `type` (SOCK_STREAM or SOCK_DGRAM, flags may be or-ed in) bound to 127.0.0.1:port; -1 on failure.
int BindLoopback(int type, uint16_t port = 0);
// The local port of a bound socket; 0 when there is none.
uint16_t LocalPort(int fd);
// A port of 127.0.0.1 that nobody holds right now: bound once, then released.
uint16_t UnusedLoopbackPort(int type = SOCK_STREAM);
// A non-blocking stream socket whose connection to 127.0.0.1:port has started; -1 on failure.
int ConnectLoopback(uint16_t port);
// True once a connection to 127.0.0.1:port succeeds: a server started elsewhere is up.
bool WaitForListener(uint16_t port, std::chrono::milliseconds timeout);
