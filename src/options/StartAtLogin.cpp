#include "options/StartAtLogin.h"

#include "platform/FileIO.h"
#include "platform/SysError.h"
#include "settings/SettingsTable.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace options {

namespace {

std::string configFolder() {
    const char* v = std::getenv("XDG_CONFIG_HOME");
    if (v && *v == '/')
        return v;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config";
}

// The program of an Exec value: its first word, string escapes and quoting undone.
std::string execProgram(const std::string& value) {
    std::string text; // the value with the string-level escapes undone
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char c = value[++i];
            text += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
        } else {
            text += value[i];
        }
    }
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        return {};
    std::string program;
    if (text[i] == '"') {
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            if (text[i] == '\\' && i + 1 < text.size())
                ++i;
            program += text[i];
        }
    } else {
        program = text.substr(i, text.find_first_of(" \t", i) - i);
    }
    return program;
}

std::string runValue() {
    return settings::RunAtLogin.get();
}

// A desktop entry string value: backslash, newline, tab and return escaped. TryExec takes the
// program's path this way, unquoted, so a session skips the entry once the program is removed.
std::string desktopString(const std::string& text) {
    std::string value;
    for (char c : text) {
        if (c == '\\')
            value += "\\\\";
        else if (c == '\n')
            value += "\\n";
        else if (c == '\t')
            value += "\\t";
        else if (c == '\r')
            value += "\\r";
        else
            value += c;
    }
    return value;
}

} // namespace

std::string AutostartEntryPath() {
    return configFolder() + "/autostart/tessaly.desktop";
}

EntryState AutostartEntryState(const AppLocation& app) {
    std::ifstream in(AutostartEntryPath());
    if (!in)
        return EntryState::Missing;
    bool inEntry = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inEntry = line == "[Desktop Entry]";
        } else if (inEntry && line.rfind("Exec", 0) == 0) {
            const std::size_t eq = line.find('=');
            if (eq == std::string::npos || line.find_first_not_of(" ", 4) != eq)
                continue;
            const std::string program = execProgram(line.substr(eq + 1));
            const std::string ours = std::filesystem::path(app.hostExecutable).filename().string();
            return std::filesystem::path(program).filename().string() == ours ? EntryState::Ours : EntryState::Foreign;
        }
    }
    return EntryState::Foreign;
}

bool StartsAtLogin(const AppLocation& app) {
    return !runValue().empty() || AutostartEntryState(app) == EntryState::Ours;
}

std::string DesktopExec(const std::string& hostProgram) {
    static const std::string reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string arg;
    if (hostProgram.find_first_of(reserved) == std::string::npos) {
        arg = hostProgram;
    } else {
        arg = "\"";
        for (char c : hostProgram) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                arg += '\\';
            arg += c;
        }
        arg += '"';
    }
    std::string value; // the string-level escapes of a desktop entry value, and "%" for field codes
    for (char c : arg) {
        if (c == '\\')
            value += "\\\\";
        else if (c == '\n')
            value += "\\n";
        else if (c == '%')
            value += "%%";
        else
            value += c;
    }
    return value;
}

StartChange EnableStartAtLogin(const AppLocation& app) {
    const std::string path = AutostartEntryPath();
    if (AutostartEntryState(app) == EntryState::Foreign)
        return {false, "The autostart entry " + path +
                           " belongs to another program. Tessaly left it as it is and will not start at login."};
    try {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
        std::ostringstream entry;
        entry << "[Desktop Entry]\nType=Application\nName=Tessaly\nComment=Start Tessaly at login\n"
              << "TryExec=" << desktopString(app.hostExecutable) << "\n"
              << "Exec=" << DesktopExec(app.hostExecutable) << "\nIcon=tessaly\nTerminal=false\n"
              << "X-GNOME-Autostart-enabled=true\n";
        platform::AtomicWriter writer{platform::HostPath(path)};
        writer.write(entry.str());
        // Our own entry is replaced; any other file that appeared meanwhile makes the commit fail.
        writer.commit(AutostartEntryState(app) == EntryState::Ours);
    } catch (const platform::SysError& e) {
        return {false, "The autostart entry " + path + " could not be written: " + e.description()};
    }
    settings::RunAtLogin.set(ExecutablePath(app));
    if (runValue().empty()) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return {false, "The setting could not be saved in the registry; Tessaly will not start at login."};
    }
    return {true, {}};
}

StartChange DisableStartAtLogin(const AppLocation& app) {
    const std::string path = AutostartEntryPath();
    if (AutostartEntryState(app) == EntryState::Ours) {
        std::error_code ec;
        if (!std::filesystem::remove(path, ec) && ec)
            return {false, "The autostart entry " + path + " could not be removed: " + ec.message()};
    }
    settings::RunAtLogin.remove();
    if (!runValue().empty())
        return {false, "The setting could not be removed from the registry."};
    return {true, {}};
}

} // namespace options
