#pragma once
// The main window, a host: the menus, the status bar, the tray icon and the tab strip with the
// feature pages (the locking page with the browser pane on "Main", the others in FeaturePages.cpp).
// It creates the pages and wires them; every command that changes files joins the "command busy"
// switch so that it cannot be started twice.

#include "locking/LockingPage.h"
#include "settings/SettingsTable.h"
#include "shell/BrowserPane.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

class CAppLog;
class FileListBox;
class QAbstractButton;
class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QSystemTrayIcon;
class QTabWidget;
class QToolBar;
class QTreeView;
class QTreeWidget;

namespace platform {
class Prompt;
}

namespace shell {
class AppLock;
class MainWindowPortAdapter;
class SingleInstance;
} // namespace shell

namespace locking {
class LockingCommands;
}

class frmMain final : public QMainWindow {
    Q_OBJECT
public:
    enum class LoadResult { Loaded, OtherInstanceActivated };

    explicit frmMain(platform::Prompt& prompt, QWidget* parent = nullptr);
    ~frmMain() override;

    // The loading steps, in order. OtherInstanceActivated: another instance was brought to the front
    // and this one must end without showing its window.
    LoadResult Form_Load();

    // Shared controls.
    platform::Prompt& prompt() { return m_prompt; }
    CAppLog* appLog() { return m_log.get(); }
    const std::string& registerPath() const { return m_registerPath; }
    QTabWidget* tabMain() const { return m_tabMain; }
    QFrame* fraMain(int index) const; // 0 Main, 1 image viewer, 2 favourites, 3 wallet, 4 shredder
    // The browser pane (drive list, folder tree, file list) on the Main tab.
    shell::BrowserPane& browser() const { return *m_browser; }
    // The Main tab's page: the lock toolbar, the password boxes and the commands around the pane.
    locking::LockingPage* lockingPage() const { return m_lockingPage; }
    QComboBox* drvDrives() const { return m_browser->drvDrives(); }
    QTreeWidget* tvw1() const { return m_browser->tvw1(); }
    FileListBox* filFiles() const { return m_browser->filFiles(); }
    QTreeView* lvwFiles() const { return m_browser->lvwFiles(); }
    QLineEdit* txtPassword1() const { return m_lockingPage->txtPassword1(); }
    QLineEdit* txtPassword2() const { return m_lockingPage->txtPassword2(); }
    QStatusBar* sbrMain() const { return m_sbrMain; }
    QProgressBar* picProgress() const { return m_picProgress; }
    QToolBar* tbrLock() const { return m_lockingPage->tbrLock(); }
    QMenu* mnuFolder() const { return m_mnuFolder; }
    QMenu* mnuTray() const { return m_mnuTray; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // A menu item or lock toolbar button by name (toolbar buttons by key: "Lock", "SafeVault", ...).
    QAction* action(const QString& name) const;
    // A button of the Main panel by name ("cmdLock", "cmdSelectAll", ...).
    QPushButton* button(const QString& name) const;

    // Status bar: panels 1 and 2 and the simple text ("Total Files: n").
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;
    QString simpleText() const;

    // While a command that changes files runs, every such command is disabled.
    void setCommandBusy(bool busy);
    bool isCommandBusy() const { return m_busy; }
    void addFileCommand(QAction* action);
    void addFileCommand(QWidget* widget);

    // Restores the window from the tray or the task bar and brings it to the front; when chosen in
    // Options, a window restored from hiding asks for the password first (through the lock).
    void restoreToFront();
    // The program's lock (main() makes it); the window hands it the Options window's changes and
    // passes its lockedChanged on as appLocked.
    void setAppLock(shell::AppLock* lock);
    shell::AppLock* appLock() const { return m_appLock; }
    // The socket later instances reach this one through (null before Form_Load).
    shell::SingleInstance* singleInstance() const { return m_instance.get(); }

    // The lock and unlock commands wired to this window's buttons, menus and toolbar.
    locking::LockingCommands* lockingCommands() const { return m_locking; }
    shell::MainWindowPortAdapter& lockingPort() { return *m_lockingPort; }

signals:
    void commandBusyChanged(bool busy);
    // The close was confirmed: the program ends.
    void exitConfirmed();
    // The program was locked (the pages empty what they show of secrets) or opened again by the
    // right password (they may show them again).
    void appLocked(bool locked);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    void buildMainPage();
    void buildStatusBar();
    void addTrayIcon();
    void mShow_Click();
    void mHide_Click();
    void openDeploymentPage(const settings::Setting<std::string>& page);
    void wireLockingCommands();
    // Creates the feature tabs' pages (wallet, favourites, shredder, viewer) and wires the feature
    // commands of the menus and the lock toolbar (mail, options). In FeaturePages.cpp.
    void buildFeaturePages();

    platform::Prompt& m_prompt;
    std::unique_ptr<CAppLog> m_log;
    std::unique_ptr<shell::SingleInstance> m_instance;
    std::string m_registerPath;
    bool m_busy = false;

    QTabWidget* m_tabMain = nullptr;
    QFrame* m_fraMain[5] = {};
    shell::BrowserPane* m_browser = nullptr;
    locking::LockingPage* m_lockingPage = nullptr;
    QStatusBar* m_sbrMain = nullptr;
    QLabel* m_simpleText = nullptr;
    QLabel* m_panel[2] = {};
    QProgressBar* m_picProgress = nullptr;
    QMenu* m_mnuFolder = nullptr;
    QMenu* m_mnuTray = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    shell::AppLock* m_appLock = nullptr;
    std::vector<QPointer<QAction>> m_fileActions;
    std::vector<QPointer<QWidget>> m_fileWidgets;
    std::unique_ptr<shell::MainWindowPortAdapter> m_lockingPort;
    locking::LockingCommands* m_locking = nullptr;
};
