#pragma once

#include <string>
#include <vector>

class QWidget;

// What a user would find cut when the form is shrunk as far as it goes. The form is shown at
// its minimum size and every visible control is measured with its own font:
// - a label's text (a word-wrapped label: the height its text needs at its width),
// - a button's, check box's or radio button's caption, a group box's title,
// - a field's text, and for a short field (at most 10 characters) room for that many digits,
//   so that a port or a count can be read whole,
// - the window title, beside the room a title bar takes for its icon and buttons.
// Returns one line per thing that does not fit, naming the control; empty when all are whole.
std::vector<std::string> TextsCutAtMinimumSize(QWidget& form);

// The same measures on the form at its present size.
std::vector<std::string> TextsCut(QWidget& form);
