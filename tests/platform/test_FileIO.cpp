#include "platform/FileIO.h"
#include "platform/SysError.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "support/Sandbox.h"

using namespace platform;

namespace {

std::vector<std::string> folderNames(const std::string& host) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(host))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

template <typename F> int errorOf(F f) {
    try {
        f();
    } catch (const SysError& e) {
        return e.number();
    }
    return 0;
}

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

class FileIOTest : public testing_support::SandboxTest {};

} // namespace

TEST_F(FileIOTest, BasicQueries) {
    sandbox.writeFile("C:\\q\\f.bin", std::string("a\0b", 3));
    EXPECT_TRUE(exists("C:\\q\\f.bin"));
    EXPECT_TRUE(exists("C:\\q"));
    EXPECT_FALSE(exists("C:\\q\\g.bin"));
    EXPECT_TRUE(isFolder("C:\\q"));
    EXPECT_FALSE(isFolder("C:\\q\\f.bin"));
    EXPECT_EQ(fileLength("C:\\q\\f.bin"), 3u);
    EXPECT_EQ(readAll("C:\\q\\f.bin"), std::string("a\0b", 3));
    EXPECT_EQ(errorOf([] { readAll("C:\\q\\g.bin"); }), 53);
    EXPECT_EQ(errorOf([] { readAll("C:\\none\\g.bin"); }), 76);
    EXPECT_EQ(errorOf([] { fileLength("C:\\q\\g.bin"); }), 53);

    createFolder("C:\\q\\new");
    EXPECT_TRUE(isFolder("C:\\q\\new"));
    EXPECT_EQ(errorOf([] { createFolder("C:\\q\\new"); }), 75);
    EXPECT_EQ(errorOf([] { createFolder("C:\\x\\y\\z"); }), 76);
    EXPECT_NO_THROW(syncFolder("C:\\q"));
}

TEST_F(FileIOTest, RemoveFileIgnoresReadOnly) {
    sandbox.writeFile("C:\\r\\ro.txt", "x");
    ASSERT_EQ(chmod(sandbox.host("C:\\r\\ro.txt").c_str(), 0444), 0);
    removeFile("C:\\r\\ro.txt");
    EXPECT_FALSE(sandbox.exists("C:\\r\\ro.txt"));
    EXPECT_EQ(errorOf([] { removeFile("C:\\r\\ro.txt"); }), 53);
    EXPECT_EQ(errorOf([] { removeFile("C:\\r"); }), 75); // a folder is not a file
    EXPECT_TRUE(sandbox.exists("C:\\r"));
}

TEST_F(FileIOTest, InputFileReads) {
    sandbox.writeFile("C:\\in.bin", "0123456789");
    InputFile in("C:\\in.bin");
    EXPECT_EQ(in.size(), 10u);
    char buf[8];
    in.readExact(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(in.read(buf, 8), 6u);
    EXPECT_EQ(in.read(buf, 8), 0u);
    InputFile again("C:\\in.bin");
    char big[11];
    EXPECT_EQ(errorOf([&] { again.readExact(big, 11); }), 62);
    EXPECT_EQ(errorOf([] { InputFile f("C:\\nothing"); }), 53);
}

TEST_F(FileIOTest, AtomicWriterPutsTheFileInPlaceOnCommitOnly) {
    sandbox.makeFolder("C:\\w");
    std::string temp;
    {
        AtomicWriter w{WinPath("C:\\w\\out.txt")};
        temp = w.temporaryHostPath();
        const std::string name = std::filesystem::path(temp).filename().string();
        EXPECT_EQ(std::filesystem::path(temp).parent_path(), sandbox.host("C:\\w"));
        EXPECT_EQ(name.front(), '.');
        EXPECT_TRUE(name.size() > 12 && name.compare(name.size() - 12, 12, ".tessaly-tmp") == 0) << name;
        w.write("hello ");
        w.write(std::string("world"));
        w.flush();
        EXPECT_FALSE(sandbox.exists("C:\\w\\out.txt"));
        w.commit();
        EXPECT_EQ(sandbox.readFile("C:\\w\\out.txt"), "hello world");
    }
    EXPECT_EQ(folderNames(sandbox.host("C:\\w")), std::vector<std::string>{"out.txt"});

    // Destroyed without commit: neither the target nor the temporary file remains.
    {
        AtomicWriter w{WinPath("C:\\w\\abandoned.txt")};
        w.write("partial");
    }
    EXPECT_EQ(folderNames(sandbox.host("C:\\w")), std::vector<std::string>{"out.txt"});
}

TEST_F(FileIOTest, AtomicWriterNeverOverwritesUnlessAsked) {
    sandbox.writeFile("C:\\w\\taken.txt", "original");
    {
        AtomicWriter w{WinPath("C:\\w\\taken.txt")};
        w.write("new");
        EXPECT_EQ(errorOf([&] { w.commit(); }), 58);
    }
    EXPECT_EQ(sandbox.readFile("C:\\w\\taken.txt"), "original");
    EXPECT_EQ(folderNames(sandbox.host("C:\\w")), std::vector<std::string>{"taken.txt"});

    // Taken after the writer started.
    {
        AtomicWriter w{WinPath("C:\\w\\late.txt")};
        w.write("mine");
        sandbox.writeFile("C:\\w\\late.txt", "theirs");
        EXPECT_EQ(errorOf([&] { w.commit(); }), 58);
    }
    EXPECT_EQ(sandbox.readFile("C:\\w\\late.txt"), "theirs");

    // Replacing keeps the old file's permissions.
    ASSERT_EQ(chmod(sandbox.host("C:\\w\\taken.txt").c_str(), 0600), 0);
    writeFileAtomic("C:\\w\\taken.txt", "replaced");
    EXPECT_EQ(sandbox.readFile("C:\\w\\taken.txt"), "replaced");
    struct stat st {};
    ASSERT_EQ(stat(sandbox.host("C:\\w\\taken.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(folderNames(sandbox.host("C:\\w")), (std::vector<std::string>{"late.txt", "taken.txt"}));
}

TEST_F(FileIOTest, AtomicWriterInAMissingFolder) {
    EXPECT_EQ(errorOf([] { AtomicWriter w{WinPath("C:\\nofolder\\x.txt")}; }), 76);
    EXPECT_EQ(errorOf([] { writeFileAtomic("C:\\nofolder\\x.txt", "x"); }), 76);
}

TEST_F(FileIOTest, CopyFromContinuesAtTheReadPosition) {
    const std::string data = randomBytes(3 * 1024 * 1024 + 17, 7);
    sandbox.writeFile("C:\\c\\src.bin", data);
    InputFile in("C:\\c\\src.bin");
    char head[100];
    in.readExact(head, sizeof head);
    AtomicWriter w{WinPath("C:\\c\\dst.bin")};
    w.write("HDR");
    w.copyFrom(in, data.size() - 100);
    w.commit();
    EXPECT_EQ(sandbox.readFile("C:\\c\\dst.bin"), "HDR" + data.substr(100));

    // Asking for more than the source holds fails with "Input past end of file".
    InputFile again("C:\\c\\src.bin");
    AtomicWriter w2{WinPath("C:\\c\\dst2.bin")};
    EXPECT_EQ(errorOf([&] { w2.copyFrom(again, data.size() + 1); }), 62);
}

TEST_F(FileIOTest, CopyFromAcrossFilesystemsFallsBackToReadWrite) {
    // /dev/shm is another filesystem than the sandbox (unless the sandbox itself is on tmpfs).
    const std::string data = randomBytes(2 * 1024 * 1024 + 3, 9);
    char tmpl[] = "/dev/shm/tessaly-copyXXXXXX";
    if (!mkdtemp(tmpl))
        GTEST_SKIP() << "/dev/shm not writable";
    const std::string folder = tmpl;
    {
        AtomicWriter src{HostPath(folder + "/src.bin")};
        src.write(data);
        src.commit();
    }
    sandbox.writeFile("C:\\c\\from.bin", data);
    InputFile in("C:\\c\\from.bin");
    {
        AtomicWriter w{HostPath(folder + "/dst.bin")};
        w.copyFrom(in, data.size());
        w.commit();
    }
    EXPECT_EQ(readAllHost(HostPath(folder + "/dst.bin")), data);
    std::filesystem::remove_all(folder);
}

TEST_F(FileIOTest, OnlyRegularFilesAreReadAndAPipeNeverBlocks) {
    // Nothing ever writes to the pipe: an open or read that waited would hang the test.
    ASSERT_EQ(::mkfifo(sandbox.host("C:\\pipe").c_str(), 0600), 0);
    sandbox.makeFolder("C:\\sub");
    for (const char* path : {"C:\\pipe", "C:\\sub"}) {
        SCOPED_TRACE(path);
        for (const bool whole : {true, false}) {
            std::string reason;
            try {
                if (whole)
                    readAll(path);
                else
                    InputFile in(path);
            } catch (const SysError& e) {
                EXPECT_EQ(e.number(), 75);
                reason = e.reason();
            }
            EXPECT_EQ(reason, std::string(path) == "C:\\pipe" ? "not a regular file" : "Is a directory");
        }
    }
}

// A file replaced where a link stood: the link goes, its target (someone's private file) keeps its
// content and mode, and the new file takes no mode from it (owner-only, as every new file starts).
// A replaced regular file keeps its own mode.
TEST_F(FileIOTest, AReplacementTakesItsModeFromTheFileNotFromALinkTarget) {
    const std::string privateHost = sandbox.host(sandbox.writeFile("C:\\private\\p.txt", "private"));
    ASSERT_EQ(::chmod(privateHost.c_str(), 0604), 0);
    sandbox.makeFolder("C:\\w");
    std::filesystem::create_symlink(privateHost, sandbox.host("C:\\w\\list"));
    writeFileAtomic("C:\\w\\list", "new");
    EXPECT_FALSE(std::filesystem::is_symlink(sandbox.host("C:\\w\\list")));
    EXPECT_EQ(sandbox.readFile("C:\\w\\list"), "new");
    struct stat st {};
    ASSERT_EQ(::stat(sandbox.host("C:\\w\\list").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(sandbox.readFile("C:\\private\\p.txt"), "private");
    ASSERT_EQ(::stat(privateHost.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);

    const std::string plain = sandbox.host(sandbox.writeFile("C:\\w\\plain", "old"));
    ASSERT_EQ(::chmod(plain.c_str(), 0640), 0);
    writeFileAtomic("C:\\w\\plain", "new");
    ASSERT_EQ(::stat(plain.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(folderNames(sandbox.host("C:\\w")), (std::vector<std::string>{"list", "plain"}));
}
