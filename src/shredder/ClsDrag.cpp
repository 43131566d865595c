#include "shredder/ClsDrag.h"

#include "platform/Environment.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include <exception>

namespace {
bool carriesLocalFiles(const QMimeData* mime) {
    if (!mime || !mime->hasUrls())
        return false;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            return true;
    return false;
}
} // namespace

ClsDrag::ClsDrag(QObject* parent) : QObject(parent) {}

ClsDrag::~ClsDrag() {
    Stop_SubClass();
}

void ClsDrag::Start_SubClass(QWidget* window) {
    Stop_SubClass();
    if (!window)
        return;
    auto* area = qobject_cast<QAbstractScrollArea*>(window);
    m_window = window;
    m_target = area ? area->viewport() : window;
    m_hadAcceptDrops = window->acceptDrops();
    window->setAcceptDrops(true);
    m_target->setAcceptDrops(true);
    m_target->installEventFilter(this);
}

void ClsDrag::Stop_SubClass() {
    if (!m_target)
        return;
    m_target->removeEventFilter(this);
    m_target->setAcceptDrops(m_hadAcceptDrops);
    if (m_window)
        m_window->setAcceptDrops(m_hadAcceptDrops);
    m_target.clear();
    m_window.clear();
}

bool ClsDrag::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_target)
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (carriesLocalFiles(drag->mimeData())) {
            drag->setDropAction(Qt::CopyAction);
            drag->accept();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!carriesLocalFiles(drop->mimeData())) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // Every item of the drop, not only the first.
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (!url.isLocalFile())
                continue;
            std::string path;
            try {
                path = platform::toWindows(url.toLocalFile().toLocal8Bit().toStdString());
            } catch (const std::exception&) {
                // A dropped file outside every drive cannot be shredded: it is not offered.
            }
            if (!path.empty())
                emit GetFileName(path);
        }
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}
