#include "apps/common/FieldWidth.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// The caret and the field's own margin left and right.
constexpr int kTextPadding = 2 * 2 + 1;

}  // namespace

namespace {

// The field's width for a text `textWidth` pixels wide.
int WidthFor(QLineEdit* edit, int textWidth)
{
    const QMargins margins = edit->textMargins();
    const int text = textWidth + kTextPadding + margins.left() + margins.right();
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    return edit->style()
        ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(text, edit->sizeHint().height()), edit)
        .width();
}

}  // namespace

void FitFieldToDigits(QLineEdit* edit, int digits, bool fixed)
{
    const int width =
        WidthFor(edit, edit->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0'))));
    edit->setMinimumWidth(width);
    if (fixed)
        edit->setMaximumWidth(width);
}

void FitFieldToText(QLineEdit* edit, const QString& text)
{
    edit->setMinimumWidth(WidthFor(edit, edit->fontMetrics().horizontalAdvance(text)));
}
