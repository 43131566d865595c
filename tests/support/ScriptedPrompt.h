#pragma once
// The test Prompt: records every box and answers from a queue (when the queue is empty, the first
// button of the box: OK, Yes, Retry or Abort; the default No of a YesNoDefaultNo box).

#include "platform/Prompt.h"

#include <deque>
#include <string>
#include <vector>

namespace testing_support {

struct ShownBox {
    std::string text;
    platform::Buttons buttons;
    platform::Icon icon;
    std::string title; // as shown: the application title when none was given
};

class ScriptedPrompt final : public platform::Prompt {
public:
    platform::Answer show(const std::string& text, platform::Buttons buttons, platform::Icon icon,
                          const std::string& title) override;
    void processEvents() override { ++eventPumps; }
    void setBusy(bool on) override { busy = on; }

    void answer(platform::Answer a) { answers.push_back(a); }
    const ShownBox& last() const { return boxes.back(); }
    std::vector<std::string> texts() const;

    std::deque<platform::Answer> answers;
    std::vector<ShownBox> boxes;
    int eventPumps = 0;
    bool busy = false;
};

} // namespace testing_support
