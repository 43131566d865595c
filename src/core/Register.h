#pragma once
// The locked-items register: an INI file in the system folder with sections "LockedTSLFile",
// "LockedTSWFile", "LockedTSXFile" (strong locks) and "LockedFolder"; each entry maps
// TransformName(path before) to TransformName(path after).

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class Prompt;
}

namespace core {

// The register's kinds of entries, one section of the file each: files locked in the small format
// (.TSL), in the large one (.TSW), in the strong one (.TSX), and locked folders.
enum class RegisterKind { SmallFile, LargeFile, StrongFile, Folder };
inline constexpr std::array<RegisterKind, 4> kRegisterKinds = {RegisterKind::SmallFile, RegisterKind::LargeFile,
                                                               RegisterKind::StrongFile, RegisterKind::Folder};
inline constexpr std::array<RegisterKind, 3> kLockedFileKinds = {RegisterKind::SmallFile, RegisterKind::LargeFile,
                                                                 RegisterKind::StrongFile};

// AddBackslash(GetSystemFolder()) + "systemtsl1.tcl".
std::string RegisterPath();
// The register's host path in the program's data folder, also when no drive holds that folder.
std::string RegisterHostPath();
// Why the register cannot be reached: "the program's data folder ... is on none of its drives"
// when no drive holds the system folder; "" when it can.
std::string RegisterUnreachableReason();
// Creates the register holding one empty line (CR LF) when no file exists there.
void EnsureRegister(const std::string& registerPath);

// Whether the register can keep a path: its lines cannot hold "|" (the readers' separator), a
// carriage return or a line feed. Windows names never do; Linux names may.
bool IsRecordablePath(const std::string& path);
// The message for an item whose path the register cannot keep ("file" or "folder").
std::string UnrecordableMessage(const std::string& kind, const std::string& path);

struct RegisterItem {
    std::string key;  // the locked path on disk
    std::string text; // the path before the lock (also the tool tip)
};

// The file's form as the readers cut it. One section (`header` is "[name]") as "|"-separated
// lines, the file read or its text given; throws platform::SysError when the file cannot be read.
std::string ReadIniSection(const std::string& registerPath, const std::string& header);
std::string IniSectionOf(const std::string& text, const std::string& header);
// An entry line's key and value.
std::string IniEntryKey(const std::string& entry);
std::string IniEntryValue(const std::string& entry);

// The register file and its inter-process lock. Entries are named by the path before the lock
// (the key stored is that path transformed); reads give them in file order. Every change, or batch
// of changes (a transaction), is one read-change-write of the file under the register's lock, and
// throws platform::SysError (with the reason) when the register cannot be written. A register
// without a path records nothing and holds nothing.
class LockRegister final {
public:
    class Transaction;

    explicit LockRegister(std::string registerPath);
    const std::string& path() const { return m_path; }

    // A kind's entries; throws platform::SysError when the register cannot be read.
    std::vector<RegisterItem> load(RegisterKind kind) const;
    // The same for checks that must not speak: a register that cannot be read has none.
    std::vector<RegisterItem> loadQuietly(RegisterKind kind) const;
    // The same for the readers the user sees: a failure is shown or reported as the register's
    // rules say, with `windowName` as the reporting window; what could be read is given.
    std::vector<RegisterItem> loadShown(RegisterKind kind, platform::Prompt& prompt,
                                        const std::string& windowName = "frmMain") const;

    // Records locked items (path before, path after); an entry of the same path is replaced.
    void add(RegisterKind kind, const std::vector<std::pair<std::string, std::string>>& locks);
    // Removes exactly the entries of the given paths before the lock.
    void remove(RegisterKind kind, const std::vector<std::string>& befores);
    // Removes the entries of unlocked files by their restored paths; a file locked while its folder
    // had its plain name and locked since is found under the folder's plain name.
    void removeUnlocked(RegisterKind kind, const std::vector<std::string>& restoredPaths);
    // Moves an entry to a new path before the lock and a new locked path.
    void rename(RegisterKind kind, const std::string& before, const std::string& newBefore,
                const std::string& newAfter);

    // Runs `body` as one transaction: its reads and changes happen under the register's lock, held
    // from the first read to the one write of all its changes at the end. Nothing is written when
    // `body` throws.
    void transact(const std::function<void(Transaction&)>& body);

private:
    std::string m_path;
};

// The changes of one transaction, gathered and written at its end. Reads see the file as it was
// when the transaction began (its own changes are not written yet).
class LockRegister::Transaction final {
public:
    std::vector<RegisterItem> load(RegisterKind kind) const;
    std::vector<RegisterItem> loadShown(RegisterKind kind, platform::Prompt& prompt,
                                        const std::string& windowName = "frmMain") const;
    void add(RegisterKind kind, const std::string& before, const std::string& after);
    void remove(RegisterKind kind, const std::string& before);
    void removeUnlocked(RegisterKind kind, const std::vector<std::string>& restoredPaths);
    void rename(RegisterKind kind, const std::string& before, const std::string& newBefore,
                const std::string& newAfter);

private:
    friend class LockRegister;
    struct Change {
        bool set;
        RegisterKind kind;
        std::string key;
        std::string value;
    };
    explicit Transaction(const LockRegister& reg) : m_register(reg) {}
    const LockRegister& m_register;
    std::vector<Change> m_changes;
};

// Forwarders for one change or one read at a register path (see LockRegister).
void RecordLock(const std::string& registerPath, RegisterKind kind, const std::string& before,
                const std::string& after);
void RecordLocks(const std::string& registerPath, RegisterKind kind,
                 const std::vector<std::pair<std::string, std::string>>& locks);
void RemoveAfterFileUnlock(const std::string& registerPath, RegisterKind kind, const std::string& restoredPath);
void RemoveAfterFileUnlocks(const std::string& registerPath, RegisterKind kind,
                            const std::vector<std::string>& restoredPaths);
void RemoveEntries(const std::string& registerPath, RegisterKind kind, const std::vector<std::string>& befores);
// Removes a locked folder's entry (a register that cannot be changed is not told of here).
void RemoveAfterFolderUnlock(const std::string& registerPath, const std::string& restoredFolder);
std::vector<RegisterItem> RegisterEntries(const std::string& registerPath, RegisterKind kind);
std::vector<RegisterItem> QuietRegisterEntries(const std::string& registerPath, RegisterKind kind);

// The readers of the windows, entries in file order (LockRegister::loadShown).
std::vector<RegisterItem> GetLockedTSLFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName = "frmMain");
std::vector<RegisterItem> GetLockedTSWFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName = "frmMain");
std::vector<RegisterItem> GetLockedTSXFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName = "frmMain");
std::vector<RegisterItem> GetLockedFolders(const std::string& registerPath, platform::Prompt& prompt,
                                           const std::string& windowName = "frmMain");

// The register as one batch (a lock or unlock run over many items) sees it: read once, whole, at
// the first check that asks for it, with the rules of QuietRegisterEntries (no lock taken, as the
// checks never took one; a register that cannot be read has no entries). The batch's own writes
// still go to the register as they did, each under its lock; the batch tells the snapshot about
// them (note...), so that a later check of the same batch sees its entries as a fresh read would.
// For one thread: the batch's checks run on its caller's thread.
class RegisterSnapshot final {
public:
    explicit RegisterSnapshot(std::string registerPath);

    // A kind's entries in file order.
    const std::vector<RegisterItem>& entries(RegisterKind kind) const;

    // As add and remove (RecordLocks, RemoveEntries, RemoveAfterFolderUnlock) change the kind's entries (paths before
    // the lock, and after it).
    void noteRecorded(RegisterKind kind, const std::vector<std::pair<std::string, std::string>>& locks);
    void noteRemoved(RegisterKind kind, const std::vector<std::string>& befores);
    // As removeUnlocked (RemoveAfterFileUnlocks) changes them (the restored paths of unlocked files).
    void noteUnlocked(RegisterKind kind, const std::vector<std::string>& restoredPaths);

private:
    std::vector<RegisterItem>& section(RegisterKind kind) const;

    std::string m_registerPath;
    mutable bool m_read = false;
    mutable std::array<std::vector<RegisterItem>, 4> m_sections; // TSL, TSW, TSX, folders
};

} // namespace core
