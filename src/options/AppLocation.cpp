#include "options/AppLocation.h"

#include "platform/Environment.h"
#include "platform/SysError.h"
#include "settings/modFileFunctions.h"

#include <filesystem>

namespace options {

AppLocation CurrentApplication() {
    const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe");
    return {platform::toWindows(exe.parent_path().string()), exe.stem().string(), exe.string()};
}

namespace {

// A folder in the program's own form: a drive letter and a colon first.
bool onDrive(const AppLocation& app) {
    return app.folder.size() >= 2 && app.folder[1] == ':';
}

} // namespace

std::string ExecutablePath(const AppLocation& app) {
    if (!onDrive(app))
        return app.hostExecutable;
    return AddBackslash(app.folder) + app.baseName + ".exe";
}

std::string IconPath(const AppLocation& app) {
    if (!onDrive(app))
        return (std::filesystem::path(app.hostExecutable).parent_path() / "icon.ico").string();
    return AddBackslash(app.folder) + "icon.ico";
}

AppLocation RunningApplication() {
    try {
        return CurrentApplication();
    } catch (const platform::SysError&) {
        const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe");
        return {std::string(), exe.stem().string(), exe.string()};
    }
}

} // namespace options
