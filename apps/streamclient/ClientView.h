#pragma once

#include <cstdint>
#include <string>

// What the stream test client reports to whoever shows it: the main form or a console.
class CTcpClientView {
public:
    virtual ~CTcpClientView() = default;

    virtual void OnClientConnected() = 0;
    // length 0 with no data: the connection has closed.
    virtual void OnClientReceived(const char* data, uint32_t length, uint32_t totalReceived) = 0;
    virtual void OnClientSubmitted(uint32_t totalSubmitted) = 0;
    virtual void OnClientSent(uint32_t totalSent) = 0;
    virtual void OnClientEchoDone(const std::string& report) = 0;
    virtual void OnClientException(uint8_t code, const char* text) = 0;
};
