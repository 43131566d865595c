#include "core/Recovery.h"

#include "core/Register.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace core {

namespace {

constexpr unsigned kLockedAttributes = platform::kAttrReadOnly | platform::kAttrHidden;

// The register sections of locked files, one per format.
const char* const kFileSections[] = {settings::kSectionTSL, settings::kSectionTSW, settings::kSectionTSX};

// The folder that holds a path, in the form folders are compared in (no trailing backslash but at
// a drive root).
std::string holdingFolder(const std::string& path) {
    return RemoveBackslash(GetFolderPart(path));
}

bool present(const std::string& windowsPath) {
    try {
        return platform::exists(windowsPath);
    } catch (const platform::SysError&) {
        return false;
    }
}

std::vector<std::string> temporaryFiles(const std::string& hostFolder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(hostFolder.c_str());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir))
        if (platform::isTemporaryName(e->d_name))
            names.emplace_back(e->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Renames the temporary file to the target without replacing anything, then syncs the folder.
void putInPlace(const std::string& hostTemporary, const std::string& hostTarget) {
    if (::renameat2(AT_FDCWD, hostTemporary.c_str(), AT_FDCWD, hostTarget.c_str(), RENAME_NOREPLACE) != 0)
        throw platform::sysErrorFromErrno(errno, hostTarget);
    platform::syncFolder(platform::toWindows(platform::hostpath::folderOf(hostTarget)));
}

void removeTemporary(const std::string& hostTemporary) {
    if (::unlink(hostTemporary.c_str()) != 0 && errno != ENOENT)
        throw platform::sysErrorFromErrno(errno, hostTemporary);
}

// Whether the register holds the unlock of `target` still to be finished: an entry whose path
// before the lock is the target (an unlock removes its entry only once its result is in place).
bool unlockRecorded(const std::string& registerPath, const std::string& target) {
    if (registerPath.empty())
        return false;
    for (const char* section : kFileSections)
        for (const RegisterItem& item : QuietRegisterEntries(registerPath, section))
            if (item.text == target)
                return true;
    return false;
}

// One temporary file of the folder.
void recoverTemporary(const std::string& registerPath, const std::string& folder, const std::string& hostFolder,
                      const std::string& name, RecoveryReport& report) {
    const std::string hostTemporary = platform::hostpath::join(hostFolder, name);
    if (platform::temporaryInUse(hostTemporary))
        return; // a live run is writing it
    const platform::TemporaryState state = platform::temporaryState(hostTemporary);
    const std::string targetName = platform::temporaryTargetName(hostTemporary);
    if (targetName.empty()) {
        if (state == platform::TemporaryState::Complete) {
            report.failures.push_back("'" + hostTemporary +
                                      "' names no file it was written for; it was left as it is.");
        } else {
            removeTemporary(hostTemporary);
            report.abandoned.push_back(AddBackslash(folder) + name);
        }
        return;
    }
    const std::string target = AddBackslash(folder) + targetName;
    const std::string extension = platform::upperText(GetExtension(targetName));
    const bool strongResult = extension == "TSX";
    const bool lockResult = extension == "TSL" || extension == "TSW" || strongResult;
    // The file the run started from: the plain file of a lock, the locked file of an unlock. A strong
    // locked file's name tells nothing: its run recorded the pair before removing the source, and
    // without a record the source was never removed.
    std::vector<std::string> sources;
    if (strongResult) {
        for (const RegisterItem& item : QuietRegisterEntries(registerPath, settings::kSectionTSX))
            if (item.key == target)
                sources.push_back(item.text);
        if (sources.empty()) {
            removeTemporary(hostTemporary);
            report.abandoned.push_back(target);
            return;
        }
    } else if (lockResult) {
        sources.push_back(AddBackslash(folder) + TransformName(GetFileNamePart(RemoveExtension(targetName))));
    } else {
        for (const char* ext : {".TSL", ".TSW"})
            sources.push_back(AddBackslash(folder) + TransformName(targetName) + ext);
        for (const RegisterItem& item : QuietRegisterEntries(registerPath, settings::kSectionTSX))
            if (item.text == target)
                sources.push_back(item.key);
    }

    // The target there already (a layer replaced in place, a profile file rewritten) or the source
    // still there: the run never finished, and what is on disk stands.
    const bool sourceThere =
        std::any_of(sources.begin(), sources.end(), [](const std::string& s) { return present(s); });
    if (present(target) || sourceThere) {
        removeTemporary(hostTemporary);
        if (lockResult || sourceThere)
            report.discarded.push_back(lockResult ? sources.front() : target);
        return;
    }

    // Nothing else holds the content. Only a result its run marked complete (synced and whole) is
    // put in place; any other file was cut short (a store written for the first time, an export)
    // and goes. Where the filesystem keeps no marks, a lock's result or a recorded unlock's result
    // is complete, for those runs remove their source only after syncing the result.
    const bool complete =
        state == platform::TemporaryState::Complete ||
        (state == platform::TemporaryState::Unmarkable && (lockResult || unlockRecorded(registerPath, target)));
    if (!complete) {
        removeTemporary(hostTemporary);
        report.abandoned.push_back(target);
        return;
    }
    putInPlace(hostTemporary, platform::toHost(target));
    if (lockResult) {
        const char* section = strongResult         ? settings::kSectionTSX
                              : extension == "TSW" ? settings::kSectionTSW
                                                   : settings::kSectionTSL;
        RecordLock(registerPath, section, sources.front(), target);
        platform::setAttributes(target, kLockedAttributes);
        report.restored.push_back(target);
        return;
    }
    std::vector<std::string> lockedNames;
    for (const std::string& s : sources)
        lockedNames.push_back(GetFileNamePart(s));
    platform::updateHiddenEntriesHost(hostFolder, {}, lockedNames);
    for (const char* section : kFileSections)
        RemoveAfterFileUnlock(registerPath, section, target);
    report.restored.push_back(target);
}

// The names listed in a folder's ".hidden" file.
std::vector<std::string> hiddenNames(const std::string& hostFolder) {
    std::vector<std::string> names;
    std::string text;
    try {
        text = platform::readAllHost(platform::hostpath::join(hostFolder, ".hidden"));
    } catch (const platform::SysError&) {
        return names;
    }
    for (std::string& line : platform::splitLines(text))
        if (!line.empty())
            names.push_back(std::move(line));
    return names;
}

// The register's entries whose locked file lies in the folder, brought in line with the disk: a
// locked file that is there gets its attributes and its ".hidden" line back; an entry whose locked
// file is gone from the folder (shredded, deleted, or never put in place) is dropped, unless
// `mayDrop` is false: while a temporary file is still in the folder (in use, or not put in place this
// time), an entry may be what tells that file's run apart, and it stays. The folder is looked at
// through one descriptor, so a folder renamed meanwhile is still the one looked at.
void mendEntries(const std::string& registerPath, const std::string& folder, const std::string& hostFolder,
                 RecoveryReport& report, bool mayDrop) {
    const int dir = ::open(hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        throw platform::sysErrorFromErrno(errno, hostFolder);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{dir};
    const std::vector<std::string> listed = hiddenNames(hostFolder);
    std::vector<std::string> hide;
    std::vector<std::string> unhide;
    for (const char* section : kFileSections) {
        std::vector<std::string> gone;
        for (const RegisterItem& item : RegisterEntries(registerPath, section)) {
            if (holdingFolder(item.key) != folder)
                continue;
            const std::string name = GetFileNamePart(item.key);
            struct stat st {};
            if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno != ENOENT || !mayDrop)
                    continue; // cannot tell, or a run's file still waits: the entry stays
                gone.push_back(item.text);
                unhide.push_back(name);
                report.dropped.push_back(item.text);
                continue;
            }
            if (!S_ISREG(st.st_mode))
                continue;
            if ((platform::getAttributes(item.key) & kLockedAttributes) != kLockedAttributes) {
                platform::setAttributes(item.key, kLockedAttributes); // the ".hidden" line with them
                report.mended.push_back(item.text);
            } else if (std::find(listed.begin(), listed.end(), name) == listed.end() &&
                       std::find(hide.begin(), hide.end(), name) == hide.end()) {
                hide.push_back(name);
                report.mended.push_back(item.text);
            }
        }
        RemoveEntries(registerPath, section, gone);
    }
    // A name that is both kept and gone (two entries, one file) stays listed.
    std::erase_if(unhide,
                  [&hide](const std::string& n) { return std::find(hide.begin(), hide.end(), n) != hide.end(); });
    if (!hide.empty() || !unhide.empty())
        platform::updateHiddenEntriesHost(hostFolder, hide, unhide);
}

} // namespace

std::vector<std::string> RegisterFolders(const std::string& registerPath) {
    std::vector<std::string> folders;
    for (const char* section : kFileSections)
        for (const RegisterItem& item : RegisterEntries(registerPath, section)) {
            const std::string folder = holdingFolder(item.key);
            if (std::find(folders.begin(), folders.end(), folder) == folders.end())
                folders.push_back(folder);
        }
    return folders;
}

RecoveryReport RecoverFolders(const std::string& registerPath, const std::vector<std::string>& folders) {
    RecoveryReport report;
    std::vector<std::string> seen;
    for (const std::string& given : folders) {
        const std::string folder = RemoveBackslash(given);
        if (std::find(seen.begin(), seen.end(), folder) != seen.end())
            continue;
        seen.push_back(folder);
        try {
            if (!platform::isFolder(folder))
                continue;
            const std::string hostFolder = platform::toHost(folder);
            // The same lock that a run holds while it puts its results in place.
            const platform::FolderLock lock(hostFolder);
            for (const std::string& name : temporaryFiles(hostFolder)) {
                try {
                    recoverTemporary(registerPath, folder, hostFolder, name, report);
                } catch (const platform::SysError& e) {
                    report.failures.push_back("'" + platform::hostpath::join(hostFolder, name) +
                                              "' could not be recovered: " + e.description() + ".");
                }
            }
            // A temporary file left (in use, or failed above) may belong to an entry: none is dropped.
            if (!registerPath.empty())
                mendEntries(registerPath, folder, hostFolder, report, temporaryFiles(hostFolder).empty());
        } catch (const platform::SysError& e) {
            report.failures.push_back("The folder '" + folder + "' could not be checked: " + e.description() + ".");
        }
    }
    return report;
}

bool HasAbandonedTemporaryFiles(const std::string& folder) {
    try {
        const std::string hostFolder = platform::toHost(folder);
        for (const std::string& name : temporaryFiles(hostFolder))
            if (!platform::temporaryInUse(platform::hostpath::join(hostFolder, name)))
                return true;
    } catch (const platform::SysError&) {
    }
    return false;
}

std::string RecoveryMessage(const RecoveryReport& report) {
    std::string text;
    const auto line = [&text](const std::string& l) {
        if (!text.empty())
            text += "\r\n";
        text += l;
    };
    for (const auto& p : report.restored)
        line("'" + p + "' was put in place from a run that was interrupted.");
    for (const auto& p : report.discarded)
        line("The unfinished result of a run on '" + p + "' was removed; the file itself is unchanged.");
    for (const auto& p : report.abandoned)
        line("An unfinished '" + p + "' that an interrupted run left behind was removed.");
    for (const auto& p : report.mended)
        line("The record of '" + p + "' in the Security Vault was mended.");
    for (const auto& p : report.dropped)
        line("'" + p + "' was taken off the Security Vault's list: its locked file is no longer there.");
    for (const auto& f : report.failures)
        line(f);
    return text;
}

} // namespace core
