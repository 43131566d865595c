// `tessaly-cli shred PATH...`: overwrites and deletes files and folders with the shredder's engine
// (shredder/ShredCli.h), which refuses the system's and the program's own folders.
#include "CliSupport.h"
#include "Verb.h"
#include "core/Register.h"
#include "shredder/ShredCli.h"

namespace cli {

namespace {

int runShred(const Invocation& invocation) {
    if (invocation.args.empty())
        return usageError("shred needs at least one file or folder");
    return shredder::ShredCommand(invocation.args, core::RegisterPath());
}

} // namespace

const Verb kShredVerb = {"shred", "shred PATH...",
                         "overwrite and delete each file, and each folder with everything in it", runShred};

} // namespace cli
