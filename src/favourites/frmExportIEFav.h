#pragma once
// "Export to IE Favorites": the stored favourites; Export asks first, then writes a shortcut file for
// each checked one and removes it from the store. The checked favourites can also be written to a bookmarks
// file (they stay in the store).

#include "favourites/TransferWindow.h"

#include <cstddef>
#include <string>

namespace favourites {

class frmExportIEFav final : public TransferWindow {
    Q_OBJECT

public:
    frmExportIEFav(platform::Prompt& prompt, std::function<void()> refillMain, BookmarksFileChooser chooser,
                   QWidget* parent = nullptr);

    void Refresh() override;
    void cmdExport_Click();
    void cmdExportBookmarks_Click();

protected:
    void runCommand() override { cmdExport_Click(); }
    void runBookmarks() override { cmdExportBookmarks_Click(); }
};

inline constexpr const char* kNothingChecked = "Check the favourites to export first.";
// The question Export asks before `count` favourites leave the store for the folder (Windows form).
std::string ExportQuestion(std::size_t count, const std::string& folder);

} // namespace favourites
