#pragma once
// The window that adds one wallet entry: five boxes (the password as dots until Show is pressed), a
// password generator (length and classes of characters), OK writes the entry and has the wallet tab
// reload its list, Cancel writes nothing.

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace platform {
class Prompt;
}

namespace wallet {

class frmPassAdd final : public QDialog {
    Q_OBJECT

public:
    // reload runs after the entry was written (the wallet tab's Reload).
    frmPassAdd(platform::Prompt& prompt, std::function<void()> reload, QWidget* parent = nullptr);

    void cmdOK_Click();
    // A new password from the generator's settings into the password box.
    void cmdGenerate_Click();

private:
    platform::Prompt& m_prompt;
    std::function<void()> m_reload;
    QLineEdit* m_txtDescription;
    QLineEdit* m_txtServer;
    QLineEdit* m_txtUserName;
    QLineEdit* m_txtPassword;
    QLineEdit* m_txtNotes;
    QSpinBox* m_spnLength;
    QCheckBox* m_chkUpperCase;
    QCheckBox* m_chkLowerCase;
    QCheckBox* m_chkDigits;
    QCheckBox* m_chkSymbols;
    QPushButton* m_cmdGenerate;
};

} // namespace wallet
