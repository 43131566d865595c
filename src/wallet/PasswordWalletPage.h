#pragma once
// The "Password Wallet" tab: the list of entries (by description, without regard to case) with a
// filter box over it, the five boxes of the shown entry (the password as dots until Show is
// pressed, hidden again for every entry shown), Add, Save, Delete and Reload, and Copy User Name /
// Copy Password, which put the text on the clipboard marked as secret for clipboard managers and
// take it off again after 20 seconds if it is still there. The list mirrors the registry and is
// refilled after every change; it is first filled when the tab is first shown.
//
// The boxes show only an entry the list shows: an entry the filter hides is taken out of the boxes,
// and with no entry shown they take no typing (new entries are typed in the Add window). Edits are
// never dropped unasked: showing another entry, Reload or a filter that hides the edited entry first
// asks whether to save them, drop them or stay on the entry.
//
// While the program is locked the page holds nothing of the wallet: the list, the boxes, the filter
// and the Add window's boxes are empty, Show is off and a copied secret is off the clipboard. After
// the right password the list is filled again, and the entry that was shown (with its unsaved
// edits) and the Add window's text come back.

#include "wallet/Wallet.h"

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <string>
#include <utility>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace platform {
class Prompt;
}

namespace wallet {

// The question asked before edits are set aside. `description` is the edited entry's ("" for text
// typed into empty boxes whose description is still blank).
std::string UnsavedQuestion(const std::string& description);

// The wallet's own word on how its entries are kept.
inline constexpr const char* kAboutWallet =
    "The wallet encrypts each entry's fields and its description with a key made from your application "
    "password; the key exists only while Tessaly is unlocked.";

class PasswordWalletPage final : public QWidget {
    Q_OBJECT

public:
    // At the program's end: a secret this page copied that is still on the clipboard is taken off it.
    void clearClipboardOnQuit();
    explicit PasswordWalletPage(platform::Prompt& prompt, QWidget* parent = nullptr);

    void cmdPassReload_Click();
    void lstItem_Click(QTreeWidgetItem* item);
    void cmdPassSave_Click();
    void cmdPassDelete_Click();
    void cmdPassAdd_Click();
    void cmdCopyUserName_Click();
    void cmdCopyPassword_Click();
    // Hides the entries whose description, server and user name do not hold the filter's text.
    void txtFilter_Change();

    // How long a copied text stays on the clipboard (20 s; shorter in tests).
    void setClipboardClearDelay(int milliseconds);

    // The description of the entry the boxes show; nothing when they show none.
    const std::optional<std::string>& shownEntry() const { return m_shown; }

    // The program was locked (everything of the wallet leaves the page) or opened again.
    void setLocked(bool locked);

    // The pictures beside the description, server, user name and password boxes (none by default).
    struct FieldPictures {
        QIcon description, server, userName, password;
    };
    void setFieldPictures(const FieldPictures& pictures);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void copySecret(const QString& text);
    void clearCopiedText();
    // Refills the list from the opened entries (the filter applied); the boxes are left as they are.
    void fillList();
    // Shows the entry of that description (its list item made current); empties the boxes when the
    // list has no such entry.
    void showEntry(const std::string& description);
    // Empties the five boxes: no entry is shown.
    void clearDetails();
    QTreeWidgetItem* itemOf(const std::string& description) const;
    // Whether the boxes differ from the entry they show (or, showing none, hold any text).
    bool hasUnsavedEdits() const;
    // Asks about unsaved edits: saved (Yes), dropped (No) or kept (Cancel). True when the boxes may
    // now be changed; false when the user stays on the entry or the save was refused or failed.
    bool settleEdits();
    // The tab's Save without the reload; true when the entry was written.
    bool saveBoxes();
    void updateCopyButtons();
    // The boxes take typing only while they show an entry.
    void updateEditable();

    // What the page showed when the program was locked, to show again after the unlock.
    struct LockedAway {
        bool active = false;
        bool wasFilled = false;
        std::optional<std::string> shown;
        QStringList edits; // the five boxes, when they held unsaved edits
        QString filter;
        std::vector<std::pair<QPointer<QLineEdit>, QString>> adding; // the Add window's boxes
    };

    platform::Prompt& m_prompt;
    QLineEdit* m_txtFilter;
    QLabel* m_lblCopied = nullptr;
    QTimer* m_clearClipboard;
    QString m_copied; // what this page last put on the clipboard
    bool m_filled = false;
    std::optional<std::string> m_shown; // the description of the entry in the boxes
    WalletEntry m_loaded;               // its fields as they were read
    QString m_filterText;               // the filter as last applied
    QTreeWidget* m_lstItem;
    QLineEdit* m_txtDescription;
    QLineEdit* m_txtServer;
    QLineEdit* m_txtUserName;
    QLineEdit* m_txtPassword;
    QLineEdit* m_txtNotes;
    QPushButton* m_cmdPassAdd;
    QPushButton* m_cmdPassSave;
    QPushButton* m_cmdPassDelete;
    QPushButton* m_cmdPassReload;
    QPushButton* m_cmdCopyUserName;
    QPushButton* m_cmdCopyPassword;
    QPushButton* m_cmdShowPassword;
    QLabel* m_imgDescription;
    QLabel* m_imgServer;
    QLabel* m_imgUserName;
    QLabel* m_imgPassword;
    QPointer<QWidget> m_adding; // the Add window while it is open
    LockedAway m_away;
};

} // namespace wallet
