#include <algorithm>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "vt/VtScreen.h"
#include "vt/qt/VtKeyTranslate.h"
#include "vt/qt/VtWidget.h"

namespace {

uint32_t KeyFlags(const QMouseEvent& event)
{
    // The classic mouse-message key flags: left 1, right 2, shift 4, control 8, middle 16.
    uint32_t flags = 0;
    if (event.buttons() & Qt::LeftButton)
        flags |= 1;
    if (event.buttons() & Qt::RightButton)
        flags |= 2;
    if (event.modifiers() & Qt::ShiftModifier)
        flags |= 4;
    if (event.modifiers() & Qt::ControlModifier)
        flags |= 8;
    if (event.buttons() & Qt::MiddleButton)
        flags |= 16;
    return flags;
}

}  // namespace

bool CVtWidget::Reserved(const QKeyEvent& key) const
{
    const QKeySequence pressed(key.keyCombination());
    return std::any_of(m_reserved.begin(), m_reserved.end(), [&](const QKeySequence& reserved) {
        return reserved.matches(pressed) == QKeySequence::ExactMatch;
    });
}

bool CVtWidget::event(QEvent* event)
{
    // Keys that would otherwise become shortcuts or focus moves belong to the host, except
    // those the application keeps for itself.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!Reserved(*key) && (m_altKeysToTerminal || !key->modifiers().testFlag(Qt::AltModifier))) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void CVtWidget::keyPressEvent(QKeyEvent* event)
{
    // A reserved key whose shortcut did not take it (a command not available now) is not
    // the host's either: Ctrl+Shift+C must never become an interrupt.
    if (Reserved(*event)) {
        event->accept();
        return;
    }
    const CVtKeyEvent key = CVtKeyTranslate::Translate(*event);
    VtKeyResult result = VtKeyResult::CharFollows;
    if (key.alt && m_events.sysKeyDown)
        result = m_events.sysKeyDown(key);
    else if (m_events.keyDown)
        result = m_events.keyDown(key);
    if (result == VtKeyResult::PassOn) {
        event->ignore();
        return;
    }
    event->accept();
    if (result == VtKeyResult::CharFollows && m_events.charTyped) {
        const int character = CVtKeyTranslate::Character(*event);
        if (character >= 0)
            m_events.charTyped(static_cast<uint32_t>(character), key);
    }
}

int CVtWidget::CellIndexAt(const QPoint& pos, bool& inside) const
{
    const int columns = m_screen->Columns();
    const int lines = m_screen->ScrollbackRows() + m_screen->Rows();
    const int column = std::clamp((pos.x() + m_cellWidth / 2) / m_cellWidth + ColumnOffset(), 0, columns);
    int line = (pos.y() >= 0 ? pos.y() / m_cellHeight : -1) + ScrollPosition();
    inside =
        pos.x() >= 0 && pos.y() >= 0 && line < lines && pos.x() < (columns - ColumnOffset()) * m_cellWidth;
    line = std::clamp(line, 0, lines - 1);
    return line * columns + column;
}

void CVtWidget::ExtendSelection(const QPoint& pos)
{
    bool inside = false;
    const int index = CellIndexAt(pos, inside);
    SetSelection(std::min(m_anchor, index), std::abs(index - m_anchor));
}

void CVtWidget::AutoScrollTick()
{
    if (m_anchor < 0) {
        m_autoScroll.stop();
        return;
    }
    QScrollBar* vertical = verticalScrollBar();
    if (m_lastMouse.y() < m_cellHeight / 2)
        vertical->setValue(vertical->value() - 1);
    else if (m_lastMouse.y() >= VisibleRows() * m_cellHeight)
        vertical->setValue(vertical->value() + 1);
    else
        m_autoScroll.stop();
    ExtendSelection(m_lastMouse);
}

void CVtWidget::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (m_events.mouse)
            m_events.mouse(pos.x(), pos.y(), VtMouse::LeftDown, KeyFlags(*event));
        if (m_screen != nullptr && m_screen->HasBuffers()) {
            bool inside = false;
            const int index = CellIndexAt(pos, inside);
            ClearSelection();
            if (inside) {
                m_anchor = index;
                m_lastMouse = pos;
            }
        }
        setFocus(Qt::MouseFocusReason);
    } else if (event->button() == Qt::RightButton && m_events.mouse) {
        m_events.mouse(pos.x(), pos.y(), VtMouse::RightDown, KeyFlags(*event));
    } else if (event->button() == Qt::MiddleButton && m_events.pasteSelection) {
        setFocus(Qt::MouseFocusReason);
        m_events.pasteSelection();
    }
}

void CVtWidget::mouseMoveEvent(QMouseEvent* event)
{
    if (m_anchor < 0)
        return;
    m_lastMouse = event->position().toPoint();
    const bool outside =
        m_lastMouse.y() < m_cellHeight / 2 || m_lastMouse.y() >= VisibleRows() * m_cellHeight;
    if (outside) {
        AutoScrollTick();  // one line per move, and on while the pointer rests there
        if (!m_autoScroll.isActive())
            m_autoScroll.start();
    } else {
        ExtendSelection(m_lastMouse);
    }
}

void CVtWidget::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (m_anchor >= 0) {
            ExtendSelection(pos);
            m_anchor = -1;
            m_autoScroll.stop();
        }
        if (m_events.mouse)
            m_events.mouse(pos.x(), pos.y(), VtMouse::LeftUp, KeyFlags(*event));
    } else if (event->button() == Qt::RightButton && m_events.mouse) {
        m_events.mouse(pos.x(), pos.y(), VtMouse::RightUp, KeyFlags(*event));
    }
}

void CVtWidget::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton) {
        if (m_events.mouse)
            m_events.mouse(pos.x(), pos.y(), VtMouse::LeftDouble, KeyFlags(*event));
        InvalidateAll();
    } else if (event->button() == Qt::RightButton && m_events.mouse) {
        m_events.mouse(pos.x(), pos.y(), VtMouse::RightDouble, KeyFlags(*event));
    }
}
