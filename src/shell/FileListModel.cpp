#include "shell/FileListModel.h"

#include "shell/GateWidgets.h"
#include "shell/Icons.h"

#include <QByteArray>
#include <QPixmap>

#include <algorithm>
#include <numeric>
#include <utility>

namespace shell {

namespace {

constexpr int kColumns = 3;

} // namespace

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent), m_lock(shell::lockIcon()) {
    // A type without a picture gets an empty one of the same size, so every name starts in the same
    // column.
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    m_blank = QIcon(blank);
}

void FileListModel::sortEntries(std::vector<Entry>& entries) const {
    const auto column = static_cast<FileColumn>(m_sortColumn);
    const auto less = [column](const Entry& a, const Entry& b) {
        return RowLess(column, a.file.text, a.file.bytes, a.file.type, b.file.text, b.file.bytes, b.file.type);
    };
    // Ties go by name, and names are in a total order: descending is the exact reverse of ascending.
    if (m_sortOrder == Qt::AscendingOrder) {
        if (!std::is_sorted(entries.begin(), entries.end(), less))
            std::stable_sort(entries.begin(), entries.end(), less);
    } else {
        const auto greater = [&less](const Entry& a, const Entry& b) { return less(b, a); };
        if (!std::is_sorted(entries.begin(), entries.end(), greater))
            std::stable_sort(entries.begin(), entries.end(), greater);
    }
}

void FileListModel::setRows(std::vector<FileRow> rows) {
    std::vector<Entry> entries;
    entries.reserve(rows.size());
    for (FileRow& row : rows)
        entries.push_back({std::move(row), false, {}});
    sortEntries(entries);
    beginResetModel();
    m_rows = std::move(entries);
    m_checkedCount = 0;
    endResetModel();
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry& entry = m_rows[static_cast<std::size_t>(index.row())];
    const FileRow& file = entry.file;
    switch (index.column()) {
    case 0:
        switch (role) {
        case Qt::DisplayRole:
            return shell::fromBytes(file.text);
        case Qt::CheckStateRole:
            return entry.checked ? Qt::Checked : Qt::Unchecked;
        case Qt::DecorationRole:
            if (file.lockIcon)
                return m_lock;
            if (entry.icon.isNull())
                entry.icon = shell::fileTypeIcon(shell::fromBytes(file.text));
            return entry.icon.isNull() ? m_blank : entry.icon;
        case KeyRole:
            return QByteArray::fromStdString(file.key);
        case TextRole:
            return QByteArray::fromStdString(file.text);
        case SmallIconRole:
            return file.lockIcon ? QVariant(QStringLiteral("lock")) : QVariant();
        default:
            return {};
        }
    case 1:
        switch (role) {
        case Qt::DisplayRole:
            return shell::fromBytes(file.size);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        case BytesRole:
            return static_cast<qlonglong>(file.bytes);
        default:
            return {};
        }
    case 2:
        return role == Qt::DisplayRole ? QVariant(shell::fromBytes(file.type)) : QVariant();
    default:
        return {};
    }
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != 0 ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    setChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumns)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        static const char* const captions[kColumns] = {"Name", "Size", "Type"};
        return QString::fromLatin1(captions[section]);
    }
    // A click on another column's header sorts it ascending first.
    if (role == Qt::InitialSortOrderRole)
        return static_cast<int>(Qt::AscendingOrder);
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (index.column() == 0)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

void FileListModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= kColumns)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    if (m_rows.empty())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Sort the positions, then move the rows and every persistent index (the selection, the current
    // row) to their new places.
    std::vector<Entry> sorted(m_rows.size());
    std::vector<std::size_t> from(m_rows.size());
    std::iota(from.begin(), from.end(), std::size_t{0});
    {
        const auto c = static_cast<FileColumn>(column);
        const auto less = [this, c](std::size_t a, std::size_t b) {
            const FileRow& x = m_rows[a].file;
            const FileRow& y = m_rows[b].file;
            return RowLess(c, x.text, x.bytes, x.type, y.text, y.bytes, y.type);
        };
        if (order == Qt::AscendingOrder)
            std::stable_sort(from.begin(), from.end(), less);
        else
            std::stable_sort(from.begin(), from.end(), [&less](std::size_t a, std::size_t b) { return less(b, a); });
    }
    std::vector<int> to(m_rows.size());
    for (std::size_t i = 0; i < from.size(); ++i) {
        sorted[i] = std::move(m_rows[from[i]]);
        to[from[i]] = static_cast<int>(i);
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(index.isValid() ? createIndex(to[static_cast<std::size_t>(index.row())], index.column())
                                     : QModelIndex());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileListModel::setChecked(int r, bool checked) {
    Entry& entry = m_rows[static_cast<std::size_t>(r)];
    if (entry.checked == checked)
        return;
    entry.checked = checked;
    m_checkedCount += checked ? 1 : -1;
    const QModelIndex at = index(r, 0);
    emit dataChanged(at, at, {Qt::CheckStateRole});
}

void FileListModel::setAllChecked(bool checked) {
    bool changed = false;
    for (Entry& entry : m_rows) {
        changed = changed || entry.checked != checked;
        entry.checked = checked;
    }
    m_checkedCount = checked ? static_cast<int>(m_rows.size()) : 0;
    if (changed)
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

int FileListModel::rowOfKey(const std::string& key) const {
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].file.key == key)
            return static_cast<int>(i);
    return -1;
}

} // namespace shell
