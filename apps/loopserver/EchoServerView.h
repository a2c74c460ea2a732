#pragma once

#include <cstdint>

// What the echo server tells whoever shows it: the main form, or log lines when headless.
class CEchoServerView {
public:
    virtual ~CEchoServerView() = default;

    virtual void OnServerListening(uint16_t port) = 0;
    // The listening socket has closed; accepted connections may still be echoing.
    virtual void OnServerStopped() = 0;
    virtual void OnConnectionCount(uint32_t connections) = 0;
    // closed: the listening session is closed after the failure.
    virtual void OnServerError(const char* text, bool closed) = 0;

    virtual void OnConnectionOpened(const char* /*address*/, uint16_t /*port*/) {}
    virtual void OnConnectionError(const char* /*text*/) {}
};
