#pragma once
// The rows of one of the Security Vault's lists (locked folders, locked files): the item's path before
// the lock as its text and tool tip, with a tick box; its kind ("hidden", "strong", "folder"), the
// size and the modification date of its locked form on disk; and the exact bytes the register holds
// under two roles of their own. The list is replaced whole, in one reset, from the register's
// items; the views only draw what is visible. No widget code: the window hands it the icon.
// An item whose locked file or folder is not there (its drive or volume not connected, say) stays
// in the list, as the register keeps it, and is shown as unavailable: " (not available)" after its
// text, the disabled text colour, and a tool tip that says why. It can still be ticked: the vault's
// commands tell the user about it and offer to forget it.

#include "core/Register.h"
#include "locking/VaultCommands.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <functional>
#include <string>
#include <vector>

namespace locking {

// The kinds the Kind column shows: a file locked by hiding it (".TSL", ".TSW"), a strong locked file,
// a locked folder.
inline constexpr const char* kKindHidden = "hidden";
inline constexpr const char* kKindStrong = "strong";
inline constexpr const char* kKindFolder = "folder";

class VaultListModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    // A row's paths as the exact bytes the register holds (QByteArray): a name that is not valid
    // UTF-8 would not survive the round trip through the shown text.
    static constexpr int KeyRole = Qt::UserRole;           // the locked item's path on disk
    static constexpr int TextRole = Qt::UserRole + 1;      // its path before the lock
    static constexpr int AvailableRole = Qt::UserRole + 2; // bool: the locked item is there
    // The size in bytes (qulonglong) and the modification time (QDateTime) behind the Size and
    // Modified columns' texts; nothing where the locked item is not there.
    static constexpr int SortRole = Qt::UserRole + 3;

    enum Column { NameColumn, KindColumn, SizeColumn, DateColumn, ColumnCount };

    // Whether a locked item (its path on disk, Windows form) is there; looked at once per fill.
    using Availability = std::function<bool(const std::string& key)>;

    explicit VaultListModel(QObject* parent = nullptr);

    // Replaces the look at the disk (the default asks the platform whether the path exists).
    void setAvailability(Availability available);

    // The icon every row shows.
    void setIcon(const QIcon& icon);
    // Whether the Size column shows sizes (not for folders).
    void setShowsSize(bool shows) { m_showsSize = shows; }
    // Every row replaced at once (one reset), in the given order, none ticked; kinds[i] is row i's
    // kind (none given: an empty Kind column).
    void setItems(std::vector<core::RegisterItem> items, const std::vector<std::string>& kinds = {});
    void clear();
    // Ticks or unticks every row, with one change signal for all of them.
    void setAllChecked(bool checked);

    // The rows as the vault's commands take them, ticks included; one row.
    std::vector<VaultItem> items() const;
    VaultItem item(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        std::string key;
        std::string text;
        QString shown; // the text as the views show it, converted once
        bool checked = false;
        bool available = true;
        QString kind;
        bool statted = false; // size and modified were read from the locked item
        qulonglong size = 0;
        qint64 modified = 0; // seconds since the epoch
    };

    std::vector<Row> m_rows;
    QIcon m_icon;
    Availability m_available;
    bool m_customAvailability = false;
    bool m_showsSize = true;
};

} // namespace locking
