#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/support/RecordingPrintSink.h"
#include "vt/Vt.h"

// A terminal whose events are written down, with helpers that return strings so that a
// failing check shows what the screen held.
class CVtTestTerminal : public CVt {
public:
    CVtTestTerminal();

    void Feed(const std::string& bytes) { ReceiveData(bytes.data(), bytes.size()); }
    // Row text with trailing blanks removed.
    std::string Row(int row) const;
    // The same in UTF-8, for a terminal in UTF-8 mode.
    std::string Utf8Row(int row) const;
    std::string StatusText() const;
    // "row,column", 1-based.
    std::string Cursor() const;
    VtCell CellAt(int row, int column) const { return Screen().Cell(row, column); }
    // The history line `back` lines above the screen (1 = newest), trailing blanks removed.
    std::string History(int back) const;

    std::string answers;
    std::string lines;
    std::vector<std::pair<int, VtValue>> requests;
    std::vector<int> takeOver;  // ids the owner handles itself
    std::vector<std::string> titles;
    int bells = 0;
    CRecordingPrintSink sink;

protected:
    void OnPropertyHook(int id, VtValue value, bool& handled) override;
    void SendToHost(const uint8_t* bytes, size_t length) override;
    void LineOutput(const uint8_t* bytes, size_t length) override;
    void OnBell(bool audible) override;
    void OnWindowTitle(const std::string& title) override { titles.push_back(title); }
};
