#include "vt/VtScreen.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/vt/RecordingVtWindow.h"

namespace {

class VtScreenTest : public testing::Test {
protected:
    VtScreenTest()
    {
        m_screen.SetWindow(&m_window);
        m_screen.SetEnabled(true);
        m_screen.AllocateBuffers(kDefaultScrollbackRows, kDefaultRows - 1, kDefaultColumns);
        m_window.Clear();
    }
    void Write(const std::string& text)
    {
        m_screen.WriteRun(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
    }

    CVtScreen m_screen;
    CRecordingVtWindow m_window;
};

// Scrolling hands line buffers around; the cells themselves never move.
TEST_F(VtScreenTest, ScrollingExchangesLinesWithoutCopying)
{
    struct Case {
        int top, bottom, n;
        bool down;
    };
    const Case cases[] = {
        {0, 23, 1, false}, {0, 20, 2, false}, {5, 23, 3, false}, {2, 9, 1, true}, {0, 23, 4, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.top << ".." << c.bottom << " by " << c.n << (c.down ? " down" : " up"));
        std::vector<const VtCell*> before;
        for (int r = 0; r < m_screen.Rows(); ++r)
            before.push_back(m_screen.Line(r));
        m_screen.ScrollRegion(c.top, c.bottom, c.n, c.down, false);
        for (int r = c.top; r <= c.bottom; ++r) {
            const int from = c.down ? r - c.n : r + c.n;
            if (from >= c.top && from <= c.bottom) {
                EXPECT_EQ(m_screen.Line(r), before[size_t(from)]) << "row " << r;
            }
        }
        for (int r = 0; r < m_screen.Rows(); ++r) {
            if (r < c.top || r > c.bottom) {
                EXPECT_EQ(m_screen.Line(r), before[size_t(r)]) << "row " << r << " outside the region";
            }
        }
    }
}

TEST_F(VtScreenTest, ScrollRepaintsByMode)
{
    struct Case {
        int top, bottom, n;
        bool smooth;
        std::vector<std::string> events;
    };
    const std::vector<Case> cases = {
        {0, 23, 1, false, {"inval all"}},                 // jump: one repaint later
        {0, 23, 1, true, {"flush", "scroll 0-23 1 up"}},  // smooth: move the pixels
        {0, 23, 12, true, {"flush", "inval 0,0-23,79"}},  // half the region or more: redraw
        {4, 9, 2, true, {"flush", "scroll 4-9 2 up"}},
    };
    for (const Case& c : cases) {
        m_window.Clear();
        m_screen.ScrollRegion(c.top, c.bottom, c.n, false, c.smooth);
        EXPECT_EQ(m_window.Events(), c.events);
    }
}

TEST_F(VtScreenTest, WriteRunInvalidatesOneRectanglePerRow)
{
    m_screen.SetCursor(2, 10);
    Write("hello");
    EXPECT_EQ(m_window.Events(), std::vector<std::string>{"inval 2,10-2,14"});
    m_window.Clear();
    m_screen.SetInsertMode(true);
    Write("ab");
    EXPECT_EQ(m_window.Events(), std::vector<std::string>{"inval 2,15-2,79"});
}

// A window shorter than the screen follows the cursor down.
TEST_F(VtScreenTest, ViewFollowsTheCursorInAShortWindow)
{
    m_window.SetVisibleRows(10);
    m_window.SetScrollPosition(kDefaultScrollbackRows);
    m_screen.SetCursor(9, 0);
    m_screen.NewLine(true);
    EXPECT_EQ(m_window.ScrollPosition(), kDefaultScrollbackRows + 1);
    m_screen.SetCursor(0, 0);
    m_screen.ReverseIndex();
    m_screen.SetCursor(1, 0);
    m_screen.ReverseIndex();
    EXPECT_EQ(m_window.ScrollPosition(), kDefaultScrollbackRows);
}

TEST_F(VtScreenTest, GetTextGivesHistoryThenScreen)
{
    m_screen.AllocateBuffers(1, 1, 80);
    Write("old");
    m_screen.ScrollRegion(0, 1, 1, false, false);
    m_screen.SetCursor(1, 0);
    Write("new");
    const int total = m_screen.GetText(nullptr, 0);
    ASSERT_EQ(total, 3 * 82);
    std::string text(size_t(total), '\0');
    ASSERT_EQ(m_screen.GetText(text.data(), total), total);
    const std::string blank(80, ' ');
    EXPECT_EQ(text, "old" + blank.substr(3) + "\r\n" + blank + "\r\n" + "new" + blank.substr(3) + "\r\n");
    char part[5];
    EXPECT_EQ(m_screen.GetText(part, 5), 5);
    EXPECT_EQ(std::string(part, 5), "old  ");
}

// Whatever the sizes and positions asked, every buffer stays in bounds (run under ASan).
TEST_F(VtScreenTest, RandomEditsStayInBounds)
{
    std::mt19937 random(20261207);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const std::string text = "The quick brown fox jumps over the lazy dog \xe1\xf1\x80";
    m_screen.SetCellLimit(200000);
    for (int step = 0; step < 20000; ++step) {
        const int a = pick(-5, 140);
        const int b = pick(-5, 140);
        switch (pick(0, 16)) {
        case 0: m_screen.SetCursor(a, b); break;
        case 1:
            m_screen.WriteRun(reinterpret_cast<const uint8_t*>(text.data()), pick(0, int(text.size())));
            break;
        case 2: m_screen.InsertBlanks(a); break;
        case 3: m_screen.DeleteChars(b); break;
        case 4: m_screen.EraseInLine(pick(-2, 30), a, b); break;
        case 5: m_screen.EraseLines(a, b); break;
        case 6:
            m_screen.ScrollRegion(pick(-2, 30), pick(-2, 30), pick(-1, 40), pick(0, 1) == 1, pick(0, 1) == 1);
            break;
        case 7: m_screen.NewLine(pick(0, 1) == 1); break;
        case 8: m_screen.ReverseIndex(); break;
        case 9: m_screen.SetMargins(pick(-2, 30), pick(-2, 30)); break;
        case 10:
            if (pick(0, 20) == 0)
                m_screen.AllocateBuffers(pick(-1, 120), pick(-1, 60), pick(0, 140));
            break;
        case 11: m_screen.SetStatusWriting(pick(0, 3) == 0); break;
        case 12: m_screen.SelectiveEraseInLine(pick(-2, 30), a, b); break;
        case 13: m_screen.SetInsertMode(pick(0, 1) == 1); break;
        case 14: m_screen.SetAutowrap(pick(0, 3) != 0); break;
        case 15: m_screen.SetLineAttributes(pick(-2, 30), uint32_t(pick(0, 7)) << 16); break;
        default: m_screen.SetGraphics(pick(0, 1) == 1); break;
        }
        ASSERT_GE(m_screen.CursorRow(), 0);
        ASSERT_LE(m_screen.CursorRow(), m_screen.LastRow());
        ASSERT_GE(m_screen.CursorColumn(), 0);
        ASSERT_LT(m_screen.CursorColumn(), m_screen.Columns());
        ASSERT_LT(m_screen.TopMargin(), m_screen.BottomMargin() + (m_screen.LastRow() == 0 ? 1 : 0));
        ASSERT_LE(m_screen.BottomMargin(), m_screen.LastRow());
    }
    char buffer[64];
    EXPECT_EQ(m_screen.GetText(buffer, 64), 64);
}

}  // namespace
