#include "viewer/ThumbSheet.h"

#include "viewer/ThumbnailModel.h"
#include "viewer/basThumbs.h"

#include <QApplication>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>

namespace viewer {

namespace {
constexpr int kCanvasTop = 4; // the canvas sits this far below the button's top edge
}

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
    const QRect canvas(cell.x() + (cell.width() - kCanvasUnits) / 2, cell.y() + kCanvasTop, kCanvasUnits,
                       kCanvasUnits);
    painter->fillRect(canvas, option.palette.button());
    const QImage picture = index.data(ThumbnailModel::PictureRole).value<QImage>();
    if (!picture.isNull()) {
        const QSizeF size = picture.deviceIndependentSize();
        const Placement p = PlaceInCanvas(size.width(), size.height());
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
    return {kCellWidth, kCellHeight};
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
    setGridSize(QSize(kCellWidth, kCellHeight));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setItemDelegate(new ThumbDelegate(this));
    // The sheet has the button-face background.
    viewport()->setBackgroundRole(QPalette::Button);
    setAccessibleName(QStringLiteral("Thumbnails"));
}

int ThumbSheet::columns() const {
    return std::max(1, viewport()->width() / kCellWidth);
}

int ThumbSheet::captionWidth() {
    return kCellWidth - 1;
}

void ThumbSheet::updateGeometries() {
    QListView::updateGeometries();
    // One thumbnail height a small step; the scroll bar is off while the sheet fits the window.
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(kCellHeight);
    bar->setPageStep(std::max(kCellHeight, viewport()->height() - kCellHeight));
    bar->setEnabled(bar->maximum() > 0);
}

} // namespace viewer
