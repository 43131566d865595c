#include "locking/LockingPage.h"

#include "locking/FileCommands.h"
#include "locking/LockingCommands.h"
#include "settings/PasswordHint.h"

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace locking {

namespace {

// Swallows the tool tip event of the widgets it watches.
class NoToolTip final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        return event->type() == QEvent::ToolTip || QObject::eventFilter(watched, event);
    }
};

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

LockingPage::LockingPage(const LockingPageParts& parts, QObject* actionOwner, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("LockingPage"));
    m_tbrLock = new QToolBar(this);
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
        auto* a = new QAction(QString::fromLatin1(t.caption), actionOwner);
        a->setObjectName(QString::fromLatin1(t.key));
        a->setData(QString::fromLatin1(t.key));
        a->setIcon(parts.toolbarIcon(QString::fromLatin1(t.key)));
        m_tbrLock->addAction(a);
        if (t.tip)
            a->setToolTip(QString::fromLatin1(t.tip));
        else // Qt would show the caption as the tip: a button without a tip of its own shows none
            m_tbrLock->widgetForAction(a)->installEventFilter(noTip);
        // The modal vault does not open while a command runs.
        if (QString::fromLatin1(t.key) != QLatin1String("SendEmail"))
            m_fileActions.push_back(a);
    }
    connect(m_tbrLock, &QToolBar::actionTriggered, this,
            [this](QAction* a) { emit lockToolbarClicked(a->data().toString()); });
    auto* imgSoftwarePic = new QLabel(this);
    imgSoftwarePic->setObjectName(QStringLiteral("imgSoftwarePic"));
    imgSoftwarePic->setPixmap(parts.appIcon.pixmap(32, 32));

    auto* lblPassword = new QLabel(QStringLiteral("Password"), this);
    lblPassword->setObjectName(QStringLiteral("lblPassword"));
    auto* lblConfirm = new QLabel(QStringLiteral("Confirm Password"), this);
    lblConfirm->setObjectName(QStringLiteral("lblConfirmPassword"));
    m_txtPassword1 = parts.passwordBox(QStringLiteral("txtPassword1"), this);
    m_txtPassword2 = parts.passwordBox(QStringLiteral("txtPassword2"), this);
    lblPassword->setBuddy(m_txtPassword1);
    lblConfirm->setBuddy(m_txtPassword2);
    auto* imgPasswordIcon = new QLabel(this);
    imgPasswordIcon->setObjectName(QStringLiteral("imgPasswordIcon"));
    imgPasswordIcon->setPixmap(parts.lockIcon.pixmap(32, 32));

    auto* cmdLock = makeButton(this, "cmdLock", "Lock");
    cmdLock->setIcon(parts.toolbarIcon(QStringLiteral("Lock")));
    auto* cmdUnlock = makeButton(this, "cmdUnlock", "Unlock");
    cmdUnlock->setIcon(parts.toolbarIcon(QStringLiteral("Unlock")));
    auto* cmdSelectAll = makeButton(this, "cmdSelectAll", "&Select All");
    auto* cmdDeselectAll = makeButton(this, "cmdDeselectAll", "Deselect All");
    auto* cmdSendEmail = makeButton(this, "cmdSendEmail", "Send to Mail Recipient");
    auto* cmdExit = makeButton(this, "cmdExit", "E&xit");

    auto* passwords = new QGridLayout;
    passwords->addWidget(imgPasswordIcon, 0, 0, 2, 1, Qt::AlignCenter);
    passwords->addWidget(lblPassword, 0, 1);
    passwords->addWidget(m_txtPassword1, 0, 2);
    passwords->addWidget(lblConfirm, 1, 1);
    passwords->addWidget(m_txtPassword2, 1, 2);
    passwords->addWidget(cmdLock, 0, 3);
    passwords->addWidget(cmdUnlock, 1, 3);
    // A strong lock's short password gets a word about its strength under the boxes.
    m_lblShortPassword = settings::MakeShortPasswordLabel(this);
    passwords->addWidget(m_lblShortPassword, 2, 1, 1, 3);
    connect(m_txtPassword1, &QLineEdit::textChanged, this, &LockingPage::showPasswordStrength);
    passwords->setColumnStretch(4, 1);
    auto* commands = new QHBoxLayout;
    commands->addWidget(cmdSelectAll);
    commands->addWidget(cmdDeselectAll);
    commands->addWidget(cmdSendEmail);
    commands->addStretch();
    commands->addWidget(cmdExit);

    auto* right = new QWidget(this);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(parts.files, 1);
    m_lblLockKind = new QLabel(this);
    m_lblLockKind->setObjectName(QStringLiteral("lblLockKind"));
    m_lblLockKind->setWordWrap(true);
    m_lblLockKind->setTextFormat(Qt::PlainText);
    showLockKind(StrongLocksChosen());
    rightLayout->addWidget(m_lblLockKind);
    rightLayout->addLayout(passwords);
    rightLayout->addLayout(commands);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("splBrowser"));
    splitter->addWidget(parts.folders);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);

    auto* top = new QHBoxLayout;
    top->addWidget(m_tbrLock, 1);
    top->addWidget(imgSoftwarePic);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);

    setTabOrderOfPage(parts.files);
}

QPushButton* LockingPage::button(const char* name) const {
    return findChild<QPushButton*>(QString::fromLatin1(name));
}

std::vector<QWidget*> LockingPage::fileWidgets() const {
    return {button("cmdLock"), button("cmdUnlock"), button("cmdSelectAll"), button("cmdDeselectAll"),
            button("cmdExit")};
}

// Tab goes from the file list through the password boxes and the commands under them.
void LockingPage::showPasswordStrength() {
    m_lblShortPassword->setVisible(m_strong && settings::IsShortPasswordText(m_txtPassword1->text()));
}

void LockingPage::showLockKind(bool strong) {
    m_strong = strong;
    if (m_lblShortPassword)
        showPasswordStrength();
    m_lblLockKind->setText(
        strong ? QStringLiteral("Lock makes: Strong (.TSX). Content and name are encrypted with a key made from the "
                                "password; without it they cannot be read.")
               : QStringLiteral("Lock makes: Hide (.TSL/.TSW). The file is hidden and scrambled; someone who knows "
                                "the format can read it without the password. Options > Preferences turns on strong "
                                "locks."));
}

void LockingPage::setTabOrderOfPage(QWidget* files) {
    const char* chain[] = {"txtPassword1", "txtPassword2",   "cmdLock",      "cmdUnlock",
                           "cmdSelectAll", "cmdDeselectAll", "cmdSendEmail", "cmdExit"};
    QWidget* previous = files;
    for (const char* name : chain) {
        QWidget* next = findChild<QWidget*>(QString::fromLatin1(name));
        setTabOrder(previous, next);
        previous = next;
    }
}

void LockingPage::connectCommands(LockingCommands& commands) {
    connect(button("cmdLock"), &QPushButton::clicked, &commands, &LockingCommands::cmdLock_click);
    connect(button("cmdUnlock"), &QPushButton::clicked, &commands, &LockingCommands::cmdUnlock_click);
    // Return in the confirmation box locks, as the two boxes were filled for it.
    connect(m_txtPassword2, &QLineEdit::returnPressed, this, [this] { button("cmdLock")->click(); });
    connect(button("cmdSelectAll"), &QPushButton::clicked, &commands, &LockingCommands::cmdSelectAll_click);
    connect(button("cmdDeselectAll"), &QPushButton::clicked, &commands, &LockingCommands::cmdDeselectAll_click);
    connect(this, &LockingPage::lockToolbarClicked, &commands, &LockingCommands::tbrLock_ButtonClick);
}

} // namespace locking
