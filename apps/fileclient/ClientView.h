#pragma once

#include <cstddef>
#include <string>

// What the FTP client shows: the main form's indicators, counters and log.
class IFtpClientView {
public:
    virtual ~IFtpClientView() = default;

    virtual void ShowControl(bool connected) = 0;  // green, or maroon
    virtual void ShowData(bool flowing) = 0;       // yellow with black text, or maroon with white
    virtual void ShowCount(const std::string& text) = 0;
    virtual void ShowRate(const std::string& text) = 0;
    // Text for the log, 8-bit as received; lines end in CR LF.
    virtual void AppendLog(const std::string& text) = 0;
    virtual size_t LogLength() const = 0;
    virtual void ClearLog() = 0;
};
