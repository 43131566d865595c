#include "favourites/frmImportIEFav.h"

#include "favourites/Bookmarks.h"
#include "favourites/modImportIEFav.h"

#include "platform/Prompt.h"
#include "platform/SysError.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>

namespace favourites {

frmImportIEFav::frmImportIEFav(platform::Prompt& prompt, std::function<void()> refillMain, BookmarksFileChooser chooser,
                               QWidget* parent)
    : TransferWindow(prompt, std::move(refillMain), std::move(chooser), parent) {
    build("frmImportIEFav", "Tessaly -Lock IE Favorites", "cmdImport", "Import && Lock", "cmdImportBookmarks",
          "Import Bookmarks File...");
    Refresh();
}

void frmImportIEFav::Refresh() {
    std::vector<FavouriteRow> rows;
    for (auto& s : ListIEFavorites(GetIEFavoritesFolder(), reporter("frmImportIEFav", "cmdRefresh_Click")))
        rows.push_back({std::move(s.text), std::move(s.url), std::move(s.path), std::nullopt, false});
    // Listed as people count, not as the folder happens to hold them: "Site 2" before "Site 10",
    // letters without regard to case; shortcuts of one name by their paths.
    // The C locale (a system without a language set) has no collation: Qt then compares the names'
    // characters one by one, numbers as text. They are sorted by the common rules instead.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(rows.begin(), rows.end(), [&collator](const FavouriteRow& a, const FavouriteRow& b) {
        const int byName = collator.compare(qText(a.text), qText(b.text));
        return byName != 0 ? byName < 0 : collator.compare(qText(a.key), qText(b.key)) < 0;
    });
    setRows(std::move(rows));
}

void frmImportIEFav::cmdImport_Click() {
    std::vector<ShortcutItem> checked;
    for (const FavouriteRow& row : checkedRows())
        checked.push_back({row.key, row.text, row.url});
    if (checked.empty()) {
        m_prompt.show(kNothingCheckedToImport, platform::Buttons::OK, platform::Icon::Information);
        return;
    }
    const TransferReport report = ImportShortcuts(checked, reporter("frmImportIEFav", "cmdImport_Click"));
    Refresh();
    refillMain();
    m_prompt.show(TransferSummary(report, "imported"), platform::Buttons::OK,
                  report.refused.empty() ? platform::Icon::Information : platform::Icon::Exclamation);
}

void frmImportIEFav::cmdImportBookmarks_Click() {
    const std::string path = m_chooser ? m_chooser(this, false) : std::string();
    if (path.empty())
        return;
    TransferReport report;
    try {
        report = ImportBookmarksFile(path);
    } catch (const NotBookmarksFile& e) {
        m_prompt.show(e.what(), platform::Buttons::OK, platform::Icon::Exclamation);
        return;
    } catch (const platform::SysError& e) {
        m_prompt.show("'" + path + "' could not be read: " + e.description(), platform::Buttons::OK,
                      platform::Icon::Exclamation);
        return;
    }
    refillMain();
    m_prompt.show(TransferSummary(report, "imported"), platform::Buttons::OK,
                  report.refused.empty() ? platform::Icon::Information : platform::Icon::Exclamation);
}

} // namespace favourites
