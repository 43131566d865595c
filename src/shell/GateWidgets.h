#pragma once
// Pieces the two password windows share.

#include <QString>
#include <string>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace shell {

// The text of a box as the program's 8-bit text, and back.
std::string toBytes(const QString& text);
QString fromBytes(const std::string& text);

// A password box: Arial, the platform's mark for every character (as every password box shows).
QLineEdit* makePasswordBox(const QString& objectName, QWidget* parent);
// The padlock picture of the password windows.
QLabel* makeLockPicture(const QString& objectName, int size, QWidget* parent);

// The OK ("cmdOK", pressed by Enter) and Cancel ("cmdCancel") buttons of the password windows, in a
// row that keeps them at the right.
struct OkCancelButtons {
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QHBoxLayout* row = nullptr;
};
OkCancelButtons makeOkCancelButtons(QWidget* parent);

} // namespace shell
