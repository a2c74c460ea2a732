#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/RecordingPrintSink.h"
#include "tests/vt/RecordingVtWindow.h"
#include "vt/VtPrinter.h"
#include "vt/VtScreen.h"

// What a terminal script runs against (tests/vt/scripts: screen/ the model host, terminal/
// the parser host). The model host has no byte consumer; a host built around the parser
// answers `push` and may add commands of its own.
class IVtScriptHost {
public:
    virtual ~IVtScriptHost() = default;
    virtual CVtScreen& Screen() = 0;
    virtual CVtPrinter& Printer() = 0;
    virtual CRecordingPrintSink& Sink() = 0;
    virtual CRecordingVtWindow& Window() = 0;
    // Message boxes shown so far, each as "caption: text".
    virtual std::vector<std::string>& Messages() = 0;
    // Rows the cursor left by line feed or wrap; nullptr when the host does not track them.
    virtual std::vector<int>* LeftRows() { return nullptr; }
    // Bytes for the byte consumer; false when there is none.
    virtual bool Push(const std::string& /*bytes*/) { return false; }
    // A command the runner does not know: false when the host does not know it either,
    // otherwise true with `failure` set when it failed.
    virtual bool Command(const std::vector<std::string>& /*words*/, std::string& /*failure*/)
    {
        return false;
    }
};

// The screen model alone: enabled, 72 history rows, 24 x 80, a recording window, a
// recording printer wired to the line-leaving hook.
class CModelScriptHost final : public IVtScriptHost, private IVtScreenOwner {
public:
    CModelScriptHost();
    CVtScreen& Screen() override { return m_screen; }
    CVtPrinter& Printer() override { return m_printer; }
    CRecordingPrintSink& Sink() override { return m_sink; }
    CRecordingVtWindow& Window() override { return m_window; }
    std::vector<std::string>& Messages() override { return m_messages; }
    std::vector<int>* LeftRows() override { return &m_leftRows; }

private:
    void LineLeaving(int row) override;
    void ShowMessage(const char* text, const char* caption, MessageKind kind) override;

    CVtScreen m_screen;
    CRecordingVtWindow m_window;
    CRecordingPrintSink m_sink;
    CVtPrinter m_printer;
    std::vector<std::string> m_messages;
    std::vector<int> m_leftRows;
};

// Runs a script against a fresh host; returns one "name:line: what" per failed line.
std::vector<std::string> RunVtScript(const std::string& text, const std::string& name, IVtScriptHost& host);
