// Terminal scripts: one command per line, `#` starts a comment.
//
//   call <Primitive> args...    run a screen or printer primitive (see Call below)
//   push "bytes"                hand bytes to the host's byte consumer (the parser)
//   window visible N | clear    recording window set-up
//   sink present on|off | page W H | leading N | height N | failstart on|off | clear
//   expect <what> args...       check the state (see Expect below; utf8row compares in UTF-8)
//
// Strings take \e \r \n \t \f \\ \" and \xHH; numbers may be hex (0x..); "r,c" is a cell.

#include <cstdlib>
#include <sstream>

#include "tests/vt/VtScriptHost.h"

namespace {

struct Word {
    std::string text;
    bool quoted = false;
};

bool Tokenize(const std::string& line, std::vector<Word>& words, std::string& error)
{
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            Word word{"", true};
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] != '\\' || i + 1 >= line.size()) {
                    word.text += line[i];
                    continue;
                }
                const char e = line[++i];
                switch (e) {
                case 'e': word.text += '\x1b'; break;
                case 'r': word.text += '\r'; break;
                case 'n': word.text += '\n'; break;
                case 't': word.text += '\t'; break;
                case 'f': word.text += '\f'; break;
                case 'x':
                    if (i + 2 >= line.size()) {
                        error = "bad \\x escape";
                        return false;
                    }
                    word.text += static_cast<char>(std::strtol(line.substr(i + 1, 2).c_str(), nullptr, 16));
                    i += 2;
                    break;
                default: word.text += e; break;
                }
            }
            if (i >= line.size()) {
                error = "unterminated string";
                return false;
            }
            ++i;
            words.push_back(word);
        } else {
            const size_t end = line.find_first_of(" \t\r", i);
            words.push_back({line.substr(i, end == std::string::npos ? std::string::npos : end - i), false});
            i = end == std::string::npos ? line.size() : end;
        }
    }
    return true;
}

std::string Trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string Hex(uint64_t value)
{
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

class CScript {
public:
    CScript(IVtScriptHost& host) : m_host(host), m_screen(host.Screen()), m_printer(host.Printer()) {}

    // Empty when the line passed.
    std::string Run(const std::vector<Word>& words)
    {
        m_words = &words;
        const std::string& verb = words[0].text;
        if (verb == "call")
            return Call();
        if (verb == "expect")
            return Expect();
        if (verb == "push") {
            if (!m_host.Push(Str(1)))
                return "push: this host has no byte consumer";
            return {};
        }
        if (verb == "window")
            return WindowSetup();
        if (verb == "sink")
            return SinkSetup();
        std::vector<std::string> plain;
        for (const Word& w : words)
            plain.push_back(w.text);
        std::string failure;
        if (m_host.Command(plain, failure))
            return failure;
        return "unknown command '" + verb + "'";
    }

private:
    size_t Count() const { return m_words->size(); }
    const std::string& Str(size_t i) const
    {
        static const std::string empty;
        return i < Count() ? (*m_words)[i].text : empty;
    }
    int Int(size_t i) const { return static_cast<int>(std::strtoll(Str(i).c_str(), nullptr, 0)); }
    uint32_t Word32(size_t i) const
    {
        return static_cast<uint32_t>(std::strtoull(Str(i).c_str(), nullptr, 0));
    }
    VtCell Word64(size_t i) const { return static_cast<VtCell>(std::strtoull(Str(i).c_str(), nullptr, 0)); }
    bool On(size_t i) const { return Str(i) == "on" || Str(i) == "1" || Str(i) == "true"; }
    // "r,c" in one word.
    void Pair(size_t i, int& a, int& b) const
    {
        const std::string& s = Str(i);
        const size_t comma = s.find(',');
        a = static_cast<int>(std::strtol(s.c_str(), nullptr, 0));
        b = comma == std::string::npos ? 0 : static_cast<int>(std::strtol(s.c_str() + comma + 1, nullptr, 0));
    }
    const uint8_t* Bytes(size_t i) const { return reinterpret_cast<const uint8_t*>(Str(i).data()); }
    int Length(size_t i) const { return static_cast<int>(Str(i).size()); }

    std::string RowText(int row) const
    {
        char text[kMaxColumns];
        return Trimmed(std::string(text, size_t(m_screen.RowText(row, text))));
    }
    static std::string LineText(const VtCell* line, int columns)
    {
        std::string text;
        for (int c = 0; line != nullptr && c < columns; ++c)
            text += CVtScreen::CellText(line[c]);
        return Trimmed(text);
    }

    std::string Call()
    {
        const std::string& what = Str(1);
        CVtScreen& s = m_screen;
        int a = 0;
        int b = 0;
        if (what == "WriteRun")
            s.WriteRun(Bytes(2), Length(2));
        else if (what == "InsertBlanks")
            s.InsertBlanks(Int(2));
        else if (what == "DeleteChars")
            s.DeleteChars(Int(2));
        else if (what == "EraseInLine")
            s.EraseInLine(Int(2), Int(3), Int(4));
        else if (what == "SelectiveEraseInLine")
            s.SelectiveEraseInLine(Int(2), Int(3), Int(4));
        else if (what == "EraseLines")
            s.EraseLines(Int(2), Int(3));
        else if (what == "ScrollRegion")
            s.ScrollRegion(Int(2), Int(3), Int(4), Str(5) == "down", Str(6) == "smooth");
        else if (what == "NewLine")
            s.NewLine(Str(2) == "cr");
        else if (what == "Index")
            s.Index();
        else if (what == "ReverseIndex")
            s.ReverseIndex();
        else if (what == "SetCursor") {
            Pair(2, a, b);
            s.SetCursor(a, b);
        } else if (what == "SetMargins")
            s.SetMargins(Int(2), Int(3));
        else if (what == "SetAttributes")
            s.SetAttributes(Word32(2));
        else if (what == "SetProtectBit")
            s.SetProtectBit(Word32(2));
        else if (what == "SetGraphics")
            s.SetGraphics(On(2));
        else if (what == "SetInsertMode")
            s.SetInsertMode(On(2));
        else if (what == "SetAutowrap")
            s.SetAutowrap(On(2));
        else if (what == "SetStatusWriting")
            s.SetStatusWriting(On(2));
        else if (what == "SetWrapPending")
            s.SetWrapPending(On(2));
        else if (what == "SetLineAttributes")
            s.SetLineAttributes(Int(2), Word32(3));
        else if (what == "AllocateBuffers")
            m_result = s.AllocateBuffers(Int(2), Int(3), Int(4));
        else if (what == "Resize")
            m_result = s.Resize(Int(2), Int(3));
        else if (what == "WriteChar")
            s.WriteChar(Word32(2), Int(3));
        else if (what == "SetEnabled")
            s.SetEnabled(On(2));
        else if (what == "SetCellLimit")
            s.SetCellLimit(size_t(Word32(2)));
        else if (what == "ClearAll")
            s.ClearAll();
        else if (what == "FillScreen")
            s.FillScreen(Bytes(2)[0]);
        else if (what == "FillStatusLine")
            s.FillStatusLine(Word64(2));
        else if (what == "WriteStatusText")
            s.WriteStatusText(Str(2).data(), Length(2));
        else if (what == "SetTabStop")
            s.SetTabStop(Int(2));
        else if (what == "ClearTabStop")
            s.ClearTabStop(Int(2));
        else if (what == "ClearAllTabStops")
            s.ClearAllTabStops();
        else if (what == "OpenPrintJob")
            m_result = m_printer.OpenPrintJob();
        else if (what == "ClosePrintJob")
            m_printer.ClosePrintJob();
        else if (what == "PrintBytes")
            m_printer.PrintBytes(Bytes(2), Length(2));
        else if (what == "PrintLine")
            m_result = m_printer.PrintLine();
        else if (what == "PrintScreen")
            m_result = m_printer.PrintScreen();
        else if (what == "SetRawMode")
            m_printer.SetRawMode(On(2));
        else if (what == "SetAutoPrint")
            m_result = m_printer.SetAutoPrint(On(2)) ? 1 : 0;
        else if (what == "SetControllerMode")
            m_result = m_printer.SetControllerMode(On(2)) ? 1 : 0;
        else
            return "unknown primitive '" + what + "'";
        return {};
    }

    // Compares and explains; empty when equal.
    static std::string Check(const std::string& what, const std::string& seen, const std::string& wanted)
    {
        if (seen == wanted)
            return {};
        return what + ": saw \"" + seen + "\", wanted \"" + wanted + "\"";
    }

    std::string Expect()
    {
        const std::string& what = Str(1);
        const CVtScreen& s = m_screen;
        int a = 0;
        int b = 0;
        if (what == "row")
            return Check("row " + Str(2), RowText(Int(2)), Str(3));
        if (what == "utf8row")
            return Check("utf8row " + Str(2), Trimmed(s.RowUtf8(Int(2))), Str(3));
        if (what == "scrollback") {
            // 1 is the newest history line, just above the screen.
            const int back = Int(2);
            if (back < 1 || back > s.ScrollbackRows())
                return "scrollback " + Str(2) + ": no such history line";
            return Check("scrollback " + Str(2), LineText(s.LineAt(s.ScrollbackRows() - back), s.Columns()),
                         Str(3));
        }
        if (what == "status")
            return Check("status", LineText(s.StatusLine(), s.Columns()), Str(2));
        if (what == "cursor") {
            Pair(2, a, b);
            return Check("cursor", std::to_string(s.CursorRow()) + "," + std::to_string(s.CursorColumn()),
                         std::to_string(a) + "," + std::to_string(b));
        }
        if (what == "cell" || what == "attr") {
            Pair(2, a, b);
            VtCell cell = s.Cell(a, b);
            if (what == "attr")
                cell &= ~(kCellCharBits | kLineAttrMask);
            return Check(what + " " + Str(2), Hex(cell), Hex(Word64(3)));
        }
        if (what == "statuscell")
            return Check("statuscell " + Str(2), Hex(s.StatusLine()[Int(2) & 0x7F]), Hex(Word32(3)));
        if (what == "lineattr")
            return Check("lineattr " + Str(2), Hex(s.LineAttributes(Int(2))), Hex(Word32(3)));
        if (what == "celltext")
            return Check("celltext " + Str(2), std::string(1, CVtScreen::CellText(Word64(2))), Str(3));
        if (what == "wrappending")
            return Check("wrappending", s.WrapPending() ? "1" : "0", Str(2));
        if (what == "result")
            return Check("result", std::to_string(m_result), Str(2));
        if (what == "size")
            return Check("size",
                         std::to_string(s.ScrollbackRows()) + " " + std::to_string(s.LastRow()) + " " +
                             std::to_string(s.Columns()),
                         Str(2) + " " + Str(3) + " " + Str(4));
        if (what == "margins")
            return Check("margins", std::to_string(s.TopMargin()) + " " + std::to_string(s.BottomMargin()),
                         Str(2) + " " + Str(3));
        if (what == "nexttab")
            return Check("nexttab " + Str(2), std::to_string(s.NextTabStop(Int(2))), Str(3));
        if (what == "caret")
            return Check("caret", m_host.Window().Caret(), Str(2));
        if (what == "messages")
            return List("messages", m_host.Messages(), 2);
        if (what == "window")
            return List("window", m_host.Window().Events(), 2);
        if (what == "printlog")
            return List("printlog", m_host.Sink().Events(), 2);
        if (what == "print")
            return List("print", m_host.Sink().Texts(), 2);
        if (what == "raw")
            return Check("raw", m_host.Sink().RawBytes(), Str(2));
        if (what == "leftrows") {
            std::vector<int>* rows = m_host.LeftRows();
            if (rows == nullptr)
                return "leftrows: this host does not track them";
            std::vector<std::string> seen;
            for (int row : *rows)
                seen.push_back(std::to_string(row));
            return List("leftrows", seen, 2);
        }
        if (what == "gettext") {
            // The whole GetText output must be this long, and the text must start with it.
            std::string text(size_t(s.GetText(nullptr, 0)), '\0');
            text.resize(size_t(s.GetText(text.data(), static_cast<int>(text.size()))));
            return Check("gettext", text.substr(0, Str(2).size()), Str(2));
        }
        if (what == "printjob")
            return Check("printjob", m_printer.PrintJobOpen() ? "open" : "closed", Str(2));
        if (what == "autoprint")
            return Check("autoprint", m_printer.AutoPrint() ? "on" : "off", Str(2));
        return "unknown expectation '" + what + "'";
    }

    // The list must equal the remaining words of the line, in order.
    std::string List(const std::string& what, const std::vector<std::string>& seen, size_t first) const
    {
        std::vector<std::string> wanted;
        for (size_t i = first; i < Count(); ++i)
            wanted.push_back(Str(i));
        if (seen == wanted)
            return {};
        std::string text = what + ": saw [";
        for (const std::string& s : seen)
            text += "\"" + s + "\" ";
        text += "], wanted [";
        for (const std::string& s : wanted)
            text += "\"" + s + "\" ";
        return text + "]";
    }

    std::string WindowSetup()
    {
        if (Str(1) == "visible")
            m_host.Window().SetVisibleRows(Int(2));
        else if (Str(1) == "clear")
            m_host.Window().Clear();
        else
            return "unknown window set-up '" + Str(1) + "'";
        return {};
    }

    std::string SinkSetup()
    {
        CRecordingPrintSink& sink = m_host.Sink();
        if (Str(1) == "present")
            sink.SetPrinterPresent(On(2));
        else if (Str(1) == "page")
            sink.SetPage(Int(2), Int(3));
        else if (Str(1) == "leading")
            sink.SetExternalLeading(Int(2));
        else if (Str(1) == "height")
            sink.SetReportedHeight(Int(2));
        else if (Str(1) == "failstart")
            sink.SetFailStartDocument(On(2));
        else if (Str(1) == "clear")
            sink.Clear();
        else
            return "unknown sink set-up '" + Str(1) + "'";
        return {};
    }

    IVtScriptHost& m_host;
    CVtScreen& m_screen;
    CVtPrinter& m_printer;
    const std::vector<Word>* m_words = nullptr;
    int m_result = 0;
};

}  // namespace

CModelScriptHost::CModelScriptHost() : m_printer(m_screen, &m_sink)
{
    m_screen.SetOwner(this);
    m_screen.SetWindow(&m_window);
    m_screen.SetEnabled(true);
    m_screen.AllocateBuffers(kDefaultScrollbackRows, kDefaultRows - 1, kDefaultColumns);
    m_window.Clear();
}

void CModelScriptHost::LineLeaving(int row)
{
    m_leftRows.push_back(row);
    m_printer.LineLeaving(row);
}

void CModelScriptHost::ShowMessage(const char* text, const char* caption, MessageKind)
{
    m_messages.push_back(std::string(caption) + ": " + text);
}

std::vector<std::string> RunVtScript(const std::string& text, const std::string& name, IVtScriptHost& host)
{
    std::vector<std::string> failures;
    CScript script(host);
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::vector<Word> words;
        std::string failure;
        if (Tokenize(line, words, failure) && !words.empty())
            failure = script.Run(words);
        if (!failure.empty())
            failures.push_back(name + ":" + std::to_string(number) + ": " + failure);
    }
    return failures;
}
