#include "viewer/ThumbSheet.h"

#include "viewer/ThumbnailModel.h"
#include "viewer/basThumbs.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWheelEvent>

namespace viewer {

namespace {
constexpr int kCanvasTop = 4; // the canvas sits this far below the button's top edge
}

ThumbDelegate::ThumbDelegate(ThumbSheet* sheet) : QStyledItemDelegate(sheet), m_sheet(sheet) {}

void ThumbDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect cell = option.rect;
    const bool selected = option.state & QStyle::State_Selected;

    painter->save();
    // The button: raised, or pressed in while it is the chosen one.
    QStyleOptionButton button;
    button.initFrom(widget);
    button.rect = cell;
    button.state = QStyle::State_Enabled | (selected ? QStyle::State_Sunken | QStyle::State_On : QStyle::State_Raised);
    if (option.state & QStyle::State_HasFocus)
        button.state |= QStyle::State_HasFocus;
    style->drawControl(QStyle::CE_PushButtonBevel, &button, painter, widget);

    // The canvas in the button's face colour, with the picture centred on it.
    const int size = m_sheet->thumbnailSize();
    const int canvasUnits = CanvasUnits(size);
    const QRect canvas(cell.x() + (cell.width() - canvasUnits) / 2, cell.y() + kCanvasTop, canvasUnits, canvasUnits);
    painter->fillRect(canvas, option.palette.button());
    const QImage picture = index.data(ThumbnailModel::PictureRole).value<QImage>();
    if (!picture.isNull()) {
        const QSizeF units = picture.deviceIndependentSize();
        const Placement p = PlaceInCanvas(units.width(), units.height(), size);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(QRectF(canvas.x() + p.x, canvas.y() + p.y, p.width, p.height), picture);
    }

    if (selected) { // the chosen button also shows the selection colour, to be seen at a glance
        painter->setPen(QPen(option.palette.highlight(), 2));
        painter->drawRect(QRectF(canvas).adjusted(-1, -1, 1, 1));
    }

    // The fitted caption under the canvas.
    const QRect text(cell.x(), canvas.bottom() + 1, cell.width(), cell.bottom() - canvas.bottom());
    painter->setPen(option.palette.color(QPalette::ButtonText));
    painter->setFont(option.font);
    painter->drawText(text, Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}

QSize ThumbDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return m_sheet->cellSize();
}

ThumbSheet::ThumbSheet(QWidget* parent) : QListView(parent) {
    setObjectName(QStringLiteral("picFrame"));
    viewport()->setObjectName(QStringLiteral("picSlide"));
    verticalScrollBar()->setObjectName(QStringLiteral("vsbSlide"));
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setSpacing(0);
    setGridSize(cellSize());
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setItemDelegate(new ThumbDelegate(this));
    // The sheet has the button-face background.
    viewport()->setBackgroundRole(QPalette::Button);
    setAccessibleName(QStringLiteral("Thumbnails"));
}

int ThumbSheet::columns() const {
    return std::max(1, viewport()->width() / cellSize().width());
}

void ThumbSheet::setThumbnailSize(int size) {
    size = ClampThumbnailSize(size);
    if (size == m_thumbnailSize)
        return;
    m_thumbnailSize = size;
    setGridSize(cellSize());
    scheduleDelayedItemsLayout();
    viewport()->update();
}

void ThumbSheet::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid() &&
        !(event->modifiers() & ~Qt::KeypadModifier)) {
        emit openRequested(currentIndex());
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void ThumbSheet::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        m_wheelRest = 0;
        QListView::wheelEvent(event);
        return;
    }
    // One notch (15 degrees, 120 eighths) is one step; touchpads send it in smaller pieces.
    m_wheelRest += event->angleDelta().y();
    const int steps = m_wheelRest / 120;
    m_wheelRest -= steps * 120;
    if (steps != 0)
        emit sizeStepRequested(steps);
    event->accept();
}

void ThumbSheet::updateGeometries() {
    QListView::updateGeometries();
    // One thumbnail height a small step; the scroll bar is off while the sheet fits the window.
    QScrollBar* bar = verticalScrollBar();
    const int cellHeight = cellSize().height();
    bar->setSingleStep(cellHeight);
    bar->setPageStep(std::max(cellHeight, viewport()->height() - cellHeight));
    bar->setEnabled(bar->maximum() > 0);
}

} // namespace viewer
