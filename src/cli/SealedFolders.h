#pragma once
// The sealed folder on the command line: `lock --strong FOLDER` seals, `unlock FILE` opens a sealed
// file (known by its content), `unlock --only PATH FILE` takes one file out, `info FILE` lists the
// tree. Each prints what it did and returns whether it succeeded; refusals go to standard error.

#include <string>

namespace cli {

// Whether the argument names a folder (not a link to one), which `lock --strong` seals.
bool isFolderArgument(const std::string& arg);
// Whether the argument names a sealed folder's file.
bool isSealedArgument(const std::string& arg);

bool sealFolder(const std::string& arg, const std::string& password);
bool openSealed(const std::string& arg, const std::string& password);
bool takeOneOut(const std::string& arg, const std::string& path, const std::string& password);
bool listSealed(const std::string& arg, const std::string& password);

} // namespace cli
