#pragma once
// The sheet of thumbnails (`picFrame`, the visible window onto it; its viewport is `picSlide` and
// its vertical scroll bar `vsbSlide`): cells one thumbnail button in size, laid row by row from the
// top left with no gap and laid out again when the window's width changes. Each cell is drawn as a
// graphical option button: the 70-unit canvas with the picture centred on it, the caption beneath,
// pressed when selected.

#include <QListView>
#include <QStyledItemDelegate>

namespace viewer {

class ThumbDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class ThumbSheet final : public QListView {
    Q_OBJECT
public:
    explicit ThumbSheet(QWidget* parent = nullptr);
    // Thumbnails a row has at the current width (at least 1).
    int columns() const;
    // Width available to a caption: the button's width less one pixel.
    static int captionWidth();

protected:
    void updateGeometries() override;
};

} // namespace viewer
