#pragma once
// The line about a short password's strength under a new password's box, shared by the first-run
// window, Change Password and the main window's password boxes when locks are strong.

class QLabel;
class QLineEdit;
class QString;
class QWidget;

namespace settings {

// Below this many characters a new password gets the hint (it is still accepted).
inline constexpr int kShortPasswordHintBelow = 8;
// Whether a box holding `text` shows the hint: not empty and shorter than kShortPasswordHintBelow
// characters.
bool IsShortPasswordText(const QString& text);
// The hint alone ("lblShortPassword", hidden): its owner shows it.
QLabel* MakeShortPasswordLabel(QWidget* parent);
// The hint shown while the box holds a short text (IsShortPasswordText).
QLabel* MakeShortPasswordHint(QLineEdit* box, QWidget* parent);

} // namespace settings
