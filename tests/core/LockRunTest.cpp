// The lock and unlock runs under the two policies their callers use: the window's (a failure ends
// an unlock, messages as the program has always shown them) and the command line's (every file
// tried, each refusal naming its file, reasons for files that are not locked).

#include "core/LockRun.h"
#include "EngineFixture.h"
#include "platform/Attributes.h"

#include <gtest/gtest.h>

using core::ItemOutcome;
using core_tests::EngineTest;
using core_tests::lockedPath;

namespace {

class LockRunTest : public EngineTest {
protected:
    // A policy that records every outcome as it is told.
    core::RunPolicy policy(bool commandLine) {
        core::RunPolicy p;
        p.registerPath = reg;
        p.stopAtError = !commandLine;
        p.stopAtSmallFailure = !commandLine;
        p.strictLockedTest = commandLine;
        p.nameFileInRefusals = commandLine;
        p.told = [this](std::size_t item, const core::ItemResult& r) { told.emplace_back(item, r.outcome); };
        return p;
    }

    static core::RunItem item(const std::string& path) {
        return {GetFolderPart(path), GetFileNamePart(path), GetFileNamePart(path)};
    }

    std::vector<std::pair<std::size_t, ItemOutcome>> told;
};

TEST_F(LockRunTest, EachRefusalIsShownAsItIsMetAndTheOtherFilesAreLocked) {
    const std::string root = sandbox.writeFile("C:\\root.txt", "root");
    const std::string own = sandbox.writeFile("C:\\Prog\\tessaly", "program");
    const std::string system = sandbox.writeFile("C:\\Prog\\sys.dat", "system");
    platform::setAttributes(system, platform::kAttrSystem);
    if (platform::getAttributes(system) != platform::kAttrSystem)
        GTEST_SKIP() << "this filesystem keeps no attributes but read-only (no user extended attributes)";
    const std::string empty = sandbox.writeFile("C:\\Prog\\empty.txt", "");

    for (const bool commandLine : {false, true}) {
        SCOPED_TRACE(commandLine ? "command line" : "window");
        const std::string ok = sandbox.writeFile(commandLine ? "C:\\Prog\\ok2.txt" : "C:\\Prog\\ok1.txt", "ok");
        const std::vector<core::RunItem> items = {item(root), item(own), item(system), item(empty), item(ok)};
        prompt.boxes.clear();
        told.clear();
        core::RunPolicy p = policy(commandLine);
        p.ownExecutables = {"c:\\prog\\TESSALY"}; // compared without regard to case
        const core::RunOutcome run = core::LockRun(items, "pw", p, prompt);

        // On the command line a refusal whose words do not name the file gets its name in front.
        const auto name = [&](const char* file) { return commandLine ? std::string(file) + ": " : std::string(); };
        EXPECT_EQ(prompt.texts(), (std::vector<std::string>{
                                      name("root.txt") + "Sorry you cannot lock any file in the Boot Drive root folder",
                                      name("tessaly") + "An error occurred during locking process \r\n Tessaly.exe can "
                                                        "not be locked.",
                                      name("sys.dat") + "Sorry you cannot lock a system file as this may crash your "
                                                        "system",
                                      name("empty.txt") + "we can not lock the file of size 0 byte",
                                  }));
        ASSERT_EQ(run.items.size(), 5u);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(run.items[i].outcome, ItemOutcome::Refused) << i;
        EXPECT_EQ(run.items[4].outcome, ItemOutcome::Done);
        EXPECT_EQ(run.items[4].target, lockedPath(ok, ".TSL"));
        EXPECT_EQ(run.done, 1);
        EXPECT_FALSE(run.failed);
        EXPECT_FALSE(run.stopped);
        EXPECT_EQ(told.size(), 5u);
        // The refused files are as they were.
        EXPECT_EQ(sandbox.readFile(root), "root");
        EXPECT_EQ(sandbox.readFile(own), "program");
        EXPECT_EQ(platform::getAttributes(system), platform::kAttrSystem);
        EXPECT_TRUE(sandbox.exists(empty));
    }
}

TEST_F(LockRunTest, AWrongPasswordEndsTheWindowsUnlockButNotTheCommandLines) {
    const std::string a = sandbox.writeFile("C:\\U\\a.txt", "first");
    const std::string b = sandbox.writeFile("C:\\U\\b.txt", "second");
    const std::string plain = sandbox.writeFile("C:\\U\\plain.doc", "plain");
    ASSERT_TRUE(core::LockFilesTogether({a}, "other", context()).front());
    ASSERT_TRUE(core::LockFilesTogether({b}, "pw", context()).front());
    ASSERT_TRUE(prompt.boxes.empty());
    const std::vector<core::RunItem> items = {item(lockedPath(a, ".TSL")), item(lockedPath(b, ".TSL")), item(plain)};

    // The window: the first small file that fails ends the run; nothing after it is tried.
    core::RunOutcome run = core::UnlockRun(items, "pw", policy(false), prompt);
    EXPECT_TRUE(run.stopped);
    EXPECT_TRUE(run.failed);
    EXPECT_EQ(run.items[0].outcome, ItemOutcome::Failed);
    EXPECT_EQ(run.items[1].outcome, ItemOutcome::NotTried);
    EXPECT_EQ(run.items[2].outcome, ItemOutcome::NotTried);
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Sorry, this is not the correct password!\r\n'a.txt'"});
    EXPECT_TRUE(sandbox.exists(lockedPath(b, ".TSL")));

    // The command line: every file is tried, and the plain one is told why it is not unlocked.
    prompt.boxes.clear();
    told.clear();
    run = core::UnlockRun(items, "pw", policy(true), prompt);
    EXPECT_FALSE(run.stopped);
    EXPECT_EQ(run.items[0].outcome, ItemOutcome::Failed);
    EXPECT_EQ(run.items[1].outcome, ItemOutcome::Done);
    EXPECT_EQ(run.items[2].outcome, ItemOutcome::NotLocked);
    EXPECT_EQ(run.items[2].reason, "not a locked file name (.TSL or .TSW)");
    EXPECT_EQ(run.done, 1);
    EXPECT_FALSE(run.unexplained); // the wrong password had its message
    EXPECT_EQ(sandbox.readFile(b), "second");
    EXPECT_TRUE(sandbox.exists(lockedPath(a, ".TSL")));
    // Told in the order of the files: the pending ones are unlocked before the plain file is told.
    EXPECT_EQ(told, (std::vector<std::pair<std::size_t, ItemOutcome>>{
                        {0, ItemOutcome::Failed}, {1, ItemOutcome::Done}, {2, ItemOutcome::NotLocked}}));
}

} // namespace
