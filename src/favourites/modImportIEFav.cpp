#include "favourites/modImportIEFav.h"

#include "core/Scrambler.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/ProfileFile.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/modFileFunctions.h"

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

std::string withoutUrlSuffixes(std::string name) {
    for (auto at = name.find(".url"); at != std::string::npos; at = name.find(".url"))
        name.erase(at, 4);
    return name;
}

void listFolder(const std::string& folder, const ErrorSink& sink, std::vector<ShortcutItem>& out, int depth) {
    for (const auto& entry : platform::findFiles(AddBackslash(folder) + "*.url")) {
        if (entry.isFolder())
            continue;
        ShortcutItem item;
        item.path = AddBackslash(folder) + entry.name;
        item.text = withoutUrlSuffixes(entry.name);
        try {
            item.url = ReadShortcutUrl(item.path);
        } catch (const platform::SysError& e) {
            sink(e.number, e.description() + ": " + item.path);
            continue;
        }
        out.push_back(std::move(item));
    }
    if (depth >= kMaxDepth)
        return;
    for (const auto& entry : platform::findFiles(AddBackslash(folder) + "*."))
        if (entry.isFolder())
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
    platform::readAll(path); // throws when the file cannot be read
    return platform::getProfileString(path, "InternetShortcut", "URL", "");
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

void ImportShortcuts(const std::vector<ShortcutItem>& checked, const ErrorSink& sink) {
    for (const auto& item : checked) {
        if (item.text.empty() || item.url.empty())
            continue;
        if (!AddFavourite(item.text, item.url)) {
            sink(75, "Path/File access error: the favourite '" + item.text + "' could not be stored");
            continue; // the shortcut stays: nothing is lost
        }
        try {
            if (FileExists(item.path)) {
                platform::setAttributes(item.path, 0);
                platform::removeFile(item.path);
            }
        } catch (const platform::SysError& e) {
            sink(e.number, e.description());
        }
    }
}

std::string ClashMessage(const std::string& description) {
    return "Favorite '" + description + "' with the same description exists.";
}

void ExportFavourites(const std::vector<Favourite>& checked, platform::Prompt& prompt, const ErrorSink& sink) {
    const std::string folder = AddBackslash(GetIEFavoritesFolder());
    for (const auto& fav : checked) {
        if (fav.description.empty() || fav.url.empty())
            continue;
        if (!validFileName(fav.description)) {
            sink(52, platform::errorDescription(52) + ": '" + fav.description + "' can't be a file name");
            continue; // the favourite stays in the store
        }
        const std::string path = folder + fav.description + ".url";
        try {
            if (FileExists(path)) {
                prompt.show(ClashMessage(fav.description), platform::Buttons::OK, platform::Icon::Critical);
                continue;
            }
            // Written and synced under a temporary name, then put in place without replacing a file
            // that appeared meanwhile.
            platform::AtomicWriter writer(path);
            writer.write(ShortcutText(fav.url));
            writer.commit(false);
        } catch (const platform::SysError& e) {
            sink(e.number, e.description() + ": " + path);
            continue;
        }
        if (!RemoveFavourite(fav))
            sink(75, "Path/File access error: the favourite '" + fav.description + "' stays in the store");
    }
}

} // namespace favourites
