#include "tests/vt/VtTestTerminal.h"

#include <algorithm>

CVtTestTerminal::CVtTestTerminal() : CVt(nullptr)
{
    Printer().SetSink(&sink);
    SetProperty(kVtPropEnabled, 1);
}

namespace {

std::string Trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

}  // namespace

std::string CVtTestTerminal::Row(int row) const
{
    const VtCell* line = Screen().Line(row);
    if (line == nullptr)
        return "<no row>";
    std::string text;
    for (int c = 0; c < Screen().Columns(); ++c)
        text.push_back(static_cast<char>(line[c] & kCellCharMask));
    return Trimmed(text);
}

std::string CVtTestTerminal::Utf8Row(int row) const
{
    return Trimmed(Screen().RowUtf8(row));
}

std::string CVtTestTerminal::StatusText() const
{
    std::string text;
    for (int c = 0; c < Screen().Columns(); ++c)
        text.push_back(static_cast<char>(Screen().StatusLine()[c] & kCellCharMask));
    return Trimmed(text);
}

std::string CVtTestTerminal::Cursor() const
{
    return std::to_string(Screen().CursorRow() + 1) + "," + std::to_string(Screen().CursorColumn() + 1);
}

std::string CVtTestTerminal::History(int back) const
{
    const VtCell* line = Screen().LineAt(Screen().ScrollbackRows() - back);
    if (line == nullptr)
        return "<no line>";
    std::string text;
    for (int c = 0; c < Screen().Columns(); ++c)
        text.push_back(static_cast<char>(line[c] & kCellCharMask));
    return Trimmed(text);
}

void CVtTestTerminal::OnPropertyHook(int id, VtValue value, bool& handled)
{
    requests.emplace_back(id, value);
    handled = std::find(takeOver.begin(), takeOver.end(), id) != takeOver.end();
}

void CVtTestTerminal::SendToHost(const uint8_t* bytes, size_t length)
{
    answers.append(reinterpret_cast<const char*>(bytes), length);
}

void CVtTestTerminal::LineOutput(const uint8_t* bytes, size_t length)
{
    lines.append(reinterpret_cast<const char*>(bytes), length);
}

void CVtTestTerminal::OnBell(bool)
{
    ++bells;
}
