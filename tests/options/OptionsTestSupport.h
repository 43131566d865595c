#pragma once
// Shared pieces of the options tests: one QApplication for the program, a sandbox with a stub
// xdg-open first on PATH, and a progress window that records what it was asked to do.

#include "options/UpgradeCheck.h"
#include "support/Sandbox.h"
#include "support/ScriptedPrompt.h"

#include <QApplication>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace options_test {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_options";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

class RecordingProgress final : public options::ProgressPort {
public:
    void show(const std::string& message) override {
        messages.push_back(message);
        open = true;
    }
    void close() override { open = false; }
    std::vector<std::string> messages;
    bool open = false;
};

class OptionsTest : public testing_support::SandboxTest {
protected:
    OptionsTest() { app(); }
    void SetUp() override {
        m_bin = sandbox.root() + "/bin";
        std::filesystem::create_directories(m_bin);
        const std::string script = m_bin + "/xdg-open";
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << opened() << ".part' && mv '" << opened()
                              << ".part' '" << opened() << "'\n";
        ::chmod(script.c_str(), 0755);
        const char* path = std::getenv("PATH");
        m_savedPath = path ? path : "";
        setenv("PATH", (m_bin + ":" + m_savedPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", m_savedPath.c_str(), 1); }

    std::string opened() const { return m_bin + "/xdg-open.args"; }
    // What the stub xdg-open was given, waiting for it (it runs detached); "" when it never ran.
    std::string openedArgs(bool expectCall) const {
        for (int i = 0; expectCall && i < 500 && !std::filesystem::exists(opened()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return std::filesystem::exists(opened()) ? testing_support::readHostFile(opened()) : std::string();
    }

    std::string m_bin;
    std::string m_savedPath;
    testing_support::ScriptedPrompt prompt;
    RecordingProgress progress;
};

} // namespace options_test
