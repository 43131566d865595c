#include "shell/WindowPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QLayout>
#include <QRect>
#include <QScreen>
#include <QScrollArea>
#include <QWidget>

#include <algorithm>

namespace shell {

namespace {

QMargins frameOf(const QWidget* w) {
    const QRect outer = w->frameGeometry();
    const QRect inner = w->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

// The frame a window manager draws around the program's windows: read off a window already shown
// with one; before any is, a title bar and thin borders are assumed, so that a first window is not
// made taller than the screen by its own title bar.
QMargins frameOfShownWindows(const QWidget* except) {
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (w == except || !w->isVisible() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
            continue;
        const QMargins frame = frameOf(w);
        if (!frame.isNull())
            return frame;
    }
    return {4, 30, 4, 4};
}

bool isFittedKind(const QWidget* w) {
    switch (w->windowType()) {
    case Qt::Window:
    case Qt::Dialog:
    case Qt::Sheet:
    case Qt::Tool:
        return true;
    default:
        return false;
    }
}

} // namespace

QRect FittedGeometry(const QRect& wanted, const QMargins& frame, const QRect& area, const QSize& minimum) {
    if (area.isEmpty())
        return wanted;
    const QSize room = area.marginsRemoved(frame).size();
    const QSize size(std::max(std::min(wanted.width(), room.width()), minimum.width()),
                     std::max(std::min(wanted.height(), room.height()), minimum.height()));
    // The frame's right or bottom edge past the area moves the window back; then its left or top
    // edge before the area moves it forward (a window larger than the area keeps its top left in).
    int x = std::min(wanted.x(), area.right() - frame.right() - size.width() + 1);
    int y = std::min(wanted.y(), area.bottom() - frame.bottom() - size.height() + 1);
    x = std::max(x, area.left() + frame.left());
    y = std::max(y, area.top() + frame.top());
    return {QPoint(x, y), size};
}

void FitOnScreen(QWidget* window) {
    QScreen* screen = window->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // A window whose frame the platform knows already (shown before) is fitted with its own frame.
    QMargins frame = frameOf(window);
    if (frame.isNull())
        frame = frameOfShownWindows(window);
    // The least size the window's layout allows (what the window manager is told).
    QSize minimum = window->minimumSize();
    if (window->layout() && window->layout()->sizeConstraint() != QLayout::SetNoConstraint)
        minimum = minimum.expandedTo(window->layout()->totalMinimumSize());
    const QRect fitted = FittedGeometry(window->geometry(), frame, area, minimum);
    if (fitted.size() != window->size())
        window->resize(fitted.size());
    // Moved by the distance its inside must go (pos() may or may not count the frame: the shift is
    // the same either way).
    if (fitted.topLeft() != window->geometry().topLeft())
        window->move(window->pos() + (fitted.topLeft() - window->geometry().topLeft()));
}

QWidget* ScrollsWhenSmall(QWidget* page) {
    auto* area = new QScrollArea;
    area->setObjectName(page->objectName() + QStringLiteral("Scroll"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(page);
    return area;
}

void CentreOverOwner(QWidget* window) {
    window->adjustSize();
    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    QRect area = owner && owner->isVisible() ? owner->frameGeometry() : QRect();
    if (area.isEmpty() && window->screen())
        area = window->screen()->availableGeometry();
    if (!area.isEmpty())
        window->move(area.center() - window->rect().center());
    FitOnScreen(window);
}

WindowsOnScreen::WindowsOnScreen(QApplication& app) : QObject(&app), m_app(app) {
    m_app.installEventFilter(this);
}

WindowsOnScreen::~WindowsOnScreen() {
    m_app.removeEventFilter(this);
}

bool WindowsOnScreen::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType())
        return QObject::eventFilter(watched, event);
    auto* w = static_cast<QWidget*>(watched);
    const QEvent::Type type = event->type();
    if (type == QEvent::Hide || type == QEvent::Destroy) {
        m_settling.erase(w);
    } else if (type == QEvent::Show && !event->spontaneous() && w->isWindow() && isFittedKind(w)) {
        // Before the window is mapped: the window manager is told the fitted place at once.
        FitOnScreen(w);
        m_settling[w] = 0;
    } else if ((type == QEvent::Move || type == QEvent::Resize) && event->spontaneous()) {
        const auto settling = m_settling.find(w);
        if (settling != m_settling.end() && !frameOf(w).isNull()) {
            const bool onScreen = w->screen() && w->screen()->availableGeometry().contains(w->frameGeometry());
            if (onScreen || ++settling->second > 3)
                m_settling.erase(settling);
            else
                FitOnScreen(w);
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace shell
