#pragma once
// Where the program's own windows first appear.

class QWidget;

namespace shell {

// Sizes the window to its contents and moves it to the middle of the window that owns it, or of its
// screen when no owner is showing.
void CentreOverOwner(QWidget* window);

} // namespace shell
