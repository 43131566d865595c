#pragma once
// "Import IE Favorites": the shortcut files of the favourites folder (and its subfolders); Import
// takes the checked ones into the store and deletes their files. A bookmarks file can be imported
// as well: every link of it goes into the store.

#include "favourites/TransferWindow.h"

namespace favourites {

class frmImportIEFav final : public TransferWindow {
    Q_OBJECT

public:
    frmImportIEFav(platform::Prompt& prompt, std::function<void()> refillMain, BookmarksFileChooser chooser,
                   QWidget* parent = nullptr);

    void Refresh() override;
    void cmdImport_Click();
    void cmdImportBookmarks_Click();

protected:
    void runCommand() override { cmdImport_Click(); }
    void runBookmarks() override { cmdImportBookmarks_Click(); }
};

inline constexpr const char* kNothingCheckedToImport = "Check the favourites to import first.";

} // namespace favourites
