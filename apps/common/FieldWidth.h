#pragma once

class QLineEdit;
class QString;

// Sizes a field for the numbers it holds: at least wide enough for `digits` digits in its own
// font and style, and (when `fixed`) no wider, so a port or a count is never shown cut.
void FitFieldToDigits(QLineEdit* edit, int digits, bool fixed = true);

// At least wide enough to show `text` whole in the field's own font and style.
void FitFieldToText(QLineEdit* edit, const QString& text);
