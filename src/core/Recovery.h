#pragma once
// The recovery sweep: finishes or rolls back the lock and unlock runs that a crash or a kill
// interrupted. A temporary file whose source still exists is an unfinished run and is deleted (the
// source is the truth); one whose source is gone and that its run marked complete (a source is only
// removed once its result is synced and marked) is put in place, recorded and hidden as the run
// would have done; any other abandoned temporary file was cut short and is deleted.
// The register's entries of each folder are brought in line with the disk: a locked file that is
// there gets its read-only and hidden attributes and its ".hidden" line, an entry whose locked file
// is gone from its folder is dropped. Entries in folders (or on drives) that are not there are kept.
// Temporary files that a live run still holds are left alone.

#include <string>
#include <vector>

namespace core {

struct RecoveryReport {
    std::vector<std::string> restored;  // results put in place (Windows form)
    std::vector<std::string> discarded; // files whose unfinished result was removed (Windows form)
    std::vector<std::string> abandoned; // unfinished files without a source, removed (Windows form)
    std::vector<std::string> mended;    // items whose record, attributes or ".hidden" line were mended
    std::vector<std::string> dropped;   // items taken off the register: their locked file is gone
    std::vector<std::string> failures;  // what could not be done, with the reason
    bool empty() const {
        return restored.empty() && discarded.empty() && abandoned.empty() && mended.empty() && dropped.empty() &&
               failures.empty();
    }
};

// The folders that hold the register's locked files (Windows form, each once).
std::vector<std::string> RegisterFolders(const std::string& registerPath);
// Sweeps each folder (Windows form); folders that do not exist are passed over.
RecoveryReport RecoverFolders(const std::string& registerPath, const std::vector<std::string>& folders);
// Whether the folder (Windows form) holds temporary files that no live run holds: a cheap look
// before a listing decides to sweep.
bool HasAbandonedTemporaryFiles(const std::string& folder);
// What the user is told, one line for each thing done; empty when nothing was.
std::string RecoveryMessage(const RecoveryReport& report);

} // namespace core
