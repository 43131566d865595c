// Paths as the user knows them: a locked folder the register knows is named by its former path.

#include "EngineFixture.h"
#include "core/LockChecks.h"
#include "platform/Environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using core_tests::EngineTest;

TEST(ShownPathTest, LockedFoldersTheRegisterKnowsShowTheirFormerNames) {
    const std::vector<core::RegisterItem> locked = {
        {"C:\\Frperg Fghsf.TSL", "C:\\Secret Stuff"},
        {"C:\\Qbpf\\Cevinge.TSL", "C:\\Docs\\Private"},
    };
    struct Case {
        std::string path, shown;
    };
    const Case cases[] = {
        {"C:\\Frperg Fghsf.TSL", "C:\\Secret Stuff (locked)"},
        {"c:\\Frperg Fghsf.TSL", "C:\\Secret Stuff (locked)"},
        {"C:\\Frperg Fghsf.TSL\\Sub", "C:\\Secret Stuff (locked)\\Sub"},
        {"C:\\Qbpf\\Cevinge.TSL\\a\\b", "C:\\Docs\\Private (locked)\\a\\b"},
        {"C:\\Frperg Fghsf.TSLX", "C:\\Frperg Fghsf.TSLX"}, // another folder that begins the same
        {"C:\\frperg fghsf.TSL", "C:\\frperg fghsf.TSL"},   // names differ in case on Linux drives
        {"C:\\Unknown.TSL", "C:\\Unknown.TSL"},             // not in the register: left as it is
        {"C:\\", "C:\\"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(core::ShownPath(c.path, locked), c.shown) << c.path;
}

class ShownPathRegisterTest : public EngineTest {};

TEST_F(ShownPathRegisterTest, ReadsTheLockedFoldersFromTheRegisterAndLeavesThePathWhenItCannot) {
    core::RecordLock(reg, core::RegisterKind::Folder, "C:\\Secret Stuff", "C:\\Frperg Fghsf.TSL");
    // A locked file's entry names no folder.
    core::RecordLock(reg, core::RegisterKind::SmallFile, "C:\\Docs", "C:\\Qbpf.TSL");
    EXPECT_EQ(core::ShownPath(reg, "C:\\Frperg Fghsf.TSL\\a.txt"), "C:\\Secret Stuff (locked)\\a.txt");
    EXPECT_EQ(core::ShownPath(reg, "C:\\Qbpf.TSL"), "C:\\Qbpf.TSL");
    EXPECT_EQ(core::ShownPath(std::string(), "C:\\Frperg Fghsf.TSL"), "C:\\Frperg Fghsf.TSL");
    std::filesystem::remove(platform::toHost(reg));
    EXPECT_EQ(core::ShownPath(reg, "C:\\Frperg Fghsf.TSL"), "C:\\Frperg Fghsf.TSL");
    EXPECT_TRUE(prompt.boxes.empty()); // a status text says nothing of the register
}
