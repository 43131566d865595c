// The wait after wrong application passwords, on a clock the test moves.

#include "core/AppPassword.h"
#include "core/LoginGate.h"
#include "platform/Environment.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class LoginGateTest : public testing_support::SandboxTest {
protected:
    LoginGateTest() {
        m_real = core::SetGateClock({[this] { return m_now; },
                                     [this](std::int64_t seconds) {
                                         slept.push_back(seconds);
                                         m_now += seconds;
                                     }});
    }
    ~LoginGateTest() override { core::SetGateClock(m_real); }

    std::int64_t m_now = 1'000'000;
    std::vector<std::int64_t> slept;

private:
    core::GateClock m_real;
};

TEST_F(LoginGateTest, EachWrongPasswordDoublesTheWaitUpToThirtySeconds) {
    EXPECT_EQ(core::SecondsBeforeNextTry(), 0);
    const std::int64_t expected[] = {1, 2, 4, 8, 16, 30, 30, 30};
    for (std::int64_t wait : expected) {
        core::NoteWrongPassword();
        EXPECT_EQ(core::SecondsBeforeNextTry(), wait);
        m_now += wait - 1;
        EXPECT_EQ(core::SecondsBeforeNextTry(), 1);
        m_now += 1;
        EXPECT_EQ(core::SecondsBeforeNextTry(), 0);
    }
    // Kept over a restart.
    core::NoteWrongPassword();
    platform::resetEnvironment();
    EXPECT_EQ(core::SecondsBeforeNextTry(), 30);
    // A clock set back does not shorten it.
    m_now -= 3600;
    EXPECT_EQ(core::SecondsBeforeNextTry(), 30);
    core::NoteRightPassword();
    EXPECT_EQ(core::SecondsBeforeNextTry(), 0);
}

TEST_F(LoginGateTest, TheCommandLineCheckWaitsOutTheRestBeforeChecking) {
    ASSERT_TRUE(core::WriteAppPassword("right one"));
    EXPECT_FALSE(core::CheckAppPasswordAtGate("wrong"));
    EXPECT_TRUE(slept.empty());
    EXPECT_FALSE(core::CheckAppPasswordAtGate("wrong again"));
    EXPECT_EQ(slept, std::vector<std::int64_t>{1});
    EXPECT_EQ(core::SecondsBeforeNextTry(), 2);
    EXPECT_TRUE(core::CheckAppPasswordAtGate("right one"));
    EXPECT_EQ(slept, (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(core::SecondsBeforeNextTry(), 0);
    EXPECT_TRUE(core::CheckAppPasswordAtGate("right one"));
    EXPECT_EQ(slept.size(), 2u);
}

} // namespace
