#include "settings/SettingsTable.h"

#include "platform/Environment.h"
#include "platform/Registry.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <cstring>

using testing_support::SandboxTest;

namespace {

// The raw value as the registry holds it.
platform::RegValue stored(platform::RegRoot root, const char* key, const char* name) {
    platform::RegValue value;
    EXPECT_EQ(platform::registry().queryValue(root, key, name, value), platform::kRegSuccess) << name;
    return value;
}

std::uint32_t dword(const platform::RegValue& value) {
    std::uint32_t n = 0;
    EXPECT_EQ(value.data.size(), 4U);
    std::memcpy(&n, value.data.data(), std::min<std::size_t>(4, value.data.size()));
    return n;
}

} // namespace

class SettingsTableTest : public SandboxTest {};

TEST_F(SettingsTableTest, MissingValuesReadAsTheirDefaults) {
    EXPECT_FALSE(settings::StrongLocks.get());
    EXPECT_EQ(settings::IdleLockMinutes.get(), 0);
    EXPECT_EQ(settings::ThumbnailSize.get(), 68);
    EXPECT_EQ(settings::ShredLevel.get(), 0);
    EXPECT_EQ(settings::HomeUrl.get(), "");
    EXPECT_EQ(settings::ShredFolder.get(), "");
}

TEST_F(SettingsTableTest, EachTypeIsStoredUnderItsKeyAndNameInItsRegistryType) {
    settings::StrongLocks.set(true);
    settings::ThumbnailSize.set(120);
    settings::ShredFolderHour.set("12");

    const auto strong = stored(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free", "StrongLocks");
    EXPECT_EQ(strong.type, platform::REG_DWORD);
    EXPECT_EQ(dword(strong), 1U);
    const auto size = stored(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free", "ThumbnailSize");
    EXPECT_EQ(size.type, platform::REG_DWORD);
    EXPECT_EQ(dword(size), 120U);
    const auto hour = stored(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free", "ShredFolderHour");
    EXPECT_EQ(hour.type, platform::REG_SZ);
    EXPECT_EQ(hour.data, "12");

    EXPECT_TRUE(settings::StrongLocks.get());
    EXPECT_EQ(settings::ThumbnailSize.get(), 120);
    EXPECT_EQ(settings::ShredFolderHour.get(), "12");

    settings::StrongLocks.set(false);
    EXPECT_EQ(dword(stored(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free", "StrongLocks")), 0U);
    EXPECT_FALSE(settings::StrongLocks.get());
}

TEST_F(SettingsTableTest, AValueOfAnotherTypeReadsAsTheDefaultAndRemoveRestoresIt) {
    // A text where a number belongs is not taken for a number.
    platform::registry().setString(platform::RegRoot::CurrentUser, settings::kAppKey, "ThumbnailSize", "100");
    EXPECT_EQ(settings::ThumbnailSize.get(), 68);

    settings::RunAtLogin.set("/opt/tessaly/tessaly");
    EXPECT_EQ(
        stored(platform::RegRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tessaly").data,
        "/opt/tessaly/tessaly");
    settings::RunAtLogin.remove();
    platform::RegValue gone;
    EXPECT_NE(platform::registry().queryValue(platform::RegRoot::CurrentUser, settings::kRunKey, "Tessaly", gone),
              platform::kRegSuccess);
    EXPECT_EQ(settings::RunAtLogin.get(), "");
}

TEST_F(SettingsTableTest, HidingHiddenFilesSetsExplorersThreeValuesToZero) {
    for (const char* name : {"ShowSuperHidden", "Hidden", "SuperHidden"})
        platform::registry().setDword(platform::RegRoot::CurrentUser, settings::kAdvancedKey, name, 1);
    settings::HideHiddenFilesInExplorer();
    for (const char* name : {"ShowSuperHidden", "Hidden", "SuperHidden"}) {
        const auto value = stored(platform::RegRoot::CurrentUser, settings::kAdvancedKey, name);
        EXPECT_EQ(value.type, platform::REG_DWORD) << name;
        EXPECT_EQ(dword(value), 0U) << name;
    }
}
