#include "shredder/ShredSchedule.h"

#include "settings/SettingsTable.h"
#include "shredder/ShredCommands.h"

#include "ShredderTestSupport.h"
#include "support/Sandbox.h"
#include "support/ScriptedPrompt.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// The schedule without any window: it keeps what was Set, and each minute decides whether to sweep.
class ShredScheduleKeeperTest : public testing_support::SandboxTest {
protected:
    ShredScheduleKeeperTest() {
        shredder_test::ensureApp();
        sandbox.makeFolder("C:\\Temp");
        keeper.clock = [this] { return now; };
        keeper.busy = [this] { return busy; };
        keeper.startSweep = [this](const std::string& folder, const platform::FileId& expected) {
            sweeps.push_back(folder);
            expectedIds.push_back(expected);
        };
    }

    testing_support::ScriptedPrompt prompt;
    shredder::ShredSchedule keeper{prompt};
    std::int64_t now = 1'000'000;
    bool busy = false;
    std::vector<std::string> sweeps;
    std::vector<platform::FileId> expectedIds;
};

} // namespace

TEST_F(ShredScheduleKeeperTest, SetStoresTheScheduleAndAFreshKeeperRestoresIt) {
    keeper.set("C:\\Temp", "0", "10", shredder::ScheduledFolderTarget("C:\\Temp"));
    EXPECT_EQ(settings::ShredFolder.get(), "C:\\Temp");
    EXPECT_EQ(settings::ShredFolderMinute.get(), "10");
    EXPECT_EQ(settings::ShredFolderSince.get(), std::to_string(now));

    struct stat st {};
    ASSERT_EQ(::stat(sandbox.host("C:\\Temp").c_str(), &st), 0);
    shredder::ShredSchedule again(prompt);
    again.restore();
    EXPECT_EQ(again.stored().folder, "C:\\Temp");
    EXPECT_EQ(again.stored().minute, "10");
    EXPECT_EQ(again.stored().since, now);
    ASSERT_TRUE(again.stored().id.known);
    EXPECT_EQ(again.stored().id.id,
              (platform::FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}));
    EXPECT_TRUE(again.timer()->isActive());
    EXPECT_EQ(again.timer()->interval(), 60000);
}

TEST_F(ShredScheduleKeeperTest, ASweepStartsOnlyWhenDueAndNoOtherCommandRuns) {
    keeper.set("C:\\Temp", "0", "10", shredder::ScheduledFolderTarget("C:\\Temp"));
    now += 9 * 60;
    keeper.tick();
    EXPECT_TRUE(sweeps.empty()); // not yet due

    now += 60;
    busy = true;
    keeper.tick();
    EXPECT_TRUE(sweeps.empty()); // due, but another command runs: tried again next minute
    EXPECT_EQ(settings::ShredFolderSince.get(), std::to_string(now - 10 * 60));

    busy = false;
    keeper.tick();
    ASSERT_EQ(sweeps.size(), 1U);
    EXPECT_EQ(sweeps[0], "C:\\Temp");
    EXPECT_EQ(expectedIds[0], keeper.stored().id.id);
    EXPECT_EQ(settings::ShredFolderSince.get(), std::to_string(now)); // counts again from now

    keeper.tick();
    EXPECT_EQ(sweeps.size(), 1U);
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(ShredScheduleKeeperTest, AFolderReplacedByALinkIsRefusedAndTold) {
    keeper.set("C:\\Temp", "0", "5", shredder::ScheduledFolderTarget("C:\\Temp"));
    sandbox.makeFolder("C:\\Other");
    std::filesystem::remove(sandbox.host("C:\\Temp"));
    std::filesystem::create_directory_symlink(sandbox.host("C:\\Other"), sandbox.host("C:\\Temp"));
    now += 5 * 60;
    keeper.tick();
    EXPECT_TRUE(sweeps.empty());
    ASSERT_EQ(prompt.boxes.size(), 1U);
    EXPECT_NE(prompt.last().text.find("is no longer the one that was Set"), std::string::npos);
}
