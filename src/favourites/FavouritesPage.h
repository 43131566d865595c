#pragma once
// The "Favorites Manager" tab: the list of stored favourites, the description and URL of the chosen
// one, and Add, Save (change), Delete, Reload and the import and export windows. The list mirrors
// the store and is refilled after every change; it is first filled when the tab is first shown.

#include "favourites/FavouritesWidgets.h"

#include <QWidget>

#include <optional>
#include <string>

class QLineEdit;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace platform {
class Prompt;
}

namespace favourites {

inline constexpr const char* kAboutFavourites =
    "Favourite Manager saves your favourites in a scrambled format in its own file. The scrambling hides them "
    "from a casual look; it is not strong encryption.";

class FavouritesPage final : public QWidget {
    Q_OBJECT

public:
    explicit FavouritesPage(platform::Prompt& prompt, QWidget* parent = nullptr);

    // The bookmarks file chooser handed to the import and export windows.
    void setBookmarksFileChooser(BookmarksFileChooser chooser) { m_chooser = std::move(chooser); }

    void GetFavorites();
    void lvFav_Click(const QModelIndex& index);
    void lvFav_DblClick();
    void cmdAdd_Click();
    void cmdSave_Click();
    void cmdDelete_Click();
    void cmdImportIEFav_Click();
    void cmdExportIEFav_Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void txtAdd_Change();
    // The selected favourite once the user answered the question
    // "Are you sure you want to <verb> '<description>' URL ?" with Yes; nothing otherwise (with no
    // favourite selected the user is told to select one).
    std::optional<Favourite> confirmSelected(const char* verb);

    platform::Prompt& m_prompt;
    BookmarksFileChooser m_chooser = chooseBookmarksFile;
    bool m_filled = false;
    QTreeView* m_lvFav;
    QLineEdit* m_txtShow;
    QLineEdit* m_txtAdd;
    QPushButton* m_cmdSave;
};

} // namespace favourites
