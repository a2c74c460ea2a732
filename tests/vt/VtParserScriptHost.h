#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/vt/VtScriptHost.h"
#include "tests/vt/VtTestTerminal.h"

// The terminal scripts run against the whole emulator: `push` feeds the parser. Extra commands:
//   fresh                  a new terminal, as if just enabled
//   answers "bytes"        what was sent to the host since the last check
//   lines "bytes"          what line capture produced since the last check
//   titles "[a][b]"        the window titles the host set since the last check
//   setprop NAME VALUE     SetProperty, NAME an EVtProperty value such as kVtPropLevelVt220
//   prop NAME VALUE        GetProperty must give VALUE
class CParserScriptHost final : public IVtScriptHost {
public:
    CParserScriptHost();
    CVtScreen& Screen() override { return m_vt->Screen(); }
    CVtPrinter& Printer() override { return m_vt->Printer(); }
    CRecordingPrintSink& Sink() override { return m_vt->sink; }
    CRecordingVtWindow& Window() override { return m_window; }
    std::vector<std::string>& Messages() override { return m_messages; }
    bool Push(const std::string& bytes) override;
    bool Command(const std::vector<std::string>& words, std::string& failure) override;

private:
    void Fresh();

    // Replaced in place by `fresh`, so references the runner holds stay valid.
    std::optional<CVtTestTerminal> m_vt;
    CRecordingVtWindow m_window;
    std::vector<std::string> m_messages;
};
