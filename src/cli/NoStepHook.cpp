// The program's StepHook: a run's steps call nothing.
#include "CliSupport.h"

namespace cli {

std::function<void(const char* step)> StepHook() {
    return {};
}

} // namespace cli
