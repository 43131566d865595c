#pragma once
// The main window under a benchmark: its message boxes (any box it shows is a failure of the run, so
// the box is answered OK, named on standard error with the program's name, and counted), and its
// showing at the size every benchmark measures it.

#include "platform/Prompt.h"

#include <QCoreApplication>
#include <QTimer>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <chrono>
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

// How long the window's thread handled no event: a timer asks for a turn every 2 ms, and the longest
// gap between two turns since the last start() is the longest stall.
class StallMeter final {
public:
    using Clock = std::chrono::steady_clock;
    StallMeter() {
        m_turns.setTimerType(Qt::PreciseTimer);
        m_turns.setInterval(2);
        QObject::connect(&m_turns, &QTimer::timeout, [this] { turn(); });
        m_turns.start();
    }
    // From now on.
    void start() {
        m_last = Clock::now();
        m_stall = {};
    }
    // The longest stall since start(), up to now.
    Clock::duration longest() {
        turn();
        return m_stall;
    }

private:
    void turn() {
        const Clock::time_point now = Clock::now();
        m_stall = std::max(m_stall, now - m_last);
        m_last = now;
    }
    QTimer m_turns;
    Clock::time_point m_last = Clock::now();
    Clock::duration m_stall{};
};
