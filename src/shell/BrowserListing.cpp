#include "shell/BrowserListing.h"

#include "core/LockChecks.h"
#include "core/Register.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <QChar>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <exception>
#include <optional>
#include <unordered_map>
#include <utility>

namespace shell {

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string typeText(const std::string& name) {
    // A name without an extension is a plain "File", not " file".
    const std::string extension = upper(GetExtension(name));
    return extension.empty() ? std::string("File") : extension + " file";
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int sign(int v) {
    return (v > 0) - (v < 0);
}

// The code point that starts at text[i] and its length in bytes. A byte that does not start a
// well-formed UTF-8 sequence stands for itself, so that any name still has a total order.
std::pair<char32_t, std::size_t> codePoint(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 1;
    if (lead < 0x80 || length == 1 || i + length > text.size())
        return {lead, 1};
    char32_t value = lead & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return {lead, 1};
        value = (value << 6) | (next & 0x3F);
    }
    return {value, length};
}

// A letter without its case, for every script Unicode gives cases to ("Ä" as "ä", "Ж" as "ж").
char32_t folded(char32_t c) {
    return c < 0x80 ? static_cast<char32_t>(platform::lowerChar(static_cast<char>(c))) : QChar::toCaseFolded(c);
}

// Byte order without regard to ASCII case.
int compareNoCase(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(platform::lowerChar(a[i]));
        const auto cb = static_cast<unsigned char>(platform::lowerChar(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

int NaturalCompare(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    int zeros = 0; // which side had more leading zeros in an equal number: a later tie-breaker
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the two numbers by value: without leading zeros, the longer run is larger,
            // and runs of the same length compare digit by digit.
            std::size_t si = i, sj = j;
            while (si < a.size() && a[si] == '0')
                ++si;
            while (sj < b.size() && b[sj] == '0')
                ++sj;
            std::size_t ei = si, ej = sj;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            if (const int c = a.substr(si, ei - si).compare(b.substr(sj, ej - sj)); c != 0)
                return sign(c);
            if (zeros == 0 && si - i != sj - j)
                zeros = si - i < sj - j ? -1 : 1; // "1" before "01"
            i = ei;
            j = ej;
            continue;
        }
        const auto [ca, la] = codePoint(a, i);
        const auto [cb, lb] = codePoint(b, j);
        const char32_t fa = folded(ca), fb = folded(cb);
        if (fa != fb)
            return fa < fb ? -1 : 1;
        i += la;
        j += lb;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1; // the shorter name, a prefix of the other, comes first
    if (zeros != 0)
        return zeros;
    return sign(a.compare(b)); // equal but for case: upper case first, as bytes
}

bool RowLess(FileColumn column, std::string_view textA, std::int64_t bytesA, std::string_view typeA,
             std::string_view textB, std::int64_t bytesB, std::string_view typeB) {
    int c = 0;
    if (column == FileColumn::Size)
        c = bytesA == bytesB ? 0 : (bytesA < bytesB ? -1 : 1);
    else if (column == FileColumn::Type)
        c = compareNoCase(typeA, typeB);
    if (c == 0)
        c = NaturalCompare(textA, textB);
    return c < 0;
}

void SortRowsByName(std::vector<FileRow>& rows) {
    const auto less = [](const FileRow& a, const FileRow& b) { return NaturalLess(a.text, b.text); };
    // Rows built from names in order mostly are in order already (a locked file shows another name).
    if (!std::is_sorted(rows.begin(), rows.end(), less))
        std::stable_sort(rows.begin(), rows.end(), less);
}

std::string FolderNodeText(const std::string& name) {
    if (name.size() > 4 && upper(name.substr(name.size() - 4)) == ".TSL")
        return TransformName(name.substr(0, name.size() - 4));
    return name;
}

std::vector<FolderNode> ListSubfolders(const std::string& folder) {
    std::vector<FolderNode> nodes;
    // One pass over the folder: a folder of many files is read at the speed of the disk.
    for (const platform::FolderEntry& entry : platform::listFolder(folder)) {
        if (!entry.folder)
            continue;
        const std::string u = upper(entry.name);
        if (u == "RECYCLED" || u == "RECYCLER" || u == "SYSTEM VOLUME INFORMATION")
            continue;
        nodes.push_back({AddBackslash(folder) + entry.name, FolderNodeText(entry.name)});
    }
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const FolderNode& a, const FolderNode& b) { return NaturalLess(a.text, b.text); });
    return nodes;
}

std::vector<platform::FolderEntry> FileEntries(std::vector<platform::FolderEntry> entries) {
    std::erase_if(entries, [](const platform::FolderEntry& e) { return e.folder; });
    std::sort(entries.begin(), entries.end(), [](const platform::FolderEntry& a, const platform::FolderEntry& b) {
        return NaturalLess(a.name, b.name);
    });
    return entries;
}

std::vector<platform::FolderEntry> FolderFiles(const std::string& folder) {
    return folder.empty() ? std::vector<platform::FolderEntry>() : FileEntries(platform::listFolder(folder));
}

std::vector<std::string> ListFileNames(const std::string& folder) {
    std::vector<std::string> names;
    for (platform::FolderEntry& entry : FolderFiles(folder))
        names.push_back(std::move(entry.name));
    return names;
}

std::string FilesSignature(const std::vector<platform::FolderEntry>& files) {
    std::string signature;
    for (const platform::FolderEntry& file : files) {
        signature += file.name;
        signature += '/';
        signature += file.known ? std::to_string(file.size) : std::string("?");
        signature += '/';
        signature += std::to_string(file.modifiedNs);
        signature += '\n';
    }
    return signature;
}

namespace {

// The type shown for a name: its extension in capitals and " file". Folders repeat a few
// extensions many times over: each is worked out once.
class TypeNames {
public:
    const std::string& of(const std::string& name) {
        const std::string ext = GetExtension(name);
        auto found = m_known.find(ext);
        if (found == m_known.end())
            found = m_known.emplace(ext, typeText(name)).first;
        return found->second;
    }

private:
    std::unordered_map<std::string, std::string> m_known;
};

// The rows for `names`; sizeOf(i, full path) gives the size of names[i] in bytes, or "" when it
// cannot be read.
template <class SizeOf>
FolderListing buildRows(const std::string& folder, const std::vector<std::string>& names, SizeOf&& sizeOf,
                        const std::function<void(platform::ErrorKind, const std::string&)>& onError) {
    FolderListing listing;
    listing.names = names;
    listing.rows.reserve(names.size());
    TypeNames types;
    const std::string base = AddBackslash(folder);
    // A strong locked file is shown by the name it had, from the register (read once, at the first).
    std::optional<std::vector<core::RegisterItem>> strongEntries;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        const std::string full = base + name;
        try {
            if (name == "desktop.ini") {
                if (FileExists(full) && platform::readAll(full).find(kLockedFolderClassId) != std::string::npos)
                    listing.lockedFolder = true;
                continue;
            }
            listing.rows.push_back(FileRow{name, name, false, {}, {}});
            FileRow& row = listing.rows.back();
            const std::string ext = upper(GetExtension(name));
            if (ext == "TSL" || ext == "TSW" || ext == "TSX") {
                if (FileExists(full)) {
                    platform::InputFile in(full);
                    char head[8];
                    const bool whole = in.read(head, sizeof head) == sizeof head;
                    // A strong locked file keeps its random name: the name it had is inside it.
                    row.lockIcon = whole && std::string(head, 8) == (ext == "TSX" ? "[Strong]" : "[Secret]");
                }
                // Only a locked file is shown under the name it had; the extension alone says nothing.
                if (row.lockIcon && ext != "TSX") {
                    row.text = TransformName(GetFileNamePart(RemoveExtension(name)));
                    row.type = types.of(row.text);
                } else if (row.lockIcon) {
                    if (!strongEntries)
                        strongEntries =
                            core::QuietRegisterEntries(core::RegisterPath(), core::RegisterKind::StrongFile);
                    const std::string had = core::StrongLockedName(*strongEntries, full);
                    row.text = had.empty() ? name : core::StrongShownText(had);
                    row.type = types.of(had.empty() ? name : had);
                } else {
                    row.type = types.of(row.text);
                }
            } else {
                row.type = types.of(name);
            }
            const std::optional<std::int64_t> bytes = sizeOf(i, full);
            if (!bytes)
                throw platform::SysError(platform::ErrorKind::FileNotFound);
            row.bytes = *bytes;
            row.size = FormatByteSize(row.bytes);
        } catch (const platform::SysError& e) {
            if (onError)
                onError(e.kind, e.description());
        } catch (const std::exception& e) {
            if (onError)
                onError(platform::ErrorKind::InvalidArgument, e.what());
        }
    }
    SortRowsByName(listing.rows);
    return listing;
}

} // namespace

bool IsDotFile(const FileRow& row) {
    return !row.text.empty() && row.text.front() == '.';
}

namespace {

std::string localTime(const timespec& t) {
    std::tm local{};
    const std::time_t seconds = t.tv_sec;
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// "rw-rw-r-- (0664)".
std::string permissionText(unsigned mode) {
    std::string text;
    for (int shift = 6; shift >= 0; shift -= 3) {
        const unsigned bits = (mode >> shift) & 7u;
        text += bits & 4u ? 'r' : '-';
        text += bits & 2u ? 'w' : '-';
        text += bits & 1u ? 'x' : '-';
    }
    char octal[16];
    std::snprintf(octal, sizeof octal, " (%04o)", mode & 07777u);
    return text + octal;
}

std::string attributeText(unsigned attributes) {
    std::string text;
    const std::pair<unsigned, const char*> names[] = {{platform::kAttrReadOnly, "Read-only"},
                                                      {platform::kAttrHidden, "Hidden"},
                                                      {platform::kAttrSystem, "System"},
                                                      {platform::kAttrArchive, "Archive"}};
    for (const auto& [bit, name] : names)
        if (attributes & bit)
            text += (text.empty() ? "" : ", ") + std::string(name);
    return text.empty() ? std::string("None") : text;
}

std::string lockedFormatText(const std::string& extension) {
    if (extension == "TSL")
        return "small-file format (.TSL)";
    if (extension == "TSW")
        return "large-file format (.TSW)";
    return "strong format (.TSX)";
}

} // namespace

std::string FileProperties(const std::string& folder, const FileRow& row) {
    const std::string path = AddBackslash(folder) + row.key;
    const std::string host = platform::toHost(path);
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0)
        throw platform::sysErrorFromErrno(errno, host);
    const auto bytes = static_cast<std::int64_t>(st.st_size);
    std::vector<std::string> lines = {
        "Name: " + row.text,
        "Folder: " + folder,
        "Type: " + row.type,
        "Size: " + FormatByteSize(bytes) + (bytes >= 1024 ? " (" + std::to_string(bytes) + " bytes)" : ""),
        "Modified: " + localTime(st.st_mtim),
        "Accessed: " + localTime(st.st_atim),
        "Permissions: " + permissionText(st.st_mode),
        "Attributes: " + attributeText(platform::getAttributes(path) & ~platform::kAttrDirectory),
    };
    if (row.lockIcon)
        lines.push_back("Locked: " + lockedFormatText(upper(GetExtension(row.key))) + ", on disk as \"" + row.key +
                        "\"");
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\r\n") + line;
    return text;
}

FolderListing BuildRows(const std::string& folder, const std::vector<std::string>& names,
                        const std::function<void(platform::ErrorKind, const std::string&)>& onError) {
    return buildRows(
        folder, names,
        [](std::size_t, const std::string& full) -> std::optional<std::int64_t> {
            const std::string size = FileSizeText(full);
            if (size.empty())
                return std::nullopt;
            return static_cast<std::int64_t>(std::stoll(size));
        },
        onError);
}

FolderListing BuildRows(const std::string& folder, const std::vector<platform::FolderEntry>& files,
                        const std::function<void(platform::ErrorKind, const std::string&)>& onError) {
    std::vector<std::string> names;
    names.reserve(files.size());
    for (const platform::FolderEntry& file : files)
        names.push_back(file.name);
    return buildRows(
        folder, names,
        [&files](std::size_t i, const std::string&) -> std::optional<std::int64_t> {
            const platform::FolderEntry& file = files[i];
            if (!file.known || file.folder)
                return std::nullopt;
            return static_cast<std::int64_t>(file.size);
        },
        onError);
}

} // namespace shell
