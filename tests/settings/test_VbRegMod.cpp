#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"

#include "platform/Environment.h"
#include "platform/Registry.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

using testing_support::SandboxTest;

namespace {
const std::string kKey = "Software\\TessalyTest\\Level1\\Level2";
platform::Registry& reg() {
    return platform::registry();
}
} // namespace

class VbRegModTest : public SandboxTest {};

TEST_F(VbRegModTest, SaveStringCreatesEveryMissingLevelAndReadsBack) {
    ASSERT_FALSE(reg().keyExists(HKEY_CURRENT_USER, "Software\\TessalyTest"));
    SaveString(HKEY_CURRENT_USER, kKey, "Name", "value text");
    EXPECT_TRUE(reg().keyExists(HKEY_CURRENT_USER, "Software\\TessalyTest"));
    EXPECT_TRUE(reg().keyExists(HKEY_CURRENT_USER, "Software\\TessalyTest\\Level1"));
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, kKey, "Name"), "value text");

    platform::RegValue raw;
    ASSERT_EQ(reg().queryValue(HKEY_CURRENT_USER, kKey, "Name", raw), platform::kRegSuccess);
    EXPECT_EQ(raw.type, platform::REG_SZ);
    EXPECT_EQ(raw.data, "value text"); // no terminating zero stored
}

TEST_F(VbRegModTest, GetStringGivesDefaultForMissingOrNonTextValues) {
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Missing", "Name", "dflt"), "dflt");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, "Software\\Missing", "Name"), "");
    SaveString(HKEY_CURRENT_USER, kKey, "Other", "x");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, kKey, "Name", "dflt"), "dflt");

    SaveLong(HKEY_CURRENT_USER, kKey, "Number", 42);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, kKey, "Number", "dflt"), "dflt");
    EXPECT_EQ(GetStringFull(HKEY_CURRENT_USER, kKey, "Number", "dflt"), "dflt");
}

TEST_F(VbRegModTest, EmbeddedZeroCutsGetStringButNotGetStringFull) {
    const std::string bytes("ab\0c\xff\0", 6);
    SaveString(HKEY_CURRENT_USER, settings::kPasswordKey, settings::kPasswordValue, bytes);
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, settings::kPasswordKey, settings::kPasswordValue), "ab");
    EXPECT_EQ(GetStringFull(HKEY_CURRENT_USER, settings::kPasswordKey, settings::kPasswordValue), bytes);
    // The folder-password key differs only in case: it is the same key.
    EXPECT_EQ(GetStringFull(HKEY_CURRENT_USER, settings::kFolderPasswordKey, settings::kPasswordValue), bytes);
}

TEST_F(VbRegModTest, SaveLongWritesFourByteDword) {
    SaveLong(HKEY_CURRENT_USER, settings::kAdvancedKey, settings::ExplorerHidden.name, 0);
    SaveLong(HKEY_CURRENT_USER, settings::kAdvancedKey, settings::SuperHidden.name, -2);
    platform::RegValue raw;
    ASSERT_EQ(reg().queryValue(HKEY_CURRENT_USER, settings::kAdvancedKey, settings::ExplorerHidden.name, raw), 0);
    EXPECT_EQ(raw.type, platform::REG_DWORD);
    EXPECT_EQ(raw.data, std::string(4, '\0'));
    ASSERT_EQ(reg().queryValue(HKEY_CURRENT_USER, settings::kAdvancedKey, settings::SuperHidden.name, raw), 0);
    EXPECT_EQ(raw.data, std::string("\xfe\xff\xff\xff", 4));
}

TEST_F(VbRegModTest, DeleteValueAndDeleteKeyIgnoreWhatIsMissing) {
    SaveString(HKEY_CURRENT_USER, kKey, "A", "1");
    SaveString(HKEY_CURRENT_USER, kKey, "B", "2");
    DeleteValue(HKEY_CURRENT_USER, kKey, "A");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, kKey, "A", "gone"), "gone");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, kKey, "B"), "2");

    DeleteValue(HKEY_CURRENT_USER, kKey, "A");                  // value already gone
    DeleteValue(HKEY_CURRENT_USER, "Software\\NoSuchKey", "A"); // key missing
    DeleteKey(HKEY_CURRENT_USER, "Software\\NoSuchKey");

    DeleteKey(HKEY_CURRENT_USER, "Software\\TessalyTest\\Level1");
    EXPECT_FALSE(reg().keyExists(HKEY_CURRENT_USER, kKey));
    EXPECT_TRUE(reg().keyExists(HKEY_CURRENT_USER, "Software\\TessalyTest"));
}

TEST_F(VbRegModTest, RootsAreSeparate) {
    SaveString(HKEY_LOCAL_MACHINE, kKey, "Name", "machine");
    EXPECT_EQ(GetString(HKEY_CURRENT_USER, kKey, "Name", "none"), "none");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, kKey, "Name"), "machine");
}

TEST(VbRegModText, RemoveExtensionAndStripNull) {
    const struct {
        std::string in, out;
    } removeCases[] = {
        {"C:\\Docs\\a.doc", "C:\\Docs\\a"},
        {"C:\\Docs\\archive.tar.gz", "C:\\Docs\\archive.tar"},
        {"C:\\My.Docs\\readme", "C:\\My.Docs\\readme"}, // only the last component's dot counts
        {"name", "name"},
        {"a.b", "a"},
        {std::string("C:\\a.doc\0.x", 11), "C:\\a"},
    };
    for (const auto& c : removeCases)
        EXPECT_EQ(RemoveExtension(c.in), c.out) << c.in;

    EXPECT_EQ(StripNull(std::string("abc\0def", 7)), "abc");
    EXPECT_EQ(StripNull("abc"), "abc");
    EXPECT_EQ(StripNull(std::string("\0abc", 4)), "");
    EXPECT_EQ(StripNull(""), "");
}
