#pragma once
// The program's own folders and files are private to the user, whatever the umask: its data, state
// and config folders ($XDG_DATA_HOME/tessaly, $XDG_STATE_HOME/tessaly, $XDG_CONFIG_HOME/tessaly) are
// 0700 and every file it writes there 0600. Folders are made so when created, files when opened, and
// what an earlier version left looser is tightened at start.

#include <string>

namespace platform {

// Why the program cannot place its private folders ("" when it can): with neither HOME nor the XDG
// variable of a folder set, there is nowhere of the user's own to put it (never the shared /tmp).
std::string PrivateFoldersProblem();

// Creates the folder (and missing parents) and sets the folder itself to 0700. Throws SysError.
void MakePrivateFolder(const std::string& hostFolder);

// Opens (creating when missing) a file of the program for writing, no link followed, and sets it to
// 0600. The descriptor, or -1 with errno set.
int OpenPrivateFile(const std::string& hostFile, int flags);

// Sets the folder to 0700 and, beneath it, folders to 0700 and files to 0600 (links are not
// followed nor changed). Missing folders are skipped.
void TightenPrivateTree(const std::string& hostFolder);

// Tightens the data, state and config folders as above (at start, in the window and the CLI).
void TightenPrivateFolders();

} // namespace platform
