#pragma once

#include <string>

// What the agent shows and edits: the main form's panels and system edits, or log lines
// and plain texts when headless.
class CAgentView {
public:
    enum SystemText { SysDescr, SysObjectId, SysContact, SysName, SysLocation, SystemTextCount };

    virtual ~CAgentView() = default;

    virtual std::string GetSystemText(SystemText which) = 0;
    virtual void SetSystemText(SystemText which, const std::string& text) = 0;
    // listening: green status, else maroon.
    virtual void ShowStatus(const std::string& text, bool listening) = 0;
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowAction(const std::string& text) = 0;
    virtual void HidePanels() = 0;  // the error and action panels
};
