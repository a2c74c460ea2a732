#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "apps/mibagent/AgentView.h"
#include "apps/mibagent/SystemDefaults.h"

// The agent's panels and texts kept in memory.
class CMemoryAgentView final : public CAgentView {
public:
    CMemoryAgentView()
    {
        for (int i = 0; i < SystemTextCount; ++i)
            texts[i] = kSystemDefaults[i];
    }
    std::string GetSystemText(SystemText which) override { return texts[which]; }
    void SetSystemText(SystemText which, const std::string& text) override { texts[which] = text; }
    void ShowStatus(const std::string& text, bool isListening) override
    {
        status = text;
        listening = isListening;
    }
    void ShowError(const std::string& text) override { error = text; }
    void ShowAction(const std::string& text) override { action = text; }
    void HidePanels() override
    {
        error.clear();
        action.clear();
    }

    std::string texts[SystemTextCount];
    std::string status = "Port Closed";
    bool listening = false;
    std::string error;
    std::string action;
};

// The SNMP tools' common arguments: version 1, community orchid, no MIB files, one try.
inline std::vector<std::string> SnmpCommand(const char* tool, uint16_t port,
                                            const std::vector<std::string>& rest, const char* version = "1")
{
    std::vector<std::string> argv{tool,
                                  "-v",
                                  version,
                                  "-c",
                                  "orchid",
                                  "-m",
                                  "",
                                  "-r",
                                  "0",
                                  "-t",
                                  "2",
                                  "-On",
                                  "127.0.0.1:" + std::to_string(port)};
    argv.insert(argv.end(), rest.begin(), rest.end());
    return argv;
}
