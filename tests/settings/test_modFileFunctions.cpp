#include "settings/modFileFunctions.h"

#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/Registry.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;
using testing_support::SandboxTest;

TEST(PathText, Table) {
    using Fn = std::string (*)(const std::string&);
    const struct {
        const char* name;
        Fn fn;
        std::string in, out;
    } cases[] = {
        {"AddBackslash", AddBackslash, "C:\\Docs", "C:\\Docs\\"},
        {"AddBackslash", AddBackslash, "C:\\", "C:\\"},
        {"AddBackslash", AddBackslash, "", "\\"},
        {"RemoveBackslash", RemoveBackslash, "C:\\", "C:"},
        {"RemoveBackslash", RemoveBackslash, "C:\\Docs\\", "C:\\Docs"},
        {"RemoveBackslash", RemoveBackslash, "C:\\Docs", "C:\\Docs"},
        {"RemoveBackslash", RemoveBackslash, "", ""},
        {"GetExtension", GetExtension, "C:\\Docs\\a.b.doc", "doc"},
        {"GetExtension", GetExtension, "C:\\My.Docs\\readme", "Docs\\readme"}, // the whole path is searched
        {"GetExtension", GetExtension, "C:\\Docs\\readme", ""},
        {"GetExtension", GetExtension, "a.", ""},
        {"GetFolderPart", GetFolderPart, "C:\\Docs\\a.doc", "C:\\Docs\\"},
        {"GetFolderPart", GetFolderPart, "a.doc", ""},
        {"GetFolderPart", GetFolderPart, "C:\\", "C:\\"},
        {"GetFileNamePart", GetFileNamePart, "C:\\Docs\\a.doc", "a.doc"},
        {"GetFileNamePart", GetFileNamePart, "a.doc", "a.doc"},
        {"GetFileNamePart", GetFileNamePart, "C:\\Docs\\", ""},
        {"GetDrivePart", GetDrivePart, "C:\\Docs\\a.doc", "C:"},
        {"GetDrivePart", GetDrivePart, "d:", "d:"},
        {"GetDrivePart", GetDrivePart, "\\Docs\\a.doc", "NO DRIVE"},
        {"GetPathPart", GetPathPart, "C:", "NO PATH"},
        {"GetPathPart", GetPathPart, "C:\\", "\\"},
        {"GetPathPart", GetPathPart, "C:\\*.*", "\\"},
        {"GetPathPart", GetPathPart, "C:\\a.doc", ""},
        {"GetPathPart", GetPathPart, "C:\\Docs\\a.doc", "\\Docs"},
        {"GetPathPart", GetPathPart, "C:\\Docs\\Sub\\a.doc", "\\Docs\\Sub"},
        {"GetPathPart", GetPathPart, "C:\\Docs\\Sub\\", "\\Docs\\Sub"},
        {"GetPathPart", GetPathPart, "\\Docs\\a.doc", "\\Docs"},
        {"GetPathPart", GetPathPart, "a.doc", "NO PATH"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.fn(c.in), c.out) << c.name << "(" << c.in << ")";
}

TEST(FormatByteSize, ShortSizeTextTable) {
    const struct {
        std::int64_t size;
        const char* text;
    } cases[] = {
        {0, "0 bytes"},
        {532, "532 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.00 KB"},
        {1331, "1.29 KB"}, // 1.2998: cut, not rounded
        {1332, "1.30 KB"},
        {10239, "9.99 KB"},
        {10240, "10.0 KB"},
        {125952, "123 KB"},
        {1023999, "999 KB"},
        {1024000, "0.97 MB"}, // 1000 KB and more go to the next unit
        {12897485, "12.3 MB"},
        {2147483647, "1.99 GB"},
        {2147483648LL, "2.00 GB"},
        {5368709120LL, "5.00 GB"},
        {1099511627776LL, "1.00 TB"},
        {1125899906842624LL, "1.00 PB"},
        {INT64_MAX, "7.99 EB"},
        {-1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatByteSize(c.size), c.text) << c.size;
}

class FileFunctionsTest : public SandboxTest {};

TEST_F(FileFunctionsTest, FileExistsFindsFilesAndFoldersByTheirExactName) {
    sandbox.writeFile("C:\\Docs\\a.txt", "abc");
    sandbox.writeFile("C:\\Docs\\secret.txt", "x");
    platform::setAttributes("C:\\Docs\\secret.txt", platform::kAttrHidden);
    EXPECT_TRUE(FileExists("C:\\Docs\\a.txt"));
    EXPECT_FALSE(FileExists("C:\\Docs\\A.TXT")); // another name on this host
    EXPECT_TRUE(FileExists("C:\\Docs\\secret.txt"));
    EXPECT_TRUE(FileExists("C:\\Docs"));
    EXPECT_FALSE(FileExists("C:\\Docs\\*.txt")); // a name, not a pattern
    EXPECT_FALSE(FileExists("C:\\Docs\\*.doc"));
    EXPECT_FALSE(FileExists("C:\\Docs\\b.txt"));
    EXPECT_FALSE(FileExists("C:\\Nowhere\\b.txt"));
    EXPECT_FALSE(FileExists("Q:\\b.txt")); // no such drive
    EXPECT_FALSE(FileExists(""));
}

TEST_F(FileFunctionsTest, CanOpenForInput) {
    sandbox.writeFile("C:\\a.txt", "abc");
    sandbox.makeFolder("C:\\Folder");
    EXPECT_TRUE(CanOpenForInput("C:\\a.txt"));
    EXPECT_FALSE(CanOpenForInput("C:\\b.txt"));
    EXPECT_FALSE(CanOpenForInput("C:\\Folder"));
    if (geteuid() != 0) { // root reads everything
        fs::permissions(sandbox.host("C:\\a.txt"), fs::perms::none);
        EXPECT_FALSE(CanOpenForInput("C:\\a.txt"));
    }
}

TEST_F(FileFunctionsTest, FileSizeTextIsSixtyFourBit) {
    sandbox.writeFile("C:\\small.bin", "12345");
    EXPECT_EQ(FileSizeText("C:\\small.bin"), "5");
    EXPECT_EQ(FileSizeText("C:\\empty.bin"), "");
    sandbox.writeFile("C:\\empty.bin", "");
    EXPECT_EQ(FileSizeText("C:\\empty.bin"), "0");
    EXPECT_EQ(FileSizeText(""), "");

    // A sparse file beyond 4 GiB: no disk space needed.
    sandbox.writeFile("C:\\big.bin", "");
    ASSERT_EQ(truncate(sandbox.host("C:\\big.bin").c_str(), 5368709121LL), 0);
    EXPECT_EQ(FileSizeText("C:\\big.bin"), "5368709121");
    EXPECT_EQ(FormatByteSize(std::stoll(FileSizeText("C:\\big.bin"))), "5.00 GB");
}

TEST_F(FileFunctionsTest, WindowsAndSystemFoldersInWindowsForm) {
    EXPECT_EQ(GetWindowsFolder(), "C:\\home\\.local\\share\\tessaly\\Windows");
    EXPECT_EQ(GetSystemFolder(), "C:\\home\\.local\\share\\tessaly\\Windows\\System32");
    EXPECT_TRUE(fs::is_directory(sandbox.host(GetSystemFolder())));
}

TEST_F(FileFunctionsTest, GetDriveKindReadsTheFirstLetter) {
    const std::string dFolder = sandbox.makeFolder("C:\\DriveD");
    auto& reg = platform::registry();
    reg.setString(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free\\Drives", "D", sandbox.host(dFolder));
    reg.setDword(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free\\Drives", "D.Kind", 5);
    platform::reloadDrives();
    EXPECT_EQ(GetDriveKind("D"), 5);
    EXPECT_EQ(GetDriveKind("d:\\anything"), 5);
    EXPECT_EQ(GetDriveKind("Q:"), 1); // no such drive
    EXPECT_EQ(GetDriveKind(""), 1);
}

TEST_F(FileFunctionsTest, ShellDeleteRemovesFilesAndFoldersWithoutDialog) {
    sandbox.writeFile("C:\\a.txt", "a");
    sandbox.writeFile("C:\\b.txt", "b");
    sandbox.writeFile("C:\\Tree\\Sub\\c.txt", "c");
    EXPECT_TRUE(ShellDelete("C:\\a.txt", false, false, true));
    EXPECT_FALSE(sandbox.exists("C:\\a.txt"));
    EXPECT_TRUE(ShellDelete(std::vector<std::string>{"C:\\b.txt", "C:\\Tree"}, false, false, true));
    EXPECT_FALSE(sandbox.exists("C:\\b.txt"));
    EXPECT_FALSE(sandbox.exists("C:\\Tree"));
    EXPECT_FALSE(ShellDelete("C:\\missing.txt", false, false, true));
}

TEST_F(FileFunctionsTest, ShellDeleteToRecycleBinKeepsTheContent) {
    sandbox.writeFile("C:\\Docs\\keep.txt", "kept");
    ASSERT_TRUE(ShellDelete("C:\\Docs\\keep.txt", true, false, true));
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\keep.txt"));
    bool found = false;
    for (const auto& e : fs::recursive_directory_iterator(sandbox.root()))
        if (e.path().filename() == "keep.txt" && testing_support::readHostFile(e.path().string()) == "kept")
            found = true;
    EXPECT_TRUE(found) << "the trashed file is somewhere under the sandbox";
}

TEST_F(FileFunctionsTest, RenameMoveCopy) {
    sandbox.writeFile("C:\\a.txt", "a");
    sandbox.writeFile("C:\\taken.txt", "other");
    EXPECT_TRUE(ShellRename("C:\\a.txt", "C:\\b.txt", false, false));
    EXPECT_EQ(sandbox.readFile("C:\\b.txt"), "a");
    EXPECT_FALSE(sandbox.exists("C:\\a.txt"));

    // A taken name is never overwritten.
    EXPECT_FALSE(ShellRename("C:\\b.txt", "C:\\taken.txt", false, false));
    EXPECT_EQ(sandbox.readFile("C:\\taken.txt"), "other");
    EXPECT_EQ(sandbox.readFile("C:\\b.txt"), "a");

    sandbox.makeFolder("C:\\Dest");
    EXPECT_TRUE(ShellFileOperation(2, {"C:\\b.txt"}, "C:\\Dest", false, true, false));
    EXPECT_EQ(sandbox.readFile("C:\\Dest\\b.txt"), "a");
    EXPECT_TRUE(sandbox.exists("C:\\b.txt"));
    EXPECT_TRUE(ShellFileOperation(1, {"C:\\taken.txt"}, "C:\\Dest", false, true, false));
    EXPECT_EQ(sandbox.readFile("C:\\Dest\\taken.txt"), "other");
    EXPECT_FALSE(sandbox.exists("C:\\taken.txt"));

    EXPECT_FALSE(ShellFileOperation(7, {"C:\\b.txt"}, "C:\\Dest", false, true, false));
    EXPECT_FALSE(ShellFileOperation(2, {}, "C:\\Dest", false, true, false));
}

TEST_F(FileFunctionsTest, CreateFolderPath) {
    sandbox.makeFolder("C:\\Existing");
    EXPECT_TRUE(CreateFolderPath("C:\\Existing", true));
    EXPECT_TRUE(CreateFolderPath("C:\\Existing\\", false));
    EXPECT_TRUE(CreateFolderPath("C:\\", false));

    EXPECT_FALSE(CreateFolderPath("C:\\One\\Two", false));
    EXPECT_FALSE(sandbox.exists("C:\\One"));

    EXPECT_FALSE(CreateFolderPath("C:\\One\\Two", true)); // created, but it did not exist
    EXPECT_TRUE(fs::is_directory(sandbox.host("C:\\One\\Two")));
    EXPECT_TRUE(CreateFolderPath("C:\\One\\Two", false));

    EXPECT_FALSE(CreateFolderPath("C:\\Existing\\Three\\Four\\", true));
    EXPECT_TRUE(fs::is_directory(sandbox.host("C:\\Existing\\Three\\Four")));

    // A file in the way ends the creation.
    sandbox.writeFile("C:\\File", "x");
    EXPECT_FALSE(CreateFolderPath("C:\\File\\Sub", true));
    EXPECT_FALSE(fs::exists(sandbox.host("C:\\File\\Sub")));
    EXPECT_FALSE(CreateFolderPath("NoDrive\\Sub", true));
}

TEST_F(FileFunctionsTest, DeleteFolderTreeIsForced) {
    sandbox.writeFile("C:\\Tree\\a.txt", "a");
    sandbox.writeFile("C:\\Tree\\Locked\\b.txt", "b");
    platform::setAttributes("C:\\Tree\\a.txt", platform::kAttrReadOnly);
    platform::setAttributes("C:\\Tree\\Locked\\b.txt", platform::kAttrReadOnly | platform::kAttrHidden);
    fs::permissions(sandbox.host("C:\\Tree\\Locked"),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_TRUE(DeleteFolderTree("C:\\Tree\\"));
    EXPECT_FALSE(sandbox.exists("C:\\Tree"));
    EXPECT_FALSE(DeleteFolderTree("C:\\Tree"));
    sandbox.writeFile("C:\\file.txt", "x");
    EXPECT_FALSE(DeleteFolderTree("C:\\file.txt"));
    EXPECT_TRUE(sandbox.exists("C:\\file.txt"));
}

TEST_F(FileFunctionsTest, DeleteFolderTreeNeverTakesADriveRootAndDropsTheHiddenLine) {
    sandbox.writeFile("C:\\keep.txt", "x");
    EXPECT_FALSE(DeleteFolderTree("C:\\"));
    EXPECT_FALSE(DeleteFolderTree("C:"));
    EXPECT_TRUE(sandbox.exists("C:\\keep.txt"));

    sandbox.makeFolder("C:\\Parent\\Gone");
    sandbox.makeFolder("C:\\Parent\\Stays");
    platform::setAttributes("C:\\Parent\\Gone", platform::kAttrHidden);
    platform::setAttributes("C:\\Parent\\Stays", platform::kAttrHidden);
    ASSERT_NE(sandbox.readFile("C:\\Parent\\.hidden").find("Gone"), std::string::npos);
    EXPECT_TRUE(DeleteFolderTree("C:\\Parent\\Gone"));
    EXPECT_EQ(sandbox.readFile("C:\\Parent\\.hidden"), "Stays\n");
}

TEST_F(FileFunctionsTest, DeletesRefuseRootsHomeAndDataFoldersHoweverTheyAreReached) {
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    sandbox.writeFile("C:\\home\\notes.txt", "n");
    fs::create_directory_symlink(sandbox.root(), sandbox.host("C:\\Docs\\up"));
    const std::string dataFolder = "C:\\home\\.local\\share\\tessaly";
    sandbox.writeFile(dataFolder + "\\Windows\\System32\\keep.txt", "k");
    for (const std::string& path :
         std::vector<std::string>{"C:\\Docs\\..", "C:\\Docs\\.\\..\\", "C:\\Docs\\up\\home", "C:\\home",
                                  "C:\\home\\.local", dataFolder, dataFolder + "\\Windows"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(DeleteFolderTree(path));
        EXPECT_FALSE(ShellDelete(path, false, false, true));
        EXPECT_FALSE(ShellDelete(path, true, false, true));
    }
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), "a");
    EXPECT_EQ(sandbox.readFile("C:\\home\\notes.txt"), "n");
    EXPECT_EQ(sandbox.readFile(dataFolder + "\\Windows\\System32\\keep.txt"), "k");

    // A link to the root is removed as a link; the root stays.
    EXPECT_TRUE(ShellDelete("C:\\Docs\\up", false, false, true));
    EXPECT_FALSE(fs::exists(fs::symlink_status(sandbox.host("C:\\Docs\\up"))));
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), "a");
    // An ordinary folder still goes.
    EXPECT_TRUE(DeleteFolderTree("C:\\Docs\\"));
    EXPECT_FALSE(sandbox.exists("C:\\Docs"));
}

// "?" and "*" are characters of a name wherever one file is asked for; only a listing reads them as
// a pattern. FileExists and the platform's own check give the same answer for every name.
TEST_F(FileFunctionsTest, ANameHoldingWildcardCharactersIsOnlyThatName) {
    sandbox.writeFile("C:\\Docs\\a.txt", "abc");
    sandbox.writeFile("C:\\Docs\\what?.txt", "q");
    sandbox.writeFile("C:\\Docs\\star*.txt", "s");
    const struct {
        const char* path;
        bool there;
    } cases[] = {
        {"C:\\Docs\\what?.txt", true},  {"C:\\Docs\\star*.txt", true}, {"C:\\Docs\\what!.txt", false},
        {"C:\\Docs\\?.txt", false},      {"C:\\Docs\\*.txt", false},     {"C:\\Docs\\star?.txt", false},
        {"C:\\Docs\\what*", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FileExists(c.path), c.there) << c.path;
        EXPECT_EQ(platform::exists(c.path), c.there) << c.path;
    }
    // A listing asked for with a pattern still matches it.
    EXPECT_EQ(platform::findFiles("C:\\Docs\\*.txt").size(), 3U);
    EXPECT_EQ(platform::findFiles("C:\\Docs\\what?.txt").size(), 1U);
}
