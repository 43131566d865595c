#include "locking/VaultListModel.h"

#include "platform/FileIO.h"
#include "platform/SysError.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QPalette>

namespace locking {

namespace {

bool lockedItemThere(const std::string& key) {
    try {
        return platform::exists(key);
    } catch (const platform::SysError&) {
        return false; // a path no drive maps: not there either
    }
}

} // namespace

VaultListModel::VaultListModel(QObject* parent) : QAbstractTableModel(parent), m_available(lockedItemThere) {}

void VaultListModel::setAvailability(Availability available) {
    m_available = available ? std::move(available) : Availability(lockedItemThere);
}

void VaultListModel::setIcon(const QIcon& icon) {
    m_icon = icon;
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

void VaultListModel::setItems(std::vector<core::RegisterItem> items) {
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(items.size());
    for (core::RegisterItem& item : items) {
        Row row{std::move(item.key), std::move(item.text), {}, false};
        row.shown = QString::fromLocal8Bit(row.text.data(), static_cast<qsizetype>(row.text.size()));
        row.available = m_available(row.key);
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
    return parent.isValid() ? 0 : 1;
}

QVariant VaultListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
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
    if (role != Qt::CheckStateRole ||
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
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}

} // namespace locking
