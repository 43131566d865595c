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

// Splits a section as callers do: at "|", empty pieces skipped.
std::vector<std::pair<std::string, std::string>> entries(const std::string& section) {
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t from = 0;
    while (from <= section.size()) {
        const auto bar = section.find('|', from);
        const std::string piece = section.substr(from, bar == std::string::npos ? std::string::npos : bar - from);
        if (!piece.empty())
            out.emplace_back(IniEntryKey(piece), IniEntryValue(piece));
        if (bar == std::string::npos)
            break;
        from = bar + 1;
    }
    return out;
}

} // namespace

class RegistryIniTest : public SandboxTest {
protected:
    // An empty register file, as start-up creates it.
    std::string makeIni(const std::string& content = std::string()) {
        return sandbox.writeFile("C:\\Windows\\System32\\" + std::string(settings::kRegisterFileName), content);
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
    EXPECT_NE(SetSettingValue(ini, "LockedTSLFile", "P:\\n.gkg", "S", std::string("P:\\o.TSL")), 0);
    EXPECT_NE(SetSettingValue(ini, "lockedtslfile", "P:\\p.gkg", "s", std::string("P:\\q.TSL")), 0);
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
    ASSERT_NE(SetSettingValue(ini, "S", "Long", "S", value), 0);
    SettingValue result;
    EXPECT_EQ(GetSettingValue(ini, "S", "Long", "S", std::string(), result), 0);
    EXPECT_EQ(text(result), value.substr(0, 254));
    ASSERT_NE(SetSettingValue(ini, "S", "Exact", "S", value.substr(0, 254)), 0);
    EXPECT_EQ(GetSettingText(ini, "S", "Exact"), value.substr(0, 254));
}

TEST_F(RegistryIniTest, IniNameInAnotherCaseUsesTheExistingFile) {
    makeIni();
    const std::string otherCase = "C:\\Windows\\System32\\SYSTEMTSL1.TCL";
    ASSERT_EQ(RootFromName(otherCase).kind, RootSpec::IniFile);
    EXPECT_NE(SetSettingValue(otherCase, "LockedFolder", "P:\\n", "S", std::string("P:\\o")), 0);
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

namespace {
const std::string kRegister = "[LockedFolder]\r\n"
                              "P:\\Cubgbf=P:\\Cubgbf.{645ss040-5081-101o-9s08-00nn002s954r}\r\n"
                              "[LockedTSLFile]\r\n"
                              "P:\\Cubgbf [byq]\\n.wct=P:\\Cubgbf [byq]\\n.TSL\r\n"
                              "P:\\o.gkg=P:\\o.TSL\r\n"
                              "[LockedTSWFile]\r\n"
                              "P:\\zbivr.niv=P:\\zbivr.TSW\r\n";
}

TEST_F(RegistryIniTest, ReadIniSectionForm) {
    const std::string ini = makeIni(kRegister);
    EXPECT_EQ(ReadIniSection(ini, "[LockedFolder]"), "|P:\\Cubgbf=P:\\Cubgbf.{645ss040-5081-101o-9s08-00nn002s954r}");
    // A "[" inside an entry does not end the section; the last entry before the next section loses its CR.
    EXPECT_EQ(ReadIniSection(ini, "[LockedTSLFile]"),
              "|P:\\Cubgbf [byq]\\n.wct=P:\\Cubgbf [byq]\\n.TSL\r|P:\\o.gkg=P:\\o.TSL");
    // The last section runs to the file's last character but one: its last entry keeps its CR.
    EXPECT_EQ(ReadIniSection(ini, "[LockedTSWFile]"), "|P:\\zbivr.niv=P:\\zbivr.TSW\r");
    EXPECT_EQ(ReadIniSection(ini, "[NoSuchSection]"), "");
    EXPECT_EQ(ReadIniSection(ini, "[lockedfolder]"), ""); // exact, case-sensitive
}

TEST_F(RegistryIniTest, ReadIniSectionEdgeCases) {
    // An empty section followed by another, and a header only found inside a value.
    const std::string ini =
        makeIni("[LockedFolder]\r\n[LockedTSLFile]\r\nP:\\[LockedTSWFile]\\n=P:\\o\r\n[LockedTSWFile]\r\n");
    EXPECT_EQ(ReadIniSection(ini, "[LockedFolder]"), "");
    EXPECT_EQ(ReadIniSection(ini, "[LockedTSLFile]"), "|P:\\[LockedTSWFile]\\n=P:\\o");
    EXPECT_EQ(ReadIniSection(ini, "[LockedTSWFile]"), "");

    const std::string empty = sandbox.writeFile("C:\\empty.tcl", "");
    EXPECT_EQ(ReadIniSection(empty, "[LockedFolder]"), "");

    try {
        ReadIniSection("C:\\Windows\\System32\\absent.tcl", "[LockedFolder]");
        FAIL() << "no error for a missing file";
    } catch (const platform::SysError& e) {
        EXPECT_EQ(e.number, 53);
    }
}

TEST_F(RegistryIniTest, SectionsWrittenByTheSettingsLayerReadBackAsEntries) {
    const std::string ini = makeIni();
    const std::string header = std::string("[") + settings::kSectionTSL + "]";
    SetSettingValue(ini, settings::kSectionFolder, "P:\\Qbpf", "S", std::string("P:\\Qbpf.{x}"));
    SetSettingValue(ini, settings::kSectionTSL, "P:\\Cubgbf [byq]\\n.wct", "S", std::string("P:\\Cubgbf [byq]\\n.TSL"));
    SetSettingValue(ini, settings::kSectionTSL, "P:\\o.gkg", "S", std::string("  P:\\o.TSL "));
    SetSettingValue(ini, settings::kSectionTSW, "P:\\zbivr.niv", "S", std::string("P:\\zbivr.TSW"));

    const auto tsl = entries(ReadIniSection(ini, header));
    ASSERT_EQ(tsl.size(), 2u);
    EXPECT_EQ(tsl[0].first, "P:\\Cubgbf [byq]\\n.wct");
    EXPECT_EQ(tsl[0].second, "P:\\Cubgbf [byq]\\n.TSL");
    EXPECT_EQ(tsl[1].first, "P:\\o.gkg");
    EXPECT_EQ(tsl[1].second, "P:\\o.TSL");

    const auto tsw = entries(ReadIniSection(ini, std::string("[") + settings::kSectionTSW + "]"));
    ASSERT_EQ(tsw.size(), 1u);
    EXPECT_EQ(tsw[0].second, "P:\\zbivr.TSW");
}

TEST(IniEntry, KeyAndValueTable) {
    const struct {
        std::string entry, key, value;
    } cases[] = {
        {"P:\\n.gkg=P:\\o.TSL", "P:\\n.gkg", "P:\\o.TSL"},
        {"P:\\n.gkg=P:\\o.TSL\r", "P:\\n.gkg", "P:\\o.TSL"},
        {"key=  spaced value  \r", "key", "spaced value"},
        {"key=a=b", "key", "a=b"},
        {"key=value|", "key", "value"},
        {"key=value\r\r", "key", "value\r"}, // only one trailing CR goes
        {"key=", "key", ""},
        {"=value", "", "value"},
        {"  no equals  ", "  no equals  ", "no equals"},
        // A transformed path with "=" in it (a "~" before) keeps it in the key: the value is the path
        // that follows the last key "=".
        {"P:\\Qngn\\2023=byd=P:\\Qngn\\2023=byd.TSL\r", "P:\\Qngn\\2023=byd", "P:\\Qngn\\2023=byd.TSL"},
        {"P:\\n.gkg=P:\\o=c.TSL", "P:\\n.gkg", "P:\\o=c.TSL"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IniEntryKey(c.entry), c.key) << c.entry;
        EXPECT_EQ(IniEntryValue(c.entry), c.value) << c.entry;
    }
}

// "~" in a path becomes "=" in its register key. Such a key, beside the key of the path before the
// "~", is found, replaced, deleted and listed as itself.
TEST_F(RegistryIniTest, KeysHoldingEqualsSignsStayWhole) {
    const std::string ini = makeIni();
    const std::string shortKey = TransformName("C:\\Data\\2023");
    const std::string longKey = TransformName("C:\\Data\\2023~old");
    ASSERT_EQ(longKey.compare(0, shortKey.size() + 1, shortKey + "="), 0);
    const std::string section = settings::kSectionFolder;
    ASSERT_NE(SetSettingValue(ini, section, longKey, "S", std::string("P:\\Qngn\\long")), 0);
    ASSERT_NE(SetSettingValue(ini, section, shortKey, "S", std::string("P:\\Qngn\\short")), 0);
    ASSERT_NE(SetSettingValue(ini, section, longKey, "S", std::string("P:\\Qngn\\long2")), 0);
    EXPECT_EQ(sandbox.readFile(ini),
              "[LockedFolder]\r\n" + longKey + "=P:\\Qngn\\long2\r\n" + shortKey + "=P:\\Qngn\\short\r\n");

    EXPECT_EQ(GetSettingText(ini, section, shortKey), "P:\\Qngn\\short");
    EXPECT_EQ(GetSettingText(ini, section, longKey), "P:\\Qngn\\long2");

    EXPECT_EQ(DeleteSettingValue(ini, section, shortKey), 0);
    EXPECT_EQ(GetSettingText(ini, section, longKey), "P:\\Qngn\\long2");
    const auto listed = entries(ReadIniSection(ini, "[LockedFolder]"));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].first, longKey);
    EXPECT_EQ(listed[0].second, "P:\\Qngn\\long2");

    EXPECT_EQ(DeleteSettingValue(ini, section, longKey), 0);
    EXPECT_EQ(sandbox.readFile(ini), "[LockedFolder]\r\n");
}
