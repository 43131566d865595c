#pragma once
// What the locking commands need of the main window, as plain values. frmMain implements it and
// hands it to LockingCommands; tests use a fake.

#include "locking/FileCommands.h"
#include "locking/FolderCommands.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {
class Prompt;
}

namespace locking {

class MainWindowPort {
public:
    virtual ~MainWindowPort() = default;

    // The browser pane.
    virtual std::string currentFolder() const = 0; // the path of filFiles
    // The ticked rows of lvwFiles in list order; with none ticked, the selected rows.
    virtual std::vector<FileItem> checkedItems() const = 0;
    virtual std::optional<FileItem> selectedItem() const = 0; // the selected row of lvwFiles
    virtual void setAllChecked(bool checked) = 0;             // every row of lvwFiles
    virtual void refreshFiles() = 0;                          // refresh filFiles, rebuild lvwFiles
    virtual SelectedFolder selectedTreeFolder() const = 0;    // the selected node of tvw1 (empty key: none)
    // Points the selected node's key and the path of filFiles at the folder's new path.
    virtual void setSelectedFolderPath(const std::string& path) = 0;
    // The folder tree read again where it stands, the selection kept (the vault does this on Refresh:
    // its unlocks rename folders the tree may show).
    virtual void rereadFolderTree() = 0;

    // The password boxes.
    virtual std::string password1() const = 0;
    virtual std::string password2() const = 0;
    virtual void clearPasswords() = 0; // empty txtPassword1 and txtPassword2, focus in txtPassword1
    // A line in the status bar that tells what a command did ("2 files locked.").
    virtual void showStatus(const std::string& text) = 0;

    // Every command that changes files (buttons, toolbar, menus) off while a run goes on, and back on.
    virtual void setCommandsBusy(bool busy) = 0;

    // frmProgress for the lock and unlock runs.
    virtual void showProgress(const std::string& message) = 0;
    virtual void updateProgress(int done, int total) = 0;
    virtual void closeProgress() = 0;

    virtual platform::Prompt& prompt() = 0;
    virtual std::string registerPath() const = 0;
    // A line in the application log (what a run told the user that must be kept).
    virtual void log(const std::string& text) { static_cast<void>(text); }
};

} // namespace locking
