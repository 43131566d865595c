#pragma once
// The sheet of thumbnails (`picFrame`, the visible window onto it; its viewport is `picSlide` and
// its vertical scroll bar `vsbSlide`): cells one thumbnail button in size, laid row by row from the
// top left with no gap and laid out again when the window's width changes. Each cell is drawn as a
// graphical option button: the canvas with the picture centred on it, the caption beneath, pressed
// when selected. The cells follow the thumbnail size; Enter or Return on a thumbnail asks to open
// it (as a double click does), and Ctrl with the mouse wheel asks for larger or smaller thumbnails.

#include "viewer/basThumbs.h"

#include <QListView>
#include <QStyledItemDelegate>

namespace viewer {

class ThumbSheet;

class ThumbDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit ThumbDelegate(ThumbSheet* sheet);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    const ThumbSheet* m_sheet;
};

class ThumbSheet final : public QListView {
    Q_OBJECT
public:
    explicit ThumbSheet(QWidget* parent = nullptr);
    // Thumbnails a row has at the current width (at least 1).
    int columns() const;
    // The largest a picture is drawn, in units, and the cell that holds it.
    int thumbnailSize() const { return m_thumbnailSize; }
    void setThumbnailSize(int size);
    QSize cellSize() const { return {CellWidth(m_thumbnailSize), CellHeight(m_thumbnailSize)}; }
    // Width available to a caption: the button's width less one pixel.
    int captionWidth() const { return CellWidth(m_thumbnailSize) - 1; }

signals:
    // Enter or Return on the current thumbnail.
    void openRequested(const QModelIndex& index);
    // Ctrl + wheel: whole steps up (larger, positive) or down (smaller, negative).
    void sizeStepRequested(int steps);

protected:
    void updateGeometries() override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    int m_thumbnailSize = kDefaultThumbnailSize;
    int m_wheelRest = 0; // eighths of a degree turned with Ctrl held, not yet a whole step
};

} // namespace viewer
