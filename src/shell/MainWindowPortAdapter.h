#pragma once
// What the lock commands see of the main window: the browser pane, the password boxes, the busy
// switch and the progress window, read from and written to frmMain's controls.

#include "locking/MainWindowPort.h"
#include "shell/frmProgress.h"

#include <QPointer>

class frmMain;

namespace shell {

class MainWindowPortAdapter final : public locking::MainWindowPort {
public:
    explicit MainWindowPortAdapter(frmMain& window);
    ~MainWindowPortAdapter() override;
    MainWindowPortAdapter(const MainWindowPortAdapter&) = delete;
    MainWindowPortAdapter& operator=(const MainWindowPortAdapter&) = delete;

    std::string currentFolder() const override;
    std::vector<locking::FileItem> checkedItems() const override;
    std::optional<locking::FileItem> selectedItem() const override;
    void setAllChecked(bool checked) override;
    void refreshFiles() override;
    locking::SelectedFolder selectedTreeFolder() const override;
    void setSelectedFolderPath(const std::string& path) override;
    void rereadFolderTree() override;

    std::string password1() const override;
    std::string password2() const override;
    void clearPasswords() override;
    void showStatus(const std::string& text) override;

    void setCommandsBusy(bool busy) override;

    void showProgress(const std::string& message) override;
    void updateProgress(int done, int total) override;
    void closeProgress() override;

    platform::Prompt& prompt() override;
    std::string registerPath() const override;
    void log(const std::string& text) override;

    // The progress window while a run shows one (null otherwise).
    frmProgress* progressWindow() const { return m_progress.data(); }

private:
    frmMain& m_window;
    QPointer<frmProgress> m_progress;
};

} // namespace shell
