#include "settings/Settings.h"
#include "settings/modGeneral.h"
#include "settings/modRegistryINI.h"

#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <vector>

using testing_support::SandboxTest;

namespace {

std::string text(const SettingValue& v) {
    return std::get<std::string>(v);
}

} // namespace

class RegistryIniTest : public SandboxTest {
protected:
    // An empty register file, as start-up creates it.
    std::string makeIni(const std::string& content = std::string()) {
        return sandbox.writeFile("C:\\Windows\\System32\\" + std::string("systemtsl1.tcl"), content);
    }
};

TEST_F(RegistryIniTest, RootFromNameTable) {
    const struct {
        const char* name;
        platform::RegRoot root;
    } roots[] = {
        {"HKCU", platform::RegRoot::CurrentUser},  {"hkcu", platform::RegRoot::CurrentUser},
        {"HKLM", platform::RegRoot::LocalMachine}, {"HKU", platform::RegRoot::Users},
        {"HKDD", platform::RegRoot::DynData},      {"HKCC", platform::RegRoot::CurrentConfig},
        {"hkCR", platform::RegRoot::ClassesRoot},
    };
    for (const auto& r : roots) {
        const RootSpec resolved = RootFromName(r.name);
        EXPECT_EQ(resolved.kind, RootSpec::RegistryRoot) << r.name;
        EXPECT_EQ(resolved.root, r.root) << r.name;
    }

    const std::string ini = makeIni();
    EXPECT_EQ(RootFromName(ini).kind, RootSpec::IniFile);

    sandbox.writeFile("C:\\hidden.ini", "");
    platform::setAttributes("C:\\hidden.ini", platform::kAttrHidden);
    sandbox.writeFile("C:\\system.ini", "");
    platform::setAttributes("C:\\system.ini", platform::kAttrSystem);
    sandbox.makeFolder("C:\\folder.ini");
    for (const std::string name : {"C:\\missing.ini", "C:\\hidden.ini", "C:\\system.ini", "C:\\folder.ini",
                                   "C:\\Windows\\System32\\*.tcl", "", "HKEY", "Q:\\nodrive.ini"})
        EXPECT_EQ(RootFromName(name).kind, RootSpec::Invalid) << name;
}

TEST_F(RegistryIniTest, InvalidRootReturns99AndTouchesNothing) {
    SettingValue result = std::string("unchanged");
    EXPECT_EQ(GetSettingValue("C:\\missing.ini", "Sec", "Name", "S", std::string("dflt"), result), kInvalidRoot);
    EXPECT_EQ(text(result), "dflt");
    EXPECT_EQ(SetSettingValue("C:\\missing.ini", "Sec", "Name", "S", std::string("v")), kInvalidRoot);
    EXPECT_FALSE(sandbox.exists("C:\\missing.ini"));
    EXPECT_EQ(DeleteSettingValue("C:\\missing.ini", "Sec", "Name"), kInvalidRoot);
    EXPECT_EQ(SetSettingValue("HKXX", "Software\\T", "Name", "S", std::string("v")), kInvalidRoot);
    EXPECT_FALSE(platform::registry().keyExists(platform::RegRoot::CurrentUser, "Software\\T"));
}

TEST_F(RegistryIniTest, IniModeWritesReadsAndDeletes) {
    const std::string ini = makeIni();
    EXPECT_EQ(SetSettingValue(ini, "LockedTSLFile", "P:\\n.gkg", "S", std::string("P:\\o.TSL")), 0);
    EXPECT_EQ(SetSettingValue(ini, "lockedtslfile", "P:\\p.gkg", "s", std::string("P:\\q.TSL")), 0);
    EXPECT_EQ(sandbox.readFile(ini), "[LockedTSLFile]\r\nP:\\n.gkg=P:\\o.TSL\r\nP:\\p.gkg=P:\\q.TSL\r\n");

    SettingValue result;
    EXPECT_EQ(GetSettingValue(ini, "LockedTSLFile", "p:\\p.gkg", "S", std::string(), result), 0);
    EXPECT_EQ(text(result), "P:\\q.TSL");
    // Keys that are paths match their case exactly (but for the drive letter): names are case-sensitive.
    EXPECT_EQ(GetSettingText(ini, "LockedTSLFile", "P:\\P.GKG"), "");
    EXPECT_EQ(GetSettingValue(ini, "LockedTSLFile", "missing", "S", std::string("dflt"), result), 0);
    EXPECT_EQ(text(result), "dflt");
    EXPECT_EQ(GetSettingText(ini, "LockedTSLFile", "P:\\n.gkg"), "P:\\o.TSL");

    EXPECT_EQ(DeleteSettingValue(ini, "LockedTSLFile", "P:\\n.gkg"), 0);
    EXPECT_EQ(DeleteSettingValue(ini, "LockedTSLFile", "P:\\n.gkg"), 0); // not there any more
    EXPECT_EQ(DeleteSettingValue(ini, "NoSection", "x"), 0);
    EXPECT_EQ(sandbox.readFile(ini), "[LockedTSLFile]\r\nP:\\p.gkg=P:\\q.TSL\r\n");
}

TEST_F(RegistryIniTest, IniModeOnlyKnowsTextValues) {
    const std::string ini = makeIni("[S]\r\nN=12\r\n");
    EXPECT_EQ(SetSettingValue(ini, "S", "N", "D", std::int32_t{5}), kInvalidRoot);
    EXPECT_EQ(SetSettingValue(ini, "S", "M", "B", true), kInvalidRoot);
    EXPECT_EQ(sandbox.readFile(ini), "[S]\r\nN=12\r\n");
    SettingValue result;
    EXPECT_EQ(GetSettingValue(ini, "S", "N", "D", std::int32_t{7}, result), 0);
    EXPECT_EQ(std::get<std::int32_t>(result), 7);
}

TEST_F(RegistryIniTest, IniReadReturnsAtMost254Characters) {
    const std::string ini = makeIni();
    std::string value;
    for (int i = 0; i < 300; ++i)
        value += static_cast<char>('a' + i % 26);
    ASSERT_EQ(SetSettingValue(ini, "S", "Long", "S", value), 0);
    SettingValue result;
    EXPECT_EQ(GetSettingValue(ini, "S", "Long", "S", std::string(), result), 0);
    EXPECT_EQ(text(result), value.substr(0, 254));
    ASSERT_EQ(SetSettingValue(ini, "S", "Exact", "S", value.substr(0, 254)), 0);
    EXPECT_EQ(GetSettingText(ini, "S", "Exact"), value.substr(0, 254));
}

TEST_F(RegistryIniTest, IniNameInAnotherCaseUsesTheExistingFile) {
    makeIni();
    const std::string otherCase = "C:\\Windows\\System32\\SYSTEMTSL1.TCL";
    ASSERT_EQ(RootFromName(otherCase).kind, RootSpec::IniFile);
    EXPECT_EQ(SetSettingValue(otherCase, "LockedFolder", "P:\\n", "S", std::string("P:\\o")), 0);
    EXPECT_EQ(sandbox.readFile("C:\\Windows\\System32\\systemtsl1.tcl"), "[LockedFolder]\r\nP:\\n=P:\\o\r\n");
    EXPECT_FALSE(sandbox.exists(otherCase));
}

TEST_F(RegistryIniTest, RegistryModeTypes) {
    const std::string key = "Software\\TessalyTest\\Ini";
    SettingValue result;
    EXPECT_EQ(GetSettingValue("HKCU", key, "S1", "S", std::string("dflt"), result), platform::kRegNotFound);
    EXPECT_EQ(text(result), "dflt");

    EXPECT_EQ(SetSettingValue("hkcu", key, "S1", "S", std::string("text")), 0);
    EXPECT_EQ(SetSettingValue("HKCU", key, "B1", "B", true), 0);
    EXPECT_EQ(SetSettingValue("HKCU", key, "B0", "b", false), 0);
    EXPECT_EQ(SetSettingValue("HKCU", key, "D1", "D", std::int32_t{-5}), 0);
    EXPECT_EQ(SetSettingValue("HKCU", key, "D2", "D", std::string("300")), 0);

    platform::RegValue raw;
    ASSERT_EQ(platform::registry().queryValue(platform::RegRoot::CurrentUser, key, "B1", raw), 0);
    EXPECT_EQ(raw.type, platform::REG_BINARY);
    EXPECT_EQ(raw.data, std::string("\xff\xff", 2));
    ASSERT_EQ(platform::registry().queryValue(platform::RegRoot::CurrentUser, key, "D1", raw), 0);
    EXPECT_EQ(raw.type, platform::REG_DWORD);
    EXPECT_EQ(raw.data, std::string("\xfb\xff\xff\xff", 4)); // sign-extended

    EXPECT_EQ(GetSettingValue("HKCU", key, "S1", "S", std::string(), result), 0);
    EXPECT_EQ(text(result), "text");
    EXPECT_EQ(GetSettingValue("HKCU", key, "B1", "B", false, result), 0);
    EXPECT_TRUE(std::get<bool>(result));
    EXPECT_EQ(GetSettingValue("HKCU", key, "B0", "B", true, result), 0);
    EXPECT_FALSE(std::get<bool>(result));
    EXPECT_EQ(GetSettingValue("HKCU", key, "D1", "D", std::int32_t{0}, result), 0);
    EXPECT_EQ(std::get<std::int32_t>(result), -5);
    EXPECT_EQ(GetSettingValue("HKCU", key, "D2", "D", std::int32_t{0}, result), 0);
    EXPECT_EQ(std::get<std::int32_t>(result), 300);

    // A 4-byte value does not fit the 2-byte Boolean: more-data error, default kept.
    EXPECT_EQ(GetSettingValue("HKCU", key, "D1", "B", true, result), 234);
    EXPECT_TRUE(std::get<bool>(result));
    // A missing value in an existing key: not found, default kept.
    EXPECT_EQ(GetSettingValue("HKCU", key, "Nope", "S", std::string("d"), result), platform::kRegNotFound);
    EXPECT_EQ(text(result), "d");
}

TEST_F(RegistryIniTest, RegistryModeRefusesNumbersBeyondSixteenBits) {
    const std::string key = "Software\\TessalyTest\\Ini";
    EXPECT_EQ(SetSettingValue("HKCU", key, "Big", "D", std::int32_t{40000}), platform::kRegInvalidParameter);
    EXPECT_EQ(SetSettingValue("HKCU", key, "Bad", "D", std::string("12abc")), platform::kRegInvalidParameter);
    platform::RegValue raw;
    EXPECT_EQ(platform::registry().queryValue(platform::RegRoot::CurrentUser, key, "Big", raw), platform::kRegNotFound);
    EXPECT_EQ(SetSettingValue("HKCU", key, "Max", "D", std::int32_t{32767}), 0);
    EXPECT_EQ(SetSettingValue("HKCU", key, "Min", "D", std::int32_t{-32768}), 0);
}

TEST_F(RegistryIniTest, RegistryModeDeleteOfMissingValueOrKeySucceeds) {
    const std::string key = "Software\\TessalyTest\\Ini";
    EXPECT_EQ(DeleteSettingValue("HKCU", key, "Nope"), 0);
    ASSERT_EQ(SetSettingValue("HKCU", key, "S1", "S", std::string("x")), 0);
    EXPECT_EQ(DeleteSettingValue("HKCU", key, "S1"), 0);
    EXPECT_EQ(DeleteSettingValue("HKCU", key, "S1"), 0);
    platform::RegValue raw;
    EXPECT_EQ(platform::registry().queryValue(platform::RegRoot::CurrentUser, key, "S1", raw), platform::kRegNotFound);
}
