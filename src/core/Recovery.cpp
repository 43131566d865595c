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

// One temporary file of the folder.
void recoverTemporary(const std::string& registerPath, const std::string& folder, const std::string& hostFolder,
                      const std::string& name, RecoveryReport& report) {
    const std::string hostTemporary = platform::hostpath::join(hostFolder, name);
    if (platform::temporaryInUse(hostTemporary))
        return; // a live run is writing it
    const std::string targetName = platform::temporaryTargetName(hostTemporary);
    if (targetName.empty()) {
        report.failures.push_back("'" + hostTemporary + "' names no file it was written for; it was left as it is.");
        return;
    }
    const std::string target = AddBackslash(folder) + targetName;
    const std::string extension = platform::upperText(GetExtension(targetName));
    const bool lockResult = extension == "TSL" || extension == "TSW";
    // The file the run started from: the plain file of a lock, the locked file of an unlock.
    std::vector<std::string> sources;
    if (lockResult)
        sources.push_back(AddBackslash(folder) + TransformName(GetFileNamePart(RemoveExtension(targetName))));
    else
        for (const char* ext : {".TSL", ".TSW"})
            sources.push_back(AddBackslash(folder) + TransformName(targetName) + ext);

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

    // The source is gone: this is the only copy, complete. Finish what the run would have done.
    putInPlace(hostTemporary, platform::toHost(target));
    if (lockResult) {
        const char* section = extension == "TSW" ? settings::kSectionTSW : settings::kSectionTSL;
        RecordLock(registerPath, section, sources.front(), target);
        platform::setAttributes(target, kLockedAttributes);
        report.restored.push_back(target);
        return;
    }
    std::vector<std::string> lockedNames;
    for (const std::string& s : sources)
        lockedNames.push_back(GetFileNamePart(s));
    platform::updateHiddenEntriesHost(hostFolder, {}, lockedNames);
    for (const char* section : {settings::kSectionTSL, settings::kSectionTSW})
        RemoveAfterFileUnlock(registerPath, section, target);
    report.restored.push_back(target);
}

// The register's entries whose locked file lies in the folder, brought in line with the disk.
void mendEntries(const std::string& registerPath, const std::string& folder, const std::string& hostFolder,
                 RecoveryReport& report) {
    for (const char* section : {settings::kSectionTSL, settings::kSectionTSW}) {
        for (const RegisterItem& item : RegisterEntries(registerPath, section)) {
            if (holdingFolder(item.key) != folder)
                continue;
            if (present(item.key)) {
                if ((platform::getAttributes(item.key) & kLockedAttributes) != kLockedAttributes) {
                    platform::setAttributes(item.key, kLockedAttributes);
                    report.mended.push_back(item.text);
                }
            } else if (item.key != item.text && present(item.text)) {
                RemoveAfterFileUnlock(registerPath, section, item.text);
                platform::updateHiddenEntriesHost(hostFolder, {}, {GetFileNamePart(item.key)});
                report.mended.push_back(item.text);
            }
        }
    }
}

} // namespace

std::vector<std::string> RegisterFolders(const std::string& registerPath) {
    std::vector<std::string> folders;
    for (const char* section : {settings::kSectionTSL, settings::kSectionTSW})
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
            if (!registerPath.empty())
                mendEntries(registerPath, folder, hostFolder, report);
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
    for (const auto& p : report.mended)
        line("The record of '" + p + "' in the Security Vault was mended.");
    for (const auto& f : report.failures)
        line(f);
    return text;
}

} // namespace core
