#include "options/AppLocation.h"

#include "platform/Environment.h"
#include "settings/modFileFunctions.h"

#include <filesystem>

namespace options {

AppLocation CurrentApplication() {
    const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe");
    return {platform::toWindows(exe.parent_path().string()), exe.stem().string(), exe.string()};
}

std::string ExecutablePath(const AppLocation& app) {
    return AddBackslash(app.folder) + app.baseName + ".exe";
}

} // namespace options
