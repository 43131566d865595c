// Fuzzes the register's readers and its removal routines over an arbitrary register file.

#include "FuzzSandbox.h"

#include "core/Register.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& root = fuzz_support::sandboxRoot();
    fuzz_support::writeHostFile(root + "/work/register.tcl", data, size);
    const std::string reg = "C:\\work\\register.tcl";
    fuzz_support::SilentPrompt prompt;
    for (const auto& list : {core::GetLockedTSLFiles(reg, prompt), core::GetLockedTSWFiles(reg, prompt),
                             core::GetLockedFolders(reg, prompt)}) {
        for (const core::RegisterItem& item : list)
            (void)core::IsRecordablePath(item.text);
    }
    core::RemoveAfterFileUnlock(reg, core::RegisterKind::SmallFile, "C:\\work\\plain.txt");
    core::RemoveAfterFolderUnlock(reg, "C:\\work\\folder");
    core::RecordLock(reg, core::RegisterKind::LargeFile, "C:\\work\\big.bin", "C:\\work\\ovt.ova.TSW");
    (void)core::GetLockedTSWFiles(reg, prompt);
    fuzz_support::clearWorkFolder();
    return 0;
}
