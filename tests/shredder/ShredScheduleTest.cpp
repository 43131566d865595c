#include "shredder/ShredCommands.h"

#include <gtest/gtest.h>

#include <vector>

using shredder::ShredSchedule;

namespace {
// The ticks (1-based) at which the folder is due within `ticks` minutes.
std::vector<int> dueTicks(std::string hour, std::string minute, int ticks) {
    ShredSchedule schedule;
    std::vector<int> due;
    for (int t = 1; t <= ticks; ++t)
        if (schedule.tick(hour, minute))
            due.push_back(t);
    return due;
}
} // namespace

TEST(ShredSchedule, CountsMaxOfFiveAndThePeriod) {
    const struct {
        const char* hour;
        const char* minute;
        std::vector<int> due;
    } cases[] = {
        {"0", "0", {}},
        {"0", "10", {10, 20, 30}},
        {"0", "3", {5, 10, 15, 20, 25, 30}}, // 1 to 4 minutes count as 5
        {"0", "1", {5, 10, 15, 20, 25, 30}},
        {"0", "", {}},
        {"", "", {}},
        {"1", "0", {}},
        {"0", "abc", {}},
        {"0", "30", {30}},
        {"0", "6.5", {6, 12, 18, 24, 30}}, // minutes round to a whole number, halves to even
        {"0", "7.5", {8, 16, 24}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.hour) + "/" + c.minute);
        EXPECT_EQ(dueTicks(c.hour, c.minute, 30), c.due);
    }
    EXPECT_EQ(dueTicks("1", "0", 130), (std::vector<int>{60, 120}));
    EXPECT_EQ(dueTicks("0.5", "0", 60), (std::vector<int>{30, 60})); // the whole part of h x 60
}

TEST(ShredSchedule, EmptyListsBecomeZeroAndADelayedRunComesNextTick) {
    ShredSchedule schedule;
    std::string hour = "0";
    std::string minute;
    EXPECT_FALSE(schedule.tick(hour, minute));
    EXPECT_EQ(minute, "0");
    hour.clear();
    EXPECT_FALSE(schedule.tick(hour, minute));
    EXPECT_EQ(hour, "0");

    hour = "0";
    minute = "10";
    for (int t = 3; t < 10; ++t)
        EXPECT_FALSE(schedule.tick(hour, minute));
    EXPECT_TRUE(schedule.tick(hour, minute)); // the tenth tick since the start
    schedule.retryNextTick();
    EXPECT_TRUE(schedule.tick(hour, minute));
    EXPECT_FALSE(schedule.tick(hour, minute));
}
