#pragma once

#include <cstdint>

#include "vt/PrintSink.h"

class CVtScreen;

constexpr int kRawBufferSize = 200;
constexpr int kMaxPrintColumns = 132;

// The terminal's printer: print line, print screen, auto print, printer-controller bytes,
// text paging and raw pass-through, all on an IPrintSink. Every failure returns 0/false and
// leaves the mode it would have switched on off.
class CVtPrinter final {
public:
    CVtPrinter(const CVtScreen& screen, IPrintSink* sink);
    ~CVtPrinter();
    CVtPrinter(const CVtPrinter&) = delete;
    CVtPrinter& operator=(const CVtPrinter&) = delete;

    void SetSink(IPrintSink* sink);  // closes an open job first; nullptr: no printer

    // 1 when a job is open afterwards (an open job counts).
    int OpenPrintJob();
    // One byte of the open job: raw mode buffers 200 bytes, text mode pages; no job: dropped.
    void PrintByte(uint8_t byte);
    void PrintBytes(const uint8_t* bytes, int count);
    // Flush and end the job; nothing when none is open.
    void ClosePrintJob();
    bool PrintJobOpen() const { return m_jobOpen; }

    // The cursor line as text plus CR LF; the job stays open only for auto print or controller mode.
    int PrintLine();
    int PrintRow(int row);
    // The screen as a separate document, page by page; only when no job is open.
    int PrintScreen();

    // Auto print on: open the job, on only if that worked. Off: print the cursor line, close.
    // Returns the mode afterwards.
    bool SetAutoPrint(bool on);
    bool AutoPrint() const { return m_autoPrint; }
    // The line-leaving hook: prints `row` when auto print is on.
    void LineLeaving(int row);

    // Printer-controller mode: on opens the job (mode := success), off closes it.
    bool SetControllerMode(bool on);
    bool ControllerMode() const { return m_controller; }
    // How many bytes of the controller-mode terminator the parser has matched; reset by
    // opening and closing a job.
    int MatchIndex() const { return m_matchIndex; }
    void SetMatchIndex(int index) { m_matchIndex = index; }

    // A job the host started (printer-controller mode) ends its output after this many bytes,
    // with one line saying so; the rest of it is dropped. 0: no limit.
    static constexpr uint64_t kDefaultJobLimit = 10 * 1024 * 1024;
    void SetJobLimit(uint64_t bytes) { m_jobLimit = bytes; }
    uint64_t JobLimit() const { return m_jobLimit; }

    bool RawMode() const { return m_raw; }
    void SetRawMode(bool on) { m_raw = on; }

    // Page geometry of the fitted font (0 before a job was opened).
    int LinesPerPage() const { return m_linesPerPage; }
    int CharsPerLine() const { return m_charsPerLine; }
    int LineHeight() const { return m_lineHeight; }
    int CharWidth() const { return m_charWidth; }
    int LineNumber() const { return m_lineNumber; }

private:
    bool FitPrinterFont();
    void OutputPending();
    void AdvanceLine();
    void NewPage();
    void FlushRaw();
    void CutJob();

    const CVtScreen& m_screen;
    IPrintSink* m_sink;

    bool m_jobOpen = false;
    bool m_raw = false;
    bool m_jobRaw = false;  // the mode the open job started in
    bool m_autoPrint = false;
    bool m_controller = false;
    int m_matchIndex = 0;
    uint64_t m_jobLimit = kDefaultJobLimit;
    uint64_t m_jobBytes = 0;  // of the open job while the host drives it
    bool m_jobCut = false;

    int m_fontHeight = 0;
    int m_fontWidth = 0;
    int m_lineHeight = 0;
    int m_charWidth = 0;
    int m_linesPerPage = 0;
    int m_charsPerLine = 0;

    char m_text[kMaxPrintColumns];
    int m_textLength = 0;
    int m_lineNumber = 0;

    uint8_t m_rawBuffer[kRawBufferSize];
    int m_rawCount = 0;
};
