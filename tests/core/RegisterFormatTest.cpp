#include "core/Register.h"
#include "settings/modGeneral.h"
#include "settings/modRegistryINI.h"

#include "platform/SysError.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <vector>

using core::IniEntryKey;
using core::IniEntryValue;
using core::ReadIniSection;
using testing_support::SandboxTest;

namespace {

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

// The register file's form as its readers cut it: sections, entries, keys and values.
class RegisterFormatTest : public SandboxTest {
protected:
    // A register file with the given content.
    std::string makeIni(const std::string& content = std::string()) {
        return sandbox.writeFile("C:\\Windows\\System32\\systemtsl1.tcl", content);
    }
};

namespace {
const std::string kRegister = "[LockedFolder]\r\n"
                              "P:\\Cubgbf=P:\\Cubgbf.{645ss040-5081-101o-9s08-00nn002s954r}\r\n"
                              "[LockedTSLFile]\r\n"
                              "P:\\Cubgbf [byq]\\n.wct=P:\\Cubgbf [byq]\\n.TSL\r\n"
                              "P:\\o.gkg=P:\\o.TSL\r\n"
                              "[LockedTSWFile]\r\n"
                              "P:\\zbivr.niv=P:\\zbivr.TSW\r\n";
}

TEST_F(RegisterFormatTest, ReadIniSectionForm) {
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

TEST_F(RegisterFormatTest, ReadIniSectionEdgeCases) {
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
        EXPECT_EQ(e.number(), 53);
    }
}

TEST_F(RegisterFormatTest, SectionsWrittenByTheSettingsLayerReadBackAsEntries) {
    const std::string ini = makeIni();
    const std::string header = std::string("[LockedTSLFile]");
    SetSettingValue(ini, "LockedFolder", "P:\\Qbpf", "S", std::string("P:\\Qbpf.{x}"));
    SetSettingValue(ini, "LockedTSLFile", "P:\\Cubgbf [byq]\\n.wct", "S", std::string("P:\\Cubgbf [byq]\\n.TSL"));
    SetSettingValue(ini, "LockedTSLFile", "P:\\o.gkg", "S", std::string("  P:\\o.TSL "));
    SetSettingValue(ini, "LockedTSWFile", "P:\\zbivr.niv", "S", std::string("P:\\zbivr.TSW"));

    const auto tsl = entries(ReadIniSection(ini, header));
    ASSERT_EQ(tsl.size(), 2u);
    EXPECT_EQ(tsl[0].first, "P:\\Cubgbf [byq]\\n.wct");
    EXPECT_EQ(tsl[0].second, "P:\\Cubgbf [byq]\\n.TSL");
    EXPECT_EQ(tsl[1].first, "P:\\o.gkg");
    EXPECT_EQ(tsl[1].second, "P:\\o.TSL");

    const auto tsw = entries(ReadIniSection(ini, std::string("[LockedTSWFile]")));
    ASSERT_EQ(tsw.size(), 1u);
    EXPECT_EQ(tsw[0].second, "P:\\zbivr.TSW");
}

TEST(RegisterEntryText, KeyAndValueTable) {
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
TEST_F(RegisterFormatTest, KeysHoldingEqualsSignsStayWhole) {
    const std::string ini = makeIni();
    const std::string shortKey = TransformName("C:\\Data\\2023");
    const std::string longKey = TransformName("C:\\Data\\2023~old");
    ASSERT_EQ(longKey.compare(0, shortKey.size() + 1, shortKey + "="), 0);
    const std::string section = "LockedFolder";
    ASSERT_EQ(SetSettingValue(ini, section, longKey, "S", std::string("P:\\Qngn\\long")), 0);
    ASSERT_EQ(SetSettingValue(ini, section, shortKey, "S", std::string("P:\\Qngn\\short")), 0);
    ASSERT_EQ(SetSettingValue(ini, section, longKey, "S", std::string("P:\\Qngn\\long2")), 0);
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
