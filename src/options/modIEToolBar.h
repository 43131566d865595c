#pragma once
// The browser toolbar button: a set of registry values under the local-machine root that name the
// program, its icon and its captions. On Linux no browser reads them; they record the choice.

#include "options/AppLocation.h"

#include <string>

namespace options {

// Writes the eight values of the button key (the caption is the main window's). Registry failures
// leave a value missing and are not reported.
void AddIEButton(const std::string& caption, const AppLocation& app);
// Deletes the button key with its values.
void RemoveIEButton();

} // namespace options
