#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "apps/mibagent/AgentView.h"

// The agent without a window: the system texts keep the form's defaults, and what the panels
// would show becomes log lines (a panel that shows the same text again logs nothing).
// SIGINT or SIGTERM ends the run.
class CHeadlessAgent final : private CAgentView {
public:
    // errors: where a failure that the user must act on is explained (standard error).
    CHeadlessAgent(std::FILE* log, std::FILE* errors);

    // Returns the process exit code: 0 after a signal, 1 when the port could not be opened.
    int Run(uint16_t port);

private:
    std::string GetSystemText(SystemText which) override;
    void SetSystemText(SystemText which, const std::string& text) override;
    void ShowStatus(const std::string& text, bool listening) override;
    void ShowError(const std::string& text) override;
    void ShowAction(const std::string& text) override;
    void HidePanels() override;

    void Log(const char* label, const std::string& text);

    std::FILE* m_log;
    std::FILE* m_errors;
    std::string m_texts[SystemTextCount];
    std::string m_status;
    std::string m_action;
};
