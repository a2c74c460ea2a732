#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The standard 24-bit colours of the status panel, 0xRRGGBB.
enum EPanelColor : uint32_t {
    kPanelMaroon = 0x800000,
    kPanelGreen = 0x008000,
    kPanelYellow = 0xFFFF00,
    kPanelWhite = 0xFFFFFF,
    kPanelBlack = 0x000000,
};

// What the remote clients show and read: the form's status panel, error panel and display,
// and the fields their start-up messages are built from, read at the moment they are sent.
class IRemoteView {
public:
    virtual ~IRemoteView() = default;

    virtual void ShowStatus(const std::string& text, EPanelColor background, EPanelColor textColor) = 0;
    // Maroon background, white text, shown.
    virtual void ShowError(const std::string& text) = 0;
    // Emptied and hidden.
    virtual void HideError() = 0;

    virtual void ClearDisplay() = 0;
    // 8-bit text as it is to be shown, lines ending in CR LF.
    virtual void AppendDisplay(const char* text, size_t length) = 0;
    virtual void FocusDisplay() = 0;

    virtual std::string UserName() = 0;
    virtual std::string Password() = 0;
    virtual std::string Command() = 0;
};
