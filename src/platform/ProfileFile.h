#pragma once
// Profile (INI) files with the platform's rules: sections and keys matched without regard to case
// (but keys that are full paths, such as the register's, exactly: host names are case-sensitive);
// a write replaces the first matching key or appends it at the end of its section, creating the
// section and the file when missing; a delete of a missing entry does nothing; lines end in CR LF.
// Every change replaces the file atomically. Paths are in Windows form; text is bytes.

#include <string>
#include <utility>
#include <vector>

namespace platform {

// The value of key in section (leading and trailing blanks removed, one pair of surrounding quotes
// removed) or `defaultValue` when the file, section or key is missing.
std::string getProfileString(const std::string& windowsFile, const std::string& section, const std::string& key,
                             const std::string& defaultValue);
// The values of several keys of one section from one read of the file, in the keys' order.
std::vector<std::string> getProfileStrings(const std::string& windowsFile, const std::string& section,
                                           const std::vector<std::string>& keys, const std::string& defaultValue);
// Writes key=value into the section. Returns false (and changes nothing) when the file cannot be written.
bool writeProfileString(const std::string& windowsFile, const std::string& section, const std::string& key,
                        const std::string& value);
// Removes the key from the section. Returns false when the file cannot be written.
bool deleteProfileKey(const std::string& windowsFile, const std::string& section, const std::string& key);

// The same, throwing SysError with the system's reason when the file cannot be read or written. Each
// is one read-change-write under the folder's inter-process lock (FolderLock), so writers in other
// processes never lose each other's entries. Several entries of one section go in one write.
void setProfileEntries(const std::string& windowsFile, const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& entries);
void removeProfileEntries(const std::string& windowsFile, const std::string& section,
                          const std::vector<std::string>& keys);
// One change of a batch: set key=value in the section, or remove the key's first line from it.
struct ProfileChange {
    bool set = true;
    std::string section;
    std::string key;
    std::string value; // for a set
};
// Several changes, over any sections, applied in their order in one read-change-write under the
// folder's lock (one write of the file). A missing file is made when a change sets an entry; with
// only removals it holds nothing to remove.
void changeProfileEntries(const std::string& windowsFile, const std::vector<ProfileChange>& changes);

// Whether two keys name one entry of a section: without regard to case, except that of keys that are
// full paths only the drive letter is.
bool sameProfileKey(const std::string& a, const std::string& b);

// Where a "key=value" line's key ends: the position of the "=" between key and value, npos when the
// line has none. That is the first "=", except on a line that begins with a full path ("P:\..."):
// such a key may itself hold "=" (transformed names turn "~" into "="), and its value is a full path
// too, so the key ends at the first "=" that is followed (after blanks) by a drive letter, ":" and "\".
std::size_t profileKeyEnd(const std::string& line);

} // namespace platform
