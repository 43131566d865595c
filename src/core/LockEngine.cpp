#include "core/LockEngine.h"

#include "core/Cipher.h"
#include "core/LockChecks.h"
#include "core/Register.h"
#include "core/Scrambler.h"
#include "core/StrongEngine.h"
#include "core/WorkerPool.h"
#include "diagnostics/ErrorReport.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
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
#include <deque>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace core {

namespace {

const char* const kMarker = "[Secret]";
constexpr std::size_t kHeaderLength = 24;
constexpr std::size_t kBodyLineLength = 70;
constexpr std::uint64_t kBlock = 32768;
// The unchanged tail is copied in pieces of this size, with a progress call after each.
constexpr std::uint64_t kCopyPiece = 8u << 20;
// Longest first line read when looking for a header.
constexpr std::size_t kMaxHeaderLine = 1u << 20;
// No small locked file comes near this size (content below 200000 bytes, a third longer).
constexpr std::uint64_t kMaxSmallLocked = 4u << 20;

const char* const kCrLf = "\r\n";

using platform::Buttons;
using platform::Icon;

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
        throw platform::SysError(62, platform::errorDescription(62), "the file is empty");
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

// Names the file the user chose and the name that stands in the way.
std::string targetTakenMessage(const std::string& path, const std::string& target, bool lock) {
    const std::string chosen = Quoted(ShownName(path)) + " can't be ";
    const std::string taken = Quoted(GetFileNamePart(target)) + " is taken.";
    return lock ? chosen + "locked: its locked name " + taken : chosen + "unlocked: the name " + taken;
}

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

// Whether anything (a file, a folder or a link) has the path, without following a link.
bool lexists(const std::string& path) {
    struct stat st {};
    return ::lstat(platform::toHost(path).c_str(), &st) == 0;
}

std::string lockTarget(const std::string& path, const char* extension) {
    return AddBackslash(GetFolderPart(path)) + TransformName(GetFileNamePart(path)) + extension;
}

std::string unlockTarget(const std::string& path) {
    return AddBackslash(GetFolderPart(path)) + TransformName(GetFileNamePart(RemoveExtension(path)));
}

// When the source is already gone and the result cannot be put in place, the temporary file is the
// only copy of the content: keep it under a free name beside the target instead of letting the
// writer remove it.
void keepTemporary(platform::AtomicWriter& writer, const std::string& target) {
    try {
        const std::string host = platform::toHost(target);
        for (int i = 1; i < 1000; ++i) {
            std::string name = host + ".recovered";
            if (i > 1)
                name.append(1, '-').append(std::to_string(i));
            if (::link(writer.temporaryHostPath().c_str(), name.c_str()) == 0) {
                platform::syncFolder(GetFolderPart(target));
                return;
            }
            if (errno != EEXIST)
                return;
        }
    } catch (...) {
    }
}

// The permission bits of a file (owner read and write when they cannot be read).
unsigned modeOf(const std::string& path) {
    struct stat st {};
    if (::stat(platform::toHost(path).c_str(), &st) != 0)
        return 0600;
    return st.st_mode & 07777;
}

// One file of a run: its result written under a temporary name, waiting to be put in place.
struct Job {
    std::string source; // the file the user chose (plain for a lock, locked for an unlock)
    std::string target; // where the result goes (the source itself for a layer locked or peeled in place)
    bool locking = true;
    const char* section = settings::kSectionTSL;
    std::unique_ptr<platform::AtomicWriter> writer;
    bool ok = true;
    bool committed = false; // the result is in place
    bool inPlace() const { return source == target; }
};

bool sameSection(const char* a, const char* b) {
    return std::strcmp(a, b) == 0;
}

// The register sections of locked files, one per format.
const char* const kFileSections[] = {settings::kSectionTSL, settings::kSectionTSW, settings::kSectionTSX};

// Puts the results of one folder in place, under the folder's lock: (for a lock) the register
// entries first, then each source removed and its result renamed over, the folder synced, the
// attributes and the ".hidden" list set once, (for an unlock) the register entries removed last.
// A failure before a source is removed undoes the file's part; one after says what was done.
// Messages are gathered and shown by the caller once the folder's lock is released, so that no box
// waits on the user while other processes wait on the lock.
void completeFolder(std::vector<Job*>& jobs, const EngineContext& ctx, std::vector<std::string>& failures) {
    const auto showFailure = [&failures](const EngineContext&, const std::string& text) { failures.push_back(text); };
    const std::string folder = GetFolderPart(jobs.front()->target);
    const std::string hostFolder = platform::hostpath::folderOf(platform::toHost(jobs.front()->target));
    const platform::FolderLock lock(hostFolder);
    const bool locking = jobs.front()->locking;

    // The checks of the prepare step again, now that no other run can change the folder: another
    // process may have locked or unlocked the same file, or taken the result's name, since then.
    // Such a file is left as that run left it, and nothing of it is recorded or removed here. Two
    // files of this run bound for one name ("a.TSL" and "a.TSW" both unlock to "a", a file given
    // twice) are one too many: the later one waits.
    std::vector<const std::string*> targets;
    for (Job* job : jobs) {
        if (!job->ok)
            continue;
        std::string refusal;
        const bool twice =
            std::any_of(targets.begin(), targets.end(), [job](const std::string* t) { return *t == job->target; });
        if (twice)
            refusal = targetTakenMessage(job->source, job->target, locking);
        else if (!lexists(job->source))
            refusal = Quoted(GetFileNamePart(locking || job->inPlace() ? job->source : job->target)) + " was not " +
                      (locking ? "locked" : "unlocked") + ": it is no longer there.";
        else if (!job->inPlace() && lexists(job->target))
            refusal = targetTakenMessage(job->source, job->target, locking);
        if (refusal.empty()) {
            targets.push_back(&job->target);
            continue;
        }
        job->ok = false;
        job->writer.reset();
        failures.push_back(refusal);
    }
    if (std::none_of(jobs.begin(), jobs.end(), [](const Job* job) { return job->ok; }))
        return;

    if (locking) {
        for (const char* section : kFileSections) {
            std::vector<std::pair<std::string, std::string>> entries;
            // Only the files this run is about to lock: one refused above is not recorded.
            for (Job* job : jobs)
                if (job->ok && sameSection(job->section, section))
                    entries.emplace_back(job->source, job->target);
            try {
                RecordLocks(ctx.registerPath, section, entries);
            } catch (const platform::SysError& e) {
                for (Job* job : jobs) {
                    if (!job->ok || !sameSection(job->section, section))
                        continue;
                    job->ok = false;
                    job->writer.reset(); // the temporary file goes; the source is untouched
                    showFailure(ctx, "'" + job->source +
                                         "' was not locked: it could not be recorded in the Security Vault: " +
                                         e.description() + ".");
                }
            }
        }
        step(ctx, "recorded");
    }

    // The sources go, all of them before any result is renamed: removing a file whose blocks were
    // just written can wait long on the disk (online discard), so many are removed side by side.
    std::vector<Job*> removing;
    std::vector<std::string> removeErrors(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Job* job = jobs[i];
        // A temporary file that another process took away is no longer a copy of anything.
        if (job->ok && !job->writer->stillLinked())
            removeErrors[i] = platform::errorDescription(75);
        else if (job->ok && !job->inPlace())
            removing.push_back(job);
    }
    {
        // Host paths are worked out here: the helpers only make system calls.
        std::vector<std::string> hosts;
        std::vector<std::size_t> at;
        for (Job* job : removing) {
            hosts.push_back(platform::toHost(job->source));
            at.push_back(static_cast<std::size_t>(std::find(jobs.begin(), jobs.end(), job) - jobs.begin()));
        }
        std::atomic<std::size_t> next{0};
        const auto work = [&] {
            for (std::size_t k = next++; k < removing.size(); k = next++) {
                // unlink needs no write permission on the file itself, only on its folder.
                if (::unlink(hosts[k].c_str()) != 0) {
                    const int err = errno;
                    removeErrors[at[k]] = err == EISDIR ? platform::errorDescription(75)
                                                        : platform::sysErrorFromErrno(err, hosts[k]).reason();
                }
            }
        };
        const std::size_t helpers = std::min<std::size_t>(removing.size() / 16, 7);
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < helpers; ++t)
            threads.emplace_back(work);
        work();
        for (auto& t : threads)
            t.join();
    }
    if (!removing.empty())
        step(ctx, "source removed");

    std::vector<std::pair<std::string, std::string>> undoEntries[std::size(kFileSections)];
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Job* job = jobs[i];
        if (!job->ok)
            continue;
        if (!removeErrors[i].empty()) {
            job->ok = false;
            job->writer.reset();
            if (locking)
                for (std::size_t s = 0; s < std::size(kFileSections); ++s)
                    if (sameSection(job->section, kFileSections[s]))
                        undoEntries[s].emplace_back(job->source, job->target);
            showFailure(ctx, Quoted(ShownName(job->source)) + " was not " + (locking ? "locked" : "unlocked") +
                                 ", and is unchanged: " + removeErrors[i] + ".");
            continue;
        }
        try {
            job->writer->commit(job->inPlace(), false);
            job->committed = true;
            step(ctx, "committed");
        } catch (const platform::SysError& e) {
            job->ok = false;
            if (!job->inPlace())
                keepTemporary(*job->writer, job->target);
            showFailure(ctx, "The result of '" + job->source + "' could not be put in place as '" + job->target +
                                 "' (it was kept beside it as '.recovered'): " + e.description() + ".");
        }
    }
    // Entries recorded for files that then could not be locked go again.
    for (std::size_t i = 0; i < std::size(kFileSections); ++i) {
        std::vector<std::string> restored;
        for (const auto& entry : undoEntries[i])
            restored.push_back(entry.first);
        try {
            RemoveAfterFileUnlocks(ctx.registerPath, kFileSections[i], restored);
        } catch (const platform::SysError&) {
        }
    }
    platform::syncFolder(folder);

    // Attributes and the ".hidden" list: a locked file is read-only and hidden; the name of a
    // locked file that an unlock removed leaves the list.
    std::vector<std::string> hide;
    std::vector<std::string> unhide;
    std::string attributeError;
    for (Job* job : jobs) {
        if (!job->committed)
            continue;
        const std::string host = platform::toHost(job->target);
        try {
            if (locking) {
                if (platform::setAttributesHost(host, platform::kAttrReadOnly | platform::kAttrHidden,
                                                platform::HiddenList::Leave))
                    hide.push_back(platform::hostpath::nameOf(host));
            } else {
                unhide.push_back(platform::hostpath::nameOf(platform::toHost(job->source)));
            }
        } catch (const platform::SysError& e) {
            job->ok = false;
            showFailure(ctx, "'" + job->source + "' was locked, but it could not be marked read-only and hidden: " +
                                 e.description() + ".");
        }
    }
    try {
        platform::updateHiddenEntriesHost(hostFolder, hide, unhide);
    } catch (const platform::SysError& e) {
        for (Job* job : jobs) {
            if (!job->committed || !job->ok)
                continue;
            job->ok = false;
            showFailure(ctx, Quoted(locking ? job->source : job->target) + " was " + (locking ? "locked" : "unlocked") +
                                 ", but the folder's list of hidden files could not be written: " + e.description() +
                                 ".");
        }
    }

    if (!locking) {
        for (const char* section : kFileSections) {
            std::vector<std::string> restored;
            for (Job* job : jobs)
                if (sameSection(job->section, section) && job->committed)
                    restored.push_back(job->target);
            try {
                RemoveAfterFileUnlocks(ctx.registerPath, section, restored);
            } catch (const platform::SysError& e) {
                for (Job* job : jobs) {
                    if (!sameSection(job->section, section) || !job->ok)
                        continue;
                    job->ok = false;
                    // Named as it is now: the file the user knows, no longer its locked name.
                    showFailure(ctx, Quoted(job->target) +
                                         " was unlocked, but it could not be removed from the Security Vault: " +
                                         e.description() + ".");
                }
            }
        }
        step(ctx, "recorded");
    }
}

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
    for (Job* job : pending) {
        job->writer->finish();
        if (single) {
            // Synced, then marked complete (and the mark synced): only now may the source go.
            job->writer->markComplete(true);
            continue;
        }
        const std::string host = platform::hostpath::folderOf(platform::toHost(job->target));
        struct stat st {};
        if (::stat(host.c_str(), &st) == 0 && std::find(devices.begin(), devices.end(), st.st_dev) == devices.end()) {
            devices.push_back(st.st_dev);
            filesystems.push_back(host);
        }
    }
    for (const std::string& fs : filesystems)
        platform::syncFilesystemHost(fs);
    if (!single) {
        // Each result is whole on disk: marked complete, and the marks synced together.
        bool marked = false;
        for (Job* job : pending)
            marked = job->writer->markComplete(false) || marked;
        if (marked)
            for (const std::string& fs : filesystems)
                platform::syncFilesystemHost(fs);
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
        completeFolder(group, ctx, failures);
        for (const std::string& text : failures)
            ctx.prompt.show(text, Buttons::OK, Icon::Critical);
        pending.swap(rest);
    }
    if (!single && !filesystems.empty())
        platform::syncFilesystemHost(filesystems.front());
    for (const std::string& fs : filesystems)
        if (fs != filesystems.front())
            platform::syncFilesystemHost(fs);
}

enum class Messages { Lock, Unlock, None };

// The engines' error handler: the numbers the engine knows get their boxes, the rest is reported.
// Every box ends by naming the file and the reason in the system's words.
bool handleError(const EngineContext& ctx, Messages messages, const char* procedure, int number,
                 const std::string& description, const std::string& path, bool lock, const std::string& reason) {
    const std::string why = Quoted(ShownName(path)) + ": " + reason + ".";
    const std::string line = std::string(kCrLf) + why;
    if (messages == Messages::Lock && number == 55)
        ctx.prompt.show("The file you are trying to lock is already open or in read-only mode." + line, Buttons::OK,
                        Icon::Critical, "File Already Open");
    else if (messages == Messages::Lock && number == 75)
        ctx.prompt.show("Path/File access error" + line, Buttons::OK, Icon::Critical, "Path/File access error");
    else if (messages == Messages::Unlock && number == 55)
        ctx.prompt.show("The file you are trying to unlock is already opened. Restart the application and try again" +
                            line,
                        Buttons::OK, Icon::Critical, "File Already Open");
    else if (messages == Messages::Unlock && number == 75)
        ctx.prompt.show("A Path/File access error occurred during unlocking one of the selected file" + line,
                        Buttons::OK, Icon::Critical, "Path/File access error");
    else {
        ReportError(ctx.windowName, number, description, procedure);
        ctx.prompt.show(Quoted(ShownName(path)) + " could not be " + (lock ? "locked: " : "unlocked: ") + reason + ".",
                        Buttons::OK, Icon::Critical);
    }
    return false;
}

template <class Body>
bool guarded(const EngineContext& ctx, Messages messages, const char* procedure, const std::string& path, bool lock,
             Body&& body) {
    try {
        return body();
    } catch (const platform::SysError& e) {
        return handleError(ctx, messages, procedure, e.number, e.description(), path, lock, e.reason());
    } catch (const std::bad_alloc&) {
        return handleError(ctx, messages, procedure, 7, "Out of memory", path, lock, "out of memory");
    } catch (const std::exception& e) {
        return handleError(ctx, messages, procedure, 5, e.what(), path, lock, e.what());
    }
}

// Each prepare routine makes its checks and writes the result under a temporary name; it returns
// no job after a refusal (its message shown). Nothing is removed or renamed yet. A small file's
// routine comes in two halves: the checks, with their messages, on the caller's thread and in file
// order; the cipher and the write, which a batch runs on every core.

// What the checks of a small file's lock found: all the cipher and the write need.
struct SmallLock {
    std::string path;
    std::string target;
    std::string hostTarget;
    std::string header;
    std::string content;
    unsigned mode = 0;
};

std::optional<SmallLock> checkEncryptSmall(const std::string& path, const std::string& password,
                                           const EngineContext& ctx) {
    if (!FileExists(path) || refuseUnrecordable(ctx, path) || refuse(ctx, RefuseFileLock(ctx.registerPath, path)))
        return std::nullopt;
    SmallLock plan;
    plan.content = platform::readAll(path);
    if (plan.content.empty()) {
        ctx.prompt.show("we can not lock the file of size 0 byte", Buttons::OK, Icon::Information, "Lock Error");
        return std::nullopt;
    }
    plan.header = MakeHeader(ctx.salt.empty() ? MakeSalt() : ctx.salt, password);
    // A locked small file is locked again in place; anything else, a plain file that merely carries
    // the ".TSL" name included, goes to its transformed name.
    const bool relock = platform::upperText(GetExtension(path)) == "TSL" && startsWithHeaderLine(plan.content);
    plan.target = relock ? path : lockTarget(path, ".TSL");
    if (plan.target != path && targetTaken(plan.target)) {
        showTargetTaken(ctx, path, plan.target, true);
        return std::nullopt;
    }
    plan.path = path;
    plan.hostTarget = platform::toHost(plan.target);
    // The result keeps the source's permission bits, less write (it is read-only).
    plan.mode = modeOf(path) & ~0222u;
    return plan;
}

// Enciphers and writes a checked small file; any thread. `ctx` (for the progress) may be null.
Job writeEncryptSmall(SmallLock plan, const EngineContext* ctx) {
    Cipher cipher;
    cipher.setKeyString(plan.header);
    cipher.setText(std::move(plan.content));
    cipher.DoXor();
    cipher.Stretch();
    const std::string body = cipher.takeText();

    std::string locked;
    locked.reserve(kHeaderLength + 2 + body.size() + (body.size() / kBodyLineLength + 1) * 2);
    locked += plan.header;
    locked += kCrLf;
    for (std::size_t i = 0; i < body.size(); i += kBodyLineLength) {
        locked.append(body, i, kBodyLineLength);
        locked += kCrLf;
    }

    Job job{plan.path, plan.target, true, settings::kSectionTSL,
            std::make_unique<platform::AtomicWriter>(platform::AtomicWriter::HostPath{}, plan.hostTarget)};
    job.writer->setPermissions(plan.mode);
    constexpr std::size_t kPiece = 64 * 1024;
    for (std::size_t done = 0; done < locked.size();) {
        const std::size_t n = std::min(kPiece, locked.size() - done);
        job.writer->write(locked.data() + done, n);
        done += n;
        if (ctx)
            progress(*ctx, done, locked.size());
    }
    return job;
}

std::optional<Job> prepareEncryptSmall(const std::string& path, const std::string& password, const EngineContext& ctx) {
    std::optional<SmallLock> plan = checkEncryptSmall(path, password, ctx);
    if (!plan)
        return std::nullopt;
    return writeEncryptSmall(std::move(*plan), &ctx);
}

// What the checks of a small file's unlock found: the header that keys it and its body.
struct SmallUnlock {
    std::string path;
    std::string header;
    std::string body;
};

// A locked file's attributes, permissions and ".hidden" entry are never touched before its
// result is in place: a wrong password, a full disk or a damaged file leaves it protected.
std::optional<SmallUnlock> checkDecryptSmall(const std::string& path, const std::string& password,
                                             const EngineContext& ctx) {
    if (refuse(ctx, RefuseFileKind(path)))
        return std::nullopt;
    // A small locked file is read whole at once (anything far larger is no small locked file, and
    // only its first line is read).
    std::string file;
    std::string header;
    if (platform::fileLength(path) <= kMaxSmallLocked) {
        file = platform::readAll(path);
        if (file.empty())
            throw platform::SysError(62, platform::errorDescription(62), "the file is empty");
        header = file.substr(0, std::min(file.find_first_of("\r\n"), kMaxHeaderLine));
    } else {
        header = readFirstLine(path);
    }
    if (!passwordMatches(header, password)) {
        showWrongPassword(ctx, path);
        return std::nullopt;
    }

    // The body: every further line, joined without line ends.
    if (file.empty())
        file = platform::readAll(path);
    std::string body(file.size() - std::min(header.size(), file.size()), '\0');
    const auto bodyEnd = std::remove_copy_if(file.begin() + static_cast<std::ptrdiff_t>(file.size() - body.size()),
                                             file.end(), body.begin(), [](char c) { return c == '\r' || c == '\n'; });
    body.erase(bodyEnd, body.end());

    // A body that cannot be decoded would give no content back: keep the locked file.
    if (!Cipher::IsStretched(body)) {
        ctx.prompt.show("The locked file '" + ShownName(path) + "' is damaged and cannot be unlocked.", Buttons::OK,
                        Icon::Critical);
        return std::nullopt;
    }
    return SmallUnlock{path, std::move(header), std::move(body)};
}

// The content of a checked small locked file; any thread.
std::string decipherSmall(SmallUnlock& plan) {
    Cipher cipher;
    cipher.setKeyString(plan.header);
    cipher.setText(std::move(plan.body));
    cipher.Shrink();
    cipher.DoXor();
    return cipher.takeText();
}

// Writes a small file's content back beside it; on the caller's thread (its refusal is a message).
std::optional<Job> writeDecryptSmall(const std::string& path, const std::string& content, const EngineContext& ctx) {
    // A content that is itself a locked file (a whole header line) stays locked in place.
    const std::string target = startsWithHeaderLine(content) ? path : unlockTarget(path);
    if (target != path && targetTaken(target)) {
        showTargetTaken(ctx, path, target, false);
        return std::nullopt;
    }

    Job job{path, target, false, settings::kSectionTSL, std::make_unique<platform::AtomicWriter>(target)};
    // The owner gets write back; the other bits stay as they were.
    job.writer->setPermissions(modeOf(path) | 0200u);
    job.writer->write(content);
    progress(ctx, content.size(), content.size());
    return job;
}

std::optional<Job> prepareDecryptSmall(const std::string& path, const std::string& password, const EngineContext& ctx) {
    std::optional<SmallUnlock> plan = checkDecryptSmall(path, password, ctx);
    if (!plan)
        return std::nullopt;
    return writeDecryptSmall(path, decipherSmall(*plan), ctx);
}

// The n content bytes of a large locked file, from `in` to `writer` (either direction, RC4 being
// its own inverse): only the head, the length modulo 32768, is enciphered; the rest is copied as it
// is, the disk writing each piece while the next is copied.
void copyLargeContent(platform::InputFile& in, platform::AtomicWriter& writer, std::uint64_t n,
                      const EngineContext& ctx) {
    std::string head(static_cast<std::size_t>(n % kBlock), '\0');
    in.readExact(head.data(), head.size());
    writer.write(RC4Text(head, kFixedKey));
    std::uint64_t done = head.size();
    progress(ctx, done, n);
    while (done < n) {
        const std::uint64_t piece = std::min(kCopyPiece, n - done);
        writer.copyFrom(in, piece);
        writer.startWriteback();
        done += piece;
        progress(ctx, done, n);
    }
}

std::optional<Job> prepareEncryptLarge(const std::string& path, const std::string& password, const EngineContext& ctx) {
    if (!FileExists(path) || refuseUnrecordable(ctx, path) || refuse(ctx, RefuseFileLock(ctx.registerPath, path)))
        return std::nullopt;
    const std::string header = MakeHeader(ctx.salt.empty() ? MakeSalt() : ctx.salt, password);
    // A large locked file is not locked again; a plain file that only carries the name is.
    if (platform::upperText(GetExtension(path)) == "TSW" && StartsWithLockedHeader(path)) {
        ctx.prompt.show(std::string("The file you are trying to lock is already locked.") + kCrLf +
                            "Multiple locking is supported in small files only",
                        Buttons::OK, Icon::None);
        return std::nullopt;
    }
    const std::string target = lockTarget(path, ".TSW");
    if (targetTaken(target)) {
        showTargetTaken(ctx, path, target, true);
        return std::nullopt;
    }

    platform::InputFile in(path);
    const std::uint64_t n = in.size();
    if (n == 0)
        return std::nullopt;

    Job job{path, target, true, settings::kSectionTSW, std::make_unique<platform::AtomicWriter>(target)};
    job.writer->setPermissions(modeOf(path) & ~0222u);
    job.writer->write(header + "\r");
    copyLargeContent(in, *job.writer, n, ctx);
    return job;
}

std::optional<Job> prepareDecryptLarge(const std::string& path, const std::string& password, const EngineContext& ctx) {
    if (refuse(ctx, RefuseFileKind(path)))
        return std::nullopt;
    const std::string header = readFirstLine(path);
    if (!passwordMatches(header, password)) {
        showWrongPassword(ctx, path);
        return std::nullopt;
    }
    const std::uint64_t headerLength = header.size() + 1; // the line and its carriage return

    const std::string target = unlockTarget(path);
    if (target != path && targetTaken(target)) {
        showTargetTaken(ctx, path, target, false);
        return std::nullopt;
    }

    platform::InputFile in(path);
    if (in.size() < headerLength)
        throw platform::SysError(62, platform::errorDescription(62));
    const std::uint64_t n = in.size() - headerLength;

    Job job{path, target, false, settings::kSectionTSW, std::make_unique<platform::AtomicWriter>(target)};
    job.writer->setPermissions(modeOf(path) | 0200u);
    std::string skip(static_cast<std::size_t>(headerLength), '\0');
    in.readExact(skip.data(), skip.size());
    copyLargeContent(in, *job.writer, n, ctx);
    return job;
}

using Prepare = std::optional<Job> (*)(const std::string&, const std::string&, const EngineContext&);

// One file through one engine: prepared, then completed alone.
bool runOne(Prepare prepare, const std::string& path, const std::string& password, const EngineContext& ctx) {
    std::optional<Job> job = prepare(path, password, ctx);
    if (!job)
        return false;
    std::vector<Job> jobs;
    jobs.push_back(std::move(*job));
    completeJobs(jobs, ctx);
    return jobs.front().ok;
}

} // namespace

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

bool Encrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::Lock, "Encrypt", path, true,
                   [&] { return runOne(prepareEncryptSmall, path, password, ctx); });
}

bool Decrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::Unlock, "Decrypt", path, false,
                   [&] { return runOne(prepareDecryptSmall, path, password, ctx); });
}

bool Decrypt1(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::Unlock, "Decrypt1", path, false,
                   [&] { return runOne(prepareDecryptSmall, path, password, ctx); });
}

bool BigEncrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::None, "BigEncription", path, true,
                   [&] { return runOne(prepareEncryptLarge, path, password, ctx); });
}

bool BigDecrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::None, "BigDecrypt", path, false,
                   [&] { return runOne(prepareDecryptLarge, path, password, ctx); });
}

bool BigDecrypt1(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::None, "BigDecrypt1", path, false,
                   [&] { return runOne(prepareDecryptLarge, path, password, ctx); });
}

namespace {

// Strong locked files are told by their content, never by their name.
bool startsStrong(const std::string& path) {
    try {
        return StartsWithStrongHeader(path);
    } catch (const platform::SysError&) {
        return false;
    }
}

std::optional<Job> prepareStrong(StrongRun& run, const std::string& path, bool locking) {
    std::optional<StrongResult> result = locking ? run.prepareLock(path) : run.prepareUnlock(path);
    if (!result)
        return std::nullopt;
    return Job{path, result->target, locking, settings::kSectionTSX, std::move(result->writer)};
}

// A batch: each file prepared by its engine (by size for a lock, by extension for an unlock), the
// results completed together in groups small enough to keep their files open.
std::vector<bool> runBatch(const std::vector<std::string>& paths, const std::string& password, const EngineContext& ctx,
                           bool locking, bool stopAtSmallFailure) {
    // A group's results stay open until they are in place: keep well within the open-file limit.
    rlimit files{};
    std::size_t groupFiles = 256;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        groupFiles =
            files.rlim_cur < 96 ? 16 : static_cast<std::size_t>(std::min<rlim_t>((files.rlim_cur - 64) / 2, 1024));
    constexpr std::uint64_t kGroupBytes = 512u << 20;
    std::vector<bool> results(paths.size(), false);
    std::vector<Job> group;
    std::vector<std::size_t> indexes;
    std::uint64_t groupBytes = 0;
    StrongRun strongRun(password, ctx); // strong locks: one key per run (lock), per salt (unlock)
    const auto flushGroup = [&] {
        const bool done = guarded(ctx, locking ? Messages::Lock : Messages::Unlock, locking ? "Encrypt" : "Decrypt",
                                  group.front().source, locking, [&] {
                                      completeJobs(group, ctx);
                                      return true;
                                  });
        for (std::size_t i = 0; i < group.size(); ++i)
            results[indexes[i]] = done && group[i].ok;
        group.clear();
        indexes.clear();
        groupBytes = 0;
    };
    const auto addToGroup = [&](Job job, std::size_t index) {
        groupBytes += platform::fileLength(job.source);
        group.push_back(std::move(job));
        indexes.push_back(index);
        if (group.size() >= groupFiles || groupBytes >= kGroupBytes)
            flushGroup();
    };

    // Small files: checked here in order, enciphered on every core, their results taken back in
    // order. At most two per worker are in flight, so memory stays bounded.
    struct InFlight {
        std::size_t index = 0;
        std::string path;
        std::future<Job> locked;        // a lock: the job, written
        std::future<std::string> plain; // an unlock: the content, to be written here
    };
    std::unique_ptr<WorkerPool> pool;
    std::deque<InFlight> inFlight;
    bool stopped = false;
    const auto takeOldest = [&] {
        InFlight f = std::move(inFlight.front());
        inFlight.pop_front();
        std::optional<Job> job;
        guarded(ctx, locking ? Messages::Lock : Messages::Unlock, locking ? "Encrypt" : "Decrypt", f.path, locking,
                [&] {
                    job = locking ? std::optional<Job>(f.locked.get()) : writeDecryptSmall(f.path, f.plain.get(), ctx);
                    return true;
                });
        if (job)
            addToGroup(std::move(*job), f.index);
        else if (stopAtSmallFailure)
            stopped = true;
    };
    const auto takeAll = [&] {
        while (!inFlight.empty() && !stopped)
            takeOldest();
    };

    for (std::size_t i = 0; i < paths.size() && !stopped; ++i) {
        const std::string& path = paths[i];
        bool large = false;
        const char* procedure = "Encrypt";
        Messages messages = Messages::Lock;
        Prepare prepare = nullptr;
        if (locking) {
            large = FileExists(path) && platform::fileLength(path) >= kLargeFileThreshold;
            prepare = large ? prepareEncryptLarge : prepareEncryptSmall;
        } else {
            large = platform::upperText(GetExtension(path)) == "TSW";
            prepare = large ? prepareDecryptLarge : prepareDecryptSmall;
        }
        const bool strong = locking ? ctx.strongLocks : startsStrong(path);
        if (strong) {
            large = false;
            procedure = locking ? "StrongEncrypt" : "StrongDecrypt";
            messages = locking ? Messages::Lock : Messages::Unlock;
        } else if (large) {
            messages = Messages::None;
            procedure = locking ? "BigEncription" : "BigDecrypt";
        } else if (!locking) {
            messages = Messages::Unlock;
            procedure = "Decrypt";
        }
        if (large || strong) {
            // A large file streams through one buffer, a strong one through its own run; the small
            // ones before it are finished first, so messages keep the order of the files.
            takeAll();
            if (stopped)
                break;
        }
        if (ctx.nextFile)
            ctx.nextFile(i);
        if (!large && !strong) {
            if (!pool)
                pool = std::make_unique<WorkerPool>();
            InFlight f;
            f.index = i;
            f.path = path;
            const bool checked = guarded(ctx, messages, procedure, path, locking, [&] {
                if (locking) {
                    std::optional<SmallLock> plan = checkEncryptSmall(path, password, ctx);
                    if (!plan)
                        return false;
                    f.locked = pool->submit(
                        [plan = std::move(*plan)]() mutable { return writeEncryptSmall(std::move(plan), nullptr); });
                } else {
                    std::optional<SmallUnlock> plan = checkDecryptSmall(path, password, ctx);
                    if (!plan)
                        return false;
                    f.plain = pool->submit([plan = std::move(*plan)]() mutable { return decipherSmall(plan); });
                }
                return true;
            });
            if (!checked) {
                if (stopAtSmallFailure) {
                    takeAll(); // what was prepared before it is completed
                    break;
                }
                continue;
            }
            inFlight.push_back(std::move(f));
            while (inFlight.size() > 2 * pool->size() && !stopped)
                takeOldest();
            continue;
        }
        std::optional<Job> job;
        guarded(ctx, messages, procedure, path, locking, [&] {
            job = strong ? prepareStrong(strongRun, path, locking) : prepare(path, password, ctx);
            return true;
        });
        if (!job) {
            if (stopAtSmallFailure && !large)
                break;
            continue;
        }
        addToGroup(std::move(*job), i);
    }
    takeAll();
    // Results taken no more (a batch stopped at a failure) are dropped with their temporary files.
    while (!inFlight.empty()) {
        try {
            if (locking)
                inFlight.front().locked.get();
            else
                inFlight.front().plain.get();
        } catch (const std::exception&) {
        }
        inFlight.pop_front();
    }
    if (!group.empty())
        flushGroup();
    return results;
}

} // namespace

std::vector<bool> LockFilesTogether(const std::vector<std::string>& paths, const std::string& password,
                                    const EngineContext& ctx) {
    return runBatch(paths, password, ctx, true, false);
}

std::vector<bool> UnlockFilesTogether(const std::vector<std::string>& paths, const std::string& password,
                                      const EngineContext& ctx, bool stopAtSmallFailure) {
    return runBatch(paths, password, ctx, false, stopAtSmallFailure);
}

std::string LockTargetPath(const std::string& path, bool small) {
    if (!small)
        return lockTarget(path, ".TSW");
    if (platform::upperText(GetExtension(path)) == "TSL" &&
        startsWithHeaderLine(platform::InputFile(path).readUpTo(kHeaderLength + 2)))
        return path;
    return lockTarget(path, ".TSL");
}

bool StartsWithLockedHeader(const std::string& path) {
    const std::string start = platform::InputFile(path).readUpTo(kHeaderLength + 1);
    return startsWithHeader(start) && start.size() == kHeaderLength + 1 && start[kHeaderLength] == '\r';
}

LockInfo InspectFile(const std::string& path) {
    platform::InputFile in(path);
    const std::uint64_t size = in.size();
    LockInfo info;
    info.contentSize = size;

    char head[kHeaderLength + 2] = {};
    const std::size_t got = in.read(head, sizeof head);
    const std::string start(head, got);
    if (!startsWithHeader(start) || start.size() < kHeaderLength + 1 || start[kHeaderLength] != '\r')
        return info;

    if (startsWithHeaderLine(start) && size <= kMaxSmallLocked) {
        // Small: after the header line, lines of alphabet characters only.
        const std::string file = platform::readAll(path);
        std::uint64_t bodyLength = 0;
        bool wellFormed = true;
        std::size_t i = kHeaderLength + 2;
        while (i < file.size() && wellFormed) {
            auto end = file.find(kCrLf, i);
            if (end == std::string::npos)
                end = file.size();
            wellFormed = end > i && std::all_of(file.begin() + static_cast<std::ptrdiff_t>(i),
                                                file.begin() + static_cast<std::ptrdiff_t>(end), isAlphabet);
            bodyLength += end - i;
            i = end + 2;
        }
        if (wellFormed && bodyLength > 0 && bodyLength % 4 != 1) {
            info.kind = LockInfo::Small;
            info.contentSize = (bodyLength - 1) - (bodyLength - 1) / 4;
            return info;
        }
    }
    // Large: the header and a lone carriage return. The first enciphered byte may be a line feed,
    // which only the ".TSW" name tells apart from a small file.
    if (!startsWithHeaderLine(start) || platform::upperText(GetExtension(path)) == "TSW") {
        info.kind = LockInfo::Large;
        info.contentSize = size - (kHeaderLength + 1);
    }
    return info;
}

} // namespace core
