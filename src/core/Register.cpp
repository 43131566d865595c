#include "core/Register.h"

#include "diagnostics/ErrorReport.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/ProfileFile.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "settings/modRegistryINI.h"

#include <algorithm>
#include <optional>

namespace core {

namespace {

// Blanks removed at both ends, as the register's keys and values are stored.
using platform::trimBlanks;

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty())
        return text;
    std::string out;
    std::size_t pos = 0;
    for (auto hit = text.find(from); hit != std::string::npos; hit = text.find(from, pos)) {
        out.append(text, pos, hit - pos);
        out += to;
        pos = hit + from.size();
    }
    out.append(text, pos);
    return out;
}

std::string entryKey(const std::string& path) {
    return TransformName(trimBlanks(path));
}

struct ReaderError {
    int number = 0;
    std::string description;
};

// One section's entries from its body as ReadIniSection gives it; failing steps are skipped and
// the last error is kept.
std::vector<RegisterItem> parseSection(const std::string& body, std::optional<ReaderError>& error) {
    std::vector<RegisterItem> items;
    std::size_t pos = 0;
    while (pos <= body.size()) {
        auto bar = body.find('|', pos);
        if (bar == std::string::npos)
            bar = body.size();
        std::string piece = body.substr(pos, bar - pos);
        pos = bar + 1;
        if (piece.empty() || piece.find('=') == std::string::npos)
            continue;
        piece = replaceAll(piece, "\n", "");
        const std::string rawKey = trimBlanks(IniEntryKey(piece));
        const std::string rawValue = trimBlanks(IniEntryValue(piece));
        // A blank key or value is not an item (and not an error either).
        if (rawKey.empty() || rawValue.empty())
            continue;
        try {
            RegisterItem item;
            item.text = TransformName(rawKey);
            item.key = TransformName(rawValue);
            if (!trimBlanks(item.text).empty() && !trimBlanks(item.key).empty())
                items.push_back(std::move(item));
        } catch (const platform::SysError& e) {
            error = ReaderError{e.number, e.description()};
        }
    }
    return items;
}

// Reads one section's entries; failing steps are skipped and the last error is kept.
std::vector<RegisterItem> readSection(const std::string& registerPath, const std::string& section,
                                      std::optional<ReaderError>& error) {
    std::string body;
    try {
        body = ReadIniSection(registerPath, "[" + section + "]");
    } catch (const platform::SysError& e) {
        error = ReaderError{e.number, e.description()};
        return {};
    }
    return parseSection(body, error);
}

const char* const kInUse =
    "The application Locked Files database is currently in use. Please restart the application and try again.";

} // namespace

std::string RegisterPath() {
    return AddBackslash(GetSystemFolder()) + settings::kRegisterFileName;
}

std::string RegisterUnreachableReason() {
    if (!GetSystemFolder().empty())
        return {};
    return "the program's data folder " + platform::systemFolderHost() + " is on none of its drives";
}

void EnsureRegister(const std::string& registerPath) {
    if (!platform::exists(registerPath))
        platform::writeFileAtomic(registerPath, "\r\n");
}

bool IsRecordablePath(const std::string& path) {
    return path.find_first_of("|\r\n") == std::string::npos;
}

std::string UnrecordableMessage(const std::string& kind, const std::string& path) {
    return "The " + kind + " '" + path + "' cannot be locked: its path holds a \"|\" or a line break, which " +
           "the list of locked items cannot keep. Rename it and try again.";
}

void RecordLocks(const std::string& registerPath, const std::string& section,
                 const std::vector<std::pair<std::string, std::string>>& locks) {
    if (registerPath.empty() || locks.empty())
        return; // no register given: nothing is recorded
    std::vector<std::pair<std::string, std::string>> entries;
    entries.reserve(locks.size());
    for (const auto& [before, after] : locks)
        entries.emplace_back(entryKey(before), entryKey(after));
    // One read-change-write under the register's lock; a missing register is made anew.
    platform::setProfileEntries(registerPath, section, entries);
}

void RecordLock(const std::string& registerPath, const std::string& section, const std::string& before,
                const std::string& after) {
    RecordLocks(registerPath, section, {{before, after}});
}

namespace {

// The key of a file locked while its folder had its plain name, for a folder locked since: the
// folder's name without ".tsl", transformed back (the case is kept, so a folder with capitals finds
// its entry too). Empty when the file's folder is not a locked one.
std::string plainFolderKey(const std::string& restoredPath) {
    const std::string folderName = GetFileNamePart(RemoveBackslash(GetFolderPart(restoredPath)));
    if (platform::lowerText(GetExtension(folderName)) != "tsl")
        return {};
    std::string bare;
    const std::string lowered = platform::lowerText(folderName);
    for (std::size_t i = 0; i < folderName.size();) {
        if (lowered.compare(i, 4, ".tsl") == 0) {
            i += 4;
        } else {
            bare.push_back(folderName[i]);
            ++i;
        }
    }
    return entryKey(replaceAll(restoredPath, folderName, TransformName(bare)));
}

} // namespace

void RemoveAfterFileUnlocks(const std::string& registerPath, const std::string& section,
                            const std::vector<std::string>& restoredPaths) {
    if (registerPath.empty() || restoredPaths.empty())
        return;
    // The read and the removal are one cycle under the register's lock; one read serves every file.
    const platform::FolderLock lock(platform::hostpath::folderOf(platform::toHost(registerPath)));
    std::vector<std::string> keys;
    keys.reserve(restoredPaths.size());
    for (const std::string& restoredPath : restoredPaths)
        keys.push_back(entryKey(restoredPath));
    const std::vector<std::string> values = platform::getProfileStrings(registerPath, section, keys, std::string());
    for (std::size_t i = 0; i < restoredPaths.size(); ++i) {
        if (!values[i].empty())
            continue;
        // Not under its own path: the file was locked before its folder was.
        keys[i] = plainFolderKey(restoredPaths[i]);
    }
    std::erase(keys, std::string());
    platform::removeProfileEntries(registerPath, section, keys);
}

void RemoveAfterFileUnlock(const std::string& registerPath, const std::string& section,
                           const std::string& restoredPath) {
    RemoveAfterFileUnlocks(registerPath, section, {restoredPath});
}

void RemoveEntries(const std::string& registerPath, const std::string& section,
                   const std::vector<std::string>& befores) {
    if (registerPath.empty() || befores.empty())
        return;
    std::vector<std::string> keys;
    keys.reserve(befores.size());
    for (const std::string& before : befores)
        keys.push_back(entryKey(before));
    platform::removeProfileEntries(registerPath, section, keys);
}

void RemoveAfterFolderUnlock(const std::string& registerPath, const std::string& restoredFolder) {
    DeleteSettingValue(registerPath, settings::kSectionFolder, entryKey(restoredFolder));
}

std::vector<RegisterItem> RegisterEntries(const std::string& registerPath, const std::string& section) {
    std::optional<ReaderError> error;
    auto items = readSection(registerPath, section, error);
    if (error)
        throw platform::SysError(error->number, error->description);
    return items;
}

namespace {

// A section of locked files as the vault reads it: a register in use is told of with `inUse`, any
// other failure goes to the error report under the reader's procedure name.
std::vector<RegisterItem> lockedFilesOf(const std::string& registerPath, const char* section, platform::Prompt& prompt,
                                        const std::string& windowName, const char* procedure,
                                        const std::string& inUse) {
    std::optional<ReaderError> error;
    auto items = readSection(registerPath, section, error);
    if (error) {
        if (error->number == 55)
            prompt.show(inUse, platform::Buttons::OK, platform::Icon::Critical);
        else
            ReportError(windowName, error->number, error->description, procedure);
    }
    return items;
}

} // namespace

std::vector<RegisterItem> GetLockedTSLFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName) {
    return lockedFilesOf(registerPath, settings::kSectionTSL, prompt, windowName, "GetLockedIDFiles",
                         std::string(kInUse) + "\r\n\r\nIn case the problem persists mail us at " +
                             settings::kSupportAddress + ". Thank you.");
}

std::vector<RegisterItem> GetLockedTSWFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName) {
    return lockedFilesOf(registerPath, settings::kSectionTSW, prompt, windowName, "GetLockedTSWFiles", kInUse);
}

std::vector<RegisterItem> GetLockedTSXFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName) {
    return lockedFilesOf(registerPath, settings::kSectionTSX, prompt, windowName, "GetLockedTSXFiles", kInUse);
}

std::vector<RegisterItem> GetLockedFolders(const std::string& registerPath, platform::Prompt&,
                                           const std::string& windowName) {
    std::optional<ReaderError> error;
    auto items = readSection(registerPath, settings::kSectionFolder, error);
    if (error)
        ReportError(windowName, error->number, error->description, "GetLockedFolders");
    return items;
}

std::vector<RegisterItem> QuietRegisterEntries(const std::string& registerPath, const std::string& section) {
    if (registerPath.empty())
        return {};
    std::optional<ReaderError> ignored;
    return readSection(registerPath, section, ignored);
}

namespace {

constexpr std::array<const char*, 4> kSections = {settings::kSectionTSL, settings::kSectionTSW, settings::kSectionTSX,
                                                  settings::kSectionFolder};

// The path before the lock as a reader gives back the entry keyed `key` (see parseSection).
std::string textOfKey(const std::string& key) {
    return TransformName(trimBlanks(key));
}

// Drops the first entry whose path before the lock is `text`; false when there is none.
bool dropFirst(std::vector<RegisterItem>& items, const std::string& text) {
    const auto hit = std::find_if(items.begin(), items.end(),
                                  [&](const RegisterItem& i) { return platform::sameProfileKey(i.text, text); });
    if (hit == items.end())
        return false;
    items.erase(hit);
    return true;
}

} // namespace

RegisterSnapshot::RegisterSnapshot(std::string registerPath) : m_registerPath(std::move(registerPath)) {}

std::vector<RegisterItem>* RegisterSnapshot::section(const std::string& name) const {
    if (!m_read) {
        m_read = true;
        if (!m_registerPath.empty()) {
            // One read of the whole file; each section is then parsed as ReadIniSection would cut it.
            std::string text;
            try {
                text = platform::readAll(m_registerPath);
            } catch (const platform::SysError&) {
            }
            std::optional<ReaderError> ignored;
            for (std::size_t i = 0; i < kSections.size(); ++i) {
                std::string header(1, '[');
                header += kSections[i];
                header += ']';
                m_sections[i] = parseSection(IniSectionOf(text, header), ignored);
            }
        }
    }
    for (std::size_t i = 0; i < kSections.size(); ++i)
        if (name == kSections[i])
            return &m_sections[i];
    return nullptr;
}

const std::vector<RegisterItem>& RegisterSnapshot::entries(const std::string& name) const {
    static const std::vector<RegisterItem> kNone;
    const std::vector<RegisterItem>* items = section(name);
    return items ? *items : kNone;
}

void RegisterSnapshot::noteRecorded(const std::string& name,
                                    const std::vector<std::pair<std::string, std::string>>& locks) {
    // Not read yet: the read to come finds the entries in the file.
    if (!m_read || m_registerPath.empty())
        return;
    std::vector<RegisterItem>* items = section(name);
    if (!items)
        return;
    for (const auto& [before, after] : locks) {
        RegisterItem item{textOfKey(entryKey(after)), textOfKey(entryKey(before))};
        if (trimBlanks(item.text).empty() || trimBlanks(item.key).empty())
            continue;
        // A write replaces the entry of the same path, or adds one at the end of its section.
        const auto same = std::find_if(items->begin(), items->end(), [&](const RegisterItem& i) {
            return platform::sameProfileKey(i.text, item.text);
        });
        if (same != items->end())
            *same = std::move(item); // the line is written anew, its key as this write gives it
        else
            items->push_back(std::move(item));
    }
}

void RegisterSnapshot::noteRemoved(const std::string& name, const std::vector<std::string>& befores) {
    if (!m_read)
        return;
    if (std::vector<RegisterItem>* items = section(name))
        for (const std::string& before : befores)
            dropFirst(*items, textOfKey(entryKey(before)));
}

void RegisterSnapshot::noteUnlocked(const std::string& name, const std::vector<std::string>& restoredPaths) {
    if (!m_read)
        return;
    std::vector<RegisterItem>* items = section(name);
    if (!items)
        return;
    // The entry of the restored path, or else that of the file locked before its folder was.
    for (const std::string& restoredPath : restoredPaths) {
        if (dropFirst(*items, textOfKey(entryKey(restoredPath))))
            continue;
        if (const std::string fallback = plainFolderKey(restoredPath); !fallback.empty())
            dropFirst(*items, textOfKey(fallback));
    }
}

} // namespace core
