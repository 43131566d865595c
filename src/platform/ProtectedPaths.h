#pragma once
// The folders no delete may take: drive roots, the home folder, the program's data folders (the
// Windows folder with System32, the favourites, the registry, the log), and any folder that holds
// one of them. The shredder also keeps away from the program's own folder and the operating system's
// folders. Every check works on the entry the path points at after ".", ".." and links in its folders
// are resolved; a final link is the link itself (deleting it never follows it).

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace platform {

// The entry a host path points at: made absolute, its folders resolved (".", "..", links), its last
// name kept as it is unless it is "." or "..". A missing tail is normalised as text.
std::string pointedEntryHost(const std::string& host);

enum class Protection {
    None,
    DriveRoot,     // "/" or a drive's folder
    Home,          // $HOME
    DataFolder,    // the program's data folders, or something inside them
    ProgramFolder, // the executable's folder, or something inside it
    SystemFolder,  // /usr, /etc, ... and what lies in them
};

// Why a plain delete must refuse the entry (drive root, home, data folder or a folder holding one
// of them): None when it may go. `entryHost` is a pointedEntryHost() result.
Protection deleteProtection(const std::string& entryHost);
// The same plus the program's folder and the system's folders, for the shredder.
Protection shredProtection(const std::string& entryHost);

// Why the shredder or a lock must refuse the entry: the same as shredProtection(). The locks keep
// away from what the shredder keeps away from, since a locked folder is renamed out of sight.
inline Protection lockProtection(const std::string& entryHost) {
    return shredProtection(entryHost);
}

// While one lives on a thread, deleteProtection() and shredProtection() on that thread use the
// protected places as they were when it was made, instead of reading the drive table, the
// environment and the password database again for every entry. A batch holds one for its run; an
// inner one made while an outer one lives changes nothing. pointedEntryHost() on that thread keeps
// the folders it resolved for the snapshot's life.
class ProtectionSnapshot final {
public:
    ProtectionSnapshot();
    ~ProtectionSnapshot();
    ProtectionSnapshot(const ProtectionSnapshot&) = delete;
    ProtectionSnapshot& operator=(const ProtectionSnapshot&) = delete;

private:
    struct Held;
    std::unique_ptr<Held> m_held;
};

// A file or folder as the system knows it, whatever names it has.
struct FileId {
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    bool operator==(const FileId& o) const { return dev == o.dev && ino == o.ino; }
    bool operator!=(const FileId& o) const { return !(*this == o); }
    bool operator<(const FileId& o) const { return dev != o.dev ? dev < o.dev : ino < o.ino; }
};
// The entry open at `fd` (an O_PATH descriptor is enough); a zero id when fstat fails.
FileId fileIdOf(int fd);

// The protected entries by identity rather than by name, for a command that checks what it opened:
// a bind mount, a hard link or a folder swapped for a link cannot dress a protected folder up as
// something else. Read once when a run starts.
class ProtectedSet final {
public:
    // Drive roots, every user's home (from the password database) and $HOME, the program's data,
    // state and config folders with the files directly in them, the program's folder and the
    // system's folders, and every folder that holds one of them.
    static ProtectedSet current();

    // Why the entry `id`, which lies in the folder open at `parentFd`, may not be destroyed: it is
    // protected, holds something protected, or lies inside the data, program or system folders
    // (the folders above it are walked through "..", so links in its path play no part).
    Protection check(int parentFd, const FileId& id) const;
    // The quick test for an entry met during a walk inside an item that passed check().
    Protection checkEntry(const FileId& id) const;

private:
    void addWhole(const std::string& host, Protection why, bool andHolders);
    std::map<FileId, Protection> m_whole;  // never destroyed as a whole
    std::map<FileId, Protection> m_inside; // nothing inside may go either
    std::set<FileId> m_systemTops;         // /usr, /etc, ...: what lies inside is the system's
    std::set<FileId> m_freeZones;          // /tmp, /var/tmp and volumes: what lies inside is the user's
};

// Windows-form conveniences: a path that cannot be mapped counts as protected (DriveRoot).
Protection deleteProtectionOf(const std::string& windowsPath);
Protection shredProtectionOf(const std::string& windowsPath);

} // namespace platform
