#pragma once
// Destroys files and folders so that their content cannot be read back. A file is overwritten from
// its first byte to its last (as many whole passes as the security level asks, each flushed to the
// disk), renamed to a random name of the same length in its folder, deleted, and its folder synced.
// A folder has every file inside shredded that way before the tree is removed; symbolic links,
// pipes and devices inside are removed without being opened or followed, and nothing outside the
// folder (another volume mounted inside it included) is touched. Paths here are host paths; the
// engine opens no window and may run on a worker thread.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace shredder {

// The security levels offered in the "Security level" list, the first the default.
std::vector<std::string> LevelNames();
// Whole-file passes of a level (1, 2 or 3).
int PassCount(int levelIndex);
// The runs the first pass writes at a file's start, with N = 100 × the level index: 440 bytes
// (110 × 0A 00 00 00) at the first level, 52 × N bytes more at each further one.
std::string StartPattern(int levelIndex);

// An item that could not be shredded, and the system's reason.
struct Failure {
    std::string hostPath;
    std::string reason;
};

class ShredEngine final {
public:
    explicit ShredEngine(int levelIndex);

    // Bytes the passes will write for the entry (a file, or every file in a folder): for progress.
    std::uint64_t bytesToWrite(const std::string& host) const;

    // Shreds a file (the pending list's DeleteFile) or a folder (a link or other special entry is only
    // removed). True when it is gone.
    bool shred(const std::string& host);
    // The scheduled sweep: shreds everything inside the folder and keeps the folder itself.
    bool Nuke(const std::string& hostFolder);

    // Bytes written so far; another thread may read it while a run goes on.
    std::uint64_t written() const { return m_written.load(std::memory_order_relaxed); }
    const std::vector<Failure>& failures() const { return m_failures; }

private:
    bool shredFileAt(int dirFd, const std::string& name, const std::string& host);
    bool emptyAt(int dirFd, const std::string& host, unsigned long device);
    bool removeFolderAt(int parentFd, const std::string& name, const std::string& host, unsigned long device);
    bool fail(const std::string& host, int err);
    bool fail(const std::string& host, const std::string& reason);
    void countBytes(int dirFd, const std::string& name, std::uint64_t& total, int depth) const;

    int m_level = 0;
    std::string m_start;
    std::atomic<std::uint64_t> m_written{0};
    std::vector<Failure> m_failures;
};

} // namespace shredder
