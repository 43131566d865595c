// How locks and unlocks write: two processes at once, a register or ".hidden" list that cannot be
// written, and the permission bits of temporary files and results.

#include "EngineFixture.h"
#include "core/LockChecks.h"
#include "platform/Attributes.h"
#include "platform/FileIO.h"
#include "platform/SysError.h"
#include "platform/Text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using core_tests::EngineTest;
using core_tests::lockedPath;
using platform::Icon;

namespace {

unsigned modeOf(const std::string& host) {
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFu;
}

std::set<std::string> lines(const std::string& text) {
    std::set<std::string> out;
    for (const std::string& l : platform::splitLines(text))
        if (!l.empty())
            out.insert(l);
    return out;
}

} // namespace

class WriteFlowTest : public EngineTest {};

TEST_F(WriteFlowTest, TwoProcessesLockingAtOnceLoseNoEntry) {
    constexpr int kPerProcess = 100;
    const std::string folder = sandbox.makeFolder("C:\\Both");
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kPerProcess; ++i)
            sandbox.writeFile(folder + "\\p" + std::to_string(p) + "-" + std::to_string(i) + ".txt", "content");

    pid_t children[2];
    for (int p = 0; p < 2; ++p) {
        children[p] = ::fork();
        if (children[p] == 0) {
            // Each file by itself: the register and ".hidden" are read and rewritten once per file.
            bool all = true;
            for (int i = 0; i < kPerProcess; ++i)
                all = core::Encrypt(folder + "\\p" + std::to_string(p) + "-" + std::to_string(i) + ".txt", "pw",
                                    context()) &&
                      all;
            ::_exit(all ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    std::set<std::string> expectedHidden;
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kPerProcess; ++i) {
            const std::string plain = folder + "\\p" + std::to_string(p) + "-" + std::to_string(i) + ".txt";
            EXPECT_EQ(entry(core::RegisterKind::SmallFile, plain), TransformName(lockedPath(plain, ".TSL"))) << plain;
            expectedHidden.insert(GetFileNamePart(lockedPath(plain, ".TSL")));
        }
    EXPECT_EQ(core::RegisterEntries(reg, core::RegisterKind::SmallFile).size(), 2u * kPerProcess);
    EXPECT_EQ(lines(sandbox.readFile(folder + "\\.hidden")), expectedHidden);
}

TEST_F(WriteFlowTest, ARunThatFindsItsFilesLockedByAnotherRunMeanwhileLeavesThemAndTheirEntries) {
    const std::string folder = sandbox.makeFolder("C:\\Twice");
    std::vector<std::string> plains;
    for (int i = 0; i < 20; ++i)
        plains.push_back(
            sandbox.writeFile(folder + "\\f" + std::to_string(i) + ".txt", "content " + std::to_string(i)));

    // The other run starts and ends while this one has written its results and not yet put them in place.
    testing_support::ScriptedPrompt otherPrompt;
    std::vector<bool> other;
    core::EngineContext ctx = context();
    ctx.checkpoint = [&](const char* step) {
        if (other.empty() && std::string(step) == "written")
            other =
                core::LockFilesTogether(plains, "pw", core::EngineContext{.prompt = otherPrompt, .registerPath = reg});
    };
    const std::vector<bool> mine = core::LockFilesTogether(plains, "pw", ctx);

    EXPECT_EQ(other, std::vector<bool>(plains.size(), true));
    EXPECT_EQ(mine, std::vector<bool>(plains.size(), false));
    ASSERT_EQ(prompt.boxes.size(), plains.size());
    EXPECT_EQ(prompt.boxes.front().text, "'f0.txt' was not locked: it is no longer there.");
    std::set<std::string> expected;
    for (const std::string& plain : plains) {
        const std::string locked = lockedPath(plain, ".TSL");
        EXPECT_EQ(entry(core::RegisterKind::SmallFile, plain), TransformName(locked)) << plain;
        expected.insert(GetFileNamePart(locked));
    }
    // Each file locked once, nothing left over beside it.
    EXPECT_EQ(listing(folder), expected);
    EXPECT_EQ(lines(sandbox.readFile(folder + "\\.hidden")), expected);
}

TEST_F(WriteFlowTest, AResultNameTakenWhileTheRunWroteLeavesTheSourceAndTheOtherFile) {
    const std::string plain = sandbox.writeFile("C:\\Taken\\note.txt", "mine");
    const std::string locked = lockedPath(plain, ".TSL");
    core::EngineContext ctx = context();
    ctx.checkpoint = [&](const char* step) {
        if (std::string(step) == "written" && !sandbox.exists(locked))
            sandbox.writeFile(locked, "someone else's");
    };
    EXPECT_EQ(core::LockFilesTogether({plain}, "pw", ctx), std::vector<bool>{false});
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text,
              "'note.txt' can't be locked: its locked name '" + GetFileNamePart(locked) + "' is taken.");
    EXPECT_EQ(sandbox.readFile(plain), "mine");
    EXPECT_EQ(sandbox.readFile(locked), "someone else's");
    EXPECT_EQ(listing("C:\\Taken"), (std::set<std::string>{"note.txt", GetFileNamePart(locked)}));
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, plain), "");
}

TEST_F(WriteFlowTest, TwoFilesOfOneRunBoundForOneNameAreNotBothTaken) {
    // One file given twice: it is locked once and keeps its entry.
    const std::string plain = sandbox.writeFile("C:\\Twice\\f.txt", "once");
    const std::string lockedSmall = lockedPath(plain, ".TSL");
    EXPECT_EQ(core::LockFilesTogether({plain, plain}, "pw", context()), (std::vector<bool>{true, false}));
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"'f.txt' can't be locked: its locked name '" +
                                                       GetFileNamePart(lockedSmall) + "' is taken."});
    EXPECT_EQ(listing("C:\\Twice"), std::set<std::string>{GetFileNamePart(lockedSmall)});
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, plain), TransformName(lockedSmall));

    // A small and a large locked file that both unlock to "f.txt": the first comes back, the
    // second stays locked and recorded.
    const std::string big = sandbox.writeFile("C:\\Twice\\f.txt", core_tests::randomContent(250000, 5));
    ASSERT_TRUE(core::BigEncrypt(big, "pw", context()));
    const std::string lockedLarge = lockedPath(plain, ".TSW");
    prompt.boxes.clear();
    EXPECT_EQ(core::UnlockFilesTogether({lockedSmall, lockedLarge}, "pw", context()), (std::vector<bool>{true, false}));
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"'f.txt' can't be unlocked: the name 'f.txt' is taken."});
    EXPECT_EQ(listing("C:\\Twice"), (std::set<std::string>{"f.txt", GetFileNamePart(lockedLarge)}));
    EXPECT_EQ(sandbox.readFile(plain), "once");
    EXPECT_EQ(entry(core::RegisterKind::LargeFile, plain), TransformName(lockedLarge));
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, plain), "");
}

TEST_F(WriteFlowTest, ARegisterThatCannotBeWrittenFailsTheLockAndChangesNothing) {
    const std::string plain = sandbox.writeFile("C:\\R\\note.txt", "keep me");
    const std::string big = sandbox.writeFile("C:\\R\\big.bin", core_tests::randomContent(250000, 3));
    // A folder where the register file should be: it can be neither read nor replaced.
    std::filesystem::remove(sandbox.host(reg));
    std::filesystem::create_directory(sandbox.host(reg));

    for (const std::string& path : {plain, big}) {
        SCOPED_TRACE(path);
        prompt.boxes.clear();
        const std::string before = sandbox.readFile(path);
        const bool small = path == plain;
        EXPECT_FALSE(small ? core::Encrypt(path, "pw", context()) : core::BigEncrypt(path, "pw", context()));
        ASSERT_EQ(prompt.boxes.size(), 1u);
        EXPECT_EQ(prompt.last().text, "'" + path +
                                          "' was not locked: it could not be recorded in the Security Vault: " +
                                          platform::errorDescription(platform::ErrorKind::PathFileAccess) + ".");
        EXPECT_EQ(prompt.last().icon, Icon::Critical);
        EXPECT_EQ(sandbox.readFile(path), before);
    }
    // No locked file, no temporary file, nothing hidden.
    EXPECT_EQ(listing("C:\\R"), (std::set<std::string>{"big.bin", "note.txt"}));
}

TEST_F(WriteFlowTest, AnUnlockWhoseEntryCannotBeRemovedSaysSo) {
    const std::string plain = sandbox.writeFile("C:\\U\\note.txt", "keep me");
    ASSERT_TRUE(core::Encrypt(plain, "pw", context()));
    std::filesystem::remove(sandbox.host(reg));
    std::filesystem::create_directory(sandbox.host(reg));

    const std::string locked = lockedPath(plain, ".TSL");
    EXPECT_FALSE(core::Decrypt(locked, "pw", context()));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "'" + plain +
                                      "' was unlocked, but it could not be removed from the Security Vault: " +
                                      platform::errorDescription(platform::ErrorKind::PathFileAccess) + ".");
    EXPECT_EQ(sandbox.readFile(plain), "keep me");
}

// A ".hidden" that is a folder is not a list the program may rewrite: it is left alone, the lock
// goes on and says so, and the unlock (which has no line to take out) says nothing.
TEST_F(WriteFlowTest, AHiddenListThatIsAFolderIsLeftAloneAndTheLockSaysSo) {
    const std::string plain = sandbox.writeFile("C:\\H\\note.txt", "content");
    std::filesystem::create_directory(sandbox.host("C:\\H\\.hidden"));

    EXPECT_TRUE(core::Encrypt(plain, "pw", context()));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, core::HiddenListLeftAloneNote("C:\\H"));
    EXPECT_EQ(prompt.last().icon, platform::Icon::Exclamation);
    // What was done is whole: the locked file is there, read-only, and recorded.
    const std::string locked = lockedPath(plain, ".TSL");
    EXPECT_TRUE(sandbox.exists(locked));
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, plain), TransformName(locked));
    EXPECT_TRUE(std::filesystem::is_directory(sandbox.host("C:\\H\\.hidden")));

    prompt.boxes.clear();
    EXPECT_TRUE(core::Decrypt(locked, "pw", context()));
    EXPECT_TRUE(prompt.boxes.empty()) << prompt.last().text;
    EXPECT_EQ(sandbox.readFile(plain), "content");
    EXPECT_TRUE(std::filesystem::is_directory(sandbox.host("C:\\H\\.hidden")));
}

TEST_F(WriteFlowTest, ResultsKeepTheSourcesPermissionBitsAndTemporaryFilesAreOwnerOnly) {
    const struct {
        unsigned source, locked, unlocked;
    } cases[] = {
        {0600, 0400, 0600},
        {0640, 0440, 0640},
        {0755, 0555, 0755},
        {0664, 0444, 0664}, // the write bits the locked file could not wear come back
    };
    int round = 0;
    for (const auto& c : cases) {
        for (const bool large : {false, true}) {
            SCOPED_TRACE(std::to_string(c.source) + (large ? " large" : " small"));
            const std::string folder = sandbox.makeFolder("C:\\P" + std::to_string(++round));
            const std::string plain =
                sandbox.writeFile(folder + "\\data.bin", core_tests::randomContent(large ? 250000 : 100, 7));
            ASSERT_EQ(::chmod(sandbox.host(plain).c_str(), c.source), 0);

            std::set<unsigned> temporaryModes;
            core::EngineContext ctx = context();
            ctx.progress = [&](std::uint64_t, std::uint64_t) {
                for (const std::string& name : listing(folder))
                    if (platform::isTemporaryName(name))
                        temporaryModes.insert(modeOf(sandbox.host(folder) + "/" + name));
            };
            ASSERT_TRUE(large ? core::BigEncrypt(plain, "pw", ctx) : core::Encrypt(plain, "pw", ctx));
            const std::string locked = lockedPath(plain, large ? ".TSW" : ".TSL");
            EXPECT_EQ(modeOf(sandbox.host(locked)), c.locked);
            ASSERT_TRUE(large ? core::BigDecrypt(locked, "pw", ctx) : core::Decrypt(locked, "pw", ctx));
            EXPECT_EQ(modeOf(sandbox.host(plain)), c.unlocked);
            EXPECT_EQ(temporaryModes, std::set<unsigned>{0600});
        }
    }
}

TEST_F(WriteFlowTest, ABatchEncipheredOnEveryCoreGivesEachFileTheBytesItGetsAlone) {
    // Many small files of every length class, locked together (their cipher runs on several
    // threads) and one by one with the same salt: every locked file is the same, byte for byte, and
    // the batch unlock gives every content back.
    constexpr int kFiles = 40;
    const std::string salt = "ABCDEFGH";
    std::vector<std::string> together;
    std::vector<std::string> contents;
    for (int i = 0; i < kFiles; ++i) {
        contents.push_back(core_tests::randomContent(static_cast<std::size_t>(1 + i * i * 97 % 150000), 100 + i));
        together.push_back(sandbox.writeFile("C:\\Together\\f" + std::to_string(i) + ".txt", contents.back()));
        sandbox.writeFile("C:\\Alone\\f" + std::to_string(i) + ".txt", contents.back());
    }
    EXPECT_EQ(core::LockFilesTogether(together, "pw", context(salt)), std::vector<bool>(kFiles, true));
    for (int i = 0; i < kFiles; ++i) {
        const std::string alone = "C:\\Alone\\f" + std::to_string(i) + ".txt";
        ASSERT_TRUE(core::Encrypt(alone, "pw", context(salt)));
        EXPECT_EQ(sandbox.readFile(lockedPath(together[static_cast<std::size_t>(i)], ".TSL")),
                  sandbox.readFile(lockedPath(alone, ".TSL")))
            << i;
    }
    std::vector<std::string> locked;
    for (const auto& path : together)
        locked.push_back(lockedPath(path, ".TSL"));
    EXPECT_EQ(core::UnlockFilesTogether(locked, "pw", context()), std::vector<bool>(kFiles, true));
    for (int i = 0; i < kFiles; ++i)
        EXPECT_EQ(sandbox.readFile(together[static_cast<std::size_t>(i)]), contents[static_cast<std::size_t>(i)]) << i;
    EXPECT_TRUE(prompt.boxes.empty());
}
