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

struct ToolResult {
    int exitCode = -1;
    std::string output;  // standard output and error together
};

// Runs a command while the library's message loop keeps running, so an agent in this
// process can answer it; the command is killed after timeoutMs.
ToolResult RunTool(const std::vector<std::string>& argv, int timeoutMs = 10000);

// Starts a command in the background with its output going to a file; returns its pid.
int StartBackground(const std::vector<std::string>& argv, const std::string& outputFile);
void StopBackground(int pid);

// Runs the message loop until the condition holds or timeoutMs has passed.
bool PumpUntil(bool (*done)(void*), void* context, int timeoutMs = 3000);

uint16_t FreeUdpPort();
std::string ReadFile(const std::string& path);
std::string TempDir();

// The SNMP tools' common arguments: version 1, community orchid, no MIB files, one try.
std::vector<std::string> SnmpCommand(const char* tool, uint16_t port, const std::vector<std::string>& rest,
                                     const char* version = "1");
