#include "locking/LockingCommands.h"

#include "locking/FileCommands.h"
#include "locking/MainWindowPort.h"
#include "locking/Text.h"
#include "locking/frmFilePassword.h"
#include "locking/frmSecurityVault.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "settings/modFileFunctions.h"

#include <QCoreApplication>
#include <QString>

namespace locking {

namespace {

std::string windowsFormOf(const QString& hostPath) {
    try {
        return platform::toWindows(hostPath.toLocal8Bit().toStdString());
    } catch (const std::exception&) {
        return std::string();
    }
}

RunHooks hooksFor(MainWindowPort& port) {
    RunHooks hooks;
    hooks.showProgress = [&port](const std::string& message) { port.showProgress(message); };
    hooks.progress = [&port](int done, int total) { port.updateProgress(done, total); };
    hooks.closeProgress = [&port] { port.closeProgress(); };
    hooks.rebuildList = [&port] { port.refreshFiles(); };
    hooks.log = [&port](const std::string& text) { port.log(text); };
    return hooks;
}

} // namespace

// Marks a command as running for as long as it lives.
class LockingCommands::BusyScope final {
public:
    explicit BusyScope(LockingCommands& commands) : m_commands(commands) { m_commands.setBusy(true); }
    ~BusyScope() { m_commands.setBusy(false); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    LockingCommands& m_commands;
};

LockingCommands::LockingCommands(MainWindowPort& port, QWidget* window, QObject* parent)
    : QObject(parent), m_port(port), m_window(window) {
    if (QCoreApplication::instance()) {
        m_ownExecutable = windowsFormOf(QCoreApplication::applicationFilePath());
        m_ownFolder = windowsFormOf(QCoreApplication::applicationDirPath());
    }
}

void LockingCommands::setBusy(bool busy) {
    m_busy = busy;
    m_port.setCommandsBusy(busy);
    if (m_vault)
        m_vault->setCommandsEnabled(!busy);
    emit busyChanged(busy);
}

// Success is said too, in the status bar: "2 files locked.".
void LockingCommands::showDone(const RunResult& result, const char* verb) {
    if (result.done > 0)
        m_port.showStatus(std::to_string(result.done) + (result.done == 1 ? " file " : " files ") + verb + ".");
}

// The main window's checked files and password boxes as one run of the file commands.
FileBatch LockingCommands::fileBatch() const {
    FileBatch batch;
    batch.folder = m_port.currentFolder();
    batch.checked = m_port.checkedItems();
    batch.password = m_port.password1();
    batch.confirmation = m_port.password2();
    batch.registerPath = m_port.registerPath();
    batch.ownExecutable = m_ownExecutable;
    batch.strongLocks = StrongLocksChosen();
    return batch;
}

// The selected tree folder and the password boxes as one request of the folder commands.
FolderRequest LockingCommands::folderRequest() const {
    return FolderRequest{
        m_port.selectedTreeFolder(), m_port.password1(), m_port.password2(), m_ownFolder, m_ownExecutable,
        m_port.registerPath(),       StrongLocksChosen()};
}

void LockingCommands::cmdLock_click() {
    if (m_busy)
        return;
    BusyScope scope(*this);
    // The boxes are emptied once the password has done its work; after a refusal that is not about
    // the password (nothing checked, a file that could not be taken) they keep their text.
    const RunResult result = LockFiles(fileBatch(), m_port.prompt(), hooksFor(m_port));
    showDone(result, "locked");
    if (result.end == RunEnd::Completed && result.anyChecked && !result.failed)
        m_port.clearPasswords();
}

void LockingCommands::cmdUnlock_click() {
    if (m_busy)
        return;
    BusyScope scope(*this);
    // The boxes are emptied once the password has done its work; after a refusal that is not about
    // the password (nothing checked, a file that could not be taken) they keep their text.
    const RunResult result = UnlockFiles(fileBatch(), m_port.prompt(), hooksFor(m_port));
    showDone(result, "unlocked");
    if (result.end == RunEnd::Completed && result.anyChecked && !result.failed)
        m_port.clearPasswords();
}

void LockingCommands::lvwFiles_DblClick() {
    if (m_busy)
        return;
    const auto item = m_port.selectedItem();
    if (!item)
        return;
    BusyScope scope(*this);
    const std::string lockedPath = AddBackslash(m_port.currentFolder()) + item->key;
    const bool wasThere = platform::exists(lockedPath);
    // With the password box empty, the file's password is asked in a window of its own.
    const AskPassword ask = m_askPassword ? m_askPassword : [this](const std::string& shownPath) {
        return frmFilePassword::ask(shownPath, m_window);
    };
    const std::string extension = upperText(GetExtension(item->key));
    const bool lockedFile = extension == "TSL" || extension == "TSW" || extension == "TSX";
    // A plain file inside a locked folder opens only once the folder is unlocked.
    if (!lockedFile) {
        if (const auto unlocked = UnlockFolderToOpen(folderRequest(), m_port.currentFolder(), m_port.prompt(), ask)) {
            applyFolderResult(*unlocked);
            if (unlocked->moved)
                UnlockAndOpenFile(unlocked->newPath, *item, {}, m_port.registerPath(), m_port.prompt());
            return;
        }
    }
    if (!UnlockAndOpenFile(m_port.currentFolder(), *item, m_port.password1(), m_port.registerPath(), m_port.prompt(),
                           {}, ask))
        return;
    // A file unlocked and opened has used the password: the boxes are emptied, as after an unlock.
    if (lockedFile && wasThere && !platform::exists(lockedPath))
        m_port.clearPasswords();
    m_port.refreshFiles();
}

void LockingCommands::cmdSelectAll_click() {
    m_port.setAllChecked(true);
}

void LockingCommands::cmdDeselectAll_click() {
    m_port.setAllChecked(false);
}

void LockingCommands::tbrLock_ButtonClick(const QString& key) {
    if (key == QLatin1String("Lock"))
        cmdLock_click();
    else if (key == QLatin1String("Unlock"))
        cmdUnlock_click();
    else if (key == QLatin1String("LockFolder"))
        mLockFolder_click();
    else if (key == QLatin1String("UnlockFolder"))
        mUnLockFolder_click();
    else if (key == QLatin1String("SafeVault"))
        showVaultModal();
    else if (key == QLatin1String("SendEmail"))
        emit sendEmailRequested();
}

void LockingCommands::applyFolderResult(const FolderResult& result) {
    if (result.moved)
        m_port.setSelectedFolderPath(result.newPath);
    if (result.clearPasswords)
        m_port.clearPasswords();
}

void LockingCommands::mLockFolder_click() {
    if (m_busy)
        return;
    BusyScope scope(*this);
    applyFolderResult(LockFolder(folderRequest(), m_port.prompt()));
}

void LockingCommands::mUnLockFolder_click() {
    if (m_busy)
        return;
    BusyScope scope(*this);
    applyFolderResult(UnlockFolder(folderRequest(), m_port.prompt()));
}

void LockingCommands::mLockFolderFiles_click() {
    if (m_busy)
        return;
    BusyScope scope(*this);
    applyFolderResult(LockFolderAndFiles(folderRequest(), m_port.prompt(), hooksFor(m_port)));
}

void LockingCommands::mUnLockFolderFiles_click() {
    if (m_busy)
        return;
    BusyScope scope(*this);
    applyFolderResult(UnlockFolderAndFiles(folderRequest(), m_port.prompt(), hooksFor(m_port)));
}

frmSecurityVault* LockingCommands::makeVault() {
    auto* vault = new frmSecurityVault(m_port.prompt(), m_port.registerPath(), &m_port, m_window);
    vault->setCommandsEnabled(!m_busy);
    // The vault's own runs switch the main window's commands off as well.
    connect(vault, &frmSecurityVault::busyChanged, this, [this](bool busy) {
        m_busy = busy;
        m_port.setCommandsBusy(busy);
        emit busyChanged(busy);
    });
    return vault;
}

frmSecurityVault* LockingCommands::vault() const {
    return m_vault.data();
}

void LockingCommands::showVaultModal() {
    if (m_busy)
        return;
    frmSecurityVault* vault = makeVault();
    vault->setAttribute(Qt::WA_DeleteOnClose);
    vault->exec();
}

void LockingCommands::mViewLockedFolders_click() {
    if (m_vault) {
        m_vault->show();
        m_vault->raise();
        m_vault->activateWindow();
        return;
    }
    m_vault = makeVault();
    m_vault->setAttribute(Qt::WA_DeleteOnClose);
    m_vault->setModal(false);
    m_vault->show();
}

} // namespace locking
