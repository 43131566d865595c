#include "wallet/PasswordWalletPage.h"

#include "wallet/Wallet.h"
#include "wallet/WalletForm.h"
#include "wallet/frmPassAdd.h"

#include "platform/Prompt.h"
#include "platform/Text.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace wallet {

namespace {

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

    auto* grid = new QGridLayout;
    const WalletBoxes boxes = addWalletRows(this, grid, 1);
    m_txtDescription = boxes.description;
    m_txtServer = boxes.server;
    m_txtUserName = boxes.userName;
    m_txtPassword = boxes.password; // shown in clear, as the user keeps it
    m_txtNotes = boxes.notes;
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

    auto* right = new QVBoxLayout;
    right->addLayout(grid);
    right->addLayout(buttons);
    right->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_lstItem, 2);
    layout->addLayout(right, 3);

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
    }
    m_cmdPassSave->setEnabled(false);
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
