#include "apps/remoteclient/RemoteDisplay.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "apps/common/FormColors.h"

namespace {

constexpr int kMargin = 3;
constexpr int kFrameMs = 16;
// A line this long (in bytes) is broken: one endless line would hold every byte of a flood.
constexpr std::size_t kMaxLineBytes = 1u << 16;
constexpr std::size_t kSpareBlocks = 8;
const QColor kColorTeal(0x00, 0x80, 0x80);

bool IsContinuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

std::size_t CountCharacters(const char* text, std::size_t bytes)
{
    std::size_t continuations = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        continuations += IsContinuation(text[i]) ? 1 : 0;
    return bytes - continuations;
}

// Letters and digits of any script, and what joins words in names and paths.
bool IsWordByte(char byte)
{
    const auto c = static_cast<unsigned char>(byte);
    return c >= 0x80 || std::isalnum(c) || c == '_' || c == '-' || c == '.' || c == '/';
}

}  // namespace

CRemoteDisplay::CRemoteDisplay(QWidget* parent, std::size_t maxBytes, std::size_t maxLines)
    : QAbstractScrollArea(parent),
      m_maxBytes(maxBytes),
      m_maxLines(maxLines),
      m_lines{{0, 0, 0}},
      m_rowStart{0}
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
    QPalette colors = palette();
    colors.setColor(QPalette::Base, kColorTeal);
    colors.setColor(QPalette::Text, kColorWhite);
    setPalette(colors);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setCursor(Qt::IBeamCursor);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    m_refreshTimer.setSingleShot(true);
    connect(&m_refreshTimer, &QTimer::timeout, this, [this] { Refresh(); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (!m_settingScrollBar)
            m_follow = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    });
    UpdateMetrics();
}

void CRemoteDisplay::Clear()
{
    // A few blocks stay for the next output, without the cost of fresh memory.
    while (!m_blocks.empty()) {
        if (m_spareBlocks.size() < kSpareBlocks)
            m_spareBlocks.push_back(std::move(m_blocks.back()));
        m_blocks.pop_back();
    }
    m_firstBlock = 0;
    m_lines.assign(1, SLine{0, 0, 0});
    m_lines.shrink_to_fit();
    m_rowStart.assign(1, 0);
    m_rowStart.shrink_to_fit();
    m_rowCount = 1;
    m_anchor = m_cursor = SPosition{};
    ++m_revision;
    m_follow = true;
    Refresh();
}

const char* CRemoteDisplay::LineData(std::size_t line) const
{
    const uint64_t start = m_lines[line].start;
    const uint64_t block = start / kBlockSize - m_firstBlock;
    return block < m_blocks.size() ? m_blocks[block].get() + start % kBlockSize : nullptr;
}

std::size_t CRemoteDisplay::ByteOffset(std::size_t line, std::size_t column) const
{
    const SLine& entry = m_lines[line];
    if (entry.bytes == entry.length)
        return std::min<std::size_t>(column, entry.bytes);  // plain ASCII
    const char* text = LineData(line);
    std::size_t offset = 0;
    for (std::size_t i = 0; i < column && offset < entry.bytes; ++i) {
        ++offset;
        while (offset < entry.bytes && IsContinuation(text[offset]))
            ++offset;
    }
    return offset;
}

QString CRemoteDisplay::LineText(std::size_t line, std::size_t fromColumn, std::size_t toColumn) const
{
    const std::size_t from = ByteOffset(line, fromColumn);
    const std::size_t to = ByteOffset(line, toColumn);
    if (to <= from)
        return {};
    return QString::fromUtf8(LineData(line) + from, static_cast<qsizetype>(to - from));
}

char* CRemoteDisplay::Block(uint64_t number)
{
    while (m_firstBlock + m_blocks.size() <= number) {
        if (!m_spareBlocks.empty()) {
            m_blocks.push_back(std::move(m_spareBlocks.back()));
            m_spareBlocks.pop_back();
        } else {
            m_blocks.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
        }
    }
    return m_blocks[number - m_firstBlock].get();
}

void CRemoteDisplay::AppendToLastLine(const char* text, std::size_t bytes)
{
    if (bytes == 0)
        return;
    SLine& last = m_lines.back();
    uint64_t block = last.start / kBlockSize;
    if (last.start % kBlockSize + last.bytes + bytes > kBlockSize) {
        const char* old = Block(block) + last.start % kBlockSize;
        ++block;
        std::memcpy(Block(block), old, last.bytes);
        last.start = block * kBlockSize;
    }
    std::memcpy(Block(block) + last.start % kBlockSize + last.bytes, text, bytes);
    last.bytes += static_cast<uint32_t>(bytes);
    last.length += static_cast<uint32_t>(CountCharacters(text, bytes));
}

std::size_t CRemoteDisplay::RowsOf(std::size_t line) const
{
    const std::size_t length = LineLength(line);
    const auto columns = static_cast<std::size_t>(m_columns);
    return length == 0 ? 1 : (length + columns - 1) / columns;
}

void CRemoteDisplay::RecountRows(std::size_t fromLine)
{
    const std::size_t lines = m_lines.size();
    m_rowStart.resize(lines);
    if (fromLine == 0)
        m_rowStart[0] = 0;
    for (std::size_t i = std::max<std::size_t>(fromLine, 1); i < lines; ++i)
        m_rowStart[i] = m_rowStart[i - 1] + static_cast<uint32_t>(RowsOf(i - 1));
    m_rowCount = m_rowStart.back() + RowsOf(lines - 1);
}

void CRemoteDisplay::Append(std::size_t erase, const std::string& text)
{
    const std::size_t lastLine = m_lines.size() - 1;
    SLine& last = m_lines.back();
    const char* shown = LineData(lastLine);
    for (; erase > 0 && last.length > 0; --erase) {
        // One character: its lead byte and whatever continues it.
        while (last.bytes > 0 && IsContinuation(shown[last.bytes - 1]))
            --last.bytes;
        if (last.bytes > 0)
            --last.bytes;
        --last.length;
    }
    const char* const bytes = text.data();
    std::size_t from = 0;
    while (from < text.size()) {
        const auto* lineFeed = static_cast<const char*>(std::memchr(bytes + from, '\n', text.size() - from));
        const std::size_t end = lineFeed ? static_cast<std::size_t>(lineFeed - bytes) : text.size();
        std::size_t piece = end - from;
        const std::size_t room = kMaxLineBytes - m_lines.back().bytes;
        if (piece > room) {
            piece = room;
            while (piece > 0 && IsContinuation(bytes[from + piece]))
                --piece;  // no character is cut in two
        }
        AppendToLastLine(bytes + from, piece);
        from += piece;
        if (from == end) {
            if (!lineFeed)
                break;
            ++from;
        }
        // After a line feed, or a full line whose rest goes on a line of its own.
        const SLine& full = m_lines.back();
        m_lines.push_back(SLine{full.start + full.bytes, 0, 0});
    }
    const uint64_t held = m_lines.back().start + m_lines.back().bytes - m_lines.front().start;
    if (held > m_maxBytes || m_lines.size() > m_maxLines)
        DropOldest();
    else
        RecountRows(lastLine);
    ++m_revision;
    ScheduleRefresh();
}

void CRemoteDisplay::ScheduleRefresh()
{
    if (m_refreshTimer.isActive())
        return;
    const qint64 since = m_sinceRefresh.isValid() ? m_sinceRefresh.elapsed() : kFrameMs;
    if (since >= kFrameMs)
        Refresh();
    else
        m_refreshTimer.start(static_cast<int>(kFrameMs - since));
}

void CRemoteDisplay::Refresh()
{
    m_refreshTimer.stop();
    m_sinceRefresh.restart();
    UpdateScrollBar();
    viewport()->update();
}

void CRemoteDisplay::DropOldest()
{
    // Keep three quarters, so that the next drop is far away.
    const std::size_t keepBytes = m_maxBytes / 4 * 3;
    const std::size_t keepLines = m_maxLines / 4 * 3;
    const std::size_t lines = m_lines.size();
    const uint64_t end = m_lines.back().start + m_lines.back().bytes;
    std::size_t first = 0;
    while (first + 1 < lines && (lines - first > keepLines || end - m_lines[first].start > keepBytes))
        ++first;
    m_lines.erase(m_lines.begin(), m_lines.begin() + static_cast<std::ptrdiff_t>(first));
    for (const uint64_t needed = m_lines.front().start / kBlockSize; m_firstBlock < needed; ++m_firstBlock) {
        if (!m_blocks.empty())
            m_blocks.pop_front();
    }
    m_anchor = m_cursor = SPosition{};
    RecountRows(0);
}

QString CRemoteDisplay::Line(int index) const
{
    if (index < 0 || index >= LineCount())
        return {};
    const auto line = static_cast<std::size_t>(index);
    return QString::fromUtf8(LineData(line), m_lines[line].bytes);
}

QString CRemoteDisplay::Text() const
{
    SPosition end;
    end.line = m_lines.size() - 1;
    end.column = LineLength(end.line);
    return Slice(SPosition{}, end);
}

QString CRemoteDisplay::Slice(const SPosition& from, const SPosition& to) const
{
    QString result;
    for (std::size_t line = from.line; line <= to.line && line < m_lines.size(); ++line) {
        const std::size_t length = LineLength(line);
        const std::size_t begin = line == from.line ? std::min(from.column, length) : 0;
        const std::size_t end = line == to.line ? std::min(to.column, length) : length;
        if (line != from.line)
            result += QLatin1Char('\n');
        if (end > begin)
            result += LineText(line, begin, end);
    }
    return result;
}

QString CRemoteDisplay::SelectedText() const
{
    if (m_anchor == m_cursor)
        return {};
    return m_anchor < m_cursor ? Slice(m_anchor, m_cursor) : Slice(m_cursor, m_anchor);
}

void CRemoteDisplay::SelectAll()
{
    m_anchor = SPosition{};
    m_cursor.line = m_lines.size() - 1;
    m_cursor.column = LineLength(m_cursor.line);
    viewport()->update();
}

void CRemoteDisplay::Copy() const
{
    const QString text = SelectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

int CRemoteDisplay::Columns() const
{
    return std::max(1, static_cast<int>((viewport()->width() - 2 * kMargin) / m_charWidth));
}

void CRemoteDisplay::UpdateMetrics()
{
    const QFontMetrics metrics(font());
    m_charWidth = std::max(1.0, QFontMetricsF(font()).horizontalAdvance(QLatin1Char('M')));
    m_lineHeight = std::max(1, metrics.lineSpacing());
    m_ascent = metrics.ascent();
    m_columns = Columns();
}

void CRemoteDisplay::UpdateScrollBar()
{
    const int visible = std::max(1, (viewport()->height() - kMargin) / m_lineHeight);
    QScrollBar* bar = verticalScrollBar();
    const auto rows = static_cast<int>(std::min<std::size_t>(m_rowCount, INT32_MAX));
    m_settingScrollBar = true;
    bar->setRange(0, std::max(0, rows - visible));
    bar->setPageStep(visible);
    bar->setSingleStep(1);
    if (m_follow)
        bar->setValue(bar->maximum());
    m_settingScrollBar = false;
}

void CRemoteDisplay::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const QPalette& colors = palette();
    const SPosition selectionStart = std::min(m_anchor, m_cursor);
    const SPosition selectionEnd = std::max(m_anchor, m_cursor);
    const bool selection = !(m_anchor == m_cursor);
    const auto columns = static_cast<std::size_t>(m_columns);
    const auto firstRow = static_cast<std::size_t>(verticalScrollBar()->value());
    const std::size_t rows = static_cast<std::size_t>(viewport()->height() / m_lineHeight) + 1;
    std::size_t line =
        static_cast<std::size_t>(std::upper_bound(m_rowStart.begin(), m_rowStart.end(), firstRow) -
                                 m_rowStart.begin()) -
        1;
    std::size_t row = firstRow;
    int y = kMargin;
    for (std::size_t drawn = 0; drawn < rows && line < m_lines.size(); ++drawn, ++row, y += m_lineHeight) {
        while (line + 1 < m_lines.size() && row >= m_rowStart[line + 1])
            ++line;
        if (row >= m_rowStart[line] + RowsOf(line))
            break;
        const std::size_t length = LineLength(line);
        const std::size_t begin = (row - m_rowStart[line]) * columns;
        const std::size_t end = std::min(length, begin + columns);
        painter.setPen(colors.color(QPalette::Text));
        if (end > begin)
            painter.drawText(kMargin, y + m_ascent, LineText(line, begin, end));
        if (!selection || line < selectionStart.line || line > selectionEnd.line)
            continue;
        // The selected part of this row, drawn over in the highlight colours.
        std::size_t from = line == selectionStart.line ? std::max(begin, selectionStart.column) : begin;
        std::size_t to = line == selectionEnd.line ? std::min(end, selectionEnd.column) : end;
        const bool throughEnd = line != selectionEnd.line && end == length;
        if (to < from)
            continue;
        const qreal x = kMargin + static_cast<qreal>(from - begin) * m_charWidth;
        const qreal width = static_cast<qreal>(to - from + (throughEnd ? 1 : 0)) * m_charWidth;
        if (width <= 0)
            continue;
        painter.fillRect(QRectF(x, y, width, m_lineHeight), colors.color(QPalette::Highlight));
        painter.setPen(colors.color(QPalette::HighlightedText));
        if (to > from)
            painter.drawText(QPointF(x, y + m_ascent), LineText(line, from, to));
    }
    if (firstRow + rows >= m_rowCount) {
        m_paintedRevision = m_revision;
        if (hasFocus()) {
            // A bar after the last character shows where the remote echo lands.
            const std::size_t last = m_lines.size() - 1;
            const std::size_t length = LineLength(last);
            std::size_t caretRow = m_rowStart[last] + length / columns;
            std::size_t column = length % columns;
            if (length > 0 && column == 0) {
                --caretRow;
                column = columns;
            }
            const int top = kMargin + static_cast<int>(caretRow - firstRow) * m_lineHeight;
            painter.fillRect(QRectF(kMargin + static_cast<qreal>(column) * m_charWidth, top, 2, m_lineHeight),
                             colors.color(QPalette::Text));
        }
    }
}

void CRemoteDisplay::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void CRemoteDisplay::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void CRemoteDisplay::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const int columns = Columns();
    if (columns != m_columns) {
        m_columns = columns;
        RecountRows(0);
    }
    UpdateScrollBar();
}

void CRemoteDisplay::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateMetrics();
        RecountRows(0);
        Refresh();
    }
}

bool CRemoteDisplay::event(QEvent* event)
{
    // Tab moves the focus on, unless the keyTyped receiver takes it.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            key->ignore();
            emit keyTyped(key);
            if (key->isAccepted())
                return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void CRemoteDisplay::keyPressEvent(QKeyEvent* event)
{
    event->ignore();
    emit keyTyped(event);
    if (event->isAccepted())
        return;
    event->accept();
    if (event->matches(QKeySequence::Copy)) {
        Copy();
    } else if (event->matches(QKeySequence::SelectAll)) {
        SelectAll();
    } else if (event->matches(QKeySequence::MoveToStartOfDocument)) {
        verticalScrollBar()->setValue(0);
    } else if (event->matches(QKeySequence::MoveToEndOfDocument)) {
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    } else {
        QAbstractScrollArea::keyPressEvent(event);  // the scroll keys
    }
}

CRemoteDisplay::SPosition CRemoteDisplay::PositionAt(const QPoint& point) const
{
    const int rowInView = std::max(0, point.y() - kMargin) / m_lineHeight;
    const std::size_t row =
        std::min(static_cast<std::size_t>(verticalScrollBar()->value() + rowInView), m_rowCount - 1);
    SPosition position;
    position.line = static_cast<std::size_t>(std::upper_bound(m_rowStart.begin(), m_rowStart.end(), row) -
                                             m_rowStart.begin()) -
                    1;
    const auto columns = static_cast<std::size_t>(m_columns);
    const std::size_t begin = (row - m_rowStart[position.line]) * columns;
    const auto offset = static_cast<std::size_t>(std::max(0.0, (point.x() - kMargin) / m_charWidth + 0.5));
    position.column = std::min(begin + std::min(offset, columns), LineLength(position.line));
    return position;
}

void CRemoteDisplay::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_cursor = PositionAt(event->position().toPoint());
        if (!(event->modifiers() & Qt::ShiftModifier))
            m_anchor = m_cursor;
        m_selecting = true;
        viewport()->update();
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void CRemoteDisplay::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_selecting || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint point = event->position().toPoint();
    QScrollBar* bar = verticalScrollBar();
    if (point.y() < 0)
        bar->setValue(bar->value() - 1);
    else if (point.y() > viewport()->height())
        bar->setValue(bar->value() + 1);
    m_cursor = PositionAt(point);
    viewport()->update();
    if (QApplication::clipboard()->supportsSelection())
        QApplication::clipboard()->setText(SelectedText(), QClipboard::Selection);
}

void CRemoteDisplay::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const SPosition at = PositionAt(event->position().toPoint());
    const char* text = LineData(at.line);
    const std::size_t bytes = m_lines[at.line].bytes;
    std::size_t from = ByteOffset(at.line, at.column);
    std::size_t to = from;
    while (from > 0 && IsWordByte(text[from - 1]))
        --from;
    while (to < bytes && IsWordByte(text[to]))
        ++to;
    m_anchor = {at.line, CountCharacters(text, from)};
    m_cursor = {at.line, CountCharacters(text, to)};
    m_selecting = false;
    viewport()->update();
}

void CRemoteDisplay::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("&Copy"), this, [this] { Copy(); });
    copy->setEnabled(!(m_anchor == m_cursor));
    menu.addAction(tr("Select &All"), this, [this] { SelectAll(); });
    menu.exec(event->globalPos());
}
