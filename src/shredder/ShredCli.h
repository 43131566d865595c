#pragma once
// `tessaly-cli shred PATH...`: shreds files and folders given as host paths with the window's engine,
// refusals and messages. On a terminal a progress line follows large items. Returns the exit status:
// 0 when every item was shredded, 1 when one was refused, missing or failed.

#include <string>
#include <vector>

namespace shredder {

int ShredCommand(const std::vector<std::string>& hostPaths, const std::string& registerPath);

} // namespace shredder
