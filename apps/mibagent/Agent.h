#pragma once

#include <cstdint>
#include <string>

#include "apps/mibagent/AgentView.h"
#include "snmp/VoltSnmp.h"

// The agent: answers Get, GetNext and Set for a small fixed set of MIB-II variables, five of
// which are the view's system texts, and sends test traps.
class CSnmpAgent final : public CVoltSnmp {
public:
    static constexpr uint16_t kAgentPort = 161;
    static constexpr uint16_t kTrapPort = 162;
    static constexpr size_t kMaxText = 62;

    explicit CSnmpAgent(CAgentView& view, uint16_t port = kAgentPort);

    // Closes the socket if it is open, hides the panels and opens it again.
    void Reset();
    void SetPort(uint16_t port) { m_port = port; }
    uint16_t Port() const { return m_port; }
    const std::string& AgentAddress() const { return m_agentAddress; }
    // The port the socket is bound to; 0 while not listening.
    uint16_t ListeningPort() const { return GetState() == Connected ? m_listeningPort : 0; }

    // The three test bindings; generic: 1 when not a number, specific: 0 when not a number,
    // taken as a signed 8-bit value. Nothing is sent while the socket is closed.
    bool SendTestTrap(const std::string& destination, uint16_t port, const std::string& community,
                      const std::string& enterprise, const std::string& generic, const std::string& specific);

    // Hundredths of a second since the system started.
    static uint32_t UpTime();
    static const char* PduName(uint8_t pduType);

private:
    void OnException(uint8_t code, const char* text) override;
    void OnSnmpOpen(const char* localAddress, uint16_t localPort, const char* localHostName,
                    uint16_t bufferSize) override;
    void OnSnmpRequest(const char* community, int32_t requestId, uint8_t errorStatus, int32_t errorIndex,
                       uint8_t pduType, uint32_t count, const char** names, SnmpValue* values, uint8_t* types,
                       const char* senderAddress, uint16_t senderPort) override;

    void Get(const char* sender, uint16_t port, const char* community, int32_t requestId, uint32_t count,
             const char** names, SnmpValue* values, uint8_t* types);
    void GetNext(const char* sender, uint16_t port, const char* community, int32_t requestId,
                 const char* name);
    void Set(const char* sender, uint16_t port, const char* community, int32_t requestId, uint32_t count,
             const char** names, SnmpValue* values, uint8_t* types);
    // Keeps the view's text as a counted text; the texts live until the next request.
    const uint8_t* SystemValue(CAgentView::SystemText which);

    CAgentView& m_view;
    uint16_t m_port;
    std::string m_agentAddress;
    uint16_t m_listeningPort = 0;
    // A counted text of up to 62 characters: two length bytes, the text and its zero.
    uint8_t m_values[CAgentView::SystemTextCount][2 + kMaxText + 1] = {};
    uint8_t m_addressValue[2 + 16 + 1] = {};
};
