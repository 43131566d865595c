// The sealed folder: a tree with every kind of entry and name comes back exactly; a damaged or cut
// sealed file is refused with nothing written; the length tells nothing of the tree; one file can be
// taken out alone; the refusals; and a kill at each step, then recovery, leaves one side whole.

#include "Mounts.h"
#include "core/SealedFolder.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>

namespace sealed_tests {

namespace sealed = core::sealed;

// What a tree holds, entry by entry: kind, mode, modification time (ns) and content or link target.
struct Item {
    char kind = 0;
    unsigned mode = 0;
    std::int64_t mtimeNs = 0;
    std::string data;
    bool operator==(const Item&) const = default;
};
using Snapshot = std::map<std::string, Item>;

std::string readHost(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeHost(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* d = ::readdir(dir))
            if (std::strcmp(d->d_name, ".") != 0 && std::strcmp(d->d_name, "..") != 0)
                names.emplace_back(d->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void snap(const std::string& host, const std::string& rel, Snapshot& out) {
    struct stat st {};
    EXPECT_EQ(::lstat(host.c_str(), &st), 0) << host;
    Item item;
    item.mode = st.st_mode & 07777;
    item.mtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    if (S_ISLNK(st.st_mode)) {
        item.kind = 'l';
        item.mode = 0; // a link's own mode is not kept by Linux
        char target[4096];
        const ssize_t n = ::readlink(host.c_str(), target, sizeof target);
        item.data.assign(target, n > 0 ? static_cast<std::size_t>(n) : 0);
    } else if (S_ISDIR(st.st_mode)) {
        item.kind = 'd';
        for (const std::string& name : namesIn(host))
            snap(host + "/" + name, rel.empty() ? name : rel + "/" + name, out);
    } else {
        item.kind = 'f';
        item.data = readHost(host);
    }
    out[rel] = item;
}

Snapshot snapshot(const std::string& host) {
    Snapshot out;
    snap(host, "", out);
    return out;
}

void setTime(const std::string& host, std::int64_t sec, long nsec) {
    const struct timespec times[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, host.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << host;
}

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen());
    return s;
}

// Non-ASCII, invalid UTF-8 and 255-byte names, empty files and folders, links (one dangling), a file
// of several chunks, modes and times to the nanosecond.
void makeRichTree(const std::string& root) {
    namespace fs = std::filesystem;
    fs::create_directories(root + "/2023/receipts");
    fs::create_directories(root + "/empty folder");
    fs::create_directories(root + "/Ünïcödé 文件夹");
    writeHost(root + "/notes.txt", "my notes\n");
    writeHost(root + "/2023/receipts/r1.txt", "receipt one");
    writeHost(root + "/Ünïcödé 文件夹/größe.txt", "umlauts");
    writeHost(root + "/bad\xff\xfe name\x80", "invalid UTF-8 name");
    writeHost(root + "/" + std::string(255, 'n'), "a long name");
    writeHost(root + "/empty", "");
    writeHost(root + "/big.bin", randomBytes(3 * 65536 + 123, 1));
    writeHost(root + "/exact.bin", randomBytes(65536, 2));
    writeHost(root + "/tool.sh", "#!/bin/sh\n");
    ASSERT_EQ(::chmod((root + "/tool.sh").c_str(), 0750), 0);
    ASSERT_EQ(::chmod((root + "/notes.txt").c_str(), 0400), 0);
    ASSERT_EQ(::chmod((root + "/2023").c_str(), 0711), 0);
    ASSERT_EQ(::symlink("notes.txt", (root + "/link to notes").c_str()), 0);
    ASSERT_EQ(::symlink("../nowhere/\xff", (root + "/2023/dangling").c_str()), 0);
    setTime(root + "/big.bin", 1600000000, 123456789);
    setTime(root + "/link to notes", 1500000000, 1);
    setTime(root + "/2023/receipts/r1.txt", 1234567890, 999999999);
    setTime(root + "/2023/receipts", 1300000000, 5);
    setTime(root + "/empty folder", 1400000000, 7);
    setTime(root, 1700000000, 42);
}

class SealedFolderTest : public testing_support::SandboxTest {
protected:
    void SetUp() override {
        work = sandbox.root() + "/work";
        std::filesystem::create_directories(work);
        options.limits = core::strong::kMinimumLimits; // the default derivation is slow by design
    }

    // The one sealed file in `folder`: 16 random characters and ".TSX".
    std::string sealedIn(const std::string& folder) const {
        std::string found;
        for (const std::string& name : namesIn(folder))
            if (name.size() == 20 && name.compare(16, 4, ".TSX") == 0 && sealed::IsSealedFile(folder + "/" + name)) {
                EXPECT_TRUE(found.empty()) << "two sealed files";
                found = folder + "/" + name;
            }
        return found;
    }

    std::string sealTree(const std::string& root) {
        const sealed::SealResult result = sealed::Seal(root, "pw", options);
        EXPECT_TRUE(result.notRemoved.empty()) << result.notRemoved.front();
        return result.sealedPath;
    }

    std::string work;
    sealed::Options options;
};

TEST_F(SealedFolderTest, TreeRoundTripsExactlyAndLeavesNoSource) {
    const std::string root = work + "/Taxes";
    makeRichTree(root);
    const Snapshot before = snapshot(root);
    const std::string file = sealTree(root);

    EXPECT_EQ(namesIn(work), std::vector<std::string>{file.substr(work.size() + 1)});
    EXPECT_EQ(sealedIn(work), file);
    const sealed::Listing listing = sealed::List(file, "pw", options);
    ASSERT_EQ(listing.paths.size(), before.size());
    for (const std::string& path : listing.paths)
        EXPECT_TRUE(before.count(path)) << path;

    EXPECT_EQ(sealed::Open(file, "pw", options), root);
    EXPECT_EQ(snapshot(root), before);
    EXPECT_EQ(namesIn(work), std::vector<std::string>{"Taxes"});
}

TEST_F(SealedFolderTest, PaddedLengthHidesTheTreeWithinOneSixteenth) {
    const std::uint64_t kMiB = 1 << 20;
    const std::pair<std::uint64_t, std::uint64_t> cases[] = {
        {1, 65536}, {65536, 65536}, {65537, 131072}, {kMiB, kMiB}, {kMiB + 1, kMiB + 65536},
        {100 * kMiB + 1, 104 * kMiB}, {3 * kMiB - 5, 3 * kMiB}};
    for (const auto& [length, padded] : cases)
        EXPECT_EQ(sealed::PaddedLength(length), padded) << length;
    for (std::uint64_t length = 1; length < 64 * kMiB; length = length * 3 + 7) {
        const std::uint64_t padded = sealed::PaddedLength(length);
        EXPECT_GE(padded, length);
        EXPECT_EQ(padded % 65536, 0u);
        EXPECT_LE(padded - length, std::max<std::uint64_t>(65535, padded / 16)) << length;
    }
}

TEST_F(SealedFolderTest, SameTotalSizeSealsToTheSameLengthAndNoNameShows) {
    const std::string a = work + "/one/Alpha", b = work + "/two/Bravo";
    std::filesystem::create_directories(a + "/deeper/still");
    std::filesystem::create_directories(b);
    writeHost(a + "/deeper/still/secretname.txt", std::string(600, 'x'));
    writeHost(a + "/other.doc", std::string(400, 'y'));
    writeHost(b + "/single-file-with-a-long-name.txt", std::string(1000, 'z'));
    const std::string sealedA = sealTree(a), sealedB = sealTree(b);
    const std::string bytesA = readHost(sealedA);
    EXPECT_EQ(bytesA.size(), readHost(sealedB).size());
    EXPECT_EQ(bytesA.size() % 65536, 0u);
    for (const char* name : {"Alpha", "deeper", "still", "secretname", "other.doc", "xxxxxxxx"})
        EXPECT_EQ(bytesA.find(name), std::string::npos) << name;
}

TEST_F(SealedFolderTest, DamageIsRefusedWithNothingWritten) {
    const std::string root = work + "/src/Taxes";
    std::filesystem::create_directories(root);
    writeHost(root + "/a.bin", randomBytes(2 * 65536 + 10, 3));
    writeHost(root + "/b.txt", "second");
    const std::string file = sealTree(root);
    const std::string good = readHost(file);
    const sealed::Listing listing = sealed::List(file, "pw", options);
    // The index starts after the last file's chunks.
    std::uint64_t indexOffset = 0;
    for (const sealed::Entry& e : listing.entries)
        if (e.kind == sealed::Kind::File)
            indexOffset = std::max<std::uint64_t>(indexOffset, e.offset + e.size + (e.size + 65535) / 65536 * 16);
    // Another seal of the same tree and password: its index sits at the same place.
    const std::string other = work + "/other/Taxes";
    std::filesystem::create_directories(other);
    writeHost(other + "/a.bin", randomBytes(2 * 65536 + 10, 3));
    writeHost(other + "/b.txt", "second");
    const std::string otherBytes = readHost(sealTree(other));

    using Damage = std::function<std::string(std::string)>;
    auto flip = [](std::size_t at) { return [at](std::string s) { s[at] ^= 0x04; return s; }; };
    const std::pair<const char*, Damage> cases[] = {
        {"a bit of the magic", flip(2)},
        {"a bit of the limits", flip(11)},
        {"a bit of the salt", flip(20)},
        {"a bit of the nonce prefix", flip(40)},
        {"a bit of the reserved header", flip(60)},
        {"a bit of the first chunk", flip(64 + 100)},
        {"a bit of the last file's chunk", flip(static_cast<std::size_t>(indexOffset - 5))},
        {"a bit of the index", flip(static_cast<std::size_t>(indexOffset + 3))},
        {"a bit of the padding", flip(good.size() - 70)},
        {"a bit of the trailer", flip(good.size() - 1)},
        {"cut by a block", [](std::string s) { return s.substr(0, s.size() - 65536); }},
        {"cut by a byte", [](std::string s) { return s.substr(0, s.size() - 1); }},
        {"a byte appended", [](std::string s) { return s + '\0'; }},
        {"two chunks swapped",
         [](std::string s) {
             const std::string first = s.substr(64, 65552);
             s.replace(64, 65552, s.substr(64 + 65552, 65552));
             s.replace(64 + 65552, 65552, first);
             return s;
         }},
        {"the index of another seal",
         [&](std::string s) {
             const auto at = static_cast<std::size_t>(indexOffset);
             s.replace(at, s.size() - at - 64, otherBytes.substr(at, s.size() - at - 64));
             return s;
         }},
    };
    for (const auto& [what, damage] : cases) {
        const std::string bad = damage(good);
        ASSERT_NE(bad, good) << what;
        writeHost(file, bad);
        EXPECT_THROW(sealed::Open(file, "pw", options), sealed::SealedError) << what;
        EXPECT_EQ(readHost(file), bad) << what;
        EXPECT_EQ(namesIn(work + "/src"), std::vector<std::string>{file.substr(work.size() + 5)}) << what;
    }
    writeHost(file, good);
    EXPECT_THROW(sealed::Open(file, "wrong", options), sealed::FormatError);
    EXPECT_EQ(readHost(file), good);
    EXPECT_EQ(sealed::Open(file, "pw", options), root);
}

TEST_F(SealedFolderTest, OneFileIsTakenOutBesideTheSealLeftAsItIs) {
    const std::string root = work + "/Taxes";
    makeRichTree(root);
    const Snapshot before = snapshot(root);
    const std::string file = sealTree(root);
    const std::string bytes = readHost(file);

    EXPECT_EQ(sealed::TakeOne(file, "pw", "2023/receipts/r1.txt", options), work + "/r1.txt");
    Snapshot taken = snapshot(work + "/r1.txt");
    EXPECT_EQ(taken[""], before.at("2023/receipts/r1.txt"));
    EXPECT_EQ(readHost(file), bytes);

    const char* refused[] = {"2023/receipts/r1.txt" /* its name is taken now */, "2023", "link to notes",
                             "no/such/file", ""};
    for (const char* path : refused)
        EXPECT_THROW(sealed::TakeOne(file, "pw", path, options), sealed::SealedError) << path;
    EXPECT_EQ(readHost(work + "/r1.txt"), "receipt one");
    EXPECT_EQ(namesIn(work).size(), 2u);
}

TEST_F(SealedFolderTest, RefusesWhatMayNotBeSealedAndChangesNothing) {
    const std::string tree = work + "/Tree";
    std::filesystem::create_directories(tree + "/sub");
    writeHost(tree + "/sub/file.txt", "content");
    const std::pair<const char*, std::function<std::string()>> cases[] = {
        {"the drive's root", [&] { return sandbox.root(); }},
        {"the program's data",
         [&] {
             const std::string data = std::string(std::getenv("XDG_DATA_HOME")) + "/tessaly";
             std::filesystem::create_directories(data);
             return data;
         }},
        {"a file of another user",
         [&] {
             EXPECT_EQ(::lchown((tree + "/sub/file.txt").c_str(), 65534, 65534), 0);
             return tree;
         }},
        {"a file with another name", [&] {
             EXPECT_EQ(::link((tree + "/sub/file.txt").c_str(), (work + "/hard").c_str()), 0);
             return tree;
         }},
    };
    for (const auto& [what, target] : cases) {
        std::filesystem::remove(work + "/hard");
        ::lchown((tree + "/sub/file.txt").c_str(), ::geteuid(), ::getegid());
        const std::string folder = target();
        const Snapshot before = snapshot(tree);
        EXPECT_THROW(sealed::Seal(folder, "pw", options), sealed::SealedError) << what;
        EXPECT_TRUE(std::filesystem::is_directory(folder)) << what;
        EXPECT_EQ(snapshot(tree), before) << what;
        EXPECT_EQ(sealedIn(work), "") << what;
        EXPECT_EQ(sealedIn(std::filesystem::path(folder).parent_path().string()), "") << what;
    }
}

TEST_F(SealedFolderTest, RefusesATreeHoldingAMountPoint) {
    core_tests::NoXattrFolder mount(sandbox, "C:\\work\\Tree\\mounted");
    if (!mount.why().empty())
        GTEST_SKIP() << mount.why();
    writeHost(work + "/Tree/plain.txt", "plain");
    const Snapshot before = snapshot(work + "/Tree");
    EXPECT_THROW(sealed::Seal(work + "/Tree", "pw", options), sealed::SealedError);
    EXPECT_EQ(snapshot(work + "/Tree"), before);
    EXPECT_EQ(sealedIn(work), "");
}

// Runs `run` in a child that ends at once, as a kill would, at the checkpoint `step`. Whether it did.
bool killedAt(const char* step, sealed::Options options, const std::function<void(const sealed::Options&)>& run) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        options.checkpoint = [step](const char* reached) {
            if (std::strcmp(reached, step) == 0)
                ::_exit(42);
        };
        try {
            run(options);
        } catch (...) {
        }
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 42;
}

TEST_F(SealedFolderTest, AKillAtAnyStepThenRecoveryLeavesOneSideWhole) {
    const char* sealSteps[] = {"content", "synced", "placed", "shedding", "overwritten", "removing"};
    const char* openSteps[] = {"derived", "writing", "written", "placed"};
    int round = 0;
    auto check = [&](const std::string& folder, const std::string& root, const Snapshot& before, const char* step) {
        const sealed::SealedRecovery recovery = sealed::RecoverSealed(folder);
        EXPECT_TRUE(recovery.failures.empty()) << step;
        const std::string file = sealedIn(folder);
        bool whole = false;
        if (std::filesystem::exists(root)) {
            EXPECT_EQ(snapshot(root), before) << step;
            whole = true;
            std::filesystem::rename(root, folder + "/kept");
        }
        if (!file.empty()) {
            EXPECT_EQ(sealed::Open(file, "pw", options), root) << step;
            EXPECT_EQ(snapshot(root), before) << step;
            whole = true;
            std::filesystem::remove_all(folder + "/kept");
        } else {
            std::filesystem::rename(folder + "/kept", root);
        }
        EXPECT_TRUE(whole) << step;
        EXPECT_EQ(namesIn(folder), std::vector<std::string>{"Taxes"}) << step;
    };
    for (const char* step : sealSteps) {
        const std::string folder = work + "/seal" + std::to_string(++round), root = folder + "/Taxes";
        makeRichTree(root);
        const Snapshot before = snapshot(root);
        EXPECT_TRUE(killedAt(step, options, [&](const sealed::Options& o) { sealed::Seal(root, "pw", o); })) << step;
        check(folder, root, before, step);
    }
    for (const char* step : openSteps) {
        const std::string folder = work + "/open" + std::to_string(++round), root = folder + "/Taxes";
        makeRichTree(root);
        const Snapshot before = snapshot(root);
        const std::string file = sealTree(root);
        EXPECT_TRUE(killedAt(step, options, [&](const sealed::Options& o) { sealed::Open(file, "pw", o); })) << step;
        check(folder, root, before, step);
    }
}

} // namespace sealed_tests
