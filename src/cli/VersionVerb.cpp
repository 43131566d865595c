// `tessaly-cli --version`: the program's name and version, as the build gives it.
#include "CliSupport.h"
#include "Verb.h"
#include "diagnostics/VersionOption.h"

#include <cstdio>

namespace cli {

namespace {

int runVersion(const Invocation&) {
    std::printf("%s\n", diagnostics::kVersionText);
    return kOk;
}

} // namespace

const Verb kVersionVerb = {"--version", "--version", "show the program's version", runVersion};

} // namespace cli
