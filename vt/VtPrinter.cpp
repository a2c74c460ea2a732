#include "vt/VtPrinter.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "vt/VtScreen.h"

namespace {

// Character cells per page line that the fitted font must give, before the 8 of margin.
constexpr int kFitLow80 = 96;
constexpr int kFitHigh80 = 135;
constexpr int kFitLow132 = 152;
constexpr int kFitHigh132 = 210;
constexpr int kFitAttempts = 100;
constexpr int kLinesPerPageHeight = 66;

}  // namespace

CVtPrinter::CVtPrinter(const CVtScreen& screen, IPrintSink* sink) : m_screen(screen), m_sink(sink)
{}

CVtPrinter::~CVtPrinter()
{
    ClosePrintJob();
}

void CVtPrinter::SetSink(IPrintSink* sink)
{
    ClosePrintJob();
    m_autoPrint = false;
    m_controller = false;
    m_sink = sink;
}

bool CVtPrinter::FitPrinterFont()
{
    const int pageWidth = m_sink->PageWidth();
    const int pageHeight = m_sink->PageHeight();
    const int height = pageHeight / kLinesPerPageHeight;
    if (pageWidth <= 0 || height <= 0)
        return false;
    const bool wide = m_screen.Columns() > kDefaultColumns;
    const int low = wide ? kFitLow132 : kFitLow80;
    const int high = wide ? kFitHigh132 : kFitHigh80;

    int width = 0;
    CPrintFontMetrics metrics = m_sink->SelectFont(height, 0);
    for (int attempt = 0; attempt < kFitAttempts && metrics.averageWidth > 0; ++attempt) {
        const int cells = pageWidth / metrics.averageWidth + 8;
        if (cells >= low && cells <= high)
            break;
        // Too few characters on a line: a narrower font; too many: a wider one.
        width = metrics.averageWidth + (cells < low ? -1 : 1);
        if (width < 1)
            break;
        metrics = m_sink->SelectFont(height, width);
    }
    if (metrics.height <= 0 || metrics.averageWidth <= 0)
        return false;

    m_fontHeight = height;
    m_fontWidth = width;
    m_charWidth = metrics.averageWidth;
    m_lineHeight = metrics.height + std::max(metrics.externalLeading, 0);
    // A page always holds at least one line, so paging never stalls.
    m_linesPerPage = std::max(pageHeight / m_lineHeight - 4, 1);
    m_charsPerLine = std::clamp(pageWidth / m_charWidth, 1, kMaxPrintColumns);
    return true;
}

int CVtPrinter::OpenPrintJob()
{
    if (m_jobOpen)
        return 1;
    m_matchIndex = 0;
    if (m_sink == nullptr || !m_sink->Open())
        return 0;
    if (!FitPrinterFont() || !m_sink->StartDocument(kPrintDocumentName)) {
        m_sink->Release();
        return 0;
    }
    m_jobRaw = m_raw;
    if (!m_jobRaw && !m_sink->StartPage()) {
        m_sink->EndDocument();
        m_sink->Release();
        return 0;
    }
    m_textLength = 0;
    m_lineNumber = 0;
    m_rawCount = 0;
    m_jobBytes = 0;
    m_jobCut = false;
    m_jobOpen = true;
    return 1;
}

void CVtPrinter::FlushRaw()
{
    if (m_rawCount > 0)
        m_sink->PassThrough(m_rawBuffer, m_rawCount);
    m_rawCount = 0;
}

void CVtPrinter::OutputPending()
{
    if (m_textLength > 0)
        m_sink->OutputText(0, (m_lineNumber + 2) * m_lineHeight, m_text, m_textLength, true);
    m_textLength = 0;
}

void CVtPrinter::NewPage()
{
    m_sink->EndPage();
    m_sink->StartPage();
    m_sink->SelectFont(m_fontHeight, m_fontWidth);
    m_lineNumber = 0;
}

void CVtPrinter::AdvanceLine()
{
    if (++m_lineNumber >= m_linesPerPage)
        NewPage();
}

void CVtPrinter::CutJob()
{
    // A host may send without end; its job must not grow the output without end.
    char note[96];
    const int length =
        std::snprintf(note, sizeof note, "\r\n*** Print job cut here: it passed %llu bytes ***\r\n",
                      static_cast<unsigned long long>(m_jobLimit));
    for (int i = 0; i < length; ++i)
        PrintByte(static_cast<uint8_t>(note[i]));
    m_jobCut = true;
}

void CVtPrinter::PrintByte(uint8_t byte)
{
    if (!m_jobOpen || m_jobCut)
        return;
    if (m_controller && m_jobLimit != 0 && ++m_jobBytes > m_jobLimit) {
        m_jobBytes = 0;  // the note itself passes
        m_controller = false;
        CutJob();
        m_controller = true;
        return;
    }
    if (m_jobRaw) {
        m_rawBuffer[m_rawCount++] = byte;
        if (m_rawCount == kRawBufferSize)
            FlushRaw();
        return;
    }
    switch (byte) {
    case '\n': AdvanceLine(); return;
    case '\f':
        OutputPending();
        NewPage();
        return;
    case '\r': OutputPending(); return;
    case '\t': break;
    default:
        if (byte < 0x20 || byte == 0x7F)
            return;
        break;
    }
    if (m_textLength >= m_charsPerLine) {
        OutputPending();
        AdvanceLine();
    }
    m_text[m_textLength++] = static_cast<char>(byte);
}

void CVtPrinter::PrintBytes(const uint8_t* bytes, int count)
{
    for (int i = 0; bytes != nullptr && i < count; ++i)
        PrintByte(bytes[i]);
}

void CVtPrinter::ClosePrintJob()
{
    if (!m_jobOpen)
        return;
    m_matchIndex = 0;
    if (m_jobRaw) {
        FlushRaw();
    } else {
        if (m_textLength > 0)
            m_sink->OutputText(0, (m_lineNumber + 2) * m_lineHeight, m_text, m_textLength, false);
        m_textLength = 0;
        m_sink->EndPage();
    }
    m_sink->EndDocument();
    m_sink->Release();
    m_jobOpen = false;
}

int CVtPrinter::PrintRow(int row)
{
    if (row < 0 || row >= m_screen.Rows() || !m_screen.HasBuffers())
        return 0;
    if (!OpenPrintJob())
        return 0;
    char text[kMaxColumns];
    const int n = m_screen.RowText(row, text);
    for (int i = 0; i < n; ++i)
        PrintByte(static_cast<uint8_t>(text[i]));
    PrintByte('\r');
    PrintByte('\n');
    if (!m_autoPrint && !m_controller)
        ClosePrintJob();
    return 1;
}

int CVtPrinter::PrintLine()
{
    return PrintRow(m_screen.CursorRow());
}

int CVtPrinter::PrintScreen()
{
    if (m_jobOpen || m_sink == nullptr || !m_screen.HasBuffers())
        return 0;
    const int rows = m_screen.Rows();
    const int columns = m_screen.Columns();
    std::vector<char> text(size_t(rows) * size_t(columns));
    for (int r = 0; r < rows; ++r)
        m_screen.RowText(r, text.data() + size_t(r) * size_t(columns));

    if (!m_sink->Open())
        return 0;
    if (!FitPrinterFont() || !m_sink->StartDocument(kPrintDocumentName)) {
        m_sink->Release();
        return 0;
    }
    for (int r = 0; r < rows; ++r) {
        const int onPage = r % m_linesPerPage;
        if (onPage == 0) {
            m_sink->StartPage();
            m_sink->SelectFont(m_fontHeight, m_fontWidth);
        }
        m_sink->OutputText(0, (onPage + 3) * m_lineHeight, text.data() + size_t(r) * size_t(columns), columns,
                           true);
        if (onPage == m_linesPerPage - 1 || r == rows - 1)
            m_sink->EndPage();
    }
    m_sink->EndDocument();
    m_sink->Release();
    return 1;
}

bool CVtPrinter::SetAutoPrint(bool on)
{
    if (on) {
        if (!m_autoPrint)
            m_autoPrint = OpenPrintJob() == 1;
        return m_autoPrint;
    }
    if (m_autoPrint) {
        PrintLine();
        m_autoPrint = false;
        if (!m_controller)
            ClosePrintJob();
    }
    return false;
}

void CVtPrinter::LineLeaving(int row)
{
    if (m_autoPrint)
        PrintRow(row);
}

bool CVtPrinter::SetControllerMode(bool on)
{
    if (on) {
        if (!m_controller)
            m_controller = OpenPrintJob() == 1;
        return m_controller;
    }
    if (m_controller) {
        m_controller = false;
        if (!m_autoPrint)
            ClosePrintJob();
    }
    return false;
}
