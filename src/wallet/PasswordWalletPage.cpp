#include "wallet/PasswordWalletPage.h"

#include "wallet/Wallet.h"
#include "wallet/WalletForm.h"
#include "wallet/frmPassAdd.h"

#include "platform/Prompt.h"
#include "platform/Text.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace wallet {

namespace {

// Clipboard managers (those of KDE and others) keep no history of data carrying this mark.
constexpr const char* kSecretHint = "x-kde-passwordManagerHint";
constexpr int kClipboardClearMs = 20000;
// Item data of lstItem beside the description: server and user name, for the filter.
constexpr int kSearchRole = Qt::UserRole + 1;

QPushButton* makeButton(QWidget* owner, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), owner);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

// A small picture beside a field; decoration only, so it is kept out of the accessible tree's way.
QLabel* makePicture(QWidget* owner, const char* name, QStyle::StandardPixmap kind) {
    auto* pic = new QLabel(owner);
    pic->setObjectName(QString::fromLatin1(name));
    pic->setPixmap(owner->style()->standardIcon(kind).pixmap(16, 16));
    pic->setAccessibleName(QString());
    pic->setFocusPolicy(Qt::NoFocus);
    return pic;
}

} // namespace

PasswordWalletPage::PasswordWalletPage(platform::Prompt& prompt, QWidget* parent) : QWidget(parent), m_prompt(prompt) {
    setObjectName(QStringLiteral("PasswordWalletPage"));

    m_lstItem = new QTreeWidget(this);
    m_lstItem->setObjectName(QStringLiteral("lstItem"));
    m_lstItem->setColumnCount(1);
    m_lstItem->setHeaderLabels({QStringLiteral("Password Items")});
    m_lstItem->setRootIsDecorated(false);
    m_lstItem->setAccessibleName(QStringLiteral("Password Items"));
    m_txtFilter = new QLineEdit(this);
    m_txtFilter->setObjectName(QStringLiteral("txtFilter"));
    m_txtFilter->setClearButtonEnabled(true);
    m_txtFilter->setPlaceholderText(QStringLiteral("Description, server or user name"));
    auto* lblFilter = new QLabel(QStringLiteral("&Filter:"), this);
    lblFilter->setObjectName(QStringLiteral("lblFilter"));
    lblFilter->setBuddy(m_txtFilter);
    auto* filterRow = new QHBoxLayout;
    filterRow->addWidget(lblFilter);
    filterRow->addWidget(m_txtFilter, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(filterRow);
    left->addWidget(m_lstItem, 1);

    auto* grid = new QGridLayout;
    const WalletBoxes boxes = addWalletRows(this, grid, 1);
    m_txtDescription = boxes.description;
    m_txtServer = boxes.server;
    m_txtUserName = boxes.userName;
    m_txtPassword = boxes.password;
    m_txtNotes = boxes.notes;
    addPasswordToggle(this, grid, 3, 3, m_txtPassword);
    grid->addWidget(makePicture(this, "imgDescription", QStyle::SP_FileDialogDetailedView), 0, 0);
    grid->addWidget(makePicture(this, "imgServer", QStyle::SP_DriveNetIcon), 1, 0);
    grid->addWidget(makePicture(this, "imgUserName", QStyle::SP_DirHomeIcon), 2, 0);
    grid->addWidget(makePicture(this, "imgPassword", QStyle::SP_DialogApplyButton), 3, 0);

    m_cmdPassAdd = makeButton(this, "cmdPassAdd", "Add");
    m_cmdPassSave = makeButton(this, "cmdPassSave", "Save");
    m_cmdPassDelete = makeButton(this, "cmdPassDelete", "Delete");
    m_cmdPassReload = makeButton(this, "cmdPassReload", "Reload");
    m_cmdPassSave->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    for (auto* b : {m_cmdPassAdd, m_cmdPassSave, m_cmdPassDelete, m_cmdPassReload})
        buttons->addWidget(b);
    buttons->addStretch();
    m_cmdCopyUserName = makeButton(this, "cmdCopyUserName", "Copy User Name");
    m_cmdCopyPassword = makeButton(this, "cmdCopyPassword", "Copy Password");
    auto* copies = new QHBoxLayout;
    copies->addWidget(m_cmdCopyUserName);
    copies->addWidget(m_cmdCopyPassword);
    copies->addStretch();

    auto* right = new QVBoxLayout;
    right->addLayout(grid);
    right->addLayout(copies);
    right->addLayout(buttons);
    right->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 2);
    layout->addLayout(right, 3);

    m_clearClipboard = new QTimer(this);
    m_clearClipboard->setObjectName(QStringLiteral("tmrClearClipboard"));
    m_clearClipboard->setSingleShot(true);
    m_clearClipboard->setInterval(kClipboardClearMs);
    connect(m_clearClipboard, &QTimer::timeout, this, &PasswordWalletPage::clearCopiedText);
    // A secret still on the clipboard when the program ends is taken off it (only if it is still ours).
    connect(qApp, &QCoreApplication::aboutToQuit, this, &PasswordWalletPage::clearClipboardOnQuit);
    connect(m_cmdCopyUserName, &QPushButton::clicked, this, &PasswordWalletPage::cmdCopyUserName_Click);
    connect(m_cmdCopyPassword, &QPushButton::clicked, this, &PasswordWalletPage::cmdCopyPassword_Click);
    connect(m_txtFilter, &QLineEdit::textChanged, this, &PasswordWalletPage::txtFilter_Change);

    connect(m_cmdPassReload, &QPushButton::clicked, this, &PasswordWalletPage::cmdPassReload_Click);
    connect(m_cmdPassSave, &QPushButton::clicked, this, &PasswordWalletPage::cmdPassSave_Click);
    connect(m_cmdPassDelete, &QPushButton::clicked, this, &PasswordWalletPage::cmdPassDelete_Click);
    connect(m_cmdPassAdd, &QPushButton::clicked, this, &PasswordWalletPage::cmdPassAdd_Click);
    connect(m_lstItem, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { lstItem_Click(item); });
    // Enter on an entry shows it too, for those who use the keyboard.
    connect(m_lstItem, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { lstItem_Click(item); });
    // Editing a field (not the description) makes the entry worth saving.
    for (auto* box : {m_txtServer, m_txtUserName, m_txtPassword, m_txtNotes})
        connect(box, &QLineEdit::textChanged, this, [this] { m_cmdPassSave->setEnabled(true); });
}

void PasswordWalletPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_filled)
        cmdPassReload_Click();
}

void PasswordWalletPage::cmdPassReload_Click() {
    m_filled = true;
    m_lstItem->clear();
    for (auto* box : {m_txtDescription, m_txtServer, m_txtUserName, m_txtPassword, m_txtNotes})
        box->clear();
    for (const std::string& name : ListWalletItems()) {
        auto* item = new QTreeWidgetItem(m_lstItem);
        item->setText(0, QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size())));
        item->setData(0, Qt::UserRole, QByteArray::fromStdString(name));
        const WalletEntry entry = ReadWalletEntry(name);
        item->setData(0, kSearchRole, QString::fromLocal8Bit(entry.server + "\n" + entry.userName));
    }
    m_cmdPassSave->setEnabled(false);
    txtFilter_Change();
}

void PasswordWalletPage::txtFilter_Change() {
    const QString needle = m_txtFilter->text().trimmed();
    for (int i = 0; i < m_lstItem->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_lstItem->topLevelItem(i);
        const bool shown = needle.isEmpty() || item->text(0).contains(needle, Qt::CaseInsensitive) ||
                           item->data(0, kSearchRole).toString().contains(needle, Qt::CaseInsensitive);
        item->setHidden(!shown);
    }
}

void PasswordWalletPage::setClipboardClearDelay(int milliseconds) {
    m_clearClipboard->setInterval(milliseconds);
}

void PasswordWalletPage::cmdCopyUserName_Click() {
    copySecret(m_txtUserName->text());
}

void PasswordWalletPage::cmdCopyPassword_Click() {
    copySecret(m_txtPassword->text());
}

void PasswordWalletPage::copySecret(const QString& text) {
    if (text.isEmpty())
        return;
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(QString::fromLatin1(kSecretHint), QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data);
    m_copied = text;
    m_clearClipboard->start();
}

void PasswordWalletPage::clearClipboardOnQuit() {
    if (!m_copied.isEmpty())
        clearCopiedText();
}

// Takes the copied text off the clipboard, unless something else was copied since.
void PasswordWalletPage::clearCopiedText() {
    const QMimeData* now = QGuiApplication::clipboard()->mimeData();
    if (now && now->text() == m_copied && now->data(QString::fromLatin1(kSecretHint)) == "secret")
        QGuiApplication::clipboard()->clear();
    m_copied.clear();
}

void PasswordWalletPage::lstItem_Click(QTreeWidgetItem* item) {
    if (m_lstItem->topLevelItemCount() == 0 || !item)
        return;
    const std::string description = item->data(0, Qt::UserRole).toByteArray().toStdString();
    setBoxText(m_txtDescription, description);
    const WalletEntry entry = ReadWalletEntry(description);
    setBoxText(m_txtServer, entry.server);
    setBoxText(m_txtUserName, entry.userName);
    setBoxText(m_txtPassword, entry.password);
    setBoxText(m_txtNotes, entry.notes);
    m_cmdPassSave->setEnabled(false);
}

void PasswordWalletPage::cmdPassSave_Click() {
    const std::string description = boxText(m_txtDescription);
    if (RefuseDescription(m_prompt, description)) {
        return; // every box keeps what was typed
    }
    if (!SaveEntry(m_prompt, description,
                   {boxText(m_txtServer), boxText(m_txtUserName), boxText(m_txtPassword), boxText(m_txtNotes)}, false))
        return;
    cmdPassReload_Click();
}

void PasswordWalletPage::cmdPassDelete_Click() {
    const std::string description = boxText(m_txtDescription);
    if (platform::trimBlanks(description).empty()) {
        m_prompt.show(kNothingSelected, platform::Buttons::OK);
        return;
    }
    if (m_prompt.show(DeleteQuestion(description), platform::Buttons::YesNo, platform::Icon::Question, kDeleteTitle) ==
        platform::Answer::No)
        return;
    DeleteWalletEntry(description);
    cmdPassReload_Click();
}

void PasswordWalletPage::cmdPassAdd_Click() {
    frmPassAdd dialog(
        m_prompt, [this] { cmdPassReload_Click(); }, window());
    dialog.exec();
}

} // namespace wallet
