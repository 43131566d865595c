#include "support/OpenerStub.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace testing_support {

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
        // Only whole lines count: the stub may have created the file and not yet written its line.
        std::ifstream in(m_log);
        for (std::string line; std::getline(in, line);)
            if (!in.eof())
                lines.push_back(line);
        if (lines.size() >= expected)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return lines;
}

} // namespace testing_support
