#pragma once
// Message boxes and event pumping, as one interface the logic calls. The Qt implementation shows a
// QMessageBox; tests use a scripted prompt that records every box and answers from a queue.

#include <string>

namespace platform {

// YesNoDefaultNo: Yes and No with No as the default button, for questions whose Yes cannot be undone.
enum class Buttons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore, YesNoDefaultNo };
enum class Icon { None, Critical, Question, Exclamation, Information };
enum class Answer { OK, Cancel, Yes, No, Retry, Abort, Ignore };

inline constexpr const char* kApplicationTitle = "Tessaly";

class Prompt {
public:
    virtual ~Prompt() = default;
    // Shows a box; an empty title shows kApplicationTitle. Returns the button pressed.
    virtual Answer show(const std::string& text, Buttons buttons = Buttons::OK, Icon icon = Icon::None,
                        const std::string& title = std::string()) = 0;
    // Lets pending window events run (repaint, input).
    virtual void processEvents() {}
    // Busy cursor on / off.
    virtual void setBusy(bool) {}
};

// Passes every call to another prompt and counts the boxes shown: a run that shows a message of
// its own for each failure needs no summary that repeats them.
class CountingPrompt final : public Prompt {
public:
    explicit CountingPrompt(Prompt& inner) : m_inner(inner) {}
    Answer show(const std::string& text, Buttons buttons = Buttons::OK, Icon icon = Icon::None,
                const std::string& title = std::string()) override {
        ++m_shown;
        return m_inner.show(text, buttons, icon, title);
    }
    void processEvents() override { m_inner.processEvents(); }
    void setBusy(bool busy) override { m_inner.setBusy(busy); }
    int shown() const { return m_shown; }

private:
    Prompt& m_inner;
    int m_shown = 0;
};

} // namespace platform
