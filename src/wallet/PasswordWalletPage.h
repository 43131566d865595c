#pragma once
// The "Password Wallet" tab: the list of entries, the five boxes of the shown entry, and Add, Save,
// Delete and Reload. The list mirrors the registry and is refilled after every change; it is first
// filled when the tab is first shown.

#include <QWidget>

#include <string>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace platform {
class Prompt;
}

namespace wallet {

class PasswordWalletPage final : public QWidget {
    Q_OBJECT

public:
    explicit PasswordWalletPage(platform::Prompt& prompt, QWidget* parent = nullptr);

    void cmdPassReload_Click();
    void lstItem_Click(QTreeWidgetItem* item);
    void cmdPassSave_Click();
    void cmdPassDelete_Click();
    void cmdPassAdd_Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    platform::Prompt& m_prompt;
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
};

} // namespace wallet
