#include "vt/VtPrinter.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/RecordingPrintSink.h"
#include "vt/VtScreen.h"

namespace {

class VtPrinterTest : public testing::Test {
protected:
    VtPrinterTest() : m_printer(m_screen, &m_sink)
    {
        m_screen.SetEnabled(true);
        m_screen.AllocateBuffers(kDefaultScrollbackRows, kDefaultRows - 1, kDefaultColumns);
    }

    void Print(const std::string& text)
    {
        m_printer.PrintBytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
    }
    void Write(int row, const std::string& text)
    {
        m_screen.SetCursor(row, 0);
        m_screen.WriteRun(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
        m_screen.SetWrapPending(false);
    }
    int Count(const std::string& event) const
    {
        int n = 0;
        for (const std::string& e : m_sink.Events())
            n += e == event ? 1 : 0;
        return n;
    }
    std::string Text(int y, const std::string& text) const
    {
        return "text 0," + std::to_string(y) + " \"" + text + "\"";
    }

    CVtScreen m_screen;
    CRecordingPrintSink m_sink;
    CVtPrinter m_printer;
};

TEST_F(VtPrinterTest, RawModeHoldsBytesUntil200OrClose)
{
    m_printer.SetRawMode(true);
    ASSERT_EQ(m_printer.OpenPrintJob(), 1);
    EXPECT_EQ(m_sink.Log(), "open\nstartdoc voltvt.prn\n");  // no page in raw mode
    std::string data;
    for (int i = 0; i < 250; ++i)
        data += static_cast<char>(i);
    Print(data.substr(0, 199));
    EXPECT_EQ(Count("raw 200"), 0);
    EXPECT_TRUE(m_sink.RawBytes().empty());
    Print(data.substr(199));
    EXPECT_EQ(Count("raw 200"), 1);
    EXPECT_EQ(m_sink.RawBytes().size(), 200u);
    m_printer.ClosePrintJob();
    EXPECT_EQ(m_sink.Events().back(), "release");
    EXPECT_EQ(Count("raw 50"), 1);
    EXPECT_EQ(m_sink.RawBytes(), data);  // controls and all, untouched
    EXPECT_FALSE(m_printer.PrintJobOpen());
}

TEST_F(VtPrinterTest, TextModeLineControls)
{
    ASSERT_EQ(m_printer.OpenPrintJob(), 1);
    const int h = m_printer.LineHeight();
    ASSERT_GT(h, 0);
    // CR outputs at the current line, so a CR without LF overprints it.
    Print("abc\rxyz\r");
    EXPECT_EQ(m_sink.Events()[3], Text(2 * h, "abc"));
    EXPECT_EQ(m_sink.Events()[4], Text(2 * h, "xyz"));
    // LF moves down; controls other than TAB are dropped.
    Print("\n\x01q\x07\tr\x7f\r");
    EXPECT_EQ(m_sink.Events().back(), Text(3 * h, "q\tr"));
    EXPECT_EQ(m_printer.LineNumber(), 1);
    // FF outputs what is pending and starts a new page at line 0.
    m_sink.Clear();
    Print("pending\f");
    EXPECT_EQ(m_sink.Log(), Text(3 * h, "pending") + "\nendpage\nstartpage\n");
    EXPECT_EQ(m_sink.FontSelections(), 1);
    EXPECT_EQ(m_printer.LineNumber(), 0);
    // Close outputs the rest without tab expansion.
    m_sink.Clear();
    Print("tail");
    m_printer.ClosePrintJob();
    EXPECT_EQ(m_sink.Log(),
              "text 0," + std::to_string(2 * h) + " notabs \"tail\"\nendpage\nenddoc\nrelease\n");
}

TEST_F(VtPrinterTest, PagesAfterLinesPerPage)
{
    m_sink.SetPage(4800, 1320);  // font 20 high: 66 - 4 lines
    ASSERT_EQ(m_printer.OpenPrintJob(), 1);
    const int lines = m_printer.LinesPerPage();
    ASSERT_EQ(lines, 62);
    m_sink.Clear();
    for (int i = 0; i < lines - 1; ++i)
        Print("x\r\n");
    EXPECT_EQ(Count("endpage"), 0);
    Print("last\r\n");
    EXPECT_EQ(Count("endpage"), 1);
    EXPECT_EQ(Count("startpage"), 1);
    EXPECT_EQ(m_sink.FontSelections(), 1);  // the font is selected again on the new page
    EXPECT_EQ(m_printer.LineNumber(), 0);
    Print("top\r");
    EXPECT_EQ(m_sink.Events().back(), Text(2 * m_printer.LineHeight(), "top"));
}

TEST_F(VtPrinterTest, OverlongTextWrapsAtCharsPerLine)
{
    ASSERT_EQ(m_printer.OpenPrintJob(), 1);
    const int width = m_printer.CharsPerLine();
    const int h = m_printer.LineHeight();
    Print(std::string(size_t(width) * 3 + 5, 'w') + "\r");
    const std::vector<std::string> texts = m_sink.Texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0].size(), size_t(width));
    EXPECT_EQ(texts[3], "wwwww");
    EXPECT_EQ(m_sink.Events().back(), Text(5 * h, "wwwww"));
}

// The font is narrowed or widened until a line holds the screen width plus some margin.
TEST_F(VtPrinterTest, FitsTheFontToThePage)
{
    struct Case {
        int pageWidth, pageHeight, columns, naturalPercent, leading;
        int charWidth, charsPerLine, linesPerPage;
    };
    const Case cases[] = {
        {4800, 6600, 80, 60, 0, 54, 88, 62},    // natural 60 too wide: narrowed to 88 + 8 = 96
        {4800, 6600, 132, 60, 0, 33, 132, 62},  // 145 + 8 fits 152..210; at most 132 per line
        {4800, 6600, 80, 10, 0, 38, 126, 62},   // natural 10 too narrow: widened to 126 + 8 = 134
        {4800, 6600, 80, 40, 20, 40, 120, 51},  // already fits; leading makes lines 120 high
        {4800, 6600, 80, 1, 0, 38, 126, 62},    // from width 1 within the attempts
    };
    for (const Case& c : cases) {
        CRecordingPrintSink sink;
        sink.SetPage(c.pageWidth, c.pageHeight);
        sink.SetNaturalWidthPercent(c.naturalPercent);
        sink.SetExternalLeading(c.leading);
        m_screen.AllocateBuffers(kDefaultScrollbackRows, kDefaultRows - 1, c.columns);
        CVtPrinter printer(m_screen, &sink);
        SCOPED_TRACE(testing::Message() << c.columns << " columns, natural " << c.naturalPercent << "%");
        ASSERT_EQ(printer.OpenPrintJob(), 1);
        EXPECT_EQ(printer.CharWidth(), c.charWidth);
        EXPECT_EQ(printer.CharsPerLine(), c.charsPerLine);
        EXPECT_EQ(printer.LinesPerPage(), c.linesPerPage);
    }
}

TEST_F(VtPrinterTest, FailuresLeaveModesOffAndThePrinterReleased)
{
    struct Case {
        const char* what;
        bool present;
        int pageHeight;
        int reportedHeight;
        bool failStart;
        const char* log;
    };
    const Case cases[] = {
        {"no printer", false, 6600, 0, false, "open failed\n"},
        {"font without height", true, 6600, -1, false, "open\nrelease\n"},
        {"page too small for a font", true, 60, 0, false, "open\nrelease\n"},
        {"document refused", true, 6600, 0, true, "open\nstartdoc voltvt.prn\nrelease\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CRecordingPrintSink sink;
        sink.SetPrinterPresent(c.present);
        sink.SetPage(4800, c.pageHeight);
        sink.SetReportedHeight(c.reportedHeight);
        sink.SetFailStartDocument(c.failStart);
        CVtPrinter printer(m_screen, &sink);
        EXPECT_FALSE(printer.SetAutoPrint(true));
        EXPECT_FALSE(printer.AutoPrint());
        EXPECT_EQ(sink.Log(), c.log);
        EXPECT_FALSE(printer.SetControllerMode(true));
        EXPECT_FALSE(printer.ControllerMode());
        EXPECT_EQ(printer.PrintLine(), 0);
        EXPECT_EQ(printer.PrintScreen(), 0);
        EXPECT_FALSE(printer.PrintJobOpen());
        EXPECT_FALSE(sink.IsOpen());
        printer.PrintByte('x');  // no job: dropped
    }
    CVtPrinter none(m_screen, nullptr);
    EXPECT_EQ(none.OpenPrintJob(), 0);
    EXPECT_FALSE(none.SetAutoPrint(true));
}

TEST_F(VtPrinterTest, PrintLineSendsTheCursorRowAndCloses)
{
    m_screen.SetGraphics(true);
    Write(3, "qqx");
    m_screen.SetGraphics(false);
    m_screen.SetCursor(3, 10);
    ASSERT_EQ(m_printer.PrintLine(), 1);
    const std::string row = "--|" + std::string(77, ' ');
    EXPECT_EQ(m_sink.Log(), "open\nstartdoc voltvt.prn\nstartpage\n" + Text(2 * m_printer.LineHeight(), row) +
                                "\nendpage\nenddoc\nrelease\n");
    EXPECT_FALSE(m_printer.PrintJobOpen());
}

TEST_F(VtPrinterTest, AutoPrintPrintsEachLineLeft)
{
    ASSERT_TRUE(m_printer.SetAutoPrint(true));
    Write(0, "one");
    m_printer.LineLeaving(0);
    Write(1, "two");
    m_printer.LineLeaving(1);
    EXPECT_TRUE(m_printer.PrintJobOpen());
    EXPECT_EQ(Count("enddoc"), 0);
    m_screen.SetCursor(2, 0);
    Write(2, "three");
    EXPECT_FALSE(m_printer.SetAutoPrint(false));  // prints the cursor line, then closes
    const std::vector<std::string> texts = m_sink.Texts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].substr(0, 4), "one ");
    EXPECT_EQ(texts[2].substr(0, 6), "three ");
    EXPECT_EQ(Count("enddoc"), 1);
    EXPECT_FALSE(m_printer.PrintJobOpen());
    m_printer.LineLeaving(0);
    EXPECT_EQ(m_sink.Texts().size(), 3u);
}

TEST_F(VtPrinterTest, ControllerModeKeepsTheJobAndResetsTheMatch)
{
    m_printer.SetMatchIndex(3);
    ASSERT_TRUE(m_printer.SetControllerMode(true));
    EXPECT_EQ(m_printer.MatchIndex(), 0);
    EXPECT_EQ(m_printer.PrintLine(), 1);
    EXPECT_TRUE(m_printer.PrintJobOpen());  // the line does not end controller mode's job
    m_printer.SetMatchIndex(2);
    EXPECT_FALSE(m_printer.SetControllerMode(false));
    EXPECT_EQ(m_printer.MatchIndex(), 0);
    EXPECT_FALSE(m_printer.PrintJobOpen());
}

TEST_F(VtPrinterTest, AHostStartedJobIsCutAtItsLimitWithOneLine)
{
    for (const bool raw : {false, true}) {
        SCOPED_TRACE(raw ? "raw" : "text");
        m_sink.Clear();
        m_printer.SetRawMode(raw);
        m_printer.SetJobLimit(100);
        ASSERT_TRUE(m_printer.SetControllerMode(true));
        for (int line = 0; line < 100; ++line)
            Print(std::string(48, 'q') + "\r\n");
        EXPECT_TRUE(m_printer.PrintJobOpen()) << "the job goes on until the host ends it";
        EXPECT_FALSE(m_printer.SetControllerMode(false));
        std::string printed = m_sink.RawBytes();
        int cuts = 0;
        for (const std::string& e : m_sink.Events()) {
            if (e.starts_with("text "))
                printed += e;
            cuts += e.find("Print job cut here: it passed 100 bytes") != std::string::npos;
        }
        if (raw)
            cuts = printed.find("Print job cut here: it passed 100 bytes") != std::string::npos;
        EXPECT_EQ(1, cuts) << printed;
        EXPECT_EQ(96, std::count(printed.begin(), printed.end(), 'q')) << printed;  // two lines of 50 bytes
        EXPECT_EQ(1, Count("enddoc"));
    }
    m_printer.SetRawMode(false);
    m_printer.SetJobLimit(CVtPrinter::kDefaultJobLimit);
}

TEST_F(VtPrinterTest, PrintScreenPagesTheRows)
{
    m_sink.SetPage(4800, 660);      // font 10 high: 66 - 4 = 62 lines, so shrink by leading
    m_sink.SetExternalLeading(34);  // lines 44 high: 15 - 4 = 11 per page
    for (int r = 0; r < kDefaultRows; ++r)
        Write(r, "row " + std::to_string(r));
    ASSERT_EQ(m_printer.PrintScreen(), 1);
    EXPECT_EQ(m_printer.LinesPerPage(), 11);
    EXPECT_EQ(Count("startpage"), 3);
    EXPECT_EQ(Count("endpage"), 3);
    EXPECT_EQ(Count("enddoc"), 1);
    EXPECT_EQ(m_sink.Events().back(), "release");
    const std::vector<std::string> texts = m_sink.Texts();
    ASSERT_EQ(texts.size(), 24u);
    EXPECT_EQ(texts[23].substr(0, 7), "row 23 ");
    EXPECT_NE(std::find(m_sink.Events().begin(), m_sink.Events().end(),
                        "text 0," + std::to_string(3 * 44) + " \"row 11" + std::string(74, ' ') + "\""),
              m_sink.Events().end());
    // Not while another job is open.
    ASSERT_EQ(m_printer.OpenPrintJob(), 1);
    EXPECT_EQ(m_printer.PrintScreen(), 0);
}

}  // namespace
