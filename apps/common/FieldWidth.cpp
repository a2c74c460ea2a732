#include "apps/common/FieldWidth.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// The caret and the field's own margin left and right.
constexpr int kTextPadding = 2 * 2 + 1;

}  // namespace

void FitFieldToDigits(QLineEdit* edit, int digits, bool fixed)
{
    const QMargins margins = edit->textMargins();
    const int text = edit->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0'))) + kTextPadding +
                     margins.left() + margins.right();
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    const int width =
        edit->style()
            ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(text, edit->sizeHint().height()), edit)
            .width();
    edit->setMinimumWidth(width);
    if (fixed)
        edit->setMaximumWidth(width);
}
