#pragma once
// The folder picker and the file dialog, with answers in Windows form ("" when cancelled or when
// the choice lies outside every drive).

#include <string>

class QWidget;

namespace platform {

std::string pickFolder(QWidget* owner, const std::string& title, const std::string& startWindowsFolder);
std::string pickOpenFile(QWidget* owner, const std::string& title, const std::string& startWindowsFolder,
                         const std::string& filter);

} // namespace platform
