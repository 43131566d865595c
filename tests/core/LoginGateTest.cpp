// The wait after wrong application passwords, on a clock the test moves.

#include "core/AppPassword.h"
#include "core/LoginGate.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <string>
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

// Six processes try wrong passwords at the same moment, on one clock they share. Each try must see
// the count the one before it left: the counter ends at six, the waits come one after another (1, 2,
// 4, 8, 16 seconds) and no process's look at the clock falls between another's first and last.
TEST_F(LoginGateTest, TriesFromSeveralProcessesAtOnceAreCheckedOneAfterAnother) {
    ASSERT_TRUE(core::WriteAppPassword("right one"));
    struct Event {
        int process;
        std::int64_t slept; // -1: a look at the clock
    };
    struct Shared {
        std::atomic<std::int64_t> now;
        std::atomic<int> count;
        Event events[256];
    };
    void* memory = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto* shared = new (memory) Shared{};
    shared->now = m_now;
    static int process = 0;
    const auto record = [shared](std::int64_t slept) {
        const int i = shared->count.fetch_add(1);
        if (i < 256)
            shared->events[i] = {process, slept};
    };
    core::SetGateClock({[shared, record] {
                            record(-1);
                            return shared->now.load();
                        },
                        [shared, record](std::int64_t seconds) {
                            record(seconds);
                            shared->now += seconds;
                        }});

    constexpr int kProcesses = 6;
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    platform::resetEnvironment(); // each process opens the registry for itself
    std::vector<pid_t> children;
    for (int p = 1; p <= kProcesses; ++p) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            process = p;
            ::close(start[1]);
            char c;
            [[maybe_unused]] const auto r = ::read(start[0], &c, 1); // all go when the pipe closes
            const bool wrong =
                core::TryAppPassword("wrong " + std::to_string(p), true).result == core::TryResult::Wrong;
            ::_exit(wrong ? 0 : 1);
        }
        ASSERT_GT(pid, 0);
        children.push_back(pid);
    }
    ::close(start[0]);
    ::close(start[1]);
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    const int count = std::min(shared->count.load(), 256);
    std::vector<std::int64_t> waits;
    std::vector<int> order; // the processes in the order their looks at the clock came
    for (int i = 0; i < count; ++i) {
        if (shared->events[i].slept >= 0)
            waits.push_back(shared->events[i].slept);
        if (order.empty() || order.back() != shared->events[i].process)
            order.push_back(shared->events[i].process);
    }
    EXPECT_EQ(waits, (std::vector<std::int64_t>{1, 2, 4, 8, 16}));
    EXPECT_EQ(order.size(), std::size_t{kProcesses}) << "the tries overlapped";
    // Six failures counted, none lost (the count as stored: eight bytes, low first).
    platform::resetEnvironment();
    platform::RegValue failures;
    ASSERT_EQ(platform::registry().queryValue(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly\\Gate_free",
                                              "Failures", failures),
              platform::kRegSuccess);
    EXPECT_EQ(failures.data, std::string("\x06\0\0\0\0\0\0\0", 8));
    ::munmap(memory, sizeof(Shared));
}

} // namespace
