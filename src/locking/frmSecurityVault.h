#pragma once
// The Security Vault: every locked folder and file the register knows, wherever it lies, with the
// ways back: Unlock Folder over the checked folders, Unlock over the checked files, and unlock-and-
// open by double click on a file.

#include <QDialog>

#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QTreeView;
class QModelIndex;
class QPushButton;

namespace platform {
class Prompt;
}

namespace locking {

class MainWindowPort;
class VaultListModel;

class frmSecurityVault final : public QDialog {
    Q_OBJECT

public:
    // mainWindow may be null (the vault then leaves the browser pane alone on Refresh).
    frmSecurityVault(platform::Prompt& prompt, std::string registerPath, MainWindowPort* mainWindow = nullptr,
                     QWidget* parent = nullptr);

    void Refresh();
    void cmdUnlockFolder_Click();
    void cmdUnlockFiles_Click();
    void cmdSelectAll_Click();
    void cmdDeselectAll_Click();
    void lvwFiles_DblClick(const QModelIndex& index);

    // Off while a command of the main window changes files; back on when it ends.
    void setCommandsEnabled(bool enabled);
    bool isRunning() const { return m_running; }

signals:
    // A vault command that changes files began (true) or ended (false).
    void busyChanged(bool busy);

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;

private:
    void setRunning(bool running);
    void updateButtons();
    void refreshWhenIdle();

    platform::Prompt& m_prompt;
    std::string m_registerPath;
    MainWindowPort* m_mainWindow;
    bool m_running = false;
    bool m_externalBusy = false;
    bool m_refreshOnActivate = false;
    bool m_refreshPending = false; // due while a command ran

    QGroupBox* m_fraFolders;
    VaultListModel* m_folders; // the rows of lvwFolders
    QTreeView* m_lvwFolders;
    QPushButton* m_cmdUnlockFolder;
    QGroupBox* m_fraFiles;
    VaultListModel* m_files; // the rows of lvwFiles
    QTreeView* m_lvwFiles;
    QPushButton* m_cmdSelectAll;
    QPushButton* m_cmdDeselectAll;
    QLineEdit* m_txtPassword1;
    QPushButton* m_cmdUnlockFiles;
    QPushButton* m_cmdRefresh;
    QPushButton* m_cmdCancel;
    QLabel* m_lblStatus;
};

} // namespace locking
