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

// The file's section of each kind.
const char* sectionName(RegisterKind kind) {
    switch (kind) {
    case RegisterKind::SmallFile:
        return "LockedTSLFile";
    case RegisterKind::LargeFile:
        return "LockedTSWFile";
    case RegisterKind::StrongFile:
        return "LockedTSXFile";
    case RegisterKind::Folder:
        break;
    }
    return "LockedFolder";
}

std::string sectionHeader(RegisterKind kind) {
    return std::string("[") + sectionName(kind) + "]";
}

std::size_t indexOf(RegisterKind kind) {
    return static_cast<std::size_t>(kind);
}

constexpr const char* kRegisterFileName = "systemtsl1.tcl";

std::string entryKey(const std::string& path) {
    return TransformName(trimBlanks(path));
}

struct ReaderError {
    platform::ErrorKind kind = platform::ErrorKind::PathFileAccess;
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
            error = ReaderError{e.kind, e.description()};
        }
    }
    return items;
}

// Reads one section's entries; failing steps are skipped and the last error is kept.
std::vector<RegisterItem> readSection(const std::string& registerPath, RegisterKind kind,
                                      std::optional<ReaderError>& error) {
    std::string body;
    try {
        body = ReadIniSection(registerPath, sectionHeader(kind));
    } catch (const platform::SysError& e) {
        error = ReaderError{e.kind, e.description()};
        return {};
    }
    return parseSection(body, error);
}

const char* const kInUse =
    "The application Locked Files database is currently in use. Please restart the application and try again.";

} // namespace

// The section's body runs from just after its header line's CR up to the next line that begins with
// "[" (or to the file's last character but one). Line feeds become "|" and one trailing CR "|" pair
// is dropped, so the result is "|key=value<CR>|key=value..." with a leading "|". Only a "[" that
// begins a line ends the section: locked paths may themselves hold "[". The header, too, counts only
// where it begins a line.
std::string ReadIniSection(const std::string& registerPath, const std::string& header) {
    return IniSectionOf(platform::readAll(registerPath), header);
}

std::string IniSectionOf(const std::string& text, const std::string& header) {
    if (header.empty())
        return std::string();

    std::size_t at = 0;
    std::size_t headerPos = std::string::npos;
    while ((at = text.find(header, at)) != std::string::npos) {
        if (at == 0 || text[at - 1] == '\n') {
            headerPos = at;
            break;
        }
        ++at;
    }
    if (headerPos == std::string::npos)
        return std::string();

    const std::size_t headerEnd = headerPos + header.size();
    const std::size_t start = headerEnd + 1;
    std::size_t next = text.size();
    for (std::size_t p = text.find('[', headerEnd); p != std::string::npos; p = text.find('[', p + 1)) {
        if (p > 0 && text[p - 1] == '\n') {
            next = p;
            break;
        }
    }
    // Without a further section the body stops before the file's last character (its final LF).
    const std::size_t end = next == text.size() ? (text.empty() ? 0 : text.size() - 1) : next;
    if (start >= end)
        return std::string();

    std::string body = text.substr(start, end - start);
    std::replace(body.begin(), body.end(), '\n', '|');
    if (!body.empty() && body.back() == '|')
        body.erase(body.size() >= 2 ? body.size() - 2 : 0);
    return body;
}

// Key and value part at the first "=", except where the key is a transformed path that itself holds
// "=" (from a "~" in the plain path): there they part at the "=" that begins the value's path, as the
// profile reader does.
std::string IniEntryKey(const std::string& entry) {
    // An entry without "=" is all key.
    return entry.substr(0, platform::profileKeyEnd(entry));
}

std::string IniEntryValue(const std::string& entry) {
    std::string text = entry;
    if (!text.empty() && (text.back() == '|' || text.back() == '\r'))
        text.pop_back();
    const auto eq = platform::profileKeyEnd(text);
    return platform::trimBlanks(eq == std::string::npos ? text : text.substr(eq + 1));
}

std::string RegisterPath() {
    return AddBackslash(GetSystemFolder()) + kRegisterFileName;
}

std::string RegisterHostPath() {
    return platform::systemFolderHost() + "/" + kRegisterFileName;
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

// A kind's entries as the windows read them: a register in use is told of (files only), any other
// failure goes to the error report under the reader's procedure name.
std::vector<RegisterItem> shownEntries(const std::string& registerPath, RegisterKind kind, platform::Prompt& prompt,
                                       const std::string& windowName) {
    std::optional<ReaderError> error;
    auto items = readSection(registerPath, kind, error);
    if (!error)
        return items;
    const char* procedure = "GetLockedFolders";
    std::string inUse = kInUse;
    switch (kind) {
    case RegisterKind::SmallFile:
        procedure = "GetLockedIDFiles";
        inUse += std::string("\r\n\r\nIn case the problem persists mail us at ") + settings::kSupportAddress +
                 ". Thank you.";
        break;
    case RegisterKind::LargeFile:
        procedure = "GetLockedTSWFiles";
        break;
    case RegisterKind::StrongFile:
        procedure = "GetLockedTSXFiles";
        break;
    case RegisterKind::Folder:
        inUse.clear(); // the folders' reader reports every failure
        break;
    }
    if (error->kind == platform::ErrorKind::FileAlreadyOpen && !inUse.empty())
        prompt.show(inUse, platform::Buttons::OK, platform::Icon::Critical);
    else
        ReportError(windowName, platform::errorNumber(error->kind), error->description, procedure);
    return items;
}

} // namespace

LockRegister::LockRegister(std::string registerPath) : m_path(std::move(registerPath)) {}

std::vector<RegisterItem> LockRegister::load(RegisterKind kind) const {
    std::optional<ReaderError> error;
    auto items = readSection(m_path, kind, error);
    if (error)
        throw platform::SysError(error->kind, error->description);
    return items;
}

std::vector<RegisterItem> LockRegister::loadQuietly(RegisterKind kind) const {
    if (m_path.empty())
        return {};
    std::optional<ReaderError> ignored;
    return readSection(m_path, kind, ignored);
}

std::vector<RegisterItem> LockRegister::loadShown(RegisterKind kind, platform::Prompt& prompt,
                                                  const std::string& windowName) const {
    return shownEntries(m_path, kind, prompt, windowName);
}

void LockRegister::add(RegisterKind kind, const std::vector<std::pair<std::string, std::string>>& locks) {
    if (m_path.empty() || locks.empty())
        return; // no register given: nothing is recorded
    transact([&](Transaction& t) {
        for (const auto& [before, after] : locks)
            t.add(kind, before, after);
    });
}

void LockRegister::remove(RegisterKind kind, const std::vector<std::string>& befores) {
    if (m_path.empty() || befores.empty())
        return;
    transact([&](Transaction& t) {
        for (const std::string& before : befores)
            t.remove(kind, before);
    });
}

void LockRegister::removeUnlocked(RegisterKind kind, const std::vector<std::string>& restoredPaths) {
    if (m_path.empty() || restoredPaths.empty())
        return;
    transact([&](Transaction& t) { t.removeUnlocked(kind, restoredPaths); });
}

void LockRegister::rename(RegisterKind kind, const std::string& before, const std::string& newBefore,
                          const std::string& newAfter) {
    if (m_path.empty())
        return;
    transact([&](Transaction& t) { t.rename(kind, before, newBefore, newAfter); });
}

void LockRegister::transact(const std::function<void(Transaction&)>& body) {
    // The lock is taken before the first read and kept until the write: other processes' changes
    // come wholly before or wholly after this one.
    std::optional<platform::FolderLock> lock;
    if (!m_path.empty())
        lock.emplace(platform::hostpath::folderOf(platform::toHost(m_path)));
    Transaction t(*this);
    body(t);
    if (m_path.empty())
        return;
    // Also without changes the file is read once more: a register that cannot be read or written
    // is told of, not taken for one that had nothing to change.
    std::vector<platform::ProfileChange> changes;
    changes.reserve(t.m_changes.size());
    for (Transaction::Change& c : t.m_changes)
        changes.push_back({c.set, sectionName(c.kind), std::move(c.key), std::move(c.value)});
    platform::changeProfileEntries(m_path, changes);
}

std::vector<RegisterItem> LockRegister::Transaction::load(RegisterKind kind) const {
    return m_register.path().empty() ? std::vector<RegisterItem>() : m_register.load(kind);
}

std::vector<RegisterItem> LockRegister::Transaction::loadShown(RegisterKind kind, platform::Prompt& prompt,
                                                               const std::string& windowName) const {
    return m_register.path().empty() ? std::vector<RegisterItem>() : m_register.loadShown(kind, prompt, windowName);
}

void LockRegister::Transaction::add(RegisterKind kind, const std::string& before, const std::string& after) {
    m_changes.push_back({true, kind, entryKey(before), entryKey(after)});
}

void LockRegister::Transaction::remove(RegisterKind kind, const std::string& before) {
    m_changes.push_back({false, kind, entryKey(before), {}});
}

void LockRegister::Transaction::removeUnlocked(RegisterKind kind, const std::vector<std::string>& restoredPaths) {
    if (m_register.path().empty() || restoredPaths.empty())
        return;
    // One read serves every file: an entry not under its own path is that of a file locked before
    // its folder was.
    std::vector<std::string> keys;
    keys.reserve(restoredPaths.size());
    for (const std::string& restoredPath : restoredPaths)
        keys.push_back(entryKey(restoredPath));
    const std::vector<std::string> values =
        platform::getProfileStrings(m_register.path(), sectionName(kind), keys, std::string());
    for (std::size_t i = 0; i < restoredPaths.size(); ++i) {
        const std::string key = values[i].empty() ? plainFolderKey(restoredPaths[i]) : keys[i];
        if (!key.empty())
            m_changes.push_back({false, kind, key, {}});
    }
}

void LockRegister::Transaction::rename(RegisterKind kind, const std::string& before, const std::string& newBefore,
                                       const std::string& newAfter) {
    remove(kind, before);
    add(kind, newBefore, newAfter);
}

void RecordLocks(const std::string& registerPath, RegisterKind kind,
                 const std::vector<std::pair<std::string, std::string>>& locks) {
    LockRegister(registerPath).add(kind, locks);
}

void RecordLock(const std::string& registerPath, RegisterKind kind, const std::string& before,
                const std::string& after) {
    LockRegister(registerPath).add(kind, {{before, after}});
}

void RemoveAfterFileUnlocks(const std::string& registerPath, RegisterKind kind,
                            const std::vector<std::string>& restoredPaths) {
    LockRegister(registerPath).removeUnlocked(kind, restoredPaths);
}

void RemoveAfterFileUnlock(const std::string& registerPath, RegisterKind kind, const std::string& restoredPath) {
    LockRegister(registerPath).removeUnlocked(kind, {restoredPath});
}

void RemoveEntries(const std::string& registerPath, RegisterKind kind, const std::vector<std::string>& befores) {
    LockRegister(registerPath).remove(kind, befores);
}

void RemoveAfterFolderUnlock(const std::string& registerPath, const std::string& restoredFolder) {
    DeleteSettingValue(registerPath, sectionName(RegisterKind::Folder), entryKey(restoredFolder));
}

std::vector<RegisterItem> RegisterEntries(const std::string& registerPath, RegisterKind kind) {
    return LockRegister(registerPath).load(kind);
}

std::vector<RegisterItem> QuietRegisterEntries(const std::string& registerPath, RegisterKind kind) {
    return LockRegister(registerPath).loadQuietly(kind);
}

std::vector<RegisterItem> GetLockedTSLFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName) {
    return shownEntries(registerPath, RegisterKind::SmallFile, prompt, windowName);
}

std::vector<RegisterItem> GetLockedTSWFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName) {
    return shownEntries(registerPath, RegisterKind::LargeFile, prompt, windowName);
}

std::vector<RegisterItem> GetLockedTSXFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName) {
    return shownEntries(registerPath, RegisterKind::StrongFile, prompt, windowName);
}

std::vector<RegisterItem> GetLockedFolders(const std::string& registerPath, platform::Prompt& prompt,
                                           const std::string& windowName) {
    return shownEntries(registerPath, RegisterKind::Folder, prompt, windowName);
}

namespace {

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

std::vector<RegisterItem>& RegisterSnapshot::section(RegisterKind kind) const {
    if (!m_read) {
        m_read = true;
        if (!m_registerPath.empty()) {
            // One read of the whole file; each section is then parsed as ReadIniSection would cut it.
            std::string text;
            try {
                text = platform::readAll(m_registerPath);
            } catch (const platform::SysError&) {
                // A register that cannot be read has no entries for the checks (as QuietRegisterEntries).
            }
            std::optional<ReaderError> ignored;
            for (RegisterKind k : kRegisterKinds)
                m_sections[indexOf(k)] = parseSection(IniSectionOf(text, sectionHeader(k)), ignored);
        }
    }
    return m_sections[indexOf(kind)];
}

const std::vector<RegisterItem>& RegisterSnapshot::entries(RegisterKind kind) const {
    return section(kind);
}

void RegisterSnapshot::noteRecorded(RegisterKind kind, const std::vector<std::pair<std::string, std::string>>& locks) {
    // Not read yet: the read to come finds the entries in the file.
    if (!m_read || m_registerPath.empty())
        return;
    std::vector<RegisterItem>* items = &section(kind);
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

void RegisterSnapshot::noteRemoved(RegisterKind kind, const std::vector<std::string>& befores) {
    if (!m_read)
        return;
    std::vector<RegisterItem>& items = section(kind);
    for (const std::string& before : befores)
        dropFirst(items, textOfKey(entryKey(before)));
}

void RegisterSnapshot::noteUnlocked(RegisterKind kind, const std::vector<std::string>& restoredPaths) {
    if (!m_read)
        return;
    std::vector<RegisterItem>* items = &section(kind);
    // The entry of the restored path, or else that of the file locked before its folder was.
    for (const std::string& restoredPath : restoredPaths) {
        if (dropFirst(*items, textOfKey(entryKey(restoredPath))))
            continue;
        if (const std::string fallback = plainFolderKey(restoredPath); !fallback.empty())
            dropFirst(*items, textOfKey(fallback));
    }
}

} // namespace core
