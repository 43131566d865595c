// Strong locks through the engines: names, attributes, ".hidden", the register, permissions, one
// key per lock run, keys reused by an unlock run, refusals that change nothing, and a kill at each
// step followed by the recovery sweep.

#include "core/StrongEngine.h"
#include "EngineFixture.h"
#include "Mounts.h"
#include "core/Recovery.h"
#include "platform/Attributes.h"
#include "platform/FileIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using core_tests::randomContent;

namespace {

constexpr unsigned kLocked = platform::kAttrReadOnly | platform::kAttrHidden;

class StrongEngineTest : public core_tests::EngineTest {
protected:
    // Strong locks at the smallest limits the format allows: the default derivation is slow by design.
    core::EngineContext strongContext() {
        core::EngineContext ctx = context();
        ctx.strongLocks = true;
        ctx.strongLimits = core::strong::kMinimumLimits;
        return ctx;
    }

    // The strong locked files of a folder.
    std::vector<std::string> lockedFiles(const std::string& folder) {
        std::vector<std::string> found;
        for (const std::string& name : listing(folder))
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".TSX") == 0)
                found.push_back(AddBackslash(folder) + name);
        return found;
    }

    unsigned mode(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(sandbox.host(path).c_str(), &st), 0);
        return st.st_mode & 07777;
    }

    std::string hiddenList(const std::string& folder) {
        return sandbox.exists(folder + "\\.hidden") ? sandbox.readFile(folder + "\\.hidden") : std::string();
    }

    void sweepEveryStep(const std::string& root, std::size_t nameLength, bool attributesKept);
};

TEST_F(StrongEngineTest, LockAndUnlockARunOfEverySize) {
    const std::string folder = sandbox.makeFolder("C:\\Docs");
    const std::vector<std::size_t> sizes = {0, 10, 65536, 70000, 250000};
    std::vector<std::string> plains, contents;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        contents.push_back(randomContent(sizes[i], static_cast<unsigned>(i) + 1));
        plains.push_back(
            sandbox.writeFile(folder + "\\r\xC3\xA9sum\xC3\xA9 " + std::to_string(i) + ".txt", contents.back()));
        ASSERT_EQ(::chmod(sandbox.host(plains.back()).c_str(), 0640), 0);
    }
    ASSERT_EQ(core::LockFilesTogether(plains, "pw", strongContext()), std::vector<bool>(plains.size(), true))
        << boxList();
    EXPECT_TRUE(prompt.texts().empty()) << boxList();

    const std::vector<std::string> locked = lockedFiles(folder);
    ASSERT_EQ(locked.size(), plains.size());
    const std::regex lockedName("[a-z0-9]{16}\\.TSX");
    std::set<std::string> sizesOnDisk;
    std::string salt;
    std::set<std::string> streamHeaders;
    const std::string hidden = hiddenList(folder);
    for (const std::string& path : locked) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(std::regex_match(GetFileNamePart(path), lockedName));
        EXPECT_EQ(platform::getAttributes(path), kLocked);
        EXPECT_EQ(mode(path), 0440u);
        EXPECT_NE(hidden.find(GetFileNamePart(path) + "\n"), std::string::npos);
        const std::string bytes = sandbox.readFile(path);
        EXPECT_EQ(bytes.compare(0, 8, "[Strong]"), 0);
        // One salt for the run, a fresh stream header per file.
        if (salt.empty())
            salt = bytes.substr(18, 16);
        EXPECT_EQ(bytes.substr(18, 16), salt);
        streamHeaders.insert(bytes.substr(34, 24));
        EXPECT_TRUE(core::InspectStrongFile(path)->sizeKnown);
        sizesOnDisk.insert(std::to_string(core::InspectStrongFile(path)->contentSize));
    }
    EXPECT_EQ(streamHeaders.size(), plains.size());
    for (std::size_t i = 0; i < plains.size(); ++i) {
        EXPECT_FALSE(sandbox.exists(plains[i]));
        EXPECT_EQ(sizesOnDisk.count(std::to_string(sizes[i])), 1u);
        // The register knows each original path and where it went.
        const std::string recorded = entry(core::RegisterKind::StrongFile, plains[i]);
        EXPECT_TRUE(std::any_of(locked.begin(), locked.end(), [&](const std::string& l) {
            return TransformName(l) == recorded;
        })) << recorded;
    }
    const auto listed = core::GetLockedTSXFiles(reg, prompt);
    ASSERT_EQ(listed.size(), plains.size());

    // Unlocked by content; the run derives one key for the salt all these files share.
    auto keys = std::make_shared<core::strong::KeyCache>("pw");
    core::EngineContext ctx = context();
    ctx.strongKeys = keys;
    ASSERT_EQ(core::UnlockFilesTogether(locked, "pw", ctx), std::vector<bool>(locked.size(), true)) << boxList();
    EXPECT_EQ(keys->derivations(), 1u);
    for (std::size_t i = 0; i < plains.size(); ++i) {
        SCOPED_TRACE(plains[i]);
        EXPECT_TRUE(sandbox.readFile(plains[i]) == contents[i]);
        EXPECT_EQ(mode(plains[i]), 0640u);
        EXPECT_EQ(platform::getAttributes(plains[i]) & kLocked, 0u);
        EXPECT_EQ(entry(core::RegisterKind::StrongFile, plains[i]), "");
    }
    EXPECT_TRUE(lockedFiles(folder).empty());
    EXPECT_EQ(hiddenList(folder), "");
    EXPECT_TRUE(core::GetLockedTSXFiles(reg, prompt).empty());
}

TEST_F(StrongEngineTest, FilesOfTwoRunsTakeTwoKeysAndAreKnownByContentNotName) {
    const std::string a = sandbox.writeFile("C:\\Two\\a.txt", "first");
    const std::string b = sandbox.writeFile("C:\\Two\\b.txt", "second");
    ASSERT_EQ(core::LockFilesTogether({a}, "pw", strongContext()), std::vector<bool>{true});
    ASSERT_EQ(core::LockFilesTogether({b}, "pw", strongContext()), std::vector<bool>{true});
    std::vector<std::string> locked = lockedFiles("C:\\Two");
    ASSERT_EQ(locked.size(), 2u);
    // A strong locked file under another name is still one; a plain file named ".TSX" is not.
    const std::string renamed = "C:\\Two\\renamed.dat";
    ASSERT_EQ(std::rename(sandbox.host(locked[0]).c_str(), sandbox.host(renamed).c_str()), 0);
    const std::string impostor = sandbox.writeFile("C:\\Two\\plain.TSX", "not locked at all");
    EXPECT_TRUE(core::StartsWithStrongHeader(renamed));
    EXPECT_FALSE(core::StartsWithStrongHeader(impostor));

    auto keys = std::make_shared<core::strong::KeyCache>("pw");
    core::EngineContext ctx = context();
    ctx.strongKeys = keys;
    EXPECT_EQ(core::UnlockFilesTogether({renamed, locked[1]}, "pw", ctx), (std::vector<bool>{true, true})) << boxList();
    EXPECT_EQ(keys->derivations(), 2u);
    EXPECT_EQ(sandbox.readFile(a), "first");
    EXPECT_EQ(sandbox.readFile(b), "second");
    EXPECT_EQ(sandbox.readFile(impostor), "not locked at all");
}

// Every refusal leaves the locked file exactly as it was (bytes, attributes, ".hidden", register)
// and writes nothing else.
TEST_F(StrongEngineTest, RefusedUnlocksChangeNothing) {
    const std::string content = randomContent(140000, 5);
    struct Case {
        const char* what;
        std::function<void(const std::string& locked)> spoil;
        std::string password;
        std::string message;
    };
    const auto damage = [this](std::size_t from, std::size_t length, const std::string& with) {
        return [this, from, length, with](const std::string& locked) {
            std::string bytes = sandbox.readFile(locked);
            bytes.replace(std::min(from, bytes.size()), length, with);
            ASSERT_EQ(::chmod(sandbox.host(locked).c_str(), 0600), 0);
            std::ofstream(sandbox.host(locked), std::ios::binary | std::ios::trunc) << bytes;
            ASSERT_EQ(::chmod(sandbox.host(locked).c_str(), 0400), 0);
        };
    };
    // One bit of a byte turned over: unlike a byte written over, it always changes the file.
    const auto flipBit = [damage, this](std::size_t at) {
        return [damage, at, this](const std::string& locked) {
            const char flipped = static_cast<char>(sandbox.readFile(locked).at(at) ^ 0x01);
            damage(at, 1, std::string(1, flipped))(locked);
        };
    };
    const std::string wrong = "Sorry, this is not the correct password, or the file is damaged.";
    const std::vector<Case> cases = {
        {"wrong password", [](const std::string&) {}, "pW", wrong},
        {"flipped content byte", flipBit(2000), "pw", wrong},
        {"cut short", damage(58 + 1043 + 45 + 65553, std::string::npos, ""), "pw", "damaged: it ends before"},
        {"bytes appended", damage(std::string::npos, 0, "more"), "pw", wrong},
        {"version 3", damage(8, 1, "\x03"), "pw", "format version this program does not know"},
        {"memlimit 1 GiB + 1 KiB", damage(14, 4, std::string("\x01\x00\x10\x00", 4)), "pw", "outside the allowed"},
        {"another magic", damage(0, 8, "[strong]"), "pw", wrong},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = sandbox.makeFolder("C:\\Refuse" + std::to_string(++round));
        const std::string plain = sandbox.writeFile(folder + "\\data.bin", content);
        ASSERT_EQ(core::LockFilesTogether({plain}, "pw", strongContext()), std::vector<bool>{true});
        const std::string locked = lockedFiles(folder).at(0);
        c.spoil(locked);
        const std::string bytes = sandbox.readFile(locked);
        const std::set<std::string> names = listing(folder);
        const std::string hidden = hiddenList(folder);
        const std::string recorded = entry(core::RegisterKind::StrongFile, plain);
        const std::size_t before = prompt.texts().size();

        EXPECT_EQ(core::UnlockFilesTogether({locked}, c.password, context()), std::vector<bool>{false});
        ASSERT_EQ(prompt.texts().size(), before + 1) << boxList();
        // Another magic is no strong locked file: the small-file engine answers, and its password
        // check fails.
        const std::string shown = prompt.texts().back();
        if (std::string(c.what) == "another magic")
            EXPECT_NE(shown.find("not the correct password"), std::string::npos) << boxList();
        else
            EXPECT_NE(shown.find(c.message), std::string::npos) << boxList();
        EXPECT_TRUE(sandbox.readFile(locked) == bytes);
        EXPECT_EQ(listing(folder), names);
        EXPECT_EQ(hiddenList(folder), hidden);
        EXPECT_EQ(platform::getAttributes(locked), kLocked);
        EXPECT_EQ(mode(locked) & 0222, 0u);
        EXPECT_EQ(entry(core::RegisterKind::StrongFile, plain), recorded);
    }
}

// A write that fails partway (the file size limit here, as a full disk would) fails the lock and
// the unlock: the file that was there stays as it was, and no temporary file is left.
TEST_F(StrongEngineTest, AWriteThatFailsPartwayLeavesTheFileAsItWas) {
    const std::string content = randomContent(6u << 20, 9);
    const std::string plain = sandbox.writeFile("C:\\Full\\data.bin", content);
    const std::set<std::string> names = listing("C:\\Full");
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &before), 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto limitFiles = [&](rlim_t bytes) {
        rlimit small = saved;
        small.rlim_cur = bytes;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    };
    limitFiles(3u << 20);
    const std::vector<bool> locked = core::LockFilesTogether({plain}, "pw", strongContext());
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(locked, std::vector<bool>{false});
    EXPECT_EQ(prompt.texts().size(), 1u) << boxList();
    EXPECT_TRUE(sandbox.readFile(plain) == content);
    EXPECT_EQ(listing("C:\\Full"), names);

    ASSERT_EQ(core::LockFilesTogether({plain}, "pw", strongContext()), std::vector<bool>{true});
    const std::string lockedFile = lockedFiles("C:\\Full").at(0);
    const std::string bytes = sandbox.readFile(lockedFile);
    const std::set<std::string> lockedNames = listing("C:\\Full");
    limitFiles(3u << 20);
    const std::vector<bool> unlocked = core::UnlockFilesTogether({lockedFile}, "pw", context());
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    ASSERT_EQ(::sigaction(SIGXFSZ, &before, nullptr), 0);
    EXPECT_EQ(unlocked, std::vector<bool>{false});
    EXPECT_TRUE(sandbox.readFile(lockedFile) == bytes);
    EXPECT_EQ(listing("C:\\Full"), lockedNames);
}

TEST_F(StrongEngineTest, ATakenNameIsNotOverwritten) {
    const std::string plain = sandbox.writeFile("C:\\Taken\\note.txt", "secret");
    ASSERT_EQ(core::LockFilesTogether({plain}, "pw", strongContext()), std::vector<bool>{true});
    const std::string locked = lockedFiles("C:\\Taken").at(0);
    sandbox.writeFile(plain, "a newer note");
    EXPECT_EQ(core::UnlockFilesTogether({locked}, "pw", context()), std::vector<bool>{false});
    ASSERT_EQ(prompt.texts().size(), 1u);
    EXPECT_NE(prompt.texts()[0].find("the name 'note.txt' is taken"), std::string::npos) << boxList();
    EXPECT_EQ(sandbox.readFile(plain), "a newer note");
    EXPECT_TRUE(sandbox.exists(locked));
}

// A stored name that the program's paths cannot hold ("\\" is their separator, "|" the register's) is
// not restored; the locked file stays.
TEST_F(StrongEngineTest, NamesThePathsCannotHoldAreNotRestored) {
    const core::strong::Key key =
        core::strong::DeriveKey("pw", core::strong::RandomSalt(), core::strong::kMinimumLimits);
    int round = 0;
    for (const std::string name : {"a\\b.txt", "a|b.txt"}) {
        SCOPED_TRACE(name);
        const std::string folder = sandbox.makeFolder("C:\\Odd" + std::to_string(++round));
        std::string bytes;
        core::strong::Writer writer(key, name, [&bytes](const unsigned char* p, std::size_t n) {
            bytes.append(reinterpret_cast<const char*>(p), n);
        });
        writer.write("content", 7);
        writer.finish();
        const std::string locked = sandbox.writeFile(folder + "\\abcdefghijklmnop.TSX", bytes);
        const std::size_t before = prompt.texts().size();
        EXPECT_EQ(core::UnlockFilesTogether({locked}, "pw", context()), std::vector<bool>{false});
        ASSERT_EQ(prompt.texts().size(), before + 1);
        EXPECT_NE(prompt.texts().back().find("has a character this system's paths cannot hold"), std::string::npos)
            << boxList();
        EXPECT_TRUE(sandbox.readFile(locked) == bytes);
        EXPECT_EQ(listing(folder), std::set<std::string>{"abcdefghijklmnop.TSX"});
    }
}

// A kill at each step of a strong lock or unlock (one file, and a batch), then the sweep: every
// file is plain or locked and unlocks, and the register and ".hidden" agree with the disk. In
// folders under `root`; `nameLength` 0 gives short plain names, else names of that many bytes
// (their unlocks' temporary names are cut). Where the filesystem keeps no attributes, a locked file
// is only read-only and no ".hidden" line is written.
void StrongEngineTest::sweepEveryStep(const std::string& root, std::size_t nameLength, bool attributesKept) {
    const unsigned lockedAttributes = attributesKept ? kLocked : platform::kAttrReadOnly;
    int round = 0;
    for (const std::size_t files : {std::size_t{1}, std::size_t{3}}) {
        for (const bool unlocking : {false, true}) {
            for (const char* step : {"copying", "written", "recorded", "source removed", "committed"}) {
                SCOPED_TRACE(root + " " + std::to_string(nameLength) + " " + std::to_string(files) +
                             (unlocking ? " unlock at " : " lock at ") + step);
                const std::string folder = sandbox.makeFolder(AddBackslash(root) + "Sweep" + std::to_string(++round));
                std::vector<std::string> plains, contents;
                for (std::size_t i = 0; i < files; ++i) {
                    contents.push_back(randomContent(1000 + 70000 * i, static_cast<unsigned>(round * 10 + i)));
                    const std::string tail = "f" + std::to_string(i) + ".bin";
                    const std::string name = nameLength == 0 ? tail : std::string(nameLength - tail.size(), 'n') + tail;
                    plains.push_back(sandbox.writeFile(folder + "\\" + name, contents.back()));
                }
                if (unlocking) {
                    ASSERT_EQ(core::LockFilesTogether(plains, "pw", strongContext()), std::vector<bool>(files, true))
                        << boxList();
                }
                const std::vector<std::string> inputs = unlocking ? lockedFiles(folder) : plains;
                // "copying": once the first bytes are through.
                ASSERT_TRUE(stopsAt(
                    step, strongContext(),
                    [&](const core::EngineContext& ctx) {
                        if (unlocking)
                            core::UnlockFilesTogether(inputs, "pw", ctx);
                        else
                            core::LockFilesTogether(inputs, "pw", ctx);
                    },
                    1));

                const core::RecoveryReport report = core::RecoverFolders(reg, {folder});
                const std::string message = core::RecoveryMessage(report);
                EXPECT_TRUE(report.failures.empty()) << message;
                EXPECT_TRUE(report.kept.empty()) << message;
                for (const std::string& name : listing(folder))
                    EXPECT_FALSE(platform::isTemporaryName(name)) << name;

                const std::string hidden = hiddenList(folder);
                for (std::size_t i = 0; i < files; ++i) {
                    SCOPED_TRACE(plains[i]);
                    std::string locked;
                    for (const auto& item : core::RegisterEntries(reg, core::RegisterKind::StrongFile))
                        if (item.text == plains[i])
                            locked = item.key;
                    if (sandbox.exists(plains[i])) {
                        EXPECT_TRUE(sandbox.readFile(plains[i]) == contents[i]);
                        EXPECT_EQ(locked, "");
                        continue;
                    }
                    ASSERT_NE(locked, "") << message;
                    ASSERT_TRUE(sandbox.exists(locked)) << locked;
                    EXPECT_EQ(platform::getAttributes(locked), lockedAttributes);
                    EXPECT_EQ(hidden.find(GetFileNamePart(locked) + "\n") != std::string::npos, attributesKept);
                    ASSERT_EQ(core::UnlockFilesTogether({locked}, "pw", context()), std::vector<bool>{true})
                        << boxList();
                    EXPECT_TRUE(sandbox.readFile(plains[i]) == contents[i]);
                }
                // No entry is left for a locked file that is not there.
                for (const auto& item : core::RegisterEntries(reg, core::RegisterKind::StrongFile))
                    EXPECT_TRUE(sandbox.exists(item.key)) << item.key;
            }
        }
    }
}

TEST_F(StrongEngineTest, TheSweepMakesEveryStepWhole) {
    sweepEveryStep("C:\\Short", 0, true);
    sweepEveryStep("C:\\Long", 250, true);
}

// The same on a filesystem that refuses user attributes (as vfat, exFAT and NFSv3 volumes do), with
// names whose temporary names are cut: their journals keep the full names and the marks.
TEST_F(StrongEngineTest, TheSweepMakesEveryStepWholeWithoutUserAttributes) {
    const core_tests::NoXattrFolder ram(sandbox, "C:\\Ram");
    if (!ram.ok())
        GTEST_SKIP() << ram.why();
    sweepEveryStep("C:\\Ram", 250, false);
    sweepEveryStep("C:\\Ram", 0, false);
}

} // namespace
