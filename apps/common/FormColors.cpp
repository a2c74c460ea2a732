#include "apps/common/FormColors.h"

#include <QPalette>
#include <QWidget>

void SetFormColors(QWidget* widget, const QColor& background, const QColor& text)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, text);
    widget->setAutoFillBackground(true);
    widget->setPalette(palette);
}

QColor BackgroundColor(const QWidget* widget)
{
    return widget->palette().color(QPalette::Window);
}

QColor TextColor(const QWidget* widget)
{
    return widget->palette().color(QPalette::WindowText);
}
