#include "shell/BrowserPane.h"

#include "core/LockChecks.h"
#include "core/Recovery.h"
#include "core/Register.h"
#include "diagnostics/CAppLog.h"
#include "diagnostics/ErrorReport.h"
#include "platform/AsyncTask.h"
#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "shell/BrowserListing.h"
#include "shell/FileListBox.h"
#include "shell/GateWidgets.h"
#include "shell/Icons.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

namespace shell {

namespace {

// Errors are reported in the main window's name: the pane is part of it.
constexpr const char* kWindowName = "frmMain";

// Twips to pixels at 15 twips a pixel.
constexpr int px(int twips) {
    return twips / 15;
}

// Errors a refill expects from a file that vanished or cannot be read; they skip that file silently.
bool expectedFileError(platform::ErrorKind kind) {
    switch (kind) {
    case platform::ErrorKind::BadFileName:
    case platform::ErrorKind::FileNotFound:
    case platform::ErrorKind::FileAlreadyOpen:
    case platform::ErrorKind::DeviceIO:
    case platform::ErrorKind::InputPastEnd:
    case platform::ErrorKind::DeviceUnavailable:
    case platform::ErrorKind::PermissionDenied:
    case platform::ErrorKind::PathFileAccess:
    case platform::ErrorKind::PathNotFound:
        return true;
    default:
        return false;
    }
}

// Return or Enter in the widget it watches does what a click or double click on the current item
// does, so that the tree and the list are usable from the keyboard alone.
class EnterActivates final : public QObject {
public:
    EnterActivates(QObject* parent, std::function<void()> activate)
        : QObject(parent), m_activate(std::move(activate)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                m_activate();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_activate;
};

// Runs `work` on a worker thread and returns its result. Work that ends within `patience` is simply
// waited for; past that the window goes on painting (user input waits for the end, so nothing the
// work depends on changes meanwhile), with the busy cursor, and `waiting` is set while it runs.
template <class Work>
std::invoke_result_t<Work&> offTheWindowsThread(Work& work, std::chrono::milliseconds patience, int& waiting) {
    QEventLoop loop;
    auto done = platform::startAsync([&work, &loop] {
        // The loop hears of the end however the work ends (a result or an exception).
        struct QuitAtEnd {
            QEventLoop* loop;
            ~QuitAtEnd() { QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection); }
        } quit{&loop};
        return work();
    });
    if (!done.waitFor(patience)) {
        ++waiting;
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        QGuiApplication::restoreOverrideCursor();
        --waiting;
    }
    return done.take();
}

// Every item under `node`, the last child first and each one's branch before its elder siblings;
// `visit` returns whether to go on below the item (its children are taken after the visit).
template <class Visit> void walkBelow(QTreeWidgetItem* node, Visit&& visit) {
    std::vector<QTreeWidgetItem*> pending;
    for (int i = 0; i < node->childCount(); ++i)
        pending.push_back(node->child(i));
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        if (!visit(item))
            continue;
        for (int i = 0; i < item->childCount(); ++i)
            pending.push_back(item->child(i));
    }
}

} // namespace

BrowserPane::BrowserPane(platform::Prompt& prompt, QWidget* panel, QObject* parent)
    : QObject(parent), m_prompt(prompt) {
    // Left: drive list and folder tree.
    m_drvDrives = new QComboBox(panel);
    m_drvDrives->setObjectName(QStringLiteral("drvDrives"));
    m_tvw1 = new QTreeWidget(panel);
    m_tvw1->setObjectName(QStringLiteral("tvw1"));
    m_tvw1->setHeaderHidden(true);
    m_tvw1->setColumnCount(1);
    m_tvw1->setContextMenuPolicy(Qt::CustomContextMenu);
    m_tvw1->setMinimumWidth(px(3200));
    m_filFiles = new FileListBox(panel);
    // The pane's lists have no label beside them: assistive technology hears what each one holds (the
    // drive list is heard by its chosen drive).
    m_tvw1->setAccessibleName(QStringLiteral("Folders"));

    // Right: the file list.
    m_files = new FileListModel(this);
    m_lvwFiles = new QTreeView(panel);
    m_lvwFiles->setObjectName(QStringLiteral("lvwFiles"));
    m_lvwFiles->setModel(m_files);
    m_lvwFiles->setAccessibleName(QStringLiteral("Files"));
    m_lvwFiles->setRootIsDecorated(false);
    m_lvwFiles->setUniformRowHeights(true);
    m_lvwFiles->setAllColumnsShowFocus(true);
    // Rows may be selected several at a time: with no row ticked, the commands take the selected ones.
    m_lvwFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lvwFiles->setColumnWidth(0, px(5010));
    m_lvwFiles->setColumnWidth(1, px(1764));
    m_lvwFiles->setColumnWidth(2, px(2540));
    // The name takes the room there is, so that the columns fit the list's width: no horizontal
    // scroll bar while the sizes and types can be seen.
    m_lvwFiles->header()->setStretchLastSection(false);
    m_lvwFiles->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_lvwFiles->header()->setMinimumSectionSize(px(900));
    m_lvwFiles->setAutoFillBackground(true);
    m_lvwFiles->setAlternatingRowColors(false);
    m_lvwFiles->setIconSize(QSize(16, 16));
    // A click on a column's header sorts by it (the model sorts), a second click reverses; by name at
    // first. Another column starts ascending (the model's header says so).
    m_lvwFiles->header()->setSortIndicator(0, Qt::AscendingOrder);
    m_lvwFiles->setSortingEnabled(true);
    // The list's own menu (the right button, or the menu key), and what the status bar says of ticks.
    buildFileMenu();
    m_lvwFiles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_lvwFiles, &QWidget::customContextMenuRequested, this, &BrowserPane::onFileMenuRequested);
    connect(m_files, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.isEmpty() || roles.contains(Qt::CheckStateRole))
                    ticksMayHaveChanged();
            });
    connect(m_files, &QAbstractItemModel::modelReset, this, &BrowserPane::ticksMayHaveChanged);

    m_folders = new QWidget(panel);
    auto* foldersLayout = new QVBoxLayout(m_folders);
    foldersLayout->setContentsMargins(0, 0, 0, 0);
    foldersLayout->addWidget(m_drvDrives);
    foldersLayout->addWidget(m_tvw1, 1);

    connect(m_filFiles, &FileListBox::pathChanged, this, &BrowserPane::filFiles_PathChange);
    connect(m_drvDrives, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_changingDrive)
            drvDrives_Change();
    });
    connect(m_tvw1, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* node) { tvw1_NodeClick(node, false); });
    connect(m_tvw1, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* node) { tvw1_NodeClick(node, true); });
    connect(m_tvw1, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) {
        // Opening a node by its arrow fills it like a pick would.
        if (node->childCount() == 0)
            FillFolderNode(node);
        if (node->childCount() == 0)
            node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
        node->setIcon(0, shell::folderOpenIcon());
    });
    connect(m_tvw1, &QTreeWidget::itemCollapsed, this,
            [](QTreeWidgetItem* node) { node->setIcon(0, shell::folderClosedIcon()); });
    connect(m_tvw1, &QWidget::customContextMenuRequested, this, &BrowserPane::onFolderMenuRequested);
    // Arrow keys move through the tree; Return picks the folder, as a click does.
    m_tvw1->installEventFilter(new EnterActivates(m_tvw1, [this] {
        if (QTreeWidgetItem* node = m_tvw1->currentItem())
            tvw1_NodeClick(node, false);
    }));
    // Return or a double click on a row chooses it.
    connect(m_lvwFiles, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit fileChosen();
    });
    m_lvwFiles->installEventFilter(new EnterActivates(m_lvwFiles, [this] {
        if (m_lvwFiles->currentIndex().isValid())
            emit fileChosen();
    }));

    // The pane follows the disk: the folders it shows are watched, and a burst of changes (a copy of
    // many files, a run of another process) is read again once it has settled a little.
    m_watcher = new QFileSystemWatcher(this);
    m_diskChanges = new QTimer(this);
    m_diskChanges->setSingleShot(true);
    m_diskChanges->setInterval(150);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &BrowserPane::folderChangedOnDisk);
    connect(m_diskChanges, &QTimer::timeout, this, &BrowserPane::applyDiskChanges);
}

BrowserPane::~BrowserPane() = default;

void BrowserPane::setCommandBusy(bool busy) {
    m_busy = busy;
    // A command's own changes are read once it has ended.
    if (!busy && !m_changedFolders.empty())
        m_diskChanges->start();
}

void BrowserPane::fillDriveList() {
    m_changingDrive = true;
    m_drvDrives->clear();
    for (const platform::Drive& d : platform::drives().drives()) {
        const QString letter = QString(QChar::fromLatin1(static_cast<char>(std::tolower(d.letter))));
        m_drvDrives->addItem(QStringLiteral("%1: [%2]").arg(letter, shell::fromBytes(d.hostFolder)),
                             QString(QChar::fromLatin1(d.letter)));
    }
    m_changingDrive = false;
}

void BrowserPane::start() {
    fillDriveList();
    m_rootKey = "C:\\";
    addRootNode(m_rootKey);
}

void BrowserPane::startRest() {
    setDrive('C');
    setCurrentFolder("c:\\");
    showStartFolder();
}

// The tree opens down to the user's home folder and the list shows it, when drive C: holds it.
void BrowserPane::showStartFolder() {
    std::string home;
    try {
        home = platform::toWindows(QDir::homePath().toLocal8Bit().toStdString());
    } catch (const std::exception&) {
        return;
    }
    QTreeWidgetItem* node = m_tvw1->topLevelItem(0);
    if (!node || home.size() <= m_rootKey.size() || home.compare(0, m_rootKey.size(), m_rootKey) != 0)
        return;
    while (node && nodeKey(node) != home) {
        if (!node->data(0, FilledRole).toBool())
            FillFolderNode(node);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i) {
            const std::string key = nodeKey(node->child(i));
            if (home == key || home.compare(0, key.size() + 1, key + "\\") == 0)
                next = node->child(i);
        }
        if (!next)
            return; // not reachable through the tree: the drive root stays
        node->setExpanded(true);
        node->setIcon(0, shell::folderOpenIcon());
        node = next;
    }
    if (!node->data(0, FilledRole).toBool())
        FillFolderNode(node);
    node->setExpanded(true);
    node->setIcon(0, shell::folderOpenIcon());
    m_tvw1->setCurrentItem(node);
    m_tvw1->scrollToItem(node);
    setCurrentFolder(home);
    showFolderInStatus(home);
}

void BrowserPane::addRootNode(const std::string& key) {
    m_tvw1->clear();
    auto* root = new QTreeWidgetItem(m_tvw1);
    root->setText(0, shell::fromBytes(key));
    root->setData(0, TextRole, QByteArray::fromStdString(key));
    setNodeKey(root, key);
    root->setIcon(0, shell::folderOpenIcon());
    FillFolderNode(root);
    root->setExpanded(true);
    m_tvw1->setCurrentItem(root);
}

void BrowserPane::whenIdle(std::function<void()> call) {
    if (!putOffWhileReading(std::move(call)))
        call();
}

void BrowserPane::runDeferred() {
    if (m_waiting > 0 || m_deferred.empty())
        return;
    std::vector<std::function<void()>> calls;
    calls.swap(m_deferred);
    for (std::function<void()>& call : calls)
        whenIdle(std::move(call)); // what comes during a wait a call starts is put off again
}

// After a wait for a read, what was put off meanwhile runs from the event loop.
void BrowserPane::afterWait() {
    if (m_waiting == 0 && !m_deferred.empty())
        QTimer::singleShot(0, this, &BrowserPane::runDeferred);
}

void BrowserPane::setDrive(char letter) {
    if (putOffWhileReading([this, letter] { setDrive(letter); }))
        return;
    const QString wanted(QChar::fromLatin1(static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))));
    const int index = m_drvDrives->findData(wanted);
    if (index < 0)
        return;
    if (index == m_drvDrives->currentIndex())
        return;
    m_drvDrives->setCurrentIndex(index); // runs Drive change
}

std::string BrowserPane::nodeKey(const QTreeWidgetItem* node) {
    return node ? node->data(0, KeyRole).toByteArray().toStdString() : std::string();
}

void BrowserPane::setNodeKey(QTreeWidgetItem* node, const std::string& key) {
    node->setData(0, KeyRole, QByteArray::fromStdString(key));
}

std::vector<int> BrowserPane::selectedFileRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : m_lvwFiles->selectionModel()->selectedRows(0))
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int BrowserPane::currentFileRow() const {
    const QModelIndex current = m_lvwFiles->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void BrowserPane::setCurrentFileRow(int row) {
    if (putOffWhileReading([this, row] { setCurrentFileRow(row); }))
        return;
    const QModelIndex index = m_files->index(row, 0);
    if (!index.isValid())
        return;
    m_lvwFiles->setCurrentIndex(index);
    m_lvwFiles->scrollTo(index);
}

std::string BrowserPane::itemText(const QTreeWidgetItem* item) {
    if (!item)
        return std::string();
    const QVariant bytes = item->data(0, TextRole);
    return bytes.isValid() ? bytes.toByteArray().toStdString() : shell::toBytes(item->text(0));
}

std::string BrowserPane::selectedFolderKey() const {
    return nodeKey(m_tvw1->currentItem());
}

std::string BrowserPane::currentFolder() const {
    return m_filFiles->path();
}

void BrowserPane::setCurrentFolder(const std::string& folder) {
    if (putOffWhileReading([this, folder] { setCurrentFolder(folder); }))
        return;
    const bool another = folder != m_filFiles->path();
    m_filFiles->setPath(folder);
    watchShownFolders();
    if (another)
        emit currentFolderChanged();
}

std::vector<FolderNode> BrowserPane::subfoldersOf(const std::string& key) {
    auto work = [&key] { return shell::ListSubfolders(key); };
    std::vector<FolderNode> subfolders = offTheWindowsThread(work, m_patience, m_waiting);
    afterWait();
    // The list was asked for while the tree's read went on: it is read once the tree is done.
    if (m_listAgain && !m_filling) {
        m_listAgain = false;
        QTimer::singleShot(0, this, &BrowserPane::filFiles_PathChange);
    }
    return subfolders;
}

void BrowserPane::FillFolderNode(QTreeWidgetItem* node) {
    for (const shell::FolderNode& sub : subfoldersOf(nodeKey(node))) {
        auto* child = new QTreeWidgetItem(node);
        child->setText(0, shell::fromBytes(sub.text));
        child->setData(0, TextRole, QByteArray::fromStdString(sub.text));
        setNodeKey(child, sub.key);
        child->setIcon(0, shell::folderClosedIcon());
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    if (node->childCount() == 0)
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    node->setData(0, FilledRole, true);
    watchShownFolders();
}

void BrowserPane::syncFolderNode(QTreeWidgetItem* node, bool deep) {
    if (!node || !node->data(0, FilledRole).toBool())
        return;
    // Put off, the node is found again by its path once the wait is over.
    if (putOffWhileReading([this, key = nodeKey(node), deep] {
            for (QTreeWidgetItemIterator it(m_tvw1); *it; ++it)
                if (nodeKey(*it) == key) {
                    syncFolderNode(*it, deep);
                    return;
                }
        }))
        return;
    const std::vector<shell::FolderNode> listing = subfoldersOf(nodeKey(node));
    std::set<std::string> present;
    for (const shell::FolderNode& sub : listing)
        present.insert(sub.key);
    // Vanished folders go; when the selection was in one, it moves up to this node.
    QTreeWidgetItem* current = m_tvw1->currentItem();
    bool selectionGone = false;
    for (int i = node->childCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* child = node->child(i);
        if (present.count(nodeKey(child)))
            continue;
        for (QTreeWidgetItem* up = current; up; up = up->parent())
            selectionGone = selectionGone || up == child;
        delete node->takeChild(i);
    }
    // The rest keep their places (both follow the listing's order); new ones are put in between.
    for (std::size_t i = 0; i < listing.size(); ++i) {
        const shell::FolderNode& sub = listing[i];
        const int at = static_cast<int>(i);
        QTreeWidgetItem* child = at < node->childCount() ? node->child(at) : nullptr;
        if (child && nodeKey(child) == sub.key) {
            if (itemText(child) != sub.text) {
                child->setText(0, shell::fromBytes(sub.text));
                child->setData(0, TextRole, QByteArray::fromStdString(sub.text));
            }
            if (deep)
                syncFolderNode(child, true);
            continue;
        }
        auto* added = new QTreeWidgetItem;
        added->setText(0, shell::fromBytes(sub.text));
        added->setData(0, TextRole, QByteArray::fromStdString(sub.text));
        setNodeKey(added, sub.key);
        added->setIcon(0, shell::folderClosedIcon());
        added->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        node->insertChild(at, added);
    }
    node->setChildIndicatorPolicy(node->childCount() > 0 ? QTreeWidgetItem::ShowIndicator
                                                         : QTreeWidgetItem::DontShowIndicator);
    if (selectionGone) {
        m_tvw1->setCurrentItem(node);
        setCurrentFolder(nodeKey(node));
        showFolderInStatus(nodeKey(node));
    }
    watchShownFolders();
}

void BrowserPane::refreshBrowser() {
    if (m_busy)
        return;
    if (putOffWhileReading([this] { refreshBrowser(); }))
        return;
    QTreeWidgetItem* node = m_tvw1->currentItem();
    if (!node)
        node = m_tvw1->topLevelItem(0);
    if (node && !node->data(0, FilledRole).toBool()) {
        FillFolderNode(node);
    } else if (node) {
        // The parent too: the selected folder itself may have gone or been renamed.
        if (node->parent())
            syncFolderNode(node->parent(), false);
        syncFolderNode(m_tvw1->currentItem(), true);
    }
    rebuildListKeepingTicks();
}

QStringList BrowserPane::watchedFolders() const {
    return m_watcher->directories();
}

// Watches the host folders of the tree's read nodes and of the current folder.
void BrowserPane::watchShownFolders() {
    if (!m_watcher)
        return;
    QStringList wanted;
    const auto add = [&wanted](const std::string& windowsPath) {
        try {
            if (!windowsPath.empty())
                wanted << QString::fromLocal8Bit(platform::toHost(windowsPath));
        } catch (const std::exception&) {
            // A path outside every drive has no node in the tree to keep open.
        }
    };
    for (QTreeWidgetItemIterator it(m_tvw1); *it; ++it)
        if ((*it)->data(0, FilledRole).toBool())
            add(nodeKey(*it));
    if (m_filFiles)
        add(currentFolder());
    for (QString& path : wanted)
        path = QDir::cleanPath(path);
    wanted.removeDuplicates();
    const QStringList watched = m_watcher->directories();
    QStringList gone;
    for (const QString& path : watched)
        if (!wanted.contains(path))
            gone << path;
    if (!gone.isEmpty())
        m_watcher->removePaths(gone);
    QStringList fresh;
    for (const QString& path : wanted)
        if (!watched.contains(path) && QFileInfo(path).isDir())
            fresh << path;
    if (!fresh.isEmpty())
        m_watcher->addPaths(fresh);
}

void BrowserPane::folderChangedOnDisk(const QString& hostFolder) {
    m_changedFolders.insert(QDir::cleanPath(hostFolder));
    if (!m_busy)
        m_diskChanges->start();
}

// The changed folders read again: their nodes' subfolders, and the list when it shows one of them.
void BrowserPane::applyDiskChanges() {
    if (m_busy || m_changedFolders.empty())
        return;
    if (m_waiting) { // a folder is being read: the changes are read once it is done
        m_diskChanges->start();
        return;
    }
    const std::set<QString> changed = std::move(m_changedFolders);
    m_changedFolders.clear();
    const auto hostOf = [](const std::string& windowsPath) {
        try {
            return QDir::cleanPath(QString::fromLocal8Bit(platform::toHost(windowsPath)));
        } catch (const std::exception&) {
            return QString();
        }
    };
    std::vector<QTreeWidgetItem*> nodes;
    for (QTreeWidgetItemIterator it(m_tvw1); *it; ++it)
        if ((*it)->data(0, FilledRole).toBool() && changed.count(hostOf(nodeKey(*it))))
            nodes.push_back(*it);
    // Deepest first: a node deleted by its parent's re-read is never touched afterwards.
    std::sort(nodes.begin(), nodes.end(), [](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        int da = 0, db = 0;
        for (QTreeWidgetItem* up = a->parent(); up; up = up->parent())
            ++da;
        for (QTreeWidgetItem* up = b->parent(); up; up = up->parent())
            ++db;
        return da > db;
    });
    for (QTreeWidgetItem* node : nodes)
        syncFolderNode(node, false);
    // The list is built again only when its files changed (a command's own changes were shown by
    // the command already).
    if (changed.count(hostOf(currentFolder())) &&
        shell::FilesSignature(shell::FolderFiles(currentFolder())) != m_shownSignature)
        rebuildListKeepingTicks();
}

void BrowserPane::rebuildListKeepingTicks() {
    std::set<std::string> ticked, selected;
    const int current = currentFileRow();
    const std::string currentKey = current >= 0 ? m_files->row(current).key : std::string();
    for (int i = 0; i < m_files->rowCount(); ++i)
        if (m_files->isChecked(i))
            ticked.insert(m_files->row(i).key);
    for (int i : selectedFileRows())
        selected.insert(m_files->row(i).key);
    filFiles_PathChange();
    QItemSelection selection;
    QModelIndex currentIndex;
    for (int i = 0; i < m_files->rowCount(); ++i) {
        const std::string& key = m_files->row(i).key;
        if (ticked.count(key))
            m_files->setChecked(i, true);
        if (!currentKey.empty() && key == currentKey)
            currentIndex = m_files->index(i, 0);
        if (selected.count(key))
            selection.select(m_files->index(i, 0), m_files->index(i, m_files->columnCount() - 1));
    }
    QItemSelectionModel* selectionModel = m_lvwFiles->selectionModel();
    if (currentIndex.isValid())
        selectionModel->setCurrentIndex(currentIndex, QItemSelectionModel::NoUpdate);
    if (!selection.isEmpty())
        selectionModel->select(selection, QItemSelectionModel::Select);
}

void BrowserPane::drvDrives_Change() {
    const std::string driveText = shell::toBytes(m_drvDrives->currentText());
    const std::string drive = driveText.substr(0, 2);
    try {
        const DriveAcceptance acceptance = CheckDriveAcceptance(drive);
        if (!acceptance.accepted) {
            m_prompt.show(acceptance.message, platform::Buttons::OK,
                          acceptance.criticalIcon ? platform::Icon::Critical : platform::Icon::None);
            // Back to C: (which runs this again for C:); a refused C: itself stays as it is.
            if (!drive.empty() && std::toupper(static_cast<unsigned char>(drive[0])) != 'C')
                setDrive('C');
            return;
        }
        std::string key = drive;
        for (char& c : key)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        m_rootKey = key + "\\";
        addRootNode(m_rootKey);
        setCurrentFolder(AddBackslash(drive));
        emit folderCleared();
    } catch (const platform::SysError& e) {
        if (e.kind == platform::ErrorKind::DeviceUnavailable) {
            m_prompt.show("Device Unavailable or not ready. Please try again", platform::Buttons::OK,
                          platform::Icon::None);
            setDrive('C');
        } else {
            ReportError(kWindowName, e.number(), e.description(), "drvDrives_Change ");
        }
    } catch (const std::exception& e) {
        ReportError(kWindowName, platform::errorNumber(platform::ErrorKind::InvalidArgument), e.what(),
                    "drvDrives_Change ");
    }
}

void BrowserPane::tvw1_NodeClick(QTreeWidgetItem* node, bool doubleClick) {
    if (!node)
        return;
    const char* procedure = doubleClick ? "tvw1_DblClick" : "tvw1";
    try {
        // Fold the siblings.
        QTreeWidgetItem* parent = node->parent();
        const int count = parent ? parent->childCount() : m_tvw1->topLevelItemCount();
        for (int i = 0; i < count; ++i) {
            QTreeWidgetItem* sibling = parent ? parent->child(i) : m_tvw1->topLevelItem(i);
            if (sibling->text(0) != node->text(0)) {
                sibling->setExpanded(false);
                sibling->setIcon(0, shell::folderClosedIcon());
            }
        }
        if (node->childCount() == 0) {
            FillFolderNode(node);
            node->setExpanded(true);
            node->setIcon(0, shell::folderOpenIcon());
        }
        const std::string path = nodeKey(node);
        // A drive root is taken as it is; any other folder must still exist.
        const bool driveRoot = path.size() == 3 && path.substr(1, 2) == ":\\";
        if (driveRoot || CreateFolderPath(path, false)) {
            setCurrentFolder(path);
            showFolderInStatus(path);
        } else {
            showFolderInStatus(path);
            m_prompt.show("Path Not found. Please try again", platform::Buttons::OK, platform::Icon::None);
            m_files->clear();
            emit folderCleared();
            drvDrives_Change();
        }
    } catch (const platform::SysError& e) {
        if (e.kind == platform::ErrorKind::DeviceUnavailable || e.kind == platform::ErrorKind::PathNotFound) {
            m_prompt.show("Path Not found. Please try again", platform::Buttons::OK, platform::Icon::None);
            if (doubleClick)
                setDrive('C');
            else
                drvDrives_Change();
        } else if (m_log) {
            m_log->Log(CAppLog::Form, kWindowName, procedure, e.number(), e.description());
        }
    } catch (const std::exception& e) {
        if (m_log)
            m_log->Log(CAppLog::Form, kWindowName, procedure, 5, e.what());
    }
}

void BrowserPane::onFolderMenuRequested(const QPoint& pos) {
    // The folder commands work on the selected node: a right click on another folder picks it first,
    // so the menu never acts on a folder other than the one the user pointed at.
    QTreeWidgetItem* node = m_tvw1->itemAt(pos);
    if (node && nodeKey(node) != currentFolder()) {
        m_tvw1->setCurrentItem(node);
        tvw1_NodeClick(node, false);
    }
    emit folderMenuRequested(m_tvw1->viewport()->mapToGlobal(pos));
}

void BrowserPane::buildFileMenu() {
    m_mnuFiles = new QMenu(QStringLiteral("Files"), m_lvwFiles);
    m_mnuFiles->setObjectName(QStringLiteral("mnuFiles"));
    const auto add = [this](const char* name, const char* caption) {
        QAction* a = m_mnuFiles->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    add("mFilesOpen", "&Open");
    m_mnuFiles->addSeparator();
    // While rows are ticked the menu says, above the commands, that they act on those rows.
    m_filesTicked = add("mFilesTicked", "");
    m_filesTicked->setEnabled(false);
    m_filesTicked->setVisible(false);
    add("mFilesLock", "&Lock");
    add("mFilesUnlock", "&Unlock");
    add("mFilesShred", "&Shred");
    add("mFilesMail", "&Mail");
    m_mnuFiles->addSeparator();
    connect(add("mFilesProperties", "P&roperties"), &QAction::triggered, this, &BrowserPane::showProperties);
    m_mnuFiles->addSeparator();
    m_showHidden = new QAction(QStringLiteral("Show &Hidden Files"), this);
    m_showHidden->setObjectName(QStringLiteral("mShowHidden"));
    m_showHidden->setCheckable(true);
    m_showHidden->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    connect(m_showHidden, &QAction::toggled, this, [this] { whenIdle([this] { rebuildListKeepingTicks(); }); });
    m_mnuFiles->addAction(m_showHidden);
}

// The row under the mouse becomes the current one (and the only one selected, unless it is among
// the selected rows already), so that Open and Properties take the file the user pointed at.
void BrowserPane::onFileMenuRequested(const QPoint& pos) {
    const QModelIndex under = m_lvwFiles->indexAt(pos);
    if (under.isValid()) {
        const QModelIndex row = m_files->index(under.row(), 0);
        if (m_lvwFiles->selectionModel()->isRowSelected(under.row(), QModelIndex()))
            m_lvwFiles->selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
        else
            m_lvwFiles->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect |
                                                                   QItemSelectionModel::Rows);
    }
    const bool ticked = m_files->checkedCount() > 0;
    for (const char* name : {"mFilesOpen", "mFilesProperties"})
        m_mnuFiles->findChild<QAction*>(QString::fromLatin1(name))->setEnabled(under.isValid());
    for (const char* name : {"mFilesLock", "mFilesUnlock", "mFilesShred", "mFilesMail"})
        m_mnuFiles->findChild<QAction*>(QString::fromLatin1(name))->setEnabled(under.isValid() || ticked);
    m_filesTicked->setText(m_tickedRule);
    m_filesTicked->setVisible(ticked);
    m_mnuFiles->popup(m_lvwFiles->viewport()->mapToGlobal(pos));
}

QString BrowserPane::tickedRule() const {
    return m_tickedRule;
}

void BrowserPane::ticksMayHaveChanged() {
    const int ticked = m_files->checkedCount();
    const QString rule = ticked == 0 ? QString()
                                     : QStringLiteral("%1 ticked: commands act on the ticked %2")
                                           .arg(ticked)
                                           .arg(ticked == 1 ? QStringLiteral("file") : QStringLiteral("files"));
    if (rule == m_tickedRule)
        return;
    m_tickedRule = rule;
    emit tickedRuleChanged(rule);
}

void BrowserPane::showProperties() {
    const int row = currentFileRow();
    if (row < 0)
        return;
    const FileRow file = m_files->row(row);
    try {
        m_prompt.show(FileProperties(currentFolder(), file), platform::Buttons::OK, platform::Icon::Information,
                      "Properties");
    } catch (const platform::SysError& e) {
        m_prompt.show(core::Quoted(file.text) + " cannot be looked at: " + e.reason() + ".", platform::Buttons::OK,
                      platform::Icon::Critical, "Properties");
    }
}

void BrowserPane::refillError(platform::ErrorKind kind, const std::string& description) {
    if (!expectedFileError(kind))
        ReportError(kWindowName, platform::errorNumber(kind), description, "filFiles_PathChange");
}

void BrowserPane::filFiles_PathChange() {
    // Asked again while the window waits for a read (an event that does not wait for user input):
    // the list is read once more when the present read is done.
    if (m_waiting) {
        m_listAgain = true;
        return;
    }
    m_filling = true;
    struct FillingEnds {
        bool& filling;
        ~FillingEnds() { filling = false; }
    } fillingEnds{m_filling};
    do {
        m_listAgain = false;
        fillFileList();
    } while (m_listAgain);
}

void BrowserPane::fillFileList() {
    // Runs interrupted in the folder being listed are finished or rolled back first.
    if (core::HasAbandonedTemporaryFiles(currentFolder())) {
        const std::string recovered = recoveryMessage(core::RecoverFolders(m_registerPath, {currentFolder()}));
        if (!recovered.empty())
            m_prompt.show(recovered, platform::Buttons::OK, platform::Icon::Information);
    }
    setListTint(false);
    // The folder is read once, off the window's thread: its names go to filFiles, and the rows are
    // built from what that one pass read of each file. The files that could not be read are told of
    // here, in order.
    struct Read {
        std::vector<platform::FolderEntry> files;
        shell::FolderListing listing;
        std::vector<std::pair<platform::ErrorKind, std::string>> errors;
    };
    const std::string folder = currentFolder();
    auto work = [&folder] {
        Read read;
        read.files = shell::FolderFiles(folder);
        read.listing = shell::BuildRows(folder, read.files, [&read](platform::ErrorKind n, const std::string& d) {
            read.errors.emplace_back(n, d);
        });
        return read;
    };
    Read read = offTheWindowsThread(work, m_patience, m_waiting);
    afterWait();
    const std::vector<platform::FolderEntry>& files = read.files;
    shell::FolderListing& listing = read.listing;
    for (const auto& [kind, description] : read.errors)
        refillError(kind, description);
    std::vector<std::string> names;
    names.reserve(files.size());
    for (const platform::FolderEntry& file : files)
        names.push_back(file.name);
    m_filFiles->setNames(std::move(names));

    // Dot-files only while hidden files are shown.
    if (!m_showHidden->isChecked())
        listing.rows.erase(std::remove_if(listing.rows.begin(), listing.rows.end(), shell::IsDotFile),
                           listing.rows.end());
    // The model sorts the rows by the column and order the user chose, and takes them in one reset.
    const int count = static_cast<int>(listing.rows.size());
    m_files->setRows(std::move(listing.rows));
    m_shownSignature = shell::FilesSignature(files);
    // The rows shown, not the names on disk: a locked folder's desktop.ini is not one of the files.
    emit filesListed(count);
    setListTint(listing.lockedFolder);
}

// Inside a locked folder the list is tinted green: the desktop's own background moved towards
// green, so that text, check boxes and the selection keep the contrast the desktop's style gives
// them, in light and dark themes alike. The tint also has words for assistive technology.
void BrowserPane::setListTint(bool lockedFolder) {
    QPalette palette = QApplication::palette(m_lvwFiles);
    if (lockedFolder) {
        // Green of about the background's own lightness: a dark background stays dark, a light one
        // turns a pale green.
        const QColor base = palette.color(QPalette::Base);
        const double lightness = base.lightnessF();
        const bool dark = lightness < 0.5;
        const QColor tint = QColor::fromHslF(1.0 / 3.0, dark ? 0.6 : 1.0, dark ? lightness : lightness * 0.88);
        palette.setColor(QPalette::Base, tint);
        palette.setColor(QPalette::AlternateBase, tint);
    }
    m_lvwFiles->setPalette(palette);
    m_lvwFiles->setAccessibleDescription(lockedFolder ? QStringLiteral("Locked folder") : QString());
    m_listGreen = lockedFolder;
}

std::string BrowserPane::displayPath(const std::string& path) const {
    return core::ShownPath(m_registerPath, path);
}

// What a recovery sweep did, naming files inside locked folders by the folders' former names.
std::string BrowserPane::recoveryMessage(core::RecoveryReport report) const {
    return core::RecoveryMessage(report, [this](const std::string& path) { return displayPath(path); });
}

// Status bar panel 2: the folder as the user knows it; the path on disk as its tool tip.
void BrowserPane::showFolderInStatus(const std::string& path) {
    emit folderChanged(shell::fromBytes(displayPath(path)), shell::fromBytes(path));
}

void BrowserPane::selectedFolderMoved(const std::string& newPath) {
    if (putOffWhileReading([this, newPath] { selectedFolderMoved(newPath); }))
        return;
    QTreeWidgetItem* node = m_tvw1->currentItem();
    if (node) {
        const std::string oldKey = nodeKey(node);
        setNodeKey(node, newPath);
        const std::string name = GetFileNamePart(newPath);
        if (node->parent() && !name.empty()) {
            const std::string text = shell::FolderNodeText(name);
            node->setText(0, shell::fromBytes(text));
            node->setData(0, TextRole, QByteArray::fromStdString(text));
        }
        refillBranch(node, oldKey);
        m_tvw1->setCurrentItem(node);
    }
    setCurrentFolder(newPath);
    showFolderInStatus(newPath);
}

// Reads the subfolders of `node` (whose key is already the new path) again. Folders that were open
// under `oldKey` are opened again at the same place under the new key.
void BrowserPane::refillBranch(QTreeWidgetItem* node, const std::string& oldKey) {
    std::vector<std::string> open; // paths relative to the node, "\Sub\Deeper"
    walkBelow(node, [&](QTreeWidgetItem* item) {
        const std::string key = nodeKey(item);
        if (item->isExpanded() && key.compare(0, oldKey.size(), oldKey) == 0)
            open.push_back(key.substr(oldKey.size()));
        return true;
    });
    const bool wasOpen = node->isExpanded();
    qDeleteAll(node->takeChildren());
    FillFolderNode(node);
    const std::string newKey = nodeKey(node);
    walkBelow(node, [&](QTreeWidgetItem* item) {
        const std::string key = nodeKey(item);
        if (std::find(open.begin(), open.end(), key.substr(newKey.size())) == open.end())
            return false;
        FillFolderNode(item);
        item->setExpanded(true);
        item->setIcon(0, shell::folderOpenIcon());
        return true;
    });
    node->setExpanded(wasOpen || node->childCount() > 0);
    node->setIcon(0, node->isExpanded() ? shell::folderOpenIcon() : shell::folderClosedIcon());
}

} // namespace shell
