#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <QAbstractScrollArea>

// The program's display: a read-only text view of the remote output that takes many
// megabytes at the speed they arrive. The text lives in one buffer with a table of line
// starts; only the rows in sight are drawn, long lines wrap at the width of the view, and
// the view follows new output while it is scrolled to the end. Text can be selected and
// copied. Keys go to the keyTyped signal first; what its receiver accepts goes no further.
class CRemoteDisplay final : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Beyond this the oldest lines make room (a quarter of the text at a time).
    static constexpr std::size_t kMaxCharacters = 32u << 20;
    static constexpr std::size_t kMaxLines = 2u << 20;

    explicit CRemoteDisplay(QWidget* parent = nullptr);

    void Clear();
    // Takes erase characters off the last line, then appends text ('\n' ends a line).
    void Append(std::size_t erase, const std::u16string& text);

    int LineCount() const { return static_cast<int>(m_lineStart.size()); }
    QString Line(int index) const;
    QString Text() const;  // lines joined by '\n'
    QString SelectedText() const;
    void SelectAll();
    void Copy() const;

    // Every change counts up; a paint that showed the last row records the count it drew.
    uint64_t Revision() const { return m_revision; }
    uint64_t PaintedRevision() const { return m_paintedRevision; }
    // The scroll position is at the end: new output stays in sight.
    bool AtEnd() const;

signals:
    void keyTyped(QKeyEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct SPosition {
        std::size_t line = 0;
        std::size_t column = 0;
        bool operator<(const SPosition& other) const
        {
            return line < other.line || (line == other.line && column < other.column);
        }
        bool operator==(const SPosition& other) const = default;
    };

    std::size_t LineLength(std::size_t line) const;
    std::size_t RowsOf(std::size_t line) const;
    void RecountRows(std::size_t fromLine);
    void DropOldest();
    void UpdateScrollBar(bool follow);
    void UpdateMetrics();
    int Columns() const;
    SPosition PositionAt(const QPoint& point) const;
    QString Slice(const SPosition& from, const SPosition& to) const;

    std::u16string m_text;              // every line's characters, no line ends
    std::vector<uint32_t> m_lineStart;  // offset of each line in m_text; never empty
    std::vector<uint32_t> m_rowStart;   // first row of each line
    std::size_t m_rowCount = 1;
    int m_charWidth = 8;
    int m_lineHeight = 16;
    int m_ascent = 12;
    int m_columns = 80;
    SPosition m_anchor;
    SPosition m_cursor;
    bool m_selecting = false;
    uint64_t m_revision = 0;
    uint64_t m_paintedRevision = 0;
};
