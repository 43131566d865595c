#include "core/Recovery.h"

#include "core/FolderMarks.h"
#include "core/FolderPassword.h"
#include "core/LockChecks.h"
#include "core/Register.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/ProfileFile.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "platform/UniqueFd.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace core {

namespace {

constexpr unsigned kLockedAttributes = platform::kAttrReadOnly | platform::kAttrHidden;
// Longest name a folder holds (bytes), for the names of kept copies.
constexpr std::size_t kNameMax = 255;

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

// A kind's entries; none without a register (a run that had none recorded nothing). One that
// cannot be read throws: what it would tell must not be guessed.
std::vector<RegisterItem> entriesOf(const std::string& registerPath, RegisterKind kind) {
    if (registerPath.empty() || !platform::exists(registerPath))
        return {};
    return RegisterEntries(registerPath, kind);
}

// The names of the folder that have the form of the program's temporary files (journals apart).
// Whether each is the program's own is for the caller to ask.
std::vector<std::string> temporaryNames(const std::string& hostFolder, bool journals) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(hostFolder.c_str());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir))
        if (platform::isTemporaryName(e->d_name) && platform::isJournalName(e->d_name) == journals)
            names.emplace_back(e->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// The program's own temporary files left in the folder (held by a live run or not).
bool holdsOwnTemporaryFiles(const std::string& hostFolder) {
    for (const std::string& name : temporaryNames(hostFolder, false))
        if (platform::inspectTemporary(platform::hostpath::join(hostFolder, name)).ours)
            return true;
    return false;
}

// Renames without replacing anything: false when the name is taken. Where the filesystem has no
// no-replace rename, a hard link refuses a taken name just as well; with no hard links either
// (vfat), the name is looked at first.
bool renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    int err = errno;
    if (err == EEXIST)
        return false;
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP)
        throw platform::sysErrorFromErrno(err, to);
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    err = errno;
    if (err == EEXIST)
        return false;
    if (err != EPERM && err != EOPNOTSUPP && err != ENOSYS)
        throw platform::sysErrorFromErrno(err, to);
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return false;
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw platform::sysErrorFromErrno(errno, to);
    return true;
}

// The temporary file's marks go with it no further than its own name: once renamed it is an
// ordinary file, and its journal (if any) goes.
void dropMarks(const std::string& hostFile, const std::string& hostTemporary) {
    ::lremovexattr(hostFile.c_str(), "user.tessaly.target");
    ::lremovexattr(hostFile.c_str(), "user.tessaly.complete");
    const std::string journal = platform::journalPathOf(hostTemporary);
    if (!journal.empty() && ::unlink(journal.c_str()) != 0 && errno != ENOENT)
        throw platform::sysErrorFromErrno(errno, journal);
}

// Renames the temporary file to the target without replacing anything, then syncs the folder.
void putInPlace(const std::string& hostTemporary, const std::string& hostTarget) {
    if (!renameNoReplace(hostTemporary, hostTarget))
        throw platform::SysError(platform::ErrorKind::FileAlreadyExists);
    dropMarks(hostTarget, hostTemporary);
    platform::syncFolder(platform::toWindows(platform::hostpath::folderOf(hostTarget)));
}

// Whether two host paths name the same file (a rename by link and unlink that a kill cut between
// the two leaves both names on one file).
bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::lstat(a.c_str(), &sa) == 0 && ::lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The longest start of `text` of at most `n` bytes that does not cut a UTF-8 character.
std::string cutAtCharacter(const std::string& text, std::size_t n) {
    if (text.size() <= n)
        return text;
    std::size_t end = n;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

// "report.txt" -> "report (recovered).txt", the second try "report (recovered 2).txt": a visible
// name (no leading dot), within the length a folder holds, the extension kept.
std::string recoveredName(std::string name, int attempt, std::size_t room) {
    while (!name.empty() && name.front() == '.')
        name.erase(0, 1);
    if (name.empty())
        name = "file";
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0 && name.size() - dot <= 16;
    std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot) : std::string();
    const std::string mark = attempt <= 1 ? " (recovered)" : " (recovered " + std::to_string(attempt) + ")";
    const std::size_t fixed = mark.size() + extension.size();
    if (stem.size() + fixed > room)
        stem = cutAtCharacter(stem, room > fixed ? room - fixed : 1);
    return stem + mark + extension;
}

// `text` without a UTF-8 character that a cut left incomplete at its end.
std::string wholeCharacters(const std::string& text) {
    std::size_t start = text.size();
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80 && text.size() - start < 3)
        --start;
    if (start == 0 || (static_cast<unsigned char>(text[start - 1]) & 0x80) == 0)
        return text; // ends in a plain character
    const unsigned char lead = static_cast<unsigned char>(text[start - 1]);
    const std::size_t length = (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 1;
    return text.size() - (start - 1) < length ? text.substr(0, start - 1) : text;
}

// How a cut name is shown when its full form is lost: its start and an ellipsis.
std::string shownCutName(const std::string& base) {
    return wholeCharacters(base) + "...";
}

// Keeps the only copy of a content, that cannot be put in place, under a free visible name beside
// it. For a locked copy the name is the locked form of "<name> (recovered).<ext>", so that its
// unlock gives that name (a strong lock keeps its name inside, and its file name is free).
void keepCopy(const std::string& hostTemporary, const std::string& folder, const std::string& hostFolder,
              const std::string& knownAs, const std::string& wanted, const std::string& lockExtension,
              const std::string& reason, RecoveryReport& report) {
    const bool strong = platform::upperText(lockExtension) == "TSX";
    const bool locked = !lockExtension.empty() && !strong;
    const std::size_t room = kNameMax - (lockExtension.empty() ? 0 : lockExtension.size() + 1);
    for (int attempt = 1; attempt <= 1000; ++attempt) {
        std::string plainName = recoveredName(wanted, attempt, room);
        std::string name = plainName;
        if (locked)
            name = TransformName(plainName) + "." + lockExtension;
        else if (strong)
            name = plainName + "." + lockExtension;
        const std::string hostKept = platform::hostpath::join(hostFolder, name);
        if (!renameNoReplace(hostTemporary, hostKept))
            continue;
        dropMarks(hostKept, hostTemporary);
        platform::syncFolder(folder);
        report.kept.push_back({knownAs, AddBackslash(folder) + name, locked ? plainName : std::string(), reason});
        return;
    }
    throw platform::SysError(platform::ErrorKind::FileAlreadyExists);
}

// The register entries of a locked file's extension (upper case).
RegisterKind kindOf(const std::string& extension) {
    return extension == "TSX"   ? RegisterKind::StrongFile
           : extension == "TSW" ? RegisterKind::LargeFile
                                : RegisterKind::SmallFile;
}

// What an unlock does once its result is in place: the locked names leave the ".hidden" list and
// the entries of the unlocked file leave the register.
void forgetUnlocked(const std::string& registerPath, const std::string& hostFolder,
                    const std::vector<std::string>& sources, const std::string& target) {
    std::vector<std::string> lockedNames;
    for (const std::string& s : sources)
        lockedNames.push_back(GetFileNamePart(s));
    platform::updateHiddenEntriesHost(hostFolder, {}, lockedNames);
    if (!registerPath.empty())
        for (RegisterKind kind : kLockedFileKinds)
            RemoveAfterFileUnlock(registerPath, kind, target);
}

// One temporary file of the folder.
// `about` gets the file as the user knows it as soon as that is known, for a failure's message.
void recoverTemporary(const std::string& registerPath, const std::string& folder, const std::string& hostFolder,
                      const std::string& name, RecoveryReport& report, std::string& about) {
    const std::string hostTemporary = platform::hostpath::join(hostFolder, name);
    const platform::TemporaryInfo info = platform::inspectTemporary(hostTemporary);
    if (!info.ours) {
        // A name of that form, but not marked as the program's: never touched, unless it holds
        // nothing at all. A run stopped between creating its temporary file and marking it leaves
        // such an empty file (another thread's file may be there when a batch is killed); removing
        // it loses nothing, and a live run that still wanted it finds it gone before it removes
        // anything in exchange.
        struct stat st {};
        if (::lstat(hostTemporary.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 &&
            !platform::temporaryInUse(hostTemporary) && ::unlink(hostTemporary.c_str()) != 0 && errno != ENOENT)
            throw platform::sysErrorFromErrno(errno, hostTemporary);
        return;
    }
    if (platform::temporaryInUse(hostTemporary))
        return; // a live run is writing it
    if (info.targetName.empty()) {
        // The full name was cut from the temporary name and its record is lost. A result its run
        // never marked was left before anything was removed for it; a marked one may be the only
        // copy, and is kept.
        const std::string base = platform::hostpath::nameOf(hostTemporary).substr(1, 120);
        const std::string knownAs = AddBackslash(folder) + shownCutName(base);
        about = knownAs;
        if (!info.complete) {
            platform::removeTemporaryHost(hostTemporary);
            report.abandoned.push_back(knownAs);
        } else {
            keepCopy(hostTemporary, folder, hostFolder, knownAs, wholeCharacters(base), {},
                     "the name it was written for is lost", report);
        }
        return;
    }
    const std::string target = AddBackslash(folder) + info.targetName;
    about = target;
    const std::string rawExtension = GetExtension(info.targetName);
    const std::string extension = platform::upperText(rawExtension);
    const bool strongResult = extension == "TSX";
    const bool lockResult = extension == "TSL" || extension == "TSW" || strongResult;
    // The file the run started from: the plain file of a lock, the locked file of an unlock. A strong
    // locked file's name tells nothing: its run recorded the pair before removing the source, and
    // without a record the source was never removed.
    std::vector<std::string> sources;
    if (strongResult) {
        for (const RegisterItem& item : entriesOf(registerPath, RegisterKind::StrongFile))
            if (item.key == target)
                sources.push_back(item.text);
        if (sources.empty()) {
            platform::removeTemporaryHost(hostTemporary);
            report.abandoned.push_back(target);
            return;
        }
    } else if (lockResult) {
        sources.push_back(AddBackslash(folder) + TransformName(GetFileNamePart(RemoveExtension(info.targetName))));
    } else {
        for (const char* ext : {".TSL", ".TSW"})
            sources.push_back(AddBackslash(folder) + TransformName(info.targetName) + ext);
        for (const RegisterItem& item : entriesOf(registerPath, RegisterKind::StrongFile))
            if (item.text == target)
                sources.push_back(item.key);
    }
    // The name the user knows the file by: the plain file of a lock, the result of an unlock.
    const std::string knownAs = lockResult ? sources.front() : target;
    about = knownAs;
    const std::string hostTarget = platform::toHost(target);
    bool sourceThere = false; // a file under a source's name, whole or not

    if (sameFile(hostTemporary, hostTarget)) {
        // Put in place by a link that a kill parted from the unlink of the temporary name: the
        // content is in place, and only that name (and the marks) go.
        if (::unlink(hostTemporary.c_str()) != 0 && errno != ENOENT)
            throw platform::sysErrorFromErrno(errno, hostTemporary);
        dropMarks(hostTarget, hostTemporary);
        platform::syncFolder(folder);
        if (!info.complete)
            return;
    } else {
        // A source is whole when it is there and unchanged since the result was made: the run read
        // it first, and changes nothing of it until it removes it, while the result's own change
        // time only moves on (written, marked). One that is newer is another file made under that
        // name after the run removed its own (restored from a copy, say), and no reason to delete
        // the result.
        struct stat made {};
        if (::lstat(hostTemporary.c_str(), &made) != 0)
            throw platform::sysErrorFromErrno(errno, hostTemporary);
        const auto olderThanResult = [&made](const std::string& windowsPath, bool& there) {
            struct stat st {};
            there = ::lstat(platform::toHost(windowsPath).c_str(), &st) == 0;
            return there && (st.st_ctim.tv_sec < made.st_ctim.tv_sec ||
                             (st.st_ctim.tv_sec == made.st_ctim.tv_sec && st.st_ctim.tv_nsec <= made.st_ctim.tv_nsec));
        };
        bool sourceWhole = false;
        for (const std::string& source : sources) {
            bool there = false;
            sourceWhole = olderThanResult(source, there) || sourceWhole;
            sourceThere = sourceThere || there;
        }
        bool targetThere = false;
        const bool targetOlder = olderThanResult(target, targetThere);
        if (!sourceWhole && lockResult && !strongResult && info.complete && !sourceThere && targetOlder) {
            // A layer that was to replace its locked file in place (a lock of a locked file): that
            // file is its source, there and unchanged, and it stands.
            platform::removeTemporaryHost(hostTemporary);
            report.discarded.push_back(target);
            return;
        }
        if (sourceWhole) {
            // The run never finished, and its source is whole: it stands.
            platform::removeTemporaryHost(hostTemporary);
            report.discarded.push_back(knownAs);
            return;
        }
        if (!info.complete) {
            // Never marked: the run ended before it removed anything in exchange for this file (a
            // layer that was to replace its file in place, a store written for the first time).
            platform::removeTemporaryHost(hostTemporary);
            if (!targetThere)
                report.abandoned.push_back(target);
            else if (lockResult)
                report.discarded.push_back(knownAs);
            return;
        }
        if (targetThere) {
            // Marked complete, its source gone, and its name taken since (or a layer that was to
            // replace its file in place): it may be the only copy of its content, and is kept under
            // a name of its own. The register stays as it is: its entry may well be that of the
            // file now under the name (locked again since, or the layer that stayed).
            const std::string stem = RemoveExtension(info.targetName);
            const std::string wanted = !lockResult ? info.targetName : strongResult ? stem : TransformName(stem);
            keepCopy(hostTemporary, folder, hostFolder, knownAs, wanted, lockResult ? rawExtension : std::string(),
                     "the name '" + info.targetName + "' is taken", report);
            // An unlock's entry names a locked file that is gone (unless one of that name is back).
            if (!lockResult && !sourceThere)
                forgetUnlocked(registerPath, hostFolder, sources, target);
            return;
        }
        putInPlace(hostTemporary, hostTarget);
    }
    if (lockResult) {
        if (!registerPath.empty())
            RecordLock(registerPath, kindOf(extension), sources.front(), target);
        platform::setAttributes(target, kLockedAttributes);
    } else if (!sourceThere) {
        forgetUnlocked(registerPath, hostFolder, sources, target);
    }
    report.restored.push_back(target);
}

// The names listed in a folder's ".hidden" file.
std::vector<std::string> hiddenNames(const std::string& hostFolder) {
    std::vector<std::string> names;
    std::string text;
    try {
        // Through the folder, never following a link (see platform::readBeside).
        const platform::UniqueFd folder(platform::openFolderHost(hostFolder));
        text = platform::readBeside(folder.get(), ".hidden", hostFolder).content;
    } catch (const platform::SysError&) {
        return names;
    }
    for (std::string& line : platform::splitLines(text))
        if (!line.empty())
            names.push_back(std::move(line));
    return names;
}

// The register's entries whose locked file lies in the folder, brought in line with the disk: a
// locked file that is there gets its attributes and its ".hidden" line back.
// An entry whose locked file is missing is dropped only when the folder shows that it is the one
// that held the file, for an empty folder is also what a volume that is not mounted leaves at its
// mount point, and its files come back with it. The folder held it when
//  - its ".hidden" list still names the locked file (the lock wrote that line where the
//    filesystem keeps attributes, and the line goes with the file's unlock), or
//  - another locked file of the register in the same folder is there (the volume is mounted), or
//  - the file's path before the lock is there again (an unlock, or a lock that never finished).
// Otherwise the entry stays and the Security Vault shows it as unavailable, as it does the entries
// of drives that are not there. Nothing is dropped when `mayDrop` is false: while a temporary file
// is still in the folder (in use, or not put in place this time), an entry may be what tells that
// file's run apart. The folder is looked at through one descriptor, so a folder renamed meanwhile
// is still the one looked at.
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
    const auto isListed = [&listed](const std::string& n) {
        return std::find(listed.begin(), listed.end(), n) != listed.end();
    };

    struct Entry {
        RegisterKind kind;
        RegisterItem item;
        std::string name;
        bool there = false;   // the locked file is in the folder
        bool unknown = false; // it could not be looked at
        bool regular = false;
    };
    std::vector<Entry> entries;
    bool anyThere = false;
    for (RegisterKind kind : kLockedFileKinds)
        for (RegisterItem& item : RegisterEntries(registerPath, kind)) {
            if (holdingFolder(item.key) != folder)
                continue;
            Entry e{kind, std::move(item), {}};
            e.name = GetFileNamePart(e.item.key);
            struct stat st {};
            if (::fstatat(dir, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
                e.there = true;
                e.regular = S_ISREG(st.st_mode);
                anyThere = true;
            } else {
                e.unknown = errno != ENOENT;
            }
            entries.push_back(std::move(e));
        }

    std::vector<std::string> hide;
    std::vector<std::string> hideMended; // the items whose only missing mark is their ".hidden" line
    std::vector<std::string> unhide;
    for (RegisterKind kind : kLockedFileKinds) {
        std::vector<std::string> gone;
        for (const Entry& e : entries) {
            if (e.kind != kind)
                continue;
            if (!e.there) {
                if (e.unknown || !mayDrop)
                    continue; // cannot tell, or a run's file still waits: the entry stays
                const bool heldHere = isListed(e.name) || anyThere || present(e.item.text);
                if (!heldHere)
                    continue; // perhaps a volume that is not mounted: kept, shown as unavailable
                gone.push_back(e.item.text);
                unhide.push_back(e.name);
                report.dropped.push_back(e.item.text);
                continue;
            }
            if (!e.regular)
                continue;
            const unsigned before = platform::getAttributes(e.item.key) & kLockedAttributes;
            if (before != kLockedAttributes) {
                // The ".hidden" line comes with them where the filesystem keeps attributes; where it
                // keeps only read-only, that is all there is to mend.
                platform::setAttributes(e.item.key, kLockedAttributes);
                if ((platform::getAttributes(e.item.key) & kLockedAttributes) != before)
                    report.mended.push_back(e.item.text);
            } else if (!isListed(e.name) && std::find(hide.begin(), hide.end(), e.name) == hide.end()) {
                hide.push_back(e.name);
                hideMended.push_back(e.item.text);
            }
        }
        if (!gone.empty())
            RemoveEntries(registerPath, kind, gone);
    }
    // A name that is both kept and gone (two entries, one file) stays listed.
    std::erase_if(unhide,
                  [&hide](const std::string& n) { return std::find(hide.begin(), hide.end(), n) != hide.end(); });
    // A ".hidden" that is a link or not a regular file is left alone: nothing is mended there.
    if ((!hide.empty() || !unhide.empty()) &&
        platform::updateHiddenEntriesHost(hostFolder, hide, unhide) == platform::HiddenListChange::Done)
        report.mended.insert(report.mended.end(), hideMended.begin(), hideMended.end());
}

// Whether a host path is a folder itself (not a link to one).
bool isFolderHost(const std::string& host) {
    struct stat st {};
    return ::lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A locked folder whose unlock (or lock) a kill cut short, still at its locked name: it gets its
// marks back, as the lock left them. Its desktop.ini names the class identifier (written afresh
// when gone, the identifier added when the user's own file lost it), the folder is Hidden and
// System and its parent's ".hidden" lists it. True when anything had to be mended.
bool mendLockedFolder(const std::string& lockedPath, const std::string& hostFolder) {
    bool mended = false;
    const std::string hostLocked = platform::toHost(lockedPath);
    const std::string ini = AddBackslash(lockedPath) + "desktop.ini";
    const platform::UniqueFd locked(platform::openFolderHost(hostLocked));
    const platform::BesideFile file = platform::readBeside(locked.get(), "desktop.ini", hostLocked);
    if (file.kind == platform::BesideFile::Kind::Missing) {
        platform::AtomicWriter writer{locked.get(),
                                      platform::HostPath(platform::hostpath::join(hostLocked, "desktop.ini"))};
        writer.write(kDesktopIniLines);
        writer.commit();
        platform::setAttributes(ini, platform::kAttrHidden);
        mended = true;
    } else if (file.kind == platform::BesideFile::Kind::Regular &&
               file.content.find(kFolderClassId) == std::string::npos) {
        platform::setAttributes(ini, platform::kAttrNormal);
        platform::setProfileEntries(ini, ".ShellClassInfo", {{"CLSID", kFolderClassId}});
        platform::setAttributes(ini, platform::kAttrHidden);
        mended = true;
    } // a link or another kind of file is left alone
    constexpr unsigned kFolderLocked = platform::kAttrHidden | platform::kAttrSystem;
    const unsigned before = platform::getAttributes(lockedPath) & kFolderLocked;
    if (before != kFolderLocked) {
        // The ".hidden" line comes with them where the filesystem keeps attributes.
        platform::setAttributes(lockedPath, kFolderLocked);
        mended = mended || (platform::getAttributes(lockedPath) & kFolderLocked) != before;
    } else {
        const std::string name = GetFileNamePart(lockedPath);
        const std::vector<std::string> listed = hiddenNames(hostFolder);
        if (std::find(listed.begin(), listed.end(), name) == listed.end() &&
            platform::updateHiddenEntriesHost(hostFolder, {name}, {}) == platform::HiddenListChange::Done)
            mended = true;
    }
    return mended;
}

// A folder that a kill left at its own name while the register still lists it as locked: its unlock
// got as far as the rename (or its lock never got to it). What the unlock does after the rename is
// done: the lock's class identifier leaves its desktop.ini (the file goes when it held nothing
// else), its attributes are cleared, its scrambled name leaves the parent's ".hidden", its mode comes
// back, and its password value and register entry go.
void finishFolderUnlock(const std::string& registerPath, const RegisterItem& item, const std::string& hostFolder) {
    const std::string& plain = item.text;
    const std::string hostPlain = platform::toHost(plain);
    const std::string ini = AddBackslash(plain) + "desktop.ini";
    {
        const platform::UniqueFd folder(platform::openFolderHost(hostPlain));
        const platform::BesideFile file = platform::readBeside(folder.get(), "desktop.ini", hostPlain);
        if (file.kind == platform::BesideFile::Kind::Regular &&
            file.content.find(kFolderClassId) != std::string::npos) {
            platform::setAttributes(ini, platform::kAttrNormal);
            if (DesktopIniHoldsOnlyClassId(file.content)) {
                if (::unlinkat(folder.get(), "desktop.ini", 0) != 0 && errno != ENOENT)
                    throw platform::sysErrorFromErrno(errno, platform::hostpath::join(hostPlain, "desktop.ini"));
                platform::updateHiddenEntriesHost(hostPlain, {}, {"desktop.ini"});
            } else {
                platform::removeProfileEntries(ini, ".ShellClassInfo", {"CLSID"});
            }
        }
    }
    if (platform::getAttributes(plain) & (platform::kAttrHidden | platform::kAttrSystem))
        platform::setAttributes(plain, platform::kAttrNormal);
    platform::updateHiddenEntriesHost(hostFolder, {}, {GetFileNamePart(item.key)});
    GiveFolderModeBack(plain);
    ForgetFolderPassword(plain);
    RemoveAfterFolderUnlock(registerPath, plain);
}

// The register's locked folders that lie in the folder, brought in line with the disk. A folder lock
// and unlock are several steps (desktop.ini, attributes, ".hidden", rename, mode, password, record),
// taken under the lock of the folder that holds the folder, which the sweep holds too. A folder at
// its locked name is locked: its marks are mended. One at its own name, with nothing at its locked
// name, is unlocked: the unlock is finished. One at neither is left to the Security Vault, which
// asks the user (its drive may be away).
void mendFolders(const std::string& registerPath, const std::string& folder, const std::string& hostFolder,
                 RecoveryReport& report) {
    for (const RegisterItem& item : RegisterEntries(registerPath, RegisterKind::Folder)) {
        if (holdingFolder(item.key) != folder)
            continue;
        try {
            if (isFolderHost(platform::toHost(item.key))) {
                if (mendLockedFolder(item.key, hostFolder))
                    report.mended.push_back(item.text);
            } else if (!present(item.key) && holdingFolder(item.text) == folder &&
                       isFolderHost(platform::toHost(item.text))) {
                finishFolderUnlock(registerPath, item, hostFolder);
                report.unlockedFolders.push_back(item.text);
            }
        } catch (const platform::SysError& e) {
            report.failures.push_back("The record of the folder " + Quoted(item.text) +
                                      " could not be mended: " + e.description() + ".");
        }
    }
}

} // namespace

std::vector<std::string> RegisterFolders(const std::string& registerPath) {
    std::vector<std::string> folders;
    for (RegisterKind kind :
         {RegisterKind::SmallFile, RegisterKind::LargeFile, RegisterKind::StrongFile, RegisterKind::Folder})
        for (const RegisterItem& item : RegisterEntries(registerPath, kind)) {
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
            for (const std::string& name : temporaryNames(hostFolder, false)) {
                std::string about;
                try {
                    recoverTemporary(registerPath, folder, hostFolder, name, report, about);
                } catch (const platform::SysError& e) {
                    // The file stays as it is: a later sweep tries again.
                    report.failures.push_back("What an interrupted run left of '" +
                                              (about.empty() ? platform::hostpath::join(hostFolder, name) : about) +
                                              "' could not be recovered, and was left as it is: " + e.description() +
                                              ".");
                }
            }
            // Journals whose temporary file is gone (a run ended between the two) hold no content.
            for (const std::string& name : temporaryNames(hostFolder, true)) {
                const std::string hostJournal = platform::hostpath::join(hostFolder, name);
                if (platform::isOrphanJournal(hostJournal) && ::unlink(hostJournal.c_str()) != 0 && errno != ENOENT)
                    report.failures.push_back("The journal '" + hostJournal +
                                              "' that an interrupted run left could not be removed: " +
                                              platform::sysErrorFromErrno(errno, hostJournal).description() + ".");
            }
            // A temporary file left (in use, or failed above) may belong to an entry: none is dropped.
            if (!registerPath.empty()) {
                mendEntries(registerPath, folder, hostFolder, report, !holdsOwnTemporaryFiles(hostFolder));
                mendFolders(registerPath, folder, hostFolder, report);
            }
        } catch (const platform::SysError& e) {
            report.failures.push_back("The folder '" + folder + "' could not be checked: " + e.description() + ".");
        }
    }
    return report;
}

bool HasAbandonedTemporaryFiles(const std::string& folder) {
    try {
        const std::string hostFolder = platform::toHost(folder);
        for (const std::string& name : temporaryNames(hostFolder, false)) {
            const std::string host = platform::hostpath::join(hostFolder, name);
            if (platform::inspectTemporary(host).ours && !platform::temporaryInUse(host))
                return true;
        }
        for (const std::string& name : temporaryNames(hostFolder, true))
            if (platform::isOrphanJournal(platform::hostpath::join(hostFolder, name)))
                return true;
    } catch (const platform::SysError&) {
        // A folder that cannot be looked at has nothing the sweep could mend.
    }
    return false;
}

std::string RecoveryMessage(const RecoveryReport& report, const std::function<std::string(const std::string&)>& shown) {
    // A path in quotes, in the form the user knows it by.
    const auto q = [&shown](const std::string& path) {
        std::string quoted = "'";
        quoted += shown ? shown(path) : path;
        quoted += '\'';
        return quoted;
    };
    std::string text;
    const auto line = [&text](const std::string& l) {
        if (!text.empty())
            text += "\r\n";
        text += l;
    };
    for (const auto& p : report.restored)
        line(q(p) + " was put in place from a run that was interrupted.");
    for (const auto& p : report.discarded)
        line("The unfinished result of a run on " + q(p) + " was removed; the file itself is unchanged.");
    for (const auto& p : report.abandoned)
        line("An unfinished " + q(p) + " that an interrupted run left behind was removed.");
    for (const auto& k : report.kept) {
        std::string l = "An interrupted run on " + q(k.file) + " left its only copy, which could not be put in place (";
        l += k.reason + "): it was kept as " + q(k.keptAs);
        if (!k.unlocksTo.empty())
            l += ", which unlocks to '" + k.unlocksTo + "'";
        line(l + ".");
    }
    for (const auto& p : report.mended)
        line("The record of " + q(p) + " in the Security Vault was mended.");
    for (const auto& p : report.dropped)
        line(q(p) + " was taken off the Security Vault's list: its locked file is no longer there.");
    for (const auto& p : report.unlockedFolders)
        line("The unlock of the folder " + q(p) +
             " that was interrupted was finished: it is no longer listed in "
             "the Security Vault.");
    for (const auto& f : report.failures)
        line(f);
    return text;
}

} // namespace core
