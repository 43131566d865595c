#include "viewer/ThumbnailModel.h"

#include <QByteArray>
#include <QString>

#include <algorithm>

namespace viewer {

ThumbnailModel::ThumbnailModel(QObject* parent) : QAbstractListModel(parent) {
}

void ThumbnailModel::setCaptionFitter(std::function<std::string(const std::string&)> fit) {
    m_fit = std::move(fit);
    for (auto& row : m_rows)
        row.caption = m_fit ? m_fit(row.fileName) : row.fileName;
    if (!m_rows.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {Qt::DisplayRole, Qt::AccessibleTextRole});
}

void ThumbnailModel::clear() {
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    endResetModel();
}

void ThumbnailModel::addThumbnail(int fileIndex, const std::string& fileName, const QImage& picture) {
    // Pictures mostly arrive in file order: the place is then at the end.
    auto at = m_rows.end();
    if (!m_rows.empty() && m_rows.back().fileIndex > fileIndex)
        at = std::upper_bound(m_rows.begin(), m_rows.end(), fileIndex,
                              [](int i, const Thumb& t) { return i < t.fileIndex; });
    const int row = static_cast<int>(at - m_rows.begin());
    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(at, Thumb{fileIndex, fileName, m_fit ? m_fit(fileName) : fileName, picture});
    endInsertRows();
    // Rows after it now stand for the next buttons: their names moved by one.
    if (row + 1 < rowCount())
        emit dataChanged(index(row + 1), index(rowCount() - 1), {NameRole});
}

int ThumbnailModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant ThumbnailModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Thumb& t = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLocal8Bit(t.caption);
    case Qt::ToolTipRole:
    case Qt::AccessibleTextRole:
        return QString::fromLocal8Bit(t.fileName);
    case FileNameRole:
        return QByteArray::fromStdString(t.fileName);
    case PictureRole:
        return t.picture;
    case NameRole:
        return QStringLiteral("optThumb(%1)").arg(index.row());
    default:
        return {};
    }
}

Qt::ItemFlags ThumbnailModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

std::string ThumbnailModel::fileName(int row) const {
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].fileName : std::string();
}

int ThumbnailModel::rowOf(const std::string& fileName) const {
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].fileName == fileName)
            return static_cast<int>(i);
    return -1;
}

std::string ThumbnailModel::caption(int row) const {
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].caption : std::string();
}

QImage ThumbnailModel::picture(int row) const {
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].picture : QImage();
}

} // namespace viewer
