#pragma once
// The password of one locked file, asked in a window of its own: unlock-and-open uses it when the
// main window's password box is empty, so that a double click on a locked file needs no trip to
// the boxes under the list.

#include <QDialog>

#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QWidget;

namespace locking {

// The password box of a window that asks for a locked file's password, "txtPassword" with its dots,
// and its label "&Password:" ("lblPassword") as its buddy.
QLineEdit* makeFilePasswordBox(QWidget* owner, QLabel** label);

class frmFilePassword final : public QDialog {
    Q_OBJECT

public:
    // shownPath: the file as the user knows it.
    frmFilePassword(const std::string& shownPath, QWidget* parent = nullptr);
    std::string password() const;

    // Shows the window modally; the typed password, or nothing when the user cancelled.
    static std::optional<std::string> ask(const std::string& shownPath, QWidget* parent);

private:
    QLineEdit* m_txtPassword;
};

} // namespace locking
