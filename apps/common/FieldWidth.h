#pragma once

class QLineEdit;

// Sizes a field for the numbers it holds: at least wide enough for `digits` digits in its own
// font and style, and (when `fixed`) no wider, so a port or a count is never shown cut.
void FitFieldToDigits(QLineEdit* edit, int digits, bool fixed = true);
