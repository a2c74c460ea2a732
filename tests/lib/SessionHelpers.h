#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lib/SocketBinding.h"
#include "lib/TraceView.h"
#include "lib/VoltTcp.h"
#include "tests/support/RunLoop.h"

// A facade that records every event as a readable string, keeps the received bytes and
// lets a test hook into any event.
class CTestSession : public CVoltTcp {
public:
    std::vector<std::string> events;
    std::string received;
    std::vector<uint32_t> pieces;
    std::vector<uint32_t> sentTags;
    uint16_t listenPort = 0;
    int closedCount = 0;
    bool connected = false;

    std::function<void()> onConnect;
    std::function<void(const char*, uint32_t)> onReceive;
    std::function<void(uint32_t)> onSent;
    std::function<void()> onAccept;
    std::function<void()> onClosed;

    void OnConnect(const char* remoteAddress, uint16_t remotePort, const char* localAddress,
                   uint16_t localPort, const char* localHostName) override
    {
        connected = true;
        events.push_back("connect " + std::string(remoteAddress));
        lastConnect = {remoteAddress, std::to_string(remotePort), localAddress, std::to_string(localPort),
                       localHostName};
        if (onConnect)
            onConnect();
    }
    void OnReceive(const char* data, uint32_t length) override
    {
        if (data == nullptr && length == 0) {
            ++closedCount;
            events.push_back("closed");
            if (onClosed)
                onClosed();  // may destroy this object
            return;
        }
        zeroTerminated = zeroTerminated && data[length] == '\0';
        received.append(data, length);
        pieces.push_back(length);
        if (onReceive)
            onReceive(data, length);
    }
    void OnSent(uint32_t tag) override
    {
        sentTags.push_back(tag);
        if (onSent)
            onSent(tag);
    }
    void OnListen(const char* localAddress, uint16_t port, const char*) override
    {
        listenPort = port;
        events.push_back("listen " + std::string(localAddress));
    }
    void OnAccept() override
    {
        events.push_back("accept");
        if (onAccept)
            onAccept();
    }
    void OnException(uint8_t code, const char* text) override
    {
        exceptions.push_back(std::to_string(code) + " " + text);
        events.push_back("exception " + std::to_string(code) + " " + text);
    }
    void OnStackInfo(uint16_t version, const char* description, const char* status, uint16_t maxSockets,
                     uint16_t maxUdpDg, const char* host, const char* const* addresses) override
    {
        stackVersion = version;
        stackDescription = description;
        stackStatus = status;
        stackMaxSockets = maxSockets;
        stackMaxUdpDg = maxUdpDg;
        stackHost = host;
        stackAddresses.clear();
        for (const char* const* a = addresses; *a; ++a)
            stackAddresses.emplace_back(*a);
        events.push_back("stackinfo");
    }

    std::vector<std::string> exceptions;
    std::vector<std::string> lastConnect;
    bool zeroTerminated = true;
    uint16_t stackVersion = 0;
    std::string stackDescription, stackStatus, stackHost;
    uint16_t stackMaxSockets = 0, stackMaxUdpDg = 0;
    std::vector<std::string> stackAddresses;
};

// A listening facade that accepts every waiting connection into a new child session.
class CTestListener : public CTestSession {
public:
    std::vector<std::unique_ptr<CTestSession>> children;
    std::function<void(CTestSession&)> prepareChild;
    uint8_t childFlags = 0;

    CTestListener()
    {
        onAccept = [this] {
            auto child = std::make_unique<CTestSession>();
            if (prepareChild)
                prepareChild(*child);
            CTestSession* raw = child.get();
            children.push_back(std::move(child));
            raw->Accept(childFlags, this);
        };
    }

    uint16_t Start()
    {
        if (!Listen(0, "127.0.0.1", 0, 0))
            return 0;
        return listenPort;
    }
};

// Restores the socket binding table when a test that injected faults ends.
struct BindingGuard {
    CSocketBinding saved = SocketBinding();
    ~BindingGuard() { SocketBinding() = saved; }
};

// Trace views that share one record with the test.
struct TraceRecord {
    std::vector<std::string> lines;  // every line ever appended, in order
    int clears = 0;
    int maxLineCount = 0;
    int shown = 0;
    std::vector<std::string> titles;
    class CRecordingView* last = nullptr;  // the newest view, valid while its session keeps it
};

class CRecordingView final : public CTraceView {
public:
    explicit CRecordingView(std::shared_ptr<TraceRecord> record) : m_record(std::move(record))
    {
        m_record->last = this;
    }
    ~CRecordingView() override
    {
        if (m_record->last == this)
            m_record->last = nullptr;
    }
    void SetTitle(const std::string& title) override { m_record->titles.push_back(title); }
    void AppendLine(const std::string& line) override
    {
        m_record->lines.push_back(line);
        ++m_count;
        m_record->maxLineCount = std::max(m_record->maxLineCount, m_count);
    }
    void Clear() override
    {
        m_count = 0;
        ++m_record->clears;
    }
    int LineCount() const override { return m_count; }
    void ShowMinimized() override { ++m_record->shown; }

private:
    std::shared_ptr<TraceRecord> m_record;
    int m_count = 0;
};

struct TraceCapture {
    std::shared_ptr<TraceRecord> record = std::make_shared<TraceRecord>();
    TraceCapture()
    {
        auto shared = record;
        SetTraceViewFactory([shared] { return std::make_unique<CRecordingView>(shared); });
    }
    ~TraceCapture() { SetTraceViewFactory(nullptr); }
    bool Has(const std::string& line) const
    {
        for (const auto& l : record->lines)
            if (l == line)
                return true;
        return false;
    }
};
