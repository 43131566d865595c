#include "locking/VaultListModel.h"

#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/SysError.h"

#include <QByteArray>
#include <QDateTime>
#include <QGuiApplication>
#include <QLocale>
#include <QPalette>

#include <sys/stat.h>

namespace locking {

namespace {

bool lockedItemThere(const std::string& key) {
    try {
        return platform::exists(key);
    } catch (const platform::SysError&) {
        return false; // a path no drive maps: not there either
    }
}

// The locked item itself (a link is not followed): whether it is there, its size and its time.
bool statLockedItem(const std::string& key, struct stat& st) {
    try {
        return ::lstat(platform::toHost(key).c_str(), &st) == 0;
    } catch (const platform::SysError&) {
        return false; // a path no drive maps
    }
}

} // namespace

VaultListModel::VaultListModel(QObject* parent) : QAbstractTableModel(parent), m_available(lockedItemThere) {}

void VaultListModel::setAvailability(Availability available) {
    m_customAvailability = static_cast<bool>(available);
    m_available = available ? std::move(available) : Availability(lockedItemThere);
}

void VaultListModel::setIcon(const QIcon& icon) {
    m_icon = icon;
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

void VaultListModel::setItems(std::vector<core::RegisterItem> items, const std::vector<std::string>& kinds) {
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        Row row;
        row.key = std::move(items[i].key);
        row.text = std::move(items[i].text);
        row.shown = QString::fromLocal8Bit(row.text.data(), static_cast<qsizetype>(row.text.size()));
        if (i < kinds.size())
            row.kind = QString::fromLatin1(kinds[i].c_str());
        // One look at the disk a row: there or not, and its size and time.
        struct stat st {};
        row.statted = statLockedItem(row.key, st);
        row.available = m_customAvailability ? m_available(row.key) : row.statted;
        if (row.statted) {
            row.size = static_cast<qulonglong>(st.st_size);
            row.modified = static_cast<qint64>(st.st_mtim.tv_sec);
        }
        m_rows.push_back(std::move(row));
    }
    endResetModel();
}

void VaultListModel::clear() {
    setItems({});
}

void VaultListModel::setAllChecked(bool checked) {
    if (m_rows.empty())
        return;
    for (Row& row : m_rows)
        row.checked = checked;
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

std::vector<VaultItem> VaultListModel::items() const {
    std::vector<VaultItem> items;
    items.reserve(m_rows.size());
    for (const Row& row : m_rows)
        items.push_back({row.key, row.text, row.checked});
    return items;
}

VaultItem VaultListModel::item(int row) const {
    const Row& r = m_rows.at(static_cast<std::size_t>(row));
    return {r.key, r.text, r.checked};
}

int VaultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int VaultListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant VaultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("Name");
    case KindColumn:
        return QStringLiteral("Kind");
    case SizeColumn:
        return QStringLiteral("Size");
    case DateColumn:
        return QStringLiteral("Modified");
    default:
        return {};
    }
}

QVariant VaultListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    if (index.column() != NameColumn) {
        const bool showsSize = m_showsSize && row.statted && row.available;
        const bool showsDate = row.statted && row.available;
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
            if (index.column() == KindColumn)
                return row.kind;
            if (index.column() == SizeColumn)
                return showsSize ? QLocale().formattedDataSize(static_cast<qint64>(row.size), 1,
                                                               QLocale::DataSizeTraditionalFormat)
                                 : QString();
            return showsDate ? QLocale().toString(QDateTime::fromSecsSinceEpoch(row.modified), QLocale::ShortFormat)
                             : QString();
        }
        if (role == SortRole) {
            if (index.column() == SizeColumn && showsSize)
                return row.size;
            if (index.column() == DateColumn && showsDate)
                return QDateTime::fromSecsSinceEpoch(row.modified);
        }
        if (role == Qt::TextAlignmentRole && index.column() == SizeColumn)
            return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::ForegroundRole)
            return data(this->index(index.row(), NameColumn), role);
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return row.available ? row.shown : row.shown + QStringLiteral(" (not available)");
    case Qt::ToolTipRole:
        if (row.available)
            return row.shown;
        return row.shown + QStringLiteral("\nIts locked form, ") +
               QString::fromLocal8Bit(row.key.data(), static_cast<qsizetype>(row.key.size())) +
               QStringLiteral(", is not there: its drive or volume may not be connected.");
    case Qt::ForegroundRole:
        if (row.available || !QGuiApplication::instance())
            return {};
        return QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    case AvailableRole:
        return row.available;
    case Qt::DecorationRole:
        return m_icon.isNull() ? QVariant() : QVariant(m_icon);
    case Qt::CheckStateRole:
        return static_cast<int>(row.checked ? Qt::Checked : Qt::Unchecked); // as list items keep it
    case KeyRole:
        return QByteArray::fromStdString(row.key);
    case TextRole:
        return QByteArray::fromStdString(row.text);
    default:
        return {};
    }
}

bool VaultListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != NameColumn ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    Row& row = m_rows[static_cast<std::size_t>(index.row())];
    const bool checked = static_cast<Qt::CheckState>(value.toInt()) == Qt::Checked;
    if (row.checked != checked) {
        row.checked = checked;
        emit dataChanged(index, index, {Qt::CheckStateRole});
    }
    return true;
}

Qt::ItemFlags VaultListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.column() != NameColumn)
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

} // namespace locking
