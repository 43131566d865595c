// A batch reads the register once: its snapshot, kept in step with the batch's own writes, reads as
// a fresh read would, and the refusals that depend on the register still fire within the batch.

#include "EngineFixture.h"
#include "core/LockChecks.h"
#include "platform/Environment.h"
#include "support/OpenCounter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using core_tests::EngineTest;
using core_tests::lockedPath;

namespace {

class RegisterSnapshotTest : public EngineTest {
protected:
    // Every section as a fresh read gives it and as the snapshot has it, side by side.
    void expectInStep(const core::RegisterSnapshot& snapshot, const std::string& step) {
        for (core::RegisterKind section : {core::RegisterKind::SmallFile, core::RegisterKind::LargeFile,
                                           core::RegisterKind::StrongFile, core::RegisterKind::Folder}) {
            const std::vector<core::RegisterItem> fresh = core::QuietRegisterEntries(reg, section);
            const std::vector<core::RegisterItem>& kept = snapshot.entries(section);
            ASSERT_EQ(kept.size(), fresh.size()) << step << ", " << sectionName(section);
            for (std::size_t i = 0; i < fresh.size(); ++i) {
                EXPECT_EQ(kept[i].key, fresh[i].key) << step << ", " << sectionName(section) << " #" << i;
                EXPECT_EQ(kept[i].text, fresh[i].text) << step << ", " << sectionName(section) << " #" << i;
            }
        }
    }
};

TEST_F(RegisterSnapshotTest, ASnapshotToldOfTheBatchsWritesReadsAsAFreshReadWould) {
    using Locks = std::vector<std::pair<std::string, std::string>>;
    core::RecordLocks(reg, core::RegisterKind::SmallFile,
                      {{"C:\\Docs\\a.txt", "C:\\Docs\\n.gkt.TSL"}, {"C:\\Work\\b.txt", "C:\\Work\\o.gkt.TSL"}});
    core::RecordLock(reg, core::RegisterKind::Folder, "C:\\Old", "C:\\Byq.TSL");
    core::RecordLock(reg, core::RegisterKind::StrongFile, "C:\\s.txt", "C:\\q1w2e3.TSX");
    core::RegisterSnapshot snapshot(reg);
    expectInStep(snapshot, "as read");

    // Each write of a batch, then the word the batch gives its snapshot.
    struct Step {
        const char* name;
        std::function<void()> write;
    };
    const Step steps[] = {
        {"files recorded",
         [&] {
             const Locks locks = {{"C:\\Docs\\c.txt", "C:\\Docs\\p.gkt.TSL"}, {" C:\\Docs\\d.txt ", "C:\\Docs\\q.TSL"}};
             core::RecordLocks(reg, core::RegisterKind::SmallFile, locks);
             snapshot.noteRecorded(core::RegisterKind::SmallFile, locks);
         }},
        {"a file recorded again (its entry replaced in place)",
         [&] {
             const Locks locks = {{"C:\\Docs\\a.txt", "C:\\Docs\\n.gkt.TSW"}};
             core::RecordLocks(reg, core::RegisterKind::SmallFile, locks);
             snapshot.noteRecorded(core::RegisterKind::SmallFile, locks);
         }},
        {"a file recorded under its drive letter in the other case (one entry, replaced)",
         [&] {
             const Locks locks = {{"c:\\Work\\b.txt", "c:\\Work\\o.gkt.TSW"}};
             core::RecordLocks(reg, core::RegisterKind::SmallFile, locks);
             snapshot.noteRecorded(core::RegisterKind::SmallFile, locks);
         }},
        {"a folder recorded",
         [&] {
             core::RecordLock(reg, core::RegisterKind::Folder, "C:\\Docs", "C:\\Qbpf.TSL");
             snapshot.noteRecorded(core::RegisterKind::Folder, {{"C:\\Docs", "C:\\Qbpf.TSL"}});
         }},
        {"files unlocked, one of them through the name its folder had",
         [&] {
             const std::vector<std::string> restored = {"C:\\Docs\\c.txt", "C:\\Jbex.TSL\\b.txt", "C:\\None\\x.txt"};
             core::RemoveAfterFileUnlocks(reg, core::RegisterKind::SmallFile, restored);
             snapshot.noteUnlocked(core::RegisterKind::SmallFile, restored);
         }},
        {"a folder unlocked",
         [&] {
             core::RemoveAfterFolderUnlock(reg, "C:\\Old");
             snapshot.noteRemoved(core::RegisterKind::Folder, {"C:\\Old"});
         }},
        {"stale entries removed",
         [&] {
             core::RemoveEntries(reg, core::RegisterKind::StrongFile, {"C:\\s.txt"});
             snapshot.noteRemoved(core::RegisterKind::StrongFile, {"C:\\s.txt"});
         }},
    };
    for (const Step& step : steps) {
        step.write();
        expectInStep(snapshot, step.name);
    }
    // The steps did change what a check finds: the folder recorded in the batch is seen, the one
    // unlocked in it is not.
    sandbox.makeFolder("C:\\Qbpf.TSL");
    sandbox.makeFolder("C:\\Byq.TSL");
    EXPECT_EQ(core::RefuseInsideLockedFolder(snapshot, "C:\\Qbpf.TSL\\e.txt"),
              "'C:\\Docs\\e.txt' lies inside the locked folder 'C:\\Docs'. Unlock that folder first.");
    EXPECT_EQ(core::RefuseInsideLockedFolder(snapshot, "C:\\Byq.TSL\\e.txt"), "");
}

TEST_F(RegisterSnapshotTest, AnEngineBatchReadsTheRegisterOnceHoweverManyFilesItChecks) {
    testing_support::OpenCounter counter(platform::toHost(reg));
    std::vector<int> opensAtWritten;
    std::vector<int> opensInAll;
    std::vector<int> opensInUnlock;
    for (const int files : {3, 12}) {
        std::vector<std::string> paths;
        for (int i = 0; i < files; ++i) {
            const std::string name = "C:\\Batch" + std::to_string(files) + "\\f" + std::to_string(i) + ".dat";
            // Small and large files: both formats check every file against the register.
            paths.push_back(sandbox.writeFile(name, core_tests::randomContent(i % 3 == 0 ? 210000 : 1000, i + 1)));
        }
        core::EngineContext ctx = context();
        int atWritten = -1;
        ctx.checkpoint = [&](const char* step) {
            if (std::string(step) == "written" && atWritten < 0)
                atWritten = counter.opens();
        };
        counter.reset();
        EXPECT_EQ(core::LockFilesTogether(paths, "pw", ctx), std::vector<bool>(paths.size(), true)) << boxList();
        opensAtWritten.push_back(atWritten);
        opensInAll.push_back(counter.opens());
        EXPECT_EQ(core::GetLockedTSLFiles(reg, prompt).size() + core::GetLockedTSWFiles(reg, prompt).size(),
                  static_cast<std::size_t>(files));

        // And back: the entries of the folder's files are looked up and removed in one cycle.
        std::vector<std::string> locked;
        for (std::size_t i = 0; i < paths.size(); ++i)
            locked.push_back(lockedPath(paths[i], i % 3 == 0 ? ".TSW" : ".TSL"));
        counter.reset();
        EXPECT_EQ(core::UnlockFilesTogether(locked, "pw", context()), std::vector<bool>(paths.size(), true))
            << boxList();
        opensInUnlock.push_back(counter.opens());
    }
    // Every check before the results are written reads the one snapshot; what follows (the
    // entries recorded or removed under the register's lock, once per folder) does not grow with
    // the files either.
    EXPECT_EQ(opensAtWritten, (std::vector<int>{1, 1}));
    EXPECT_EQ(opensInAll[0], opensInAll[1]);
    EXPECT_EQ(opensInUnlock[0], opensInUnlock[1]);
    EXPECT_TRUE(core::GetLockedTSLFiles(reg, prompt).empty());
    EXPECT_TRUE(core::GetLockedTSWFiles(reg, prompt).empty());
}

TEST_F(RegisterSnapshotTest, ARefusalThatDependsOnTheRegisterStillFiresWithinABatch) {
    // C:\Old is locked (as C:\Byq.TSL); of three files, the one inside it is refused with the
    // message a check of its own gives, the others are locked.
    core::RecordLock(reg, core::RegisterKind::Folder, "C:\\Old", "C:\\Byq.TSL");
    const std::string a = sandbox.writeFile("C:\\Docs\\a.txt", "a");
    const std::string inside = sandbox.writeFile("C:\\Byq.TSL\\b.txt", "b");
    const std::string c = sandbox.writeFile("C:\\Docs\\c.txt", core_tests::randomContent(250000, 7));
    const std::string expected = "'C:\\Old\\b.txt' lies inside the locked folder 'C:\\Old'. Unlock that folder first.";
    ASSERT_EQ(core::RefuseFileLock(reg, inside), expected);

    testing_support::OpenCounter counter(platform::toHost(reg));
    core::EngineContext ctx = context();
    EXPECT_EQ(core::LockFilesTogether({a, inside, c}, "pw", ctx), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{expected});
    EXPECT_EQ(sandbox.readFile(inside), "b");
    EXPECT_TRUE(sandbox.exists(lockedPath(a, ".TSL")));
    EXPECT_TRUE(sandbox.exists(lockedPath(c, ".TSW")));
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, inside), "");

    // A snapshot handed in by the caller serves the engine's checks: the engine reads nothing more
    // before it writes, and its entries reach the caller's snapshot.
    const auto snapshot = std::make_shared<core::RegisterSnapshot>(reg);
    const std::string d = sandbox.writeFile("C:\\Docs\\d.txt", "d");
    ASSERT_EQ(core::RefuseFileLock(*snapshot, d), "");
    prompt.boxes.clear();
    ctx.registerSnapshot = snapshot;
    int atWritten = -1;
    ctx.checkpoint = [&](const char* step) {
        if (std::string(step) == "written")
            atWritten = counter.opens();
    };
    counter.reset();
    const std::string inside2 = sandbox.writeFile("C:\\Byq.TSL\\e.txt", "e");
    EXPECT_EQ(core::LockFilesTogether({d, inside2}, "pw", ctx), (std::vector<bool>{true, false}));
    EXPECT_EQ(atWritten, 0);
    EXPECT_EQ(prompt.texts(),
              std::vector<std::string>{
                  "'C:\\Old\\e.txt' lies inside the locked folder 'C:\\Old'. Unlock that folder first."});
    const auto& recorded = snapshot->entries(core::RegisterKind::SmallFile);
    ASSERT_FALSE(recorded.empty());
    EXPECT_EQ(recorded.back().text, d);
    EXPECT_EQ(recorded.back().key, lockedPath(d, ".TSL"));
}

} // namespace
