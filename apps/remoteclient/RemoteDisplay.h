#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QTimer>

// The program's display: a read-only text view of the remote output that takes many
// megabytes at the speed they arrive. The text lives as UTF-8 in large fixed blocks that are
// never moved, with a table of lines; only the rows in sight are drawn, at most once a frame
// however fast the text comes; long lines wrap at the width of the view, and the view follows
// new output while it is scrolled to the end. Text can be selected and copied. Keys go to the
// keyTyped signal first; what its receiver accepts goes no further.
class CRemoteDisplay final : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Beyond this the oldest lines make room (a quarter of the text at a time).
    static constexpr std::size_t kMaxBytes = 16u << 20;
    static constexpr std::size_t kMaxLines = 1u << 20;

    explicit CRemoteDisplay(QWidget* parent = nullptr, std::size_t maxBytes = kMaxBytes,
                            std::size_t maxLines = kMaxLines);

    void Clear();
    // Takes erase characters off the last line, then appends UTF-8 text ('\n' ends a line).
    void Append(std::size_t erase, const std::string& text);

    int LineCount() const { return static_cast<int>(m_lines.size()); }
    QString Line(int index) const;
    QString Text() const;  // lines joined by '\n'
    QString SelectedText() const;
    void SelectAll();
    void Copy() const;

    // Every change counts up; a paint that showed the last row records the count it drew.
    uint64_t Revision() const { return m_revision; }
    uint64_t PaintedRevision() const { return m_paintedRevision; }
    // The view was at the end when last scrolled: new output stays in sight.
    bool Following() const { return m_follow; }

signals:
    void keyTyped(QKeyEvent* event);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
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

    struct SLine {
        uint64_t start;  // where its bytes begin: block number * kBlockSize + offset
        uint32_t bytes;
        uint32_t length;  // characters
    };
    static constexpr std::size_t kBlockSize = 1u << 20;

    std::size_t LineLength(std::size_t line) const { return m_lines[line].length; }
    // Null for an empty line whose block does not exist yet.
    const char* LineData(std::size_t line) const;
    // Where a line's character at column begins, in bytes from the line's start.
    std::size_t ByteOffset(std::size_t line, std::size_t column) const;
    QString LineText(std::size_t line, std::size_t fromColumn, std::size_t toColumn) const;
    char* Block(uint64_t number);
    // Appends to the last line; a line that outgrows its block moves to the next.
    void AppendToLastLine(const char* text, std::size_t bytes);
    std::size_t RowsOf(std::size_t line) const;
    void RecountRows(std::size_t fromLine);
    void DropOldest();
    void ScheduleRefresh();
    void Refresh();
    void UpdateScrollBar();
    void UpdateMetrics();
    int Columns() const;
    SPosition PositionAt(const QPoint& point) const;
    QString Slice(const SPosition& from, const SPosition& to) const;

    std::size_t m_maxBytes;
    std::size_t m_maxLines;
    std::deque<std::unique_ptr<char[]>> m_blocks;  // from block number m_firstBlock on
    std::vector<std::unique_ptr<char[]>> m_spareBlocks;
    uint64_t m_firstBlock = 0;
    std::vector<SLine> m_lines;        // never empty; no line ends are stored
    std::vector<uint32_t> m_rowStart;  // first row of each line
    std::size_t m_rowCount = 1;
    qreal m_charWidth = 8;  // fixed pitch, often not a whole pixel
    int m_lineHeight = 16;
    int m_ascent = 12;
    int m_columns = 80;
    SPosition m_anchor;
    SPosition m_cursor;
    bool m_selecting = false;
    bool m_follow = true;
    bool m_settingScrollBar = false;
    QTimer m_refreshTimer;
    QElapsedTimer m_sinceRefresh;
    uint64_t m_revision = 0;
    uint64_t m_paintedRevision = 0;
};
