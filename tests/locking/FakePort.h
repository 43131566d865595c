#pragma once
// A main window for the commands' tests: plain fields for what frmMain holds, and a log of what the
// commands asked of it.

#include "locking/MainWindowPort.h"
#include "support/ScriptedPrompt.h"

#include <functional>
#include <string>
#include <vector>

namespace locking_test {

class FakePort final : public locking::MainWindowPort {
public:
    std::string folder;
    std::vector<locking::FileItem> rows; // all rows of lvwFiles
    std::vector<bool> checked;
    std::optional<locking::FileItem> selected;
    locking::SelectedFolder treeFolder;
    std::string pw1, pw2;
    std::string registerFile;
    testing_support::ScriptedPrompt scripted;
    std::vector<std::string> log;
    bool busy = false;
    // Runs when the progress window is shown (a test starts a second command from there).
    std::function<void()> onShowProgress;

    void setRows(std::vector<locking::FileItem> r, bool allChecked) {
        rows = std::move(r);
        checked.assign(rows.size(), allChecked);
    }

    std::string currentFolder() const override { return folder; }
    std::vector<locking::FileItem> checkedItems() const override {
        std::vector<locking::FileItem> out;
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (checked[i])
                out.push_back(rows[i]);
        return out;
    }
    std::optional<locking::FileItem> selectedItem() const override { return selected; }
    void setAllChecked(bool on) override { checked.assign(rows.size(), on); }
    void refreshFiles() override { log.push_back("refreshFiles"); }
    locking::SelectedFolder selectedTreeFolder() const override { return treeFolder; }
    void setSelectedFolderPath(const std::string& path) override {
        log.push_back("folderPath:" + path);
        treeFolder.key = path;
    }
    void rereadFolderTree() override { log.push_back("rereadFolderTree"); }
    std::string password1() const override { return pw1; }
    std::string password2() const override { return pw2; }
    void showStatus(const std::string& text) override { log.push_back("status:" + text); }
    void clearPasswords() override {
        log.push_back("clearPasswords");
        pw1.clear();
        pw2.clear();
    }
    void setCommandsBusy(bool on) override {
        log.push_back(on ? "busy" : "idle");
        busy = on;
    }
    void showProgress(const std::string& message) override {
        log.push_back("progress:" + message);
        if (onShowProgress)
            onShowProgress();
    }
    void updateProgress(int, int) override {}
    void closeProgress() override { log.push_back("closeProgress"); }
    platform::Prompt& prompt() override { return scripted; }
    std::string registerPath() const override { return registerFile; }
};

} // namespace locking_test
