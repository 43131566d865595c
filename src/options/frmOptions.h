#pragma once
// The Options window: the "Preferences" page (start at login, the browser toolbar button, the
// upgrade check) and the "Change Password" page. It is modeless, has no owner and is deleted when
// closed. What it needs of the program (the change-password routine, the progress window) is handed
// in.

#include "options/AppLocation.h"
#include "options/UpgradeCheck.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QSpinBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace platform {
class Prompt;
}

namespace options {

// The texts of the three password boxes; the routine may change the new and confirm texts (it
// empties them when they differ) and they are written back to the boxes.
struct PasswordChange {
    std::string oldPassword;
    std::string newPassword;
    std::string newConfirm;
};

struct OptionsHost {
    AppLocation app;
    std::function<bool(PasswordChange&)> changePassword;
    std::shared_ptr<ProgressPort> progress;
    int upgradeTimeoutMs = kUpgradeTimeoutMs;
    // Whether the desktop shows a system tray (unset: asked of the desktop when the window opens).
    std::function<bool()> trayAvailable;
};

} // namespace options

class frmOptions final : public QDialog {
    Q_OBJECT
public:
    // mainWindow: placed beside it, and its caption is the browser button's text. It is not the owner.
    frmOptions(platform::Prompt& prompt, options::OptionsHost host, QWidget* mainWindow = nullptr);
    ~frmOptions() override;

    QTabWidget* tbsOptions() const { return m_tbsOptions; }

signals:
    // The idle time or the lock-on-restore choice was changed (and stored).
    void lockSettingsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void cmdEnableStart_Click();
    void chkIEInte_Click(bool checked);
    void chkStrongLocks_Click(bool checked);
    void spnIdleLock_Changed(int minutes);
    void chkLockOnRestore_Click(bool checked);
    void cmdUpgrade_Click();
    void cmdChange_Click();
    void setStartCaption();

    platform::Prompt& m_prompt;
    options::OptionsHost m_host;
    QPointer<QWidget> m_mainWindow;
    bool m_checking = false;
    bool m_closeAfterCheck = false;

    QTabWidget* m_tbsOptions = nullptr;
    QCheckBox* m_chkIEInte = nullptr;
    QCheckBox* m_chkStrongLocks = nullptr;
    QSpinBox* m_spnIdleLock = nullptr;
    QCheckBox* m_chkLockOnRestore = nullptr;
    QLabel* m_lblNoTray = nullptr;
    QPushButton* m_cmdUpgrade = nullptr;
    QPushButton* m_cmdEnableStart = nullptr;
    QLineEdit* m_txtOldPass = nullptr;
    QLineEdit* m_txtNewPass = nullptr;
    QLineEdit* m_txtNewConfirm = nullptr;
    QPushButton* m_cmdChange = nullptr;
    QPushButton* m_cmdClose = nullptr;
};
