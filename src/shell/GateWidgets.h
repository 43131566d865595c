#pragma once
// Pieces the two password windows share.

#include <QString>
#include <string>

class QLabel;
class QLineEdit;
class QWidget;

namespace shell {

// The text of a box as the program's 8-bit text, and back.
std::string toBytes(const QString& text);
QString fromBytes(const std::string& text);

// A password box: Arial, "*" for every character.
QLineEdit* makePasswordBox(const QString& objectName, QWidget* parent);
// The padlock picture of the password windows.
QLabel* makeLockPicture(const QString& objectName, int size, QWidget* parent);

} // namespace shell
