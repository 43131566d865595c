#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/SysError.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "support/Sandbox.h"

using namespace platform;

namespace {

const char* const kDrivesKey = "SOFTWARE\\Orvane\\Tessaly_free\\Drives";

int errorOf(const DriveTable& table, const std::string& path) {
    try {
        table.toHost(path);
    } catch (const SysError& e) {
        return e.number();
    }
    return 0;
}

class DriveTableTest : public testing_support::SandboxTest {};

} // namespace

TEST_F(DriveTableTest, DefaultTableStartsWithRootAsC) {
    Registry empty(sandbox.root() + "/empty.sqlite3");
    const DriveTable table = DriveTable::load(empty);
    ASSERT_FALSE(table.drives().empty());
    EXPECT_EQ(table.drives()[0].letter, 'C');
    EXPECT_EQ(table.drives()[0].hostFolder, "/");
    // Further drives take the following letters in order.
    for (std::size_t i = 1; i < table.drives().size(); ++i)
        EXPECT_EQ(table.drives()[i].letter, static_cast<char>('C' + i));
}

TEST_F(DriveTableTest, RegistryOverrideReplacesCAndAddsLetters) {
    const DriveTable& table = drives();
    ASSERT_NE(table.find('C'), nullptr);
    EXPECT_EQ(table.find('c')->hostFolder, sandbox.root());
    EXPECT_EQ(toHost("C:\\Docs\\a.doc"), sandbox.root() + "/Docs/a.doc");

    registry().setString(RegRoot::CurrentUser, kDrivesKey, "Q", sandbox.root() + "/qdrive/");
    registry().setDword(RegRoot::CurrentUser, kDrivesKey, "Q.Kind", DriveCdRom);
    registry().setDword(RegRoot::CurrentUser, kDrivesKey, "C.Kind", DriveRemote);
    sandbox.makeFolder("C:\\qdrive");
    reloadDrives();
    ASSERT_NE(table.find('Q'), nullptr); // the same table object, refilled
    EXPECT_EQ(table.find('Q')->hostFolder, sandbox.root() + "/qdrive");
    EXPECT_EQ(table.kind("Q:\\"), DriveCdRom);
    EXPECT_EQ(table.kind("c:"), DriveRemote);
    // The longest folder wins: the Q folder lies inside C's.
    EXPECT_EQ(toWindows(sandbox.root() + "/qdrive/x.txt"), "Q:\\x.txt");
    EXPECT_EQ(toWindows(sandbox.root() + "/qdrive2/x.txt"), "C:\\qdrive2\\x.txt");
}

TEST_F(DriveTableTest, KindOfAnOverriddenFolderThatIsGoneIsNoRoot) {
    registry().setString(RegRoot::CurrentUser, kDrivesKey, "R", sandbox.root() + "/gone");
    registry().setDword(RegRoot::CurrentUser, kDrivesKey, "R.Kind", DriveFixed);
    reloadDrives();
    EXPECT_EQ(drives().kind("R:\\"), DriveNoRoot);
}

TEST(DriveTable, ToHostForms) {
    const DriveTable table({Drive{'C', "/", std::nullopt}, Drive{'D', "/srv/data", std::nullopt}});
    const std::pair<const char*, const char*> table1[] = {
        {"C:\\Docs\\a.doc", "/Docs/a.doc"},
        {"c:\\Docs\\a.doc", "/Docs/a.doc"},
        {"C:", "/"},
        {"C:\\", "/"},
        {"D:", "/srv/data"},
        {"D:\\", "/srv/data"},
        {"D:\\x\\y\\", "/srv/data/x/y"},
        {"d:\\x\\\\y", "/srv/data/x/y"},
        {"D:\\na\xc3\xafve name.txt", "/srv/data/na\xc3\xafve name.txt"},
        // "." and ".." never lead out of the drive's folder.
        {"D:\\x\\.\\y\\..\\z", "/srv/data/x/z"},
        {"D:\\..\\..\\etc\\passwd", "/srv/data/etc/passwd"},
        {"D:..", "/srv/data"},
    };
    for (const auto& [windows, host] : table1)
        EXPECT_EQ(table.toHost(windows), host) << windows;
    EXPECT_EQ(errorOf(table, "E:\\x"), 68);
    EXPECT_EQ(errorOf(table, "Docs\\a.doc"), 52);
    EXPECT_EQ(errorOf(table, ""), 52);
    EXPECT_EQ(errorOf(table, "1:\\a"), 52);
}

TEST(DriveTable, ToWindowsTakesTheLongestFolderOnComponentBoundaries) {
    const DriveTable table({Drive{'C', "/", std::nullopt}, Drive{'D', "/sandbox", std::nullopt},
                            Drive{'E', "/sandbox/inner", std::nullopt}});
    const std::pair<const char*, const char*> cases[] = {
        {"/", "C:\\"},
        {"/etc/hosts", "C:\\etc\\hosts"},
        {"/sandbox", "D:\\"},
        {"/sandbox/", "D:\\"},
        {"/sandbox/a/b.txt", "D:\\a\\b.txt"},
        {"/sandbox2/a", "C:\\sandbox2\\a"},
        {"/sandbox/inner", "E:\\"},
        {"/sandbox/inner/f", "E:\\f"},
        {"/sandbox/innerx/f", "D:\\innerx\\f"},
        {"/sandbox/inner/../x", "D:\\x"},
        {"//sandbox//./a", "D:\\a"},
    };
    for (const auto& [host, windows] : cases)
        EXPECT_EQ(table.toWindows(host), windows) << host;

    const DriveTable noRoot({Drive{'D', "/sandbox", std::nullopt}});
    EXPECT_EQ(noRoot.toWindows("/sandbox2/a"), "");
    EXPECT_EQ(noRoot.toWindows("/other"), "");
}

TEST(DriveTable, RoundTripAndRelativePaths) {
    const DriveTable table({Drive{'C', "/", std::nullopt}, Drive{'D', "/srv/data", std::nullopt}});
    for (const char* windows : {"D:\\a\\b c\\d.txt", "C:\\tmp\\x", "D:\\"})
        EXPECT_EQ(table.toWindows(table.toHost(windows)), windows);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(table.toWindows("rel/file"), table.toWindows(std::string(cwd) + "/rel/file"));
}

TEST_F(DriveTableTest, HostFolderKinds) {
    EXPECT_EQ(hostFolderKind("/dev/shm"), DriveRamDisk);
    EXPECT_EQ(hostFolderKind(sandbox.root() + "/missing"), DriveNoRoot);
    EXPECT_EQ(hostFolderKind("/proc"), DriveFixed); // any other filesystem
    // An unknown letter has no root.
    const DriveTable table({Drive{'C', "/", std::nullopt}});
    EXPECT_EQ(table.kind("M:\\"), DriveNoRoot);
    EXPECT_EQ(table.kind(""), DriveNoRoot);
}
