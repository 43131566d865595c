#pragma once
// What the browser pane shows, worked out without any widget: the subfolders of a tree node and the
// rows of the file list for the current folder. Paths are Windows form.

#include "platform/Find.h"
#include "platform/SysError.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

// The order in which the pane shows names: letters without regard to case, and runs of digits by
// their value ("file2" before "file10"), as the desktop's file managers sort. Names equal by those
// rules fall back to their bytes, so the order is total. Negative, 0 or positive, as strcmp.
int NaturalCompare(std::string_view a, std::string_view b);
inline bool NaturalLess(std::string_view a, std::string_view b) {
    return NaturalCompare(a, b) < 0;
}

// The class identifier that a locked folder's desktop.ini names; the list turns green inside it.
inline constexpr const char* kLockedFolderClassId = "{645FF040-5081-101B-9F08-00AA002F954E}";

struct FolderNode {
    std::string key;  // full path on disk
    std::string text; // the name shown: a locked folder shows the name it had before locking
};

// The name a tree node shows for a folder name on disk.
std::string FolderNodeText(const std::string& name);
// One child per subfolder of `folder`, in the natural order of the names shown, without the recycle
// folders.
std::vector<FolderNode> ListSubfolders(const std::string& folder);

struct FileRow {
    std::string key;         // the file name on disk
    std::string text;        // the name shown (a locked file: the name unlocking restores)
    bool lockIcon = false;   // a locked file that begins with "[Secret]" (".TSX": "[Strong]")
    std::string size;        // FormatByteSize of the file's size ("" when it could not be read)
    std::string type;        // "TXT file"
    std::int64_t bytes = -1; // the file's size in bytes (-1 when it could not be read)
};

// Whether the row is a dot-file's (its shown name begins with "."): the list shows such files only
// when hidden files are shown, as the desktop's file managers do.
bool IsDotFile(const FileRow& row);

// What Properties tells of a row of `folder`, one line each (joined with CR LF): the name the user
// knows it by, its folder, type and size, its modification and access times (local time), its
// permission bits, its attributes and, for a locked file, its format and its name on disk. Throws
// platform::SysError when the file cannot be looked at.
std::string FileProperties(const std::string& folder, const FileRow& row);

// The columns of the file list, in order.
enum class FileColumn { Name = 0, Size = 1, Type = 2 };
// Whether row a comes before row b when the list is sorted ascending by `column`: names in natural
// order, sizes by their byte count, types without regard to case; ties go by name.
bool RowLess(FileColumn column, std::string_view textA, std::int64_t bytesA, std::string_view typeA,
             std::string_view textB, std::int64_t bytesB, std::string_view typeB);
// Sorts the rows by their shown name (natural order).
void SortRowsByName(std::vector<FileRow>& rows);

struct FolderListing {
    std::vector<std::string> names; // every file name in the folder, listing order (desktop.ini too)
    std::vector<FileRow> rows;      // one per name except "desktop.ini"
    bool lockedFolder = false;      // desktop.ini names the locked-folder class identifier
};

// The names of the files (not folders) of `folder`, hidden and system files included, in natural
// order.
std::vector<std::string> ListFileNames(const std::string& folder);

// The files (not folders) among a folder's entries, in the natural order of their names: the names
// ListFileNames gives, with what BuildRows needs of each.
std::vector<platform::FolderEntry> FileEntries(std::vector<platform::FolderEntry> entries);
// The files of `folder` so, from one pass over it (none for no folder).
std::vector<platform::FolderEntry> FolderFiles(const std::string& folder);
// The names, sizes and change times of a folder's files as one text: the list is read again when it
// changes.
std::string FilesSignature(const std::vector<platform::FolderEntry>& files);

// Builds the rows for the names of `folder`. A file whose data cannot be read keeps what was filled
// so far and the listing goes on with the next file; `onError` hears about each such failure
// (number, description).
FolderListing BuildRows(const std::string& folder, const std::vector<std::string>& names,
                        const std::function<void(platform::ErrorKind, const std::string&)>& onError = {});
// The same from the entries FileEntries gave (the sizes read then are not read again): the same rows
// as BuildRows(folder, their names) gives.
FolderListing BuildRows(const std::string& folder, const std::vector<platform::FolderEntry>& files,
                        const std::function<void(platform::ErrorKind, const std::string&)>& onError = {});

} // namespace shell
