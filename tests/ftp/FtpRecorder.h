#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ftp/FtpControl.h"
#include "ftp/VoltFtp.h"

// An FTP component that records its events as readable lines, so a failing test prints what
// it saw: "echo USER x", "reply 4 2 331", "progress 15 1 1000", "data 12", "data end",
// "ready 3", "exception 16 Local file not present", "connect".
class CFtpRecorder : public CVoltFtp {
public:
    std::vector<std::string> events;
    std::vector<std::string> replyTexts;
    std::string transferData;
    std::string lastPath;
    bool dataEnded = false;
    bool closed = false;

    std::function<void(uint8_t status, uint8_t command, unsigned code)> onReply;
    std::function<void(uint32_t tag)> onReady;
    std::function<void(const char* data, uint32_t length)> onData;

    void OnConnect(const char*, uint16_t, const char*, uint16_t, const char*) override
    {
        events.push_back("connect");
    }
    void OnCommandEcho(const char* text) override { events.push_back(std::string("echo ") + text); }
    void OnTransferData(const char* data, uint32_t length) override
    {
        if (data == nullptr) {
            dataEnded = true;
            events.push_back("data end");
        } else {
            transferData.append(data, length);
        }
        if (onData)
            onData(data, length);
    }
    void OnTransferProgress(uint8_t command, uint32_t blockCount, uint64_t byteTotal,
                            const char* path) override
    {
        lastPath = path;
        if (blockCount == 0)
            events.push_back("progress " + std::to_string(command) + " 0 " + std::to_string(byteTotal));
        progress.push_back(byteTotal);
    }
    void OnReply(uint8_t status, uint8_t command, unsigned code, const char* text) override
    {
        if (code == 0 && command == 0 && *text == '\0')
            closed = true;
        events.push_back("reply " + std::to_string(status) + " " + std::to_string(command) + " " +
                         std::to_string(code));
        replyTexts.emplace_back(text);
        if (onReply)
            onReply(status, command, code);
    }
    void OnTransferReady(uint32_t tag) override
    {
        events.push_back("ready " + std::to_string(tag));
        if (onReady)
            onReady(tag);
    }
    void OnException(uint8_t code, const char* text) override
    {
        events.push_back("exception " + std::to_string(code) + " " + text);
    }

    // Hands bytes to the control connection as if they had been received.
    void Feed(const std::string& bytes)
    {
        Control().OnReceive(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    CFtpControl& Ctl() { return Control(); }

    bool Has(const std::string& event) const
    {
        for (const auto& e : events)
            if (e == event)
                return true;
        return false;
    }
    std::string Last() const { return events.empty() ? "" : events.back(); }
    std::string Joined() const
    {
        std::string out;
        for (const auto& e : events)
            out += e + "\n";
        return out;
    }

    std::vector<uint64_t> progress;
};
