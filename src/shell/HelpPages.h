// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Help → Help Pages: the deployment's help address when there is one, else the manual installed with
// the program (the user manual, docs/manual.md, made into HTML at build time), so help works without a
// network.

#include "platform/Prompt.h"

#include <string>
#include <vector>

namespace shell {

// Where the installed manual may be, most likely first: beside the program's own prefix
// (<prefix>/bin/tessaly -> <prefix>/share/doc/tessaly/index.html), then the system's place.
std::vector<std::string> ManualCandidates(const std::string& programFolder);

// What Help Pages opens: `helpUrl` when set, else a file:// address of the first manual that
// exists; empty when there is neither.
std::string HelpPagesTarget(const std::string& helpUrl, const std::string& programFolder);

// Opens the help pages for the running program; says so when there is no manual to open.
void OpenHelpPages(platform::Prompt& prompt);

} // namespace shell
