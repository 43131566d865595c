#pragma once
// The sandbox a fuzz harness runs in: a fresh folder (on a RAM disk when there is one, so the writers'
// flushes cost nothing) mapped as drive C:, with HOME and the XDG folders inside it, made once per
// process. A prompt that answers every box with its first button and shows nothing.

#include "platform/Prompt.h"

#include <string>

namespace fuzz_support {

// Makes the sandbox on first use; returns its host folder.
const std::string& sandboxRoot();
// Writes bytes to a host file (replacing it).
void writeHostFile(const std::string& hostPath, const unsigned char* data, std::size_t size);
// Empties the folder "C:\work" of the sandbox (every file and folder in it, write-protected or not).
void clearWorkFolder();

class SilentPrompt final : public platform::Prompt {
public:
    platform::Answer show(const std::string&, platform::Buttons buttons, platform::Icon,
                          const std::string&) override;
};

} // namespace fuzz_support
