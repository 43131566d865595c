#include "shredder/ShredCommands.h"

#include <gtest/gtest.h>

#include <optional>

using shredder::ScheduleDue;
using shredder::SchedulePeriod;

TEST(ShredSchedule, ThePeriodTakesWholeDecimalNumbersOnly) {
    const struct {
        const char* hour;
        const char* minute;
        std::optional<int> period;
    } cases[] = {
        {"0", "0", 0},
        {"0", "10", 10},
        {"1", "0", 60},
        {"2", "30", 150},
        {" 1 ", "5", 65},
        {"24", "50", 24 * 60 + 50},
        {"0", "abc", std::nullopt},
        {"nan", "0", std::nullopt},
        {"0", "inf", std::nullopt},
        {"0x10", "0", std::nullopt},
        {"1e2", "0", std::nullopt},
        {"0.5", "0", std::nullopt},
        {"-1", "0", std::nullopt},
        {"0", "", std::nullopt},
        {"999999", "0", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.hour) + "/" + c.minute);
        EXPECT_EQ(SchedulePeriod(c.hour, c.minute), c.period);
    }
}

TEST(ShredSchedule, DueEveryPeriodOfAtLeastFiveMinutesFromWhenItWasSet) {
    const std::int64_t set = 1'000'000;
    const struct {
        int period;
        std::int64_t secondsLater;
        bool due;
    } cases[] = {
        {0, 1'000'000, false},                                                                // no schedule
        {10, 9 * 60 + 59, false}, {10, 10 * 60, true}, {3, 4 * 60, false}, {3, 5 * 60, true}, // at least 5
        {60, 59 * 60, false},     {60, 3600, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.period) + " min, " + std::to_string(c.secondsLater) + " s");
        EXPECT_EQ(ScheduleDue(c.period, set, set + c.secondsLater), c.due);
    }
}
