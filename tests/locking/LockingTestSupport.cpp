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
