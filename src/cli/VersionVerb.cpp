// `tessaly-cli --version`: the program's name and version, as the build gives it.
#include "CliSupport.h"
#include "Verb.h"

#include <cstdio>

namespace cli {

namespace {

int runVersion(const Invocation&) {
    std::printf("Tessaly %d.%d.%d\n", TESSALY_VERSION_MAJOR, TESSALY_VERSION_MINOR, TESSALY_VERSION_PATCH);
    return kOk;
}

} // namespace

const Verb kVersionVerb = {"--version", "--version", "show the program's version", runVersion};

} // namespace cli
