// A crash at any step of a lock or unlock leaves the content on disk: the plain file, or a complete
// locked file (under its own name or the writer's temporary name) that unlocks.

#include "EngineFixture.h"
#include "Mounts.h"
#include "core/Recovery.h"
#include "platform/Attributes.h"
#include "platform/FileIO.h"
#include "platform/Find.h"

#include <gtest/gtest.h>

using core_tests::EngineTest;
using core_tests::lockedPath;
using core_tests::longName;
using core_tests::randomContent;

namespace {

using Engine = bool (*)(const std::string&, const std::string&, const core::EngineContext&);

} // namespace

class CrashTest : public EngineTest {
protected:
    // Runs the engine in a child process that ends at once when it reaches `stopAt`.
    bool crashAt(Engine engine, const std::string& path, const char* stopAt) {
        return stopsAt(stopAt, context(), [&](const core::EngineContext& ctx) { engine(path, "pw", ctx); });
    }

    std::string temporaryFile(const std::string& folder) {
        for (const std::string& name : listing(folder))
            if (name.size() > 12 && name.compare(name.size() - 12, 12, ".tessaly-tmp") == 0 &&
                !platform::isJournalName(name))
                return AddBackslash(folder) + name;
        return {};
    }

    // A kill at each step of a lock, an unlock and a batch of either, in folders under `root`,
    // followed by the recovery sweep: every file is whole (plain, or locked and unlocking to its
    // content), every record agrees with the disk, and no temporary file is left over or ever
    // listed. `nameLength` 0 gives short names; else every plain name has that many bytes (its
    // temporary names are cut). Where the filesystem keeps no attributes, a locked file is only
    // read-only and no ".hidden" line is written.
    void sweepEveryStep(const std::string& root, std::size_t nameLength, bool attributesKept);

    // The locked path the register holds for a file ("" when none), whole however long.
    std::string recordedAs(core::RegisterKind section, const std::string& plain) const {
        for (const core::RegisterItem& item : core::RegisterEntries(reg, section))
            if (item.text == plain)
                return item.key;
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

void CrashTest::sweepEveryStep(const std::string& root, std::size_t nameLength, bool attributesKept) {
    const struct {
        const char* name;
        std::vector<std::size_t> sizes;
    } runs[] = {{"small", {1000}}, {"large", {300000}}, {"batch", {10, 2000, 250000, 70}}};
    const unsigned lockedAttributes = platform::kAttrReadOnly | (attributesKept ? platform::kAttrHidden : 0);
    int round = 0;
    for (const auto& run : runs) {
        for (const bool unlocking : {false, true}) {
            // "copying": in the middle of writing the first result.
            for (const char* step : {"copying", "written", "recorded", "source removed", "committed"}) {
                SCOPED_TRACE(root + " " + std::to_string(nameLength) + " " + run.name +
                             (unlocking ? " unlock at " : " lock at ") + step);
                const std::string folder = sandbox.makeFolder(AddBackslash(root) + "Sweep" + std::to_string(++round));
                std::vector<std::string> plains, lockeds, contents;
                for (std::size_t i = 0; i < run.sizes.size(); ++i) {
                    contents.push_back(randomContent(run.sizes[i], static_cast<unsigned>(round * 10 + i)));
                    const std::string tail = "file" + std::to_string(i) + ".bin";
                    const std::string name = nameLength == 0 ? tail : longName(nameLength, tail);
                    plains.push_back(sandbox.writeFile(folder + "\\" + name, contents.back()));
                    lockeds.push_back(lockedPath(plains.back(), run.sizes[i] >= 200000 ? ".TSW" : ".TSL"));
                }
                if (unlocking) {
                    ASSERT_EQ(core::LockFilesTogether(plains, "pw", context()), std::vector<bool>(plains.size(), true))
                        << boxList();
                }

                const std::vector<std::string>& inputs = unlocking ? lockeds : plains;
                ASSERT_TRUE(stopsAt(step, context(), [&](const core::EngineContext& ctx) {
                    if (inputs.size() == 1) {
                        const bool large = run.sizes[0] >= 200000;
                        if (unlocking)
                            (large ? core::BigDecrypt : core::Decrypt)(inputs[0], "pw", ctx);
                        else
                            (large ? core::BigEncrypt : core::Encrypt)(inputs[0], "pw", ctx);
                    } else {
                        if (unlocking)
                            core::UnlockFilesTogether(inputs, "pw", ctx);
                        else
                            core::LockFilesTogether(inputs, "pw", ctx);
                    }
                }));

                for (const auto& e : platform::findFiles(folder + "\\*.*"))
                    EXPECT_FALSE(platform::isTemporaryName(e.name)) << e.name;
                const core::RecoveryReport report = core::RecoverFolders(reg, {folder});
                const std::string message = core::RecoveryMessage(report);
                EXPECT_TRUE(report.failures.empty()) << message;
                // Nothing had to be kept aside: every result had its own name to go to.
                EXPECT_TRUE(report.kept.empty()) << message;
                for (const std::string& name : listing(folder))
                    EXPECT_FALSE(platform::isTemporaryName(name)) << name;

                std::string hidden;
                if (sandbox.exists(folder + "\\.hidden"))
                    hidden = sandbox.readFile(folder + "\\.hidden");
                for (std::size_t i = 0; i < plains.size(); ++i) {
                    SCOPED_TRACE(plains[i]);
                    core::RegisterKind section =
                        run.sizes[i] >= 200000 ? core::RegisterKind::LargeFile : core::RegisterKind::SmallFile;
                    const std::string lockedName = GetFileNamePart(lockeds[i]);
                    const bool hiddenListed = hidden.find(lockedName + "\n") != std::string::npos;
                    ASSERT_NE(sandbox.exists(plains[i]), sandbox.exists(lockeds[i])) << message;
                    if (sandbox.exists(plains[i])) {
                        EXPECT_EQ(sandbox.readFile(plains[i]), contents[i]);
                        EXPECT_EQ(recordedAs(section, plains[i]), "");
                        EXPECT_FALSE(hiddenListed);
                        continue;
                    }
                    EXPECT_EQ(recordedAs(section, plains[i]), lockeds[i]);
                    EXPECT_EQ(platform::getAttributes(lockeds[i]), lockedAttributes);
                    EXPECT_EQ(hiddenListed, attributesKept);
                    ASSERT_EQ(core::UnlockFilesTogether({lockeds[i]}, "pw", context()), std::vector<bool>{true})
                        << boxList();
                    EXPECT_EQ(sandbox.readFile(plains[i]), contents[i]);
                }
                // A second sweep finds nothing more to do.
                const core::RecoveryReport again = core::RecoverFolders(reg, {folder});
                EXPECT_TRUE(again.empty()) << core::RecoveryMessage(again);
            }
        }
    }
}

TEST_F(CrashTest, TheSweepMakesEveryStepOfARunWhole) {
    sweepEveryStep("C:\\Short", 0, true);
    // Names too long for a temporary name: the attribute holds them.
    sweepEveryStep("C:\\Long", 250, true);
}

// The same on a filesystem that refuses user attributes (as vfat, exFAT and NFSv3 volumes do): the
// full names and the complete marks of the temporary files live in their journals, and nothing is
// lost at any step, with names whose temporary names are cut.
TEST_F(CrashTest, TheSweepMakesEveryStepWholeWithoutUserAttributes) {
    const core_tests::NoXattrFolder ram(sandbox, "C:\\Ram");
    if (!ram.ok())
        GTEST_SKIP() << ram.why();
    sweepEveryStep("C:\\Ram", 250, false);
    sweepEveryStep("C:\\Ram", 0, false);
}
