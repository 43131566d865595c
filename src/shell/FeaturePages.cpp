// The main window's feature pages: each tab's page is a class of its feature's folder; the main
// window creates it on its frame and hands it what it needs. One block a feature.
#include "shell/frmMain.h"

#include "favourites/FavouritesPage.h"
#include "locking/FileCommands.h"
#include "locking/LockingCommands.h"
#include "mail/SendMail.h"
#include "options/frmOptions.h"
#include "shell/AppLock.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "settings/modFileFunctions.h"
#include "shell/BrowserPane.h"
#include "shell/ChangePassword.h"
#include "shell/GateWidgets.h"
#include "shell/Icons.h"
#include "shell/MainWindowPortAdapter.h"
#include "shell/WindowPlacement.h"
#include "shell/frmProgress.h"
#include "shredder/ShredderPage.h"
#include "viewer/ImageViewerPage.h"
#include "wallet/PasswordWalletPage.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The upgrade check's progress window: the shell's frmProgress over the Options window, shown for
// the check and gone after.
class OptionsProgress final : public options::ProgressPort {
public:
    void setOwner(QWidget* owner) { m_owner = owner; }
    void show(const std::string& message) override {
        close();
        m_window = new frmProgress(m_owner);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        m_window->setMessage(message);
        m_window->showCentered();
    }
    void close() override {
        if (m_window)
            m_window->close();
        m_window = nullptr;
    }
    ~OptionsProgress() override { close(); }

private:
    QPointer<QWidget> m_owner;
    QPointer<frmProgress> m_window;
};

} // namespace

void frmMain::buildFeaturePages() {
    {
        // Password wallet on its tab; the list fills when the tab is first shown. While the program
        // is locked the page holds nothing of the wallet.
        auto* page = new wallet::PasswordWalletPage(prompt(), fraMain(3));
        page->setFieldPictures(
            {shell::walletFieldIcon(QStringLiteral("Description")), shell::walletFieldIcon(QStringLiteral("Server")),
             shell::walletFieldIcon(QStringLiteral("UserName")), shell::walletFieldIcon(QStringLiteral("Password"))});
        connect(this, &frmMain::appLocked, page, &wallet::PasswordWalletPage::setLocked);
        auto* layout = new QVBoxLayout(fraMain(3));
        layout->addWidget(shell::ScrollsWhenSmall(page));
    }
    {
        // Favourites manager on its tab; the list fills when the tab is first shown.
        auto* layout = new QVBoxLayout(fraMain(2));
        layout->addWidget(shell::ScrollsWhenSmall(new favourites::FavouritesPage(prompt(), fraMain(2))));
    }
    // Mail: "Send to Mail Recipient" and the lock toolbar's "SendEmail" send the ticked locked files.
    const auto sendEmail = [this] {
        std::vector<mail::MailItem> rows;
        for (const locking::FileItem& item : lockingPort().checkedItems())
            rows.push_back({item.key, item.text, true});
        mail::cmdSendEmail_Click(prompt(), browser().currentFolder(), rows);
    };
    connect(button(QStringLiteral("cmdSendEmail")), &QPushButton::clicked, this, sendEmail);
    connect(action(QStringLiteral("mFilesMail")), &QAction::triggered, this, sendEmail);
    connect(lockingCommands(), &locking::LockingCommands::sendEmailRequested, this, sendEmail);

    // Options > Preferences: one Options window at a time, owned by this window (so that it stays
    // above it, also after a message); the change-password routine and the progress window come
    // from the shell.
    connect(action(QStringLiteral("mOptionsPreferences")), &QAction::triggered, this, [this] {
        static QPointer<frmOptions> open;
        if (open) {
            open->raise();
            open->activateWindow();
            return;
        }
        options::OptionsHost host;
        host.app = options::RunningApplication();
        host.changePassword = [this](options::PasswordChange& fields) {
            shell::PasswordChangeFields f{fields.oldPassword, fields.newPassword, fields.newConfirm};
            const bool changed = shell::ChangeAppPassword(prompt(), f);
            fields.newPassword = f.newPassword;
            fields.newConfirm = f.newConfirm;
            return changed;
        };
        auto progress = std::make_shared<OptionsProgress>();
        host.progress = progress;
        open = new frmOptions(prompt(), std::move(host), this);
        connect(open, &frmOptions::lockSettingsChanged, this, [this] {
            if (m_appLock)
                m_appLock->loadSettings();
        });
        progress->setOwner(open);
        // The Main tab says which kind of lock Lock makes: a choice made in Options shows there.
        // (The page is the connection's context: while the main window itself is taken down, the
        // call goes only to a page that still lives.)
        connect(open, &QObject::destroyed, m_lockingPage,
                [page = m_lockingPage] { page->showLockKind(locking::StrongLocksChosen()); });
        open->show();
    });
    // Image viewer on fraMain(1): its folder or chosen image goes to status bar panel 2, and while
    // it builds thumbnails the progress bar stands in that panel's place.
    {
        auto* page = new viewer::ImageViewerPage(m_prompt, fraMain(1));
        auto* layout = new QVBoxLayout(fraMain(1));
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(shell::ScrollsWhenSmall(page));
        QLabel* panel2 = sbrMain()->findChild<QLabel*>(QStringLiteral("sbrMainPanel2"));
        connect(page, &viewer::ImageViewerPage::panelTextChanged, this, [this](const QString& text) {
            setPanelText(2, shell::fromBytes(browser().displayPath(shell::toBytes(text))));
        });
        connect(page, &viewer::ImageViewerPage::panelToolTipChanged, panel2, &QLabel::setToolTip);
        connect(tabMain(), &QTabWidget::currentChanged, panel2, [panel2] { panel2->setToolTip(QString()); });
        connect(page, &viewer::ImageViewerPage::progressShown, this, [this, panel2](bool shown) {
            picProgress()->setRange(0, 100);
            picProgress()->setValue(0);
            picProgress()->setVisible(shown);
            panel2->setVisible(!shown);
        });
        connect(page, &viewer::ImageViewerPage::progressChanged, picProgress(), &QProgressBar::setValue);
    }
    {
        // File shredder: the page on its tab, drops on its list while the window lives, the folder
        // tree's "Shred Folder and Files", and the busy switch shared with the other file commands.
        auto* page = new shredder::ShredderPage(m_prompt, [this] { return registerPath(); });
        (new QVBoxLayout(fraMain(4)))->addWidget(shell::ScrollsWhenSmall(page));
        page->startServingDrops();
        connect(this, &frmMain::exitConfirmed, page, &shredder::ShredderPage::stopServingDrops);
        connect(page, &shredder::ShredderPage::busyChanged, this, &frmMain::setCommandBusy);
        connect(this, &frmMain::commandBusyChanged, page, &shredder::ShredderPage::setExternalBusy);
        connect(action(QStringLiteral("mShredFolderandFiles")), &QAction::triggered, page,
                [this, page] { page->ShredFolderCommand(browser().selectedFolderKey()); });
        // The file list's Shred: the files the commands take (the ticked ones, else the selected) go
        // on the shredder's list, and its tab shows them; its Shred button asks before anything goes.
        connect(action(QStringLiteral("mFilesShred")), &QAction::triggered, page, [this, page] {
            for (const locking::FileItem& item : lockingPort().checkedItems())
                page->AddToShredList(AddBackslash(browser().currentFolder()) + item.key);
            tabMain()->setCurrentWidget(fraMain(4));
        });
        connect(page, &shredder::ShredderPage::shredFinished, this, [this](const auto& paths, std::size_t count) {
            // Success is said in the status bar, as for the lock commands: how many items were shredded.
            if (count > 0)
                m_sbrMain->showMessage(QString::number(count) + (count == 1 ? QStringLiteral(" item shredded.")
                                                                            : QStringLiteral(" items shredded.")),
                                       10000);
            // Shredded folders leave the tree; the selection moves to the parent, whose files are shown.
            for (const auto& path : paths) {
                const auto found = tvw1()->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive);
                for (QTreeWidgetItem* node : found) {
                    if (shell::BrowserPane::nodeKey(node) != path || !node->parent() || platform::exists(path))
                        continue;
                    QTreeWidgetItem* parent = node->parent();
                    const bool selected = tvw1()->currentItem() == node;
                    delete node;
                    if (selected) {
                        tvw1()->setCurrentItem(parent);
                        browser().tvw1_NodeClick(parent, false);
                    }
                    break;
                }
            }
        });
    }
}
