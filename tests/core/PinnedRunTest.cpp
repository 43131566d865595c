// A run pins its files before it changes any: a file with other names (hard links), one that
// another program is writing, and one whose folder was swapped for a link while the run went on are
// left whole, each with its message, while the rest of the run goes on.

#include "EngineFixture.h"
#include "platform/SysError.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

using core_tests::EngineTest;
using core_tests::lockedPath;
using core_tests::randomContent;

namespace fs = std::filesystem;

class PinnedRunTest : public EngineTest {};

TEST_F(PinnedRunTest, AFileWithOtherNamesIsNotLockedAndTheRestIs) {
    for (const std::size_t size : {std::size_t{5000}, std::size_t{300000}}) {
        SCOPED_TRACE(size);
        prompt.boxes.clear();
        const std::string folder = "C:\\Links" + std::to_string(size);
        const std::string content = randomContent(size, 7);
        const std::string linked = sandbox.writeFile(folder + "\\linked.txt", content);
        const std::string alone = sandbox.writeFile(folder + "\\alone.txt", content);
        ASSERT_EQ(::link(sandbox.host(linked).c_str(), sandbox.host(folder + "\\other name.txt").c_str()), 0);

        EXPECT_EQ(core::LockFilesTogether({linked, alone}, "pw", context()), (std::vector<bool>{false, true}));
        ASSERT_EQ(prompt.boxes.size(), 1u) << boxList();
        EXPECT_EQ(prompt.last().text, "'linked.txt' has other names on this disk (hard links); locking it would "
                                      "leave its content readable under them. It was not locked.");
        EXPECT_EQ(sandbox.readFile(linked), content);
        EXPECT_EQ(sandbox.readFile(folder + "\\other name.txt"), content);
        EXPECT_EQ(entry(core::RegisterKind::SmallFile, linked), "");
        EXPECT_EQ(entry(core::RegisterKind::LargeFile, linked), "");
        EXPECT_FALSE(sandbox.exists(alone));
    }
}

TEST_F(PinnedRunTest, AFileOpenForWritingIsNotLocked) {
    const std::string plain = sandbox.writeFile("C:\\Busy\\log.txt", "line 1\n");
    std::ofstream writer(sandbox.host(plain), std::ios::app);
    ASSERT_TRUE(writer.is_open());

    // Alone and in a batch.
    EXPECT_FALSE(core::Encrypt(plain, "pw", context()));
    EXPECT_EQ(core::LockFilesTogether({plain}, "pw", context()), std::vector<bool>{false});
    ASSERT_EQ(prompt.boxes.size(), 2u) << boxList();
    for (const auto& box : prompt.boxes)
        EXPECT_EQ(box.text, "'log.txt' is being written by another program; it was not locked.");
    writer << "line 2\n";
    writer.close();
    EXPECT_EQ(sandbox.readFile(plain), "line 1\nline 2\n");
    EXPECT_EQ(listing("C:\\Busy"), std::set<std::string>{"log.txt"});
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, plain), "");
}

TEST_F(PinnedRunTest, AWriterThatOpensTheFileWhileItIsReadStopsTheLock) {
    for (const std::size_t size : {std::size_t{100}, std::size_t{300000}}) {
        SCOPED_TRACE(size);
        prompt.boxes.clear();
        const std::string plain = sandbox.writeFile("C:\\Late\\" + std::to_string(size) + ".txt", std::string(size, 'a'));
        int lateWriter = -1;
        core::EngineContext ctx = context();
        ctx.checkpoint = [&](const char* step) {
            // Another program opens the file for writing once its content was read and written
            // out: with a lease held, its open is told to wait (and fails at once without waiting).
            if (std::string(step) == "written" && lateWriter < 0) {
                lateWriter = ::open(sandbox.host(plain).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (lateWriter >= 0)
                    ADD_FAILURE() << "the open for writing did not wait for the run's lease";
            }
        };
        EXPECT_EQ(core::LockFilesTogether({plain}, "pw", ctx), std::vector<bool>{false});
        ASSERT_EQ(prompt.boxes.size(), 1u) << boxList();
        EXPECT_EQ(prompt.last().text,
                  "'" + GetFileNamePart(plain) + "' is being written by another program; it was not locked.");
        EXPECT_EQ(sandbox.readFile(plain), std::string(size, 'a'));
        EXPECT_FALSE(sandbox.exists(lockedPath(plain, size < core::kLargeFileThreshold ? ".TSL" : ".TSW")));
        if (lateWriter >= 0)
            ::close(lateWriter);
    }
}

TEST_F(PinnedRunTest, AFolderSwappedForALinkDuringTheRunChangesNothingWhereTheLinkLeads) {
    const std::string a = sandbox.writeFile("C:\\Work\\a.txt", "mine a");
    const std::string b = sandbox.writeFile("C:\\Work\\b.txt", "mine b");
    sandbox.writeFile("C:\\Other\\a.txt", "not mine a");
    sandbox.writeFile("C:\\Other\\b.txt", "not mine b");
    core::EngineContext ctx = context();
    bool swapped = false;
    ctx.checkpoint = [&](const char* step) {
        if (std::string(step) == "written" && !swapped) {
            swapped = true;
            fs::rename(sandbox.host("C:\\Work"), sandbox.host("C:\\Moved"));
            fs::create_directory_symlink(sandbox.host("C:\\Other"), sandbox.host("C:\\Work"));
        }
    };
    EXPECT_EQ(core::LockFilesTogether({a, b}, "pw", ctx), (std::vector<bool>{false, false}));
    ASSERT_TRUE(swapped);
    EXPECT_EQ(sandbox.readFile("C:\\Other\\a.txt"), "not mine a");
    EXPECT_EQ(sandbox.readFile("C:\\Other\\b.txt"), "not mine b");
    EXPECT_EQ(sandbox.readFile("C:\\Moved\\a.txt"), "mine a");
    EXPECT_EQ(sandbox.readFile("C:\\Moved\\b.txt"), "mine b");
    ASSERT_EQ(prompt.boxes.size(), 2u) << boxList();
    EXPECT_EQ(prompt.boxes[0].text,
              "'a.txt' was not locked: it was moved or replaced after the run began, and was left alone.");
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, a), "");
}
