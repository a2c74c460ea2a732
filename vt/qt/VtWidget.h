#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QAbstractScrollArea>
#include <QFont>
#include <QKeySequence>
#include <QList>
#include <QRegion>
#include <QTimer>

#include "vt/VtKeyEvent.h"
#include "vt/VtKeyboard.h"
#include "vt/VtScreen.h"
#include "vt/VtWindow.h"

// What the window needs besides the cells; the facade fills it from the property table.
struct CVtLook {
    uint32_t foreground = 0x000000;  // RGB
    uint32_t background = 0xFFFFFF;
    uint32_t bold = 0x008000;
    bool reverseScreen = false;
    uint8_t nationalSet = 0;
    bool statusLine = false;  // a status display exists
    bool caretVisible = true;
    bool underlineCaret = false;
    bool enabled = true;
    bool utf8 = false;  // cells hold Unicode code points

    bool operator==(const CVtLook&) const = default;
};

// Mouse notification types of the terminal window.
enum class VtMouse : uint32_t {
    LeftDown = 0,
    LeftUp = 1,
    RightDown = 2,
    RightUp = 3,
    LeftDouble = 4,
    RightDouble = 5
};

// The terminal window: draws a screen model with its history, scrolls, selects and carries
// the caret. Repaints are gathered and done at the display's pace, never per request.
class CVtWidget final : public QAbstractScrollArea, public IVtWindow {
    Q_OBJECT
public:
    struct CEvents {
        std::function<VtKeyResult(const CVtKeyEvent&)> keyDown;
        std::function<VtKeyResult(const CVtKeyEvent&)> sysKeyDown;
        std::function<void(uint32_t character, const CVtKeyEvent&)> charTyped;
        std::function<void(int x, int y, VtMouse type, uint32_t keys)> mouse;
        // The middle button: paste the primary selection.
        std::function<void()> pasteSelection;
        // The text area holds this many cells now (after a resize or a change of font).
        std::function<void(int columns, int rows)> viewCells;
    };

    // Space between the text and the window's edges, in pixels.
    static constexpr int kMargin = 4;

    explicit CVtWidget(QWidget* parent = nullptr);
    ~CVtWidget() override;

    void SetScreen(CVtScreen* screen);
    void SetEvents(CEvents events) { m_events = std::move(events); }
    void SetLook(const CVtLook& look);
    const CVtLook& Look() const { return m_look; }

    // The family "VT220_ascii" stands for the user's fixed-pitch font.
    void SetTerminalFont(const QFont& font);
    const QFont& TerminalFont() const { return m_font; }
    // The font as the owner set it, before zooming.
    const QFont& OwnerFont() const { return m_ownerFont; }
    // A step larger (+1) or smaller (-1), or back to the size the owner set (0).
    void ZoomFont(int step);
    // Cells the text area holds at its size; the horizontal bar is not counted, since a
    // terminal that takes this size never needs it.
    QSize CellsThatFit() const;
    // Key combinations the window leaves to the application's shortcuts and never sends.
    void SetReservedKeys(const QList<QKeySequence>& keys) { m_reserved = keys; }
    // Alt with a key goes to the terminal rather than to the menus.
    void SetAltKeysToTerminal(bool on) { m_altKeysToTerminal = on; }
    bool DecFace() const { return m_decFace; }
    int CellWidth() const { return m_cellWidth; }
    int CellHeight() const { return m_cellHeight; }
    int ColumnOffset() const;
    int VisibleColumns() const;
    // Widget size that shows columns x rows cells (scroll bars included).
    QSize SizeForCells(int columns, int rows) const;
    QSize sizeHint() const override;

    // Selection over history and screen, as linear cell indexes (line x columns + column).
    void SetSelection(int start, int length);
    int SelectionStart() const { return m_selStart; }
    int SelectionLength() const { return m_selLength; }
    void ClearSelection();

    // Apply a view movement asked for by the keyboard.
    void ScrollView(VtViewScroll scroll);
    // Paint what is pending now (tests and screenshots).
    void PaintNow();

    // IVtWindow
    void InvalidateCells(int top, int left, int bottom, int right) override;
    void InvalidateAll() override;
    void FlushPaint() override;
    void ScrollRows(int top, int bottom, int n, bool down) override;
    int VisibleRows() const override;
    int ScrollPosition() const override;
    void SetScrollPosition(int position) override;
    void SetScrollRange(int maximum) override;
    void Relayout() override;
    void MoveCaret(int row, int column) override;
    void ShowCaret(bool show) override;

    static const char* DefaultFamily() { return "DejaVu Sans Mono"; }
    static constexpr const char* kDecFamily = "VT220_ascii";

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool event(QEvent* event) override;

private:
    void PaintRow(QPainter& painter, int viewRow);
    void PaintRun(QPainter& painter, const VtCell* line, uint32_t lineAttr, int first, int count, int y,
                  uint32_t key);
    void PaintCaret(QPainter& painter);
    void Schedule(const QRect& pixels);
    void ScheduleRows(int firstViewRow, int lastViewRow);
    void ArmFrame();
    QRegion TakeDirty();
    QRect CellRect(int viewRow, int firstColumn, int lastColumn, bool doubleWidth) const;
    int ViewRowOfScreenRow(int row) const;
    int TotalViewLines() const;
    void UpdateCursorShape();
    void ApplyFont(const QFont& font);
    // Selection helpers (VtWidgetInput.cpp).
    int CellIndexAt(const QPoint& pos, bool& inside) const;
    void ExtendSelection(const QPoint& pos);
    void AutoScrollTick();
    bool Reserved(const QKeyEvent& key) const;
    void ReportCells();

    CVtScreen* m_screen = nullptr;
    CEvents m_events;
    CVtLook m_look;

    QFont m_font;
    QFont m_underlineFont;
    QFont m_ownerFont;  // as the owner set it, before any zoom
    int m_zoom = 0;
    bool m_decFace = true;
    int m_cellWidth = 8;
    int m_cellHeight = 16;
    int m_ascent = 12;

    // What the next frame repaints: whole view rows (the common case, kept cheap because the
    // emulator reports every change) and any other rectangles.
    std::vector<char> m_dirtyRows;
    int m_dirtyHeight = -1;
    int m_dirtyCellHeight = 0;
    int m_dirtyRowCount = 0;
    QRegion m_dirty;
    QTimer m_paintTimer;
    bool m_framePending = false;

    int m_caretRow = 0;  // screen row, or kStatusRow
    int m_caretColumn = 0;
    bool m_caretShown = true;

    int m_selStart = 0;
    int m_selLength = 0;
    int m_anchor = -1;  // while the left button selects
    QPoint m_lastMouse;
    QTimer m_autoScroll;

    QList<QKeySequence> m_reserved;
    bool m_altKeysToTerminal = false;
};
