#pragma once
// Pieces the favourites windows share: the two-column list of favourites or shortcuts, its items
// (text, URL in the second column and as tool tip, the bytes behind both), the error reporter bound
// to a window and procedure, and the bookmarks file chooser.

#include "favourites/FavouritesStore.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;
class QWidget;

namespace favourites {

// Item data: the key (description or shortcut path) and the URL, as bytes.
inline constexpr int KeyRole = 0x0100;        // Qt::UserRole
inline constexpr int UrlRole = 0x0100 + 1;    // Qt::UserRole + 1
inline constexpr int RecordRole = 0x0100 + 2; // the store record a favourite was read from

QString qText(const std::string& bytes);
std::string bytes(const QString& text);

// A row of a favourites list: what it shows, the key behind it (a description or a shortcut's
// path), the store record a favourite was read from, and its tick.
struct FavouriteRow {
    std::string text;
    std::string url;
    std::string key;
    std::optional<std::size_t> record;
    bool checked = false;
};

// The rows of a favourites list: "Description" (with the favourite's icon, the URL as tool tip and,
// when checkable, a check box) and "URL". A refill is one reset, whatever the number of rows.
class FavouritesModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    FavouritesModel(bool checkable, QIcon icon, QObject* parent);

    void setRows(std::vector<FavouriteRow> rows);
    const FavouriteRow& row(int index) const { return m_rows.at(static_cast<std::size_t>(index)); }
    // The ticked rows, in list order.
    std::vector<FavouriteRow> checkedRows() const;
    // Ticks (or clears) every row, in one change of the list.
    void setAllChecked(bool checked);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool m_checkable;
    QIcon m_icon;
    std::vector<FavouriteRow> m_rows;
};

// A list view of such rows with the columns "Description" and "URL"; with check boxes when
// `checkable`.
QTreeView* makeFavouritesList(QWidget* owner, const char* name, bool checkable);
FavouritesModel* favouritesModel(const QTreeView* list);
// The rows of favourites (each keyed by its description and remembering its store record).
std::vector<FavouriteRow> favouriteRows(const std::vector<Favourite>& favourites);
// The favourite a row shows (description, URL and store record).
Favourite rowFavourite(const FavouriteRow& row);
// The row of the list's current item when it is selected; nothing otherwise.
std::optional<FavouriteRow> selectedRow(const QTreeView* list);

QPushButton* makeButton(QWidget* owner, const char* name, const char* caption);
// A label and its box; the label is the box's buddy.
QLineEdit* makeLabelledBox(QWidget* owner, const char* labelName, const char* caption, const char* boxName,
                           QLabel** label = nullptr);

// The error reporter of a window's procedure.
ErrorSink reporter(const char* objectName, const char* procedure);

// Asks for a bookmarks file to read (save = false) or write (save = true); Windows form, "" when
// cancelled. Tests hand the windows their own.
using BookmarksFileChooser = std::function<std::string(QWidget* owner, bool save)>;
std::string chooseBookmarksFile(QWidget* owner, bool save);

} // namespace favourites
