// The recovery sweep at the edges: only the program's own temporary files are swept (known by
// their mark or their journal, not by their name); the full names and the complete marks survive
// on filesystems without user attributes; and a result that is the only copy of its content is
// never deleted, but kept under a visible name the user is told of.

#include "core/Recovery.h"
#include "EngineFixture.h"
#include "Mounts.h"
#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/SysError.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

using core_tests::EngineTest;
using core_tests::lockedPath;
using core_tests::longName;
using core_tests::randomContent;

namespace {

constexpr int kStopped = 42;

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}


unsigned modeOf(const std::string& host) {
    struct stat st {};
    return ::lstat(host.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

class RecoveryTest : public EngineTest {
protected:
    // The temporary files (journals apart) of a sandbox folder, as host paths.
    std::vector<std::string> temporaries(const std::string& folder) const {
        std::vector<std::string> found;
        for (const std::string& name : listing(folder))
            if (platform::isTemporaryName(name) && !platform::isJournalName(name))
                found.push_back(sandbox.host(folder) + "/" + name);
        return found;
    }

    // A child process that writes `content` for `target` through the writer, marks it complete or
    // not, and dies before putting it in place, as a kill would leave it. The temporary file's path.
    std::string abandonWriter(const std::string& target, const std::string& content, bool marked) {
        int pipeFds[2];
        EXPECT_EQ(::pipe(pipeFds), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(pipeFds[0]);
            platform::AtomicWriter writer{platform::WinPath(target)};
            writer.write(content);
            if (marked)
                writer.markComplete(true);
            const std::string& temp = writer.temporaryHostPath();
            if (::write(pipeFds[1], temp.data(), temp.size()) != static_cast<ssize_t>(temp.size()))
                ::_exit(1);
            ::_exit(kStopped);
        }
        ::close(pipeFds[1]);
        std::string temp;
        char buf[512];
        for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
            temp.append(buf, static_cast<std::size_t>(n));
        ::close(pipeFds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kStopped);
        return temp;
    }

    void onlyOwnFilesAreSwept(const std::string& folder);
    void onlyCopiesAreKept(const std::string& root);
    void journalsCarryTheNamesAndMarks(const std::string& folder, bool attributesKept);
};

// Files of the user's whose names look like the program's temporary files are neither removed nor
// reported; the program's own abandoned file beside them is. A name of the exact temporary form is
// still left out of the listings (it is almost surely a run's), any other is listed.
void RecoveryTest::onlyOwnFilesAreSwept(const std::string& folder) {
    sandbox.makeFolder(folder);
    const struct {
        const char* name;
        bool listed;
    } users[] = {
        {"draft.tessaly-tmp", true},
        {"notes.0123456789abcdef.tessaly-tmp", true},             // no leading dot: not the form
        {".notes.txt.0123456789abcdef.tessaly-tmp", false},       // the exact form, without a mark
        {".old.txt.fedcba9876543210.cut.tessaly-tmp", false},     // a cut form, without a mark
        {".old.txt.0123456789abcdef.journal.tessaly-tmp", false}, // a journal's form, not one
    };
    for (const auto& u : users)
        sandbox.writeFile(folder + "\\" + u.name, std::string("the user's own ") + u.name);
    // A run stopped between creating its temporary file and marking it: empty, unmarked. It holds
    // nothing to lose and goes without a word.
    sandbox.writeFile(folder + "\\.cut.txt.00112233445566aa.tessaly-tmp", "");
    const std::string own = abandonWriter(folder + "\\store.dat", "half a store", false);
    ASSERT_TRUE(std::filesystem::exists(own));
    EXPECT_TRUE(core::HasAbandonedTemporaryFiles(folder));

    const core::RecoveryReport report = core::RecoverFolders(reg, {folder});
    EXPECT_EQ(report.abandoned, std::vector<std::string>{folder + "\\store.dat"});
    const std::string message = core::RecoveryMessage(report);
    EXPECT_EQ(message, "An unfinished '" + folder + "\\store.dat' that an interrupted run left behind was removed.");
    EXPECT_FALSE(std::filesystem::exists(own));
    std::set<std::string> expected;
    for (const auto& u : users) {
        SCOPED_TRACE(u.name);
        expected.insert(u.name);
        EXPECT_EQ(sandbox.readFile(folder + "\\" + u.name), std::string("the user's own ") + u.name);
    }
    EXPECT_EQ(listing(folder), expected);
    // Nothing of the program's is left to sweep, and the user's files stay as they are.
    EXPECT_FALSE(core::HasAbandonedTemporaryFiles(folder));
    EXPECT_TRUE(core::RecoverFolders(reg, {folder}).empty());

    std::set<std::string> listed;
    for (const auto& e : platform::findFiles(folder + "\\*.*"))
        listed.insert(e.name);
    for (const auto& u : users)
        EXPECT_EQ(listed.count(u.name) == 1, u.listed) << u.name;
}

TEST_F(RecoveryTest, OnlyTheProgramsOwnTemporaryFilesAreSwept) {
    onlyOwnFilesAreSwept("C:\\Mine");
}

TEST_F(RecoveryTest, OnlyTheProgramsOwnTemporaryFilesAreSweptWithoutUserAttributes) {
    const core_tests::NoXattrFolder ram(sandbox, "C:\\Ram");
    if (!ram.ok())
        GTEST_SKIP() << ram.why();
    onlyOwnFilesAreSwept("C:\\Ram\\Mine");
}

// A lock or unlock killed once its source was removed, whose result's name another file then took
// (the file locked again from a copy; a new file of the plain name): the result is the only copy of
// its content, and is kept under a visible name beside it that the message gives; the other file is
// left as it is. Short names, and names so long that the kept name must be cut to fit.
void RecoveryTest::onlyCopiesAreKept(const std::string& root) {
    int round = 0;
    for (const std::size_t nameLength : {std::size_t{0}, std::size_t{250}}) {
        for (const bool unlocking : {false, true}) {
            SCOPED_TRACE(std::to_string(nameLength) + (unlocking ? " unlock" : " lock"));
            const std::string folder = sandbox.makeFolder(root + "\\Kept" + std::to_string(++round));
            const std::string name = nameLength == 0 ? "data.bin" : longName(nameLength, "data.bin");
            const std::string content = randomContent(5000, static_cast<unsigned>(round));
            const std::string plain = sandbox.writeFile(folder + "\\" + name, content);
            const std::string locked = lockedPath(plain, ".TSL");
            if (unlocking) {
                ASSERT_TRUE(core::Encrypt(plain, "pw", context())) << boxList();
            }
            ASSERT_TRUE(stopsAt("source removed", context(), [&](const core::EngineContext& ctx) {
                (unlocking ? core::Decrypt : core::Encrypt)(unlocking ? locked : plain, "pw", ctx);
            }));
            const std::string taken = unlocking ? plain : locked;
            ASSERT_FALSE(sandbox.exists(taken));
            sandbox.writeFile(plain, "another file, made meanwhile");
            if (!unlocking) {
                ASSERT_TRUE(core::Encrypt(plain, "pw", context())) << boxList();
            }

            const core::RecoveryReport report = core::RecoverFolders(reg, {folder});
            const std::string message = core::RecoveryMessage(report);
            EXPECT_TRUE(report.failures.empty()) << message;
            EXPECT_TRUE(report.restored.empty() && report.discarded.empty() && report.abandoned.empty()) << message;
            ASSERT_EQ(report.kept.size(), 1u) << message;
            const core::KeptCopy& kept = report.kept.front();
            EXPECT_EQ(kept.file, plain);
            EXPECT_TRUE(temporaries(folder).empty());
            const std::string keptName = GetFileNamePart(kept.keptAs);
            EXPECT_LE(keptName.size(), 255u);
            EXPECT_NE(keptName.front(), '.');
            const std::string reason = "the name '" + GetFileNamePart(taken) + "' is taken";
            if (unlocking) {
                EXPECT_TRUE(endsWith(keptName, " (recovered).bin")) << keptName;
                EXPECT_EQ(kept.unlocksTo, "");
                EXPECT_TRUE(sandbox.readFile(kept.keptAs) == content);
            } else {
                EXPECT_TRUE(endsWith(keptName, ".TSL")) << keptName;
                EXPECT_TRUE(endsWith(kept.unlocksTo, " (recovered).bin")) << kept.unlocksTo;
                ASSERT_TRUE(core::Decrypt(kept.keptAs, "pw", context())) << boxList();
                EXPECT_TRUE(sandbox.readFile(folder + "\\" + kept.unlocksTo) == content);
            }
            EXPECT_EQ(message, "An interrupted run on '" + plain +
                                   "' left its only copy, which could not be put in place (" + reason +
                                   "): it was kept as '" + kept.keptAs + "'" +
                                   (unlocking ? std::string() : ", which unlocks to '" + kept.unlocksTo + "'") + ".");
            if (nameLength == 0) {
                EXPECT_EQ(unlocking ? keptName : kept.unlocksTo, "data (recovered).bin");
            }
            // The other file is as it was: the new plain file, or the new lock (recorded, and it
            // unlocks to its own content).
            if (!unlocking) {
                ASSERT_TRUE(core::Decrypt(locked, "pw", context())) << boxList();
            }
            EXPECT_EQ(sandbox.readFile(plain), "another file, made meanwhile");
        }
    }
}

TEST_F(RecoveryTest, AResultWhoseNameWasTakenIsKeptUnderAVisibleName) {
    onlyCopiesAreKept("C:");
}

TEST_F(RecoveryTest, AResultWhoseNameWasTakenIsKeptUnderAVisibleNameWithoutUserAttributes) {
    const core_tests::NoXattrFolder ram(sandbox, "C:\\Ram");
    if (!ram.ok())
        GTEST_SKIP() << ram.why();
    onlyCopiesAreKept("C:\\Ram");
}

// A lock or unlock killed once its source was removed, after which a new file was made under the
// source's name: that file is not the source the run started from (it is newer than the result),
// so the result is not deleted for it. It is put in place beside it, and both contents are there.
TEST_F(RecoveryTest, AResultIsNotDeletedForAFileMadeUnderItsSourcesNameSince) {
    int round = 0;
    for (const bool unlocking : {false, true}) {
        SCOPED_TRACE(unlocking ? "unlock" : "lock");
        const std::string folder = sandbox.makeFolder("C:\\Newer" + std::to_string(++round));
        const std::string plain = sandbox.writeFile(folder + "\\data.bin", "the content");
        const std::string locked = lockedPath(plain, ".TSL");
        if (unlocking) {
            ASSERT_TRUE(core::Encrypt(plain, "pw", context())) << boxList();
        }
        ASSERT_TRUE(stopsAt("source removed", context(), [&](const core::EngineContext& ctx) {
            (unlocking ? core::Decrypt : core::Encrypt)(unlocking ? locked : plain, "pw", ctx);
        }));
        const std::vector<std::string> left = temporaries(folder);
        ASSERT_EQ(left.size(), 1u);
        // The filesystem's clock moves on from the result's last change (a condition, not a wait of
        // a fixed time): a file made now is told apart from one made before the result.
        struct stat made {};
        ASSERT_EQ(::lstat(left[0].c_str(), &made), 0);
        const std::string probe = sandbox.host(folder) + "/probe";
        for (int i = 0;; ++i) {
            ASSERT_LT(i, 1000000) << "the filesystem's clock does not move";
            std::ofstream(probe).put('p');
            struct stat now {};
            ASSERT_EQ(::lstat(probe.c_str(), &now), 0);
            std::remove(probe.c_str());
            if (now.st_ctim.tv_sec > made.st_ctim.tv_sec ||
                (now.st_ctim.tv_sec == made.st_ctim.tv_sec && now.st_ctim.tv_nsec > made.st_ctim.tv_nsec))
                break;
        }
        // A new file under the source's name: a new plain file, or a new lock of one.
        sandbox.writeFile(plain, "a new content");
        if (unlocking) {
            ASSERT_TRUE(core::Encrypt(plain, "pw", context())) << boxList();
        }

        const core::RecoveryReport report = core::RecoverFolders(reg, {folder});
        const std::string message = core::RecoveryMessage(report);
        EXPECT_TRUE(report.failures.empty()) << message;
        EXPECT_TRUE(report.discarded.empty()) << message;
        EXPECT_EQ(report.restored, std::vector<std::string>{unlocking ? plain : locked}) << message;
        EXPECT_TRUE(temporaries(folder).empty());
        // Both contents are there: the one the run left, and the new one.
        if (unlocking) {
            EXPECT_EQ(sandbox.readFile(plain), "the content");
            ASSERT_EQ(std::rename(sandbox.host(plain).c_str(), (sandbox.host(plain) + ".aside").c_str()), 0);
            ASSERT_TRUE(core::Decrypt(locked, "pw", context())) << boxList();
            EXPECT_EQ(sandbox.readFile(plain), "a new content");
        } else {
            EXPECT_EQ(sandbox.readFile(plain), "a new content");
            ASSERT_EQ(std::rename(sandbox.host(plain).c_str(), (sandbox.host(plain) + ".aside").c_str()), 0);
            ASSERT_TRUE(core::Decrypt(locked, "pw", context())) << boxList();
            EXPECT_EQ(sandbox.readFile(plain), "the content");
        }
    }
}

// A lock of a locked file (a second layer, replacing it in place) killed once its result was
// marked: the locked file is its source, there and unchanged, and stands; the layer goes, and
// nothing is kept aside.
TEST_F(RecoveryTest, ALayerThatWasToReplaceItsFileInPlaceGoes) {
    const std::string plain = sandbox.writeFile("C:\\Layer\\x.txt", "inner content");
    ASSERT_TRUE(core::Encrypt(plain, "pw", context())) << boxList();
    const std::string locked = lockedPath(plain, ".TSL");
    const std::string firstLayer = sandbox.readFile(locked);
    ASSERT_TRUE(
        stopsAt("written", context(), [&](const core::EngineContext& ctx) { core::Encrypt(locked, "pw", ctx); }));
    ASSERT_EQ(temporaries("C:\\Layer").size(), 1u);

    const core::RecoveryReport report = core::RecoverFolders(reg, {"C:\\Layer"});
    const std::string message = core::RecoveryMessage(report);
    EXPECT_TRUE(report.failures.empty()) << message;
    EXPECT_TRUE(report.kept.empty()) << message;
    EXPECT_EQ(report.discarded, std::vector<std::string>{locked}) << message;
    EXPECT_TRUE(temporaries("C:\\Layer").empty());
    EXPECT_EQ(sandbox.readFile(locked), firstLayer);
    ASSERT_TRUE(core::Decrypt(locked, "pw", context())) << boxList();
    EXPECT_EQ(sandbox.readFile(plain), "inner content");
}

// A temporary file of the program whose full name is lost (its name was cut and the attribute that
// held it is gone): marked complete, it may be the only copy and is kept under the start of its
// name. Without any mark left it is not known as the program's, and is left as it is.
TEST_F(RecoveryTest, AResultWhoseNameIsLostIsKeptWhenMarked) {
    sandbox.makeFolder("C:\\Lost");
    // One byte, then two-byte characters: the cut at 120 bytes falls inside one.
    const std::string name = "x" + longName(249, "report.txt");
    const std::string start = name.substr(0, 119);
    for (const bool marked : {true, false}) {
        SCOPED_TRACE(marked ? "marked" : "unmarked");
        const std::string temp = abandonWriter("C:\\Lost\\" + name, "the only copy", marked);
        if (::lremovexattr(temp.c_str(), "user.tessaly.target") != 0)
            GTEST_SKIP() << "the sandbox's filesystem keeps no user attributes";
        EXPECT_EQ(platform::inspectTemporary(temp).ours, marked);

        const core::RecoveryReport report = core::RecoverFolders(reg, {"C:\\Lost"});
        const std::string message = core::RecoveryMessage(report);
        EXPECT_TRUE(report.failures.empty()) << message;
        if (marked) {
            EXPECT_FALSE(std::filesystem::exists(temp));
            ASSERT_EQ(report.kept.size(), 1u) << message;
            EXPECT_EQ(report.kept[0].file, "C:\\Lost\\" + start + "...");
            EXPECT_EQ(report.kept[0].keptAs, "C:\\Lost\\" + start + " (recovered)");
            EXPECT_EQ(sandbox.readFile(report.kept[0].keptAs), "the only copy");
            EXPECT_EQ(message, "An interrupted run on 'C:\\Lost\\" + start +
                                   "...' left its only copy, which could not be put in place (the name it was "
                                   "written for is lost): it was kept as 'C:\\Lost\\" +
                                   start + " (recovered)'.");
        } else {
            EXPECT_TRUE(report.empty()) << message;
            EXPECT_TRUE(sandbox.readFile("C:\\Lost\\" + std::filesystem::path(temp).filename().string()) ==
                        "the only copy");
        }
    }
}

// A writer whose run marked its file complete and then could not put it in place (the name was
// taken meanwhile) leaves the file for the sweep, since its source may be gone: unless a copy the
// caller kept still shows the content. An unmarked writer's file goes as before.
TEST_F(RecoveryTest, AWriterThatCouldNotPutAMarkedFileInPlaceLeavesItForTheSweep) {
    const struct {
        const char* what;
        bool marked;
        bool copyKept;
        bool left;
    } cases[] = {
        {"marked", true, false, true},
        {"marked, a copy kept by the caller", true, true, false},
        {"unmarked", false, false, false},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = sandbox.makeFolder("C:\\W" + std::to_string(++round));
        std::string temp;
        {
            platform::AtomicWriter writer{platform::WinPath(folder + "\\out.txt")};
            temp = writer.temporaryHostPath();
            writer.write("the only copy");
            if (c.marked)
                writer.markComplete(true);
            sandbox.writeFile(folder + "\\out.txt", "taken meanwhile");
            int number = 0;
            try {
                writer.commit();
            } catch (const platform::SysError& e) {
                number = e.number();
            }
            EXPECT_EQ(number, 58);
            if (c.copyKept) {
                ASSERT_EQ(::link(temp.c_str(), sandbox.host(folder + "\\out.txt.recovered").c_str()), 0);
            }
        }
        EXPECT_EQ(std::filesystem::exists(temp), c.left);
        const core::RecoveryReport report = core::RecoverFolders(reg, {folder});
        EXPECT_TRUE(report.failures.empty()) << core::RecoveryMessage(report);
        EXPECT_EQ(sandbox.readFile(folder + "\\out.txt"), "taken meanwhile");
        EXPECT_TRUE(temporaries(folder).empty());
        if (c.left) {
            ASSERT_EQ(report.kept.size(), 1u);
            EXPECT_EQ(report.kept[0].keptAs, folder + "\\out (recovered).txt");
            EXPECT_EQ(sandbox.readFile(folder + "\\out (recovered).txt"), "the only copy");
        } else {
            EXPECT_TRUE(report.empty()) << core::RecoveryMessage(report);
        }
    }
}

// Where attributes are kept, the temporary file carries its full name in one and no journal is
// written; where they are refused, a journal beside it (owner-only, hidden from listings) carries
// the name and the complete mark, and goes with the file at commit and at abandon. A journal left
// without its file (a kill between the two removals) is swept without a word.
void RecoveryTest::journalsCarryTheNamesAndMarks(const std::string& folder, bool attributesKept) {
    sandbox.makeFolder(folder);
    const std::string name = longName(250, "report.txt");
    const std::string target = folder + "\\" + name;
    {
        platform::AtomicWriter writer{platform::WinPath(target)};
        const std::string temp = writer.temporaryHostPath();
        const std::string journal = platform::journalPathOf(temp);
        EXPECT_TRUE(endsWith(temp, ".cut.tessaly-tmp")) << temp;
        EXPECT_EQ(std::filesystem::exists(journal), !attributesKept);
        char held[300];
        const ssize_t n = ::lgetxattr(temp.c_str(), "user.tessaly.target", held, sizeof held);
        EXPECT_EQ(n > 0 ? std::string(held, static_cast<std::size_t>(n)) : std::string(),
                  attributesKept ? name : std::string());
        if (!attributesKept) {
            EXPECT_EQ(modeOf(journal), 0600u);
            const std::string journalName = std::filesystem::path(journal).filename().string();
            EXPECT_TRUE(platform::isTemporaryName(journalName));
            EXPECT_TRUE(platform::isJournalName(journalName));
            EXPECT_EQ(platform::temporaryNameOfJournal(journalName), std::filesystem::path(temp).filename().string());
        }
        platform::TemporaryInfo info = platform::inspectTemporary(temp);
        EXPECT_TRUE(info.ours);
        EXPECT_FALSE(info.complete);
        EXPECT_EQ(info.targetName, name);
        EXPECT_EQ(info.journal, !attributesKept);
        EXPECT_TRUE(platform::temporaryInUse(temp));
        writer.write("content");
        EXPECT_TRUE(writer.markComplete(true));
        info = platform::inspectTemporary(temp);
        EXPECT_TRUE(info.complete);
        EXPECT_EQ(info.targetName, name);
        writer.commit();
        EXPECT_FALSE(std::filesystem::exists(temp));
        EXPECT_FALSE(std::filesystem::exists(journal));
        EXPECT_EQ(sandbox.readFile(target), "content");
    }
    EXPECT_EQ(listing(folder), std::set<std::string>{name});
    {
        // A whole name: the temporary name holds it, and the attribute (where kept) is only the
        // mark, empty.
        platform::AtomicWriter abandoned{platform::WinPath(folder + "\\other.txt")};
        const std::string temp = abandoned.temporaryHostPath();
        char held[16];
        EXPECT_EQ(::lgetxattr(temp.c_str(), "user.tessaly.target", held, sizeof held), attributesKept ? 0 : -1);
        EXPECT_EQ(std::filesystem::exists(platform::journalPathOf(temp)), !attributesKept);
        EXPECT_EQ(platform::inspectTemporary(temp).targetName, "other.txt");
        abandoned.write("never finished");
    }
    EXPECT_EQ(listing(folder), std::set<std::string>{name});

    // A run killed once it had marked its file, and the file then removed alone.
    const std::string temp = abandonWriter(folder + "\\gone.txt", "gone", true);
    const std::string journal = platform::journalPathOf(temp);
    ASSERT_EQ(std::filesystem::exists(journal), !attributesKept);
    ASSERT_EQ(::unlink(temp.c_str()), 0);
    EXPECT_EQ(core::HasAbandonedTemporaryFiles(folder), !attributesKept);
    const core::RecoveryReport report = core::RecoverFolders(reg, {folder});
    EXPECT_TRUE(report.empty()) << core::RecoveryMessage(report);
    EXPECT_EQ(listing(folder), std::set<std::string>{name});
    if (attributesKept)
        return;

    // A run killed right after it created its journal, before writing a byte of it: the file is
    // the program's, unmarked, its name lost with the journal's text; it goes, and its journal too.
    const std::string cut = abandonWriter(folder + "\\" + longName(250, "cut.txt"), "cut short", false);
    ASSERT_EQ(::truncate(platform::journalPathOf(cut).c_str(), 0), 0);
    const platform::TemporaryInfo info = platform::inspectTemporary(cut);
    EXPECT_TRUE(info.ours);
    EXPECT_EQ(info.targetName, "");
    const core::RecoveryReport cutShort = core::RecoverFolders(reg, {folder});
    ASSERT_EQ(cutShort.abandoned.size(), 1u) << core::RecoveryMessage(cutShort);
    EXPECT_TRUE(endsWith(cutShort.abandoned[0], "...")) << cutShort.abandoned[0];
    EXPECT_EQ(listing(folder), std::set<std::string>{name});
}

TEST_F(RecoveryTest, TheFullNameAndTheMarkAreKeptInAnAttribute) {
    journalsCarryTheNamesAndMarks("C:\\Attr", true);
}

TEST_F(RecoveryTest, WithoutUserAttributesAJournalKeepsTheFullNameAndTheMark) {
    const core_tests::NoXattrFolder ram(sandbox, "C:\\Ram");
    if (!ram.ok())
        GTEST_SKIP() << ram.why();
    journalsCarryTheNamesAndMarks("C:\\Ram\\Journal", false);
}
