#pragma once
// What the browser pane shows, worked out without any widget: the subfolders of a tree node and the
// rows of the file list for the current folder. Paths are Windows form.

#include <functional>
#include <string>
#include <vector>

namespace shell {

// The class identifier that a locked folder's desktop.ini names; the list turns green inside it.
inline constexpr const char* kLockedFolderClassId = "{645FF040-5081-101B-9F08-00AA002F954E}";

struct FolderNode {
    std::string key;  // full path on disk
    std::string text; // the name shown: a locked folder shows the name it had before locking
};

// The name a tree node shows for a folder name on disk.
std::string FolderNodeText(const std::string& name);
// One child per subfolder of `folder`, in listing order, without the recycle folders.
std::vector<FolderNode> ListSubfolders(const std::string& folder);

struct FileRow {
    std::string key;       // the file name on disk
    std::string text;      // the name shown (a locked file: the name unlocking restores)
    bool lockIcon = false; // a locked file that begins with "[Secret]"
    std::string size;      // FormatByteSize of the file's size ("" when it could not be read)
    std::string type;      // "TXT file"
};

struct FolderListing {
    std::vector<std::string> names; // every file name in the folder, listing order (desktop.ini too)
    std::vector<FileRow> rows;      // one per name except "desktop.ini"
    bool lockedFolder = false;      // desktop.ini names the locked-folder class identifier
};

// The names of the files (not folders) of `folder`, hidden and system files included.
std::vector<std::string> ListFileNames(const std::string& folder);

// Builds the rows for the names of `folder`. A file whose data cannot be read keeps what was filled
// so far and the listing goes on with the next file; `onError` hears about each such failure
// (number, description).
FolderListing BuildRows(const std::string& folder, const std::vector<std::string>& names,
                        const std::function<void(int, const std::string&)>& onError = {});

} // namespace shell
