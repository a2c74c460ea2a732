#pragma once

#include <QColor>

class QWidget;

// The standard colours the forms use for their status panels and labels.
inline const QColor kColorMaroon(0x80, 0x00, 0x00);
inline const QColor kColorGreen(0x00, 0x80, 0x00);
inline const QColor kColorYellow(0xFF, 0xFF, 0x00);
inline const QColor kColorNavy(0x00, 0x00, 0x80);
inline const QColor kColorWhite(0xFF, 0xFF, 0xFF);
inline const QColor kColorBlack(0x00, 0x00, 0x00);

// Paints a label or panel: background and text colour.
void SetFormColors(QWidget* widget, const QColor& background, const QColor& text);
QColor BackgroundColor(const QWidget* widget);
QColor TextColor(const QWidget* widget);
