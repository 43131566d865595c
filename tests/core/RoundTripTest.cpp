// A round trip gives back what it took: every file locked and unlocked, in each format, one at a time
// and in a batch, comes back with the modification and access times and the permission bits it had
// when it was locked; a read-only file gets its owner's write back.

#include "EngineFixture.h"
#include "core/LockEngine.h"
#include "core/LockRun.h"
#include "platform/Attributes.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <string>
#include <vector>

using core_tests::lockedPath;
using core_tests::randomContent;

namespace {

// What a round trip must give back, as stat shows it: the times in nanoseconds since 1970.
struct Stamp {
    std::int64_t accessed = 0;
    std::int64_t modified = 0;
    unsigned mode = 0;
};

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

class RoundTripTest : public core_tests::EngineTest {
protected:
    Stamp stampOf(const std::string& path) const {
        struct stat st {};
        EXPECT_EQ(::stat(sandbox.host(path).c_str(), &st), 0) << path;
        return {nanoseconds(st.st_atim), nanoseconds(st.st_mtim), st.st_mode & 07777u};
    }

    // A file with the given bits and times from long ago, to the nanosecond; which of the two times
    // is the older varies, as it does on real disks.
    std::string writeStamped(const std::string& path, const std::string& content, unsigned mode, int seed) const {
        sandbox.writeFile(path, content);
        const std::string host = sandbox.host(path);
        const timespec times[2] = {{978307200 + seed * 86400, 123456789 + seed},  // access: 2001
                                   {1000000000 + seed * 3600, 987654321 - seed}}; // modification: 2001
        const timespec swapped[2] = {times[1], times[0]};
        EXPECT_EQ(::utimensat(AT_FDCWD, host.c_str(), seed % 2 ? swapped : times, 0), 0);
        EXPECT_EQ(::chmod(host.c_str(), mode), 0);
        return path;
    }

    void expectGivenBack(const std::string& path, const Stamp& before, unsigned mode) const {
        SCOPED_TRACE(path);
        const Stamp after = stampOf(path);
        EXPECT_EQ(after.modified, before.modified);
        EXPECT_EQ(after.accessed, before.accessed);
        EXPECT_EQ(after.mode, mode) << std::oct << after.mode;
    }

    // The strong locked files of a folder (their names are random).
    std::vector<std::string> strongFiles(const std::string& folder) const {
        std::vector<std::string> found;
        for (const std::string& name : listing(folder))
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".TSX") == 0)
                found.push_back(AddBackslash(folder) + name);
        return found;
    }
};

TEST_F(RoundTripTest, EachFormatGivesBackTimesAndModesAloneAndInABatch) {
    struct Case {
        const char* what;
        std::size_t size;
        bool strong;
        const char* extension;
    };
    const std::vector<Case> cases = {
        {"small", 1000, false, ".TSL"},
        {"large", 300000, false, ".TSW"},
        {"strong", 5000, true, ".TSX"},
    };
    const std::vector<unsigned> modes = {0664, 0640, 0600};
    int seed = 0;
    for (const Case& c : cases) {
        for (const bool batch : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (batch ? " batch" : " alone"));
            const std::string folder = sandbox.makeFolder(std::string("C:\\") + c.what + (batch ? "Batch" : "Alone"));
            std::vector<std::string> plains;
            std::vector<Stamp> before;
            for (std::size_t i = 0; i < (batch ? modes.size() : 1); ++i) {
                ++seed;
                plains.push_back(writeStamped(folder + "\\file" + std::to_string(i) + ".txt",
                                              randomContent(c.size + i, static_cast<unsigned>(seed)), modes[i], seed));
                before.push_back(stampOf(plains.back()));
            }
            core::EngineContext ctx = context();
            ctx.strongLocks = c.strong;
            ctx.strongLimits = core::strong::kMinimumLimits;

            // Locked: one file through its format's own engine, or all together.
            if (!batch && !c.strong)
                ASSERT_TRUE(
                    (c.size < core::kLargeFileThreshold ? core::Encrypt : core::BigEncrypt)(plains[0], "pw", ctx))
                    << boxList();
            else
                ASSERT_EQ(core::LockFilesTogether(plains, "pw", ctx), std::vector<bool>(plains.size(), true))
                    << boxList();
            std::vector<std::string> locked;
            if (c.strong)
                locked = strongFiles(folder);
            else
                for (const std::string& plain : plains)
                    locked.push_back(lockedPath(plain, c.extension));
            ASSERT_EQ(locked.size(), plains.size());
            for (std::size_t i = 0; i < locked.size(); ++i) {
                // A look at the locked file (as the file list and the unlock's own checks take one)
                // leaves its times alone.
                EXPECT_TRUE(core::HasSecretMarker(locked[i]));
                const Stamp lockedStamp = stampOf(locked[i]);
                EXPECT_EQ(lockedStamp.mode & 0222, 0u);
                // The hiding formats wear the times as their own; a strong locked file shows only
                // when it was made.
                if (!c.strong)
                    EXPECT_EQ(lockedStamp.modified, before[i].modified);
                else
                    EXPECT_GT(lockedStamp.modified, before[i].modified + std::int64_t{86400} * 365 * 1000000000);
            }

            if (!batch && !c.strong)
                ASSERT_TRUE(
                    (c.size < core::kLargeFileThreshold ? core::Decrypt : core::BigDecrypt)(locked[0], "pw", ctx))
                    << boxList();
            else
                ASSERT_EQ(core::UnlockFilesTogether(locked, "pw", ctx), std::vector<bool>(locked.size(), true))
                    << boxList();
            for (std::size_t i = 0; i < plains.size(); ++i)
                expectGivenBack(plains[i], before[i], modes[i]);
            EXPECT_TRUE(prompt.texts().empty()) << boxList();
        }
    }
}

// The runs the window and the command line share: a read-only file's attributes are cleared before
// it is locked, so it comes back with its owner's write; everything else comes back as it was.
TEST_F(RoundTripTest, ARunGivesTheOwnerWriteBackToAReadOnlyFileAndNothingElseChanges) {
    const std::string folder = sandbox.makeFolder("C:\\Docs");
    struct File {
        std::string path;
        unsigned mode;
        unsigned back;
    };
    const std::vector<File> files = {
        {writeStamped(folder + "\\shared.txt", "shared", 0664, 1), 0664, 0664},
        {writeStamped(folder + "\\readonly.txt", "read only", 0444, 2), 0444, 0644},
        {writeStamped(folder + "\\big shared.bin", randomContent(250000, 3), 0666, 3), 0666, 0666},
        {writeStamped(folder + "\\big readonly.bin", randomContent(250001, 4), 0440, 4), 0440, 0640},
    };
    std::vector<Stamp> before;
    std::vector<core::RunItem> items;
    for (const File& f : files) {
        before.push_back(stampOf(f.path));
        items.push_back({folder, GetFileNamePart(f.path), GetFileNamePart(f.path)});
    }
    core::RunPolicy policy;
    policy.registerPath = reg;
    const core::RunOutcome locked = core::LockRun(items, "pw", policy, prompt);
    ASSERT_EQ(locked.done, 4) << boxList();
    std::vector<core::RunItem> lockedItems;
    for (const core::ItemResult& r : locked.items)
        lockedItems.push_back({folder, GetFileNamePart(r.target), GetFileNamePart(r.target)});
    const core::RunOutcome unlocked = core::UnlockRun(lockedItems, "pw", policy, prompt);
    ASSERT_EQ(unlocked.done, 4) << boxList();
    for (std::size_t i = 0; i < files.size(); ++i) {
        expectGivenBack(files[i].path, before[i], files[i].back);
        EXPECT_EQ(platform::getAttributes(files[i].path) & platform::kAttrReadOnly, 0u);
    }
}

} // namespace
