// The test build's StepHook: with TESSALY_TEST_LINK_AT="<step>|<file>|<new name>" in the
// environment, the run makes a hard link to the file when its engine reaches the step, as another
// program could while the run goes on.
#include "CliSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace cli {

std::function<void(const char* step)> StepHook() {
    const char* setting = std::getenv("TESSALY_TEST_LINK_AT");
    if (!setting)
        return {};
    const std::string text = setting;
    const std::size_t first = text.find('|');
    const std::size_t second = text.find('|', first + 1);
    if (first == std::string::npos || second == std::string::npos)
        return {};
    return [step = text.substr(0, first), from = text.substr(first + 1, second - first - 1),
            to = text.substr(second + 1)](const char* reached) {
        if (step == reached && ::link(from.c_str(), to.c_str()) != 0)
            std::perror("link");
    };
}

} // namespace cli
