// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Tessaly -Unlock File": one locked file opened with the program (from a file manager or the
// command line). It shows the file as the user knows it and asks for its password; Unlock runs the
// main window's Unlock command on that one file, with the same engine, checks and messages.

#include <QWidget>

#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace platform {
class Prompt;
}

namespace shell {

class UnlockFileWindow final : public QWidget {
    Q_OBJECT
public:
    // lockedPath: the file on disk, Windows form. registerPath: the register of locked items.
    UnlockFileWindow(const std::string& lockedPath, const std::string& registerPath, platform::Prompt& prompt,
                     QWidget* parent = nullptr);

    const std::string& lockedPath() const { return m_lockedPath; }
    // The file as the user knows it: "C:\Docs\letter.txt (locked)".
    QString shownText() const;
    // Asked before a run: true while another command that changes files runs (Unlock then waits).
    void setOtherCommandBusy(std::function<bool()> busy) { m_otherBusy = std::move(busy); }

    void cmdUnlock_click();

signals:
    // A run began (true) or ended (false).
    void busyChanged(bool busy);
    // The file was unlocked (restoredPath: where its content now is, Windows form).
    void unlocked(const std::string& restoredPath);

protected:
    void closeEvent(QCloseEvent* event) override;
    // The first show places the window in the middle of the main window (or of the screen).
    void showEvent(QShowEvent* event) override;

private:
    void setBusy(bool busy);
    void takeFocusBack();

    platform::Prompt& m_prompt;
    std::string m_lockedPath;
    std::string m_folder;
    std::string m_diskName;
    std::string m_shownName;
    std::string m_restoredName; // the file's name once unlocked ("" when it cannot be told)
    std::string m_registerPath;
    std::function<bool()> m_otherBusy;
    bool m_busy = false;
    bool m_placed = false;
    QLabel* m_lblFile;
    QLineEdit* m_txtPassword;
    QPushButton* m_cmdUnlock;
    QPushButton* m_cmdCancel;
};

} // namespace shell
