#include "shredder/ShredCommands.h"

#include "core/FolderPassword.h"
#include "core/Register.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/HostPath.h"
#include "platform/Overwrite.h"
#include "platform/Prompt.h"
#include "platform/ProtectedPaths.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"
#include "settings/modRegistryINI.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>

namespace shredder {

std::string CountText(std::size_t count) {
    if (count == 1)
        return "There is 1 file ready for deleting!";
    return "There are " + std::to_string(count) + " files ready for deleting!";
}

bool IsRefused(const std::string& windowsPath) {
    return platform::shredProtectionOf(windowsPath) != platform::Protection::None;
}

std::string RefusalMessage(const std::string& windowsPath) {
    return "'" + windowsPath + "' can't be shredded: it holds your system or Tessaly's own files.";
}

bool RefuseIfProtected(const std::string& windowsPath, platform::Prompt& prompt) {
    if (!IsRefused(windowsPath))
        return false;
    prompt.show(RefusalMessage(windowsPath), platform::Buttons::OK, platform::Icon::Critical);
    return true;
}

std::string HostOf(const std::string& windowsPath) {
    try {
        return platform::pointedEntryHost(platform::toHost(windowsPath));
    } catch (const std::exception&) {
        return std::string();
    }
}

std::string ScheduledFolderTarget(const std::string& windowsPath) {
    try {
        std::error_code ec;
        const auto target = std::filesystem::canonical(platform::toHost(windowsPath), ec);
        if (!ec && std::filesystem::is_directory(target, ec))
            return platform::toWindows(target.string());
    } catch (const std::exception&) {
        // Not a folder the schedule can name: the caller refuses the empty answer.
    }
    return std::string();
}

std::string DiskWarning(const std::vector<std::string>& windowsPaths) {
    std::vector<std::string> folders;
    for (const std::string& path : windowsPaths) {
        // An item's own folder: the disk that holds it (a folder's items are on the same disk, or
        // are other volumes that the walk leaves alone).
        const std::string host = HostOf(path);
        if (host.empty())
            continue;
        const std::string folder = platform::hostpath::folderOf(host);
        if (std::find(folders.begin(), folders.end(), folder) != folders.end())
            continue;
        folders.push_back(folder);
        if (std::string warning = platform::overwriteWarning(platform::overwriteVerdictAt(folder)); !warning.empty())
            return warning;
    }
    return {};
}

std::string FailureMessage(const std::vector<Failure>& failures) {
    if (failures.empty())
        return std::string();
    std::string text = "These items could not be shredded:\r\n";
    for (const auto& f : failures) {
        std::string shown;
        try {
            shown = platform::toWindows(f.hostPath);
        } catch (const std::exception&) {
            // The message names the host path instead.
        }
        const std::string name = "'" + (shown.empty() ? f.hostPath : shown) + "'";
        text += "\r\n" + (f.sentence ? name + " " + f.reason + "." : name + ": " + f.reason);
    }
    return text;
}

namespace {

// Removes, in one cycle under the register's lock, the entries of everything the shredded path covered.
void forgetShredded(const std::string& registerPath, const std::string& shredded, platform::Prompt& prompt,
                    bool folderKept) {
    const std::string inside = AddBackslash(shredded);
    // Files locked inside a folder before the folder itself was locked are listed under the folder's
    // plain path; such an entry is covered only when its file is gone (a new folder of that name may
    // have been made since).
    std::vector<std::string> plainFolders;
    const auto covered = [&](const std::string& path) {
        if ((!folderKept && path == shredded) || path.compare(0, inside.size(), inside) == 0)
            return true;
        for (const auto& prefix : plainFolders)
            if (path.compare(0, prefix.size(), prefix) == 0 && !platform::exists(path))
                return true;
        return false;
    };
    // The reads and the removals are one transaction of the register.
    core::LockRegister(registerPath).transact([&](core::LockRegister::Transaction& t) {
        for (const auto& item : t.loadShown(core::RegisterKind::Folder, prompt, "frmMain")) {
            if (!covered(item.key))
                continue;
            const std::string plain = platform::trimBlanks(item.text);
            t.remove(core::RegisterKind::Folder, plain);
            core::ForgetFolderPassword(plain);
            plainFolders.push_back(AddBackslash(plain));
        }
        for (core::RegisterKind kind : core::kLockedFileKinds)
            for (const auto& item : t.loadShown(kind, prompt, "frmMain"))
                if (covered(item.key))
                    t.remove(kind, item.text);
    });
}

} // namespace

std::string ResolvedPath(const std::string& windowsPath) {
    try {
        const std::string host = HostOf(windowsPath);
        const std::string resolved = host.empty() ? std::string() : platform::toWindows(host);
        if (!resolved.empty())
            return resolved;
    } catch (const std::exception&) {
        // The path as typed is compared instead.
    }
    return windowsPath;
}

bool ForgetShredded(const std::string& registerPath, const std::string& windowsPath, platform::Prompt& prompt,
                    bool folderKept) {
    const auto tell = [&](const std::string& cause) {
        prompt.show("'" + windowsPath + "' was shredded, but the list of locked items could not be updated: " + cause,
                    platform::Buttons::OK, platform::Icon::Critical);
        return false;
    };
    if (registerPath.empty())
        return true;
    std::string registerHost;
    try {
        registerHost = platform::toHost(registerPath);
    } catch (const platform::SysError&) {
        // An unmappable register path is told of just below.
    }
    if (registerHost.empty()) {
        // The program's data folder lies on none of the drives (the drive table maps C: elsewhere): the
        // register, kept there, has no drive form its entries could be matched by. Nothing is lost when
        // there is no register at all.
        const std::string host = core::RegisterHostPath();
        struct stat st {};
        if (::lstat(host.c_str(), &st) != 0 && errno == ENOENT)
            return true;
        return tell("the list (" + host + ") is in a folder that none of the program's drives holds.");
    }
    try {
        if (!platform::exists(registerPath))
            return true;
        // The register names items by the paths they were locked under: compare with the entry the
        // item's path pointed at, not with the way it was typed.
        const std::string shredded = RemoveBackslash(ResolvedPath(windowsPath));
        forgetShredded(registerPath, shredded, prompt, folderKept);
        return true;
    } catch (const platform::SysError& e) {
        return tell(e.description());
    } catch (const std::exception& e) {
        return tell(e.what());
    }
}

namespace {
// A list's text as a whole decimal number; false when it is not one or is too large.
bool wholeNumber(const std::string& text, long& value) {
    const std::string t = platform::trimBlanks(text);
    if (t.empty() || t.size() > 6)
        return false;
    value = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}
} // namespace

std::optional<int> SchedulePeriod(const std::string& hourText, const std::string& minuteText) {
    long hours = 0;
    long minutes = 0;
    if (!wholeNumber(hourText, hours) || !wholeNumber(minuteText, minutes))
        return std::nullopt;
    const long period = hours * 60 + minutes;
    if (period > INT16_MAX)
        return std::nullopt; // longer than the program has ever counted
    return static_cast<int>(period);
}

bool ScheduleDue(int periodMinutes, std::int64_t since, std::int64_t now) {
    if (periodMinutes <= 0)
        return false;
    return now >= NextScheduledRun(periodMinutes, since);
}

std::int64_t NextScheduledRun(int periodMinutes, std::int64_t since) {
    return since + static_cast<std::int64_t>(std::max(kScheduleMinimumMinutes, periodMinutes)) * 60;
}

std::string PeriodText(int periodMinutes) {
    const int hours = periodMinutes / 60;
    const int minutes = periodMinutes % 60;
    if (hours == 0)
        return std::to_string(minutes) + " min";
    if (minutes == 0)
        return std::to_string(hours) + " h";
    return std::to_string(hours) + " h " + std::to_string(minutes) + " min";
}

std::string ScheduledFolderText(const std::string& typed) {
    const std::string t = platform::trimBlanks(typed);
    if (t.empty() || t[0] != '/')
        return t;
    try {
        return platform::toWindows(platform::pointedEntryHost(t));
    } catch (const std::exception&) {
        return std::string();
    }
}

std::string ConfirmText(std::size_t count) {
    return "Shred " + std::to_string(count) + (count == 1 ? " item" : " items") + "? They can't be recovered.";
}

} // namespace shredder
