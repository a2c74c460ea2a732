#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pop3/Pop3.h"
#include "pop3/VoltPop3.h"

// An engine whose transport is the test: sent command lines are kept, and the test hands in
// received chunks, each from a heap block of its exact size so that a read past it is caught.
class CScriptedEngine final : public CPop3 {
public:
    using CPop3::CPop3;

    std::vector<std::string> sent;
    int closes = 0;

    bool Send(const char* data, uint32_t length, bool, uint32_t tag) override
    {
        sent.emplace_back(data, length);
        lastTag = tag;
        return true;
    }
    uint32_t lastTag = 0;

    void Receive(std::string_view chunk)
    {
        std::unique_ptr<char[]> exact(new char[chunk.size()]);
        std::copy(chunk.begin(), chunk.end(), exact.get());
        OnReceive(exact.get(), static_cast<uint32_t>(chunk.size()));
    }

protected:
    bool ConnectSession(uint8_t, const char*, uint16_t, const char*, uint16_t) override { return true; }
    bool CloseSession(bool) override
    {
        ++closes;
        OnReceive(nullptr, 0);
        return true;
    }
};

// Records every event as a line of a transcript. Data events of one kind in a row are joined
// into one line, so that the transcript does not depend on how the data was cut into chunks.
class CPop3Recorder : public CVoltPop3 {
public:
    CPop3Recorder() : CVoltPop3([](CVoltPop3& owner) { return std::make_unique<CScriptedEngine>(owner); }) {}

    CScriptedEngine& Wire() { return static_cast<CScriptedEngine&>(Engine()); }

    std::vector<std::string> transcript;
    std::string text;  // every Pop3_Mail text of RETR
    std::vector<std::string> exceptions;
    std::vector<std::string> headers;  // OnHeader: the eight values joined by '|'
    std::vector<uint16_t> percents;
    std::vector<std::string> commandsSent;
    std::function<void(uint8_t status, uint8_t command)> onEvent;
    std::function<void()> onFileClosed;

    void OnPop3Event(uint8_t status, uint8_t command, const char* data, uint32_t length, const char* path,
                     char letter, uint16_t percent) override
    {
        percents.push_back(percent);
        const std::string bytes = data ? std::string(data, length) : std::string();
        std::string line;
        switch (status) {
        case Pop3Closed: line = "closed"; break;
        case Pop3Ok: line = "ok " + std::to_string(command) + " " + bytes; break;
        case Pop3Error: line = "error " + std::to_string(command) + " " + bytes; break;
        case Pop3Header: line = "header " + bytes; break;
        case Pop3_Mail:
            if (!data && percent == 100) {
                line = "done";
                break;
            }
            if (command == kPop3Retr)
                text += bytes;
            Join("text ", bytes);
            break;
        case Pop3File: Join("file " + BaseName(path) + " ", bytes); break;
        default: line = "status " + std::to_string(status);
        }
        (void)letter;
        if (!line.empty())
            Push(line);
        if (onEvent)
            onEvent(status, command);
    }
    void OnCommandSent(const char* line) override { commandsSent.emplace_back(line); }
    void OnFileClosed(const char* path, char letter, uint32_t bytes) override
    {
        Push("saved " + BaseName(path) + " " + letter + " " + std::to_string(bytes));
        if (onFileClosed)
            onFileClosed();
    }
    void OnException(uint8_t code, const char* what) override
    {
        exceptions.push_back(std::to_string(code) + " " + what);
        Push("exception " + exceptions.back());
    }
    void OnHeader(uint8_t command, const char* returnPath, const char* received, const char* date,
                  const char* from, const char* subject, const char* sender, const char* to,
                  const char* cc) override
    {
        headers.push_back(std::string(returnPath) + "|" + received + "|" + date + "|" + from + "|" + subject +
                          "|" + sender + "|" + to + "|" + cc);
        Push("fields " + std::to_string(command));
    }

    static std::string BaseName(const char* path)
    {
        const std::string p = path ? path : "";
        const size_t slash = p.rfind('/');
        return slash == std::string::npos ? p : p.substr(slash + 1);
    }

private:
    void Push(std::string line)
    {
        transcript.push_back(std::move(line));
        m_joining.clear();
    }
    void Join(const std::string& prefix, const std::string& bytes)
    {
        if (m_joining == prefix) {
            transcript.back() += bytes;
            return;
        }
        transcript.push_back(prefix + bytes);
        m_joining = prefix;
    }
    std::string m_joining;  // the kind of the data line now at the end of the transcript
};
