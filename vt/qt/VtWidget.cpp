#include "vt/qt/VtWidget.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>

#include "vt/VtScreen.h"

namespace {

// A repaint at most once per display frame.
constexpr int kFrameMs = 16;

}  // namespace

CVtWidget::CVtWidget(QWidget* parent) : QAbstractScrollArea(parent)
{
    setObjectName("VoltVT");
    setFrameShape(QFrame::NoFrame);
    // The margin shows the terminal's background, not the window's.
    setViewportMargins(kMargin, kMargin, kMargin, kMargin);
    setAutoFillBackground(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);
    horizontalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setPageStep(10);
    verticalScrollBar()->setSingleStep(1);
    // Scrolling with the bars takes the focus, so that typing goes on where the user looks.
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()})
        connect(bar, &QAbstractSlider::actionTriggered, this, [this] { setFocus(Qt::OtherFocusReason); });

    m_paintTimer.setSingleShot(true);
    m_paintTimer.setInterval(kFrameMs);
    connect(&m_paintTimer, &QTimer::timeout, this, [this] { viewport()->update(TakeDirty()); });
    m_autoScroll.setInterval(50);
    connect(&m_autoScroll, &QTimer::timeout, this, [this] { AutoScrollTick(); });

    QFont font(kDecFamily);
    font.setPixelSize(16);
    SetTerminalFont(font);
}

CVtWidget::~CVtWidget()
{
    if (m_screen != nullptr && &m_screen->Window() == this)
        m_screen->SetWindow(nullptr);
}

void CVtWidget::SetScreen(CVtScreen* screen)
{
    if (m_screen != nullptr && &m_screen->Window() == this)
        m_screen->SetWindow(nullptr);
    m_screen = screen;
    if (m_screen != nullptr) {
        m_screen->SetWindow(this);
        m_caretRow = m_screen->CursorRow();
        m_caretColumn = m_screen->CursorColumn();
    }
    Relayout();
    if (m_screen != nullptr)
        SetScrollPosition(std::max(0, m_screen->ScrollbackRows()));
}

void CVtWidget::SetLook(const CVtLook& look)
{
    if (look == m_look)
        return;
    const bool relayout = look.statusLine != m_look.statusLine;
    m_look = look;
    QPalette colours = palette();
    const uint32_t rgb = look.reverseScreen ? look.foreground : look.background;
    colours.setColor(QPalette::Window,
                     QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                            static_cast<int>(rgb & 0xFF)));
    setPalette(colours);
    if (relayout) {
        Relayout();
        ReportCells();
    }
    InvalidateAll();
}

void CVtWidget::SetTerminalFont(const QFont& requested)
{
    m_ownerFont = requested;
    m_zoom = 0;
    ApplyFont(requested);
}

void CVtWidget::ZoomFont(int step)
{
    constexpr int kSteps = 10;
    m_zoom = step == 0 ? 0 : std::clamp(m_zoom + step, -kSteps, kSteps);
    // Each step about a tenth, and always at least a pixel.
    QFont font = m_ownerFont;
    const double factor = std::pow(1.1, m_zoom);
    if (font.pixelSize() > 0) {
        const int base = font.pixelSize();
        int size = static_cast<int>(std::lround(base * factor));
        if (size == base && m_zoom != 0)
            size += m_zoom > 0 ? std::abs(m_zoom) : -std::abs(m_zoom);
        font.setPixelSize(std::clamp(size, 6, 96));
    } else {
        font.setPointSizeF(std::clamp(font.pointSizeF() * factor, 4.0, 72.0));
    }
    ApplyFont(font);
}

QSize CVtWidget::CellsThatFit() const
{
    const QRect area = contentsRect();
    const int width = area.width() - 2 * kMargin - verticalScrollBar()->sizeHint().width();
    const int height = area.height() - 2 * kMargin;
    const int rows = height / m_cellHeight - (m_look.statusLine ? 1 : 0);
    return QSize(std::max(width / m_cellWidth, 1), std::max(rows, 1));
}

void CVtWidget::ReportCells()
{
    if (m_events.viewCells && isVisible()) {
        const QSize cells = CellsThatFit();
        m_events.viewCells(cells.width(), cells.height());
    }
}

void CVtWidget::ApplyFont(const QFont& requested)
{
    QFont font = requested;
    m_decFace = requested.family().compare(kDecFamily, Qt::CaseInsensitive) == 0;
    if (m_decFace || requested.family().isEmpty())
        font.setFamily(DefaultFamily());
    font.setFixedPitch(true);
    font.setStyleHint(QFont::TypeWriter);
    font.setKerning(false);
    font.setUnderline(false);
    font.setHintingPreference(QFont::PreferFullHinting);
    if (!QFontInfo(font).fixedPitch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    // Cells take whole pixels; the letter spacing makes the glyph advance match, so that a
    // run drawn in one call lands on the cell grid however long it is.
    QFontMetricsF metrics(font);
    const double advance = metrics.horizontalAdvance(QLatin1Char('M'));
    m_cellWidth = std::max(1, static_cast<int>(std::lround(advance)));
    font.setLetterSpacing(QFont::AbsoluteSpacing, m_cellWidth - advance);
    m_ascent = static_cast<int>(std::ceil(metrics.ascent()));
    m_cellHeight = std::max(1, m_ascent + static_cast<int>(std::ceil(metrics.descent())));

    m_font = font;
    m_underlineFont = font;
    m_underlineFont.setUnderline(true);
    Relayout();
    if (hasFocus())
        MoveCaret(m_caretRow, m_caretColumn);
    ReportCells();
}

int CVtWidget::ColumnOffset() const
{
    return horizontalScrollBar()->value();
}

int CVtWidget::VisibleColumns() const
{
    const int columns = m_screen != nullptr ? m_screen->Columns() : kDefaultColumns;
    return std::min(columns, viewport()->width() / m_cellWidth);
}

QSize CVtWidget::SizeForCells(int columns, int rows) const
{
    return QSize(columns * m_cellWidth + verticalScrollBar()->sizeHint().width() + 2 * kMargin,
                 rows * m_cellHeight + 2 * kMargin);
}

QSize CVtWidget::sizeHint() const
{
    const int columns = m_screen != nullptr ? m_screen->Columns() : kDefaultColumns;
    const int rows = m_screen != nullptr ? m_screen->Rows() : kDefaultRows;
    return SizeForCells(columns, rows + (m_look.statusLine ? 1 : 0));
}

int CVtWidget::VisibleRows() const
{
    return viewport()->height() / m_cellHeight;
}

int CVtWidget::ScrollPosition() const
{
    return verticalScrollBar()->value();
}

void CVtWidget::SetScrollPosition(int position)
{
    verticalScrollBar()->setValue(position);
}

void CVtWidget::SetScrollRange(int maximum)
{
    verticalScrollBar()->setRange(0, std::max(0, maximum));
}

int CVtWidget::TotalViewLines() const
{
    if (m_screen == nullptr || !m_screen->HasBuffers())
        return 0;
    return m_screen->ScrollbackRows() + m_screen->Rows() + (m_look.statusLine ? 1 : 0);
}

void CVtWidget::Relayout()
{
    const int columns = m_screen != nullptr ? m_screen->Columns() : kDefaultColumns;
    const int rows = m_screen != nullptr ? m_screen->Rows() : kDefaultRows;
    const int history = m_screen != nullptr ? std::max(0, m_screen->ScrollbackRows()) : 0;
    // The horizontal bar depends only on the width, so deciding it first cannot oscillate.
    const bool narrow = VisibleColumns() < columns;
    setHorizontalScrollBarPolicy(narrow ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const int visibleRows = VisibleRows();
    // A view into the history keeps its distance from the bottom; a view of the screen
    // stays on the screen and shows as much of it as fits.
    QScrollBar* vertical = verticalScrollBar();
    const int fromBottom = vertical->maximum() - vertical->value();
    const bool onScreen = vertical->value() >= history;
    const int maximum = history + std::max(0, rows + (m_look.statusLine ? 1 : 0) - visibleRows);
    vertical->setRange(0, maximum);
    vertical->setPageStep(std::max(1, visibleRows));
    vertical->setValue(onScreen ? maximum : maximum - fromBottom);
    horizontalScrollBar()->setRange(0, std::max(0, columns - VisibleColumns()));
    InvalidateAll();
    MoveCaret(m_caretRow, m_caretColumn);
}

int CVtWidget::ViewRowOfScreenRow(int row) const
{
    if (m_screen == nullptr)
        return -1;
    const int line =
        row == kStatusRow ? m_screen->ScrollbackRows() + m_screen->Rows() : m_screen->ScrollbackRows() + row;
    return line - ScrollPosition();
}

void CVtWidget::ArmFrame()
{
    if (!m_framePending) {
        m_framePending = true;
        m_paintTimer.start();
    }
}

void CVtWidget::Schedule(const QRect& pixels)
{
    const QRect clipped = pixels.intersected(viewport()->rect());
    if (clipped.isEmpty())
        return;
    m_dirty += clipped;
    ArmFrame();
}

void CVtWidget::ScheduleRows(int firstViewRow, int lastViewRow)
{
    // Called for every change the emulator reports: the row count is worked out again only
    // when the view's height or the cell height changed.
    const int height = viewport()->height();
    if (height != m_dirtyHeight || m_cellHeight != m_dirtyCellHeight) {
        m_dirtyHeight = height;
        m_dirtyCellHeight = m_cellHeight;
        m_dirtyRowCount = (height + m_cellHeight - 1) / m_cellHeight;
    }
    const int rows = m_dirtyRowCount;
    firstViewRow = std::max(firstViewRow, 0);
    lastViewRow = std::min(lastViewRow, rows - 1);
    if (firstViewRow > lastViewRow)
        return;
    if (static_cast<int>(m_dirtyRows.size()) < rows)
        m_dirtyRows.resize(static_cast<size_t>(rows));
    std::fill(m_dirtyRows.begin() + firstViewRow, m_dirtyRows.begin() + lastViewRow + 1, 1);
    ArmFrame();
}

QRegion CVtWidget::TakeDirty()
{
    QRegion region = m_dirty;
    const int width = viewport()->width();
    const int rows = static_cast<int>(m_dirtyRows.size());
    for (int row = 0; row < rows;) {
        if (!m_dirtyRows[static_cast<size_t>(row)]) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < rows && m_dirtyRows[static_cast<size_t>(row)])
            m_dirtyRows[static_cast<size_t>(row++)] = 0;
        region += QRect(0, first * m_cellHeight, width, (row - first) * m_cellHeight);
    }
    m_dirty = QRegion();
    m_framePending = false;
    return region.intersected(viewport()->rect());
}

void CVtWidget::InvalidateCells(int top, int /*left*/, int bottom, int /*right*/)
{
    // Whole rows: a double-width line draws its columns elsewhere, and rows are cheap.
    if (top == kStatusRow || bottom == kStatusRow) {
        const int row = ViewRowOfScreenRow(kStatusRow);
        ScheduleRows(row, row);
        if (top == kStatusRow && bottom == kStatusRow)
            return;
        top = std::max(top, 0);
        bottom = std::max(bottom, 0);
    }
    ScheduleRows(ViewRowOfScreenRow(std::min(top, bottom)), ViewRowOfScreenRow(std::max(top, bottom)));
}

void CVtWidget::InvalidateAll()
{
    ScheduleRows(0, std::numeric_limits<int>::max() - 1);
}

void CVtWidget::FlushPaint()
{
    // Scrolls invalidate instead of moving pixels, so nothing drawn can go stale.
}

void CVtWidget::ScrollRows(int top, int bottom, int /*n*/, bool down)
{
    if (top == 0 && !down)
        InvalidateAll();  // history rows in view move as well
    else
        InvalidateCells(top, 0, bottom, 0);
}

void CVtWidget::MoveCaret(int row, int column)
{
    const int from = ViewRowOfScreenRow(m_caretRow);
    ScheduleRows(from, from);
    if (row != m_caretRow) {
        const int to = ViewRowOfScreenRow(row);
        ScheduleRows(to, to);
    }
    m_caretRow = row;
    m_caretColumn = column;
}

void CVtWidget::ShowCaret(bool show)
{
    m_caretShown = show;
    MoveCaret(m_caretRow, m_caretColumn);
}

void CVtWidget::PaintNow()
{
    m_paintTimer.stop();
    const QRegion dirty = TakeDirty();
    if (!dirty.isEmpty())
        viewport()->repaint(dirty);
}

void CVtWidget::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    Relayout();
    ReportCells();
}

void CVtWidget::showEvent(QShowEvent* event)
{
    QAbstractScrollArea::showEvent(event);
    ReportCells();
}

void CVtWidget::scrollContentsBy(int, int)
{
    InvalidateAll();
    MoveCaret(m_caretRow, m_caretColumn);
}

void CVtWidget::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    MoveCaret(m_caretRow, m_caretColumn);
}

void CVtWidget::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    MoveCaret(m_caretRow, m_caretColumn);
}

bool CVtWidget::focusNextPrevChild(bool)
{
    return false;  // Tab belongs to the host
}

void CVtWidget::ScrollView(VtViewScroll scroll)
{
    QScrollBar* vertical = verticalScrollBar();
    QScrollBar* horizontal = horizontalScrollBar();
    switch (scroll) {
    case VtViewScroll::RevealCursor: {
        const int row = ViewRowOfScreenRow(m_screen != nullptr ? m_screen->CursorRow() : 0);
        if (row >= VisibleRows() || row < 0)
            vertical->setValue(vertical->maximum());
        break;
    }
    case VtViewScroll::LineUp: vertical->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case VtViewScroll::LineDown: vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case VtViewScroll::PageUp: vertical->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case VtViewScroll::PageDown: vertical->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case VtViewScroll::Top: vertical->setValue(vertical->minimum()); break;
    case VtViewScroll::Bottom: vertical->setValue(vertical->maximum()); break;
    case VtViewScroll::ColumnLeft: horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case VtViewScroll::ColumnRight: horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case VtViewScroll::PageLeft: horizontal->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case VtViewScroll::PageRight: horizontal->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    }
}

void CVtWidget::SetSelection(int start, int length)
{
    m_selStart = std::max(0, start);
    m_selLength = std::max(0, length);
    UpdateCursorShape();
    InvalidateAll();
}

void CVtWidget::ClearSelection()
{
    if (m_selLength != 0)
        SetSelection(0, 0);
}

void CVtWidget::UpdateCursorShape()
{
    viewport()->setCursor(m_selLength != 0 ? Qt::ArrowCursor : Qt::IBeamCursor);
}
