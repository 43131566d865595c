#pragma once
// The "Password Wallet" tab: the list of entries with a filter box over it, the five boxes of the
// shown entry (the password as dots until Show is pressed), Add, Save, Delete and Reload, and Copy
// User Name / Copy Password, which put the text on the clipboard marked as secret for clipboard
// managers and take it off again after 20 seconds if it is still there. The list mirrors the
// registry and is refilled after every change; it is first filled when the tab is first shown.

#include <QString>
#include <QWidget>

#include <string>

class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace platform {
class Prompt;
}

namespace wallet {

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

protected:
    void showEvent(QShowEvent* event) override;

private:
    void copySecret(const QString& text);
    void clearCopiedText();

    platform::Prompt& m_prompt;
    QLineEdit* m_txtFilter;
    QTimer* m_clearClipboard;
    QString m_copied; // what this page last put on the clipboard
    bool m_filled = false;
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
};

} // namespace wallet
