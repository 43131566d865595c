#include "platform/DriveTable.h"
#include "platform/Environment.h"
#include "platform/ProtectedPaths.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/Sandbox.h"

namespace fs = std::filesystem;
using namespace platform;

namespace {
class ProtectedPathsTest : public testing_support::SandboxTest {};

const char* name(Protection p) {
    switch (p) {
    case Protection::None:
        return "None";
    case Protection::DriveRoot:
        return "DriveRoot";
    case Protection::Home:
        return "Home";
    case Protection::DataFolder:
        return "DataFolder";
    case Protection::ProgramFolder:
        return "ProgramFolder";
    case Protection::SystemFolder:
        return "SystemFolder";
    }
    return "?";
}
} // namespace

TEST_F(ProtectedPathsTest, DotsAndLinksAreResolvedBeforeTheCheck) {
    sandbox.makeFolder("C:\\Docs\\Sub");
    fs::create_directory_symlink(sandbox.root(), sandbox.host("C:\\Docs\\up"));
    fs::create_directory_symlink("/etc", sandbox.host("C:\\Docs\\etclink"));

    EXPECT_EQ(pointedEntryHost(sandbox.host("C:\\Docs\\Sub\\..\\..")), sandbox.root());
    EXPECT_EQ(pointedEntryHost(sandbox.host("C:\\Docs\\.\\Sub\\")), sandbox.host("C:\\Docs\\Sub"));
    // A final link is the link itself; a link on the way is followed.
    EXPECT_EQ(pointedEntryHost(sandbox.host("C:\\Docs\\up")), sandbox.host("C:\\Docs\\up"));
    EXPECT_EQ(pointedEntryHost(sandbox.host("C:\\Docs\\up\\Docs")), sandbox.host("C:\\Docs"));

    const struct {
        std::string windowsPath;
        Protection forDelete, forShred;
    } cases[] = {
        {"C:\\", Protection::DriveRoot, Protection::DriveRoot},
        {"C:\\Docs\\..", Protection::DriveRoot, Protection::DriveRoot},
        {"C:\\Docs\\Sub\\..\\..\\.", Protection::DriveRoot, Protection::DriveRoot},
        {"C:\\Docs\\up\\.", Protection::None, Protection::None}, // the link itself: its "." is text
        {"C:\\home", Protection::Home, Protection::Home},
        {"C:\\Docs\\up\\home\\", Protection::Home, Protection::Home},
        {"C:\\home\\.local", Protection::DataFolder, Protection::DataFolder},
        {"C:\\home\\.local\\share\\tessaly\\Windows\\System32", Protection::DataFolder, Protection::DataFolder},
        {"C:\\home\\.local\\state\\tessaly", Protection::DataFolder, Protection::DataFolder},
        // Inside a data folder: a plain delete may, the shredder may not.
        {"C:\\home\\.local\\share\\tessaly\\Windows\\System32\\systemtsl1.tcl", Protection::None,
         Protection::DataFolder},
        {"C:\\Docs\\etclink\\passwd", Protection::None, Protection::SystemFolder},
        {"C:\\Docs\\etclink", Protection::None, Protection::None}, // the link alone goes, never /etc
        {"C:\\Docs\\Sub", Protection::None, Protection::None},
        {"C:\\home\\Music", Protection::None, Protection::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.windowsPath);
        EXPECT_STREQ(name(deleteProtectionOf(c.windowsPath)), name(c.forDelete));
        EXPECT_STREQ(name(shredProtectionOf(c.windowsPath)), name(c.forShred));
    }
}

TEST_F(ProtectedPathsTest, SystemAndProgramFoldersAreKeptFromTheShredder) {
    const struct {
        std::string host;
        Protection forShred;
    } cases[] = {
        {"/", Protection::DriveRoot},
        {"/usr", Protection::SystemFolder},
        {"/usr/share/doc", Protection::SystemFolder},
        {"/etc/../etc/hosts", Protection::SystemFolder},
        {"/lib64", Protection::SystemFolder},
        {"/var/log", Protection::SystemFolder},
        {"/var", Protection::SystemFolder},
        {"/var/tmp/scratch", Protection::None},
        {"/var/tmp", Protection::SystemFolder},
        {"/var/tmp/", Protection::SystemFolder},
        {"/var/tmp/../log", Protection::SystemFolder},
        {"/tmp", Protection::SystemFolder},
        {"/proc/self", Protection::SystemFolder},
        {"/proc/self/cwd", Protection::SystemFolder},
        {"/run/user", Protection::SystemFolder},
        {applicationFolderHost(), Protection::ProgramFolder},
        {applicationFolderHost() + "/some-binary", Protection::ProgramFolder},
        {fs::path(applicationFolderHost()).parent_path().string(), Protection::ProgramFolder},
    };
    // A folder that holds the sandbox's drive folder (the checkout may lie under /tmp or /var) is
    // refused first as one holding a drive.
    const std::string drive = fs::weakly_canonical(sandbox.root()).string() + "/";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        const std::string folder = pointedEntryHost(c.host);
        const bool holdsDrive = drive.compare(0, folder.size() + 1, folder + "/") == 0 || folder == "/";
        const Protection expected = holdsDrive && c.forShred != Protection::None ? Protection::DriveRoot : c.forShred;
        EXPECT_STREQ(name(shredProtection(pointedEntryHost(c.host))), name(expected));
    }
    // The folders the system keeps for everyone are kept themselves (some also as holders of homes or
    // volumes); what lies in them is the user's.
    for (const char* shared : {"/srv", "/home", "/mnt", "/media", "/root"})
        EXPECT_NE(shredProtection(pointedEntryHost(shared)), Protection::None) << shared;
    // A plain delete keeps only roots, homes and data folders.
    EXPECT_EQ(deleteProtection(pointedEntryHost("/usr/share/doc")), Protection::None);
    // Every user's home is protected, not only $HOME (which points into the sandbox here): root's,
    // from the password database, is on every system.
    if (fs::is_directory("/root")) {
        EXPECT_EQ(deleteProtection(pointedEntryHost("/root")), Protection::Home);
    }
}

TEST_F(ProtectedPathsTest, AVolumeTheDriveTableListsIsTheUsersBelowItsRoot) {
    EXPECT_EQ(shredProtection(pointedEntryHost("/dev/shm/stick-file")), Protection::SystemFolder);
    registry().setString(RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free\\Drives", "Q", "/dev/shm");
    reloadDrives();
    EXPECT_EQ(shredProtection(pointedEntryHost("/dev/shm/stick-file")), Protection::None);
    EXPECT_EQ(shredProtection(pointedEntryHost("/dev/shm")), Protection::DriveRoot);
    EXPECT_EQ(deleteProtection(pointedEntryHost("/dev")), Protection::DriveRoot); // holds a drive root
}

// A snapshot keeps the places and the folders it resolved for a run, but a folder swapped for a link
// during the run is resolved again: the entry behind it is judged where it now lies.
TEST_F(ProtectedPathsTest, ASnapshotSeesAFolderSwappedForALinkDuringItsRun) {
    sandbox.makeFolder("C:\\Work");
    const std::string entry = sandbox.host("C:\\Work") + "/notes.txt";
    const ProtectionSnapshot snapshot;
    EXPECT_EQ(shredProtection(pointedEntryHost(entry)), Protection::None);
    fs::rename(sandbox.host("C:\\Work"), sandbox.host("C:\\Elsewhere"));
    fs::create_directory_symlink("/etc", sandbox.host("C:\\Work"));
    EXPECT_EQ(pointedEntryHost(entry), "/etc/notes.txt");
    EXPECT_EQ(shredProtection(pointedEntryHost(entry)), Protection::SystemFolder);
}
