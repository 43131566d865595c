#include "locking/FileCommands.h"

#include "core/LockEngine.h"
#include "diagnostics/ErrorReport.h"
#include "locking/Text.h"
#include "platform/Attributes.h"
#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/Opener.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <cstring>

namespace locking {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

namespace {

constexpr int kStepsPerFile = 100;

// The engine's byte progress folded into the run's bar: one hundred steps per checked file.
core::EngineContext engineContext(platform::Prompt& prompt, const FileBatch& batch, const RunHooks& hooks,
                                  std::size_t index) {
    core::EngineContext ctx{.prompt = prompt, .registerPath = batch.registerPath, .windowName = batch.windowName};
    const int total = static_cast<int>(batch.checked.size()) * kStepsPerFile;
    ctx.progress = [&prompt, &hooks, index, total](std::uint64_t done, std::uint64_t size) {
        if (hooks.progress) {
            const int part = size == 0 ? kStepsPerFile : static_cast<int>(done * kStepsPerFile / size);
            hooks.progress(static_cast<int>(index) * kStepsPerFile + part, total);
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

// The handler of a run: the access error has its own words, anything else goes to the reporter.
void reportRunError(platform::Prompt& prompt, const FileBatch& batch, int number, const std::string& description,
                    const char* verb, const char* procedure) {
    if (number == 75) {
        prompt.show(std::string("The file you are trying to ") + verb + " is either on a Write Protected Media" +
                        kCrLf + "or the file does'nt exists anymore",
                    Buttons::OK, Icon::Critical, "Path/File Access Error");
    } else {
        ReportError(batch.windowName, number, description, procedure);
    }
}

} // namespace

bool HasSecretMarker(const std::string& path) {
    platform::InputFile in(path);
    char head[8] = {};
    std::size_t got = 0;
    while (got < sizeof head) {
        const std::size_t n = in.read(head + got, sizeof head - got);
        if (n == 0)
            break;
        got += n;
    }
    return got == sizeof head && std::memcmp(head, kSecretMarker, sizeof head) == 0;
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

    prompt.setBusy(true);
    if (hooks.showProgress)
        hooks.showProgress("Lock in Progress. Please Wait...");
    try {
        const std::string ownExecutable = upperText(batch.ownExecutable);
        for (std::size_t i = 0; i < batch.checked.size(); ++i) {
            const FileItem& item = batch.checked[i];
            result.anyChecked = true;
            const std::string path = AddBackslash(batch.folder) + item.key;
            if (!ownExecutable.empty() && upperText(path) == ownExecutable) {
                prompt.show(std::string("An error occured during locking process ") + kCrLf +
                                " Tessaly.exe can not be locked.",
                            Buttons::OK, Icon::Information);
            } else if ((platform::getAttributes(path) & ~platform::kAttrDirectory) == platform::kAttrSystem) {
                prompt.show("Sorry you cannot lock a system file as this may crash your system");
            } else {
                const unsigned attributesBefore = platform::getAttributes(path) & ~platform::kAttrDirectory;
                platform::setAttributes(path, platform::kAttrNormal);
                const std::uint64_t length = platform::fileLength(path);
                bool done = true;
                bool engineRan = true;
                const core::EngineContext ctx = engineContext(prompt, batch, hooks, i);
                if (length < core::kLargeFileThreshold) {
                    if (length == 0) {
                        prompt.show("we can not lock the file of size 0 byte", Buttons::OK, Icon::Information,
                                    "Lock Error");
                        engineRan = false;
                    } else {
                        done = core::Encrypt(path, batch.password, ctx);
                    }
                } else {
                    done = core::BigEncrypt(path, batch.password, ctx);
                }
                if (engineRan && !done)
                    result.failed = true;
                // A file that was not locked gets its attributes back.
                if ((!engineRan || !done) && attributesBefore != platform::kAttrNormal && FileExists(path))
                    platform::setAttributes(path, attributesBefore);
            }
            stepDone(batch, hooks, i);
            prompt.processEvents();
        }
        if (result.failed)
            prompt.show(std::string("All files have not been locked.") + kCrLf + "An error occured while doing so." +
                        kCrLf + "Make sure that the file is not in use.");
        if (hooks.rebuildList)
            hooks.rebuildList();
    } catch (const platform::SysError& e) {
        reportRunError(prompt, batch, e.number, e.description(), "lock", "cmdLock_click");
        return endRun(prompt, hooks, result, RunEnd::Stopped);
    }
    return endRun(prompt, hooks, result, RunEnd::Completed);
}

RunResult UnlockFiles(const FileBatch& batch, platform::Prompt& prompt, const RunHooks& hooks) {
    RunResult result;
    prompt.setBusy(true);
    if (hooks.showProgress)
        hooks.showProgress("Unlock in Progress. Please Wait...");
    try {
        for (std::size_t i = 0; i < batch.checked.size(); ++i) {
            const FileItem& item = batch.checked[i];
            result.anyChecked = true;
            const std::string path = AddBackslash(batch.folder) + item.key;
            if (!FileExists(path)) {
                stepDone(batch, hooks, i);
                continue;
            }
            if (!HasSecretMarker(path)) {
                prompt.show(AddBackslash(batch.folder) + item.text + " is already unlocked.");
                stepDone(batch, hooks, i);
                continue;
            }
            const core::EngineContext ctx = engineContext(prompt, batch, hooks, i);
            if (upperText(rightText(path, 3)) == "TSW") {
                if (!core::BigDecrypt(path, batch.password, ctx)) {
                    result.failed = true;
                    prompt.show("An Error occured during unlock process", Buttons::OK, Icon::Critical, "Error");
                }
            } else if (!core::Decrypt(path, batch.password, ctx)) {
                // A small file that fails (a wrong password above all) ends the whole run here.
                result.failed = true;
                return endRun(prompt, hooks, result, RunEnd::Stopped);
            }
            stepDone(batch, hooks, i);
        }
        if (hooks.rebuildList)
            hooks.rebuildList();
    } catch (const platform::SysError& e) {
        reportRunError(prompt, batch, e.number, e.description(), "unlock", "cmdUnlock_click");
        return endRun(prompt, hooks, result, RunEnd::Stopped);
    }
    return endRun(prompt, hooks, result, RunEnd::Completed);
}

bool UnlockAndOpenFile(const std::string& folder, const FileItem& item, const std::string& password,
                       const std::string& registerPath, platform::Prompt& prompt, const RunHooks& hooks) {
    const std::string lockedPath = AddBackslash(folder) + item.key;
    const std::string openPath = AddBackslash(folder) + item.text;
    try {
        const std::string extension = upperText(GetExtension(item.key));
        if (extension == "TSL" || extension == "TSW") {
            const Answer answer =
                prompt.show("The file '" + AddBackslash(folder) + item.text +
                                "' you are trying to open is locked. In order to view it you need to unlock it. Do "
                                "you want to unlock this file and open it ?",
                            Buttons::YesNo, Icon::Question, "Unlock & Open Confirmation");
            if (answer != Answer::Yes)
                return false;
            core::EngineContext ctx{.prompt = prompt, .registerPath = registerPath, .windowName = "frmMain"};
            ctx.progress = [&prompt, &hooks](std::uint64_t done, std::uint64_t total) {
                if (hooks.progress)
                    hooks.progress(total == 0 ? 100 : static_cast<int>(done * 100 / total), 100);
                prompt.processEvents();
            };
            prompt.setBusy(true);
            const bool done = extension == "TSL" ? core::Decrypt(lockedPath, password, ctx)
                                                 : core::BigDecrypt(lockedPath, password, ctx);
            prompt.setBusy(false);
            if (done && FileExists(openPath))
                platform::openDefault(openPath);
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
    for (const auto& entry : platform::findFiles(AddBackslash(folder) + "*.*")) {
        if (entry.isFolder() || entry.name == "desktop.ini")
            continue;
        FileItem item{entry.name, entry.name};
        const std::string extension = upperText(GetExtension(entry.name));
        if (extension == "TSL" || extension == "TSW") {
            const std::string stem = entry.name.substr(0, entry.name.size() - extension.size() - 1);
            if (!stem.empty())
                item.text = TransformName(stem);
        }
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace locking
