#include "locking/frmSecurityVault.h"

#include "core/Register.h"
#include "locking/MainWindowPort.h"
#include "locking/VaultCommands.h"
#include "locking/VaultListModel.h"
#include "platform/Prompt.h"
#include "settings/modFileFunctions.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

namespace locking {

namespace {

QString fromBytes(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}
std::string toBytes(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

QPushButton* makeButton(const char* name, const char* caption, QWidget* parent) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

// A list with tick boxes over its model, its columns (name, kind, size, date) under a header; rows of
// one height, so that a long list lays out without measuring every row.
QTreeView* makeList(const char* name, VaultListModel* model, QWidget* parent) {
    auto* list = new QTreeView(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setModel(model);
    // The name takes what room there is; the other columns their contents' width.
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(VaultListModel::NameColumn, QHeaderView::Stretch);
    for (int column : {VaultListModel::KindColumn, VaultListModel::SizeColumn, VaultListModel::DateColumn})
        list->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    return list;
}

// The items a run is about to work on whose locked file or folder is there now.
// The items a command acts on: the ticked ones, or, when none is ticked, the highlighted row, as
// the main window's list takes it.
std::vector<VaultItem> withHighlighted(std::vector<VaultItem> items, const QModelIndex& current) {
    const bool anyTicked = std::any_of(items.begin(), items.end(), [](const VaultItem& i) { return i.checked; });
    if (!anyTicked && current.isValid() && current.row() < static_cast<int>(items.size()))
        items[static_cast<std::size_t>(current.row())].checked = true;
    return items;
}

std::vector<VaultItem> presentItems(const std::vector<VaultItem>& items, bool checkedOnly) {
    std::vector<VaultItem> present;
    for (const VaultItem& item : items)
        if ((item.checked || !checkedOnly) && FileExists(item.key))
            present.push_back(item);
    return present;
}

// Whether the run unlocked one of them: its locked form is gone and it is back under its former path.
bool anyUnlocked(const std::vector<VaultItem>& before) {
    for (const VaultItem& item : before)
        if (!FileExists(item.key) && FileExists(item.text))
            return true;
    return false;
}

} // namespace

frmSecurityVault::frmSecurityVault(platform::Prompt& prompt, std::string registerPath, MainWindowPort* mainWindow,
                                   QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_registerPath(std::move(registerPath)), m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("frmSecurityVault"));
    setWindowTitle(QStringLiteral("Tessaly -Security Vault"));
    resize(660, 560);

    m_fraFolders = new QGroupBox(QStringLiteral("Locked Folders"), this);
    m_fraFolders->setObjectName(QStringLiteral("fraFolders"));
    m_folders = new VaultListModel(this);
    m_folders->setShowsSize(false); // a folder's size would mean reading all of it
    m_folders->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
    m_lvwFolders = makeList("lvwFolders", m_folders, m_fraFolders);
    m_lvwFolders->setAccessibleName(m_fraFolders->title()); // a frame's caption does not name its list
    m_cmdUnlockFolder = makeButton("cmdUnlockFolder", "Unlock Folder", m_fraFolders);
    auto* folderButtons = new QHBoxLayout;
    folderButtons->addStretch();
    folderButtons->addWidget(m_cmdUnlockFolder);
    auto* folderLayout = new QVBoxLayout(m_fraFolders);
    folderLayout->addWidget(m_lvwFolders);
    folderLayout->addLayout(folderButtons);

    m_fraFiles = new QGroupBox(QStringLiteral("Locked Files"), this);
    m_fraFiles->setObjectName(QStringLiteral("fraFiles"));
    m_files = new VaultListModel(this);
    m_files->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
    m_lvwFiles = makeList("lvwFiles", m_files, m_fraFiles);
    m_lvwFiles->setAccessibleName(m_fraFiles->title());
    m_cmdSelectAll = makeButton("cmdSelectAll", "Select All", m_fraFiles);
    m_cmdDeselectAll = makeButton("cmdDeselectAll", "Deselect All", m_fraFiles);
    m_cmdUnlockFiles = makeButton("cmdUnlockFiles", "Unlock", m_fraFiles);
    auto* fileButtons = new QHBoxLayout;
    fileButtons->addWidget(m_cmdSelectAll);
    fileButtons->addWidget(m_cmdDeselectAll);
    fileButtons->addStretch();
    fileButtons->addWidget(m_cmdUnlockFiles);
    auto* fileLayout = new QVBoxLayout(m_fraFiles);
    fileLayout->addWidget(m_lvwFiles);
    fileLayout->addLayout(fileButtons);

    // The one password box serves both lists, so it sits under both frames.
    auto* passwordLabel = new QLabel(QStringLiteral("Password:"), this);
    passwordLabel->setObjectName(QStringLiteral("lblPassword"));
    m_txtPassword1 = new QLineEdit(this);
    m_txtPassword1->setObjectName(QStringLiteral("txtPassword1"));
    m_txtPassword1->setEchoMode(QLineEdit::Password);
    passwordLabel->setBuddy(m_txtPassword1);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(passwordLabel);
    passwordRow->addWidget(m_txtPassword1, 1);

    m_lblStatus = new QLabel(this);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));
    m_cmdRefresh = makeButton("cmdRefresh", "Refresh", this);
    m_cmdCancel = makeButton("cmdCancel", "Cancel", this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_lblStatus, 1);
    bottom->addWidget(m_cmdRefresh);
    bottom->addWidget(m_cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fraFolders, 1);
    layout->addWidget(m_fraFiles, 1);
    layout->addLayout(passwordRow);
    layout->addLayout(bottom);

    // Tab follows the layout; the lists take the arrow keys, and Space ticks the current row.
    QWidget* order[] = {m_lvwFolders,     m_cmdUnlockFolder, m_lvwFiles,   m_cmdSelectAll, m_cmdDeselectAll,
                        m_cmdUnlockFiles, m_txtPassword1,    m_cmdRefresh, m_cmdCancel};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(m_cmdRefresh, &QPushButton::clicked, this, &frmSecurityVault::Refresh);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmSecurityVault::reject);
    connect(m_cmdSelectAll, &QPushButton::clicked, this, &frmSecurityVault::cmdSelectAll_Click);
    connect(m_cmdDeselectAll, &QPushButton::clicked, this, &frmSecurityVault::cmdDeselectAll_Click);
    connect(m_cmdUnlockFolder, &QPushButton::clicked, this, &frmSecurityVault::cmdUnlockFolder_Click);
    connect(m_cmdUnlockFiles, &QPushButton::clicked, this, &frmSecurityVault::cmdUnlockFiles_Click);
    connect(m_lvwFiles, &QTreeView::doubleClicked, this, &frmSecurityVault::lvwFiles_DblClick);
}

void frmSecurityVault::Refresh() {
    m_refreshPending = false;
    m_prompt.setBusy(true);
    m_prompt.setBusy(false);
    if (m_mainWindow)
        m_mainWindow->rereadFolderTree();
    m_files->clear();
    m_folders->clear();
    if (m_mainWindow)
        m_mainWindow->refreshFiles();
    // Each list is filled in one reset from the register's entries.
    std::vector<core::RegisterItem> files = core::GetLockedTSLFiles(m_registerPath, m_prompt);
    const auto append = [&files](std::vector<core::RegisterItem> more) {
        files.insert(files.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    };
    append(core::GetLockedTSWFiles(m_registerPath, m_prompt));
    // Each row's kind: a hidden lock, a strong lock, a folder.
    std::vector<std::string> kinds(files.size(), kKindHidden);
    append(core::GetLockedTSXFiles(m_registerPath, m_prompt));
    kinds.resize(files.size(), kKindStrong);
    m_files->setItems(std::move(files), kinds);
    std::vector<core::RegisterItem> folders = core::GetLockedFolders(m_registerPath, m_prompt);
    const std::vector<std::string> folderKinds(folders.size(), kKindFolder);
    m_folders->setItems(std::move(folders), folderKinds);
}

void frmSecurityVault::cmdSelectAll_Click() {
    m_files->setAllChecked(true);
}

void frmSecurityVault::cmdDeselectAll_Click() {
    m_files->setAllChecked(false);
}

void frmSecurityVault::cmdUnlockFolder_Click() {
    if (m_running || m_externalBusy)
        return;
    setRunning(true);
    std::string password = toBytes(m_txtPassword1->text());
    m_lblStatus->clear();
    VaultHooks hooks;
    hooks.status = [this](const std::string& text) { m_lblStatus->setText(fromBytes(text)); };
    hooks.cancelEnabled = [this](bool on) { m_cmdCancel->setEnabled(on && !m_running); }; // off for the whole run
    const std::vector<VaultItem> folders = withHighlighted(m_folders->items(), m_lvwFolders->currentIndex());
    const std::vector<VaultItem> present = presentItems(folders, true);
    const VaultEnd end = VaultUnlockFolders(folders, password, m_registerPath, m_prompt, hooks);
    // A password that opened something has done its work: it does not stay in the box.
    m_txtPassword1->setText(anyUnlocked(present) ? QString() : fromBytes(password));
    setRunning(false);
    if (end == VaultEnd::Finished)
        Refresh();
}

void frmSecurityVault::cmdUnlockFiles_Click() {
    if (m_running || m_externalBusy)
        return;
    setRunning(true);
    m_lblStatus->setText(QStringLiteral("Unlock in Progress. Please Wait..."));
    const std::vector<VaultItem> files = withHighlighted(m_files->items(), m_lvwFiles->currentIndex());
    const std::vector<VaultItem> present = presentItems(files, true);
    const std::size_t unlocked = VaultUnlockFiles(files, toBytes(m_txtPassword1->text()), m_registerPath, m_prompt);
    if (anyUnlocked(present))
        m_txtPassword1->clear();
    // The outcome in the status line, as a folder unlock tells it; failures had boxes of their own.
    m_lblStatus->setText(fromBytes(VaultUnlockedText(unlocked)));
    setRunning(false);
    Refresh();
}

void frmSecurityVault::lvwFiles_DblClick(const QModelIndex& index) {
    if (!index.isValid() || index.model() != m_files || m_running || m_externalBusy)
        return;
    setRunning(true);
    VaultItem row = m_files->item(index.row());
    row.checked = false;
    const std::vector<VaultItem> present = presentItems({row}, false);
    m_lblStatus->clear();
    bool unlocked = false;
    const bool refresh = VaultUnlockAndOpen(row, toBytes(m_txtPassword1->text()), m_registerPath, m_prompt, &unlocked);
    if (anyUnlocked(present))
        m_txtPassword1->clear();
    m_lblStatus->setText(fromBytes(VaultUnlockedText(unlocked ? 1 : 0)));
    setRunning(false);
    if (refresh)
        Refresh();
}

void frmSecurityVault::setCommandsEnabled(bool enabled) {
    m_externalBusy = !enabled;
    updateButtons();
    // A refresh that fell due while the main window's command ran comes now.
    if (enabled && m_refreshPending && isVisible() && !m_running)
        refreshWhenIdle();
}

// Refresh repoints the main window's browser: never while a command of either window runs.
void frmSecurityVault::refreshWhenIdle() {
    if (m_running || m_externalBusy) {
        m_refreshPending = true;
        return;
    }
    Refresh();
}

void frmSecurityVault::setRunning(bool running) {
    m_running = running;
    updateButtons();
    emit busyChanged(running);
}

void frmSecurityVault::updateButtons() {
    // What would ignore a click is shown off: the unlock commands, the lists (a double click unlocks)
    // and the buttons that tick them while any command runs; Cancel and the password box while the
    // vault's own command runs (the window stays open, the box is read and written by the run).
    const bool idle = !m_running && !m_externalBusy;
    for (QWidget* w :
         {static_cast<QWidget*>(m_cmdUnlockFolder), static_cast<QWidget*>(m_cmdUnlockFiles),
          static_cast<QWidget*>(m_cmdRefresh), static_cast<QWidget*>(m_lvwFolders), static_cast<QWidget*>(m_lvwFiles),
          static_cast<QWidget*>(m_cmdSelectAll), static_cast<QWidget*>(m_cmdDeselectAll)})
        w->setEnabled(idle);
    m_cmdCancel->setEnabled(!m_running);
    m_txtPassword1->setEnabled(!m_running);
}

bool frmSecurityVault::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        if (m_refreshOnActivate) {
            m_refreshOnActivate = false;
            refreshWhenIdle();
        }
    } else if (e->type() == QEvent::WindowDeactivate) {
        // Coming back from another window of the program refreshes; coming back from a message box
        // or from another program does not.
        QWidget* next = QApplication::activeWindow();
        m_refreshOnActivate = next && next != this && !qobject_cast<QMessageBox*>(next);
    }
    return QDialog::event(e);
}

void frmSecurityVault::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    m_refreshOnActivate = true;
    // Where the window system never activates the window (offscreen), the first show still fills the lists.
    QTimer::singleShot(0, this, [this] {
        if (m_refreshOnActivate && isVisible()) {
            m_refreshOnActivate = false;
            refreshWhenIdle();
        }
    });
}

void frmSecurityVault::closeEvent(QCloseEvent* e) {
    if (m_running) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void frmSecurityVault::reject() {
    if (m_running)
        return;
    QDialog::reject();
}

} // namespace locking
