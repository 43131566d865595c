#pragma once
// The folder picker: the chosen folder in Windows form, or "" when the user cancels.

#include <string>

class QWidget;

std::string BrowseForFolder(QWidget* owner, const std::string& promptText, const std::string& rootFolder = {},
                            const std::string& startFolder = {});
