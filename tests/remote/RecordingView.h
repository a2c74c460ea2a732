#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "remote/RemoteView.h"

// The remote clients' panels and display kept in memory: every call in order as a readable
// line, and the display's bytes as the clients appended them.
class CRecordingView final : public IRemoteView {
public:
    void ShowStatus(const std::string& text, EPanelColor background, EPanelColor textColor) override
    {
        char colors[32];
        std::snprintf(colors, sizeof colors, " (%06X/%06X)", static_cast<unsigned>(background),
                      static_cast<unsigned>(textColor));
        status = text;
        calls.push_back("status " + text + colors);
    }
    void ShowError(const std::string& text) override
    {
        error = text;
        calls.push_back("error " + text);
    }
    void HideError() override
    {
        error.clear();
        calls.push_back("hide error");
    }
    void ClearDisplay() override
    {
        display.clear();
        calls.push_back("clear");
    }
    void AppendDisplay(const char* text, size_t length) override
    {
        display.append(text, length);
        ++appends;
    }
    void FocusDisplay() override { calls.push_back("focus"); }
    std::string UserName() override { return user; }
    std::string Password() override { return password; }
    std::string Command() override { return command; }

    bool Saw(const std::string& call) const
    {
        for (const std::string& seen : calls) {
            if (seen == call)
                return true;
        }
        return false;
    }
    // Anything the view was told, to wait for a block to be handled.
    size_t Changes() const { return calls.size() + appends; }

    std::string user = "tester";
    std::string password = "secret";
    std::string command = "ls -l";
    std::vector<std::string> calls;
    std::string status;
    std::string error;
    std::string display;
    size_t appends = 0;
};
