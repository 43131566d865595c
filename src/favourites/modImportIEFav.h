#pragma once
// Moving favourites between the store and the favourites folder's internet shortcut files
// ("<description>.url": "[InternetShortcut]" CR LF "URL=<url>" CR LF CR LF).

#include "favourites/FavouritesStore.h"

#include <string>
#include <vector>

namespace platform {
class Prompt;
}

namespace favourites {

struct ShortcutItem {
    std::string path; // Windows form, the item's key
    std::string text; // the file name without its ".url" ending (in any case)
    std::string url;
};

// The favourites folder in Windows form.
std::string GetIEFavoritesFolder();
// The URL of a shortcut file (its "URL" of "[InternetShortcut]"; "" when it has none), read with
// CR LF, LF or CR line ends, a UTF-8 byte-order mark passed over and a file that starts with a
// UTF-16 byte-order mark read as UTF-16. Throws platform::SysError when
// the file cannot be read or is a symbolic link (which is not followed).
std::string ReadShortcutUrl(const std::string& path);
// The exact text of a shortcut file.
std::string ShortcutText(const std::string& url);

// The shortcuts of a folder and of its subfolders (except those whose names contain a dot).
// Symbolic links, to shortcuts or to folders, are not followed. A shortcut that cannot be read goes
// to the sink and is left out.
std::vector<ShortcutItem> ListIEFavorites(const std::string& folder, const ErrorSink& sink);

// Takes the items into the store and deletes their shortcut files. An item with an empty
// description or URL is left alone; a shortcut is deleted only once its favourite is stored. The
// report names each item not imported, and each shortcut that could not be deleted.
TransferReport ImportShortcuts(const std::vector<ShortcutItem>& checked, const ErrorSink& sink);

// Writes a shortcut for each favourite and only then removes it from the store. A description that
// already names a shortcut gets the clash message and stays in the store; one that cannot be a file
// name there (a "\" or "/", a wildcard, a character Windows refuses) and a failed write go to
// the sink and leave the favourite where it was.
// The report counts the favourites exported and names each one that was not, with the reason.
TransferReport ExportFavourites(const std::vector<Favourite>& checked, platform::Prompt& prompt, const ErrorSink& sink);

std::string ClashMessage(const std::string& description);

} // namespace favourites
