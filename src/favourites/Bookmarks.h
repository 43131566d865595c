#pragma once
// The bookmarks HTML file that browsers import and export: a loose HTML document with the
// "NETSCAPE-Bookmark-file-1" document type in its head that holds one <A HREF> per link inside nested
// <DL> folders. A file without the document type is one too when it holds a <DL> list of
// <DT><A HREF=...> items. Read in linear time and memory (unclosed tags end where the next link or
// folder begins, nothing nests), in the charset the file declares (UTF-8 when it declares none;
// UTF-16 when it starts with its byte-order mark), a byte that does not belong to that charset
// replaced alone; written with every title and address escaped.

#include "favourites/FavouritesStore.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace favourites {

// A file that is not a bookmarks file; what() is the message for the user.
struct NotBookmarksFile : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Every link of the document, in document order, folders flattened: the link's text (blanks and
// line breaks folded) as the description, the address as its URL; a link without text takes its
// address as description. Throws NotBookmarksFile.
std::vector<Favourite> ParseBookmarks(const std::string& html, const std::string& fileName);
// The bookmarks document of these favourites.
std::string BookmarksHtml(const std::vector<Favourite>& favourites);

// Reads the file (Windows form) and adds its links to the store in one write. The report counts the
// links stored and names each one that was not, with the reason. Throws NotBookmarksFile and
// platform::SysError.
TransferReport ImportBookmarksFile(const std::string& path);
// The path of a bookmarks file to write: ".html" appended when the file's name has no extension
// ("exported" and "exported." become "exported.html", ".links" becomes ".links.html"; "saved.htm"
// stays as it is).
std::string WithHtmlExtension(const std::string& path);
// Writes the favourites as a bookmarks file, replacing the file atomically. Throws platform::SysError.
void ExportBookmarksFile(const std::string& path, const std::vector<Favourite>& favourites);

} // namespace favourites
