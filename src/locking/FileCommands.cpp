#include "locking/FileCommands.h"

#include "core/LockChecks.h"
#include "core/LockEngine.h"
#include "core/LockRun.h"
#include "core/PasswordRules.h"
#include "core/Register.h"
#include "core/StrongEngine.h"
#include "diagnostics/ErrorReport.h"
#include "locking/Text.h"
#include "platform/Find.h"
#include "platform/Opener.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/SettingsTable.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

namespace locking {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

namespace {

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
    if (e.kind == platform::ErrorKind::PathFileAccess) {
        std::string text = std::string("The file you are trying to ") + verb + " is either on a Write Protected Media" +
                           kCrLf + "or the file does'nt exists anymore";
        if (!path.empty())
            text += kCrLf + core::Quoted(core::ShownName(path)) + ": " + e.reason() + ".";
        prompt.show(text, Buttons::OK, Icon::Critical, "Path/File Access Error");
    } else {
        ReportError(batch.windowName, e.number(), e.description(), procedure);
    }
}

// The checked items as the run's files, and what the window asks of the run.
std::vector<core::RunItem> runItems(const FileBatch& batch) {
    std::vector<core::RunItem> items;
    for (const FileItem& item : batch.checked)
        items.push_back({batch.folder, item.key, item.text});
    return items;
}

core::RunPolicy runPolicy(const FileBatch& batch, const RunHooks& hooks) {
    core::RunPolicy policy;
    policy.registerPath = batch.registerPath;
    policy.windowName = batch.windowName;
    policy.strong = batch.strongLocks;
    policy.ownExecutables = {batch.ownExecutable};
    policy.progress = hooks.progress;
    return policy;
}

// What the run did, for the caller's windows.
RunResult resultOf(const FileBatch& batch, const core::RunOutcome& run) {
    RunResult result;
    result.anyChecked = !batch.checked.empty();
    result.failed = run.failed;
    result.done = run.done;
    return result;
}

} // namespace

bool StrongLocksChosen() {
    return settings::StrongLocks.get();
}

bool HasSecretMarker(const std::string& path) {
    return core::HasSecretMarker(path);
}

RunResult LockFiles(const FileBatch& batch, platform::Prompt& prompt, const RunHooks& hooks) {
    if (const std::string refusal = core::RefuseBootRoot(batch.folder); !refusal.empty()) {
        prompt.show(refusal);
        return {};
    }
    if (batch.password != batch.confirmation) {
        prompt.show(core::kPasswordsDifferMessage, Buttons::OK, Icon::Exclamation, "Tessaly");
        return {};
    }
    if (core::IsMissingPassword(batch.password)) {
        prompt.show(core::kTypePasswordMessage, Buttons::OK, Icon::Exclamation);
        return {};
    }
    // Nothing but this password stands between a strong locked file and whoever holds a copy of it.
    if (batch.strongLocks && !core::AcceptShortPassword(prompt, batch.password))
        return {};

    prompt.setBusy(true);
    if (hooks.showProgress)
        hooks.showProgress("Lock in Progress. Please Wait...");
    const core::RunOutcome run = core::LockRun(runItems(batch), batch.password, runPolicy(batch, hooks), prompt);
    const RunResult result = resultOf(batch, run);
    // Once for the run: what the disk may keep of the originals a strong lock overwrote.
    if (!run.diskWarning.empty()) {
        if (hooks.log)
            hooks.log(run.diskWarning);
        prompt.show(run.diskWarning, Buttons::OK, Icon::Information);
    }
    if (run.error) {
        reportRunError(prompt, batch, *run.error, run.errorPath, "lock", "cmdLock_click");
        return endRun(prompt, hooks, result, RunEnd::Stopped);
    }
    if (run.unexplained)
        prompt.show(std::string("All files have not been locked.") + kCrLf + "An error occurred while doing so." +
                    kCrLf + "Make sure that the file is not in use.");
    if (hooks.rebuildList)
        hooks.rebuildList();
    return endRun(prompt, hooks, result, RunEnd::Completed);
}

RunResult UnlockFiles(const FileBatch& batch, platform::Prompt& prompt, const RunHooks& hooks) {
    prompt.setBusy(true);
    if (hooks.showProgress)
        hooks.showProgress("Unlock in Progress. Please Wait...");
    core::RunPolicy policy = runPolicy(batch, hooks);
    // A small file that fails (a wrong password above all) ends the whole run there; a large one
    // has a message and the run goes on.
    policy.stopAtSmallFailure = true;
    policy.told = [&](std::size_t i, const core::ItemResult& r) {
        const FileItem& item = batch.checked[i];
        if (r.outcome == core::ItemOutcome::NotLocked)
            prompt.show(AddBackslash(batch.folder) + item.text + " is already unlocked.");
        else if (r.outcome == core::ItemOutcome::Failed && upperText(rightText(item.key, 3)) == "TSW")
            prompt.show("An Error occurred during unlock process", Buttons::OK, Icon::Critical, "Error");
    };
    const core::RunOutcome run = core::UnlockRun(runItems(batch), batch.password, policy, prompt);
    const RunResult result = resultOf(batch, run);
    if (run.error) {
        reportRunError(prompt, batch, *run.error, run.errorPath, "unlock", "cmdUnlock_click");
        return endRun(prompt, hooks, result, RunEnd::Stopped);
    }
    if (run.stopped)
        return endRun(prompt, hooks, result, RunEnd::Stopped);
    if (hooks.rebuildList)
        hooks.rebuildList();
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
            // An unreadable file is not taken for a strong one; opening it says why it fails.
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
        ReportError("frmMain", e.number(), e.description(), "lvwFiles_DblClick");
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
