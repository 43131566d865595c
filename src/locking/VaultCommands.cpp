#include "locking/VaultCommands.h"

#include "core/LockChecks.h"
#include "core/LockEngine.h"
#include "core/Register.h"
#include "core/StrongEngine.h"
#include "diagnostics/CAppLog.h"
#include "diagnostics/ErrorReport.h"
#include "locking/FolderCommands.h"
#include "locking/Text.h"
#include "platform/Opener.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"

namespace locking {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

namespace {

const char* const kWindowName = "frmSecurityVault";

void showCannotUnlock(const std::string& formerPath, platform::Prompt& prompt) {
    prompt.show(std::string("The file you are trying to unlock has either") + kCrLf +
                    "been removed from system or you have locked " + kCrLf +
                    "the folder after locking the file. Try unlocking" + kCrLf + "the folder folder and then the file.",
                Buttons::OK, Icon::Exclamation, "Cannot unlock '" + formerPath + "'");
}

bool unlockWithEngine(const std::string& lockedPath, const std::string& password, const std::string& registerPath,
                      platform::Prompt& prompt, const std::function<void(std::uint64_t, std::uint64_t)>& progress,
                      const std::shared_ptr<core::strong::KeyCache>& strongKeys = {},
                      const std::shared_ptr<core::RegisterSnapshot>& snapshot = {}) {
    core::EngineContext ctx{
        .prompt = prompt, .registerPath = registerPath, .windowName = kWindowName, .progress = progress};
    ctx.registerSnapshot = snapshot; // kept in step with the entries the unlock removes
    // A strong locked file is told by its content; the run's keys are reused file after file.
    if (core::StartsWithStrongHeader(lockedPath)) {
        ctx.strongKeys = strongKeys;
        return core::UnlockFilesTogether({lockedPath}, password, ctx).front();
    }
    if (upperText(GetExtension(lockedPath)) == "TSW")
        return core::BigDecrypt1(lockedPath, password, ctx);
    return core::Decrypt1(lockedPath, password, ctx);
}

// An item that lies under a locked folder (locked inside it, or inside it before the folder was
// locked) is not at the path the register knows: unlocking it would miss it or take the wrong
// password. Shows the advice and returns true when that is the case.
bool refuseNested(const VaultItem& item, const core::RegisterSnapshot& snapshot, platform::Prompt& prompt) {
    const std::string refusal = core::RefuseInsideLockedFolder(snapshot, item.key, item.text);
    if (refusal.empty())
        return false;
    prompt.show(refusal, Buttons::OK, Icon::Exclamation);
    return true;
}

// The closing word of a folder unlock that ran to its end, in the status line as every unlock of
// the vault tells its outcome: success only for what succeeded. Every folder that was not unlocked
// had a box of its own (a wrong password, a refusal, a question), so the summary does not name them
// again; when none was unlocked there is nothing more to say. Nothing checked is a refusal: a box.
void showFolderSummary(platform::Prompt& prompt, const std::function<void(const std::string&)>& status,
                       std::size_t checked, std::size_t failed) {
    if (checked == 0) {
        prompt.show("No folder is checked", Buttons::OK, Icon::Exclamation);
        return;
    }
    std::string outcome;
    if (failed == 0)
        outcome = "All selected folders have been unlocked";
    else if (failed != checked)
        outcome =
            std::to_string(checked - failed) + " of " + std::to_string(checked) + " selected folders were unlocked.";
    status(outcome);
}

} // namespace

VaultEnd VaultUnlockFolders(const std::vector<VaultItem>& folders, std::string& password,
                            const std::string& registerPath, platform::Prompt& prompt, const VaultHooks& hooks) {
    auto setStatus = [&hooks](const std::string& text) {
        if (hooks.status)
            hooks.status(text);
    };
    auto enableCancel = [&hooks](bool on) {
        if (hooks.cancelEnabled)
            hooks.cancelEnabled(on);
    };
    auto endEarly = [&](VaultEnd end) {
        prompt.setBusy(false);
        enableCancel(true);
        return end;
    };
    std::size_t checked = 0;
    std::size_t failed = 0; // checked folders not unlocked: each had a message of its own
    // The register is read once for the run, and told of each folder the run unlocks. (A vanished
    // folder that the run forgets needs no word: every check asks for the folder on disk too.)
    core::RegisterSnapshot snapshot(registerPath);
    try {
        for (const VaultItem& item : folders) {
            if (!item.checked) {
                prompt.processEvents();
                continue;
            }
            const std::string lockedPath = item.key;
            if (!EndsInFolderLockExtension(lockedPath))
                return endEarly(VaultEnd::EndedEarly);
            ++checked;
            if (refuseNested(item, snapshot, prompt)) {
                ++failed;
                prompt.processEvents();
                continue;
            }
            const std::string restored = RestoredFolderPath(lockedPath);
            const std::string valueName = FolderPasswordValueName(restored);
            if (CheckFolderPassword(valueName, password)) {
                if (ForgetVanishedFolder(lockedPath, restored, valueName, registerPath, prompt)) {
                    ++failed;
                } else {
                    if (!ConfirmFolderCommand(prompt, "unlock", restored))
                        return endEarly(VaultEnd::EndedEarly);
                    prompt.setBusy(true);
                    setStatus("Unlock in Progress. Please Wait...");
                    enableCancel(false);
                    if (RestoreLockedFolder(lockedPath, restored, valueName, registerPath, prompt) ==
                        FolderUnlockEnd::Unlocked)
                        snapshot.noteRemoved(core::RegisterKind::Folder, {restored});
                    else
                        ++failed;
                    setStatus(std::string());
                }
            } else {
                prompt.show("Password not correct", Buttons::OK, Icon::Exclamation);
                password.clear();
                ++failed;
            }
            prompt.processEvents();
        }
        showFolderSummary(prompt, setStatus, checked, failed);
    } catch (const platform::SysError& e) {
        setStatus(std::string());
        prompt.show(std::to_string(e.number()) + e.description());
        return endEarly(VaultEnd::Failed);
    }
    return endEarly(VaultEnd::Finished);
}

std::string VaultUnlockedText(std::size_t files) {
    if (files == 0)
        return {};
    return std::to_string(files) + (files == 1 ? " file unlocked." : " files unlocked.");
}

std::size_t VaultUnlockFiles(const std::vector<VaultItem>& files, const std::string& password,
                             const std::string& registerPath, platform::Prompt& prompt,
                             const std::function<void(int done, int total)>& progress) {
    std::vector<const VaultItem*> checked;
    for (const VaultItem& item : files)
        if (item.checked)
            checked.push_back(&item);
    if (checked.empty()) {
        prompt.show("No file is checked", Buttons::OK, Icon::Exclamation);
        return 0;
    }
    std::size_t unlocked = 0;
    const int total = static_cast<int>(checked.size()) * 100;
    const auto strongKeys = std::make_shared<core::strong::KeyCache>(password);
    const auto snapshot = std::make_shared<core::RegisterSnapshot>(registerPath); // one read for the run
    prompt.setBusy(true);
    try {
        for (std::size_t i = 0; i < checked.size(); ++i) {
            const VaultItem& item = *checked[i];
            if (refuseNested(item, *snapshot, prompt)) {
                // left locked: its folder comes first
            } else if (!FileExists(item.key)) {
                showCannotUnlock(item.text, prompt);
            } else {
                // The engine shows its own message when it fails; the run goes on with the next file.
                if (unlockWithEngine(
                        item.key, password, registerPath, prompt,
                        [&](std::uint64_t done, std::uint64_t size) {
                            if (progress)
                                progress(static_cast<int>(i) * 100 +
                                             (size == 0 ? 100 : static_cast<int>(done * 100 / size)),
                                         total);
                            prompt.processEvents();
                        },
                        strongKeys, snapshot))
                    ++unlocked;
            }
            if (progress)
                progress(static_cast<int>(i + 1) * 100, total);
            prompt.processEvents();
        }
    } catch (const platform::SysError& e) {
        if (e.kind == platform::ErrorKind::PathFileAccess) {
            prompt.show("The folder you are trying to lock/unlock has moved", Buttons::OK, Icon::Critical);
        } else if (e.kind != platform::ErrorKind::IndexOutOfBounds) {
            CAppLog log(prompt);
            log.Log(CAppLog::Form, kWindowName, "Sub cmdUnlockFiles_Click", e.number(), e.description());
            ReportError(kWindowName, e.number(), e.description(), "cmdUnlockFile_click");
        }
    }
    prompt.setBusy(false);
    return unlocked;
}

bool VaultUnlockAndOpen(const VaultItem& item, const std::string& password, const std::string& registerPath,
                        platform::Prompt& prompt, bool* unlocked) {
    try {
        if (refuseNested(item, core::RegisterSnapshot(registerPath), prompt))
            return true;
        if (!FileExists(item.key)) {
            showCannotUnlock(item.text, prompt);
            return true;
        }
        const std::string extension = upperText(GetExtension(item.key));
        if (extension == "TSL" || extension == "TSW" || extension == "TSX") {
            if (prompt.show("The file '" + item.text +
                                "' you are trying to open is locked. In order to view it you need to unlock it. Do "
                                "you want to unlock this file and open it ?",
                            Buttons::YesNo, Icon::Question, "Unlock & Open Confirmation") != Answer::Yes)
                return false;
            prompt.setBusy(true);
            const bool done = unlockWithEngine(item.key, password, registerPath, prompt,
                                               [&prompt](std::uint64_t, std::uint64_t) { prompt.processEvents(); });
            prompt.setBusy(false);
            if (unlocked)
                *unlocked = done;
            if (done && FileExists(item.text))
                platform::openDefault(item.text);
        } else {
            platform::openDefault(item.text);
        }
    } catch (const platform::SysError& e) {
        prompt.setBusy(false);
        ReportError(kWindowName, e.number(), e.description(), "lvwFiles_DblClick");
    }
    return true;
}

} // namespace locking
