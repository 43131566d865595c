#pragma once
// The two kinds of path the program handles, kept apart by type: a path in the program's Windows
// form ("C:\Docs\a.doc") and a path on the host ("/home/ann/Docs/a.doc"). Each is made from text
// only on purpose (explicit), and one becomes the other only through the drive table's mapping
// (DriveTable::toHost / toWindows). Both read as their text wherever text is wanted.

#include <string>
#include <utility>

namespace platform {

class WinPath final {
public:
    WinPath() = default;
    explicit WinPath(std::string text) : m_text(std::move(text)) {}
    const std::string& str() const { return m_text; }
    const char* c_str() const { return m_text.c_str(); }
    bool empty() const { return m_text.empty(); }
    operator const std::string&() const { return m_text; }
    friend bool operator==(const WinPath&, const WinPath&) = default;

private:
    std::string m_text;
};

class HostPath final {
public:
    HostPath() = default;
    explicit HostPath(std::string text) : m_text(std::move(text)) {}
    const std::string& str() const { return m_text; }
    const char* c_str() const { return m_text.c_str(); }
    bool empty() const { return m_text.empty(); }
    operator const std::string&() const { return m_text; }
    friend bool operator==(const HostPath&, const HostPath&) = default;

private:
    std::string m_text;
};

} // namespace platform
