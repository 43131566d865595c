#pragma once
// The first-run window: asks for the new application password twice and stores it.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace platform {
class Prompt;
}

class frmNewPassword final : public QDialog {
    Q_OBJECT
public:
    explicit frmNewPassword(platform::Prompt& prompt, QWidget* parent = nullptr);

    void cmdOK_Click();

private:
    platform::Prompt& m_prompt;
    QLineEdit* m_txtPassword1;
    QLineEdit* m_txtPassword2;
};
