#pragma once
// The recovery sweep: finishes or rolls back the lock and unlock runs that a crash or a kill
// interrupted. Only the program's own temporary files are looked at: a name of the temporary form
// that carries neither the program's attribute nor its journal (see platform/FileIO.h) is the
// user's, and is never touched nor reported.
// - A temporary file whose source is still there is an unfinished run: the source is whole and is
//   the truth, and the temporary file goes.
// - One whose source is gone and that its run marked complete (a run removes a source only once
//   its result is synced and marked) is put in place, recorded and hidden as the run would have
//   done. When its name is taken meanwhile, or its name cannot be told, it is the only copy of the
//   content: it is kept under a visible name of its own and the user is told.
// - One its run never marked was left before the run touched its source (a file written for the
//   first time, an export): it goes.
// The register's entries of each folder are brought in line with the disk: a locked file that is
// there gets its read-only and hidden attributes and its ".hidden" line; an entry whose locked file
// is missing is dropped only where the folder shows that it is the one that held the file (see
// mendEntries); entries in folders (or on drives, or on volumes) that are not there are kept.
// Temporary files that a live run still holds are left alone.
// The register's locked folders are brought in line too: a folder at its locked name gets its marks
// back (desktop.ini, Hidden and System, its ".hidden" line); one back at its own name, with nothing
// at its locked name, had its unlock cut short after the rename, and the unlock is finished (its
// record and password go).

#include <functional>
#include <string>
#include <vector>

namespace core {

// A result that was the only copy of its content and could not be put in place: kept under a name
// of its own beside it.
struct KeptCopy {
    std::string file;      // the file as the user knows it (Windows form)
    std::string keptAs;    // the name it was kept under (Windows form)
    std::string unlocksTo; // for a locked copy, the name its unlock gives; "" otherwise
    std::string reason;    // why it could not be put in place
};

struct RecoveryReport {
    std::vector<std::string> restored;  // results put in place (Windows form)
    std::vector<std::string> discarded; // files whose unfinished result was removed (Windows form)
    std::vector<std::string> abandoned; // unfinished files without a source, removed (Windows form)
    std::vector<KeptCopy> kept;         // only copies kept under a name of their own
    std::vector<std::string> mended;    // items whose record, attributes or ".hidden" line were mended
    std::vector<std::string> dropped;   // items taken off the register: their locked file is gone
    std::vector<std::string> unlockedFolders; // folders whose interrupted unlock was finished
    std::vector<std::string> failures;  // what could not be done, with the reason
    bool empty() const {
        return restored.empty() && discarded.empty() && abandoned.empty() && kept.empty() && mended.empty() &&
               dropped.empty() && unlockedFolders.empty() && failures.empty();
    }
};

// The folders that hold the register's locked files and folders (Windows form, each once).
std::vector<std::string> RegisterFolders(const std::string& registerPath);
// Sweeps each folder (Windows form); folders that do not exist are passed over.
RecoveryReport RecoverFolders(const std::string& registerPath, const std::vector<std::string>& folders);
// Whether the folder (Windows form) holds temporary files of the program that no live run holds (or
// a journal left without its file): a cheap look before a listing decides to sweep.
bool HasAbandonedTemporaryFiles(const std::string& folder);
// What the user is told, one line for each thing done; empty when nothing was. `shown` turns a
// path into the form the user knows it by (a file inside a locked folder, say); none: as it is.
std::string RecoveryMessage(const RecoveryReport& report,
                            const std::function<std::string(const std::string&)>& shown = {});

} // namespace core
