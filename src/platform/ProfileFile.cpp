#include "platform/ProfileFile.h"

#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <optional>
#include <unordered_map>
#include <vector>

namespace platform {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t';
}

std::string trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// The section named by a "[name]" line, or nothing for other lines.
std::optional<std::string> sectionName(const std::string& line) {
    const std::string t = trim(line);
    if (t.empty() || t[0] != '[')
        return std::nullopt;
    const auto close = t.find(']');
    return trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

// True when text[at...] begins with a drive letter, ":" and "\".
bool fullPathAt(const std::string& text, std::size_t at) {
    if (at + 3 > text.size())
        return false;
    const char d = text[at];
    return ((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z')) && text[at + 1] == ':' && text[at + 2] == '\\';
}

// The key of a "key=value" line, or nothing for other lines (comments, blank lines).
std::optional<std::string> keyName(const std::string& line) {
    const std::string t = trim(line);
    if (t.empty() || t[0] == ';')
        return std::nullopt;
    const auto eq = profileKeyEnd(line);
    if (eq == std::string::npos)
        return std::nullopt;
    return trim(line.substr(0, eq));
}

// Keys are matched without regard to case, except keys that are full paths ("P:\..."): names on
// the program's Linux drives are case-sensitive, so two files whose names differ only in case keep
// two entries. Only the drive letter of such a key matches in either case.
bool sameKey(const std::string& a, const std::string& b) {
    if (!fullPathAt(a, 0) || !fullPathAt(b, 0))
        return equalNoCase(a, b);
    return equalNoCase(a.substr(0, 1), b.substr(0, 1)) && a.compare(1, std::string::npos, b, 1) == 0;
}

struct Located {
    std::optional<std::size_t> sectionLine; // the "[section]" line
    std::size_t sectionEnd = 0;             // one past the section's last line
    std::optional<std::size_t> keyLine;     // the first matching key in it
};

Located locate(const std::vector<std::string>& lines, const std::string& section, const std::string& key) {
    Located loc;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = sectionName(lines[i]);
        if (!name)
            continue;
        if (!equalNoCase(*name, trim(section)))
            continue;
        loc.sectionLine = i;
        std::size_t j = i + 1;
        for (; j < lines.size() && !sectionName(lines[j]); ++j) {
            if (!loc.keyLine) {
                const auto k = keyName(lines[j]);
                if (k && sameKey(*k, trim(key)))
                    loc.keyLine = j;
            }
        }
        loc.sectionEnd = j;
        break;
    }
    return loc;
}

// The same matching as sameKey() as one text: a full-path key keeps all but its drive letter as it
// is, any other key is matched without regard to case.
std::string matchingForm(std::string key) {
    if (fullPathAt(key, 0)) {
        key[0] = lowerChar(key[0]);
    } else {
        for (char& c : key)
            c = lowerChar(c);
    }
    return key;
}

// One section's place and its keys' lines, found in one pass, for changes of many entries at once.
struct SectionIndex {
    std::optional<std::size_t> sectionLine;
    std::size_t sectionEnd = 0;
    std::unordered_map<std::string, std::vector<std::size_t>> keyLines; // matching form -> lines, in order
};

SectionIndex indexSection(const std::vector<std::string>& lines, const std::string& section) {
    SectionIndex index;
    const Located loc = locate(lines, section, std::string());
    index.sectionLine = loc.sectionLine;
    index.sectionEnd = loc.sectionEnd;
    if (!loc.sectionLine)
        return index;
    for (std::size_t j = *loc.sectionLine + 1; j < loc.sectionEnd; ++j)
        if (const auto k = keyName(lines[j]))
            index.keyLines[matchingForm(*k)].push_back(j);
    return index;
}

// The file's host path; nothing when its drive has no folder.
std::optional<std::string> hostOf(const std::string& windowsFile) {
    try {
        return toHost(windowsFile);
    } catch (const SysError&) {
        return std::nullopt;
    }
}

// The value of a "key=value" line: blanks and one pair of surrounding quotes removed.
std::string valueOf(const std::string& line) {
    std::string value = trim(line.substr(profileKeyEnd(line) + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

enum class ReadResult { Read, Missing, Failed };

// Reads the file's lines. A file that exists but cannot be read is never taken for an empty one.
ReadResult readLines(const std::string& host, std::vector<std::string>& lines) {
    try {
        lines = splitLines(readAllHost(HostPath(host)));
        return ReadResult::Read;
    } catch (const SysError& e) {
        return e.kind == ErrorKind::FileNotFound || e.kind == ErrorKind::PathNotFound ? ReadResult::Missing
                                                                                      : ReadResult::Failed;
    }
}

void writeLines(const std::string& host, const std::vector<std::string>& lines, int folderFd = -1, int mode = -1) {
    std::string out;
    for (const auto& l : lines) {
        out += l;
        out += "\r\n";
    }
    std::optional<AtomicWriter> w;
    if (folderFd >= 0)
        w.emplace(folderFd, HostPath(host));
    else
        w.emplace(HostPath(host));
    if (mode >= 0)
        w->setPermissions(static_cast<unsigned>(mode));
    w->write(out);
    w->commit(true);
}

// The "[section]" line of a section.
std::string sectionHeader(const std::string& section) {
    std::string header = trim(section);
    header.insert(header.begin(), '[');
    header.push_back(']');
    return header;
}

// One read-change-write of a profile file under its folder's lock. `change` returns whether it
// changed anything; `createMissing` says whether a missing file is to be made.
// The file is read and replaced through its folder, never following a link: a profile file beside
// the user's (desktop.ini) that is a link or not a regular file is neither read nor changed (error
// 75), and the replacement keeps the mode of the file that was read.
template <class Change> void updateProfile(const std::string& windowsFile, bool createMissing, Change&& change) {
    const std::string host = toHost(windowsFile);
    const std::string folder = hostpath::folderOf(host);
    FolderLock lock(folder);
    const UniqueFd folderFd(openFolderHost(folder, host));
    const BesideFile file = readBeside(folderFd.get(), hostpath::nameOf(host), folder);
    if (file.kind == BesideFile::Kind::Other)
        throw SysError(ErrorKind::PathFileAccess, errorDescription(ErrorKind::PathFileAccess),
                       "it is a symbolic link or not a regular file");
    if (file.kind == BesideFile::Kind::Missing && !createMissing)
        throw SysError(ErrorKind::FileNotFound);
    std::vector<std::string> lines = splitLines(file.content);
    if (change(lines))
        writeLines(host, lines, folderFd.get(),
                   file.kind == BesideFile::Kind::Regular ? static_cast<int>(file.mode) : -1);
}

} // namespace

namespace {

// Sets the entries in the file's lines: the section is looked at once; each entry replaces the first
// line of its key or goes after the section's last non-blank line (blank lines before the next
// section stay), the section being made at the end of the file when missing.
bool setInLines(std::vector<std::string>& lines, const std::string& section,
                const std::vector<std::pair<std::string, std::string>>& entries) {
    SectionIndex index = indexSection(lines, section);
    std::size_t insertAt = 0;
    if (index.sectionLine) {
        insertAt = index.sectionEnd;
        while (insertAt > *index.sectionLine + 1 && trim(lines[insertAt - 1]).empty())
            --insertAt;
    }
    for (const auto& [key, value] : entries) {
        std::string entry = trim(key) + "=" + value;
        std::vector<std::size_t>& found = index.keyLines[matchingForm(trim(key))];
        if (!found.empty()) {
            lines[found.front()] = std::move(entry);
            continue;
        }
        if (!index.sectionLine) {
            lines.push_back(sectionHeader(section));
            index.sectionLine = lines.size() - 1;
            insertAt = lines.size();
        }
        // Lines from insertAt on are blank ones or other sections: no indexed key moves.
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
        found.push_back(insertAt++);
    }
    return !entries.empty();
}

// Removes the keys' lines from the section: each key takes the first of its lines still there, as
// one removal after another would.
bool removeInLines(std::vector<std::string>& lines, const std::string& section, const std::vector<std::string>& keys) {
    SectionIndex index = indexSection(lines, section);
    std::vector<bool> drop(lines.size(), false);
    bool changed = false;
    for (const auto& key : keys) {
        const auto it = index.keyLines.find(matchingForm(trim(key)));
        if (it == index.keyLines.end() || it->second.empty())
            continue;
        drop[it->second.front()] = true;
        it->second.erase(it->second.begin());
        changed = true;
    }
    if (changed) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (drop[i])
                continue;
            if (kept != i)
                lines[kept] = std::move(lines[i]);
            ++kept;
        }
        lines.resize(kept);
    }
    return changed;
}

bool missingFileError(const SysError& e) {
    return e.kind == ErrorKind::FileNotFound || e.kind == ErrorKind::PathNotFound;
}

} // namespace

void setProfileEntries(const std::string& windowsFile, const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& entries) {
    updateProfile(windowsFile, true,
                  [&](std::vector<std::string>& lines) { return setInLines(lines, section, entries); });
}

void removeProfileEntries(const std::string& windowsFile, const std::string& section,
                          const std::vector<std::string>& keys) {
    try {
        updateProfile(windowsFile, false,
                      [&](std::vector<std::string>& lines) { return removeInLines(lines, section, keys); });
    } catch (const SysError& e) {
        if (!missingFileError(e))
            throw; // a missing file holds nothing to remove
    }
}

void changeProfileEntries(const std::string& windowsFile, const std::vector<ProfileChange>& changes) {
    const bool anySet = std::any_of(changes.begin(), changes.end(), [](const ProfileChange& c) { return c.set; });
    try {
        updateProfile(windowsFile, anySet, [&](std::vector<std::string>& lines) {
            // A run of changes of one kind to one section is done in one pass over the section.
            bool changed = false;
            for (std::size_t i = 0; i < changes.size();) {
                const ProfileChange& first = changes[i];
                std::vector<std::pair<std::string, std::string>> sets;
                std::vector<std::string> removals;
                for (; i < changes.size() && changes[i].set == first.set && changes[i].section == first.section; ++i) {
                    if (first.set)
                        sets.emplace_back(changes[i].key, changes[i].value);
                    else
                        removals.push_back(changes[i].key);
                }
                changed |=
                    first.set ? setInLines(lines, first.section, sets) : removeInLines(lines, first.section, removals);
            }
            return changed;
        });
    } catch (const SysError& e) {
        if (anySet || !missingFileError(e))
            throw; // a missing file holds nothing to remove
    }
}

std::size_t profileKeyEnd(const std::string& line) {
    const std::size_t first = line.find('=');
    std::size_t start = 0;
    while (start < line.size() && blank(line[start]))
        ++start;
    if (first == std::string::npos || !fullPathAt(line, start))
        return first;
    for (std::size_t eq = first; eq != std::string::npos; eq = line.find('=', eq + 1)) {
        std::size_t value = eq + 1;
        while (value < line.size() && blank(line[value]))
            ++value;
        if (fullPathAt(line, value))
            return eq;
    }
    return first;
}

bool sameProfileKey(const std::string& a, const std::string& b) {
    return sameKey(a, b);
}

std::string getProfileString(const std::string& windowsFile, const std::string& section, const std::string& key,
                             const std::string& defaultValue) {
    // One key: a walk that stops at its line, without indexing the whole section.
    const auto host = hostOf(windowsFile);
    std::vector<std::string> lines;
    if (!host || readLines(*host, lines) != ReadResult::Read)
        return defaultValue;
    const Located loc = locate(lines, section, key);
    return loc.keyLine ? valueOf(lines[*loc.keyLine]) : defaultValue;
}

std::vector<std::string> getProfileStrings(const std::string& windowsFile, const std::string& section,
                                           const std::vector<std::string>& keys, const std::string& defaultValue) {
    std::vector<std::string> values(keys.size(), defaultValue);
    const auto host = hostOf(windowsFile);
    std::vector<std::string> lines;
    if (!host || readLines(*host, lines) != ReadResult::Read)
        return values;
    const SectionIndex index = indexSection(lines, section);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const auto it = index.keyLines.find(matchingForm(trim(keys[i])));
        if (it != index.keyLines.end() && !it->second.empty())
            values[i] = valueOf(lines[it->second.front()]);
    }
    return values;
}

bool writeProfileString(const std::string& windowsFile, const std::string& section, const std::string& key,
                        const std::string& value) {
    try {
        setProfileEntries(windowsFile, section, {{key, value}});
        return true;
    } catch (const SysError&) {
        return false;
    }
}

bool deleteProfileKey(const std::string& windowsFile, const std::string& section, const std::string& key) {
    try {
        removeProfileEntries(windowsFile, section, {key});
        return true;
    } catch (const SysError&) {
        return false;
    }
}

} // namespace platform
