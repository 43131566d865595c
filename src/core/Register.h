#pragma once
// The locked-items register: an INI file in the system folder with sections "LockedTSLFile",
// "LockedTSWFile", "LockedTSXFile" (strong locks) and "LockedFolder"; each entry maps
// TransformName(path before) to TransformName(path after).

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace platform {
class Prompt;
}

namespace core {

// AddBackslash(GetSystemFolder()) + "systemtsl1.tcl".
std::string RegisterPath();
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

// Record and remove entries; each is one read-change-write of the register under its inter-process
// lock, and throws platform::SysError (with the reason) when the register cannot be written. The
// plural forms change many entries of one section in one write (a batch).
void RecordLock(const std::string& registerPath, const std::string& section, const std::string& before,
                const std::string& after);
void RecordLocks(const std::string& registerPath, const std::string& section,
                 const std::vector<std::pair<std::string, std::string>>& locks);
void RemoveAfterFileUnlock(const std::string& registerPath, const std::string& section,
                           const std::string& restoredPath);
void RemoveAfterFileUnlocks(const std::string& registerPath, const std::string& section,
                            const std::vector<std::string>& restoredPaths);
// Removes exactly the entries of the given paths before the lock (a tidy-up of stale entries).
void RemoveEntries(const std::string& registerPath, const std::string& section,
                   const std::vector<std::string>& befores);
void RemoveAfterFolderUnlock(const std::string& registerPath, const std::string& restoredFolder);

struct RegisterItem {
    std::string key;  // the locked path on disk
    std::string text; // the path before the lock (also the tool tip)
};

// A section's entries in file order, for the program's own use; throws platform::SysError when
// the register cannot be read.
std::vector<RegisterItem> RegisterEntries(const std::string& registerPath, const std::string& section);

// The readers, entries in file order. Errors are shown or reported as the register's rules say,
// with `windowName` as the reporting window.
std::vector<RegisterItem> GetLockedTSLFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName = "frmMain");
std::vector<RegisterItem> GetLockedTSWFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName = "frmMain");
std::vector<RegisterItem> GetLockedTSXFiles(const std::string& registerPath, platform::Prompt& prompt,
                                            const std::string& windowName = "frmMain");
std::vector<RegisterItem> GetLockedFolders(const std::string& registerPath, platform::Prompt& prompt,
                                           const std::string& windowName = "frmMain");

// One section's entries, for checks that must not speak: a register that cannot be read has none.
std::vector<RegisterItem> QuietRegisterEntries(const std::string& registerPath, const std::string& section);

// The register as one batch (a lock or unlock run over many items) sees it: read once, whole, at
// the first check that asks for it, with the rules of QuietRegisterEntries (no lock taken, as the
// checks never took one; a register that cannot be read has no entries). The batch's own writes
// still go to the register as they did, each under its lock; the batch tells the snapshot about
// them (note...), so that a later check of the same batch sees its entries as a fresh read would.
// For one thread: the batch's checks run on its caller's thread.
class RegisterSnapshot final {
public:
    explicit RegisterSnapshot(std::string registerPath);

    // A section's entries in file order (one of the four register sections; any other has none).
    const std::vector<RegisterItem>& entries(const std::string& section) const;

    // As RecordLocks and RemoveEntries / RemoveAfterFolderUnlock change the section (paths before
    // the lock, and after it).
    void noteRecorded(const std::string& section, const std::vector<std::pair<std::string, std::string>>& locks);
    void noteRemoved(const std::string& section, const std::vector<std::string>& befores);
    // As RemoveAfterFileUnlocks changes the section (the restored paths of unlocked files).
    void noteUnlocked(const std::string& section, const std::vector<std::string>& restoredPaths);

private:
    std::vector<RegisterItem>* section(const std::string& name) const;

    std::string m_registerPath;
    mutable bool m_read = false;
    mutable std::array<std::vector<RegisterItem>, 4> m_sections; // TSL, TSW, TSX, folders
};

} // namespace core
