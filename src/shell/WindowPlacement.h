#pragma once
// Where the program's own windows first appear, and that they fit on the screen: at a large scale
// (a hi-DPI screen at twice the size) a window laid out for a normal screen must neither be taller
// than the screen nor open partly off it.

#include <QMargins>
#include <QObject>
#include <QRect>

#include <map>

class QApplication;
class QEvent;
class QWidget;

namespace shell {

// Sizes the window to its contents and moves it to the middle of the window that owns it, or of its
// screen when no owner is showing; then fits it on the screen (below).
void CentreOverOwner(QWidget* window);

// The place a window of `size` with the window manager's `frame` around it may take in `area` (the
// screen's available area): no larger than the area less the frame (never below `minimum`), moved
// the least so that the frame lies wholly inside the area.
QRect FittedGeometry(const QRect& wanted, const QMargins& frame, const QRect& area, const QSize& minimum);

// Fits a top-level window on the available area of its screen (FittedGeometry with the frame the
// window manager gives the program's windows).
void FitOnScreen(QWidget* window);

// A page in a frame without border that scrolls when the window is made smaller than the page's
// least size (and looks like the page alone when it is not), so that the page does not set the
// window's least size. The page's least size stays its own: nothing in it is squeezed or clipped.
QWidget* ScrollsWhenSmall(QWidget* page);

// While it lives, every window of the program is fitted on its screen as it is shown (main() keeps
// one for the program's run; tests that show windows as the program does keep one too).
class WindowsOnScreen final : public QObject {
public:
    explicit WindowsOnScreen(QApplication& app);
    ~WindowsOnScreen() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QApplication& m_app;
    // Windows shown and not yet placed by the window manager: a window manager may map a window with
    // the size it was made with before it sees the fitted one, so the place it reports is looked at
    // (and fitted again, a few times at most) until it reports a framed place on the screen.
    std::map<QWidget*, int> m_settling;
};

} // namespace shell
