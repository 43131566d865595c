#pragma once
// Reading and writing files by Windows-form path, with the safe replacement the program relies on:
// a new file is written under a temporary name in its target's folder, flushed to disk, and only
// then put in place by a rename (which never overwrites another file unless asked), after which the
// folder is synced. Everything throws SysError.

#include "platform/FileTimes.h"
#include "platform/Paths.h"

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

bool exists(const std::string& windowsPath); // file or folder
bool isFolder(const std::string& windowsPath);
std::uint64_t fileLength(const std::string& windowsPath);
// The whole file as bytes. Reading opens regular files only and never waits: a named pipe, a device
// or a socket is refused with error 75 ("not a regular file") at once. The program's reads leave a
// file's access time alone where the system allows it (the file's owner), so that a look at a
// locked file does not change the time its unlock gives back.
std::string readAll(const std::string& windowsPath);
void removeFile(const std::string& windowsPath);     // unlink (ignores read-only, as a shell delete does)
void createFolder(const std::string& windowsPath);   // one level
void syncFolder(const std::string& windowsFolder);   // fsync of the folder itself
// One syncfs of the filesystem that holds the host path: every file written there, and every
// rename, made durable together (a batch flushes once instead of once per file).
void syncFilesystemHost(const HostPath& path);

// An exclusive lock between processes on the shared files of one folder (the register, ".hidden",
// "desktop.ini"), held for a whole read-change-write cycle so that two writers never lose each
// other's changes. It is a flock on the folder itself, so no lock file is left in the user's folders;
// a thread that already holds a folder's lock may take it again (nested holders share it).
class FolderLock final {
public:
    explicit FolderLock(const std::string& hostFolder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    std::string m_key;
};

// The program's temporary files: ".<target name>.<16 hex digits>.tessaly-tmp" beside their target
// (a target name over 200 bytes is cut to its first 120 and the name ends ".cut.tessaly-tmp"). Each
// is known as the program's own by more than its name: at creation it gets the extended attribute
// user.tessaly.target (holding the full target name when it was cut), checked as written; where the
// filesystem refuses it (vfat, exFAT, NFSv3, ramfs) a small journal beside it, the temporary name
// with ".journal" before the suffix, created owner-only, holds the full target name instead. Once
// the run has synced the content it marks it complete (user.tessaly.complete, or a line in the
// journal), and only then may a run remove the source it came from. A temporary file without the
// attribute and without its journal is not the program's, whatever its name.
inline constexpr const char* kTemporarySuffix = ".tessaly-tmp";
// Whether the name has the exact form of a temporary file or of its journal (listings leave such
// names out; a user's "draft.tessaly-tmp" does not have it and is listed).
bool isTemporaryName(const std::string& name);
// Whether the name is that of a journal; the temporary file it belongs to.
bool isJournalName(const std::string& name);
std::string temporaryNameOfJournal(const std::string& journalName);
std::string journalPathOf(const std::string& hostTemporary);
// What the recovery sweep knows of a file with a temporary name.
struct TemporaryInfo {
    bool ours = false;      // a regular file carrying the program's attribute or its journal
    bool complete = false;  // marked complete by its run: synced and whole; its source may be gone
    std::string targetName; // the name of the file it was written for ("" when it cannot be told)
    bool journal = false;   // a journal stands beside it
};
TemporaryInfo inspectTemporary(const std::string& hostTemporary);
// The name of the file one of the program's temporary files was written for ("" when it cannot be
// told, or when the file is not the program's).
std::string temporaryTargetName(const std::string& hostTemporary);
// What a temporary file is: one of the program's, marked complete by its run (its content synced
// and whole), or unmarked (its run ended before it removed anything in exchange for it); or not
// the program's at all (never touched).
enum class TemporaryState { Complete, Unfinished, NotOurs };
TemporaryState temporaryState(const std::string& hostTemporary);
// Whether a live writer (in any process) still holds the temporary file.
bool temporaryInUse(const std::string& hostTemporary);
// Removes one of the program's temporary files and then its journal (a missing one is no error).
void removeTemporaryHost(const std::string& hostTemporary);
// Whether a journal belongs to the program and its temporary file is gone: a run that ended between
// removing the one and the other. Such a journal holds no content and may go.
bool isOrphanJournal(const std::string& hostJournal);

class InputFile final {
public:
    explicit InputFile(const std::string& windowsPath);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    std::uint64_t size() const { return m_size; }
    // Reads up to n bytes; returns how many were read (0 at the end).
    std::size_t read(char* buffer, std::size_t n);
    // Reads exactly n bytes or throws SysError 62 ("Input past end of file").
    void readExact(char* buffer, std::size_t n);
    // Reads n bytes, or all that is left when the file ends before.
    std::string readUpTo(std::size_t n);
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::string m_host;
};

// A new file written beside its target and put in place by commit(). Destroying an uncommitted
// writer removes the temporary file (and its journal), except one whose run marked it complete and
// then failed to put it in place: its source may be gone already, so it is left, with its marks,
// for the recovery sweep, unless another name (a copy kept by the caller) still shows it. The
// temporary file is created owner-only (0600) and holds an exclusive flock while the writer lives,
// so the recovery sweep of another process leaves it alone. The target's folder is opened once and
// everything after goes through it (openat, renameat, unlinkat, O_NOFOLLOW): a link put in place of
// the temporary file or of the target is never followed, and the permissions of a replaced file are
// those of the file itself, never of a link's target.
class AtomicWriter final {
public:
    explicit AtomicWriter(const WinPath& target);
    // The same for a host path (the platform's own files, such as ".hidden").
    explicit AtomicWriter(const HostPath& target);
    // The same in a folder the caller has opened already (its descriptor is duplicated).
    AtomicWriter(int folderFd, const HostPath& target);
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter&) = delete;
    AtomicWriter& operator=(const AtomicWriter&) = delete;

    void write(const char* data, std::size_t n);
    void write(const std::string& data) { write(data.data(), data.size()); }
    // Appends n bytes of `in` from its current position (copy_file_range where the kernel can).
    void copyFrom(InputFile& in, std::uint64_t n);
    // The permission bits the result is to have; applied once the content is complete (by flush()
    // or finish()), so the file stays owner-only while it is written.
    void setPermissions(unsigned mode);
    // The access and modification times the result is to have; applied by finish(), after the last
    // byte is written. A filesystem that keeps no times of its own choosing leaves them as they are.
    void setTimes(const FileTimes& times);
    // Sets an extended attribute on the new file (it stays with the file when it is put in place);
    // false where the filesystem keeps none.
    bool setExtendedAttribute(const char* name, const std::string& value);
    // Starts the disk writing what was written so far, and waits for what lies well behind, so a
    // long copy leaves little for the final flush and its dirty pages stay few.
    void startWriteback();
    // Marks the content complete (permissions applied) without flushing: a batch then makes many
    // files durable with one syncFilesystemHost().
    void finish();
    // Flushes the temporary file to disk (fsync), after finish(). commit() does it too.
    void flush();
    // Marks the content complete for the recovery sweep (an extended attribute, checked as
    // written, else a line in the journal), after flushing it (sync) or leaving that to the caller's
    // batch sync, which must follow before the mark counts. With sync the mark is flushed too (and
    // the folder, where a journal holds it). Returns true: every filesystem keeps the mark one way
    // or the other; one that keeps neither fails with SysError, and then nothing may be removed.
    bool markComplete(bool sync = true);
    // Whether the temporary file is still there under its name (checked before a source is removed
    // in exchange for it).
    bool stillLinked() const;
    // Renames the temporary file onto the target and syncs the folder. Without replaceExisting a
    // target name taken meanwhile makes it throw SysError 58 ("File already exists"). Without sync
    // neither the file nor the folder is flushed: the caller syncs them (a batch, once for all).
    void commit(bool replaceExisting = false, bool sync = true);
    const std::string& temporaryHostPath() const { return m_tempHost; }
    const std::string& targetHostPath() const { return m_targetHost; }

private:
    void open(const std::string& hostTarget, int folderFd);
    // Writes the journal beside the temporary file: the full target name, and the complete mark.
    void writeJournal(bool complete, bool sync);

    int m_fd = -1;
    int m_dirFd = -1; // the target's folder
    std::string m_tempName;
    std::string m_targetName;
    bool m_committed = false;
    bool m_marked = false;      // markComplete() was done
    bool m_commitTried = false; // commit() began (the caller's source may be gone)
    bool m_replacing = false;   // commit() replaces the target in place (the target stays whole)
    bool m_finished = false;
    int m_mode = -1;
    std::optional<FileTimes> m_times;
    std::uint64_t m_written = 0;
    std::uint64_t m_kicked = 0;
    std::uint64_t m_waited = 0;
    std::string m_targetHost;
    std::string m_tempHost;
    std::string m_journalHost; // "" while the attributes hold the marks
};

// Replaces (or creates) the file atomically with `data`.
void writeFileAtomic(const std::string& windowsPath, const std::string& data);

// A file the program reads and rewrites beside the user's (".hidden", "desktop.ini"), looked at
// through its folder's descriptor with O_NOFOLLOW: a symbolic link of that name is never followed
// and anything but a regular file is never read (another user of a shared folder may have put a
// link to someone's private file there).
struct BesideFile {
    enum class Kind { Missing, Regular, Other } kind = Kind::Missing; // Other: a link, a folder, a pipe...
    std::string content;                                              // a regular file's bytes
    unsigned mode = 0; // a regular file's permission bits, from the file opened
};
// Throws SysError when the file is there and cannot be read.
BesideFile readBeside(int folderFd, const std::string& name, const std::string& hostFolder);
// A folder opened for the lookups above (O_DIRECTORY); throws SysError about `errorPath` (a file in
// the folder, so that a missing folder is "path not found") or else the folder.
int openFolderHost(const std::string& hostFolder, const std::string& errorPath = {});

// Host-path forms, for the platform's own use.
std::string readAllHost(const HostPath& path);
void writeFileAtomicHost(const HostPath& path, const std::string& data);

} // namespace platform
