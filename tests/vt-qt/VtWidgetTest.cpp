#include "vt/qt/VtWidget.h"

#include <string>

#include <gtest/gtest.h>

#include <QImage>
#include <QScrollBar>
#include <QTest>

#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"
#include "vt/VtScreen.h"

namespace {

// Counts the view's paints (its frames) and keeps what each painted.
class CFrameRecorder final : public QObject {
public:
    int frames = 0;
    QRegion painted;  // since the last Reset

    void Reset() { painted = QRegion(); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++frames;
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

class VtWidgetTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("vt_qt_tests"); }
    void SetUp() override
    {
        m_screen.SetEnabled(true);
        ASSERT_EQ(m_screen.AllocateBuffers(100, 23, 80), 1);
        m_widget.SetScreen(&m_screen);
        m_widget.resize(m_widget.SizeForCells(80, 24));
        m_widget.viewport()->installEventFilter(&m_frames);
        m_widget.show();
        m_widget.Relayout();
        m_widget.SetScrollPosition(m_screen.ScrollbackRows());
    }

    // Lets the first paint of the shown view and any frame the set-up asked for go by, so
    // that what is painted next comes from the test alone.
    void Settle()
    {
        ASSERT_TRUE(RunUntil([&] { return m_frames.frames > 0; })) << "the view was never painted";
        m_widget.PaintNow();
        m_frames.Reset();
    }
    // Waits for the frame after `frames`.
    bool NextFrame(int frames)
    {
        return RunUntil([&] { return m_frames.frames > frames; });
    }

    void Write(int row, int column, const std::string& text, uint32_t attributes = 0)
    {
        m_screen.SetAttributes(attributes);
        m_screen.SetCursor(row, column);
        m_screen.WriteRun(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
        m_screen.SetAttributes(0);
    }

    QImage Render()
    {
        m_widget.PaintNow();
        return m_widget.viewport()->grab().toImage();
    }

    // The pixels of one cell of the view.
    QImage CellImage(const QImage& image, int viewRow, int column) const
    {
        const int w = m_widget.CellWidth();
        const int h = m_widget.CellHeight();
        return image.copy(column * w, viewRow * h, w, h);
    }

    CFrameRecorder m_frames;
    CVtScreen m_screen;
    CVtWidget m_widget;
};

TEST_F(VtWidgetTest, FullScreenWindowScrollsOverHistoryWithScreenAtTheEnd)
{
    EXPECT_EQ(m_widget.VisibleRows(), 24);
    EXPECT_EQ(m_widget.verticalScrollBar()->minimum(), 0);
    EXPECT_EQ(m_widget.verticalScrollBar()->maximum(), 100);
    EXPECT_EQ(m_widget.ScrollPosition(), 100);
    EXPECT_EQ(m_widget.horizontalScrollBar()->maximum(), 0);
}

TEST_F(VtWidgetTest, LayoutFollowsTheWindowSize)
{
    struct Case {
        int columns, rows;
        int horizontalMax, verticalMax;
    };
    const Case cases[] = {
        {80, 24, 0, 100},
        {60, 24, 20, 100},
        {80, 12, 0, 112},
        {40, 30, 40, 100},
    };
    for (const Case& c : cases) {
        m_widget.resize(m_widget.SizeForCells(c.columns, c.rows) +
                        QSize(0, c.columns < 80 ? m_widget.horizontalScrollBar()->sizeHint().height() : 0));
        QTest::qWait(0);
        EXPECT_EQ(m_widget.VisibleColumns(), c.columns) << c.columns << "x" << c.rows;
        EXPECT_EQ(m_widget.VisibleRows(), c.rows) << c.columns << "x" << c.rows;
        EXPECT_EQ(m_widget.horizontalScrollBar()->maximum(), c.horizontalMax) << c.columns << "x" << c.rows;
        EXPECT_EQ(m_widget.verticalScrollBar()->maximum(), c.verticalMax) << c.columns << "x" << c.rows;
    }
}

TEST_F(VtWidgetTest, ScrollingRightShowsTheRemainingColumns)
{
    Write(0, 79, "X");
    m_widget.resize(m_widget.SizeForCells(60, 24) +
                    QSize(0, m_widget.horizontalScrollBar()->sizeHint().height()));
    QTest::qWait(0);
    const QImage blank = CellImage(Render(), 0, 59);  // column 59: a blank cell
    m_widget.horizontalScrollBar()->setValue(m_widget.horizontalScrollBar()->maximum());
    EXPECT_EQ(m_widget.ColumnOffset(), 20);
    const QImage shifted = Render();
    EXPECT_NE(CellImage(shifted, 0, 59), blank) << "column 79 is drawn in the last visible cell";
    EXPECT_EQ(CellImage(shifted, 0, 58), blank);
}

TEST_F(VtWidgetTest, RequestsAreGatheredIntoOneRepaint)
{
    Settle();
    const int before = m_frames.frames;
    for (int i = 0; i < 500; ++i)
        Write(i % 24, 0, "line of text");
    EXPECT_EQ(m_frames.frames, before) << "nothing is painted while data arrives";
    ASSERT_TRUE(NextFrame(before));
    RunFor(std::chrono::milliseconds(50));  // three frame times: no second frame follows
    EXPECT_EQ(m_frames.frames, before + 1);
}

TEST_F(VtWidgetTest, EachFrameRepaintsOnlyTheRowsChangedSinceTheLast)
{
    Settle();
    const int h = m_widget.CellHeight();
    const auto rowCenter = [&](int viewRow) {
        return QPoint(m_widget.viewport()->width() / 2, viewRow * h + h / 2);
    };
    // The screen's rows start below the history when the view is at the end.
    const int top = m_screen.ScrollbackRows() - m_widget.ScrollPosition();

    // The caret's old row is repainted as well, so "untouched" is a row the caret never was on
    // in that frame.
    const struct {
        int row;
        int untouched;
    } frames[] = {{3, 12}, {12, 20}, {20, 3}};
    for (const auto& frame : frames) {
        m_frames.Reset();
        const int before = m_frames.frames;
        Write(frame.row, 0, "changed");
        ASSERT_TRUE(NextFrame(before)) << "row " << frame.row;
        EXPECT_TRUE(m_frames.painted.contains(rowCenter(top + frame.row))) << "row " << frame.row;
        EXPECT_FALSE(m_frames.painted.contains(rowCenter(top + frame.untouched)))
            << "row " << frame.untouched << " was repainted after writing row " << frame.row;
    }
}

TEST_F(VtWidgetTest, NationalSetChangesTheDrawnCharacter)
{
    Write(0, 0, "[");
    Write(0, 2, "\xC4");
    CVtLook look = m_widget.Look();
    look.nationalSet = 6;  // German
    m_widget.SetLook(look);
    const QImage german = Render();
    EXPECT_EQ(CellImage(german, 0, 0), CellImage(german, 0, 2)) << "[ is drawn as A umlaut";
    look.nationalSet = 0;
    m_widget.SetLook(look);
    const QImage plain = Render();
    EXPECT_NE(CellImage(plain, 0, 0), CellImage(plain, 0, 2));
}

TEST_F(VtWidgetTest, ColoursFollowReverseAndReverseScreen)
{
    struct Case {
        bool cellReverse, screenReverse;
        QRgb background;
    };
    const Case cases[] = {
        {false, false, qRgb(255, 255, 255)},
        {true, false, qRgb(0, 0, 0)},
        {false, true, qRgb(0, 0, 0)},
        {true, true, qRgb(255, 255, 255)},
    };
    for (const Case& c : cases) {
        m_screen.EraseLines(0, 0);
        Write(0, 0, " ", c.cellReverse ? kAttrReverse : 0);
        CVtLook look = m_widget.Look();
        look.reverseScreen = c.screenReverse;
        m_widget.SetLook(look);
        const QImage image = Render();
        EXPECT_EQ(image.pixel(1, 1), c.background) << c.cellReverse << c.screenReverse;
    }
}

TEST_F(VtWidgetTest, ColourNumbersAndBold)
{
    struct Case {
        uint32_t attributes;
        QRgb foreground, background;
    };
    const Case cases[] = {
        {(5u << kFgShift) | (3u << kBgShift), qRgb(255, 0, 0), qRgb(0, 255, 0)},
        {kAttrBold, qRgb(0, 128, 0), qRgb(255, 255, 255)},
        {kAttrBold | kAttrReverse, qRgb(255, 255, 255), qRgb(0, 128, 0)},
    };
    for (const Case& c : cases) {
        m_screen.EraseLines(0, 0);
        Write(0, 0, "\xDB", c.attributes);  // a block fills most of the cell
        Write(0, 1, " ", c.attributes);
        const QImage image = Render();
        const int w = m_widget.CellWidth();
        const int h = m_widget.CellHeight();
        EXPECT_EQ(image.pixel(w + w / 2, h / 2), c.background) << std::hex << c.attributes;
        bool seenForeground = false;
        for (int y = 0; y < h && !seenForeground; ++y)
            for (int x = 0; x < w && !seenForeground; ++x)
                seenForeground = image.pixel(x, y) == c.foreground;
        EXPECT_TRUE(seenForeground) << std::hex << c.attributes;
    }
}

TEST_F(VtWidgetTest, LineDrawingJoinsAcrossCells)
{
    Write(1, 0, "lqqk", kAttrGraphics);
    Write(2, 0, "x  x", kAttrGraphics);
    Write(3, 0, "mqqj", kAttrGraphics);
    const QImage image = Render();
    const int w = m_widget.CellWidth();
    const int h = m_widget.CellHeight();
    // The horizontal line through row 1 is unbroken from the corner's centre to the next
    // corner's centre; so is the vertical line down column 0.
    int lineY = -1;
    for (int y = h; y < 2 * h && lineY < 0; ++y)
        if (image.pixel(w + 1, y) == qRgb(0, 0, 0))
            lineY = y;
    ASSERT_GE(lineY, 0);
    for (int x = w / 2 + 1; x < 3 * w + w / 2; ++x)
        ASSERT_EQ(image.pixel(x, lineY), qRgb(0, 0, 0)) << "gap at x " << x;
    int lineX = -1;
    for (int x = 0; x < w && lineX < 0; ++x)
        if (image.pixel(x, 2 * h + 1) == qRgb(0, 0, 0))
            lineX = x;
    ASSERT_GE(lineX, 0);
    for (int y = lineY + 1; y < 3 * h + h / 2; ++y)
        ASSERT_EQ(image.pixel(lineX, y), qRgb(0, 0, 0)) << "gap at y " << y;
}

TEST_F(VtWidgetTest, DoubleWidthLineDrawsEachCharacterOverTwoCells)
{
    Write(0, 0, "AB");
    Write(1, 0, "AB");
    m_screen.SetLineAttributes(1, kLineDoubleWidth);
    const QImage image = Render();
    const int w = m_widget.CellWidth();
    const int h = m_widget.CellHeight();
    const auto inkColumns = [&](int row, int x0, int x1) {
        int ink = 0;
        for (int x = x0; x < x1; ++x)
            for (int y = row * h; y < (row + 1) * h; ++y)
                if (qGray(image.pixel(x, y)) < 128) {
                    ++ink;
                    break;
                }
        return ink;
    };
    EXPECT_GT(inkColumns(1, 0, 2 * w), inkColumns(0, 0, w) * 3 / 2) << "the A is stretched";
    EXPECT_GT(inkColumns(1, 2 * w, 4 * w), 0) << "the B sits in cells 2-3";
    EXPECT_EQ(inkColumns(1, 4 * w, 6 * w), 0);
}

TEST_F(VtWidgetTest, MouseDragSelectsInReadingOrder)
{
    const int w = m_widget.CellWidth();
    const int h = m_widget.CellHeight();
    QWidget* view = m_widget.viewport();
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(3 * w, h / 2));
    QTest::mouseMove(view, QPoint(5 * w, h + h / 2));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(5 * w, h + h / 2));
    EXPECT_EQ(m_widget.SelectionStart(), 100 * 80 + 3);
    EXPECT_EQ(m_widget.SelectionLength(), 80 + 2);
    // Dragging backwards selects the same way.
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(5 * w, h + h / 2));
    QTest::mouseMove(view, QPoint(3 * w, h / 2));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(3 * w, h / 2));
    EXPECT_EQ(m_widget.SelectionStart(), 100 * 80 + 3);
    EXPECT_EQ(m_widget.SelectionLength(), 80 + 2);
}

TEST_F(VtWidgetTest, DraggingAboveTheViewScrollsBack)
{
    const int w = m_widget.CellWidth();
    const int h = m_widget.CellHeight();
    QWidget* view = m_widget.viewport();
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(2 * w, 2 * h));
    for (int i = 0; i < 3; ++i)
        QTest::mouseMove(view, QPoint(2 * w, 0));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(2 * w, 0));
    EXPECT_LE(m_widget.ScrollPosition(), 97);
    EXPECT_EQ(m_widget.SelectionStart() + m_widget.SelectionLength(), 102 * 80 + 2);
    EXPECT_LE(m_widget.SelectionStart(), 97 * 80 + 2);
}

}  // namespace
