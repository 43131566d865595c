// The register records only what a run did, and the recovery sweep brings it in line with the
// disk; only a temporary file its run marked complete is ever put in place.

#include "EngineFixture.h"
#include "core/Recovery.h"
#include "platform/Attributes.h"
#include "platform/FileIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using core_tests::EngineTest;
using core_tests::lockedPath;
using core_tests::randomContent;

namespace {

constexpr int kStopped = 42;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

class RecordsTest : public EngineTest {
protected:
    std::string hiddenList(const std::string& folder) const {
        return sandbox.exists(folder + "\\.hidden") ? sandbox.readFile(folder + "\\.hidden") : std::string();
    }

    // A child process that writes `content` for `target` through the writer, marks it complete or
    // not, and dies before putting it in place, as a kill would leave it.
    void abandonWriter(const std::string& target, const std::string& content, bool marked) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            platform::AtomicWriter writer{platform::WinPath(target)};
            writer.write(content);
            if (marked)
                writer.markComplete(true);
            ::_exit(kStopped);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kStopped);
    }
};

// A file that vanishes while the others of its batch are written is refused, and not recorded.
TEST_F(RecordsTest, AFileGoneDuringTheRunIsNotRecorded) {
    const std::string note = sandbox.writeFile("C:\\Run\\note.txt", "a short note");
    const std::string big = sandbox.writeFile("C:\\Run\\big.bin", randomContent(300000, 7));
    core::EngineContext ctx = context();
    ctx.checkpoint = [&](const char* step) {
        if (std::strcmp(step, "written") == 0)
            std::remove(sandbox.host(note).c_str());
    };
    EXPECT_EQ(core::LockFilesTogether({note, big}, "pw", ctx), (std::vector<bool>{false, true}));
    EXPECT_TRUE(contains(boxList(), "'note.txt' was not locked: it is no longer there.")) << boxList();
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, note), "");
    EXPECT_EQ(entry(core::RegisterKind::LargeFile, big), TransformName(lockedPath(big, ".TSW")));
    for (core::RegisterKind section : {core::RegisterKind::SmallFile, core::RegisterKind::LargeFile})
        for (const core::RegisterItem& item : core::RegisterEntries(reg, section))
            EXPECT_TRUE(sandbox.exists(item.key)) << item.key;
}

// The sweep drops an entry whose locked file is gone from its folder (naming it), puts back lost
// attributes and ".hidden" lines, and keeps the entries of a folder that is not there.
TEST_F(RecordsTest, TheSweepTidiesTheRecords) {
    std::vector<std::string> plains;
    for (const char* name : {"shredded.txt", "unlisted.txt", "plain.txt", "kept.txt"})
        plains.push_back(sandbox.writeFile(std::string("C:\\T\\") + name, std::string("content of ") + name));
    const std::string away = sandbox.writeFile("C:\\Away\\far.txt", "far away");
    plains.push_back(away);
    ASSERT_EQ(core::LockFilesTogether(plains, "pw", context()), std::vector<bool>(plains.size(), true));
    std::vector<std::string> locked;
    for (const std::string& p : plains)
        locked.push_back(lockedPath(p, ".TSL"));

    // Shredded; its ".hidden" line dropped by a kill between attributes and list; attributes lost;
    // the folder of the last one moved away (a drive not mounted looks the same).
    platform::removeFile(locked[0]);
    const std::string unlistedName = GetFileNamePart(locked[1]);
    std::string hidden = hiddenList("C:\\T");
    const auto at = hidden.find(unlistedName + "\n");
    ASSERT_NE(at, std::string::npos);
    hidden.erase(at, unlistedName.size() + 1);
    ASSERT_EQ(std::remove(sandbox.host("C:\\T\\.hidden").c_str()), 0);
    sandbox.writeFile("C:\\T\\.hidden", hidden);
    ASSERT_TRUE(::setxattr(sandbox.host(locked[2]).c_str(), "user.DOSATTRIB", "0x20", 4, 0) == 0 || errno == ENOTSUP);
    ASSERT_EQ(std::rename(sandbox.host("C:\\Away").c_str(), sandbox.host("C:\\Elsewhere").c_str()), 0);

    const core::RecoveryReport report = core::RecoverFolders(reg, core::RegisterFolders(reg));
    const std::string message = core::RecoveryMessage(report);
    EXPECT_TRUE(report.failures.empty()) << message;
    EXPECT_EQ(report.dropped, std::vector<std::string>{plains[0]});
    EXPECT_TRUE(contains(message, "'" + plains[0] +
                                      "' was taken off the Security Vault's list: its locked file is no longer there."))
        << message;
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, plains[0]), "");
    for (std::size_t i = 1; i < plains.size(); ++i)
        EXPECT_EQ(entry(core::RegisterKind::SmallFile, plains[i]), TransformName(locked[i])) << plains[i];

    hidden = hiddenList("C:\\T");
    EXPECT_FALSE(contains(hidden, GetFileNamePart(locked[0]) + "\n"));
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_TRUE(contains(hidden, GetFileNamePart(locked[i]) + "\n")) << plains[i];
        EXPECT_EQ(platform::getAttributes(locked[i]) & (platform::kAttrReadOnly | platform::kAttrHidden),
                  platform::kAttrReadOnly | platform::kAttrHidden);
    }

    // A second sweep finds nothing more to do.
    EXPECT_TRUE(core::RecoverFolders(reg, core::RegisterFolders(reg)).empty());

    // While a run's temporary file is still in the folder (here: in use), an entry whose locked
    // file is missing may be what that run needs: it stays until the folder holds none.
    const std::string waiting = sandbox.writeFile("C:\\T\\waiting.txt", "waiting");
    ASSERT_EQ(core::LockFilesTogether({waiting}, "pw", context()), std::vector<bool>{true})
        << (prompt.boxes.empty() ? std::string() : prompt.last().text);
    platform::removeFile(lockedPath(waiting, ".TSL"));
    {
        platform::AtomicWriter inUse{platform::WinPath(sandbox.writeFile("C:\\T\\other.txt", "other"))};
        inUse.write("being written");
        const core::RecoveryReport held = core::RecoverFolders(reg, core::RegisterFolders(reg));
        EXPECT_TRUE(held.dropped.empty()) << core::RecoveryMessage(held);
        EXPECT_EQ(entry(core::RegisterKind::SmallFile, waiting), TransformName(lockedPath(waiting, ".TSL")));
    }
    EXPECT_EQ(core::RecoverFolders(reg, core::RegisterFolders(reg)).dropped, std::vector<std::string>{waiting});
}

// Only a temporary file that its run marked complete is put in place when nothing else holds the
// content; a store cut short while written for the first time, or an unmarked lock result, goes.
TEST_F(RecordsTest, OnlyMarkedResultsArePutInPlace) {
    sandbox.makeFolder("C:\\F");
    const std::string big = randomContent(2 << 20, 3);
    const struct {
        const char* target;
        bool marked;
    } cases[] = {
        {"C:\\F\\favourites.dat", false},
        {"C:\\F\\export.htm", false},
        {"C:\\F\\gone.TSL", false},
        {"C:\\F\\finished.dat", true},
    };
    for (const auto& c : cases)
        abandonWriter(c.target, big, c.marked);

    const core::RecoveryReport report = core::RecoverFolders(reg, {"C:\\F"});
    EXPECT_TRUE(report.failures.empty()) << core::RecoveryMessage(report);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(sandbox.exists(c.target), c.marked);
        if (c.marked) {
            EXPECT_EQ(sandbox.readFile(c.target), big);
            EXPECT_NE(std::find(report.restored.begin(), report.restored.end(), c.target), report.restored.end());
        } else {
            EXPECT_NE(std::find(report.abandoned.begin(), report.abandoned.end(), c.target), report.abandoned.end());
        }
    }
    EXPECT_EQ(listing("C:\\F"), (std::set<std::string>{"finished.dat"}));
    EXPECT_TRUE(contains(core::RecoveryMessage(report),
                         "An unfinished 'C:\\F\\favourites.dat' that an interrupted run left behind was removed."));
}

// An entry whose locked file is missing is dropped only where the folder shows it held the file:
// its ".hidden" list still names it, another locked file of the register is there, or the file's
// path before the lock is there again. A folder that shows none of this (an empty folder, as an
// unmounted volume leaves at its mount point) keeps the entry.
TEST_F(RecordsTest, AMissingLockedFileIsDroppedOnlyWhereItsFolderShowsItHeldIt) {
    const struct {
        const char* what;
        bool hiddenLine; // the ".hidden" line stays
        bool otherThere; // another locked file of the register stays in the folder
        bool plainBack;  // the path before the lock holds a file again
        bool dropped;
    } cases[] = {
        {"listed in .hidden", true, false, false, true},
        {"another locked file there", false, true, false, true},
        {"the plain file back", false, false, true, true},
        {"nothing shows it", false, false, false, false},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = sandbox.makeFolder("C:\\M" + std::to_string(++round));
        const std::string gone = sandbox.writeFile(folder + "\\gone.txt", "gone");
        const std::string other = sandbox.writeFile(folder + "\\other.txt", "other");
        ASSERT_EQ(core::LockFilesTogether({gone, other}, "pw", context()), (std::vector<bool>{true, true}))
            << boxList();
        platform::removeFile(lockedPath(gone, ".TSL"));
        if (!c.otherThere) {
            ASSERT_EQ(core::UnlockFilesTogether({lockedPath(other, ".TSL")}, "pw", context()), std::vector<bool>{true});
            platform::removeFile(other);
        }
        if (!c.hiddenLine)
            std::remove(sandbox.host(folder + "\\.hidden").c_str());
        if (c.plainBack)
            sandbox.writeFile(gone, "a new file of that name");

        const core::RecoveryReport report = core::RecoverFolders(reg, core::RegisterFolders(reg));
        EXPECT_TRUE(report.failures.empty()) << core::RecoveryMessage(report);
        EXPECT_EQ(report.dropped, c.dropped ? std::vector<std::string>{gone} : std::vector<std::string>{});
        EXPECT_EQ(entry(core::RegisterKind::SmallFile, gone), c.dropped ? "" : TransformName(lockedPath(gone, ".TSL")));
        if (c.plainBack) {
            EXPECT_EQ(sandbox.readFile(gone), "a new file of that name");
        }
        if (!c.dropped)
            core::RemoveEntries(reg, core::RegisterKind::SmallFile, {gone}); // the next case starts clean
    }
}
