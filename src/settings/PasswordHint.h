#pragma once
// The word of advice under a new application password's box, shared by the first-run window and
// Change Password.

class QLabel;
class QLineEdit;
class QWidget;

namespace settings {

// Below this many characters a new application password gets the hint (it is still accepted).
inline constexpr int kShortPasswordHintBelow = 8;
// A hint ("lblShortPassword") shown while the box holds a text shorter than kShortPasswordHintBelow
// characters (and not empty).
QLabel* MakeShortPasswordHint(QLineEdit* box, QWidget* parent);

} // namespace settings
