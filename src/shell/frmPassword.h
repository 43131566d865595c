#pragma once
// The login window: the application password must be typed before the main window loads.

#include <QDialog>

#include <cstdint>
#include <string>

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
    // The box shown for a try during the wait after wrong passwords (the try is not checked).
    static std::string WaitMessage(std::int64_t seconds);

private:
    platform::Prompt& m_prompt;
    QLineEdit* m_txtPassword;
    bool m_accepted = false;
};
