#include "core/LockFormat.h"

#include "core/Cipher.h"
#include "core/LockChecks.h"
#include "core/Register.h"
#include "core/Scrambler.h"
#include "core/WorkerPool.h"
#include "diagnostics/ErrorReport.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace engine {

bool isAlphabet(char ch) {
    const int c = static_cast<unsigned char>(ch);
    return c >= 59 && c <= 122;
}

// "[Secret]" followed by sixteen alphabet characters.
bool startsWithHeader(const std::string& s) {
    if (s.size() < kHeaderLength || s.compare(0, 8, kMarker) != 0)
        return false;
    return std::all_of(s.begin() + 8, s.begin() + kHeaderLength, isAlphabet);
}

// A whole header line: the header and CR LF.
bool startsWithHeaderLine(const std::string& s) {
    return startsWithHeader(s) && s.size() >= kHeaderLength + 2 && s[kHeaderLength] == '\r' &&
           s[kHeaderLength + 1] == '\n';
}

void step(const EngineContext& ctx, const char* name) {
    if (ctx.checkpoint)
        ctx.checkpoint(name);
}

void progress(const EngineContext& ctx, std::uint64_t done, std::uint64_t total) {
    if (ctx.progress)
        ctx.progress(done, total);
}

// The file's first line, up to its first CR or LF. An empty file has none (error 62).
std::string readFirstLine(const std::string& path) {
    platform::InputFile in(path);
    if (in.size() == 0)
        throw platform::SysError(platform::ErrorKind::InputPastEnd,
                                 platform::errorDescription(platform::ErrorKind::InputPastEnd), "the file is empty");
    std::string line;
    char buffer[4096];
    while (line.size() < kMaxHeaderLine) {
        const std::size_t got = in.read(buffer, sizeof buffer);
        if (got == 0)
            break;
        const char* end = buffer + got;
        const char* stop =
            std::find_if(static_cast<const char*>(buffer), end, [](char c) { return c == '\r' || c == '\n'; });
        line.append(static_cast<const char*>(buffer), stop);
        if (stop != end)
            break;
    }
    return line;
}

// The check of a header line against a password: the digest of salt and password at character 17.
bool passwordMatches(const std::string& header, const std::string& password) {
    const std::string salt = header.size() > 8 ? header.substr(8, 8) : std::string();
    return header.find(DigestText(salt + password)) == 16;
}

// Names the file: in a batch, the user must know which one the password did not fit.
void showWrongPassword(const EngineContext& ctx, const std::string& path) {
    ctx.prompt.show(std::string("Sorry, this is not the correct password!") + kCrLf + Quoted(ShownName(path)),
                    Buttons::OK, Icon::Exclamation, "Wrong Password");
}

// Refuses a path the register cannot record, before anything is read or written.
bool refuseUnrecordable(const EngineContext& ctx, const std::string& path) {
    if (IsRecordablePath(path))
        return false;
    ctx.prompt.show(UnrecordableMessage("file", path), Buttons::OK, Icon::Exclamation);
    return true;
}

// Refuses what must not be locked or unlocked (a link, a pipe, an item inside a locked folder).
bool refuse(const EngineContext& ctx, const std::string& refusal) {
    if (refusal.empty())
        return false;
    ctx.prompt.show(refusal, Buttons::OK, Icon::Exclamation);
    return true;
}

namespace {

// Names the file the user chose and the name that stands in the way.
std::string targetTakenMessage(const std::string& path, const std::string& target, bool lock) {
    const std::string chosen = Quoted(ShownName(path)) + " can't be ";
    const std::string taken = Quoted(GetFileNamePart(target)) + " is taken.";
    return lock ? chosen + "locked: its locked name " + taken : chosen + "unlocked: the name " + taken;
}

} // namespace

void showTargetTaken(const EngineContext& ctx, const std::string& path, const std::string& target, bool lock) {
    ctx.prompt.show(targetTakenMessage(path, target, lock), Buttons::OK, Icon::Exclamation);
}

// Whether a file or folder already has the target's name. A name that the folder cannot hold (too
// long, say) fails here, before anything is written or removed.
bool targetTaken(const std::string& target) {
    const std::string host = platform::toHost(target);
    struct stat st {};
    if (::lstat(host.c_str(), &st) == 0)
        return true;
    if (errno == ENOENT)
        return false;
    throw platform::sysErrorFromErrno(errno, host);
}

namespace {

// Whether anything (a file, a folder or a link) has the path, without following a link.
bool lexists(const std::string& path) {
    struct stat st {};
    return ::lstat(platform::toHost(path).c_str(), &st) == 0;
}

// "locked" or "unlocked", as the run's messages say what was (or was not) done.
std::string doneWord(bool locking) {
    return locking ? "locked" : "unlocked";
}

std::string replacedMessage(const std::string& path, bool locking) {
    return Quoted(ShownName(path)) + " was not " + doneWord(locking) +
           ": it was moved or replaced after the run began, and was left alone.";
}

std::string beingWrittenMessage(const std::string& path, bool locking) {
    return Quoted(ShownName(path)) + " is being written by another program; it was not " + doneWord(locking) + ".";
}

} // namespace

std::vector<std::unique_ptr<platform::PinnedSource>> pinSources(const std::vector<std::string>& paths) {
    std::vector<std::unique_ptr<platform::PinnedSource>> pins(paths.size());
    std::map<std::string, std::shared_ptr<platform::PinnedFolder>> folders;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        try {
            const std::string host = platform::toHost(paths[i]);
            const std::string hostFolder = platform::hostpath::folderOf(host);
            std::shared_ptr<platform::PinnedFolder>& folder = folders[hostFolder];
            if (!folder)
                folder = std::make_shared<platform::PinnedFolder>(hostFolder);
            auto pin = std::make_unique<platform::PinnedSource>(folder, platform::hostpath::nameOf(host));
            if (pin->valid())
                pins[i] = std::move(pin);
        } catch (const platform::SysError&) {
            // Nothing pinned: the file's own checks name the reason.
        }
    }
    return pins;
}

std::string openPinned(platform::PinnedSource* pin, const std::string& path, bool locking) {
    if (!pin)
        return {};
    std::string refusal;
    // A lock holds a read lease over its read, so that a writer who comes meanwhile is noticed; an
    // unlock looks at its locked file again at the end (identity, size and change times).
    switch (pin->open(locking)) {
    case platform::PinnedSource::Open::Ok:
        if (locking && pin->links() > 1)
            refusal = Quoted(ShownName(path)) +
                      " has other names on this disk (hard links); locking it would leave its content readable "
                      "under them. It was not locked.";
        break;
    case platform::PinnedSource::Open::Gone:
        return {}; // the file's own checks tell that it is not there
    case platform::PinnedSource::Open::Replaced:
        refusal = replacedMessage(path, locking);
        break;
    case platform::PinnedSource::Open::BeingWritten:
        refusal = beingWrittenMessage(path, locking);
        break;
    case platform::PinnedSource::Open::OwnedByOther:
        refusal = Quoted(ShownName(path)) + " is owned by another user, who may still be writing it; it was not " +
                  doneWord(locking) + ".";
        break;
    }
    if (!refusal.empty())
        pin->release();
    return refusal;
}

bool refusePinned(const EngineContext& ctx, platform::PinnedSource* pin, const std::string& path, bool locking) {
    return refuse(ctx, openPinned(pin, path, locking));
}

std::string lockTarget(const std::string& path, const char* extension) {
    return AddBackslash(GetFolderPart(path)) + TransformName(GetFileNamePart(path)) + extension;
}

std::string unlockTarget(const std::string& path) {
    return AddBackslash(GetFolderPart(path)) + TransformName(GetFileNamePart(RemoveExtension(path)));
}

namespace {

// When the source is already gone and the result cannot be put in place, the temporary file is the
// only copy of the content: keep it under a free name beside the target instead of letting the
// writer remove it.
std::string keepTemporary(platform::AtomicWriter& writer, const std::string& target) {
    try {
        const std::string host = platform::toHost(target);
        for (int i = 1; i < 1000; ++i) {
            std::string name = host + ".recovered";
            if (i > 1)
                name.append(1, '-').append(std::to_string(i));
            if (::link(writer.temporaryHostPath().c_str(), name.c_str()) == 0) {
                platform::syncFolder(GetFolderPart(target));
                return platform::hostpath::nameOf(name);
            }
            if (errno != EEXIST)
                break;
        }
    } catch (...) {
        // No second name: handled just below.
    }
    // No second name (a filesystem without hard links): the writer leaves the marked file under
    // its temporary name, and the next recovery sweep puts it in place or keeps it visibly.
    return {};
}

} // namespace

// The permission bits of a file (owner read and write when they cannot be read).
unsigned modeOf(const std::string& path) {
    struct stat st {};
    if (::stat(platform::toHost(path).c_str(), &st) != 0)
        return 0600;
    return st.st_mode & 07777;
}

namespace {

// A file's part of the run ends here: its temporary result goes (the source is untouched), and
// the user is told why.
void dropJob(Job& job, std::string why, std::vector<std::string>& failures) {
    job.ok = false;
    job.writer.reset();
    failures.push_back(std::move(why));
}

// The checks of the prepare step again, now that no other run can change the folder: another
// process may have locked or unlocked the same file, or taken the result's name, since then. Such
// a file is left as that run left it, and nothing of it is recorded or removed here. Two files of
// this run bound for one name ("a.TSL" and "a.TSW" both unlock to "a", a file given twice) are one
// too many: the later one waits. False when no file is left to complete.
bool recheckJobs(std::vector<Job*>& jobs, bool locking, std::vector<std::string>& failures) {
    std::vector<const std::string*> targets;
    // The folder's path is looked at once for all its files: still the folder the run holds?
    const auto pinned = std::find_if(jobs.begin(), jobs.end(), [](const Job* job) { return job->pin != nullptr; });
    const bool folderStill = pinned == jobs.end() || (*pinned)->pin->folder().stillAt();
    for (Job* job : jobs) {
        if (!job->ok)
            continue;
        std::string refusal;
        const bool twice =
            std::any_of(targets.begin(), targets.end(), [job](const std::string* t) { return *t == job->target; });
        // A pinned source is looked at through the folder the run holds; a folder whose path now
        // leads elsewhere holds nothing the run may change.
        using Seen = platform::PinnedSource::Seen;
        const Seen seen = !job->pin     ? (lexists(job->source) ? Seen::Unchanged : Seen::Gone)
                          : folderStill ? job->pin->seeAgain()
                                        : (lexists(job->source) ? Seen::Replaced : Seen::Gone);
        if (twice)
            refusal = targetTakenMessage(job->source, job->target, locking);
        else if (seen == Seen::Replaced)
            refusal = replacedMessage(job->source, locking);
        else if (seen == Seen::Written)
            refusal = beingWrittenMessage(job->source, locking);
        else if (seen == Seen::Gone)
            refusal = Quoted(GetFileNamePart(locking || job->inPlace() ? job->source : job->target)) + " was not " +
                      doneWord(locking) + ": it is no longer there.";
        else if (!job->inPlace() && lexists(job->target))
            refusal = targetTakenMessage(job->source, job->target, locking);
        if (refusal.empty())
            targets.push_back(&job->target);
        else
            dropJob(*job, refusal, failures);
    }
    return std::any_of(jobs.begin(), jobs.end(), [](const Job* job) { return job->ok; });
}

// A lock records its files in the register, kind by kind, before any source goes: a file
// that cannot be recorded is not locked.
void recordLocks(std::vector<Job*>& jobs, const EngineContext& ctx, std::vector<std::string>& failures) {
    for (const LockFormat* format : Formats()) {
        const RegisterKind kind = format->kind;
        std::vector<std::pair<std::string, std::string>> entries;
        // Only the files this run is about to lock: one refused above is not recorded.
        for (Job* job : jobs)
            if (job->ok && job->kind == kind)
                entries.emplace_back(job->source, job->target);
        try {
            RecordLocks(ctx.registerPath, kind, entries);
            if (ctx.registerSnapshot)
                ctx.registerSnapshot->noteRecorded(kind, entries);
        } catch (const platform::SysError& e) {
            for (Job* job : jobs)
                if (job->ok && job->kind == kind)
                    dropJob(*job,
                            "'" + job->source + "' was not locked: it could not be recorded in the Security Vault: " +
                                e.description() + ".",
                            failures);
        }
    }
    step(ctx, "recorded");
}

// Removes a pinned source through its pin: 0, or the errno of a failure that left it as it was.
// A lock looks at the file's names before and after its name goes: a file that gained a name while
// it was locked still shows its content there. A format that leaves no plaintext behind has the
// source renamed to a random name and overwritten first, unless other names still show it. Once
// the overwrite began the result must go in place whatever follows, so a later failure only makes
// the lock unsafe (job.unsafe).
int removePinned(Job& job) {
    platform::PinnedSource& pin = *job.pin;
    if (!job.locking)
        return pin.unlink();
    const std::string linked = "its content is still readable under another name (a hard link to it was made "
                               "while it was being locked)";
    const bool otherNames = pin.linksNow() > 1;
    bool overwritten = false;
    if (FormatOfKind(job.kind).overwritesSource && !otherNames) {
        if (const int err = pin.openForOverwrite(); err != 0)
            return err;
        // A folder that refuses the rename keeps the name in its blocks; the content still goes.
        if (const int err = pin.renameToRandom(); err == EXDEV)
            return err;
        overwritten = true;
        if (const int err = pin.overwrite(); err != 0)
            job.unsafe = "its original could not be overwritten (" + std::string(std::strerror(err)) +
                         "), so its content may still be on the disk";
    }
    if (const int err = pin.unlink(); err != 0) {
        if (!overwritten)
            return err;
        job.unsafe = "its overwritten original could not be removed (" + std::string(std::strerror(err)) + ")";
        return 0;
    }
    if (otherNames || pin.linksNow() > 0)
        job.unsafe = linked;
    return 0;
}

// The sources go, all of them before any result is renamed: removing a file whose blocks were just
// written can wait long on the disk (online discard), so many are removed side by side. The reason
// each one could not be removed, by the jobs' order ("" where it was, or where it was not to be).
std::vector<std::string> removeSources(std::vector<Job*>& jobs, const EngineContext& ctx) {
    std::vector<Job*> removing;
    std::vector<std::string> removeErrors(jobs.size());
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Job* job = jobs[i];
        // A temporary file that another process took away is no longer a copy of anything.
        if (job->ok && !job->writer->stillLinked()) {
            removeErrors[i] = platform::errorDescription(platform::ErrorKind::PathFileAccess);
        } else if (job->ok && !job->inPlace()) {
            removing.push_back(job);
            at.push_back(i);
        }
    }
    // Host paths are worked out here: the helpers only make system calls.
    std::vector<std::string> hosts;
    for (Job* job : removing)
        hosts.push_back(job->pin ? std::string() : platform::toHost(job->source));
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k = next++; k < removing.size(); k = next++) {
            // unlink needs no write permission on the file itself, only on its folder. A pinned
            // source goes through the folder the run holds, never through a path that may now
            // lead elsewhere.
            platform::PinnedSource* pin = removing[k]->pin.get();
            const int failed = pin ? removePinned(*removing[k]) : (::unlink(hosts[k].c_str()) == 0 ? 0 : errno);
            // The held descriptor is the removed file's last reference: closing it frees the
            // blocks, which waits on the disk as an unlink would, so it is done here, side by side.
            if (pin && failed == 0)
                pin->release();
            if (failed == EXDEV)
                removeErrors[at[k]] = "it was moved or replaced after the run began";
            else if (failed != 0)
                removeErrors[at[k]] = failed == EISDIR ? platform::errorDescription(platform::ErrorKind::PathFileAccess)
                                                       : platform::sysErrorFromErrno(failed, hosts[k]).reason();
        }
    };
    const std::size_t helpers = std::min<std::size_t>(removing.size() / 16, 7);
    std::optional<WorkerPool> pool;
    std::vector<std::future<void>> helping;
    if (helpers > 0) {
        pool.emplace(helpers);
        for (std::size_t t = 0; t < helpers; ++t)
            helping.push_back(pool->submit(work));
    }
    work();
    for (auto& h : helping)
        h.get();
    if (!removing.empty())
        step(ctx, "source removed");
    return removeErrors;
}

// Each result whose source is gone takes its place. A lock whose source could not be removed is
// undone (returned: its register entry goes again); a result that cannot be put in place is kept
// where the user can find it, as it may be the only copy.
std::vector<const Job*> commitResults(std::vector<Job*>& jobs, const std::vector<std::string>& removeErrors,
                                      const EngineContext& ctx, std::vector<std::string>& failures) {
    std::vector<const Job*> undo; // recorded, then not locked
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Job* job = jobs[i];
        if (!job->ok)
            continue;
        if (!removeErrors[i].empty()) {
            if (job->locking)
                undo.push_back(job);
            dropJob(*job,
                    Quoted(ShownName(job->source)) + " was not " + doneWord(job->locking) + ", and is unchanged: " +
                        removeErrors[i] + ".",
                    failures);
            continue;
        }
        // A lock whose source went but whose content may still be read is no success.
        if (!job->unsafe.empty()) {
            job->ok = false;
            failures.push_back(Quoted(ShownName(job->source)) + " was locked, but not locked safely: " + job->unsafe +
                               ".");
        }
        try {
            job->writer->commit(job->inPlace(), false);
            job->committed = true;
            step(ctx, "committed");
        } catch (const platform::SysError& e) {
            job->ok = false;
            // A layer replaced in place leaves its file as it was; any other result is the only copy.
            const std::string kept = job->inPlace() ? std::string() : keepTemporary(*job->writer, job->target);
            const std::string where = job->inPlace() ? "the file is unchanged"
                                      : kept.empty()
                                          ? "it was left under a temporary name, which the next start of Tessaly puts "
                                            "in place or keeps under a visible name"
                                          : "it was kept beside it as '" + kept + "'";
            failures.push_back("The result of '" + job->source + "' could not be put in place as '" + job->target +
                               "' (" + where + "): " + e.description() + ".");
        }
    }
    return undo;
}

// Entries recorded for files that then could not be locked go again. Quietly: the file is unchanged
// and was told of; an entry left behind only lists a file that is not locked, which the vault
// shows as not there and lets the user remove.
void forgetUndone(const std::vector<const Job*>& undo, const EngineContext& ctx) {
    for (const LockFormat* format : Formats()) {
        std::vector<std::string> restored;
        for (const Job* job : undo)
            if (job->kind == format->kind)
                restored.push_back(job->source);
        try {
            RemoveAfterFileUnlocks(ctx.registerPath, format->kind, restored);
            if (ctx.registerSnapshot)
                ctx.registerSnapshot->noteUnlocked(format->kind, restored);
        } catch (const platform::SysError&) {
            // The failure is being told already; the recovery sweep drops an entry whose file is gone.
        }
    }
}

// Attributes and the ".hidden" list: a locked file is read-only and hidden; the name of a locked
// file that an unlock removed leaves the list.
void markResults(std::vector<Job*>& jobs, const std::string& hostFolder, bool locking,
                 std::vector<std::string>& failures, std::vector<std::string>& notes) {
    std::vector<std::string> hide;
    std::vector<std::string> unhide;
    for (Job* job : jobs) {
        if (!job->committed)
            continue;
        const std::string host = platform::toHost(job->target);
        try {
            if (locking) {
                if (platform::setAttributesHost(platform::HostPath(host), platform::kAttrReadOnly | platform::kAttrHidden,
                                                platform::HiddenList::Leave))
                    hide.push_back(platform::hostpath::nameOf(host));
            } else {
                unhide.push_back(platform::hostpath::nameOf(platform::toHost(job->source)));
            }
        } catch (const platform::SysError& e) {
            job->ok = false;
            failures.push_back("'" + job->source + "' was locked, but it could not be marked read-only and hidden: " +
                               e.description() + ".");
        }
    }
    try {
        if (platform::updateHiddenEntriesHost(hostFolder, hide, unhide) == platform::HiddenListChange::LeftAlone &&
            locking && !hide.empty())
            notes.push_back(HiddenListLeftAloneNote(GetFolderPart(jobs.front()->target)));
    } catch (const platform::SysError& e) {
        for (Job* job : jobs) {
            if (!job->committed || !job->ok)
                continue;
            job->ok = false;
            failures.push_back(Quoted(locking ? job->source : job->target) + " was " + doneWord(locking) +
                               ", but the folder's list of hidden files could not be written: " + e.description() +
                               ".");
        }
    }
}

// An unlock removes the register entries of the files now in place, last.
void forgetUnlocked(std::vector<Job*>& jobs, const EngineContext& ctx, std::vector<std::string>& failures) {
    for (const LockFormat* format : Formats()) {
        const RegisterKind kind = format->kind;
        std::vector<std::string> restored;
        for (Job* job : jobs)
            if (job->kind == kind && job->committed)
                restored.push_back(job->target);
        try {
            RemoveAfterFileUnlocks(ctx.registerPath, kind, restored);
            if (ctx.registerSnapshot)
                ctx.registerSnapshot->noteUnlocked(kind, restored);
        } catch (const platform::SysError& e) {
            for (Job* job : jobs) {
                if (job->kind != kind || !job->ok)
                    continue;
                job->ok = false;
                // Named as it is now: the file the user knows, no longer its locked name.
                failures.push_back(Quoted(job->target) +
                                   " was unlocked, but it could not be removed from the Security Vault: " +
                                   e.description() + ".");
            }
        }
    }
    step(ctx, "recorded");
}

// Puts the results of one folder in place, under the folder's lock: (for a lock) the register
// entries first, then each source removed and its result renamed over, the folder synced, the
// attributes and the ".hidden" list set once, (for an unlock) the register entries removed last.
// A failure before a source is removed undoes the file's part; one after says what was done.
// Messages are gathered and shown by the caller once the folder's lock is released, so that no box
// waits on the user while other processes wait on the lock.
void completeFolder(std::vector<Job*>& jobs, const EngineContext& ctx, std::vector<std::string>& failures,
                    std::vector<std::string>& notes) {
    const std::string hostFolder = platform::hostpath::folderOf(platform::toHost(jobs.front()->target));
    const platform::FolderLock lock(hostFolder);
    const bool locking = jobs.front()->locking;
    if (!recheckJobs(jobs, locking, failures))
        return;
    if (locking)
        recordLocks(jobs, ctx, failures);
    const std::vector<std::string> removeErrors = removeSources(jobs, ctx);
    forgetUndone(commitResults(jobs, removeErrors, ctx, failures), ctx);
    platform::syncFolder(GetFolderPart(jobs.front()->target));
    markResults(jobs, hostFolder, locking, failures, notes);
    if (!locking)
        forgetUnlocked(jobs, ctx, failures);
}

} // namespace

// Makes the written results durable (one fsync for a single file, one syncfs for many), then
// completes them folder by folder, then syncs once more for the attributes and lists.
void completeJobs(std::vector<Job>& jobs, const EngineContext& ctx) {
    std::vector<Job*> pending;
    for (Job& job : jobs)
        if (job.ok && job.writer)
            pending.push_back(&job);
    if (pending.empty())
        return;
    const bool single = pending.size() == 1;
    std::vector<std::string> filesystems; // one folder per filesystem, for syncfs
    std::vector<dev_t> devices;
    std::string lastFolder; // a batch's files mostly share their folder: it is looked at once
    for (Job* job : pending) {
        carrySourceTimes(*job);
        job->writer->finish();
        if (single) {
            // Synced, then marked complete (and the mark synced): only now may the source go.
            job->writer->markComplete(true);
            continue;
        }
        std::string host = platform::hostpath::folderOf(job->writer->targetHostPath());
        if (host == lastFolder)
            continue;
        lastFolder = host;
        struct stat st {};
        if (::stat(host.c_str(), &st) == 0 && std::find(devices.begin(), devices.end(), st.st_dev) == devices.end()) {
            devices.push_back(st.st_dev);
            filesystems.push_back(host);
        }
    }
    for (const std::string& fs : filesystems)
        platform::syncFilesystemHost(platform::HostPath(fs));
    if (!single) {
        // Each result is whole on disk: marked complete, and the marks synced together.
        bool marked = false;
        for (Job* job : pending)
            marked = job->writer->markComplete(false) || marked;
        if (marked)
            for (const std::string& fs : filesystems)
                platform::syncFilesystemHost(platform::HostPath(fs));
    }
    step(ctx, "written");

    // By folder, in the order the folders first appear.
    while (!pending.empty()) {
        const std::string folder = GetFolderPart(pending.front()->target);
        std::vector<Job*> group;
        std::vector<Job*> rest;
        for (Job* job : pending)
            (GetFolderPart(job->target) == folder ? group : rest).push_back(job);
        std::vector<std::string> failures;
        std::vector<std::string> notes; // what was done, but not all the way (the files are locked)
        completeFolder(group, ctx, failures, notes);
        for (const std::string& text : failures)
            ctx.prompt.show(text, Buttons::OK, Icon::Critical);
        for (const std::string& text : notes)
            ctx.prompt.show(text, Buttons::OK, Icon::Exclamation);
        pending.swap(rest);
    }
    if (!single && !filesystems.empty())
        platform::syncFilesystemHost(platform::HostPath(filesystems.front()));
    for (const std::string& fs : filesystems)
        if (fs != filesystems.front())
            platform::syncFilesystemHost(platform::HostPath(fs));
}

// The engines' error handler: the kinds the engine knows get their boxes, the rest is reported.
// Every box ends by naming the file and the reason in the system's words.
bool handleError(const EngineContext& ctx, Messages messages, const char* procedure, platform::ErrorKind kind,
                 const std::string& description, const std::string& path, bool lock, const std::string& reason) {
    const std::string why = Quoted(ShownName(path)) + ": " + reason + ".";
    const std::string line = std::string(kCrLf) + why;
    if (messages == Messages::Lock && kind == platform::ErrorKind::FileAlreadyOpen)
        ctx.prompt.show("The file you are trying to lock is already open or in read-only mode." + line, Buttons::OK,
                        Icon::Critical, "File Already Open");
    else if (messages == Messages::Lock && kind == platform::ErrorKind::PathFileAccess)
        ctx.prompt.show("Path/File access error" + line, Buttons::OK, Icon::Critical, "Path/File access error");
    else if (messages == Messages::Unlock && kind == platform::ErrorKind::FileAlreadyOpen)
        ctx.prompt.show("The file you are trying to unlock is already opened. Restart the application and try again" +
                            line,
                        Buttons::OK, Icon::Critical, "File Already Open");
    else if (messages == Messages::Unlock && kind == platform::ErrorKind::PathFileAccess)
        ctx.prompt.show("A Path/File access error occurred during unlocking one of the selected file" + line,
                        Buttons::OK, Icon::Critical, "Path/File access error");
    else {
        ReportError(ctx.windowName, platform::errorNumber(kind), description, procedure);
        ctx.prompt.show(Quoted(ShownName(path)) + " could not be " + (lock ? "locked: " : "unlocked: ") + reason + ".",
                        Buttons::OK, Icon::Critical);
    }
    return false;
}

// One file through one engine: prepared, then completed alone.
bool runOne(Prepare prepare, const std::string& path, const std::string& password, const EngineContext& ctx,
            bool locking) {
    std::vector<std::unique_ptr<platform::PinnedSource>> pins = pinSources({path});
    if (refusePinned(ctx, pins.front().get(), path, locking))
        return false;
    std::optional<Job> job = prepare(path, password, ctx);
    if (!job)
        return false;
    job->pin = std::move(pins.front());
    std::vector<Job> jobs;
    jobs.push_back(std::move(*job));
    completeJobs(jobs, ctx);
    return jobs.front().ok;
}

} // namespace engine

using namespace engine;

std::string MakeHeader(const std::string& salt, const std::string& password) {
    return kMarker + salt + DigestText(salt + password);
}

std::string MakeSalt() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto sinceSecond =
        std::chrono::duration_cast<std::chrono::microseconds>(now - std::chrono::system_clock::from_time_t(t)).count();
    const long seconds = local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %ld.%06ld", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900,
                  seconds, static_cast<long>(sinceSecond));
    return DigestText(text);
}

bool StartsWithLockedHeader(const std::string& path) {
    return IsLockedHeaderStart(platform::InputFile(path).readUpTo(kLockedHeadLength));
}

bool IsLockedHeaderStart(const std::string& start) {
    static_assert(kLockedHeadLength == kHeaderLength + 1);
    return startsWithHeader(start) && start.size() >= kHeaderLength + 1 && start[kHeaderLength] == '\r';
}

} // namespace core
