#pragma once
// The message boxes of a window under a benchmark: any box it shows is a failure of the run, so the
// box is answered OK, named on standard error with the program's name, and counted.

#include "platform/Prompt.h"

#include <QCoreApplication>

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
