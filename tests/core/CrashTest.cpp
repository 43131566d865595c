// A crash at any step of a lock or unlock leaves the content on disk: the plain file, or a complete
// locked file (under its own name or the writer's temporary name) that unlocks.

#include "EngineFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

using core_tests::EngineTest;
using core_tests::lockedPath;
using core_tests::randomContent;

namespace {

constexpr int kStopped = 42;

using Engine = bool (*)(const std::string&, const std::string&, const core::EngineContext&);

} // namespace

class CrashTest : public EngineTest {
protected:
    // Runs the engine in a child process that ends at once when it reaches `stopAt`.
    bool crashAt(Engine engine, const std::string& path, const char* stopAt) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            core::EngineContext ctx = context();
            ctx.checkpoint = [stopAt](const char* step) {
                if (std::strcmp(step, stopAt) == 0)
                    ::_exit(kStopped);
            };
            engine(path, "pw", ctx);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == kStopped;
    }

    std::string temporaryFile(const std::string& folder) {
        for (const std::string& name : listing(folder))
            if (name.size() > 12 && name.compare(name.size() - 12, 12, ".tessaly-tmp") == 0)
                return AddBackslash(folder) + name;
        return {};
    }

    // The plain file with its content, or a complete locked file that unlocks to it.
    void expectContentSurvives(const std::string& folder, const std::string& plain, const std::string& locked,
                               const std::string& content, Engine unlock) {
        if (sandbox.exists(plain)) {
            EXPECT_EQ(sandbox.readFile(plain), content);
            return;
        }
        std::string found = sandbox.exists(locked) ? locked : temporaryFile(folder);
        ASSERT_FALSE(found.empty()) << "neither the plain file nor a locked file is left";
        if (sandbox.readFile(found) == content)
            return; // the unlocked result, complete under the temporary name
        if (found != locked) {
            ASSERT_EQ(std::rename(sandbox.host(found).c_str(), sandbox.host(locked).c_str()), 0);
        }
        ASSERT_TRUE(unlock(locked, "pw", context()));
        EXPECT_EQ(sandbox.readFile(plain), content);
    }
};

TEST_F(CrashTest, EveryStepOfBothEnginesKeepsTheContent) {
    const struct {
        bool large;
        Engine lock, unlock;
    } engines[] = {{false, core::Encrypt, core::Decrypt}, {true, core::BigEncrypt, core::BigDecrypt}};
    int round = 0;
    for (const auto& e : engines) {
        for (const char* step : {"written", "source removed", "committed"}) {
            for (const bool unlocking : {false, true}) {
                SCOPED_TRACE(std::string(e.large ? "large " : "small ") + (unlocking ? "unlock at " : "lock at ") +
                             step);
                const std::string folder = sandbox.makeFolder("C:\\Crash" + std::to_string(++round));
                const std::string content = randomContent(e.large ? 300000 : 1000, static_cast<unsigned>(round));
                const std::string plain = sandbox.writeFile(folder + "\\data.bin", content);
                const std::string locked = lockedPath(plain, e.large ? ".TSW" : ".TSL");
                if (unlocking) {
                    ASSERT_TRUE(e.lock(plain, "pw", context()));
                }

                EXPECT_TRUE(crashAt(unlocking ? e.unlock : e.lock, unlocking ? locked : plain, step));
                expectContentSurvives(folder, plain, locked, content, e.unlock);
            }
        }
    }
}

TEST_F(CrashTest, RelockingInPlaceIsReplacedInOneStep) {
    const std::string plain = sandbox.writeFile("C:\\R\\x.txt", "inner content");
    ASSERT_TRUE(core::Encrypt(plain, "pw", context()));
    const std::string locked = lockedPath(plain, ".TSL");
    const std::string firstLayer = sandbox.readFile(locked);
    for (const char* step : {"written", "committed"}) {
        SCOPED_TRACE(step);
        const std::string before = sandbox.readFile(locked);
        EXPECT_TRUE(crashAt(core::Encrypt, locked, step));
        const std::string after = sandbox.readFile(locked);
        // Either the old layer or the new complete one, never a part.
        if (std::string(step) == "written")
            EXPECT_EQ(after, before);
        else
            EXPECT_NE(after, before);
    }
    // Two layers now: both peel off.
    ASSERT_TRUE(core::Decrypt(locked, "pw", context()));
    EXPECT_EQ(sandbox.readFile(locked), firstLayer);
    ASSERT_TRUE(core::Decrypt(locked, "pw", context()));
    EXPECT_EQ(sandbox.readFile(plain), "inner content");
}
