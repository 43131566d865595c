#include "LockingTestSupport.h"

#include "core/Register.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace locking_test {

void ensureApp() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_locking";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

OpenerStub::OpenerStub(const testing_support::Sandbox& sandbox) {
    const std::string bin = sandbox.root() + "/stubbin";
    fs::create_directories(bin);
    m_log = sandbox.root() + "/opened.log";
    const std::string script = bin + "/xdg-open";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << m_log << "'\n";
    }
    fs::permissions(script, fs::perms::owner_all);
    const char* path = std::getenv("PATH");
    m_savedPath = path ? path : "";
    setenv("PATH", (bin + ":" + m_savedPath).c_str(), 1);
}

OpenerStub::~OpenerStub() {
    setenv("PATH", m_savedPath.c_str(), 1);
}

std::vector<std::string> OpenerStub::calls(std::size_t expected) const {
    std::vector<std::string> lines;
    for (int attempt = 0; attempt < 100; ++attempt) {
        lines.clear();
        std::ifstream in(m_log);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        if (lines.size() >= expected)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return lines;
}

std::string content(std::size_t n, char seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + static_cast<unsigned char>(seed)) % 251);
    return s;
}

std::string boxList(const testing_support::ScriptedPrompt& prompt) {
    std::ostringstream out;
    for (const auto& box : prompt.boxes)
        out << "[" << box.title << "] " << box.text << "\n";
    return out.str();
}

std::string makeRegister() {
    const std::string path = core::RegisterPath();
    core::EnsureRegister(path);
    return path;
}

std::vector<std::string> hostEntries(const std::string& hostFolder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(hostFolder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> hiddenList(const std::string& hostFolder) {
    std::vector<std::string> lines;
    std::ifstream in(hostFolder + "/.hidden");
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

} // namespace locking_test
