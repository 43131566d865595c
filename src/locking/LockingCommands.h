#pragma once
// The main window's lock commands: the Lock and Unlock buttons, unlock-and-open on a double click,
// Select All / Deselect All, the lock toolbar, the File menu and the folder menu, and the Security
// Vault. frmMain implements MainWindowPort and connects its controls to these handlers.

#include "locking/FolderCommands.h"

#include <QObject>
#include <QPointer>

#include <string>

class QString;
class QWidget;

namespace locking {

class MainWindowPort;
class frmSecurityVault;

class LockingCommands final : public QObject {
    Q_OBJECT

public:
    // window: the owner of the vault window (frmMain).
    LockingCommands(MainWindowPort& port, QWidget* window, QObject* parent = nullptr);

    // The running program and its folder, Windows form. Taken from the executable by default.
    void setOwnExecutable(std::string path) { m_ownExecutable = std::move(path); }
    void setOwnFolder(std::string folder) { m_ownFolder = std::move(folder); }
    const std::string& ownExecutable() const { return m_ownExecutable; }
    const std::string& ownFolder() const { return m_ownFolder; }

    bool isBusy() const { return m_busy; }
    // How a password is asked for when the password box is empty: the "Unlock & Open" window by
    // default (tests answer in its place).
    void setPasswordAsker(AskPassword ask) { m_askPassword = std::move(ask); }

    // File commands.
    void cmdLock_click();
    void cmdUnlock_click();
    void lvwFiles_DblClick();
    void cmdSelectAll_click();
    void cmdDeselectAll_click();

    // The lock toolbar, by button key: "Lock", "Unlock", "LockFolder", "UnlockFolder", "SafeVault",
    // "SendEmail"; any other key does nothing.
    void tbrLock_ButtonClick(const QString& key);

    // File menu.
    void mFileLockFiles_click() { cmdLock_click(); }
    void mFileUnlockFile_click() { cmdUnlock_click(); }
    void mFileLockFolder_click() { mLockFolder_click(); }
    void mFileUnLockFolder_click() { mUnLockFolder_click(); }
    void mViewLockedFolders_click(); // the vault, modeless

    // Folder commands (folder tree's pop-up menu).
    void mLockFolder_click();
    void mUnLockFolder_click();
    void mLockFolderFiles_click();
    void mUnLockFolderFiles_click();

    // The vault, modal (toolbar key "SafeVault").
    void showVaultModal();
    // The modeless vault while it is open (null otherwise).
    frmSecurityVault* vault() const;

signals:
    // Toolbar key "SendEmail": the mail command lives elsewhere.
    void sendEmailRequested();
    // A command that changes files began (true) or ended (false).
    void busyChanged(bool busy);

private:
    class BusyScope;
    void setBusy(bool busy);
    frmSecurityVault* makeVault();
    void applyFolderResult(const FolderResult& result);
    FileBatch fileBatch() const;
    void showDone(const RunResult& result, const char* verb);
    FolderRequest folderRequest() const;

    MainWindowPort& m_port;
    QWidget* m_window;
    std::string m_ownExecutable;
    std::string m_ownFolder;
    bool m_busy = false;
    AskPassword m_askPassword;
    QPointer<frmSecurityVault> m_vault;
};

} // namespace locking
