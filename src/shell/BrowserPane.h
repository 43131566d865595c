#pragma once
// The browser pane of the main window: the drive list, the folder tree and the file list, with
// their keys, the listing of a folder, the locked-folder tint, the refresh of a branch and the
// watcher that follows changes on disk. The window lays its widgets out and shows what it reports.

#include "platform/SysError.h"
#include "shell/FileListModel.h"

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class CAppLog;
class FileListBox;
class QAction;
class QComboBox;
class QMenu;
class QFileSystemWatcher;
class QTimer;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace platform {
class Prompt;
}

namespace core {
struct RecoveryReport;
}

namespace shell {

class BrowserPane final : public QObject {
    Q_OBJECT
public:
    // Item data roles of tvw1 and lvwFiles (lvwFiles' model, FileListModel, gives the same ones).
    static constexpr int KeyRole = FileListModel::KeyRole; // the path (tvw1) or name (lvwFiles) on disk, bytes
    static constexpr int SmallIconRole = FileListModel::SmallIconRole; // lvwFiles: "lock" on a locked file
    static constexpr int TextRole = FileListModel::TextRole;           // the shown name as bytes (tvw1 and lvwFiles)
    static constexpr int BytesRole = FileListModel::BytesRole; // lvwFiles: the file's size in bytes (-1: unknown)
    static constexpr int FilledRole = Qt::UserRole + 4;        // tvw1: the node's subfolders have been read

    // The widgets are made on `panel`; the window places them (folders() and lvwFiles()).
    BrowserPane(platform::Prompt& prompt, QWidget* panel, QObject* parent);
    ~BrowserPane() override;

    // The drive list above the folder tree, in one widget.
    QWidget* folders() const { return m_folders; }
    QComboBox* drvDrives() const { return m_drvDrives; }
    QTreeWidget* tvw1() const { return m_tvw1; }
    FileListBox* filFiles() const { return m_filFiles; }
    QTreeView* lvwFiles() const { return m_lvwFiles; }
    // The rows of lvwFiles, in the order shown.
    FileListModel* fileModel() const { return m_files; }
    // The selected rows of lvwFiles in list order.
    std::vector<int> selectedFileRows() const;
    // The current row of lvwFiles (the one the keyboard is on), -1 when none.
    int currentFileRow() const;
    // Makes `row` the current and only selected row of lvwFiles and scrolls it into view.
    void setCurrentFileRow(int row);

    // What the window gives the pane once it has it: the register (for the names of locked folders
    // and the recovery of a listed folder) and the log.
    void setRegisterPath(const std::string& registerPath) { m_registerPath = registerPath; }
    void setLog(CAppLog* log) { m_log = log; }
    // While a command that changes files runs, the pane neither refreshes nor follows the disk;
    // changes seen meanwhile are read once it ends.
    void setCommandBusy(bool busy);

    // Loading: the drive list and the root of drive C:, then drive C: picked and the list showing
    // the user's home folder when the tree reaches it.
    void start();
    void startRest();

    // Items' paths and names as bytes.
    static std::string nodeKey(const QTreeWidgetItem* node);
    static void setNodeKey(QTreeWidgetItem* node, const std::string& key);
    // The shown name of a node or row as bytes (the exact bytes the listing gave).
    static std::string itemText(const QTreeWidgetItem* item);
    std::string selectedFolderKey() const; // the key of tvw1's selected node, "" when none

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
    // How long the window simply waits for a folder to be read before it goes on painting while the
    // read ends (tests: zero takes every read that way).
    void setReadPatience(std::chrono::milliseconds patience) { m_patience = patience; }
    // Runs `call` now, or once the window no longer waits for a folder's read: while it waits, events
    // that are no user input still come (assistive technology's and the tray's D-Bus calls, a second
    // instance's files, timers), and what they ask of the tree or the list must not change them
    // under the read that is going on.
    void whenIdle(std::function<void()> call);
    bool isReading() const { return m_waiting > 0; }
    // The host folders the pane shows and watches for changes (for tests).
    QStringList watchedFolders() const;

    // "Show Hidden Files" (Ctrl+H, checkable, off at start): dot-files are listed only while it is on.
    // The window puts it in its View menu; the file list's menu has it too.
    QAction* showHiddenAction() const { return m_showHidden; }
    // The file list's context menu: Open (mFilesOpen), Lock (mFilesLock), Unlock (mFilesUnlock), Shred
    // (mFilesShred), Mail (mFilesMail), Properties (mFilesProperties), Show Hidden Files. The window
    // connects the first five to the commands its buttons and menus run; Properties is the pane's own.
    QMenu* mnuFiles() const { return m_mnuFiles; }
    // What the status bar says of the ticks: "3 ticked: commands act on the ticked files", "" when
    // no row is ticked.
    QString tickedRule() const;
    // Properties of the current row of lvwFiles, in a box.
    void showProperties();
    // A folder path as the status bar shows it: a locked folder the register knows by its former
    // name with " (locked)".
    std::string displayPath(const std::string& path) const;
    // What a recovery sweep did, naming files inside locked folders by the folders' former names.
    std::string recoveryMessage(core::RecoveryReport report) const;

signals:
    // The folder the user went to: as the status bar shows it, and its path on disk.
    void folderChanged(const QString& shown, const QString& onDisk);
    // The folder shown in the status bar no longer applies (another drive, a folder not found).
    void folderCleared();
    // The file list was built with `count` rows.
    void filesListed(int count);
    // A file of the list was chosen (a double click, or Return on the current row).
    void fileChosen();
    // The list shows another folder than before (a refresh of the same folder is no change).
    void currentFolderChanged();
    // The rows ticked changed: tickedRule() says what it means.
    void tickedRuleChanged(const QString& rule);
    // The tree's folder menu is wanted at `globalPos`; the node under it is selected already.
    void folderMenuRequested(const QPoint& globalPos);

private:
    void fillDriveList();
    void addRootNode(const std::string& key);
    void showStartFolder();
    void onFolderMenuRequested(const QPoint& pos);
    void buildFileMenu();
    void onFileMenuRequested(const QPoint& pos);
    void ticksMayHaveChanged();
    void refillError(platform::ErrorKind kind, const std::string& description);
    void setListTint(bool lockedFolder);
    void showFolderInStatus(const std::string& path);
    void refillBranch(QTreeWidgetItem* node, const std::string& oldKey);
    void watchShownFolders();
    void folderChangedOnDisk(const QString& hostFolder);
    void applyDiskChanges();
    // Keeps `call` for after the wait when the window waits for a read; false (and `call` left
    // alone) otherwise.
    template <class Call> bool putOffWhileReading(Call&& call) {
        if (m_waiting == 0)
            return false;
        m_deferred.emplace_back(std::forward<Call>(call));
        return true;
    }
    void runDeferred();
    void afterWait();
    void rebuildListKeepingTicks();
    std::vector<FolderNode> subfoldersOf(const std::string& key);
    void fillFileList();

    QWidget* m_folders = nullptr;
    QComboBox* m_drvDrives = nullptr;
    QTreeWidget* m_tvw1 = nullptr;
    FileListBox* m_filFiles = nullptr;
    QTreeView* m_lvwFiles = nullptr;
    FileListModel* m_files = nullptr;
    QMenu* m_mnuFiles = nullptr;
    QAction* m_filesTicked = nullptr; // the menu's note of the ticked rule (disabled)
    QAction* m_showHidden = nullptr;
    QString m_tickedRule;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_diskChanges = nullptr;    // gathers a burst of changes into one re-read
    std::set<QString> m_changedFolders; // host folders changed since the last re-read
    std::string m_shownSignature;       // the files the list was built from (FilesSignature)

    platform::Prompt& m_prompt;
    CAppLog* m_log = nullptr;
    std::string m_registerPath;
    std::string m_rootKey = "C:\\";
    bool m_busy = false;
    bool m_changingDrive = false;
    bool m_listGreen = false;
    std::chrono::milliseconds m_patience{100};
    int m_waiting = 0;                             // the window waits for a read off its thread (nested waits counted)
    std::vector<std::function<void()>> m_deferred; // calls put off until the wait ends
    bool m_listAgain = false;                      // the list was asked for meanwhile
    bool m_filling = false;                        // filFiles_PathChange is at work
};

} // namespace shell
