#include "locking/FileCommands.h"

#include "core/LockChecks.h"
#include "core/LockEngine.h"
#include "core/PasswordRules.h"
#include "core/Register.h"
#include "core/StrongEngine.h"
#include "diagnostics/ErrorReport.h"
#include "locking/Text.h"
#include "platform/Attributes.h"
#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/Opener.h"
#include "platform/Prompt.h"
#include "platform/ProtectedPaths.h"
#include "platform/SysError.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <cstring>
#include <memory>

namespace locking {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

namespace {

constexpr int kStepsPerFile = 100;

// The engine's byte progress folded into the run's bar, for a batch: `items` maps the batch's
// files to the checked items, whose place in the bar the progress takes.
core::EngineContext batchContext(platform::Prompt& prompt, const FileBatch& batch, const RunHooks& hooks,
                                 const std::vector<std::size_t>& items,
                                 std::shared_ptr<core::RegisterSnapshot> snapshot = {}) {
    core::EngineContext ctx{.prompt = prompt, .registerPath = batch.registerPath, .windowName = batch.windowName};
    ctx.strongLocks = batch.strongLocks;
    ctx.registerSnapshot = std::move(snapshot);
    const int total = static_cast<int>(batch.checked.size()) * kStepsPerFile;
    auto current = std::make_shared<std::size_t>(0);
    ctx.nextFile = [current, &items](std::size_t file) { *current = items[file]; };
    ctx.progress = [&prompt, &hooks, current, total](std::uint64_t done, std::uint64_t size) {
        if (hooks.progress) {
            const int part = size == 0 ? kStepsPerFile : static_cast<int>(done * kStepsPerFile / size);
            hooks.progress(static_cast<int>(*current) * kStepsPerFile + part, total);
        }
        prompt.processEvents();
    };
    return ctx;
}

void stepDone(const FileBatch& batch, const RunHooks& hooks, std::size_t index) {
    if (hooks.progress)
        hooks.progress(static_cast<int>(index + 1) * kStepsPerFile,
                       static_cast<int>(batch.checked.size()) * kStepsPerFile);
}

// Unloads the progress window, restores the pointer and says how the run ended; a run that reached
// its end with nothing checked tells so.
RunResult endRun(platform::Prompt& prompt, const RunHooks& hooks, RunResult result, RunEnd end) {
    if (hooks.closeProgress)
        hooks.closeProgress();
    prompt.setBusy(false);
    result.end = end;
    if (end == RunEnd::Completed && !result.anyChecked)
        prompt.show("No file is checked", Buttons::OK, Icon::Exclamation);
    return result;
}

// The handler of a run: the access error has its own words and the file and the system's reason
// after them; anything else goes to the reporter.
void reportRunError(platform::Prompt& prompt, const FileBatch& batch, const platform::SysError& e,
                    const std::string& path, const char* verb, const char* procedure) {
    if (e.number == 75) {
        std::string text = std::string("The file you are trying to ") + verb + " is either on a Write Protected Media" +
                           kCrLf + "or the file does'nt exists anymore";
        if (!path.empty())
            text += kCrLf + core::Quoted(core::ShownName(path)) + ": " + e.reason() + ".";
        prompt.show(text, Buttons::OK, Icon::Critical, "Path/File Access Error");
    } else {
        ReportError(batch.windowName, e.number, e.description(), procedure);
    }
}

// A name holding "\" cannot be addressed: the Windows form would read it as a folder separator.
bool refuseBackslashName(platform::Prompt& prompt, const FileItem& item, const char* verb) {
    if (item.key.find('\\') == std::string::npos)
        return false;
    prompt.show(core::Quoted(item.text) + " can't be " + verb + ": its name holds a \"\\\", which Tessaly reads as a " +
                    "folder separator. Rename it and try again.",
                Buttons::OK, Icon::Exclamation);
    return true;
}

// Shows the refusal, if any; true when the item is refused.
bool refused(platform::Prompt& prompt, const std::string& refusal) {
    if (refusal.empty())
        return false;
    prompt.show(refusal, Buttons::OK, Icon::Exclamation);
    return true;
}

} // namespace

bool StrongLocksChosen() {
    return GetLong(HKEY_CURRENT_USER, settings::kAppKey, settings::kStrongLocks, 0) != 0;
}

bool HasSecretMarker(const std::string& path) {
    const std::string start = platform::InputFile(path).readUpTo(8);
    return start == kSecretMarker || core::strong::HasMagic(start);
}

RunResult LockFiles(const FileBatch& batch, platform::Prompt& prompt, const RunHooks& hooks) {
    RunResult result;
    if (lowerText(AddBackslash(batch.folder)) == "c:\\") {
        prompt.show("Sorry you cannot lock any file in the Boot Drive root folder");
        return result;
    }
    if (batch.password != batch.confirmation) {
        prompt.show("The two passwords are not the same!", Buttons::OK, Icon::Exclamation, "Tessaly");
        return result;
    }
    if (core::IsMissingPassword(batch.password)) {
        prompt.show(core::kTypePasswordMessage, Buttons::OK, Icon::Exclamation);
        return result;
    }

    prompt.setBusy(true);
    if (hooks.showProgress)
        hooks.showProgress("Lock in Progress. Please Wait...");
    const platform::ProtectionSnapshot protectedPlaces; // read once for the whole run
    std::string path;
    try {
        const std::string ownExecutable = upperText(batch.ownExecutable);
        // One read of the register serves the checks of every file, here and in the engine.
        const auto snapshot = std::make_shared<core::RegisterSnapshot>(batch.registerPath);
        // The checks run item by item; the files that pass are then locked together (one flush
        // for all of them), and a file that could not be locked gets its attributes back.
        std::vector<std::string> toLock;
        std::vector<std::size_t> lockItems;
        std::vector<unsigned> attributesBefore;
        for (std::size_t i = 0; i < batch.checked.size(); ++i) {
            const FileItem& item = batch.checked[i];
            result.anyChecked = true;
            path = AddBackslash(batch.folder) + item.key;
            if (refuseBackslashName(prompt, item, "locked") || refused(prompt, core::RefuseFileLock(*snapshot, path))) {
                // refused before anything was touched
            } else if (!ownExecutable.empty() && upperText(path) == ownExecutable) {
                prompt.show(std::string("An error occurred during locking process ") + kCrLf +
                                " Tessaly.exe can not be locked.",
                            Buttons::OK, Icon::Information);
            } else if ((platform::getAttributes(path) & ~platform::kAttrDirectory) == platform::kAttrSystem) {
                prompt.show("Sorry you cannot lock a system file as this may crash your system");
            } else {
                const unsigned before = platform::getAttributes(path) & ~platform::kAttrDirectory;
                if (before != platform::kAttrNormal)
                    platform::setAttributes(path, platform::kAttrNormal);
                // A strong locked file holds any content, an empty one too.
                if (platform::fileLength(path) == 0 && !batch.strongLocks) {
                    prompt.show("we can not lock the file of size 0 byte", Buttons::OK, Icon::Information,
                                "Lock Error");
                    if (before != platform::kAttrNormal)
                        platform::setAttributes(path, before);
                } else {
                    toLock.push_back(path);
                    lockItems.push_back(i);
                    attributesBefore.push_back(before);
                    continue;
                }
            }
            stepDone(batch, hooks, i);
            prompt.processEvents();
        }
        // The engine names each file it could not lock and why; the closing summary is for a failure
        // that had no message of its own.
        platform::CountingPrompt engineBoxes(prompt);
        const std::vector<bool> done = core::LockFilesTogether(
            toLock, batch.password, batchContext(engineBoxes, batch, hooks, lockItems, snapshot));
        int failures = 0;
        for (std::size_t k = 0; k < toLock.size(); ++k) {
            stepDone(batch, hooks, lockItems[k]);
            if (done[k]) {
                ++result.done;
                continue;
            }
            result.failed = true;
            ++failures;
            if (attributesBefore[k] != platform::kAttrNormal && FileExists(toLock[k]))
                platform::setAttributes(toLock[k], attributesBefore[k]);
        }
        if (failures > engineBoxes.shown())
            prompt.show(std::string("All files have not been locked.") + kCrLf + "An error occurred while doing so." +
                        kCrLf + "Make sure that the file is not in use.");
        if (hooks.rebuildList)
            hooks.rebuildList();
    } catch (const platform::SysError& e) {
        reportRunError(prompt, batch, e, path, "lock", "cmdLock_click");
        return endRun(prompt, hooks, result, RunEnd::Stopped);
    }
    return endRun(prompt, hooks, result, RunEnd::Completed);
}

RunResult UnlockFiles(const FileBatch& batch, platform::Prompt& prompt, const RunHooks& hooks) {
    RunResult result;
    prompt.setBusy(true);
    if (hooks.showProgress)
        hooks.showProgress("Unlock in Progress. Please Wait...");
    std::string path;
    try {
        // Locked files are unlocked together (one flush for all of them), in runs between the
        // items that get a message of their own, so that messages keep the items' order. A small
        // file that fails (a wrong password above all) ends the whole run there.
        std::vector<std::string> pending;
        std::vector<std::size_t> pendingItems;
        // Strong locked files of one lock run share their salt: one key for the whole command.
        const auto strongKeys = std::make_shared<core::strong::KeyCache>(batch.password);
        const auto unlockPending = [&]() -> bool {
            if (pending.empty())
                return true;
            core::EngineContext ctx = batchContext(prompt, batch, hooks, pendingItems);
            ctx.strongKeys = strongKeys;
            const std::vector<bool> done = core::UnlockFilesTogether(pending, batch.password, ctx, true);
            bool goOn = true;
            for (std::size_t k = 0; k < pending.size() && goOn; ++k) {
                if (done[k])
                    ++result.done;
                if (!done[k]) {
                    result.failed = true;
                    if (upperText(rightText(pending[k], 3)) == "TSW")
                        prompt.show("An Error occurred during unlock process", Buttons::OK, Icon::Critical, "Error");
                    else
                        goOn = false;
                }
                if (goOn)
                    stepDone(batch, hooks, pendingItems[k]);
            }
            pending.clear();
            pendingItems.clear();
            return goOn;
        };
        for (std::size_t i = 0; i < batch.checked.size(); ++i) {
            const FileItem& item = batch.checked[i];
            result.anyChecked = true;
            path = AddBackslash(batch.folder) + item.key;
            if (!FileExists(path)) {
                stepDone(batch, hooks, i);
                continue;
            }
            if (refuseBackslashName(prompt, item, "unlocked") || refused(prompt, core::RefuseFileKind(path))) {
                stepDone(batch, hooks, i);
                continue;
            }
            if (!HasSecretMarker(path)) {
                if (!unlockPending())
                    return endRun(prompt, hooks, result, RunEnd::Stopped);
                prompt.show(AddBackslash(batch.folder) + item.text + " is already unlocked.");
                stepDone(batch, hooks, i);
                continue;
            }
            pending.push_back(path);
            pendingItems.push_back(i);
        }
        if (!unlockPending())
            return endRun(prompt, hooks, result, RunEnd::Stopped);
        if (hooks.rebuildList)
            hooks.rebuildList();
    } catch (const platform::SysError& e) {
        reportRunError(prompt, batch, e, path, "unlock", "cmdUnlock_click");
        return endRun(prompt, hooks, result, RunEnd::Stopped);
    }
    return endRun(prompt, hooks, result, RunEnd::Completed);
}

bool UnlockAndOpenFile(const std::string& folder, const FileItem& item, const std::string& typedPassword,
                       const std::string& registerPath, platform::Prompt& prompt, const RunHooks& hooks,
                       const AskPassword& askPassword) {
    const std::string lockedPath = AddBackslash(folder) + item.key;
    const std::string openPath = AddBackslash(folder) + item.text;
    try {
        const std::string extension = upperText(GetExtension(item.key));
        // A strong locked file is known by its content; the name it opens under is the one the
        // register recorded for it (its own name tells nothing).
        bool strong = false;
        try {
            strong = core::StartsWithStrongHeader(lockedPath);
        } catch (const platform::SysError&) {
        }
        if (extension == "TSL" || extension == "TSW" || strong) {
            const std::string shownPath = core::ShownPath(registerPath, AddBackslash(folder) + item.text);
            const Answer answer =
                prompt.show("The file '" + shownPath +
                                "' you are trying to open is locked. In order to view it you need to unlock it. Do "
                                "you want to unlock this file and open it ?",
                            Buttons::YesNo, Icon::Question, "Unlock & Open Confirmation");
            if (answer != Answer::Yes)
                return false;
            std::string password = typedPassword;
            if (password.empty() && askPassword) {
                const std::optional<std::string> asked = askPassword(shownPath);
                if (!asked)
                    return false;
                password = *asked;
            }
            core::EngineContext ctx{.prompt = prompt, .registerPath = registerPath, .windowName = "frmMain"};
            ctx.progress = [&prompt, &hooks](std::uint64_t done, std::uint64_t total) {
                if (hooks.progress)
                    hooks.progress(total == 0 ? 100 : static_cast<int>(done * 100 / total), 100);
                prompt.processEvents();
            };
            prompt.setBusy(true);
            std::string restoredPath = openPath;
            bool done = false;
            if (strong) {
                restoredPath.clear();
                for (const auto& entry : core::QuietRegisterEntries(registerPath, core::RegisterKind::StrongFile))
                    if (entry.key == lockedPath)
                        restoredPath = entry.text;
                done = core::UnlockFilesTogether({lockedPath}, password, ctx).front();
            } else {
                done = extension == "TSL" ? core::Decrypt(lockedPath, password, ctx)
                                          : core::BigDecrypt(lockedPath, password, ctx);
            }
            prompt.setBusy(false);
            if (done && !restoredPath.empty() && FileExists(restoredPath))
                platform::openDefault(restoredPath);
        } else {
            platform::openDefault(openPath);
        }
    } catch (const platform::SysError& e) {
        prompt.setBusy(false);
        ReportError("frmMain", e.number, e.description(), "lvwFiles_DblClick");
    }
    return true;
}

std::vector<FileItem> FolderFileItems(const std::string& folder) {
    std::vector<FileItem> items;
    // Strong locked files are named from the register: read once for the whole folder.
    const std::vector<core::RegisterItem> strongEntries =
        core::QuietRegisterEntries(core::RegisterPath(), core::RegisterKind::StrongFile);
    for (const auto& entry : platform::findFiles(AddBackslash(folder) + "*.*")) {
        if (entry.isFolder() || entry.name == "desktop.ini")
            continue;
        // A locked file shows the name it had; a file is locked only when its content says so.
        items.push_back(FileItem{entry.name, core::ShownName(AddBackslash(folder) + entry.name, strongEntries)});
    }
    return items;
}

} // namespace locking
