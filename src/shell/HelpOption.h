// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `tessaly --help` (or -h) prints how to start the program and ends, before any display, registry or
// password is needed: the arguments are read before the application object is made.

#include <cstdio>
#include <cstring>

namespace shell {

inline constexpr const char* kHelpText =
    "Usage: tessaly [FILE...]\n"
    "       tessaly --help | --version\n"
    "\n"
    "Tessaly locks files and folders with a password, keeps a password wallet and favourites,\n"
    "shreds files and shows thumbnails of pictures. It asks for its application password first\n"
    "(a new one on the first start).\n"
    "\n"
    "Each FILE is handled after the password: a locked file opens a window that asks for the\n"
    "file's password and unlocks it; any other file or folder is shown in the main window. When\n"
    "Tessaly is already running, the running program takes the files.\n"
    "\n"
    "  -h, --help  show this text and exit\n"
    "  --version   print the program's name and version and exit\n"
    "\n"
    "The manual: Help > Help Pages in the main window. Locking from a shell: tessaly-cli --help.\n";

// True when an argument before "--" asks for help; the text has then been printed.
inline bool PrintHelpIfAsked(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelpText, stdout);
            std::fflush(stdout);
            return true;
        }
    }
    return false;
}

} // namespace shell
