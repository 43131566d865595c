#include "platform/Attributes.h"
#include "platform/SysError.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "support/Sandbox.h"

using namespace platform;

namespace {

// The raw user.DOSATTRIB text on disk ("" when there is none).
std::string storedText(const std::string& host) {
    char buf[64];
    const ssize_t n = getxattr(host.c_str(), "user.DOSATTRIB", buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

mode_t modeOf(const std::string& host) {
    struct stat st {};
    EXPECT_EQ(stat(host.c_str(), &st), 0);
    return st.st_mode & 07777;
}

int errorOf(const std::string& windowsPath) {
    try {
        getAttributes(windowsPath);
    } catch (const SysError& e) {
        return e.number();
    }
    return 0;
}

class AttributesTest : public testing_support::SandboxTest {};

} // namespace

TEST_F(AttributesTest, ValueIsStoredAsHexText) {
    const std::string f = sandbox.writeFile("C:\\d\\a.txt", "x");
    EXPECT_EQ(getAttributes(f), kAttrNormal);
    setAttributes(f, kAttrHidden | kAttrArchive);
    EXPECT_EQ(storedText(sandbox.host(f)), "0x22");
    EXPECT_EQ(getAttributes(f), kAttrHidden | kAttrArchive);
    setAttributes(f, kAttrSystem | kAttrArchive | kAttrDirectory); // Directory is ignored
    EXPECT_EQ(storedText(sandbox.host(f)), "0x24");
    EXPECT_EQ(getAttributes(f), kAttrSystem | kAttrArchive);
    setAttributes(f, kAttrNormal);
    EXPECT_EQ(storedText(sandbox.host(f)), "");
    EXPECT_EQ(getAttributes(f), kAttrNormal);
}

TEST_F(AttributesTest, ReadsTheTextFormOthersWrite) {
    const std::string f = sandbox.writeFile("C:\\b.txt", "x");
    const std::string host = sandbox.host(f);
    ASSERT_EQ(setxattr(host.c_str(), "user.DOSATTRIB", "0x20\0", 5, 0), 0); // with its terminating zero
    EXPECT_EQ(getAttributes(f), kAttrArchive);
    ASSERT_EQ(setxattr(host.c_str(), "user.DOSATTRIB", "0X6", 3, 0), 0);
    EXPECT_EQ(getAttributes(f), kAttrHidden | kAttrSystem);
    ASSERT_EQ(setxattr(host.c_str(), "user.DOSATTRIB", "\x01\x02garbage", 9, 0), 0);
    EXPECT_EQ(getAttributes(f), kAttrNormal);
}

TEST_F(AttributesTest, ReadOnlyIsTheWritePermission) {
    const std::string f = sandbox.writeFile("C:\\ro.txt", "x");
    const std::string host = sandbox.host(f);
    ASSERT_EQ(chmod(host.c_str(), 0664), 0);
    setAttributes(f, kAttrReadOnly | kAttrArchive);
    EXPECT_EQ(modeOf(host), 0444u);
    EXPECT_EQ(storedText(host), "0x21");
    EXPECT_EQ(getAttributes(f), kAttrReadOnly | kAttrArchive);

    // Changing another attribute of a read-only file keeps it read-only.
    setAttributes(f, kAttrReadOnly | kAttrHidden);
    EXPECT_EQ(modeOf(host), 0444u);
    EXPECT_EQ(storedText(host), "0x3");

    setAttributes(f, kAttrArchive);
    EXPECT_EQ(modeOf(host), 0644u); // owner write back
    EXPECT_EQ(getAttributes(f), kAttrArchive);

    // A file without owner write permission reads as read-only whatever the xattr says ...
    ASSERT_EQ(chmod(host.c_str(), 0444), 0);
    EXPECT_EQ(getAttributes(f), kAttrReadOnly | kAttrArchive);
    // ... and one with it does not.
    ASSERT_EQ(chmod(host.c_str(), 0644), 0);
    ASSERT_EQ(setxattr(host.c_str(), "user.DOSATTRIB", "0x1", 3, 0), 0);
    EXPECT_EQ(getAttributes(f), kAttrNormal);
}

TEST_F(AttributesTest, FoldersReportDirectory) {
    const std::string d = sandbox.makeFolder("C:\\folder");
    EXPECT_EQ(getAttributes(d), kAttrDirectory);
    setAttributes(d, kAttrHidden | kAttrDirectory);
    EXPECT_EQ(storedText(sandbox.host(d)), "0x2");
    EXPECT_EQ(getAttributes(d + "\\"), kAttrHidden | kAttrDirectory);
    // Read-only on a folder is a mark: its entries stay writable.
    setAttributes(d, kAttrReadOnly);
    EXPECT_EQ(getAttributes(d), kAttrReadOnly | kAttrDirectory);
    EXPECT_TRUE(modeOf(sandbox.host(d)) & S_IWUSR);
}

TEST_F(AttributesTest, HiddenMaintainsTheDotHiddenList) {
    sandbox.writeFile("C:\\h\\.hidden", "someone-else\n");
    const std::string a = sandbox.writeFile("C:\\h\\a.txt", "a");
    const std::string b = sandbox.makeFolder("C:\\h\\b dir");
    setAttributes(a, kAttrHidden);
    setAttributes(b, kAttrHidden | kAttrArchive);
    setAttributes(b, kAttrHidden); // no duplicate line
    EXPECT_EQ(sandbox.readFile("C:\\h\\.hidden"), "someone-else\na.txt\nb dir\n");
    setAttributes(a, kAttrArchive);
    EXPECT_EQ(sandbox.readFile("C:\\h\\.hidden"), "someone-else\nb dir\n");

    // The last line gone takes the file with it.
    const std::string c = sandbox.writeFile("C:\\i\\c", "c");
    setAttributes(c, kAttrHidden | kAttrReadOnly);
    EXPECT_EQ(sandbox.readFile("C:\\i\\.hidden"), "c\n");
    setAttributes(c, kAttrNormal);
    EXPECT_FALSE(sandbox.exists("C:\\i\\.hidden"));
    // No temporary files left beside it.
    for (const auto& e : std::filesystem::directory_iterator(sandbox.host("C:\\i")))
        EXPECT_EQ(e.path().filename(), "c");
}

TEST_F(AttributesTest, MissingPaths) {
    sandbox.makeFolder("C:\\there");
    EXPECT_EQ(errorOf("C:\\there\\nothing.txt"), 53);
    EXPECT_EQ(errorOf("C:\\nowhere\\nothing.txt"), 76);
    EXPECT_THROW(setAttributes("C:\\there\\nothing.txt", kAttrHidden), SysError);
}

TEST_F(AttributesTest, WithoutUserXattrsOnlyReadOnlyIsKept) {
    // A writable folder on a filesystem that refuses user xattrs, if this machine has one.
    std::string folder;
    const char* const candidates[] = {std::getenv("TESSALY_NOXATTR_DIR"), "/run/user", "/dev/shm"};
    for (const char* candidate : candidates) {
        if (!candidate)
            continue;
        char tmpl[4096];
        std::snprintf(tmpl, sizeof tmpl, "%s/tessaly-xattrXXXXXX", candidate);
        if (!mkdtemp(tmpl))
            continue;
        const std::string probe = std::string(tmpl) + "/p";
        FILE* f = std::fopen(probe.c_str(), "w");
        if (f)
            std::fclose(f);
        const bool refused =
            f && setxattr(probe.c_str(), "user.t", "1", 1, 0) != 0 && (errno == ENOTSUP || errno == EOPNOTSUPP);
        if (refused) {
            folder = tmpl;
            break;
        }
        std::filesystem::remove_all(tmpl);
    }
    if (folder.empty())
        GTEST_SKIP() << "no filesystem without user xattrs here (set TESSALY_NOXATTR_DIR to one)";
    const std::string file = folder + "/p";
    EXPECT_NO_THROW(setAttributesHost(HostPath(file), kAttrHidden | kAttrReadOnly));
    EXPECT_EQ(getAttributesHost(HostPath(file)), kAttrReadOnly);
    EXPECT_FALSE(std::filesystem::exists(folder + "/.hidden"));
    EXPECT_NO_THROW(setAttributesHost(HostPath(file), kAttrArchive));
    EXPECT_EQ(getAttributesHost(HostPath(file)), kAttrNormal);
    std::filesystem::remove_all(folder);
}

TEST_F(AttributesTest, ALinkIsRefusedAndItsTargetKeepsItsModeAndAttributes) {
    const std::string target = sandbox.writeFile("C:\\t.txt", "t");
    const std::string targetHost = sandbox.host(target);
    chmod(targetHost.c_str(), 0640);
    std::filesystem::create_symlink("t.txt", sandbox.host("C:\\link.txt"));
    for (const unsigned value : {kAttrNormal, kAttrReadOnly | kAttrHidden}) {
        int number = 0;
        try {
            setAttributes("C:\\link.txt", value);
        } catch (const SysError& e) {
            number = e.number();
        }
        EXPECT_EQ(number, 75);
    }
    EXPECT_EQ(modeOf(targetHost), 0640u);
    EXPECT_EQ(storedText(targetHost), "");
    EXPECT_FALSE(std::filesystem::exists(sandbox.host("C:\\.hidden")));
}

// A ".hidden" that is a link (to a private file elsewhere), a folder or a named pipe is neither read
// nor changed: hiding goes on without the list, and the list says it was left alone.
TEST_F(AttributesTest, AHiddenListThatIsNoRegularFileIsLeftAlone) {
    const std::string privateHost = sandbox.host(sandbox.writeFile("C:\\private\\secret.txt", "private words\n"));
    ASSERT_EQ(chmod(privateHost.c_str(), 0600), 0);
    const struct {
        const char* name;
        void (*make)(const std::string& list, const std::string& privateFile);
    } kinds[] = {
        {"link", [](const std::string& list, const std::string& p) { std::filesystem::create_symlink(p, list); }},
        {"dangling link",
         [](const std::string& list, const std::string& p) { std::filesystem::create_symlink(p + ".none", list); }},
        {"folder", [](const std::string& list, const std::string&) { std::filesystem::create_directory(list); }},
        {"pipe", [](const std::string& list, const std::string&) { ASSERT_EQ(mkfifo(list.c_str(), 0644), 0); }},
    };
    int round = 0;
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const std::string folder = "C:\\shared" + std::to_string(++round);
        const std::string file = sandbox.writeFile(folder + "\\a.txt", "a");
        const std::string list = sandbox.host(folder + "\\.hidden");
        kind.make(list, privateHost);
        const auto typeBefore = std::filesystem::symlink_status(list).type();

        EXPECT_TRUE(hiddenListLeftAlone(sandbox.host(folder)));
        EXPECT_NO_THROW(setAttributes(file, kAttrHidden | kAttrReadOnly));
        EXPECT_EQ(getAttributes(file), kAttrHidden | kAttrReadOnly);
        EXPECT_EQ(updateHiddenEntriesHost(sandbox.host(folder), {"b.txt"}, {"c.txt"}), HiddenListChange::LeftAlone);

        EXPECT_EQ(std::filesystem::symlink_status(list).type(), typeBefore);
        EXPECT_EQ(testing_support::readHostFile(privateHost), "private words\n");
        EXPECT_EQ(modeOf(privateHost), 0600u);
        for (const auto& e : std::filesystem::directory_iterator(sandbox.host(folder)))
            EXPECT_TRUE(e.path().filename() == "a.txt" || e.path().filename() == ".hidden") << e.path();
    }
    // A regular list beside them is written as before.
    const std::string plain = sandbox.writeFile("C:\\plain\\a.txt", "a");
    EXPECT_FALSE(hiddenListLeftAlone(sandbox.host("C:\\plain")));
    setAttributes(plain, kAttrHidden);
    EXPECT_EQ(sandbox.readFile("C:\\plain\\.hidden"), "a.txt\n");
}
