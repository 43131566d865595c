// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// `--version` as the only argument prints "Tessaly 1.x.y" on standard output; both programs check it
// first, before any display, registry or password is needed.

#include "TessalyVersion.h"

#include <cstdio>
#include <cstring>

namespace diagnostics {

inline constexpr const char* kVersionText = TESSALY_VERSION_TEXT;

// True when the arguments ask for the version; it has then been printed.
inline bool PrintVersionIfAsked(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--version") != 0)
        return false;
    std::printf("%s\n", kVersionText);
    std::fflush(stdout);
    return true;
}

} // namespace diagnostics
