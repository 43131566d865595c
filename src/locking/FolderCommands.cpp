#include "locking/FolderCommands.h"

#include "core/FolderMarks.h"
#include "core/FolderPassword.h"
#include "core/LockChecks.h"
#include "core/PasswordRules.h"
#include "core/Register.h"
#include "diagnostics/ErrorReport.h"
#include "locking/Text.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/ProfileFile.h"
#include "platform/Prompt.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "platform/UniqueFd.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <sys/stat.h>

#include <cctype>
#include <optional>

namespace locking {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

namespace {

// The error of a folder password that could not be read (the system's "Device I/O error").
constexpr platform::ErrorKind kPasswordUnreadable = platform::ErrorKind::DeviceIO;

const char* const kMovedMessage =
    "The folder you are trying to lock/unlock has moved. Restart the application and try again.";

// A folder's desktop.ini as it was before a lock touched it.
struct IniState {
    bool existed = false;
    bool other = false; // a link, a folder, a pipe...: never read nor changed
    std::string content;
    unsigned attributes = platform::kAttrNormal;
};

std::string desktopIniOf(const std::string& folder) {
    return AddBackslash(folder) + "desktop.ini";
}

// Read through the folder without following a link: a desktop.ini that points elsewhere (another
// user of a shared folder may have put it there) is neither read nor written.
IniState readIni(const std::string& ini) {
    IniState state;
    const std::string hostIni = platform::toHost(ini);
    const std::string hostFolder = platform::hostpath::folderOf(hostIni);
    platform::BesideFile file;
    try {
        const platform::UniqueFd folder(platform::openFolderHost(hostFolder, hostIni));
        file = platform::readBeside(folder.get(), platform::hostpath::nameOf(hostIni), hostFolder);
    } catch (const platform::SysError& e) {
        if (e.kind != platform::ErrorKind::FileNotFound && e.kind != platform::ErrorKind::PathNotFound)
            throw;
        return state; // no folder, no desktop.ini: what follows says what is missing
    }
    state.other = file.kind == platform::BesideFile::Kind::Other;
    if (file.kind == platform::BesideFile::Kind::Regular) {
        state.existed = true;
        state.content = std::move(file.content);
        state.attributes = platform::getAttributes(ini) & ~platform::kAttrDirectory;
    }
    return state;
}

// The refusal of a lock whose folder holds a desktop.ini the program leaves alone.
void refuseOtherIni(const std::string& path, platform::Prompt& prompt) {
    prompt.show("The folder " + core::Quoted(path) +
                    " could not be locked: its desktop.ini is a link or not a regular file, which Tessaly leaves "
                    "alone.",
                Buttons::OK, Icon::Exclamation);
}

// Said after a folder lock whose parent's ".hidden" is left alone: the folder is locked, not hidden.
void noteHiddenList(const std::string& locked, platform::Prompt& prompt) {
    const std::string parent = RemoveBackslash(GetFolderPart(locked));
    if (platform::hiddenListLeftAlone(platform::toHost(AddBackslash(parent))))
        prompt.show(core::HiddenListLeftAloneNote(parent), Buttons::OK, Icon::Exclamation);
}

// The folder that holds a folder, as a host path (its lock guards the steps of a folder's lock and
// unlock against the recovery sweep of another process).
std::string hostParentOf(const std::string& folderPath) {
    return platform::toHost(GetFolderPart(RemoveBackslash(folderPath)));
}

void step(const FolderCheckpoint& checkpoint, const char* name) {
    if (checkpoint)
        checkpoint(name);
}

// Writes the class identifier into the folder's desktop.ini: a new file gets the three lines; an
// existing one keeps its content and gets the identifier in its "[.ShellClassInfo]" section.
void writeLockIni(const std::string& ini, const IniState& before, bool hiddenSystem) {
    // One change of the folder's shared files, under its inter-process lock.
    const platform::FolderLock lock(platform::toHost(GetFolderPart(ini)));
    if (!before.existed) {
        platform::writeFileAtomic(ini, kDesktopIniLines);
    } else {
        platform::setAttributes(ini, platform::kAttrNormal);
        if (!platform::writeProfileString(ini, ".ShellClassInfo", "CLSID", kFolderClassId))
            throw platform::SysError(platform::ErrorKind::PathFileAccess);
    }
    if (hiddenSystem)
        platform::setAttributes(ini, platform::kAttrHidden | platform::kAttrSystem);
}

// Puts the folder's desktop.ini back as it was before the lock began.
void putIniBack(const std::string& ini, const IniState& before) {
    if (!before.existed) {
        if (platform::exists(ini)) {
            platform::setAttributes(ini, platform::kAttrNormal);
            platform::removeFile(ini);
        }
        return;
    }
    if (platform::exists(ini))
        platform::setAttributes(ini, platform::kAttrNormal);
    platform::writeFileAtomic(ini, before.content);
    platform::setAttributes(ini, before.attributes);
}

// Why a rename that refuses to overwrite did not happen, in the system's words.
std::string renameFailureReason(const std::string& source, const std::string& target) {
    if (platform::exists(target))
        return platform::errorDescription(platform::ErrorKind::FileAlreadyExists);
    if (!platform::exists(source))
        return platform::errorDescription(platform::ErrorKind::PathNotFound);
    return platform::errorDescription(platform::ErrorKind::PathFileAccess);
}

bool isProtectedRoot(const std::string& path) {
    const std::string root = lowerText(AddBackslash(path));
    return root == "c:\\" || root == "d:\\";
}

// Takes the lock's class identifier out of a locked folder's desktop.ini: the file goes when it held
// nothing else, and otherwise keeps the lines that were the user's.
void removeLockIni(const std::string& ini, const IniState& before) {
    const platform::FolderLock lock(platform::toHost(GetFolderPart(ini)));
    platform::setAttributes(ini, platform::kAttrNormal);
    if (core::DesktopIniHoldsOnlyClassId(before.content)) {
        platform::removeFile(ini);
        return;
    }
    if (platform::getProfileString(ini, ".ShellClassInfo", "CLSID", std::string()) == kFolderClassId &&
        !platform::deleteProfileKey(ini, ".ShellClassInfo", "CLSID"))
        throw platform::SysError(platform::ErrorKind::PathFileAccess);
}

bool holdsClassId(const IniState& ini) {
    return ini.existed && ini.content.find(kFolderClassId) != std::string::npos;
}

void setDisplayValues() {
    settings::HideHiddenFilesInExplorer();
}

std::string passwordValueName(const SelectedFolder& folder) {
    return folder.fullPath.empty() ? FolderPasswordValueName(folder.key) : folder.fullPath;
}

// Records a folder about to be locked in the register, before it is renamed, so that a lock that
// cannot be recorded is not made. False after saying why.
bool recordFolderLock(const std::string& registerPath, const std::string& path, const std::string& locked,
                      platform::Prompt& prompt) {
    try {
        core::RecordLock(registerPath, core::RegisterKind::Folder, path, locked);
        return true;
    } catch (const platform::SysError& e) {
        prompt.show(core::Quoted(path) + " was not locked: it could not be recorded in the Security Vault: " +
                        e.description() + ".",
                    Buttons::OK, Icon::Critical);
        return false;
    }
}

// Stores a folder's password verifier before the folder is renamed: a folder whose password could
// not be kept would later open with an empty one. False after saying why.
bool storeFolderPassword(const std::string& valueName, const std::string& password, const std::string& path,
                         platform::Prompt& prompt) {
    try {
        core::StoreFolderPassword(valueName, password);
        return true;
    } catch (const platform::SysError& e) {
        prompt.show(core::Quoted(path) + " was not locked: its password could not be stored: " + e.reason() + ".",
                    Buttons::OK, Icon::Critical);
        return false;
    }
}

// Takes back the register entry (and the stored password) of a folder lock that was not made.
void forgetFolderLock(const std::string& registerPath, const std::string& path, const std::string& valueName) {
    if (!valueName.empty())
        DeleteValue(HKEY_CURRENT_USER, settings::kFolderPasswordKey, valueName);
    try {
        core::RemoveAfterFolderUnlock(registerPath, path);
    } catch (const platform::SysError&) {
        // The folder was not locked; an entry left behind shows in the vault as gone, which offers to remove it.
    }
}

// A locked folder is private to its owner while locked: its permission bits are kept in the settings
// and it becomes 0700. (Hiding keeps other users out; it does not keep the content secret from
// someone with the disk: strong locks do that.) Nothing changes when the bits could not be kept.
void makeFolderPrivate(const std::string& path, const std::string& locked) {
    struct stat st {};
    const std::string host = platform::toHost(locked);
    if (::lstat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    const std::string name = FolderPasswordValueName(path);
    if (platform::registry().setDword(HKEY_CURRENT_USER, settings::kFolderModeKey, name, st.st_mode & 07777) !=
        platform::kRegSuccess)
        return;
    ::chmod(host.c_str(), 0700);
}

// Renames the folder to its locked name and marks it; on failure puts desktop.ini back and tells why.
bool hideFolder(const std::string& path, const std::string& locked, const std::string& ini, const IniState& before,
                platform::Prompt& prompt) {
    if (!ShellRename(path, locked, false, false)) {
        const std::string reason = renameFailureReason(path, locked);
        putIniBack(ini, before);
        prompt.show("The folder '" + path + "' could not be locked." + kCrLf + reason, Buttons::OK, Icon::Critical);
        return false;
    }
    platform::setAttributes(locked, platform::kAttrHidden | platform::kAttrSystem);
    platform::setAttributes(desktopIniOf(locked), platform::kAttrHidden);
    makeFolderPrivate(path, locked);
    return true;
}

// Every file of the selected folder, checked, for the file lock or unlock.
FileBatch folderBatch(const FolderRequest& request) {
    FileBatch batch;
    batch.folder = request.folder.key;
    batch.checked = FolderFileItems(request.folder.key);
    batch.password = request.password;
    batch.confirmation = request.confirmation;
    batch.registerPath = request.registerPath;
    batch.ownExecutable = request.ownExecutable;
    batch.strongLocks = request.strongLocks;
    return batch;
}

// What stands in the way of locking a folder: it is a link, it lies inside a locked folder, it holds
// locked items, or a locked folder of the same name in another letter case exists. Shows the
// refusal and returns true when there is one.
bool refuseFolderLock(const std::string& path, const std::string& registerPath, platform::Prompt& prompt) {
    const core::RegisterSnapshot snapshot(registerPath); // one read for the three checks
    std::string refusal = core::RefuseFolderKind(path);
    if (refusal.empty())
        refusal = core::RefuseProtected(path);
    if (refusal.empty())
        refusal = core::RefuseInsideLockedFolder(snapshot, path);
    if (refusal.empty())
        refusal = core::RefuseHoldingLockedItems(snapshot, path);
    if (refusal.empty())
        refusal = core::RefuseCaseTwin(snapshot, path);
    if (refusal.empty())
        return false;
    prompt.show(refusal, Buttons::OK, Icon::Exclamation);
    return true;
}

// Where a vanished locked folder would have to be: its parent folder, or "" when that is there.
std::string missingParent(const std::string& lockedPath) {
    const std::string parent = RemoveBackslash(GetFolderPart(lockedPath));
    try {
        if (!parent.empty() && platform::isFolder(AddBackslash(parent)))
            return {};
    } catch (const platform::SysError&) {
        // the drive is not in the table
    }
    return parent.empty() ? lockedPath : parent;
}

// The errors of the folder-and-files commands: a folder that moved away, or the error report.
void reportFolderAndFilesError(const platform::SysError& e, platform::Prompt& prompt, const char* procedure) {
    if (e.kind == platform::ErrorKind::PathFileAccess)
        prompt.show(kMovedMessage, Buttons::OK, Icon::Critical);
    else if (e.kind == kPasswordUnreadable)
        prompt.show(e.description() + ": " + e.reason() + ".", Buttons::OK, Icon::Critical);
    else
        ReportError("frmMain", e.number(), e.description(), procedure);
}

} // namespace

bool EndsInFolderLockExtension(const std::string& path) {
    return upperText(rightText(path, 4)) == ".TSL";
}

bool ConfirmFolderCommand(platform::Prompt& prompt, const std::string& verb, const std::string& folder) {
    // The title names the command: "Lock Confirmation", "Unlock Confirmation".
    std::string title = verb + " Confirmation";
    title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
    return prompt.show("Are you sure you want to " + verb + " '" + folder + "' folder ?", Buttons::YesNo,
                       Icon::Question, title) == Answer::Yes;
}

std::string LockedFolderPath(const std::string& folderPath, const std::string& shownName) {
    const std::string name = shownName.empty() ? GetFileNamePart(RemoveBackslash(folderPath)) : shownName;
    return AddBackslash(GetFolderPart(RemoveBackslash(folderPath))) + TransformName(name) + ".TSL";
}

std::string RestoredFolderPath(const std::string& lockedPath) {
    const std::string name = GetFileNamePart(lockedPath);
    const std::string stem = name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string();
    return AddBackslash(GetFolderPart(lockedPath)) + TransformName(stem);
}

FolderUnlockEnd RestoreLockedFolder(const std::string& lockedPath, const std::string& restoredPath,
                                    const std::string& valueName, const std::string& registerPath,
                                    platform::Prompt& prompt, const FolderCheckpoint& checkpoint) {
    std::string failure;
    {
        // Every step under the lock of the folder that holds it, which the recovery sweep takes too:
        // a sweep never mends a folder half-way through its unlock. A kill between two steps leaves
        // what the next sweep mends (core/Recovery.cpp): the folder still at its locked name gets its
        // marks back, the folder at its own name loses its record and password.
        const platform::FolderLock parentLock(hostParentOf(lockedPath));
        const std::string ini = desktopIniOf(lockedPath);
        const IniState before = readIni(ini);
        const unsigned folderAttributes = platform::getAttributes(lockedPath) & ~platform::kAttrDirectory;
        if (before.existed)
            removeLockIni(ini, before);
        step(checkpoint, "desktop.ini removed");
        // Cleared before the rename, so the parent's list of hidden names forgets the scrambled name.
        platform::setAttributes(lockedPath, platform::kAttrNormal);
        step(checkpoint, "attributes cleared");
        if (!ShellRename(lockedPath, restoredPath, false, false)) {
            failure = renameFailureReason(lockedPath, restoredPath);
            if (before.existed)
                putIniBack(ini, before);
            platform::setAttributes(lockedPath, folderAttributes);
        } else {
            step(checkpoint, "renamed");
            platform::setAttributes(restoredPath, platform::kAttrNormal);
            core::GiveFolderModeBack(restoredPath);
            step(checkpoint, "mode given back");
            if (!valueName.empty())
                DeleteValue(HKEY_CURRENT_USER, settings::kFolderPasswordKey, valueName);
            step(checkpoint, "password removed");
            core::RemoveAfterFolderUnlock(registerPath, restoredPath);
        }
    }
    if (!failure.empty()) {
        prompt.show("The folder '" + restoredPath + "' could not be unlocked." + kCrLf + failure, Buttons::OK,
                    Icon::Critical);
        return FolderUnlockEnd::Failed;
    }
    return FolderUnlockEnd::Unlocked;
}

bool ForgetVanishedFolder(const std::string& lockedPath, const std::string& restoredPath, const std::string& valueName,
                          const std::string& registerPath, platform::Prompt& prompt) {
    if (platform::exists(lockedPath))
        return false;
    // With its drive or its parent folder away (unplugged, or itself locked and renamed), the folder
    // may well still exist: its entry and password are kept.
    const std::string parent = missingParent(lockedPath);
    if (!parent.empty()) {
        prompt.show("The folder " + core::Quoted(restoredPath) + " cannot be reached: " + core::Quoted(parent) +
                        " is not there. Connect its drive or unlock the folder that holds it, then try again.",
                    Buttons::OK, Icon::Exclamation);
        return true;
    }
    if (prompt.show("The folder " + core::Quoted(restoredPath) +
                        " no longer exists. Remove it from the Security Vault?",
                    Buttons::YesNoDefaultNo, Icon::Question) != Answer::Yes)
        return true;
    if (!valueName.empty())
        DeleteValue(HKEY_CURRENT_USER, settings::kFolderPasswordKey, valueName);
    core::RemoveAfterFolderUnlock(registerPath, restoredPath);
    return true;
}

FolderResult LockFolder(const FolderRequest& request, platform::Prompt& prompt) {
    FolderResult result;
    if (request.password != request.confirmation) {
        prompt.show(core::kPasswordsDifferMessage, Buttons::OK, Icon::Exclamation, "Tessaly");
        return result;
    }
    const std::string path = request.folder.key;
    try {
        if (path.empty())
            throw platform::SysError(platform::ErrorKind::ObjectNotSet,
                                     "Object variable or With block variable not set");
        if (path == request.ownFolder) {
            prompt.show("You can not lock your application folder", Buttons::OK, Icon::Critical);
            return result;
        }
        if (isProtectedRoot(path)) {
            prompt.show("Sorry you cannot lock " + AddBackslash(path) + " Drive's Root Folder");
            return result;
        }
        const std::string ini = desktopIniOf(path);
        const IniState before = readIni(ini);
        if (holdsClassId(before)) {
            prompt.show("The folder you are trying to lock is already locked.", Buttons::OK, Icon::Exclamation);
            return result;
        }
        if (before.other) {
            refuseOtherIni(path, prompt);
            return result;
        }
        if (!core::IsRecordablePath(path)) {
            prompt.show(core::UnrecordableMessage("folder", path), Buttons::OK, Icon::Exclamation);
            return result;
        }
        if (refuseFolderLock(path, request.registerPath, prompt))
            return result;
        const std::string locked = LockedFolderPath(path, request.folder.text);
        if (core::IsMissingPassword(request.password)) {
            prompt.show(core::kTypePasswordMessage, Buttons::OK, Icon::Exclamation);
            return result;
        }
        if (!ConfirmFolderCommand(prompt, "lock", path))
            return result;
        const std::string valueName = passwordValueName(request.folder);
        {
            // From the record to the rename under the lock of the folder that holds it, so that the
            // recovery sweep of another process never takes the lock for one a kill cut short.
            const platform::FolderLock parentLock(hostParentOf(path));
            if (!recordFolderLock(request.registerPath, path, locked, prompt))
                return result;
            if (!storeFolderPassword(valueName, request.password, path, prompt)) {
                forgetFolderLock(request.registerPath, path, std::string());
                return result;
            }
            try {
                writeLockIni(ini, before, true);
            } catch (const platform::SysError&) {
                forgetFolderLock(request.registerPath, path, valueName);
                throw;
            }
            if (!hideFolder(path, locked, ini, before, prompt)) {
                forgetFolderLock(request.registerPath, path, valueName);
                return result;
            }
        }
        noteHiddenList(locked, prompt);
        setDisplayValues();
        result.moved = true;
        result.newPath = locked;
        result.clearPasswords = true;
    } catch (const platform::SysError& e) {
        if (e.kind == platform::ErrorKind::ObjectNotSet) {
            prompt.show("No folder has been selected", Buttons::OK, Icon::Exclamation);
        } else if (e.kind == platform::ErrorKind::PathFileAccess) {
            // A folder we may not change (write-protected, a read-only medium): say so and why.
            prompt.show("The folder " + core::Quoted(path) + " could not be locked: " + e.reason() + ".", Buttons::OK,
                        Icon::Critical);
        } else if (e.kind == platform::ErrorKind::PathNotFound) {
            prompt.show(std::string("The folder you are trying to lock is either placed on a network drive or have "
                                    "been moved. Restart the application and try again.") +
                            kCrLf + kCrLf + "In case the problem persists mail us at " + settings::kSupportAddress +
                            ". Thank you.",
                        Buttons::OK, Icon::Critical);
        } else {
            ReportError("frmMain", e.number(), e.description(), "mLockFolder_Click");
        }
    }
    return result;
}

FolderResult UnlockFolder(const FolderRequest& request, platform::Prompt& prompt) {
    FolderResult result;
    try {
        if (request.folder.key.empty())
            throw platform::SysError(platform::ErrorKind::ObjectNotSet,
                                     "Object variable or With block variable not set");
        const std::string valueName = passwordValueName(request.folder);
        HasStoredFolderPassword(valueName); // an unreadable password stops here, before anything is asked
        // An unlock checks one password, as a file's does: the second box matters only when it
        // was filled in too.
        if (!request.confirmation.empty() && request.password != request.confirmation) {
            prompt.show("password confirmation error", Buttons::OK, Icon::Exclamation);
            result.clearPasswords = true;
            return result;
        }
        if (!CheckFolderPassword(valueName, request.password)) {
            prompt.show("Password incorrect", Buttons::OK, Icon::Exclamation);
            result.clearPasswords = true;
            return result;
        }
        const std::string path = request.folder.key;
        if (!EndsInFolderLockExtension(path))
            return result;
        const std::string restored = RestoredFolderPath(path);
        if (ForgetVanishedFolder(path, restored, valueName, request.registerPath, prompt)) {
            result.clearPasswords = true;
            return result;
        }
        if (!ConfirmFolderCommand(prompt, "unlock", restored))
            return result;
        if (RestoreLockedFolder(path, restored, valueName, request.registerPath, prompt, request.checkpoint) !=
            FolderUnlockEnd::Unlocked)
            return result;
        result.moved = true;
        result.newPath = restored;
        result.clearPasswords = true;
    } catch (const platform::SysError& e) {
        if (e.kind == platform::ErrorKind::PathFileAccess)
            prompt.show(kMovedMessage, Buttons::OK, Icon::Critical);
        else if (e.kind == kPasswordUnreadable)
            prompt.show(e.description() + ": " + e.reason() + ".", Buttons::OK, Icon::Critical);
        else
            prompt.show("No Folder is locked", Buttons::OK, Icon::Exclamation);
    }
    return result;
}

std::optional<FolderResult> UnlockFolderToOpen(const FolderRequest& request, const std::string& fileFolder,
                                               platform::Prompt& prompt, const AskPassword& askPassword) {
    if (request.folder.key.empty() || request.folder.key != fileFolder || !EndsInFolderLockExtension(fileFolder))
        return std::nullopt;
    bool hasPassword = true; // a password that cannot be read is reported by the unlock
    try {
        hasPassword = HasStoredFolderPassword(passwordValueName(request.folder));
    } catch (const platform::SysError&) {
        // See hasPassword above: the unlock reports an unreadable password.
    }
    // A folder locked with its files has no password of its own: its files carry theirs.
    if (!hasPassword)
        return std::nullopt;
    FolderRequest unlock = request;
    if (unlock.password.empty()) {
        const std::optional<std::string> asked =
            askPassword ? askPassword(core::ShownPath(request.registerPath, fileFolder)) : std::nullopt;
        if (!asked)
            return FolderResult{};
        unlock.password = *asked;
        unlock.confirmation.clear();
    }
    return UnlockFolder(unlock, prompt);
}

FolderResult LockFolderAndFiles(const FolderRequest& request, platform::Prompt& prompt, const RunHooks& hooks) {
    FolderResult result;
    const std::string path = request.folder.key;
    if (path.empty()) {
        prompt.show("No folder has been selected", Buttons::OK, Icon::Exclamation);
        return result;
    }
    try {
        if (isProtectedRoot(path)) {
            prompt.show("Sorry you cannot lock this folder");
            return result;
        }
        if (!core::IsRecordablePath(path)) {
            prompt.show(core::UnrecordableMessage("folder", path), Buttons::OK, Icon::Exclamation);
            return result;
        }
        if (refuseFolderLock(path, request.registerPath, prompt))
            return result;
        const std::string locked = LockedFolderPath(path, request.folder.text);
        if (readIni(desktopIniOf(path)).other) {
            refuseOtherIni(path, prompt);
            return result;
        }
        // The files' lock would refuse an empty password: say so before asking anything.
        if (core::IsMissingPassword(request.password) && core::IsMissingPassword(request.confirmation)) {
            prompt.show(core::kTypePasswordMessage, Buttons::OK, Icon::Exclamation);
            return result;
        }
        if (!ConfirmFolderCommand(prompt, "lock", path))
            return result;

        const RunResult run = LockFiles(folderBatch(request), prompt, hooks);
        result.clearPasswords = run.end == RunEnd::Completed;
        // A run refused as a whole (or ended by an error) leaves the folder as it is.
        if (run.end != RunEnd::Completed)
            return result;

        const std::string ini = desktopIniOf(path);
        const IniState before = readIni(ini);
        if (holdsClassId(before)) {
            prompt.show("The folder you are trying to lock is already locked.", Buttons::OK, Icon::Exclamation);
            return result;
        }
        if (before.other) {
            refuseOtherIni(path, prompt);
            return result;
        }
        {
            // As in Lock Folder: the record and the rename under the lock of the folder that holds it.
            const platform::FolderLock parentLock(hostParentOf(path));
            if (!recordFolderLock(request.registerPath, path, locked, prompt))
                return result;
            try {
                writeLockIni(ini, before, false);
            } catch (const platform::SysError&) {
                forgetFolderLock(request.registerPath, path, std::string());
                throw;
            }
            if (!hideFolder(path, locked, ini, before, prompt)) {
                forgetFolderLock(request.registerPath, path, std::string());
                return result;
            }
        }
        noteHiddenList(locked, prompt);
        setDisplayValues();
        result.moved = true;
        result.newPath = locked;
    } catch (const platform::SysError& e) {
        reportFolderAndFilesError(e, prompt, "mLockFolderFile");
    }
    return result;
}

FolderResult UnlockFolderAndFiles(const FolderRequest& request, platform::Prompt& prompt, const RunHooks& hooks) {
    FolderResult result;
    const std::string path = request.folder.key;
    if (path.empty()) {
        prompt.show("No Folder is locked", Buttons::OK, Icon::Exclamation);
        return result;
    }
    try {
        if (!EndsInFolderLockExtension(path))
            return result;
        // A folder locked with a password of its own comes back only with that password.
        const std::string valueName = passwordValueName(request.folder);
        const bool hasPassword = HasStoredFolderPassword(valueName);
        if (hasPassword && !CheckFolderPassword(valueName, request.password)) {
            prompt.show("Password incorrect", Buttons::OK, Icon::Exclamation);
            result.clearPasswords = true;
            return result;
        }
        const std::string restored = RestoredFolderPath(path);
        if (ForgetVanishedFolder(path, restored, std::string(), request.registerPath, prompt))
            return result;
        if (!ConfirmFolderCommand(prompt, "unlock", restored))
            return result;

        const RunResult run = UnlockFiles(folderBatch(request), prompt, hooks);
        result.clearPasswords = run.end == RunEnd::Completed;

        if (RestoreLockedFolder(path, restored, hasPassword ? valueName : std::string(), request.registerPath, prompt,
                                request.checkpoint) != FolderUnlockEnd::Unlocked)
            return result;
        result.moved = true;
        result.newPath = restored;
    } catch (const platform::SysError& e) {
        reportFolderAndFilesError(e, prompt, "mUnlockFolderFiles_click");
    }
    return result;
}

} // namespace locking
