#include "favourites/frmExportIEFav.h"

#include "favourites/Bookmarks.h"
#include "favourites/modImportIEFav.h"

#include "platform/FileIO.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"

namespace favourites {

namespace {

std::vector<Favourite> favouritesOf(const std::vector<FavouriteRow>& rows) {
    std::vector<Favourite> out;
    for (const FavouriteRow& row : rows)
        out.push_back(rowFavourite(row));
    return out;
}

} // namespace

std::string ExportQuestion(std::size_t count, const std::string& folder) {
    return "Unlock and export " + std::to_string(count) + (count == 1 ? " favourite" : " favourites") +
           "?\r\n\r\nEach one leaves the locked store: it is written unscrambled, as a shortcut file (.url), to '" +
           folder +
           "' and removed from the store.\r\n\r\nWeb browsers do not read this folder. To use favourites in a "
           "browser, choose \"Export Bookmarks File...\" and import that file in the browser.";
}

frmExportIEFav::frmExportIEFav(platform::Prompt& prompt, std::function<void()> refillMain, BookmarksFileChooser chooser,
                               QWidget* parent)
    : TransferWindow(prompt, std::move(refillMain), std::move(chooser), parent) {
    build("frmExportIEFav", "Tessaly -Export to IE Favorites", "cmdExport", "Unlock && Export", "cmdExportBookmarks",
          "Export Bookmarks File...");
    Refresh();
}

void frmExportIEFav::Refresh() {
    setRows(favouriteRows(GetFavourites(reporter("frmExportIEFav", "GetFavorites"))));
}

void frmExportIEFav::cmdExport_Click() {
    const auto checked = favouritesOf(checkedRows());
    if (checked.empty()) {
        m_prompt.show(kNothingChecked, platform::Buttons::OK, platform::Icon::Information);
        return;
    }
    // The favourites leave the store for files anyone who can read the folder can read: the user
    // says so first, knowing that browsers do not look there.
    if (m_prompt.show(ExportQuestion(checked.size(), GetIEFavoritesFolder()), platform::Buttons::YesNoDefaultNo,
                      platform::Icon::Question) != platform::Answer::Yes)
        return;
    const TransferReport report = ExportFavourites(checked, m_prompt, reporter("frmExportIEFav", "cmdExport_Click"));
    Refresh();
    refillMain();
    m_prompt.show(TransferSummary(report, "exported"), platform::Buttons::OK,
                  report.refused.empty() ? platform::Icon::Information : platform::Icon::Exclamation);
}

void frmExportIEFav::cmdExportBookmarks_Click() {
    const auto checked = favouritesOf(checkedRows());
    if (checked.empty()) {
        m_prompt.show(kNothingChecked, platform::Buttons::OK, platform::Icon::Information);
        return;
    }
    const std::string chosen = m_chooser ? m_chooser(this, true) : std::string();
    if (chosen.empty())
        return;
    // A name typed without an extension gets ".html", which browsers look for when importing. The
    // file dialog asked about replacing the name as typed only: another file under the longer name
    // is replaced only when the user says so.
    const std::string path = WithHtmlExtension(chosen);
    if (path != chosen && platform::exists(path) &&
        m_prompt.show("'" + path + "' exists. Replace it?", platform::Buttons::YesNoDefaultNo,
                      platform::Icon::Question) != platform::Answer::Yes)
        return;
    try {
        ExportBookmarksFile(path, checked);
    } catch (const platform::SysError& e) {
        m_prompt.show("'" + path + "' could not be written: " + e.description(), platform::Buttons::OK,
                      platform::Icon::Critical);
        return;
    }
    m_prompt.show(TransferSummary(TransferReport{static_cast<int>(checked.size()), {}}, "exported"),
                  platform::Buttons::OK, platform::Icon::Information);
}

} // namespace favourites
