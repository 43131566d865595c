#include "ScriptedPrompt.h"

namespace testing_support {

using platform::Answer;
using platform::Buttons;

platform::Answer ScriptedPrompt::show(const std::string& text, Buttons buttons, platform::Icon icon,
                                      const std::string& title) {
    boxes.push_back({text, buttons, icon, title.empty() ? std::string(platform::kApplicationTitle) : title});
    if (!answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    switch (buttons) {
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
        return Answer::Yes;
    case Buttons::YesNoDefaultNo:
        return Answer::No;
    case Buttons::RetryCancel:
        return Answer::Retry;
    case Buttons::AbortRetryIgnore:
        return Answer::Abort;
    default:
        return Answer::OK;
    }
}

std::vector<std::string> ScriptedPrompt::texts() const {
    std::vector<std::string> out;
    for (const auto& b : boxes)
        out.push_back(b.text);
    return out;
}

} // namespace testing_support
