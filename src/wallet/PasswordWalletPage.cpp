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
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>
#include <vector>

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

// A small picture beside a field (the shell hands the pictures); decoration only, so it is kept out
// of the accessible tree's way.
QLabel* makePicture(QWidget* owner, const char* name) {
    auto* pic = new QLabel(owner);
    pic->setObjectName(QString::fromLatin1(name));
    pic->setFixedSize(16, 16);
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
    m_cmdShowPassword = addPasswordToggle(this, grid, 3, 3, m_txtPassword);
    m_imgDescription = makePicture(this, "imgDescription");
    m_imgServer = makePicture(this, "imgServer");
    m_imgUserName = makePicture(this, "imgUserName");
    m_imgPassword = makePicture(this, "imgPassword");
    grid->addWidget(m_imgDescription, 0, 0);
    grid->addWidget(m_imgServer, 1, 0);
    grid->addWidget(m_imgUserName, 2, 0);
    grid->addWidget(m_imgPassword, 3, 0);

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
    // A copy says so, and for how long the clipboard keeps it.
    m_lblCopied = new QLabel(this);
    m_lblCopied->setObjectName(QStringLiteral("lblCopied"));
    copies->addWidget(m_lblCopied);
    copies->addStretch();

    auto* right = new QVBoxLayout;
    right->addLayout(grid);
    right->addLayout(copies);
    right->addLayout(buttons);
    right->addStretch();
    // What keeps the entries safe, said as the favourites tab says it of its file.
    auto* about = new QLabel(QString::fromLatin1(kAboutWallet), this);
    about->setObjectName(QStringLiteral("lblAboutWallet"));
    about->setWordWrap(true);
    right->addWidget(about);

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

    // Reload by the button keeps no edits unasked; the reloads after Add, Save and Delete follow a
    // write, so there is nothing of the user's to lose.
    connect(m_cmdPassReload, &QPushButton::clicked, this, [this] {
        if (settleEdits())
            cmdPassReload_Click();
    });
    connect(m_cmdPassSave, &QPushButton::clicked, this, &PasswordWalletPage::cmdPassSave_Click);
    connect(m_cmdPassDelete, &QPushButton::clicked, this, &PasswordWalletPage::cmdPassDelete_Click);
    connect(m_cmdPassAdd, &QPushButton::clicked, this, &PasswordWalletPage::cmdPassAdd_Click);
    // Enter on an entry shows it too, for those who use the keyboard. Where the style activates an
    // item on a single click, activation alone covers the click as well (one question, not two).
    if (!style()->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr, m_lstItem))
        connect(m_lstItem, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { lstItem_Click(item); });
    connect(m_lstItem, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { lstItem_Click(item); });
    // Editing a field (not the description) makes the entry worth saving.
    for (auto* box : {m_txtServer, m_txtUserName, m_txtPassword, m_txtNotes})
        connect(box, &QLineEdit::textChanged, this, [this] { m_cmdPassSave->setEnabled(true); });
    // A copy button is of use only while its box holds something.
    for (auto* box : {m_txtUserName, m_txtPassword})
        connect(box, &QLineEdit::textChanged, this, &PasswordWalletPage::updateCopyButtons);
    updateCopyButtons();
    updateEditable();
}

void PasswordWalletPage::setFieldPictures(const FieldPictures& pictures) {
    const std::pair<QLabel*, const QIcon*> pairs[] = {{m_imgDescription, &pictures.description},
                                                      {m_imgServer, &pictures.server},
                                                      {m_imgUserName, &pictures.userName},
                                                      {m_imgPassword, &pictures.password}};
    for (const auto& [label, icon] : pairs)
        label->setPixmap(icon->pixmap(label->size()));
}

std::string UnsavedQuestion(const std::string& description) {
    if (platform::trimBlanks(description).empty())
        return "The entry you typed is not saved. Save it?";
    return "The changes to '" + description + "' are not saved. Save them?";
}

void PasswordWalletPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_filled && !m_away.active)
        cmdPassReload_Click();
}

void PasswordWalletPage::setLocked(bool locked) {
    if (locked == m_away.active)
        return;
    if (locked) {
        m_away = {};
        m_away.active = true;
        m_away.wasFilled = m_filled;
        m_away.shown = m_shown;
        if (m_shown && hasUnsavedEdits())
            for (const QLineEdit* box : {m_txtDescription, m_txtServer, m_txtUserName, m_txtPassword, m_txtNotes})
                m_away.edits << box->text();
        m_away.filter = m_txtFilter->text();
        // The Add window (hidden by the lock, its exec() still waiting) keeps nothing either.
        if (m_adding) {
            for (QLineEdit* box : m_adding->findChildren<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly)) {
                m_away.adding.emplace_back(box, box->text());
                box->setText(QString());
            }
            if (auto* show = m_adding->findChild<QPushButton*>(QStringLiteral("cmdShowPassword")))
                show->setChecked(false);
        }
        // A copy still on the clipboard goes now, not when its time runs out.
        m_clearClipboard->stop();
        if (!m_copied.isEmpty())
            clearCopiedText();
        {
            const QSignalBlocker quiet(m_txtFilter);
            m_txtFilter->setText(QString());
        }
        m_filterText.clear();
        clearDetails();
        m_lstItem->clear();
        m_filled = false;
        return;
    }
    LockedAway away = std::exchange(m_away, {});
    {
        const QSignalBlocker quiet(m_txtFilter);
        m_txtFilter->setText(away.filter);
    }
    m_filterText = away.filter;
    if (away.wasFilled || isVisible())
        fillList();
    if (away.shown)
        showEntry(*away.shown);
    // The edits come back onto their entry (Save is on again, as they are not saved).
    if (away.edits.size() == 5 && m_shown == away.shown) {
        QLineEdit* const boxes[] = {m_txtDescription, m_txtServer, m_txtUserName, m_txtPassword, m_txtNotes};
        for (int i = 0; i < 5; ++i)
            boxes[i]->setText(away.edits[i]);
    }
    for (const auto& [box, text] : away.adding)
        if (box)
            box->setText(text);
}

void PasswordWalletPage::cmdPassReload_Click() {
    clearDetails();
    fillList();
    m_cmdPassSave->setEnabled(false);
}

void PasswordWalletPage::fillList() {
    m_filled = true;
    m_lstItem->clear();
    // The entries as opened (the stored names say nothing), by description without regard to case
    // (the same letters in another case: by their codes).
    std::vector<WalletItem> entries = OpenWalletEntries();
    std::vector<std::pair<QString, WalletItem*>> sorted;
    sorted.reserve(entries.size());
    for (WalletItem& entry : entries)
        sorted.emplace_back(
            QString::fromLocal8Bit(entry.description.data(), static_cast<qsizetype>(entry.description.size())), &entry);
    std::sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
        const int order = a.first.compare(b.first, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.second->description < b.second->description;
    });
    for (const auto& [text, entry] : sorted) {
        auto* item = new QTreeWidgetItem(m_lstItem);
        item->setText(0, text);
        item->setData(0, Qt::UserRole, QByteArray::fromStdString(entry->description));
        item->setData(0, kSearchRole, QString::fromLocal8Bit(entry->fields.server + "\n" + entry->fields.userName));
    }
    txtFilter_Change();
}

void PasswordWalletPage::txtFilter_Change() {
    const auto matches = [this](const QTreeWidgetItem* item, const QString& filter) {
        const QString needle = filter.trimmed();
        return needle.isEmpty() || item->text(0).contains(needle, Qt::CaseInsensitive) ||
               item->data(0, kSearchRole).toString().contains(needle, Qt::CaseInsensitive);
    };
    // The shown entry about to be filtered away takes its edits with it only when the user says so;
    // staying on it puts the filter back as it was.
    QTreeWidgetItem* shownItem = m_shown ? itemOf(*m_shown) : nullptr;
    if (shownItem && !matches(shownItem, m_txtFilter->text())) {
        if (!settleEdits()) {
            const QSignalBlocker quiet(m_txtFilter);
            m_txtFilter->setText(m_filterText);
            return;
        }
        if (m_shown) // a save refilled the list; otherwise the entry leaves the boxes
            clearDetails();
    }
    m_filterText = m_txtFilter->text();
    for (int i = 0; i < m_lstItem->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_lstItem->topLevelItem(i);
        item->setHidden(!matches(item, m_filterText));
        if (item->isHidden() && item->isSelected())
            item->setSelected(false);
    }
    if (m_lstItem->currentItem() && m_lstItem->currentItem()->isHidden())
        m_lstItem->setCurrentItem(nullptr);
}

QTreeWidgetItem* PasswordWalletPage::itemOf(const std::string& description) const {
    for (int i = 0; i < m_lstItem->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_lstItem->topLevelItem(i);
        if (item->data(0, Qt::UserRole).toByteArray().toStdString() == description)
            return item;
    }
    return nullptr;
}

void PasswordWalletPage::clearDetails() {
    // setText, unlike clear(), keeps no undo step that holds the text.
    for (auto* box : {m_txtDescription, m_txtServer, m_txtUserName, m_txtPassword, m_txtNotes})
        box->setText(QString());
    m_shown.reset();
    m_loaded = {};
    m_cmdShowPassword->setChecked(false);
    m_cmdPassSave->setEnabled(false);
    m_lstItem->clearSelection();
    m_lstItem->setCurrentItem(nullptr);
    updateEditable();
}

void PasswordWalletPage::updateEditable() {
    for (auto* box : {m_txtDescription, m_txtServer, m_txtUserName, m_txtPassword, m_txtNotes})
        box->setReadOnly(!m_shown);
}

void PasswordWalletPage::updateCopyButtons() {
    m_cmdCopyUserName->setEnabled(!m_txtUserName->text().isEmpty());
    m_cmdCopyPassword->setEnabled(!m_txtPassword->text().isEmpty());
}

bool PasswordWalletPage::hasUnsavedEdits() const {
    if (!m_shown) {
        for (const auto* box : {m_txtDescription, m_txtServer, m_txtUserName, m_txtPassword, m_txtNotes})
            if (!box->text().isEmpty())
                return true;
        return false;
    }
    return boxText(m_txtDescription) != *m_shown || boxText(m_txtServer) != m_loaded.server ||
           boxText(m_txtUserName) != m_loaded.userName || boxText(m_txtPassword) != m_loaded.password ||
           boxText(m_txtNotes) != m_loaded.notes;
}

bool PasswordWalletPage::settleEdits() {
    if (!hasUnsavedEdits())
        return true;
    const std::string question = UnsavedQuestion(m_shown ? *m_shown : boxText(m_txtDescription));
    switch (m_prompt.show(question, platform::Buttons::YesNoCancel, platform::Icon::Question)) {
    case platform::Answer::No:
        return true;
    case platform::Answer::Yes:
        if (!saveBoxes())
            return false; // refused or not written: shown, and the boxes keep what was typed
        cmdPassReload_Click();
        return true;
    default:
        return false;
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
    m_lblCopied->setText(
        QStringLiteral("Copied; the clipboard clears in %1 s.").arg((m_clearClipboard->interval() + 999) / 1000));
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
    m_lblCopied->clear();
}

void PasswordWalletPage::lstItem_Click(QTreeWidgetItem* item) {
    if (m_lstItem->topLevelItemCount() == 0 || !item || item->isHidden())
        return;
    const std::string description = item->data(0, Qt::UserRole).toByteArray().toStdString();
    if (m_shown && *m_shown == description && hasUnsavedEdits())
        return; // the entry being edited: its edits stay
    if (!settleEdits()) {
        // Staying on the entry: the list points at it again.
        if (QTreeWidgetItem* stay = m_shown ? itemOf(*m_shown) : nullptr)
            m_lstItem->setCurrentItem(stay);
        else {
            m_lstItem->clearSelection();
            m_lstItem->setCurrentItem(nullptr);
        }
        return;
    }
    showEntry(description); // found again: a save has refilled the list
}

void PasswordWalletPage::showEntry(const std::string& description) {
    QTreeWidgetItem* item = itemOf(description);
    if (!item || item->isHidden()) {
        clearDetails();
        return;
    }
    m_loaded = ReadWalletEntry(description);
    m_shown = description;
    m_cmdShowPassword->setChecked(false); // each entry starts with its password hidden
    setBoxText(m_txtDescription, description);
    setBoxText(m_txtServer, m_loaded.server);
    setBoxText(m_txtUserName, m_loaded.userName);
    setBoxText(m_txtPassword, m_loaded.password);
    setBoxText(m_txtNotes, m_loaded.notes);
    m_lstItem->setCurrentItem(item);
    m_cmdPassSave->setEnabled(false);
    updateEditable();
}

bool PasswordWalletPage::saveBoxes() {
    const std::string description = boxText(m_txtDescription);
    if (RefuseDescription(m_prompt, description))
        return false; // every box keeps what was typed
    return SaveEntry(m_prompt, description,
                     {boxText(m_txtServer), boxText(m_txtUserName), boxText(m_txtPassword), boxText(m_txtNotes)},
                     false);
}

void PasswordWalletPage::cmdPassSave_Click() {
    if (saveBoxes())
        cmdPassReload_Click();
}

void PasswordWalletPage::cmdPassDelete_Click() {
    const std::string description = boxText(m_txtDescription);
    if (platform::trimBlanks(description).empty()) {
        m_prompt.show(kNothingSelected, platform::Buttons::OK);
        return;
    }
    // Nothing brings a deleted entry back: No is the default answer.
    if (m_prompt.show(DeleteQuestion(description), platform::Buttons::YesNoDefaultNo, platform::Icon::Question,
                      kDeleteTitle) != platform::Answer::Yes)
        return;
    DeleteWalletEntry(description);
    cmdPassReload_Click();
}

void PasswordWalletPage::cmdPassAdd_Click() {
    // The list is refilled after an entry is added; edits in the boxes stay there, on their entry.
    frmPassAdd dialog(
        m_prompt,
        [this] {
            if (!hasUnsavedEdits())
                return cmdPassReload_Click();
            fillList();
            if (QTreeWidgetItem* item = m_shown ? itemOf(*m_shown) : nullptr; item && !item->isHidden())
                m_lstItem->setCurrentItem(item);
        },
        window());
    m_adding = &dialog;
    dialog.exec();
}

} // namespace wallet
