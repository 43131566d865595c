#pragma once
// The sheet of thumbnails as a list model: one row per image shown, in the order of the folder's
// files (a file that could not be decoded has no row). Row i stands for thumbnail button i
// ("optThumb(i)"): its text is the fitted caption, and it keeps its image's file name and picture.

#include <QAbstractListModel>
#include <QImage>

#include <functional>
#include <string>
#include <vector>

namespace viewer {

class ThumbnailModel final : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        FileNameRole = Qt::UserRole, // QByteArray: the file name as bytes
        PictureRole,                 // QImage: the thumbnail (its device pixel ratio gives its size in units)
        NameRole,                    // QString: "optThumb(i)"
    };

    explicit ThumbnailModel(QObject* parent = nullptr);

    // How captions are fitted (the sheet's font and the button's width); refits every row.
    void setCaptionFitter(std::function<std::string(const std::string&)> fit);

    // Empties the sheet.
    void clear();
    // Adds the thumbnail of file number `fileIndex`, at its place among the rows by that number.
    void addThumbnail(int fileIndex, const std::string& fileName, const QImage& picture);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The file name of row `row` ("" outside the sheet), its caption, its picture.
    std::string fileName(int row) const;
    // The row of the image with that file name, -1 when the sheet has none.
    int rowOf(const std::string& fileName) const;
    std::string caption(int row) const;
    QImage picture(int row) const;

private:
    struct Thumb {
        int fileIndex;
        std::string fileName;
        std::string caption;
        QImage picture;
    };
    std::vector<Thumb> m_rows;
    std::function<std::string(const std::string&)> m_fit;
};

} // namespace viewer
