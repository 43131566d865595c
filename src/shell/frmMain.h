#pragma once
// The main window: the working tabs, the menus, the status bar, the tray icon and the browser pane
// (drive list, folder tree, file list). It is the composition point of the program: the feature
// commands are wired to its controls through the accessors below, and every command that changes
// files joins the "command busy" switch so that it cannot be started twice.

#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <set>
#include <string>
#include <vector>

class CAppLog;
class FileListBox;
class QAbstractButton;
class QAction;
class QComboBox;
class QFileSystemWatcher;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QSystemTrayIcon;
class QTabWidget;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace platform {
class Prompt;
}

namespace core {
struct RecoveryReport;
}

namespace shell {
class MainWindowPortAdapter;
class SingleInstance;
} // namespace shell

namespace locking {
class LockingCommands;
}

class frmMain final : public QMainWindow {
    Q_OBJECT
public:
    // Item data roles of tvw1 and lvwFiles.
    static constexpr int KeyRole = Qt::UserRole;           // the path (tvw1) or name (lvwFiles) on disk, bytes
    static constexpr int SmallIconRole = Qt::UserRole + 1; // lvwFiles: "lock" on a locked file
    static constexpr int TextRole = Qt::UserRole + 2;      // the shown name as bytes (tvw1 and lvwFiles)
    static constexpr int BytesRole = Qt::UserRole + 3;     // lvwFiles: the file's size in bytes (-1: unknown)
    static constexpr int FilledRole = Qt::UserRole + 4;    // tvw1: the node's subfolders have been read

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
    QComboBox* drvDrives() const { return m_drvDrives; }
    QTreeWidget* tvw1() const { return m_tvw1; }
    FileListBox* filFiles() const { return m_filFiles; }
    QTreeWidget* lvwFiles() const { return m_lvwFiles; }
    QLineEdit* txtPassword1() const { return m_txtPassword1; }
    QLineEdit* txtPassword2() const { return m_txtPassword2; }
    QStatusBar* sbrMain() const { return m_sbrMain; }
    QProgressBar* picProgress() const { return m_picProgress; }
    QToolBar* tbrLock() const { return m_tbrLock; }
    QMenu* mnuFolder() const { return m_mnuFolder; }
    QMenu* mnuTray() const { return m_mnuTray; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // A menu item or lock toolbar button by name (toolbar buttons by key: "Lock", "SafeVault", ...).
    QAction* action(const QString& name) const;
    // A button of the Main panel by name ("cmdLock", "cmdSelectAll", ...).
    QPushButton* button(const QString& name) const;

    // Items' paths and names as bytes.
    static std::string nodeKey(const QTreeWidgetItem* node);
    static void setNodeKey(QTreeWidgetItem* node, const std::string& key);
    static std::string rowKey(const QTreeWidgetItem* row);
    // The shown name of a node or row as bytes (the exact bytes the listing gave).
    static std::string itemText(const QTreeWidgetItem* item);
    std::string selectedFolderKey() const; // the key of tvw1's selected node, "" when none

    // Browser pane.
    std::string currentFolder() const;                // the path of filFiles
    void setCurrentFolder(const std::string& folder); // sets filFiles' path: the list is rebuilt
    void filFiles_PathChange();                       // re-reads the current folder into lvwFiles
    void drvDrives_Change();
    void tvw1_NodeClick(QTreeWidgetItem* node, bool doubleClick);
    void FillFolderNode(QTreeWidgetItem* node);
    void setDrive(char letter); // picks the drive in drvDrives (running Drive change)
    // The list is tinted green: the current folder is a locked folder.
    bool isListGreen() const { return m_listGreen; }
    // A folder command moved the selected tree node's folder to `newPath`: the node takes the new
    // path and name, its branch is read again (what was open stays open), the selection stays on it
    // and the file list shows the folder at its new place.
    void selectedFolderMoved(const std::string& newPath);
    // Refresh (F5): the selected branch of the tree and the file list read again from the disk; ticks
    // and selection stay on the rows that are still there.
    void refreshBrowser();
    // Reads a filled node's subfolders again: new folders appear, vanished ones go, open ones stay
    // open. deep: the filled nodes under it as well.
    void syncFolderNode(QTreeWidgetItem* node, bool deep);
    // The host folders the pane shows and watches for changes (for tests).
    QStringList watchedFolders() const;
    // A folder path as the status bar shows it: a locked folder the register knows by its former
    // name with " (locked)".
    std::string displayPath(const std::string& path) const;

    // Status bar: panels 1 and 2 and the simple text ("Total Files: n").
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;
    QString simpleText() const;

    // While a command that changes files runs, every such command is disabled.
    void setCommandBusy(bool busy);
    bool isCommandBusy() const { return m_busy; }
    void addFileCommand(QAction* action);
    void addFileCommand(QWidget* widget);

    // Restores the window from the tray or the task bar and brings it to the front.
    void restoreToFront();
    // The socket later instances reach this one through (null before Form_Load).
    shell::SingleInstance* singleInstance() const { return m_instance.get(); }

    // The lock and unlock commands wired to this window's buttons, menus and toolbar.
    locking::LockingCommands* lockingCommands() const { return m_locking; }
    shell::MainWindowPortAdapter& lockingPort() { return *m_lockingPort; }

signals:
    // A lock toolbar button was pressed; its key.
    void lockToolbarClicked(const QString& key);
    void commandBusyChanged(bool busy);
    // The close was confirmed: the program ends.
    void exitConfirmed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenus();
    void buildMainPanel(QFrame* panel);
    void buildStatusBar();
    void fillDriveList();
    void browserStart();
    void browserStartRest();
    void addTrayIcon();
    void addRootNode(const std::string& key);
    void mShow_Click();
    void mHide_Click();
    void openDeploymentPage(const char* valueName);
    void onFolderMenuRequested(const QPoint& pos);
    void refillError(int number, const std::string& description);
    void setListTint(bool lockedFolder);
    void showFolderInStatus(const std::string& path);
    std::string recoveryMessage(core::RecoveryReport report) const;
    void refillBranch(QTreeWidgetItem* node, const std::string& oldKey);
    void showStartFolder();
    void watchShownFolders();
    void folderChangedOnDisk(const QString& hostFolder);
    void applyDiskChanges();
    void rebuildListKeepingTicks();
    QString listSignature() const;
    void setTabOrderOfMainPanel();
    void wireLockingCommands();
    // Creates the feature tabs' pages (wallet, favourites, shredder, viewer) and wires the feature
    // commands of the menus and the lock toolbar (mail, options). In FeaturePages.cpp.
    void buildFeaturePages();

    platform::Prompt& m_prompt;
    std::unique_ptr<CAppLog> m_log;
    std::unique_ptr<shell::SingleInstance> m_instance;
    std::string m_registerPath;
    std::string m_rootKey = "C:\\";
    bool m_busy = false;
    bool m_changingDrive = false;
    bool m_listGreen = false;

    QTabWidget* m_tabMain = nullptr;
    QFrame* m_fraMain[5] = {};
    QComboBox* m_drvDrives = nullptr;
    QTreeWidget* m_tvw1 = nullptr;
    FileListBox* m_filFiles = nullptr;
    QTreeWidget* m_lvwFiles = nullptr;
    QLineEdit* m_txtPassword1 = nullptr;
    QLineEdit* m_txtPassword2 = nullptr;
    QStatusBar* m_sbrMain = nullptr;
    QLabel* m_simpleText = nullptr;
    QLabel* m_panel[2] = {};
    QProgressBar* m_picProgress = nullptr;
    QToolBar* m_tbrLock = nullptr;
    QMenu* m_mnuFolder = nullptr;
    QMenu* m_mnuTray = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    std::vector<QPointer<QAction>> m_fileActions;
    std::vector<QPointer<QWidget>> m_fileWidgets;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_diskChanges = nullptr;    // gathers a burst of changes into one re-read
    std::set<QString> m_changedFolders; // host folders changed since the last re-read
    QString m_shownSignature;           // the files the list was built from (listSignature)
    std::unique_ptr<shell::MainWindowPortAdapter> m_lockingPort;
    locking::LockingCommands* m_locking = nullptr;
};
