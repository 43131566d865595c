#pragma once
// The "Main" tab: the lock toolbar, the browser pane's folders and files side by side, the two
// password boxes and the commands under them. The window hands it the pane's widgets and the
// program's pictures; connectCommands wires its controls to the lock commands.

#include <QIcon>
#include <QWidget>

#include <functional>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolBar;
class QWidget;

namespace locking {

class LockingCommands;

// What the page shows that it does not make itself.
struct LockingPageParts {
    QWidget* folders = nullptr; // the drive list and folder tree
    QWidget* files = nullptr;   // the file list
    QIcon appIcon;
    QIcon lockIcon;
    std::function<QIcon(const QString& key)> toolbarIcon;                              // by toolbar key
    std::function<QLineEdit*(const QString& objectName, QWidget* parent)> passwordBox; // the program's kind
};

class LockingPage final : public QWidget {
    Q_OBJECT
public:
    // The toolbar's actions are made with `actionOwner` as parent (the window finds them by name).
    LockingPage(const LockingPageParts& parts, QObject* actionOwner, QWidget* parent);

    QToolBar* tbrLock() const { return m_tbrLock; }
    QLineEdit* txtPassword1() const { return m_txtPassword1; }
    QLineEdit* txtPassword2() const { return m_txtPassword2; }
    QPushButton* button(const char* name) const;
    // The toolbar buttons and the page's controls that change files: off while a command runs.
    const std::vector<QAction*>& fileActions() const { return m_fileActions; }
    std::vector<QWidget*> fileWidgets() const;

    // The Lock, Unlock, Select All and Deselect All buttons, Return in the confirmation box and the
    // lock toolbar, to the lock commands.
    void connectCommands(LockingCommands& commands);
    // Says which kind of lock Lock makes now ("lblLockKind"), with what it protects against.
    void showLockKind(bool strong);

signals:
    // A lock toolbar button was pressed; its key.
    void lockToolbarClicked(const QString& key);

private:
    void setTabOrderOfPage(QWidget* files);
    // Shows the strength line while locks are strong and the password is short.
    void showPasswordStrength();

    QToolBar* m_tbrLock = nullptr;
    QLineEdit* m_txtPassword1 = nullptr;
    QLineEdit* m_txtPassword2 = nullptr;
    QLabel* m_lblLockKind = nullptr;
    // Under the password boxes while locks are strong and the password is short.
    QLabel* m_lblShortPassword = nullptr;
    bool m_strong = false;
    std::vector<QAction*> m_fileActions;
};

} // namespace locking
