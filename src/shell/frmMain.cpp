#include "shell/frmMain.h"

#include "core/Recovery.h"
#include "core/Register.h"
#include "diagnostics/CAppLog.h"
#include "diagnostics/ErrorReport.h"
#include "locking/LockingCommands.h"
#include "locking/LockingPage.h"
#include "locking/frmSecurityVault.h"
#include "platform/Opener.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/SettingsTable.h"
#include "settings/modGeneral.h"
#include "shell/AboutBox.h"
#include "shell/BrowserPane.h"
#include "shell/GateWidgets.h"
#include "shell/HelpPages.h"
#include "shell/Icons.h"
#include "shell/MainWindowPortAdapter.h"
#include "shell/AppLock.h"
#include "shell/SingleInstance.h"
#include "shredder/ShredderPage.h"
#include "shell/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <exception>

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
    connect(m_tabMain, &QTabWidget::currentChanged, this, [this](int index) {
        setPanelText(2, QString());
        // The count of the Main tab's file list is not shown under the other tabs.
        if (m_simpleText)
            m_simpleText->setVisible(index == 0);
    });

    setCentralWidget(m_tabMain);
    m_browser = new shell::BrowserPane(m_prompt, m_fraMain[0], this);
    connect(this, &frmMain::commandBusyChanged, m_browser, &shell::BrowserPane::setCommandBusy);
    buildMenus();
    buildMainPage();
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
    // The log goes with this window's members, before the pages.
    if (auto* shredderPage = findChild<shredder::ShredderPage*>())
        shredderPage->setLog(nullptr);
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
    connect(mnuHP, &QAction::triggered, this, [this] {
        shell::OpenHelpPages(m_prompt, this, QCoreApplication::applicationDirPath().toLocal8Bit().toStdString());
    });
    connect(mnuAbout, &QAction::triggered, this, [this] { shell::ShowAboutBox(this); });
    connect(mnuVUO, &QAction::triggered, this, [this] { openDeploymentPage(settings::HomeUrl); });
    // Without an address to visit, the item says so by being off (looked at each time the menu opens).
    const auto offWithoutAddress = [mnuVUO] {
        mnuVUO->setEnabled(!settings::HomeUrl.get().empty());
    };
    offWithoutAddress();
    connect(mnuHelp, &QMenu::aboutToShow, this, offWithoutAddress);

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
    connect(mRefresh, &QAction::triggered, m_browser, &shell::BrowserPane::refreshBrowser);
    m_mnuFolder->addActions({mLockFolder, mUnLockFolder, makeSeparator(this, "mFolderSep2"), mLockFolderFiles,
                             mUnLockFolderFiles, makeSeparator(this, "mFolderSep1"), mShredFolderandFiles,
                             makeSeparator(this, "mFolderSep3"), mRefresh});
    // The pop-up's shortcuts work from anywhere in the window.
    addActions({mLockFolder, mUnLockFolder, mRefresh});
    // The File menu's folder commands are the same commands: they show the same keys, which stay the
    // pop-up's (a key held by two actions of one window would run neither).
    mFileLockFolder->setShortcut(mLockFolder->shortcut());
    mFileUnLockFolder->setShortcut(mUnLockFolder->shortcut());
    for (QAction* a : {mFileLockFolder, mFileUnLockFolder})
        a->setShortcutContext(Qt::WidgetShortcut);

    // Off while a command runs. The exits too: the window does not close before the command ends.
    for (QAction* a : {mFileLockFiles, mFileUnlockFile, mFileLockFolder, mFileUnLockFolder, mLockFolder, mUnLockFolder,
                       mLockFolderFiles, mUnLockFolderFiles, mShredFolderandFiles, mFileExit, mExit})
        addFileCommand(a);
}

// The Main tab: the locking page around the browser pane, the status bar following the pane.
void frmMain::buildMainPage() {
    // Tab goes through the pane as it is laid out: drive list, tree, file list, then the page's boxes
    // and commands.
    setTabOrder(m_browser->drvDrives(), m_browser->tvw1());
    setTabOrder(m_browser->tvw1(), m_browser->lvwFiles());
    locking::LockingPageParts parts;
    parts.folders = m_browser->folders();
    parts.files = m_browser->lvwFiles();
    parts.appIcon = shell::appIcon();
    parts.lockIcon = shell::lockIcon();
    parts.toolbarIcon = [](const QString& key) { return shell::toolbarIcon(key); };
    parts.passwordBox = [](const QString& name, QWidget* parent) { return shell::makePasswordBox(name, parent); };
    m_lockingPage = new locking::LockingPage(parts, this, m_fraMain[0]);
    auto* layout = new QVBoxLayout(m_fraMain[0]);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(shell::ScrollsWhenSmall(m_lockingPage));
    connect(button(QStringLiteral("cmdExit")), &QPushButton::clicked, this, &QWidget::close);
    auto* shortcutsFirst = new WindowShortcutsFirst(this, this);
    txtPassword1()->installEventFilter(shortcutsFirst);
    txtPassword2()->installEventFilter(shortcutsFirst);

    for (QAction* a : m_lockingPage->fileActions())
        addFileCommand(a);
    for (QWidget* w : m_lockingPage->fileWidgets())
        addFileCommand(w);
    for (QWidget* w :
         {static_cast<QWidget*>(drvDrives()), static_cast<QWidget*>(tvw1()), static_cast<QWidget*>(lvwFiles())})
        addFileCommand(w);

    connect(m_browser, &shell::BrowserPane::folderChanged, this, [this](const QString& shown, const QString& onDisk) {
        setPanelText(2, shown);
        m_panel[1]->setToolTip(onDisk);
    });
    connect(m_browser, &shell::BrowserPane::folderCleared, this, [this] { setPanelText(2, QString()); });
    connect(m_browser, &shell::BrowserPane::filesListed, this,
            [this](int count) { m_simpleText->setText(QStringLiteral("Total Files: %1").arg(count)); });
    connect(m_browser, &shell::BrowserPane::folderMenuRequested, this,
            [this](const QPoint& globalPos) { m_mnuFolder->popup(globalPos); });
    // A command's line in the status bar goes when another folder is shown; panel 1 says what the
    // ticks mean while rows are ticked.
    connect(m_browser, &shell::BrowserPane::currentFolderChanged, this, [this] { m_sbrMain->clearMessage(); });
    connect(m_browser, &shell::BrowserPane::tickedRuleChanged, this,
            [this](const QString& rule) { setPanelText(1, rule); });
    // View: the pane's choice of showing dot-files (Ctrl+H from anywhere in the window).
    auto* mnuView = new QMenu(QStringLiteral("&View"), this);
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuView->addAction(m_browser->showHiddenAction());
    menuBar()->insertMenu(findChild<QMenu*>(QStringLiteral("mnuOptions"))->menuAction(), mnuView);
    addAction(m_browser->showHiddenAction());
    // The file list's menu runs the commands of the buttons; those that change files are off while one runs.
    for (const char* name : {"mFilesOpen", "mFilesLock", "mFilesUnlock", "mFilesShred", "mFilesMail", "mShowHidden"})
        addFileCommand(action(QString::fromLatin1(name)));
}

void frmMain::wireLockingCommands() {
    m_lockingPort = std::make_unique<shell::MainWindowPortAdapter>(*this);
    m_locking = new locking::LockingCommands(*m_lockingPort, this, this);
    locking::LockingCommands* commands = m_locking;

    m_lockingPage->connectCommands(*commands);
    connect(m_browser, &shell::BrowserPane::fileChosen, commands, &locking::LockingCommands::lvwFiles_DblClick);

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
        {"mFilesOpen", &locking::LockingCommands::lvwFiles_DblClick},
        {"mFilesLock", &locking::LockingCommands::cmdLock_click},
        {"mFilesUnlock", &locking::LockingCommands::cmdUnlock_click},
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
        m_browser->setLog(m_log.get());
        if (auto* shredderPage = findChild<shredder::ShredderPage*>())
            shredderPage->setLog(m_log.get());

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
        m_browser->start();
        // 4. The register file. Without a drive that holds the data folder nothing can be recorded:
        // the user hears why, in words, before the system's number would say it.
        const std::string unreachable = core::RegisterUnreachableReason();
        if (!unreachable.empty()) {
            m_prompt.show("Tessaly cannot keep its records: " + unreachable +
                              ". Map a drive to a folder that holds it (tessaly-cli drive) and start Tessaly again.",
                          platform::Buttons::OK, platform::Icon::Critical);
            return LoadResult::Loaded;
        }
        m_registerPath = core::RegisterPath();
        core::EnsureRegister(m_registerPath);
        m_browser->setRegisterPath(m_registerPath);
        // Runs that a crash or a kill interrupted are finished or rolled back before anything is shown.
        const std::string recovered =
            m_browser->recoveryMessage(core::RecoverFolders(m_registerPath, core::RegisterFolders(m_registerPath)));
        if (!recovered.empty())
            m_prompt.show(recovered, platform::Buttons::OK, platform::Icon::Information);
        // 5. Drive "c:", current folder "c:\".
        m_browser->startRest();
        // 6. The tray icon.
        addTrayIcon();
        // 7. The shell display values.
        settings::HideHiddenFilesInExplorer();
    } catch (const platform::SysError& e) {
        ReportError(kWindowName, e.number(), e.description(), "Form_Load");
    } catch (const std::exception& e) {
        ReportError(kWindowName, platform::errorNumber(platform::ErrorKind::InvalidArgument), e.what(), "Form_Load");
    }
    return LoadResult::Loaded;
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

void frmMain::openDeploymentPage(const settings::Setting<std::string>& page) {
    const std::string address = page.get();
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

void frmMain::setAppLock(shell::AppLock* lock) {
    if (m_appLock)
        disconnect(m_appLock, nullptr, this, nullptr);
    m_appLock = lock;
    if (!lock)
        return;
    connect(lock, &shell::AppLock::lockedChanged, this, &frmMain::appLocked);
    // The lock turns every action back on: those of the commands that change files follow the
    // busy switch again (a run may have started or ended meanwhile).
    connect(lock, &shell::AppLock::lockedChanged, this, [this](bool locked) {
        if (locked)
            return;
        for (const auto& a : m_fileActions)
            if (a)
                a->setEnabled(!m_busy);
        for (const auto& w : m_fileWidgets)
            if (w)
                w->setEnabled(!m_busy);
    });
}

void frmMain::restoreToFront() {
    // Locked: only the password window comes up; this window waits for the right password.
    if (m_appLock && m_appLock->isLocked()) {
        m_appLock->showGate();
        return;
    }
    if (m_appLock && m_appLock->lockOnRestore() && isHidden()) {
        m_appLock->lock(); // shows the window again for the right password
        return;
    }
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
    // Minimised: hide to the tray, when there is one to come back from (the desktop may have lost
    // its tray since the icon was added); without one the window stays on the task bar.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && m_tray &&
        m_tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable())
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
