// Fuzzes the locked-file readers of both formats: the inspection of a file, and the small and large
// unlock engines over arbitrary bytes, with and without a header whose password check passes (so the
// body decoders are reached). The first input byte picks the case.

#include "FuzzSandbox.h"

#include "core/LockEngine.h"
#include "core/Register.h"
#include "platform/SysError.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string& root = fuzz_support::sandboxRoot();
    const int mode = data[0] % 4;
    const bool large = mode % 2 == 1;
    const std::string name = large ? "a.TSW" : "a.TSL";
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    if (mode >= 2)
        bytes = core::MakeHeader("abcdefgh", "pw") + bytes; // the password check passes
    fuzz_support::writeHostFile(root + "/work/" + name, reinterpret_cast<const unsigned char*>(bytes.data()),
                                bytes.size());

    const std::string path = "C:\\work\\" + name;
    try {
        (void)core::InspectFile(path);
    } catch (const platform::SysError&) {
    }
    fuzz_support::SilentPrompt prompt;
    core::EngineContext ctx{prompt};
    ctx.registerPath = "C:\\work\\register.tcl";
    core::EnsureRegister(ctx.registerPath);
    if (large)
        core::BigDecrypt(path, "pw", ctx);
    else
        core::Decrypt(path, "pw", ctx);
    fuzz_support::clearWorkFolder();
    return 0;
}
