#pragma once

// The few window operations the screen model needs. Rows are screen rows (0 = top of the
// screen, not of the view); the window maps them into its view and clips. kStatusRow names
// the status line below the screen.

constexpr int kStatusRow = -1;

class IVtWindow {
public:
    virtual ~IVtWindow() = default;

    // Cells of rows top..bottom, columns left..right (inclusive) changed.
    virtual void InvalidateCells(int top, int left, int bottom, int right) = 0;
    // Everything changed; one repaint later is enough.
    virtual void InvalidateAll() = 0;
    // Paint what is pending now, so that moved pixels are current.
    virtual void FlushPaint() = 0;
    // Move the pixels of rows top..bottom by n rows (down or up) and repaint the rows
    // uncovered. Up with top 0 moves the history rows in view as well.
    virtual void ScrollRows(int top, int bottom, int n, bool down) = 0;

    // Whole text rows the view shows; 0 when there is no view.
    virtual int VisibleRows() const = 0;
    // First line shown, counted over history and screen (the screen starts at ScrollbackRows).
    virtual int ScrollPosition() const = 0;
    virtual void SetScrollPosition(int position) = 0;
    virtual void SetScrollRange(int maximum) = 0;
    // Rows, columns or scrollback changed: lay the window out again.
    virtual void Relayout() = 0;

    virtual void MoveCaret(int row, int column) = 0;
    virtual void ShowCaret(bool show) = 0;
};

// Used when no window is attached: every request is dropped.
class CNullVtWindow final : public IVtWindow {
public:
    void InvalidateCells(int, int, int, int) override {}
    void InvalidateAll() override {}
    void FlushPaint() override {}
    void ScrollRows(int, int, int, bool) override {}
    int VisibleRows() const override { return 0; }
    int ScrollPosition() const override { return m_position; }
    void SetScrollPosition(int position) override { m_position = position; }
    void SetScrollRange(int) override {}
    void Relayout() override {}
    void MoveCaret(int, int) override {}
    void ShowCaret(bool) override {}

private:
    int m_position = 0;
};
