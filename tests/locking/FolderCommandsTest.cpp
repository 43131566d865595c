#include "LockingTestSupport.h"

#include "core/AppPassword.h"
#include "core/LockChecks.h"
#include "core/Recovery.h"
#include "core/Register.h"
#include "core/Scrambler.h"
#include "locking/FolderCommands.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sqlite3.h>

using locking::FolderRequest;
using platform::Answer;
using platform::Icon;
using namespace locking_test;

namespace {

const std::string kUnrecordableFolder = "The folder 'C:\\Docs\\a|b' cannot be locked: its path holds a \"|\" or a "
                                        "line break, which the list of locked items cannot keep. Rename it and try "
                                        "again.";
const char* const kIni = "[.ShellClassInfo]\r\nCLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n\r\n";

class FolderCommandsTest : public testing_support::SandboxTest {
protected:
    void SetUp() override { registerPath = makeRegister(); }

    // The request the main window makes for a plain folder "C:\Docs\<name>" selected in the tree.
    FolderRequest request(const std::string& key, const std::string& password, const std::string& confirmation) {
        FolderRequest r;
        r.folder.key = key;
        const auto slash = key.rfind('\\');
        r.folder.text = key.substr(slash + 1);
        r.folder.fullPath = locking::FolderPasswordValueName(key);
        r.password = password;
        r.confirmation = confirmation;
        r.ownFolder = "C:\\Program";
        r.ownExecutable = "C:\\Program\\tessaly";
        r.registerPath = registerPath;
        return r;
    }
    // The same folder selected after its lock: key = the locked path, text and full path unchanged.
    FolderRequest lockedRequest(const std::string& plainKey, const std::string& password,
                                const std::string& confirmation) {
        FolderRequest r = request(plainKey, password, confirmation);
        r.folder.key = locking::LockedFolderPath(plainKey, r.folder.text);
        return r;
    }

    std::vector<core::RegisterItem> lockedFolders() {
        testing_support::ScriptedPrompt p;
        return core::GetLockedFolders(registerPath, p);
    }
    std::string storedValue(const std::string& name) {
        return GetStringFull(HKEY_CURRENT_USER, settings::kFolderPasswordKey, name);
    }
    unsigned attributes(const std::string& path) { return platform::getAttributes(path) & ~platform::kAttrDirectory; }

    std::string registerPath;
    testing_support::ScriptedPrompt prompt;
};

TEST_F(FolderCommandsTest, NamesOfALockedFolder) {
    EXPECT_EQ(locking::LockedFolderPath("C:\\Docs\\Old", "Old"), "C:\\Docs\\" + TransformName("Old") + ".TSL");
    EXPECT_EQ(locking::RestoredFolderPath("C:\\Docs\\" + TransformName("Old") + ".TSL"), "C:\\Docs\\Old");
    EXPECT_EQ(locking::FolderPasswordValueName("C:\\Docs\\Old"), "C:\\\\Docs\\Old");
}

TEST_F(FolderCommandsTest, LockFolderHidesRenamesAndRecordsTheFolder) {
    sandbox.writeFile("C:\\Docs\\Old\\a.txt", "a");
    const std::string locked = "C:\\Docs\\" + TransformName("Old") + ".TSL";
    const auto result = locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt);

    ASSERT_EQ(prompt.boxes.size(), 1u) << boxList(prompt);
    EXPECT_EQ(prompt.last().text, "Are you sure you want to lock 'C:\\Docs\\Old' folder ?");
    EXPECT_EQ(prompt.last().buttons, platform::Buttons::YesNo);
    EXPECT_EQ(prompt.last().icon, Icon::Question);
    EXPECT_EQ(prompt.last().title, "Lock Confirmation");
    EXPECT_TRUE(result.moved);
    EXPECT_EQ(result.newPath, locked);
    EXPECT_TRUE(result.clearPasswords);

    EXPECT_FALSE(sandbox.exists("C:\\Docs\\Old"));
    EXPECT_EQ(attributes(locked), platform::kAttrHidden | platform::kAttrSystem);
    EXPECT_EQ(sandbox.readFile(locked + "\\desktop.ini"), kIni);
    EXPECT_EQ(attributes(locked + "\\desktop.ini"), platform::kAttrHidden);
    EXPECT_EQ(sandbox.readFile(locked + "\\a.txt"), "a");
    // Hidden from the user's file manager as well.
    EXPECT_EQ(hiddenList(sandbox.host("C:\\Docs")), std::vector<std::string>{TransformName("Old") + ".TSL"});

    const auto entries = lockedFolders();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].key, locked);
    EXPECT_EQ(entries[0].text, "C:\\Docs\\Old");
    // The password is kept as a one-way verifier only.
    EXPECT_TRUE(core::IsVerifier(storedValue("C:\\\\Docs\\Old")));
    EXPECT_TRUE(locking::CheckFolderPassword("C:\\\\Docs\\Old", "pw"));
    for (const char* name : {settings::ShowSuperHidden.name, settings::ExplorerHidden.name, settings::SuperHidden.name}) {
        platform::RegValue v;
        ASSERT_EQ(platform::registry().queryValue(platform::RegRoot::CurrentUser, settings::kAdvancedKey, name, v), 0)
            << name;
        EXPECT_EQ(v.type, platform::REG_DWORD);
        EXPECT_EQ(v.data, std::string(4, '\0'));
    }
}

TEST_F(FolderCommandsTest, LockFolderRefusals) {
    sandbox.makeFolder("C:\\Program");
    sandbox.makeFolder("C:\\program");
    sandbox.writeFile("C:\\Docs\\Done\\desktop.ini", std::string("[x]\r\n") + kIni);
    sandbox.makeFolder("C:\\Docs\\Old");
    struct Case {
        std::string key, password, confirmation;
        std::vector<Answer> answers;
        std::string text;
        Icon icon;
    };
    const std::vector<Case> cases = {
        {"C:\\Docs\\Old", "a", "b", {}, "The two passwords are not the same!", Icon::Exclamation},
        {"C:\\Program", "", "", {}, "You can not lock your application folder", Icon::Critical},
        // The comparison with the program's folder is exact: another case reaches the question.
        {"C:\\program",
         "pw",
         "pw",
         {Answer::No},
         "Are you sure you want to lock 'C:\\program' folder ?",
         Icon::Question},
        {"C:\\", "", "", {}, "Sorry you cannot lock C:\\ Drive's Root Folder", Icon::None},
        {"d:", "", "", {}, "Sorry you cannot lock d:\\ Drive's Root Folder", Icon::None},
        {"C:\\Docs\\Done", "", "", {}, "The folder you are trying to lock is already locked.", Icon::Exclamation},
        // Every refusal of the folder comes first; then an empty password is refused before the question.
        {"C:\\Docs\\Old", "", "", {}, "Please type a password.", Icon::Exclamation},
        {"C:\\Docs\\Old",
         "pw",
         "pw",
         {Answer::No},
         "Are you sure you want to lock 'C:\\Docs\\Old' folder ?",
         Icon::Question},
        {"", "", "", {}, "No folder has been selected", Icon::Exclamation},
        // The register could not keep this path.
        {"C:\\Docs\\a|b", "", "", {}, kUnrecordableFolder, Icon::Exclamation},
    };
    sandbox.makeFolder("C:\\Docs\\a|b");
    for (const auto& c : cases) {
        testing_support::ScriptedPrompt p;
        for (auto a : c.answers)
            p.answer(a);
        const auto result = locking::LockFolder(request(c.key, c.password, c.confirmation), p);
        ASSERT_EQ(p.boxes.size(), 1u) << c.key << "\n" << boxList(p);
        EXPECT_EQ(p.last().text, c.text);
        EXPECT_EQ(p.last().icon, c.icon) << c.text;
        EXPECT_FALSE(result.moved);
    }
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old"));
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\Old\\desktop.ini"));
    EXPECT_TRUE(sandbox.exists("C:\\program"));
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\a|b"));
    EXPECT_TRUE(lockedFolders().empty());
}

TEST_F(FolderCommandsTest, NestedLocksAndCaseTwinsAreRefusedBeforeAnythingChanges) {
    // A locked folder inside C:\Docs, a locked file inside C:\Mix, a locked C:\Secret with a folder and a
    // file inside it, and a locked C:\Case\Data beside a plain C:\Case\data.
    sandbox.makeFolder("C:\\Docs\\Sub");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Docs\\Sub", "pw", "pw"), prompt).moved);
    sandbox.writeFile("C:\\Mix\\a.txt", "a");
    locking::FileBatch files;
    files.folder = "C:\\Mix";
    files.checked = {{"a.txt", "a.txt"}};
    files.password = files.confirmation = "pw";
    files.registerPath = registerPath;
    ASSERT_EQ(locking::LockFiles(files, prompt).end, locking::RunEnd::Completed);
    sandbox.writeFile("C:\\Secret\\inner\\x.txt", "x");
    sandbox.writeFile("C:\\Secret\\f.txt", "f");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Secret", "pw", "pw"), prompt).moved);
    const std::string secret = locking::LockedFolderPath("C:\\Secret", "Secret");
    sandbox.makeFolder("C:\\Case\\Data");
    sandbox.makeFolder("C:\\Case\\data");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Case\\Data", "pw", "pw"), prompt).moved);
    const std::string registerBefore = sandbox.readFile(registerPath);

    const std::string inside =
        "'C:\\Secret\\inner' lies inside the locked folder 'C:\\Secret'. Unlock that folder first.";
    const struct {
        std::string key, message;
    } cases[] = {
        {"C:\\Docs", "'C:\\Docs' holds locked items. Unlock them first."},
        {"C:\\Mix", "'C:\\Mix' holds locked items. Unlock them first."},
        {secret + "\\inner", inside},
        {"C:\\Case\\data", "A locked folder with the same name in another letter case exists."},
    };
    for (const auto& c : cases) {
        for (const bool withFiles : {false, true}) {
            SCOPED_TRACE(c.key + (withFiles ? " with files" : ""));
            testing_support::ScriptedPrompt p;
            FolderRequest r = request(c.key, "pw", "pw");
            const auto result = withFiles ? locking::LockFolderAndFiles(r, p) : locking::LockFolder(r, p);
            EXPECT_FALSE(result.moved);
            ASSERT_EQ(p.boxes.size(), 1u) << boxList(p);
            EXPECT_EQ(p.last().text, c.message);
            EXPECT_EQ(p.last().icon, Icon::Exclamation);
        }
    }
    // A file inside the locked folder is refused by the file lock as well.
    files.folder = secret;
    files.checked = {{"f.txt", "f.txt"}};
    testing_support::ScriptedPrompt p;
    EXPECT_EQ(locking::LockFiles(files, p).end, locking::RunEnd::Completed);
    EXPECT_EQ(p.texts(), std::vector<std::string>{"'C:\\Secret\\f.txt' lies inside the locked folder 'C:\\Secret'. "
                                                  "Unlock that folder first."});

    EXPECT_EQ(sandbox.readFile(registerPath), registerBefore);
    EXPECT_EQ(sandbox.readFile(secret + "\\f.txt"), "f");
    EXPECT_EQ(hostEntries(sandbox.host(secret + "\\inner")), std::vector<std::string>{"x.txt"});
    EXPECT_EQ(hostEntries(sandbox.host("C:\\Case")),
              (std::vector<std::string>{".hidden", GetFileNamePart(locking::LockedFolderPath("C:\\Case\\Data", "Data")),
                                        "data"}));
}

TEST_F(FolderCommandsTest, AWriteProtectedFolderIsNamedWithTheSystemsReason) {
    sandbox.writeFile("C:\\Docs\\Kept\\a.txt", "a");
    if (!testing_support::setImmutable(sandbox.host("C:\\Docs\\Kept"), true))
        GTEST_SKIP() << "cannot make a folder refuse changes here";
    testing_support::ScriptedPrompt p;
    const auto result = locking::LockFolder(request("C:\\Docs\\Kept", "pw", "pw"), p);
    testing_support::setImmutable(sandbox.host("C:\\Docs\\Kept"), false);
    EXPECT_FALSE(result.moved);
    ASSERT_EQ(p.boxes.size(), 2u) << boxList(p); // the question, then why it failed
    EXPECT_EQ(p.last().text, "The folder 'C:\\Docs\\Kept' could not be locked: Operation not permitted.");
    EXPECT_EQ(p.last().icon, Icon::Critical);
    EXPECT_EQ(hostEntries(sandbox.host("C:\\Docs\\Kept")), std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(lockedFolders().empty());
}

TEST_F(FolderCommandsTest, AnExistingDesktopIniKeepsItsLinesAndGainsTheClassId) {
    sandbox.writeFile("C:\\Docs\\Old\\desktop.ini", "[.ShellClassInfo]\r\nIconResource=x.ico,0\r\n");
    const auto result = locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt);
    ASSERT_TRUE(result.moved) << boxList(prompt);
    const std::string ini = sandbox.readFile(result.newPath + "\\desktop.ini");
    EXPECT_NE(ini.find("IconResource=x.ico,0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("CLSID={645FF040-5081-101B-9F08-00AA002F954E}"), std::string::npos) << ini;
}

TEST_F(FolderCommandsTest, UnlockGivesAnEarlierDesktopIniBackWithoutTheClassId) {
    const std::string own = "[.ShellClassInfo]\r\nIconResource=x.ico,0\r\n[Extra]\r\nk=v\r\n";
    sandbox.writeFile("C:\\Docs\\Old\\desktop.ini", own);
    ASSERT_TRUE(locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt).moved);

    testing_support::ScriptedPrompt p;
    ASSERT_TRUE(locking::UnlockFolder(lockedRequest("C:\\Docs\\Old", "pw", "pw"), p).moved) << boxList(p);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\Old\\desktop.ini"), own);
    EXPECT_EQ(attributes("C:\\Docs\\Old\\desktop.ini"), 0u);
}

TEST_F(FolderCommandsTest, AFailedRenamePutsDesktopIniBackAndStoresNothing) {
    for (bool hadIni : {false, true}) {
        const std::string key = hadIni ? "C:\\Docs\\Two" : "C:\\Docs\\One";
        const std::string name = key.substr(8);
        sandbox.makeFolder(key);
        if (hadIni)
            sandbox.writeFile(key + "\\desktop.ini", "[Own]\r\nx=1\r\n");
        // The locked name is taken already: the rename never overwrites.
        sandbox.makeFolder("C:\\Docs\\" + TransformName(name) + ".TSL");
        testing_support::ScriptedPrompt p;
        const auto result = locking::LockFolder(request(key, "pw", "pw"), p);
        EXPECT_FALSE(result.moved);
        EXPECT_FALSE(result.clearPasswords);
        ASSERT_EQ(p.boxes.size(), 2u) << boxList(p);
        EXPECT_EQ(p.last().text, "The folder '" + key + "' could not be locked.\r\nFile already exists");
        EXPECT_EQ(p.last().icon, Icon::Critical);
        EXPECT_EQ(p.last().title, "Tessaly");
        EXPECT_EQ(sandbox.exists(key + "\\desktop.ini"), hadIni);
        if (hadIni) {
            EXPECT_EQ(sandbox.readFile(key + "\\desktop.ini"), "[Own]\r\nx=1\r\n");
            EXPECT_EQ(attributes(key + "\\desktop.ini"), 0u);
        }
        EXPECT_EQ(attributes(key), 0u);
        EXPECT_EQ(storedValue(locking::FolderPasswordValueName(key)), "");
    }
    EXPECT_TRUE(lockedFolders().empty());
    EXPECT_TRUE(hiddenList(sandbox.host("C:\\Docs")).empty());
}

TEST_F(FolderCommandsTest, ALockWhosePasswordOrEntryCannotBeKeptIsNotMade) {
    const auto refuseRegistryWrites = [] {
        platform::registry();
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(platform::registryFileHost().c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db,
                               "CREATE TRIGGER refuse BEFORE INSERT ON vals BEGIN SELECT RAISE(ABORT, 'full'); END;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    };
    const auto registerAFolder = [this] {
        std::filesystem::remove(sandbox.host(registerPath));
        std::filesystem::create_directory(sandbox.host(registerPath));
    };
    const struct {
        const char* key;
        std::function<void()> breakIt;
        std::string says;
    } cases[] = {
        // In this order: the second case breaks the register for good.
        {"C:\\Docs\\Password", refuseRegistryWrites,
         "'C:\\Docs\\Password' was not locked: its password could not be stored: " +
             platform::errorDescription(platform::ErrorKind::PathFileAccess) + "."},
        {"C:\\Docs\\Register", registerAFolder,
         "'C:\\Docs\\Register' was not locked: it could not be recorded in the Security Vault: " +
             platform::errorDescription(platform::ErrorKind::PathFileAccess) + "."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        sandbox.makeFolder(c.key);
        sandbox.writeFile(std::string(c.key) + "\\note.txt", "note");
        c.breakIt();
        testing_support::ScriptedPrompt p;
        p.answers = {Answer::Yes};
        const auto result = locking::LockFolder(request(c.key, "pw", "pw"), p);
        EXPECT_FALSE(result.moved);
        EXPECT_EQ(p.last().text, c.says) << boxList(p);
        // The folder is as it was: not renamed, no desktop.ini, no password to open it with.
        EXPECT_EQ(sandbox.readFile(std::string(c.key) + "\\note.txt"), "note");
        EXPECT_FALSE(sandbox.exists(std::string(c.key) + "\\desktop.ini"));
        EXPECT_EQ(attributes(c.key), 0u);
        EXPECT_EQ(storedValue(locking::FolderPasswordValueName(c.key)), "");
    }
}

TEST_F(FolderCommandsTest, UnlockFolderGivesTheFolderBack) {
    sandbox.writeFile("C:\\Docs\\Old\\a.txt", "a");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt).moved);

    testing_support::ScriptedPrompt p;
    const auto result = locking::UnlockFolder(lockedRequest("C:\\Docs\\Old", "pw", "pw"), p);
    ASSERT_EQ(p.boxes.size(), 1u) << boxList(p);
    EXPECT_EQ(p.last().text, "Are you sure you want to unlock 'C:\\Docs\\Old' folder ?");
    EXPECT_EQ(p.last().title, "Unlock Confirmation");
    EXPECT_TRUE(result.moved);
    EXPECT_EQ(result.newPath, "C:\\Docs\\Old");
    EXPECT_TRUE(result.clearPasswords);
    EXPECT_EQ(hostEntries(sandbox.host("C:\\Docs\\Old")), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(attributes("C:\\Docs\\Old"), 0u);
    EXPECT_EQ(hostEntries(sandbox.host("C:\\Docs")), std::vector<std::string>{"Old"});
    EXPECT_TRUE(lockedFolders().empty());
    EXPECT_EQ(storedValue("C:\\\\Docs\\Old"), "");
}

TEST_F(FolderCommandsTest, UnlockFolderRefusals) {
    sandbox.makeFolder("C:\\Docs\\Old");
    sandbox.makeFolder("C:\\Docs\\Plain");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt).moved);
    const std::string locked = locking::LockedFolderPath("C:\\Docs\\Old", "Old");

    struct Case {
        FolderRequest req;
        std::vector<Answer> answers;
        std::vector<std::string> texts;
        bool clear;
    };
    const std::vector<Case> cases = {
        {lockedRequest("C:\\Docs\\Old", "pw", "px"), {}, {"password confirmation error"}, true},
        {lockedRequest("C:\\Docs\\Old", "PW", "PW"), {}, {"Password incorrect"}, true},
        {lockedRequest("C:\\Docs\\Old", "pw", "pw"),
         {Answer::No},
         {"Are you sure you want to unlock 'C:\\Docs\\Old' folder ?"},
         false},
        // Not a locked folder, and the (empty) stored value matches: nothing at all.
        {request("C:\\Docs\\Plain", "", ""), {}, {}, false},
        {request("", "", ""), {}, {"No Folder is locked"}, false},
    };
    for (const auto& c : cases) {
        testing_support::ScriptedPrompt p;
        for (auto a : c.answers)
            p.answer(a);
        const auto result = locking::UnlockFolder(c.req, p);
        EXPECT_EQ(p.texts(), c.texts);
        EXPECT_FALSE(result.moved);
        EXPECT_EQ(result.clearPasswords, c.clear) << c.req.folder.key;
    }
    EXPECT_EQ(attributes(locked), platform::kAttrHidden | platform::kAttrSystem);
    EXPECT_EQ(lockedFolders().size(), 1u);
    EXPECT_TRUE(locking::CheckFolderPassword("C:\\\\Docs\\Old", "pw"));
}

TEST_F(FolderCommandsTest, AnUnlockTakesThePasswordOnce) {
    sandbox.makeFolder("C:\\Docs\\Old");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt).moved);
    testing_support::ScriptedPrompt p;
    EXPECT_TRUE(locking::UnlockFolder(lockedRequest("C:\\Docs\\Old", "pw", ""), p).moved) << boxList(p);
    EXPECT_EQ(p.texts(), std::vector<std::string>{"Are you sure you want to unlock 'C:\\Docs\\Old' folder ?"});
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old"));
}

TEST_F(FolderCommandsTest, ALockedFolderWithoutDesktopIniIsStillGivenBack) {
    sandbox.makeFolder("C:\\Docs\\Old");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt).moved);
    const std::string locked = locking::LockedFolderPath("C:\\Docs\\Old", "Old");
    platform::setAttributes(locked + "\\desktop.ini", 0);
    std::filesystem::remove(sandbox.host(locked + "\\desktop.ini"));

    testing_support::ScriptedPrompt p;
    const auto result = locking::UnlockFolder(lockedRequest("C:\\Docs\\Old", "pw", "pw"), p);
    EXPECT_TRUE(result.moved) << boxList(p);
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old"));
    EXPECT_EQ(attributes("C:\\Docs\\Old"), 0u);
    EXPECT_TRUE(hiddenList(sandbox.host("C:\\Docs")).empty());
    EXPECT_TRUE(lockedFolders().empty());
}

TEST_F(FolderCommandsTest, AVanishedLockedFolderIsForgottenOnlyAfterTheUserSaysYes) {
    sandbox.makeFolder("C:\\Docs\\Old");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt).moved);
    std::filesystem::remove_all(sandbox.host(locking::LockedFolderPath("C:\\Docs\\Old", "Old")));
    const std::string stored = storedValue("C:\\\\Docs\\Old");
    ASSERT_NE(stored, "");

    // No is the default answer: the entry and the password stay.
    for (const Answer answer : {Answer::No, Answer::Yes}) {
        testing_support::ScriptedPrompt p;
        p.answer(answer);
        const auto result = locking::UnlockFolder(lockedRequest("C:\\Docs\\Old", "pw", "pw"), p);
        EXPECT_FALSE(result.moved);
        ASSERT_EQ(p.boxes.size(), 1u) << boxList(p);
        EXPECT_EQ(p.last().text, "The folder 'C:\\Docs\\Old' no longer exists. Remove it from the Security Vault?");
        EXPECT_EQ(p.last().buttons, platform::Buttons::YesNoDefaultNo);
        EXPECT_EQ(p.last().icon, Icon::Question);
        EXPECT_EQ(lockedFolders().size(), answer == Answer::Yes ? 0u : 1u);
        EXPECT_EQ(storedValue("C:\\\\Docs\\Old"), answer == Answer::Yes ? "" : stored);
    }
}

TEST_F(FolderCommandsTest, AFolderWhoseParentIsMissingIsNeverForgotten) {
    sandbox.makeFolder("C:\\Docs\\Away\\Old");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Docs\\Away\\Old", "pw", "pw"), prompt).moved);
    // The parent is away (an unplugged drive, or a folder moved or locked since): the folder may be there.
    std::filesystem::rename(sandbox.host("C:\\Docs\\Away"), sandbox.host("C:\\Docs\\Elsewhere"));

    testing_support::ScriptedPrompt p;
    p.answer(Answer::Yes);
    locking::UnlockFolder(lockedRequest("C:\\Docs\\Away\\Old", "pw", "pw"), p);
    ASSERT_EQ(p.boxes.size(), 1u) << boxList(p);
    EXPECT_EQ(p.last().text, "The folder 'C:\\Docs\\Away\\Old' cannot be reached: 'C:\\Docs\\Away' is not there. "
                             "Connect its drive or unlock the folder that holds it, then try again.");
    EXPECT_EQ(p.last().buttons, platform::Buttons::OK);
    EXPECT_EQ(lockedFolders().size(), 1u);
    EXPECT_NE(storedValue("C:\\\\Docs\\Away\\Old"), "");
}

TEST_F(FolderCommandsTest, LockFolderAndFilesLocksTheFilesThenHidesTheFolderWithoutAPassword) {
    sandbox.writeFile("C:\\Docs\\Old\\a.txt", "a");
    sandbox.writeFile("C:\\Docs\\Old\\b.txt", "b");
    const auto result = locking::LockFolderAndFiles(request("C:\\Docs\\Old", "files", "files"), prompt);
    ASSERT_EQ(prompt.texts(), std::vector<std::string>{"Are you sure you want to lock 'C:\\Docs\\Old' folder ?"});
    ASSERT_TRUE(result.moved);
    EXPECT_TRUE(result.clearPasswords);
    const std::string locked = result.newPath;
    EXPECT_EQ(locked, locking::LockedFolderPath("C:\\Docs\\Old", "Old"));
    EXPECT_EQ(hostEntries(sandbox.host(locked)),
              (std::vector<std::string>{".hidden", "desktop.ini", TransformName("a.txt") + ".TSL",
                                        TransformName("b.txt") + ".TSL"}));
    EXPECT_EQ(attributes(locked), platform::kAttrHidden | platform::kAttrSystem);
    EXPECT_EQ(lockedFolders().size(), 1u);
    EXPECT_EQ(storedValue("C:\\\\Docs\\Old"), "");

    // No stored password (the files have theirs): Unlock Folder takes two empty boxes.
    testing_support::ScriptedPrompt p;
    EXPECT_TRUE(locking::UnlockFolder(lockedRequest("C:\\Docs\\Old", "", ""), p).moved) << boxList(p);
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old\\" + TransformName("a.txt") + ".TSL"));
}

TEST_F(FolderCommandsTest, LockFolderAndFilesWithStrongLocksMakesTsxFiles) {
    sandbox.writeFile("C:\\Docs\\Old\\a.txt", "a");
    sandbox.writeFile("C:\\Docs\\Old\\big.bin", std::string(300000, 'b'));
    auto r = request("C:\\Docs\\Old", "files key", "files key");
    r.strongLocks = true;
    const auto result = locking::LockFolderAndFiles(r, prompt);
    ASSERT_TRUE(result.moved) << boxList(prompt);
    std::size_t strong = 0;
    for (const std::string& name : hostEntries(sandbox.host(result.newPath)))
        strong += name.size() == 20 && name.substr(16) == ".TSX";
    EXPECT_EQ(strong, 2u);
    EXPECT_EQ(core::RegisterEntries(registerPath, core::RegisterKind::StrongFile).size(), 2u);
}

TEST_F(FolderCommandsTest, LockFolderAndFilesLeavesTheFolderAloneWhenTheFileLockRefuses) {
    sandbox.writeFile("C:\\Docs\\Old\\a.txt", "a");
    const auto result = locking::LockFolderAndFiles(request("C:\\Docs\\Old", "x", "y"), prompt);
    EXPECT_EQ(prompt.texts(), (std::vector<std::string>{"Are you sure you want to lock 'C:\\Docs\\Old' folder ?",
                                                        "The two passwords are not the same!"}));
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(hostEntries(sandbox.host("C:\\Docs\\Old")), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(attributes("C:\\Docs\\Old"), 0u);
    EXPECT_TRUE(lockedFolders().empty());

    // The roots are refused before the question, and so is a path the register could not keep.
    sandbox.makeFolder("C:\\Docs\\a|b");
    for (const auto& [key, text] :
         std::vector<std::pair<std::string, std::string>>{{"c:\\", "Sorry you cannot lock this folder"},
                                                          {"D:", "Sorry you cannot lock this folder"},
                                                          {"C:\\Docs\\a|b", kUnrecordableFolder}}) {
        testing_support::ScriptedPrompt p;
        locking::LockFolderAndFiles(request(key, "", ""), p);
        EXPECT_EQ(p.texts(), std::vector<std::string>{text});
    }
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\a|b"));

    // Two empty boxes are refused before the question: nothing would protect the files.
    testing_support::ScriptedPrompt empty;
    EXPECT_FALSE(locking::LockFolderAndFiles(request("C:\\Docs\\Old", "", ""), empty).moved);
    EXPECT_EQ(empty.texts(), std::vector<std::string>{"Please type a password."});
    EXPECT_EQ(empty.last().icon, Icon::Exclamation);
    EXPECT_EQ(hostEntries(sandbox.host("C:\\Docs\\Old")), std::vector<std::string>{"a.txt"});
}

TEST_F(FolderCommandsTest, LockFolderAndFilesOnAnAlreadyLockedFolderLocksTheFilesAndSaysSo) {
    sandbox.writeFile("C:\\Docs\\Old\\a.txt", "a");
    sandbox.writeFile("C:\\Docs\\Old\\desktop.ini", kIni);
    const auto result = locking::LockFolderAndFiles(request("C:\\Docs\\Old", "pw", "pw"), prompt);
    EXPECT_EQ(prompt.last().text, "The folder you are trying to lock is already locked.");
    EXPECT_FALSE(result.moved);
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\Old\\" + TransformName("a.txt") + ".TSL"));
}

TEST_F(FolderCommandsTest, AFolderWithAStoredPasswordNeverComesBackWithoutIt) {
    sandbox.writeFile("C:\\Docs\\Old\\a.txt", "a");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt).moved);
    const std::string locked = locking::LockedFolderPath("C:\\Docs\\Old", "Old");

    // Unlock Folder and files reads no password of its own: the folder's must still be given.
    testing_support::ScriptedPrompt p;
    auto result = locking::UnlockFolderAndFiles(lockedRequest("C:\\Docs\\Old", "", ""), p);
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(p.texts(), std::vector<std::string>{"Password incorrect"});
    EXPECT_TRUE(sandbox.exists(locked));
    EXPECT_EQ(lockedFolders().size(), 1u);

    p.boxes.clear();
    result = locking::UnlockFolderAndFiles(lockedRequest("C:\\Docs\\Old", "pw", ""), p);
    EXPECT_TRUE(result.moved) << boxList(p);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\Old\\a.txt"), "a");
    EXPECT_FALSE(locking::HasStoredFolderPassword("C:\\\\Docs\\Old"));
    EXPECT_TRUE(lockedFolders().empty());
}

TEST_F(FolderCommandsTest, AFolderPasswordThatCannotBeReadOpensNothing) {
    sandbox.writeFile("C:\\Docs\\Old\\a.txt", "a");
    ASSERT_TRUE(locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt).moved);
    const std::string locked = locking::LockedFolderPath("C:\\Docs\\Old", "Old");
    // The settings database is damaged under the open program: no value can be read any more.
    {
        std::ofstream damage(platform::registryFileHost(), std::ios::binary | std::ios::trunc);
        damage << std::string(8192, 'x');
    }
    const std::string says = "The folder's password could not be read: the settings database could not be read.";
    for (const bool withFiles : {false, true}) {
        SCOPED_TRACE(withFiles);
        testing_support::ScriptedPrompt p;
        const FolderRequest r = lockedRequest("C:\\Docs\\Old", "", "");
        const auto result = withFiles ? locking::UnlockFolderAndFiles(r, p) : locking::UnlockFolder(r, p);
        EXPECT_FALSE(result.moved);
        EXPECT_EQ(p.texts(), std::vector<std::string>{says});
        EXPECT_TRUE(sandbox.exists(locked));
    }
}

TEST_F(FolderCommandsTest, UnlockFolderAndFilesUnlocksTheFilesAndTheFolder) {
    sandbox.writeFile("C:\\Docs\\Old\\a.txt", "a");
    ASSERT_TRUE(locking::LockFolderAndFiles(request("C:\\Docs\\Old", "pw", "pw"), prompt).moved);

    testing_support::ScriptedPrompt p;
    const auto result = locking::UnlockFolderAndFiles(lockedRequest("C:\\Docs\\Old", "pw", ""), p);
    EXPECT_EQ(p.texts(), std::vector<std::string>{"Are you sure you want to unlock 'C:\\Docs\\Old' folder ?"});
    EXPECT_TRUE(result.moved);
    EXPECT_EQ(result.newPath, "C:\\Docs\\Old");
    EXPECT_EQ(hostEntries(sandbox.host("C:\\Docs\\Old")), std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(lockedFolders().empty());
    testing_support::ScriptedPrompt q;
    EXPECT_TRUE(core::GetLockedTSLFiles(registerPath, q).empty());
}

} // namespace

TEST_F(FolderCommandsTest, TheProgramsOwnAndTheUsersFoldersAreNeverLockedAway) {
    // "C:\home" is the sandbox's home; its ".local" holds the registry, the register and the
    // favourites, which a lock would rename out of the program's reach.
    sandbox.writeFile("C:\\home\\Letters\\a.txt", "a");
    const std::string refused[] = {"C:\\home\\.local", "C:\\home", "C:\\home\\.local\\share\\tessaly\\Windows"};
    for (const auto& path : refused) {
        SCOPED_TRACE(path);
        const std::string text = "'" + path + "' can't be locked: it holds your system or Tessaly's own files.";
        testing_support::ScriptedPrompt p;
        EXPECT_FALSE(locking::LockFolder(request(path, "pw", "pw"), p).moved);
        EXPECT_EQ(p.texts(), std::vector<std::string>{text});
        testing_support::ScriptedPrompt q;
        EXPECT_FALSE(locking::LockFolderAndFiles(request(path, "pw", "pw"), q).moved);
        EXPECT_EQ(q.texts(), std::vector<std::string>{text});
    }
    EXPECT_EQ(core::RefuseFileLock(registerPath, "C:\\home\\.local\\share\\tessaly\\registry.sqlite3"),
              "'C:\\home\\.local\\share\\tessaly\\registry.sqlite3' can't be locked: it holds your system or "
              "Tessaly's own files.");
    // A folder of the user's own, inside the home folder, is still locked.
    testing_support::ScriptedPrompt ok;
    ok.answer(Answer::Yes);
    EXPECT_TRUE(locking::LockFolder(request("C:\\home\\Letters", "pw", "pw"), ok).moved) << boxList(ok);
    EXPECT_TRUE(sandbox.exists("C:\\home\\.local\\share\\tessaly\\registry.sqlite3"));
    EXPECT_EQ(lockedFolders().size(), 1u);
}

// While locked, a folder is its owner's alone (0700); the unlock gives its own bits back. Both lock
// commands do so.
TEST_F(FolderCommandsTest, ALockedFolderIsPrivateToItsOwnerUntilItsUnlock) {
    struct Case {
        const char* folder;
        unsigned mode;
        bool withFiles;
    } cases[] = {{"C:\\Docs\\Shared", 0755, false}, {"C:\\Docs\\Team", 0770, false}, {"C:\\Docs\\Open", 0775, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        sandbox.writeFile(std::string(c.folder) + "\\a.txt", "a");
        ASSERT_EQ(::chmod(sandbox.host(c.folder).c_str(), c.mode), 0);
        testing_support::ScriptedPrompt p;
        const auto locked = c.withFiles ? locking::LockFolderAndFiles(request(c.folder, "pw", "pw"), p)
                                        : locking::LockFolder(request(c.folder, "pw", "pw"), p);
        ASSERT_TRUE(locked.moved) << boxList(p);
        struct stat st {};
        ASSERT_EQ(::stat(sandbox.host(locked.newPath).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u);

        const auto unlocked = c.withFiles ? locking::UnlockFolderAndFiles(lockedRequest(c.folder, "pw", "pw"), p)
                                          : locking::UnlockFolder(lockedRequest(c.folder, "pw", "pw"), p);
        ASSERT_TRUE(unlocked.moved) << boxList(p);
        ASSERT_EQ(::stat(sandbox.host(c.folder).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(sandbox.readFile(std::string(c.folder) + "\\a.txt"), "a");
    }
}

// A folder's desktop.ini that is a link (another user of a shared folder put it there, pointing at
// someone's private file) is neither read nor changed: the lock is refused with the reason, and the
// link stays a link.
TEST_F(FolderCommandsTest, ADesktopIniThatIsALinkIsNeverFollowed) {
    const std::string privateHost = sandbox.host(sandbox.writeFile("C:\\Private\\notes.ini", "[mine]\r\nk=secret\r\n"));
    ASSERT_EQ(::chmod(privateHost.c_str(), 0600), 0);
    for (const bool withFiles : {false, true}) {
        SCOPED_TRACE(withFiles ? "Lock Folder and Files" : "Lock Folder");
        const std::string folder = withFiles ? "C:\\Docs\\Both" : "C:\\Docs\\Alone";
        sandbox.writeFile(folder + "\\a.txt", "a");
        const std::string link = sandbox.host(folder + "\\desktop.ini");
        std::filesystem::create_symlink(privateHost, link);
        testing_support::ScriptedPrompt p;
        const auto result = withFiles ? locking::LockFolderAndFiles(request(folder, "pw", "pw"), p)
                                      : locking::LockFolder(request(folder, "pw", "pw"), p);
        EXPECT_FALSE(result.moved);
        EXPECT_EQ(p.texts(), std::vector<std::string>{"The folder '" + folder +
                                                      "' could not be locked: its desktop.ini is a link or not a "
                                                      "regular file, which Tessaly leaves alone."});
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(testing_support::readHostFile(privateHost), "[mine]\r\nk=secret\r\n");
        struct stat st {};
        ASSERT_EQ(::stat(privateHost.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(sandbox.readFile(folder + "\\a.txt"), "a");
    }
    EXPECT_TRUE(lockedFolders().empty());
}

// A folder lock whose parent's ".hidden" is a link goes on without it and says so; the link's target
// is neither read nor changed.
TEST_F(FolderCommandsTest, AFolderLockBesideAHiddenListThatIsALinkSaysSo) {
    const std::string privateHost = sandbox.host(sandbox.writeFile("C:\\Private\\list", "mine\n"));
    ASSERT_EQ(::chmod(privateHost.c_str(), 0600), 0);
    sandbox.writeFile("C:\\Docs\\Old\\a.txt", "a");
    std::filesystem::create_symlink(privateHost, sandbox.host("C:\\Docs\\.hidden"));
    const auto result = locking::LockFolder(request("C:\\Docs\\Old", "pw", "pw"), prompt);
    ASSERT_TRUE(result.moved) << boxList(prompt);
    EXPECT_EQ(prompt.last().text, core::HiddenListLeftAloneNote("C:\\Docs"));
    EXPECT_EQ(prompt.last().icon, Icon::Exclamation);
    EXPECT_TRUE(std::filesystem::is_symlink(sandbox.host("C:\\Docs\\.hidden")));
    EXPECT_EQ(testing_support::readHostFile(privateHost), "mine\n");
    EXPECT_EQ(attributes(result.newPath), platform::kAttrHidden | platform::kAttrSystem);
}

// A kill at each step of "unlock and open" (a plain file of a locked folder double-clicked), then
// the next start's sweep: the folder is locked with all its marks (desktop.ini, Hidden and System,
// its ".hidden" line, its record and password, private), or unlocked with its record and password
// gone and its mode back. A second sweep finds nothing to do; a folder left locked unlocks.
TEST_F(FolderCommandsTest, AKillDuringUnlockAndOpenLeavesTheFolderWholeOnceSwept) {
    const struct {
        const char* step;
        bool usersIni; // the folder had a desktop.ini of the user's before its lock
        bool staysLocked;
    } cases[] = {
        {"desktop.ini removed", false, true}, {"desktop.ini removed", true, true}, {"attributes cleared", false, true},
        {"attributes cleared", true, true},   {"renamed", false, false},           {"renamed", true, false},
        {"mode given back", false, false},    {"password removed", false, false}};
    const std::string usersIni = "[.ShellClassInfo]\r\nIconResource=folder.png\r\n";
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.step) + (c.usersIni ? ", the user's desktop.ini" : ""));
        const std::string plain = "C:\\Docs\\Kept" + std::to_string(++round);
        const std::string valueName = locking::FolderPasswordValueName(plain);
        sandbox.writeFile(plain + "\\a.txt", "a");
        if (c.usersIni)
            sandbox.writeFile(plain + "\\desktop.ini", usersIni);
        ASSERT_EQ(::chmod(sandbox.host(plain).c_str(), 0755), 0);
        testing_support::ScriptedPrompt p;
        ASSERT_TRUE(locking::LockFolder(request(plain, "pw", "pw"), p).moved) << boxList(p);
        const std::string locked = locking::LockedFolderPath(plain, GetFileNamePart(plain));

        // The unlock in a child process that ends, as a kill ends it, at the step.
        constexpr int kStopped = 42;
        const pid_t pid = ::fork();
        if (pid == 0) {
            testing_support::ScriptedPrompt answers; // Yes to the question
            FolderRequest r = lockedRequest(plain, "pw", "");
            r.checkpoint = [step = c.step](const char* reached) {
                if (std::strcmp(reached, step) == 0)
                    ::_exit(kStopped);
            };
            locking::UnlockFolderToOpen(r, locked, answers, {});
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kStopped);

        const core::RecoveryReport report = core::RecoverFolders(registerPath, core::RegisterFolders(registerPath));
        EXPECT_TRUE(report.failures.empty()) << core::RecoveryMessage(report);
        EXPECT_EQ(sandbox.exists(locked), c.staysLocked) << core::RecoveryMessage(report);
        EXPECT_NE(sandbox.exists(plain), c.staysLocked);
        const std::vector<std::string> hidden = hiddenList(sandbox.host("C:\\Docs"));
        const bool listed = std::find(hidden.begin(), hidden.end(), GetFileNamePart(locked)) != hidden.end();
        struct stat st {};
        if (c.staysLocked) {
            EXPECT_EQ(attributes(locked), platform::kAttrHidden | platform::kAttrSystem);
            EXPECT_EQ(attributes(locked + "\\desktop.ini"), platform::kAttrHidden);
            EXPECT_EQ(sandbox.readFile(locked + "\\desktop.ini"),
                      c.usersIni ? usersIni + "CLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n" : kIni);
            EXPECT_TRUE(listed);
            ASSERT_EQ(lockedFolders().size(), 1u);
            EXPECT_EQ(lockedFolders()[0].key, locked);
            EXPECT_TRUE(locking::CheckFolderPassword(valueName, "pw"));
            ASSERT_EQ(::stat(sandbox.host(locked).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0700u);
        } else {
            EXPECT_EQ(attributes(plain), 0u);
            EXPECT_EQ(sandbox.exists(plain + "\\desktop.ini"), c.usersIni);
            if (c.usersIni) {
                EXPECT_EQ(sandbox.readFile(plain + "\\desktop.ini"), usersIni);
            }
            EXPECT_FALSE(listed);
            EXPECT_TRUE(lockedFolders().empty());
            EXPECT_EQ(storedValue(valueName), "");
            ASSERT_EQ(::stat(sandbox.host(plain).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0755u);
        }
        const core::RecoveryReport again = core::RecoverFolders(registerPath, core::RegisterFolders(registerPath));
        EXPECT_TRUE(again.empty()) << core::RecoveryMessage(again);

        if (c.staysLocked) {
            testing_support::ScriptedPrompt unlock;
            ASSERT_TRUE(locking::UnlockFolder(lockedRequest(plain, "pw", "pw"), unlock).moved) << boxList(unlock);
            EXPECT_TRUE(lockedFolders().empty());
        }
        EXPECT_EQ(sandbox.readFile(plain + "\\a.txt"), "a");
    }
}
