#pragma once
// Opening a file or address with its default action: xdg-open, found on PATH (tests put a stub first
// on PATH). Mail with an attachment: xdg-email. Both start detached and return whether the helper
// could be started.

#include <string>
#include <vector>

namespace platform {

// A URL ("http://...", "mailto:...") or a Windows-form path (converted to its host path).
bool openDefault(const std::string& target);
bool sendMail(const std::vector<std::string>& arguments);

} // namespace platform
