#include "favourites/modImportIEFav.h"

#include "favourites/Charsets.h"

#include "core/Scrambler.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/ProfileFile.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/modFileFunctions.h"

#include <sys/stat.h>

#include <algorithm>
#include <string_view>

namespace favourites {

namespace {

// Folder links could make a cycle: the walk goes no deeper than this.
constexpr int kMaxDepth = 32;

// Whether a description can be a shortcut's file name in the favourites folder: a "\" or "/" would
// lead elsewhere ("..\..\x" out of the folder), wildcards would make the existence check match
// other shortcuts, and the rest are refused by Windows, where the folder may be shared.
bool validFileName(const std::string& name) {
    for (unsigned char c : name)
        if (c < 0x20 || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string_view::npos)
            return false;
    return true;
}

// The name a shortcut lists under: its file name without the ".url" ending, whatever its case
// ("WEB-SLIC.URL" lists as "WEB-SLIC").
std::string withoutUrlSuffix(const std::string& name) {
    const std::size_t n = name.size();
    return n > 4 && platform::equalNoCase(name.substr(n - 4), ".url") ? name.substr(0, n - 4) : name;
}

// Whether the entry is a symbolic link (not followed: a link to "." would make the walk endless,
// and a linked shortcut may be any file anywhere).
bool isLink(const std::string& path) {
    struct stat st {};
    try {
        return ::lstat(platform::toHost(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    } catch (const platform::SysError&) {
        return true;
    }
}

void listFolder(const std::string& folder, const ErrorSink& sink, std::vector<ShortcutItem>& out, int depth) {
    for (const auto& entry : platform::findFiles(AddBackslash(folder) + "*.url")) {
        if (entry.isFolder() || isLink(AddBackslash(folder) + entry.name))
            continue;
        ShortcutItem item;
        item.path = AddBackslash(folder) + entry.name;
        item.text = withoutUrlSuffix(entry.name);
        try {
            item.url = ReadShortcutUrl(item.path);
        } catch (const platform::SysError& e) {
            sink(e.number(), e.description() + ": " + item.path);
            continue;
        }
        out.push_back(std::move(item));
    }
    if (depth >= kMaxDepth)
        return;
    for (const auto& entry : platform::findFiles(AddBackslash(folder) + "*."))
        if (entry.isFolder() && !isLink(AddBackslash(folder) + entry.name))
            listFolder(AddBackslash(folder) + entry.name, sink, out, depth + 1);
}

} // namespace

std::string GetIEFavoritesFolder() {
    try {
        return platform::toWindows(platform::favoritesFolderHost());
    } catch (const platform::SysError&) {
        return {};
    }
}

std::string ReadShortcutUrl(const std::string& path) {
    if (isLink(path))
        throw platform::SysError(platform::ErrorKind::PathFileAccess,
                                 platform::errorDescription(platform::ErrorKind::PathFileAccess) +
                                     ": a link is not followed");
    std::string text = platform::readAll(path);
    // A shortcut saved as "Unicode" is UTF-16 after its byte-order mark.
    if (std::string wide; Utf16WithMarkToUtf8(text, wide))
        text = std::move(wide);
    else if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    bool inSection = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
        const std::string line = platform::trimBlanks(text.substr(pos, end - pos));
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (!line.empty() && line.front() == '[') {
            const auto close = line.find(']');
            inSection = close != std::string::npos &&
                        platform::equalNoCase(platform::trimBlanks(line.substr(1, close - 1)), "InternetShortcut");
            continue;
        }
        const auto eq = line.find('=');
        if (inSection && eq != std::string::npos &&
            platform::equalNoCase(platform::trimBlanks(line.substr(0, eq)), "URL"))
            return platform::trimBlanks(line.substr(eq + 1));
    }
    return {};
}

std::string ShortcutText(const std::string& url) {
    return "[InternetShortcut]\r\nURL=" + url + "\r\n\r\n";
}

std::vector<ShortcutItem> ListIEFavorites(const std::string& folder, const ErrorSink& sink) {
    std::vector<ShortcutItem> out;
    if (!folder.empty())
        listFolder(RemoveBackslash(folder), sink, out, 0);
    return out;
}

TransferReport ImportShortcuts(const std::vector<ShortcutItem>& checked, const ErrorSink&) {
    TransferReport report;
    for (const auto& item : checked) {
        if (item.text.empty() || item.url.empty()) {
            report.refused.push_back("'" + item.text + "' was not imported: the shortcut holds no address.");
            continue;
        }
        if (!LineReadsBack(EncipherField(item.text), EncipherField(item.url))) {
            report.refused.push_back("'" + item.text + "' was not imported: it can't be stored as it is.");
            continue;
        }
        if (!AddFavourite(item.text, item.url)) {
            report.refused.push_back("'" + item.text + "' was not imported: the favourites file can't be written.");
            continue; // the shortcut stays: nothing is lost
        }
        ++report.done;
        try {
            if (FileExists(item.path)) {
                platform::setAttributes(item.path, 0);
                platform::removeFile(item.path);
            }
        } catch (const platform::SysError& e) {
            report.refused.push_back("'" + item.text +
                                     "' was imported, but its shortcut could not be deleted: " + e.description() + ".");
        }
    }
    return report;
}

std::string ClashMessage(const std::string& description) {
    return "Favorite '" + description + "' with the same description exists.";
}

TransferReport ExportFavourites(const std::vector<Favourite>& checked, platform::Prompt& prompt,
                                const ErrorSink& sink) {
    TransferReport report;
    const std::string folder = AddBackslash(GetIEFavoritesFolder());
    for (const auto& fav : checked) {
        if (fav.description.empty() || fav.url.empty()) {
            report.refused.push_back("'" + fav.description + "' was not exported: it has no description or address.");
            continue;
        }
        if (!validFileName(fav.description)) {
            sink(platform::errorNumber(platform::ErrorKind::BadFileName),
                 platform::errorDescription(platform::ErrorKind::BadFileName) + ": '" + fav.description +
                     "' can't be a file name");
            report.refused.push_back("'" + fav.description +
                                     "' was not exported: its description can't be a file name.");
            continue; // the favourite stays in the store
        }
        const std::string path = folder + fav.description + ".url";
        try {
            if (FileExists(path)) {
                prompt.show(ClashMessage(fav.description), platform::Buttons::OK, platform::Icon::Critical);
                report.refused.push_back("'" + fav.description + "' was not exported: a shortcut of that name exists.");
                continue;
            }
            // Written and synced under a temporary name, then put in place without replacing a file
            // that appeared meanwhile.
            platform::AtomicWriter writer{platform::WinPath(path)};
            writer.write(ShortcutText(fav.url));
            writer.commit(false);
        } catch (const platform::SysError& e) {
            sink(e.number(), e.description() + ": " + path);
            report.refused.push_back("'" + fav.description + "' was not exported: " + e.description() + ".");
            continue;
        }
        ++report.done;
        if (!RemoveFavourite(fav))
            report.refused.push_back("'" + fav.description +
                                     "' was exported, but it could not be removed from the favourites file.");
    }
    return report;
}

} // namespace favourites
