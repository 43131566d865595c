#pragma once
// The login window: the application password must be typed before the main window loads.

#include <QDialog>

class QLineEdit;

namespace platform {
class Prompt;
}

class frmPassword final : public QDialog {
    Q_OBJECT
public:
    explicit frmPassword(platform::Prompt& prompt, QWidget* parent = nullptr);

    void cmdOK_Click();
    bool accepted() const { return m_accepted; }

private:
    platform::Prompt& m_prompt;
    QLineEdit* m_txtPassword;
    bool m_accepted = false;
};
