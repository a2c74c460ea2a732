#pragma once

#include <cstdint>
#include <string>

#include "lib/VoltTcp.h"

class CFtpControl;

// The listening socket of active mode: sends PORT once it listens, and hands the server's
// connection to a new data connection.
class CFtpListen final : public CVoltTcp {
public:
    explicit CFtpListen(CFtpControl& control);
    ~CFtpListen() override;  // unregisters from the control connection

    void OnListen(const char* localAddress, uint16_t port, const char* localHostName) override;
    void OnAccept() override;
    void OnException(uint8_t code, const char* text) override;

    uint16_t Port() const { return m_port; }

    // "PORT h1,h2,h3,h4,p1,p2\r\n" for a dotted address and a port.
    static std::string PortLine(const std::string& address, uint16_t port);

private:
    CFtpControl& m_control;
    uint16_t m_port = 0;
};
