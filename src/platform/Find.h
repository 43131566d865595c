#pragma once
// Find-first/next over a Windows-form pattern: the folder part names a folder, the last component
// is a name or a wildcard pattern ("*", "?", "*.*" = all, "*." = names without a dot), matched
// without regard to case. Listings are in the host's order and never show ".", ".." or ".hidden",
// nor a name holding "\", which no Windows-form path can name.
// A pattern without wildcards finds that one entry (file or folder).

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct FindEntry {
    std::string name;        // the name on disk
    unsigned attributes = 0; // as getAttributes (kAttrDirectory for folders)
    std::uint64_t size = 0;  // bytes, 0 for folders
    bool isFolder() const;
};

// All entries matching the pattern; empty when nothing matches or the folder is missing.
std::vector<FindEntry> findFiles(const std::string& windowsPattern);
// Every entry of a folder, as findFiles(folder + "\\*") lists them, read in one pass: the folder is
// opened once and each name is looked up relative to it (one stat each, links followed). Carries
// what a listing of files needs and no attributes, so that a large folder lists at the speed of the
// disk. Empty when the folder is missing.
struct FolderEntry {
    std::string name;            // the name on disk
    bool folder = false;         // a folder, or a link to one
    bool known = false;          // its data could be read (false: a link whose target is missing)
    std::uint64_t size = 0;      // bytes (0 for folders and unknown entries)
    std::int64_t modifiedNs = 0; // the last change of its content, ns since the epoch
};
std::vector<FolderEntry> listFolder(const std::string& windowsFolder);
// Windows wildcard matching of one name, case-insensitive.
bool wildcardMatch(const std::string& pattern, const std::string& name);

} // namespace platform
