#include "vt/qt/VoltVt.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>
#include <QWidget>

#include "tests/support/QtTestApp.h"

namespace {

class CRecordingVt final : public CVoltVt {
public:
    std::string sent;
    std::vector<uint32_t> mouseTypes;
    uint32_t swallowKey = 0;

protected:
    void SendToHost(const uint8_t* bytes, size_t length) override
    {
        sent.append(reinterpret_cast<const char*>(bytes), length);
    }
    void OnKeyNotify(uint32_t& key, uint32_t&, bool) override
    {
        if (key == swallowKey)
            key = 0;
    }
    void OnMouse(int, int, uint32_t type, uint32_t) override { mouseTypes.push_back(type); }
};

class VoltVtTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureQtTestApp("vt_qt_tests"); }
    void SetUp() override
    {
        m_window = m_vt.CreateTerminalWindow(&m_parent);
        ASSERT_NE(m_window, nullptr);
        ASSERT_EQ(m_vt.SetProperty(kVtPropEnabled, 1), 1);
        m_vt.SetProperty(kVtPropScrollbackRows, 100);
        QFont font(CVtWidget::kDecFamily);
        font.setPixelSize(16);
        m_vt.SetFont(font);
        m_parent.resize(m_window->SizeForCells(80, 24));
        m_window->resize(m_parent.size());
        m_parent.show();
        m_window->setFocus();
    }

    void Host(const std::string& bytes) { m_vt.ReceiveData(bytes.data(), bytes.size()); }

    std::string Copied()
    {
        const VtValue start = m_vt.GetProperty(kVtPropSelectionStart);
        const VtValue length = m_vt.GetProperty(kVtPropSelectionLength);
        std::string text(static_cast<size_t>(start + length), '\0');
        m_vt.GetText(text.data(), static_cast<int>(text.size()));
        return text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(length));
    }

    QImage Cell(int row, int column)
    {
        m_window->PaintNow();
        const QImage image = m_window->viewport()->grab().toImage();
        return image.copy(column * m_window->CellWidth(), row * m_window->CellHeight(), m_window->CellWidth(),
                          m_window->CellHeight());
    }

    QWidget m_parent;
    CRecordingVt m_vt;
    CVtWidget* m_window = nullptr;
};

TEST_F(VoltVtTest, HistoryOfHundredRowsPutsTheScreenAtTheEndOfTheRange)
{
    EXPECT_EQ(m_window->verticalScrollBar()->maximum(), 100);
    EXPECT_EQ(m_window->ScrollPosition(), 100);
    EXPECT_EQ(m_vt.GetProperty(kVtPropCellWidth), m_window->CellWidth());
    EXPECT_EQ(m_vt.GetProperty(kVtPropCellHeight), m_window->CellHeight());
}

TEST_F(VoltVtTest, KeysLeaveAsTheTerminalsBytes)
{
    struct Case {
        const char* host;  // modes set first
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* sent;
    };
    const Case cases[] = {
        {"", Qt::Key_Up, {}, "\x1b[A"},
        {"\x1b[?1h", Qt::Key_Up, {}, "\x1bOA"},
        {"\x1b[?1l", Qt::Key_A, {}, "a"},
        {"", Qt::Key_Return, {}, "\r"},
        {"\x1b=", Qt::Key_5, Qt::KeypadModifier, "\x1bOu"},
        {"\x1b>", Qt::Key_5, Qt::KeypadModifier, "5"},
        {"", Qt::Key_F7, Qt::ShiftModifier, "\x1b[31~"},
        {"", Qt::Key_Insert, {}, "\x1b[1~"},  // DEC Find lies where Insert is
        {"", Qt::Key_C, Qt::ControlModifier, "\x03"},
        {"\x1b=", Qt::Key_Enter, Qt::KeypadModifier, "\x1bOM"},
        {"\x1b>", Qt::Key_Enter, Qt::KeypadModifier, "\r"},
        {"", Qt::Key_Backspace, {}, "\x08"},
        {"", Qt::Key_Tab, {}, "\t"},
        {"", Qt::Key_Minus, Qt::KeypadModifier, "\x1bOS"},  // PF4
    };
    for (const Case& c : cases) {
        Host(c.host);
        m_vt.sent.clear();
        const QChar text =
            c.key >= Qt::Key_A && c.key <= Qt::Key_Z && !c.modifiers
                ? QChar(c.key - Qt::Key_A + 'a')
                : (c.key == Qt::Key_5 ? QChar('5') : (c.key == Qt::Key_Return ? QChar('\r') : QChar()));
        QTest::keyClick(m_window, static_cast<Qt::Key>(c.key), c.modifiers);
        if (!text.isNull() && m_vt.sent.empty())
            QTest::keyClick(m_window, text.toLatin1(), c.modifiers);
        EXPECT_EQ(m_vt.sent, c.sent) << c.key;
    }
}

TEST_F(VoltVtTest, OwnerCanSwallowAKey)
{
    m_vt.swallowKey = 'Q';
    QTest::keyClick(m_window, Qt::Key_Q);
    EXPECT_EQ(m_vt.sent, "");
}

TEST_F(VoltVtTest, SpaceAndPunctuationTypeWhileTheOwnerWatchesKeys)
{
    m_vt.swallowKey = 'Q';
    QTest::keyClicks(m_window, "a -./=;,'x|~");
    EXPECT_EQ(m_vt.sent, "a -./=;,'x|~");
}

TEST_F(VoltVtTest, SelectedTextIsCopiedThroughTheSelectionProperties)
{
    Host("hello world\r\nsecond line");
    const int w = m_window->CellWidth();
    const int h = m_window->CellHeight();
    QWidget* view = m_window->viewport();
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(6 * w, h / 2));
    QTest::mouseMove(view, QPoint(3 * w, h + h / 2));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(3 * w, h + h / 2));
    EXPECT_EQ(Copied(), "world" + std::string(69, ' ') + "\r\nsec");
    EXPECT_EQ(m_vt.mouseTypes, (std::vector<uint32_t>{0, 1}));

    // Within one line, and a selection written through the properties reads back the same.
    m_vt.SetProperty(kVtPropSelectionStart, 100 * 82 + 1);
    m_vt.SetProperty(kVtPropSelectionLength, 5);
    EXPECT_EQ(m_vt.GetProperty(kVtPropSelectionStart), 100 * 82 + 1);
    EXPECT_EQ(m_vt.GetProperty(kVtPropSelectionLength), 5);
    EXPECT_EQ(Copied(), "hello");
}

TEST_F(VoltVtTest, IncomingDataRemovesTheSelection)
{
    Host("text");
    m_vt.SetProperty(kVtPropSelectionStart, 100 * 82 + 1);
    m_vt.SetProperty(kVtPropSelectionLength, 4);
    ASSERT_EQ(m_window->SelectionLength(), 4);
    Host("more");
    EXPECT_EQ(m_window->SelectionLength(), 0);
    EXPECT_EQ(m_vt.GetProperty(kVtPropSelectionLength), 0);
}

TEST_F(VoltVtTest, SelectAllCoversHistoryAndScreen)
{
    Host("first\r\nlast");
    m_vt.SetProperty(kVtPropSelectionStart, 1);
    m_vt.SetProperty(kVtPropSelectionLength, (24 + 100) * (80 + 2));
    const std::string all = Copied();
    EXPECT_EQ(all.size(), static_cast<size_t>((24 + 100) * 82));
    EXPECT_EQ(all.substr(100 * 82, 5), "first");
    EXPECT_EQ(all.substr(101 * 82, 4), "last");
}

TEST_F(VoltVtTest, PropertiesReachTheWindow)
{
    Host("[");
    const QImage plain = Cell(0, 0);
    m_vt.SetProperty(kVtPropNationalSet, 6);  // German
    const QImage german = Cell(0, 0);
    EXPECT_NE(german, plain);
    Host("\r\n\xC4");
    EXPECT_EQ(Cell(1, 0), german) << "[ is drawn as A umlaut";

    m_vt.SetProperty(kVtPropBackgroundColour, 0x0000FF);  // background
    EXPECT_EQ(Cell(5, 5).pixel(1, 1), qRgb(0, 0, 255));
    Host("\x1b[?5h");  // reverse screen from the host
    EXPECT_EQ(Cell(5, 5).pixel(1, 1), qRgb(0, 0, 0));
}

TEST_F(VoltVtTest, StatusLineIsOneMoreRowBelowTheScreen)
{
    m_vt.SetProperty(kVtPropStatusDisplay, 1);
    EXPECT_EQ(m_window->verticalScrollBar()->maximum(), 101);
    m_window->SetScrollPosition(101);
    EXPECT_EQ(Cell(23, 0).pixel(1, 1), qRgb(0, 0, 0)) << "reverse blanks fill the status line";
    EXPECT_EQ(Cell(22, 0).pixel(1, 1), qRgb(255, 255, 255));
    m_vt.SetProperty(kVtPropStatusDisplay, 0);
    EXPECT_EQ(m_window->verticalScrollBar()->maximum(), 100);
}

}  // namespace
