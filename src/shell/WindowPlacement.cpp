#include "shell/WindowPlacement.h"

#include <QRect>
#include <QScreen>
#include <QWidget>

namespace shell {

void CentreOverOwner(QWidget* window) {
    window->adjustSize();
    const QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    QRect area = owner && owner->isVisible() ? owner->frameGeometry() : QRect();
    if (area.isEmpty() && window->screen())
        area = window->screen()->availableGeometry();
    if (!area.isEmpty())
        window->move(area.center() - window->rect().center());
}

} // namespace shell
