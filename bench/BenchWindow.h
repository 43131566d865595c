#pragma once
// The main window under a benchmark: its message boxes (any box it shows is a failure of the run, so
// the box is answered OK, named on standard error with the program's name, and counted), and its
// showing at the size every benchmark measures it.

#include "platform/Prompt.h"

#include <QCoreApplication>
#include <QTest>
#include <QWidget>

#include <cstdio>
#include <string>

class CountingPrompt final : public platform::Prompt {
public:
    explicit CountingPrompt(const char* program) : m_program(program) {}
    platform::Answer show(const std::string& text, platform::Buttons, platform::Icon, const std::string&) override {
        std::fprintf(stderr, "%s: the window said \"%s\"\n", m_program, text.c_str());
        ++boxes;
        return platform::Answer::OK;
    }
    void processEvents() override { QCoreApplication::processEvents(); }
    void setBusy(bool) override {}
    int boxes = 0;

private:
    const char* m_program;
};

// Shows the window at the benchmarks' size; false when it never came on the screen.
inline bool showForBenchmark(QWidget& window) {
    window.resize(1000, 680);
    window.show();
    return QTest::qWaitForWindowExposed(&window);
}
