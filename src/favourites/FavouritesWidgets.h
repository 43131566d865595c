#pragma once
// Pieces the favourites windows share: the two-column list of favourites or shortcuts, its items
// (text, URL in the second column and as tool tip, the bytes behind both), the error reporter bound
// to a window and procedure, and the bookmarks file chooser.

#include "favourites/FavouritesStore.h"

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace favourites {

// Item data: the key (description or shortcut path) and the URL, as bytes.
inline constexpr int KeyRole = 0x0100;        // Qt::UserRole
inline constexpr int UrlRole = 0x0100 + 1;    // Qt::UserRole + 1
inline constexpr int RecordRole = 0x0100 + 2; // the store record a favourite was read from

QString qText(const std::string& bytes);
std::string bytes(const QString& text);

// A list view with the columns "Description" and "URL"; with check boxes when `checkable`.
QTreeWidget* makeFavouritesList(QWidget* owner, const char* name);
// Adds an item: text, URL (second column and tool tip), key, the favourite's icon.
QTreeWidgetItem* addFavouriteItem(QTreeWidget* list, const std::string& text, const std::string& url,
                                  const std::string& key, bool checkable);
// Fills a list with favourites in one insertion (a store may hold tens of thousands), each item
// keyed by its description and remembering its store record.
void fillFavouritesList(QTreeWidget* list, const std::vector<Favourite>& favourites, bool checkable);
// The favourite an item of such a list shows (description, URL and store record).
Favourite itemFavourite(const QTreeWidgetItem* item);
std::string itemKey(const QTreeWidgetItem* item);
std::string itemText(const QTreeWidgetItem* item);
std::string itemUrl(const QTreeWidgetItem* item);

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
