#pragma once
// The rows of the main window's file list as a table model: one row per file of the current folder,
// the columns "Name", "Size" and "Type", a check box and a picture before each name (the lock on a
// locked file, else the picture of the file's type). The whole list is put in at
// once (one reset) and the model sorts itself: names in natural order, sizes by their byte count,
// types without regard to case. The sort column and order chosen stay for the next fill, and the
// ticks go with their rows when the order changes.

#include "shell/BrowserListing.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <string>
#include <vector>

namespace shell {

class FileListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // The item data roles, the same for the tree of folders (see BrowserPane).
    static constexpr int KeyRole = Qt::UserRole;           // column 0: the name on disk, bytes
    static constexpr int SmallIconRole = Qt::UserRole + 1; // column 0: "lock" on a locked file
    static constexpr int TextRole = Qt::UserRole + 2;      // column 0: the shown name as bytes
    static constexpr int BytesRole = Qt::UserRole + 3;     // column 1: the size in bytes (-1: unknown)

    explicit FileListModel(QObject* parent = nullptr);

    // Puts `rows` in place of the current ones, sorted by the chosen column and order, none ticked.
    void setRows(std::vector<FileRow> rows);
    void clear() { setRows({}); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    // Row access in the shown order, for the commands and the window.
    const FileRow& row(int r) const { return m_rows[static_cast<std::size_t>(r)].file; }
    bool isChecked(int r) const { return m_rows[static_cast<std::size_t>(r)].checked; }
    void setChecked(int r, bool checked);
    void setAllChecked(bool checked);
    int checkedCount() const { return m_checkedCount; }
    // The row whose file has the name `key` on disk, -1 when there is none.
    int rowOfKey(const std::string& key) const;

private:
    struct Entry {
        FileRow file;
        bool checked = false;
        mutable QIcon icon; // its type's picture, made when the row is first drawn
    };
    void sortEntries(std::vector<Entry>& entries) const;

    std::vector<Entry> m_rows;
    int m_checkedCount = 0;
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    QIcon m_lock;
    QIcon m_blank;
};

} // namespace shell
