#include "FuzzSandbox.h"

#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace fuzz_support {

const std::string& sandboxRoot() {
    static const std::string root = [] {
        const char* parent = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string tmpl = std::string(parent) + "/tessaly-fuzz.XXXXXX";
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("cannot create the fuzz sandbox");
        const char* vars[] = {"HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"};
        const char* dirs[] = {"home", "home/.local/share", "home/.local/state", "home/.config", "home/.cache"};
        for (int i = 0; i < 5; ++i) {
            fs::create_directories(tmpl + "/" + dirs[i]);
            setenv(vars[i], (tmpl + "/" + dirs[i]).c_str(), 1);
        }
        fs::create_directories(tmpl + "/work");
        platform::resetEnvironment();
        platform::registry().setString(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free\\Drives", "C",
                                       tmpl);
        platform::reloadDrives();
        // The sandbox goes when the harness ends.
        static const std::string removeAtExit = tmpl;
        std::atexit([] {
            std::error_code ec;
            for (auto it = fs::recursive_directory_iterator(removeAtExit, ec);
                 !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
            fs::remove_all(removeAtExit, ec);
        });
        return tmpl;
    }();
    return root;
}

void writeHostFile(const std::string& hostPath, const unsigned char* data, std::size_t size) {
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out)
        throw std::runtime_error("cannot write " + hostPath);
}

void clearWorkFolder() {
    const fs::path work = sandboxRoot() + "/work";
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(work, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    for (const auto& entry : fs::directory_iterator(work, ec))
        fs::remove_all(entry.path(), ec);
}

platform::Answer SilentPrompt::show(const std::string&, platform::Buttons buttons, platform::Icon,
                                    const std::string&) {
    switch (buttons) {
    case platform::Buttons::YesNo:
    case platform::Buttons::YesNoCancel:
        return platform::Answer::Yes;
    case platform::Buttons::RetryCancel:
        return platform::Answer::Cancel; // never retry forever
    case platform::Buttons::AbortRetryIgnore:
        return platform::Answer::Abort;
    default:
        return platform::Answer::OK;
    }
}

} // namespace fuzz_support
