// The display on its own: lines, wrapping, the limits that keep a flood in bounded memory,
// following the output, selection and copying.

#include "apps/remoteclient/RemoteDisplay.h"

#include <string>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include "tests/support/QtTestApp.h"
#include "tests/support/RunLoop.h"

namespace {

class RemoteDisplay : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("VoltTCP REXEC Sample"); }
};

QString Lines(const CRemoteDisplay& display)
{
    QString all;
    for (int i = 0; i < display.LineCount(); ++i)
        all += display.Line(i) + "|";
    return all;
}

TEST_F(RemoteDisplay, AppendsLinesAndTakesBackCharacters)
{
    struct SCase {
        const char* name;
        std::vector<std::pair<size_t, std::string>> edits;
        QString lines;
    };
    const SCase cases[] = {
        {"lines", {{0, "one\ntwo\n"}}, "one|two||"},
        {"a line in pieces", {{0, "on"}, {0, "e\nt"}, {0, "wo"}}, "one|two|"},
        {"erase on the last line", {{0, "abc"}, {2, "X"}}, "aX|"},
        {"erase stops at the line's start", {{0, "a\nbc"}, {5, "d"}}, "a|d|"},
        {"erase takes a character whole", {{0, "x\xF0\x9F\x98\x80\xC3\xA9"}, {1, ""}, {1, ""}}, "x|"},
        {"non-ASCII counts by characters", {{0, "\xC3\xA9t\xC3\xA9"}, {1, "!"}}, "\u00E9t!|"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        CRemoteDisplay display;
        for (const auto& [erase, text] : c.edits)
            display.Append(erase, text);
        EXPECT_EQ(c.lines, Lines(display));
    }
}

TEST_F(RemoteDisplay, AFloodCostsBoundedMemory)
{
    // One endless line is broken into lines of 65536 bytes, never inside a character.
    CRemoteDisplay endless;
    endless.Append(0, std::string(200000, 'x'));
    ASSERT_EQ(4, endless.LineCount());
    EXPECT_EQ(65536, endless.Line(0).size());
    EXPECT_EQ(200000 - 3 * 65536, endless.Line(3).size());
    CRemoteDisplay wideCharacters;
    std::string euros;
    for (int i = 0; i < 30000; ++i)
        euros += "\xE2\x82\xAC";  // three bytes each
    wideCharacters.Append(0, euros);
    ASSERT_EQ(2, wideCharacters.LineCount());
    EXPECT_EQ(65535 / 3, wideCharacters.Line(0).size());
    EXPECT_EQ(QString(30000, QChar(0x20AC)), wideCharacters.Line(0) + wideCharacters.Line(1));

    // Beyond the limits the oldest lines go, a quarter at a time.
    CRemoteDisplay small(nullptr, 4000, 100);
    for (int i = 0; i < 1000; ++i)
        small.Append(0, "line " + std::to_string(i % 10) + "\n");
    EXPECT_LE(small.LineCount(), 101);
    EXPECT_GE(small.LineCount(), 75);
    EXPECT_EQ("line 9", small.Line(small.LineCount() - 2)) << "the newest lines stay";
    CRemoteDisplay wide(nullptr, 4000, 100);
    for (int i = 0; i < 100; ++i)
        wide.Append(0, std::string(99, static_cast<char>('a' + i % 26)) + "\n");
    EXPECT_LE(wide.Text().size(), 4000);
    EXPECT_EQ(QString(99, QChar(u'a' + 99 % 26)), wide.Line(wide.LineCount() - 2));
}

TEST_F(RemoteDisplay, FollowsTheOutputUnlessScrolledBack)
{
    CRemoteDisplay display;
    display.resize(400, 200);
    display.show();
    for (int i = 0; i < 200; ++i)
        display.Append(0, "line\n");
    ASSERT_TRUE(RunUntil([&] { return display.PaintedRevision() == display.Revision(); }));
    QScrollBar* bar = display.verticalScrollBar();
    EXPECT_EQ(bar->maximum(), bar->value());
    EXPECT_TRUE(display.Following());

    bar->setValue(10);  // the user scrolls back
    EXPECT_FALSE(display.Following());
    display.Append(0, "more\n");
    RunFor(std::chrono::milliseconds(40));
    EXPECT_EQ(10, bar->value());

    bar->setValue(bar->maximum());
    display.Append(0, "and more\n");
    ASSERT_TRUE(RunUntil([&] { return bar->value() == bar->maximum() && display.Following(); }));
    ASSERT_TRUE(RunUntil([&] { return display.PaintedRevision() == display.Revision(); }));
}

TEST_F(RemoteDisplay, LongLinesWrapAtTheWidth)
{
    CRemoteDisplay display;
    display.resize(300, 200);
    display.show();
    // The rows are counted by the refresh after the text and by the resize: wait for both, not
    // a fixed time, which a busy machine overruns.
    const auto settled = [&](int width) {
        return RunUntil(
            [&] { return display.width() == width && display.PaintedRevision() == display.Revision(); });
    };
    display.Append(0, std::string(1000, 'w') + "\nshort\n");
    ASSERT_TRUE(settled(300));
    const int rowsWrapped = display.verticalScrollBar()->maximum() + display.verticalScrollBar()->pageStep();
    display.resize(600, 200);
    ASSERT_TRUE(settled(600));
    const int rowsWider = display.verticalScrollBar()->maximum() + display.verticalScrollBar()->pageStep();
    EXPECT_GT(rowsWrapped, rowsWider) << "a wider view needs fewer rows";
    EXPECT_EQ(3, display.LineCount()) << "wrapping changes no line";
}

TEST_F(RemoteDisplay, SelectsAndCopies)
{
    CRemoteDisplay display;
    display.resize(400, 200);
    display.show();
    display.Append(0, "first line\nsecond line\n");
    QApplication::processEvents();
    display.SelectAll();
    EXPECT_EQ("first line\nsecond line\n", display.SelectedText());
    QTest::keyClick(&display, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ("first line\nsecond line\n", QApplication::clipboard()->text());

    // A drag from the first row's start into the second row.
    const QFontMetrics metrics(display.font());
    const int row = metrics.lineSpacing();
    QWidget* area = display.viewport();
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(3, row / 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(3 + metrics.horizontalAdvance("secon"), row + row / 2),
                     area->mapToGlobal(QPointF(0, 0)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &move);
    QTest::mouseRelease(area, Qt::LeftButton);
    EXPECT_EQ("first line\nsecon", display.SelectedText());

    QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(3 + metrics.horizontalAdvance("sec"), row + row / 2));
    EXPECT_EQ("second", display.SelectedText());

    display.Clear();
    EXPECT_EQ("", display.SelectedText());
    EXPECT_EQ(1, display.LineCount());
}

}  // namespace
