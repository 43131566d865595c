#pragma once
// The Security Vault's commands over plain values: the register's items as its lists show them and
// the text of its own password box. The window (frmSecurityVault) wires them to its controls.

#include <functional>
#include <string>
#include <vector>

namespace platform {
class Prompt;
}

namespace locking {

// One row of a vault list: key = the locked item's path on disk, text = its path before the lock.
struct VaultItem {
    std::string key;
    std::string text;
    bool checked = false;
};

struct VaultHooks {
    // lblStatus: the progress while a folder changes, then the run's outcome ("All selected folders
    // have been unlocked", "1 of 2 selected folders were unlocked."). Failures get boxes of their own.
    std::function<void(const std::string&)> status;
    std::function<void(bool)> cancelEnabled;        // cmdCancel
};

enum class VaultEnd {
    Finished,   // the loop ran to its end: the closing message was shown; refresh the lists
    EndedEarly, // ended by an item that is not a locked folder or by a No
    Failed,     // ended by an error (shown)
};

// Unlock Folder over the folder list. `password` is the vault's box: a wrong password empties it.
VaultEnd VaultUnlockFolders(const std::vector<VaultItem>& folders, std::string& password,
                            const std::string& registerPath, platform::Prompt& prompt, const VaultHooks& hooks = {});

// Unlock over the checked files: Decrypt1 for ".TSL", BigDecrypt1 for ".TSW". Each failure is the
// engine's own message and the run goes on with the next file. Returns how many were unlocked (for
// the status line, as VaultUnlockedText words it). Refresh the lists afterwards.
std::size_t VaultUnlockFiles(const std::vector<VaultItem>& files, const std::string& password,
                             const std::string& registerPath, platform::Prompt& prompt,
                             const std::function<void(int done, int total)>& progress = {});

// Double click on a file row: unlock it (after a question) and open it. Returns whether the lists are
// to be refreshed (false only when the user answered No); `unlocked` (when given) tells whether the
// file was unlocked.
bool VaultUnlockAndOpen(const VaultItem& item, const std::string& password, const std::string& registerPath,
                        platform::Prompt& prompt, bool* unlocked = nullptr);

// The status line after files were unlocked: "1 file unlocked.", "3 files unlocked."; "" for none
// (each file that was not had a box of its own).
std::string VaultUnlockedText(std::size_t files);

} // namespace locking
