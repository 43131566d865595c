#include "shell/frmMain.h"

#include "core/LockChecks.h"
#include "core/Recovery.h"
#include "core/Register.h"
#include "diagnostics/CAppLog.h"
#include "diagnostics/ErrorReport.h"
#include "locking/LockingCommands.h"
#include "locking/frmSecurityVault.h"
#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/Opener.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "shell/AboutBox.h"
#include "shell/BrowserListing.h"
#include "shell/FileListBox.h"
#include "shell/GateWidgets.h"
#include "shell/HelpPages.h"
#include "shell/Icons.h"
#include "shell/MainWindowPortAdapter.h"
#include "shell/SingleInstance.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <exception>
#include <functional>
#include <utility>

namespace {

constexpr const char* kWindowName = "frmMain";
constexpr const char* kCaption = "Free - Tessaly";
constexpr const char* kOtherInstanceTitle = "Program already runnning - This App Will Be Closed";

// Twips to pixels at 15 twips a pixel.
constexpr int px(int twips) {
    return twips / 15;
}

QAction* makeAction(QObject* owner, const char* name, const char* caption) {
    auto* a = new QAction(QString::fromLatin1(caption), owner);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

QAction* makeSeparator(QObject* owner, const char* name) {
    auto* a = new QAction(owner);
    a->setObjectName(QString::fromLatin1(name));
    a->setSeparator(true);
    return a;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

// Errors a refill expects from a file that vanished or cannot be read; they skip that file silently.
bool expectedFileError(int number) {
    switch (number) {
    case 52:
    case 53:
    case 55:
    case 57:
    case 62:
    case 68:
    case 70:
    case 75:
    case 76:
        return true;
    default:
        return false;
    }
}

// A row of lvwFiles that sorts by what its columns mean: the name in natural order, the size by its
// byte count, the type without regard to case.
class FileRowItem final : public QTreeWidgetItem {
public:
    FileRowItem(const shell::FileRow& row)
        : QTreeWidgetItem(UserType), m_text(row.text), m_type(row.type), m_bytes(row.bytes) {}

    bool operator<(const QTreeWidgetItem& other) const override {
        const auto* o = dynamic_cast<const FileRowItem*>(&other);
        if (!o)
            return QTreeWidgetItem::operator<(other);
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        return shell::RowLess(static_cast<shell::FileColumn>(column), m_text, m_bytes, m_type, o->m_text, o->m_bytes,
                              o->m_type);
    }

private:
    std::string m_text;
    std::string m_type;
    std::int64_t m_bytes;
};

// A password box would take the window's own shortcuts (Ctrl+U deletes the line there): the
// shortcuts of the window's actions go to the actions instead, as from anywhere else in the window.
class WindowShortcutsFirst final : public QObject {
public:
    WindowShortcutsFirst(QWidget* window, QObject* parent) : QObject(parent), m_window(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride) {
            const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
            for (const QAction* a : m_window->actions()) {
                if (a->isEnabled() && a->shortcut() == pressed) {
                    event->ignore(); // not overridden: the shortcut runs
                    return true;
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget* m_window;
};

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

// Swallows the tool tip event of the widgets it watches.
class NoToolTip final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        return event->type() == QEvent::ToolTip || QObject::eventFilter(watched, event);
    }
};

} // namespace

frmMain::frmMain(platform::Prompt& prompt, QWidget* parent) : QMainWindow(parent), m_prompt(prompt) {
    setObjectName(QString::fromLatin1(kWindowName));
    setWindowTitle(QString::fromLatin1(kCaption));
    setWindowIcon(shell::appIcon());

    m_tabMain = new QTabWidget(this);
    m_tabMain->setObjectName(QStringLiteral("tabMain"));
    m_tabMain->setDocumentMode(false);
    for (int i = 0; i < 5; ++i) {
        m_fraMain[i] = new QFrame;
        m_fraMain[i]->setObjectName(QStringLiteral("fraMain%1").arg(i));
        m_fraMain[i]->setFrameShape(QFrame::NoFrame);
    }
    // Tab order: the four working tabs, then the image viewer's panel as a fifth tab.
    m_tabMain->addTab(m_fraMain[0], QStringLiteral("Main"));
    m_tabMain->addTab(m_fraMain[2], QStringLiteral("Favorites Manager"));
    m_tabMain->addTab(m_fraMain[3], QStringLiteral("Password Wallet"));
    m_tabMain->addTab(m_fraMain[4], QStringLiteral("File Shredder"));
    m_tabMain->addTab(m_fraMain[1], QStringLiteral("Image Viewer"));
    connect(m_tabMain, &QTabWidget::currentChanged, this, [this] { setPanelText(2, QString()); });

    auto* command1 = makeButton(this, "Command1", "E&xit");
    command1->hide(); // kept for callers that close the window through it
    connect(command1, &QPushButton::clicked, this, &QWidget::close);

    setCentralWidget(m_tabMain);
    // The pane follows the disk: the folders it shows are watched, and a burst of changes (a copy of
    // many files, a run of another process) is read again once it has settled a little.
    m_watcher = new QFileSystemWatcher(this);
    m_diskChanges = new QTimer(this);
    m_diskChanges->setSingleShot(true);
    m_diskChanges->setInterval(150);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &frmMain::folderChangedOnDisk);
    connect(m_diskChanges, &QTimer::timeout, this, &frmMain::applyDiskChanges);
    // A command's own changes are read once it has ended.
    connect(this, &frmMain::commandBusyChanged, this, [this](bool busy) {
        if (!busy && !m_changedFolders.empty())
            m_diskChanges->start();
    });
    buildMenus();
    buildMainPanel(m_fraMain[0]);
    buildStatusBar();
    wireLockingCommands();
    buildFeaturePages();
    resize(px(12600), px(9000));
}

frmMain::~frmMain() {
    // The vault windows and the commands read this window through the port: they go first.
    qDeleteAll(findChildren<locking::frmSecurityVault*>());
    delete m_locking;
    m_locking = nullptr;
}

QFrame* frmMain::fraMain(int index) const {
    return index >= 0 && index < 5 ? m_fraMain[index] : nullptr;
}

QAction* frmMain::action(const QString& name) const {
    return findChild<QAction*>(name);
}

QPushButton* frmMain::button(const QString& name) const {
    return findChild<QPushButton*>(name);
}

void frmMain::buildMenus() {
    auto* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    auto* mViewLockedFolders = makeAction(this, "mViewLockedFolders", "Security Vault");
    auto* mFileLockFiles = makeAction(this, "mFileLockFiles", "&Lock Files");
    auto* mFileUnlockFile = makeAction(this, "mFileUnlockFile", "&Unlock Files");
    auto* mFileLockFolder = makeAction(this, "mFileLockFolder", "Lock Folder");
    auto* mFileUnLockFolder = makeAction(this, "mFileUnLockFolder", "Unlock Folder");
    auto* mFileExit = makeAction(this, "mFileExit", "E&xit");
    mnuFile->addActions({mViewLockedFolders, makeSeparator(this, "mFileSep1"), mFileLockFiles, mFileUnlockFile,
                         makeSeparator(this, "mFileSep2"), mFileLockFolder, mFileUnLockFolder,
                         makeSeparator(this, "mFileSep3"), mFileExit});

    auto* mnuOptions = menuBar()->addMenu(QStringLiteral("&Options"));
    mnuOptions->setObjectName(QStringLiteral("mnuOptions"));
    mnuOptions->addAction(makeAction(this, "mOptionsPreferences", "&Preferences"));

    auto* mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    auto* mnuHP = makeAction(this, "mnuHP", "Help &Pages");
    auto* mnuVUO = makeAction(this, "mnuVUO", "Visit &Us Online");
    auto* mnuAbout = makeAction(this, "mnuAbout", "&About Tessaly");
    mnuHelp->addActions({mnuHP, makeSeparator(this, "mHelpSep1"), mnuVUO, makeSeparator(this, "mHelpSep2"), mnuAbout});
    connect(mnuHP, &QAction::triggered, this, [this] { shell::OpenHelpPages(m_prompt); });
    connect(mnuAbout, &QAction::triggered, this, [this] { shell::ShowAboutBox(this); });
    connect(mnuVUO, &QAction::triggered, this, [this] { openDeploymentPage(settings::kHomeUrl); });

    m_mnuTray = new QMenu(QStringLiteral("TrayMenu"), this);
    m_mnuTray->setObjectName(QStringLiteral("mnuTray"));
    auto* mShow = makeAction(this, "mShow", "&Show");
    auto* mHide = makeAction(this, "mHide", "&Hide");
    auto* mExit = makeAction(this, "mExit", "E&xit");
    m_mnuTray->addActions({mShow, mHide, makeSeparator(this, "mTrayMenuSep1"), mExit});
    connect(mShow, &QAction::triggered, this, &frmMain::mShow_Click);
    connect(mHide, &QAction::triggered, this, &frmMain::mHide_Click);
    connect(mExit, &QAction::triggered, this, &QWidget::close);
    connect(mFileExit, &QAction::triggered, this, &QWidget::close);

    m_mnuFolder = new QMenu(QStringLiteral("Folder"), this);
    m_mnuFolder->setObjectName(QStringLiteral("mnuFolder"));
    auto* mLockFolder = makeAction(this, "mLockFolder", "Lock Folder");
    mLockFolder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    auto* mUnLockFolder = makeAction(this, "mUnLockFolder", "Unlock Folder");
    mUnLockFolder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));
    auto* mLockFolderFiles = makeAction(this, "mLockFolderFiles", "Lock Folder and Files");
    auto* mUnLockFolderFiles = makeAction(this, "mUnLockFolderFiles", "Unlock Folder and files");
    auto* mShredFolderandFiles = makeAction(this, "mShredFolderandFiles", "Shred Folder and Files");
    auto* mRefresh = makeAction(this, "mRefresh", "&Refresh");
    mRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    connect(mRefresh, &QAction::triggered, this, &frmMain::refreshBrowser);
    m_mnuFolder->addActions({mLockFolder, mUnLockFolder, makeSeparator(this, "mFolderSep2"), mLockFolderFiles,
                             mUnLockFolderFiles, makeSeparator(this, "mFolderSep1"), mShredFolderandFiles,
                             makeSeparator(this, "mFolderSep3"), mRefresh});
    // The pop-up's shortcuts work from anywhere in the window.
    addActions({mLockFolder, mUnLockFolder, mRefresh});

    // Off while a command runs. The exits too: the window does not close before the command ends.
    for (QAction* a : {mFileLockFiles, mFileUnlockFile, mFileLockFolder, mFileUnLockFolder, mLockFolder, mUnLockFolder,
                       mLockFolderFiles, mUnLockFolderFiles, mShredFolderandFiles, mFileExit, mExit})
        addFileCommand(a);
}

void frmMain::buildMainPanel(QFrame* panel) {
    m_tbrLock = new QToolBar(panel);
    m_tbrLock->setObjectName(QStringLiteral("tbrLock"));
    m_tbrLock->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_tbrLock->setIconSize(QSize(24, 24));
    struct Tool {
        const char* key;
        const char* caption;
        const char* tip;
    };
    const Tool tools[] = {{"Lock", "Lock Files", nullptr},
                          {"Unlock", "Unlock Files", nullptr},
                          {"LockFolder", "Lock Folder", "Select Folder in the folder list and click on this button"},
                          {"UnlockFolder", "Unlock Folder", nullptr},
                          {"SafeVault", "Safe Vault", nullptr},
                          {"SendEmail", "Send Email", nullptr}};
    auto* noTip = new NoToolTip(m_tbrLock);
    for (const Tool& t : tools) {
        QAction* a = makeAction(this, t.key, t.caption);
        a->setData(QString::fromLatin1(t.key));
        a->setIcon(shell::toolbarIcon(QString::fromLatin1(t.key)));
        m_tbrLock->addAction(a);
        if (t.tip)
            a->setToolTip(QString::fromLatin1(t.tip));
        else // Qt would show the caption as the tip: a button without a tip of its own shows none
            m_tbrLock->widgetForAction(a)->installEventFilter(noTip);
        // The modal vault does not open while a command runs.
        if (QString::fromLatin1(t.key) != QLatin1String("SendEmail"))
            addFileCommand(a);
    }
    connect(m_tbrLock, &QToolBar::actionTriggered, this,
            [this](QAction* a) { emit lockToolbarClicked(a->data().toString()); });
    auto* imgSoftwarePic = new QLabel(panel);
    imgSoftwarePic->setObjectName(QStringLiteral("imgSoftwarePic"));
    imgSoftwarePic->setPixmap(shell::appIcon().pixmap(32, 32));

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

    // Right: the file list with the password boxes and the commands under it.
    m_lvwFiles = new QTreeWidget(panel);
    m_lvwFiles->setObjectName(QStringLiteral("lvwFiles"));
    m_lvwFiles->setAccessibleName(QStringLiteral("Files"));
    m_lvwFiles->setRootIsDecorated(false);
    m_lvwFiles->setUniformRowHeights(true);
    m_lvwFiles->setAllColumnsShowFocus(true);
    // Rows may be selected several at a time: with no row ticked, the commands take the selected ones.
    m_lvwFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lvwFiles->setColumnCount(3);
    m_lvwFiles->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Type")});
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
    // A click on a column's header sorts by it, a second click reverses; by name at first.
    for (int column = 0; column < 3; ++column) // another column starts ascending
        m_lvwFiles->headerItem()->setData(column, Qt::InitialSortOrderRole, static_cast<int>(Qt::AscendingOrder));
    m_lvwFiles->header()->setSortIndicator(0, Qt::AscendingOrder);
    m_lvwFiles->setSortingEnabled(true);

    auto* lblPassword = new QLabel(QStringLiteral("Password"), panel);
    lblPassword->setObjectName(QStringLiteral("lblPassword"));
    auto* lblConfirm = new QLabel(QStringLiteral("Confirm Password"), panel);
    lblConfirm->setObjectName(QStringLiteral("lblConfirmPassword"));
    m_txtPassword1 = shell::makePasswordBox(QStringLiteral("txtPassword1"), panel);
    m_txtPassword2 = shell::makePasswordBox(QStringLiteral("txtPassword2"), panel);
    lblPassword->setBuddy(m_txtPassword1);
    lblConfirm->setBuddy(m_txtPassword2);
    auto* shortcutsFirst = new WindowShortcutsFirst(this, this);
    m_txtPassword1->installEventFilter(shortcutsFirst);
    m_txtPassword2->installEventFilter(shortcutsFirst);
    auto* imgPasswordIcon = new QLabel(panel);
    imgPasswordIcon->setObjectName(QStringLiteral("imgPasswordIcon"));
    imgPasswordIcon->setPixmap(shell::lockIcon().pixmap(32, 32));

    auto* cmdLock = makeButton(panel, "cmdLock", "Lock");
    cmdLock->setIcon(shell::toolbarIcon(QStringLiteral("Lock")));
    auto* cmdUnlock = makeButton(panel, "cmdUnlock", "Unlock");
    cmdUnlock->setIcon(shell::toolbarIcon(QStringLiteral("Unlock")));
    auto* cmdSelectAll = makeButton(panel, "cmdSelectAll", "&Select All");
    auto* cmdDeselectAll = makeButton(panel, "cmdDeselectAll", "Deselect All");
    auto* cmdSendEmail = makeButton(panel, "cmdSendEmail", "Send to Mail Recipient");
    auto* cmdExit = makeButton(panel, "cmdExit", "E&xit");
    connect(cmdExit, &QPushButton::clicked, this, &QWidget::close);

    auto* left = new QWidget(panel);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_drvDrives);
    leftLayout->addWidget(m_tvw1, 1);

    auto* passwords = new QGridLayout;
    passwords->addWidget(imgPasswordIcon, 0, 0, 2, 1, Qt::AlignCenter);
    passwords->addWidget(lblPassword, 0, 1);
    passwords->addWidget(m_txtPassword1, 0, 2);
    passwords->addWidget(lblConfirm, 1, 1);
    passwords->addWidget(m_txtPassword2, 1, 2);
    passwords->addWidget(cmdLock, 0, 3);
    passwords->addWidget(cmdUnlock, 1, 3);
    passwords->setColumnStretch(4, 1);
    auto* commands = new QHBoxLayout;
    commands->addWidget(cmdSelectAll);
    commands->addWidget(cmdDeselectAll);
    commands->addWidget(cmdSendEmail);
    commands->addStretch();
    commands->addWidget(cmdExit);

    auto* right = new QWidget(panel);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(m_lvwFiles, 1);
    rightLayout->addLayout(passwords);
    rightLayout->addLayout(commands);

    auto* splitter = new QSplitter(Qt::Horizontal, panel);
    splitter->setObjectName(QStringLiteral("splBrowser"));
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);

    auto* top = new QHBoxLayout;
    top->addWidget(m_tbrLock, 1);
    top->addWidget(imgSoftwarePic);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);

    for (QWidget* w :
         {static_cast<QWidget*>(cmdLock), static_cast<QWidget*>(cmdUnlock), static_cast<QWidget*>(cmdSelectAll),
          static_cast<QWidget*>(cmdDeselectAll), static_cast<QWidget*>(m_drvDrives), static_cast<QWidget*>(m_tvw1),
          static_cast<QWidget*>(m_lvwFiles), static_cast<QWidget*>(cmdExit)})
        addFileCommand(w);
    setTabOrderOfMainPanel();

    connect(m_filFiles, &FileListBox::pathChanged, this, &frmMain::filFiles_PathChange);
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
    connect(m_tvw1, &QWidget::customContextMenuRequested, this, &frmMain::onFolderMenuRequested);
    // Arrow keys move through the tree; Return picks the folder, as a click does.
    m_tvw1->installEventFilter(new EnterActivates(m_tvw1, [this] {
        if (QTreeWidgetItem* node = m_tvw1->currentItem())
            tvw1_NodeClick(node, false);
    }));
}

// Tab goes through the pane as it is laid out: drive list, tree, file list, the password boxes, the
// commands under them.
void frmMain::setTabOrderOfMainPanel() {
    const char* chain[] = {"txtPassword1", "txtPassword2",   "cmdLock",      "cmdUnlock",
                           "cmdSelectAll", "cmdDeselectAll", "cmdSendEmail", "cmdExit"};
    QWidget* previous = m_lvwFiles;
    setTabOrder(m_drvDrives, m_tvw1);
    setTabOrder(m_tvw1, m_lvwFiles);
    for (const char* name : chain) {
        QWidget* next = m_fraMain[0]->findChild<QWidget*>(QString::fromLatin1(name));
        setTabOrder(previous, next);
        previous = next;
    }
}

void frmMain::wireLockingCommands() {
    m_lockingPort = std::make_unique<shell::MainWindowPortAdapter>(*this);
    m_locking = new locking::LockingCommands(*m_lockingPort, this, this);
    locking::LockingCommands* commands = m_locking;

    connect(button(QStringLiteral("cmdLock")), &QPushButton::clicked, commands,
            &locking::LockingCommands::cmdLock_click);
    connect(button(QStringLiteral("cmdUnlock")), &QPushButton::clicked, commands,
            &locking::LockingCommands::cmdUnlock_click);
    // Return in the confirmation box locks, as the two boxes were filled for it.
    connect(m_txtPassword2, &QLineEdit::returnPressed, this, [this] { button(QStringLiteral("cmdLock"))->click(); });
    connect(button(QStringLiteral("cmdSelectAll")), &QPushButton::clicked, commands,
            &locking::LockingCommands::cmdSelectAll_click);
    connect(button(QStringLiteral("cmdDeselectAll")), &QPushButton::clicked, commands,
            &locking::LockingCommands::cmdDeselectAll_click);
    connect(m_lvwFiles, &QTreeWidget::itemDoubleClicked, commands, &locking::LockingCommands::lvwFiles_DblClick);
    // Return on a row opens it as a double click does.
    m_lvwFiles->installEventFilter(new EnterActivates(m_lvwFiles, [this, commands] {
        if (m_lvwFiles->currentItem())
            commands->lvwFiles_DblClick();
    }));
    connect(this, &frmMain::lockToolbarClicked, commands, &locking::LockingCommands::tbrLock_ButtonClick);

    struct MenuCommand {
        const char* name;
        void (locking::LockingCommands::*handler)();
    };
    const MenuCommand menuCommands[] = {
        {"mFileLockFiles", &locking::LockingCommands::mFileLockFiles_click},
        {"mFileUnlockFile", &locking::LockingCommands::mFileUnlockFile_click},
        {"mFileLockFolder", &locking::LockingCommands::mFileLockFolder_click},
        {"mFileUnLockFolder", &locking::LockingCommands::mFileUnLockFolder_click},
        {"mViewLockedFolders", &locking::LockingCommands::mViewLockedFolders_click},
        {"mLockFolder", &locking::LockingCommands::mLockFolder_click},
        {"mUnLockFolder", &locking::LockingCommands::mUnLockFolder_click},
        {"mLockFolderFiles", &locking::LockingCommands::mLockFolderFiles_click},
        {"mUnLockFolderFiles", &locking::LockingCommands::mUnLockFolderFiles_click},
    };
    for (const MenuCommand& m : menuCommands) {
        const auto handler = m.handler;
        connect(action(QString::fromLatin1(m.name)), &QAction::triggered, commands,
                [commands, handler] { (commands->*handler)(); });
    }

    // Every Security Vault follows the busy switch: while any command that changes files runs, its
    // unlock buttons are off as well.
    connect(this, &frmMain::commandBusyChanged, this, [this](bool busy) {
        for (locking::frmSecurityVault* vault : findChildren<locking::frmSecurityVault*>())
            vault->setCommandsEnabled(!busy);
    });
}

void frmMain::buildStatusBar() {
    m_sbrMain = new QStatusBar(this);
    m_sbrMain->setObjectName(QStringLiteral("sbrMain"));
    m_sbrMain->setSizeGripEnabled(true);
    m_simpleText = new QLabel(m_sbrMain);
    m_simpleText->setObjectName(QStringLiteral("sbrMainSimpleText"));
    m_simpleText->setMinimumWidth(px(2000));
    for (int i = 0; i < 2; ++i) {
        m_panel[i] = new QLabel(m_sbrMain);
        m_panel[i]->setObjectName(QStringLiteral("sbrMainPanel%1").arg(i + 1));
        m_panel[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    m_panel[0]->hide(); // shown only while it holds a text
    m_picProgress = new QProgressBar(m_sbrMain);
    m_picProgress->setObjectName(QStringLiteral("picProgress"));
    m_picProgress->setTextVisible(false);
    m_picProgress->hide();
    m_sbrMain->addWidget(m_simpleText);
    m_sbrMain->addWidget(m_panel[0]);
    m_sbrMain->addWidget(m_panel[1], 1);
    m_sbrMain->addWidget(m_picProgress, 1);
    setStatusBar(m_sbrMain);
}

// ---- Loading ------------------------------------------------------------------------------------

frmMain::LoadResult frmMain::Form_Load() {
    try {
        // 1. The application log.
        m_log = std::make_unique<CAppLog>(m_prompt);
        m_log->AuthorEmailAddress = settings::kDeveloperAddress;

        // 2. Another instance running: bring it to the front and end this one.
        m_instance = std::make_unique<shell::SingleInstance>();
        const QString keptTitle = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QString::fromLatin1(kOtherInstanceTitle));
        if (m_instance->activatePrevious())
            return LoadResult::OtherInstanceActivated;
        QCoreApplication::setApplicationName(keptTitle);
        m_instance->listen();
        connect(m_instance.get(), &shell::SingleInstance::activateRequested, this, &frmMain::restoreToFront);

        // 3. The folder tree's root "C:\".
        browserStart();
        // 4. The register file.
        m_registerPath = core::RegisterPath();
        core::EnsureRegister(m_registerPath);
        // Runs that a crash or a kill interrupted are finished or rolled back before anything is shown.
        const std::string recovered =
            recoveryMessage(core::RecoverFolders(m_registerPath, core::RegisterFolders(m_registerPath)));
        if (!recovered.empty())
            m_prompt.show(recovered, platform::Buttons::OK, platform::Icon::Information);
        // 5. Drive "c:", current folder "c:\".
        browserStartRest();
        // 6. The tray icon.
        addTrayIcon();
        // 7. The shell display values.
        SaveLong(HKEY_CURRENT_USER, settings::kAdvancedKey, settings::kShowSuperHidden, 0);
        SaveLong(HKEY_CURRENT_USER, settings::kAdvancedKey, settings::kHidden, 0);
        SaveLong(HKEY_CURRENT_USER, settings::kAdvancedKey, settings::kSuperHidden, 0);
    } catch (const platform::SysError& e) {
        ReportError(kWindowName, e.number, e.description(), "Form_Load");
    } catch (const std::exception& e) {
        ReportError(kWindowName, 5, e.what(), "Form_Load");
    }
    return LoadResult::Loaded;
}

void frmMain::fillDriveList() {
    m_changingDrive = true;
    m_drvDrives->clear();
    for (const platform::Drive& d : platform::drives().drives()) {
        const QString letter = QString(QChar::fromLatin1(static_cast<char>(std::tolower(d.letter))));
        m_drvDrives->addItem(QStringLiteral("%1: [%2]").arg(letter, shell::fromBytes(d.hostFolder)),
                             QString(QChar::fromLatin1(d.letter)));
    }
    m_changingDrive = false;
}

void frmMain::browserStart() {
    fillDriveList();
    m_rootKey = "C:\\";
    addRootNode(m_rootKey);
}

void frmMain::browserStartRest() {
    setDrive('C');
    setCurrentFolder("c:\\");
    showStartFolder();
}

// The tree opens down to the user's home folder and the list shows it, when drive C: holds it.
void frmMain::showStartFolder() {
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

void frmMain::addRootNode(const std::string& key) {
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

void frmMain::setDrive(char letter) {
    const QString wanted(QChar::fromLatin1(static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))));
    const int index = m_drvDrives->findData(wanted);
    if (index < 0)
        return;
    if (index == m_drvDrives->currentIndex())
        return;
    m_drvDrives->setCurrentIndex(index); // runs Drive change
}

// ---- Browser pane --------------------------------------------------------------------------------

std::string frmMain::nodeKey(const QTreeWidgetItem* node) {
    return node ? node->data(0, KeyRole).toByteArray().toStdString() : std::string();
}

void frmMain::setNodeKey(QTreeWidgetItem* node, const std::string& key) {
    node->setData(0, KeyRole, QByteArray::fromStdString(key));
}

std::string frmMain::rowKey(const QTreeWidgetItem* row) {
    return row ? row->data(0, KeyRole).toByteArray().toStdString() : std::string();
}

std::string frmMain::itemText(const QTreeWidgetItem* item) {
    if (!item)
        return std::string();
    const QVariant bytes = item->data(0, TextRole);
    return bytes.isValid() ? bytes.toByteArray().toStdString() : shell::toBytes(item->text(0));
}

std::string frmMain::selectedFolderKey() const {
    return nodeKey(m_tvw1->currentItem());
}

std::string frmMain::currentFolder() const {
    return m_filFiles->path();
}

void frmMain::setCurrentFolder(const std::string& folder) {
    m_filFiles->setPath(folder);
    watchShownFolders();
}

void frmMain::FillFolderNode(QTreeWidgetItem* node) {
    for (const shell::FolderNode& sub : shell::ListSubfolders(nodeKey(node))) {
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

void frmMain::syncFolderNode(QTreeWidgetItem* node, bool deep) {
    if (!node || !node->data(0, FilledRole).toBool())
        return;
    const std::vector<shell::FolderNode> listing = shell::ListSubfolders(nodeKey(node));
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

void frmMain::refreshBrowser() {
    if (m_busy)
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

QStringList frmMain::watchedFolders() const {
    return m_watcher->directories();
}

// Watches the host folders of the tree's read nodes and of the current folder.
void frmMain::watchShownFolders() {
    if (!m_watcher)
        return;
    QStringList wanted;
    const auto add = [&wanted](const std::string& windowsPath) {
        try {
            if (!windowsPath.empty())
                wanted << QString::fromLocal8Bit(platform::toHost(windowsPath));
        } catch (const std::exception&) {
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

void frmMain::folderChangedOnDisk(const QString& hostFolder) {
    m_changedFolders.insert(QDir::cleanPath(hostFolder));
    if (!m_busy)
        m_diskChanges->start();
}

// The changed folders read again: their nodes' subfolders, and the list when it shows one of them.
void frmMain::applyDiskChanges() {
    if (m_busy || m_changedFolders.empty())
        return;
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
    if (changed.count(hostOf(currentFolder())) && listSignature() != m_shownSignature)
        rebuildListKeepingTicks();
}

// The names, sizes and change times of the current folder's files, as one text.
QString frmMain::listSignature() const {
    QString host;
    try {
        host = QString::fromLocal8Bit(platform::toHost(currentFolder()));
    } catch (const std::exception&) {
        return QString();
    }
    QString signature;
    const QFileInfoList files =
        QDir(host).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& file : files)
        signature += file.fileName() + QLatin1Char('/') + QString::number(file.size()) + QLatin1Char('/') +
                     QString::number(file.lastModified().toMSecsSinceEpoch()) + QLatin1Char('\n');
    return signature;
}

void frmMain::rebuildListKeepingTicks() {
    std::set<std::string> ticked, selected;
    std::string currentRow = rowKey(m_lvwFiles->currentItem());
    for (int i = 0; i < m_lvwFiles->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = m_lvwFiles->topLevelItem(i);
        if (row->checkState(0) == Qt::Checked)
            ticked.insert(rowKey(row));
        if (row->isSelected())
            selected.insert(rowKey(row));
    }
    filFiles_PathChange();
    for (int i = 0; i < m_lvwFiles->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = m_lvwFiles->topLevelItem(i);
        const std::string key = rowKey(row);
        if (ticked.count(key))
            row->setCheckState(0, Qt::Checked);
        if (key == currentRow)
            m_lvwFiles->setCurrentItem(row, 0, QItemSelectionModel::NoUpdate);
        if (selected.count(key))
            row->setSelected(true);
    }
}

void frmMain::drvDrives_Change() {
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
        setPanelText(2, QString());
    } catch (const platform::SysError& e) {
        if (e.number == 68) {
            m_prompt.show("Device Unavailable or not ready. Please try again", platform::Buttons::OK,
                          platform::Icon::None);
            setDrive('C');
        } else {
            ReportError(kWindowName, e.number, e.description(), "drvDrives_Change ");
        }
    } catch (const std::exception& e) {
        ReportError(kWindowName, 5, e.what(), "drvDrives_Change ");
    }
}

void frmMain::tvw1_NodeClick(QTreeWidgetItem* node, bool doubleClick) {
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
            m_lvwFiles->clear();
            setPanelText(2, QString());
            drvDrives_Change();
        }
    } catch (const platform::SysError& e) {
        if (e.number == 68 || e.number == 76) {
            m_prompt.show("Path Not found. Please try again", platform::Buttons::OK, platform::Icon::None);
            if (doubleClick)
                setDrive('C');
            else
                drvDrives_Change();
        } else if (m_log) {
            m_log->Log(CAppLog::Form, kWindowName, procedure, e.number, e.description());
        }
    } catch (const std::exception& e) {
        if (m_log)
            m_log->Log(CAppLog::Form, kWindowName, procedure, 5, e.what());
    }
}

void frmMain::onFolderMenuRequested(const QPoint& pos) {
    // The folder commands work on the selected node: a right click on another folder picks it first,
    // so the menu never acts on a folder other than the one the user pointed at.
    QTreeWidgetItem* node = m_tvw1->itemAt(pos);
    if (node && nodeKey(node) != currentFolder()) {
        m_tvw1->setCurrentItem(node);
        tvw1_NodeClick(node, false);
    }
    m_mnuFolder->popup(m_tvw1->viewport()->mapToGlobal(pos));
}

void frmMain::refillError(int number, const std::string& description) {
    if (!expectedFileError(number))
        ReportError(kWindowName, number, description, "filFiles_PathChange");
}

void frmMain::filFiles_PathChange() {
    // Runs interrupted in the folder being listed are finished or rolled back first.
    if (core::HasAbandonedTemporaryFiles(currentFolder())) {
        const std::string recovered = recoveryMessage(core::RecoverFolders(m_registerPath, {currentFolder()}));
        if (!recovered.empty())
            m_prompt.show(recovered, platform::Buttons::OK, platform::Icon::Information);
    }
    m_filFiles->refresh();
    // Sorting stays off while the rows go in (they come sorted by name); it sorts once at the end,
    // by the column the user chose.
    m_lvwFiles->setSortingEnabled(false);
    m_lvwFiles->clear();
    setListTint(false);

    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(m_filFiles->count()));
    for (int i = 0; i < m_filFiles->count(); ++i)
        names.push_back(m_filFiles->name(i));
    const shell::FolderListing listing =
        shell::BuildRows(currentFolder(), names, [this](int n, const std::string& d) { refillError(n, d); });

    const QIcon lock = shell::lockIcon();
    // Plain rows get an empty picture of the same size, so every name starts in the same column.
    QPixmap blankPixmap(16, 16);
    blankPixmap.fill(Qt::transparent);
    const QIcon blank(blankPixmap);
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(listing.rows.size()));
    for (const shell::FileRow& row : listing.rows) {
        auto* item = new FileRowItem(row);
        item->setData(0, KeyRole, QByteArray::fromStdString(row.key));
        item->setText(0, shell::fromBytes(row.text));
        item->setData(0, TextRole, QByteArray::fromStdString(row.text));
        item->setText(1, shell::fromBytes(row.size));
        item->setData(1, BytesRole, static_cast<qlonglong>(row.bytes));
        item->setText(2, shell::fromBytes(row.type));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
        if (row.lockIcon) {
            item->setIcon(0, lock);
            item->setData(0, SmallIconRole, QStringLiteral("lock"));
        } else {
            item->setIcon(0, blank);
        }
        items.append(item);
    }
    m_lvwFiles->addTopLevelItems(items);
    m_lvwFiles->setSortingEnabled(true);
    m_shownSignature = listSignature();
    // The rows shown, not the names on disk: a locked folder's desktop.ini is not one of the files.
    m_simpleText->setText(QStringLiteral("Total Files: %1").arg(items.size()));
    setListTint(listing.lockedFolder);
}

// Inside a locked folder the list is tinted green: the desktop's own background moved towards
// green, so that text, check boxes and the selection keep the contrast the desktop's style gives
// them, in light and dark themes alike. The tint also has words for assistive technology.
void frmMain::setListTint(bool lockedFolder) {
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

std::string frmMain::displayPath(const std::string& path) const {
    return core::ShownPath(m_registerPath, path);
}

// What a recovery sweep did, naming files inside locked folders by the folders' former names.
std::string frmMain::recoveryMessage(core::RecoveryReport report) const {
    for (auto* paths : {&report.restored, &report.discarded, &report.abandoned, &report.mended, &report.dropped})
        for (std::string& path : *paths)
            path = displayPath(path);
    return core::RecoveryMessage(report);
}

// Status bar panel 2: the folder as the user knows it; the path on disk as its tool tip.
void frmMain::showFolderInStatus(const std::string& path) {
    setPanelText(2, shell::fromBytes(displayPath(path)));
    m_panel[1]->setToolTip(shell::fromBytes(path));
}

void frmMain::selectedFolderMoved(const std::string& newPath) {
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
void frmMain::refillBranch(QTreeWidgetItem* node, const std::string& oldKey) {
    std::vector<std::string> open; // paths relative to the node, "\Sub\Deeper"
    std::vector<QTreeWidgetItem*> pending;
    for (int i = 0; i < node->childCount(); ++i)
        pending.push_back(node->child(i));
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        const std::string key = nodeKey(item);
        if (item->isExpanded() && key.compare(0, oldKey.size(), oldKey) == 0)
            open.push_back(key.substr(oldKey.size()));
        for (int i = 0; i < item->childCount(); ++i)
            pending.push_back(item->child(i));
    }
    const bool wasOpen = node->isExpanded();
    qDeleteAll(node->takeChildren());
    FillFolderNode(node);
    const std::string newKey = nodeKey(node);
    std::vector<QTreeWidgetItem*> toOpen;
    for (int i = 0; i < node->childCount(); ++i)
        toOpen.push_back(node->child(i));
    while (!toOpen.empty()) {
        QTreeWidgetItem* item = toOpen.back();
        toOpen.pop_back();
        const std::string key = nodeKey(item);
        if (std::find(open.begin(), open.end(), key.substr(newKey.size())) == open.end())
            continue;
        FillFolderNode(item);
        item->setExpanded(true);
        item->setIcon(0, shell::folderOpenIcon());
        for (int i = 0; i < item->childCount(); ++i)
            toOpen.push_back(item->child(i));
    }
    node->setExpanded(wasOpen || node->childCount() > 0);
    node->setIcon(0, node->isExpanded() ? shell::folderOpenIcon() : shell::folderClosedIcon());
}

// ---- Status bar ----------------------------------------------------------------------------------

void frmMain::setPanelText(int panel, const QString& text) {
    if (panel < 1 || panel > 2)
        return;
    m_panel[panel - 1]->setText(text);
    if (panel == 1)
        m_panel[0]->setVisible(!text.isEmpty());
}

QString frmMain::panelText(int panel) const {
    return panel >= 1 && panel <= 2 ? m_panel[panel - 1]->text() : QString();
}

QString frmMain::simpleText() const {
    return m_simpleText->text();
}

// ---- Commands ------------------------------------------------------------------------------------

void frmMain::addFileCommand(QAction* action) {
    m_fileActions.emplace_back(action);
    action->setEnabled(!m_busy);
}

void frmMain::addFileCommand(QWidget* widget) {
    m_fileWidgets.emplace_back(widget);
    widget->setEnabled(!m_busy);
}

void frmMain::setCommandBusy(bool busy) {
    if (busy == m_busy)
        return;
    m_busy = busy;
    for (const auto& a : m_fileActions)
        if (a)
            a->setEnabled(!busy);
    for (const auto& w : m_fileWidgets)
        if (w)
            w->setEnabled(!busy);
    emit commandBusyChanged(busy);
}

void frmMain::openDeploymentPage(const char* valueName) {
    const std::string address = GetString(HKEY_CURRENT_USER, settings::kAppKey, valueName);
    if (!address.empty())
        platform::openDefault(address);
}

// ---- Tray and window states ----------------------------------------------------------------------

void frmMain::addTrayIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_tray = new QSystemTrayIcon(shell::appIcon(), this);
    m_tray->setObjectName(QStringLiteral("Picture1"));
    m_tray->setToolTip(windowTitle());
    m_tray->setContextMenu(m_mnuTray);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            restoreToFront();
    });
    m_tray->show();
}

void frmMain::restoreToFront() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void frmMain::mShow_Click() {
    restoreToFront();
}

void frmMain::mHide_Click() {
    setWindowState(windowState() | Qt::WindowMinimized);
}

void frmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Minimised: hide to the tray, when there is one to come back from.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && m_tray &&
        m_tray->isVisible())
        QTimer::singleShot(0, this, &QWidget::hide);
}

void frmMain::closeEvent(QCloseEvent* event) {
    // A command that changes files is still running: its work must finish first.
    if (m_busy) {
        event->ignore();
        return;
    }
    if (m_prompt.show("Are you sure you want to exit this program?", platform::Buttons::YesNo, platform::Icon::Question,
                      "Confirmation") != platform::Answer::Yes) {
        event->ignore();
        return;
    }
    if (m_tray)
        m_tray->hide();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            w->close();
    event->accept();
    emit exitConfirmed();
}
