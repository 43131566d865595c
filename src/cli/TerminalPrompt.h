#pragma once
// Message boxes on a terminal: the text goes to standard error, an OK box is answered OK, and any
// box asking a question is answered with its negative button, so nothing is confirmed unasked.

#include "platform/Prompt.h"

#include <string>

class TerminalPrompt final : public platform::Prompt {
public:
    platform::Answer show(const std::string& text, platform::Buttons buttons, platform::Icon icon,
                          const std::string& title) override;
    int shown() const { return m_shown; }

private:
    int m_shown = 0;
};

// Reads a password from the terminal without echo; false when there is no terminal.
bool askPassword(const std::string& label, std::string& password);
// Asks a question on the terminal; `yes` when the answer is "y" or "yes" (any case), else no. False
// when there is no terminal.
bool askYesNo(const std::string& question, bool& yes);
