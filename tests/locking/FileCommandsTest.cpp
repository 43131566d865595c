#include "LockingTestSupport.h"

#include "core/LockEngine.h"
#include "core/Mounts.h"
#include "core/Register.h"
#include "locking/FileCommands.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/Overwrite.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

using locking::FileBatch;
using locking::FileItem;
using locking::RunEnd;
using platform::Buttons;
using platform::Icon;
using namespace locking_test;

namespace {

// Records what the commands ask of the caller's windows, in order.
struct Recorder {
    std::vector<std::string> events;
    testing_support::ScriptedPrompt* prompt = nullptr;
    int lastDone = -1;
    int lastTotal = -1;

    locking::RunHooks hooks() {
        locking::RunHooks h;
        h.showProgress = [this](const std::string& m) { events.push_back("show:" + m); };
        h.progress = [this](int done, int total) {
            lastDone = done;
            lastTotal = total;
        };
        h.closeProgress = [this] { events.push_back("close"); };
        h.rebuildList = [this] { events.push_back("rebuild@" + std::to_string(prompt->boxes.size())); };
        return h;
    }
};

class FileCommandsTest : public testing_support::SandboxTest {
protected:
    void SetUp() override {
        registerPath = makeRegister();
        rec.prompt = &prompt;
    }

    FileBatch batch(const std::string& folder, std::vector<FileItem> items, const std::string& password,
                    const std::string& confirmation) {
        FileBatch b;
        b.folder = folder;
        b.checked = std::move(items);
        b.password = password;
        b.confirmation = confirmation;
        b.registerPath = registerPath;
        b.ownExecutable = "C:\\Program\\tessaly";
        return b;
    }

    // Locks the files with the password; returns their rows as the list then shows them.
    std::vector<FileItem> lockAll(const std::string& folder, const std::vector<std::string>& names,
                                  const std::string& password) {
        std::vector<FileItem> items;
        for (const auto& n : names)
            items.push_back({n, n});
        testing_support::ScriptedPrompt quiet;
        const auto result = locking::LockFiles(batch(folder, items, password, password), quiet);
        EXPECT_EQ(result.end, RunEnd::Completed) << boxList(quiet);
        EXPECT_TRUE(quiet.boxes.empty()) << boxList(quiet);
        std::vector<FileItem> locked;
        for (const auto& n : names)
            locked.push_back({TransformName(n) + ".TSL", n});
        return locked;
    }

    std::string registerPath;
    testing_support::ScriptedPrompt prompt;
    Recorder rec;
};

TEST_F(FileCommandsTest, LockRefusesTheBootDriveRootBeforeAnythingElse) {
    sandbox.writeFile("C:\\a.txt", "abc");
    for (const std::string folder : {"C:\\", "c:\\", "C:"}) {
        testing_support::ScriptedPrompt p;
        // Even two different passwords and no checked file: the root check comes first.
        for (const auto& items : {std::vector<FileItem>{{"a.txt", "a.txt"}}, std::vector<FileItem>{}}) {
            const auto result = locking::LockFiles(batch(folder, items, "x", "y"), p, rec.hooks());
            EXPECT_EQ(result.end, RunEnd::Refused);
        }
        ASSERT_EQ(p.boxes.size(), 2u) << folder;
        EXPECT_EQ(p.last().text, "Sorry you cannot lock any file in the Boot Drive root folder");
        EXPECT_EQ(p.last().icon, Icon::None);
        EXPECT_EQ(p.last().title, "Tessaly");
    }
    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(sandbox.readFile("C:\\a.txt"), "abc");
}

TEST_F(FileCommandsTest, LockRefusesDifferingPasswordsBeforeTheProgressWindow) {
    sandbox.writeFile("C:\\Docs\\a.txt", "abc");
    const auto result =
        locking::LockFiles(batch("C:\\Docs", {{"a.txt", "a.txt"}}, "secret", "Secret"), prompt, rec.hooks());
    EXPECT_EQ(result.end, RunEnd::Refused);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "The two passwords are not the same!");
    EXPECT_EQ(prompt.last().icon, Icon::Exclamation);
    EXPECT_EQ(prompt.last().title, "Tessaly");
    EXPECT_TRUE(rec.events.empty());
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), "abc");
}

// A strong lock's password under 8 characters is taken only after a question (No by default); the
// hiding lock asks nothing of it.
TEST_F(FileCommandsTest, AShortPasswordForAStrongLockIsTakenOnlyAfterAQuestion) {
    sandbox.writeFile("C:\\Docs\\a.txt", "abc");
    auto strong = batch("C:\\Docs", {{"a.txt", "a.txt"}}, "abc", "abc");
    strong.strongLocks = true;
    for (const platform::Answer answer : {platform::Answer::No, platform::Answer::Yes}) {
        testing_support::ScriptedPrompt p;
        p.answer(answer);
        const auto result = locking::LockFiles(strong, p);
        ASSERT_FALSE(p.boxes.empty());
        EXPECT_EQ(p.boxes[0].text, "This password has only 3 characters. A password of at least 8 characters is much "
                                   "harder to guess. Use it anyway?");
        EXPECT_EQ(p.boxes[0].buttons, Buttons::YesNoDefaultNo);
        EXPECT_EQ(result.done, answer == platform::Answer::Yes ? 1 : 0) << boxList(p);
        EXPECT_EQ(sandbox.exists("C:\\Docs\\a.txt"), answer == platform::Answer::No);
    }
    EXPECT_EQ(core::RegisterEntries(registerPath, core::RegisterKind::StrongFile).size(), 1u);

    sandbox.writeFile("C:\\Docs\\b.txt", "abc");
    testing_support::ScriptedPrompt quiet;
    EXPECT_EQ(locking::LockFiles(batch("C:\\Docs", {{"b.txt", "b.txt"}}, "abc", "abc"), quiet).done, 1);
    EXPECT_TRUE(quiet.boxes.empty()) << boxList(quiet);
}

TEST_F(FileCommandsTest, LockBatchAppliesEveryCheckFileByFileAndChoosesTheEngineBySize) {
    const std::string small = content(199999, 's');
    const std::string large = content(200000, 'l');
    sandbox.writeFile("C:\\Program\\tessaly", "program");
    sandbox.writeFile("C:\\Program\\sys.dat", "system only");
    sandbox.writeFile("C:\\Program\\sysarc.dat", "system and archive");
    sandbox.writeFile("C:\\Program\\empty.txt", "");
    sandbox.writeFile("C:\\Program\\ro.txt", "read only");
    sandbox.writeFile("C:\\Program\\small.bin", small);
    sandbox.writeFile("C:\\Program\\large.bin", large);
    platform::setAttributes("C:\\Program\\sys.dat", platform::kAttrSystem);
    platform::setAttributes("C:\\Program\\sysarc.dat", platform::kAttrSystem | platform::kAttrArchive);
    platform::setAttributes("C:\\Program\\ro.txt", platform::kAttrReadOnly);

    std::vector<FileItem> items;
    for (const char* n : {"tessaly", "sys.dat", "sysarc.dat", "empty.txt", "ro.txt", "small.bin", "large.bin"})
        items.push_back({n, n});
    auto b = batch("C:\\Program", items, "pw", "pw");
    b.ownExecutable = "C:\\PROGRAM\\TESSALY"; // compared without regard to case
    const auto result = locking::LockFiles(b, prompt, rec.hooks());

    EXPECT_EQ(result.end, RunEnd::Completed);
    EXPECT_TRUE(result.anyChecked);
    EXPECT_FALSE(result.failed);
    ASSERT_EQ(prompt.boxes.size(), 3u) << boxList(prompt);
    EXPECT_EQ(prompt.boxes[0].text, "An error occurred during locking process \r\n Tessaly.exe can not be locked.");
    EXPECT_EQ(prompt.boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(prompt.boxes[1].text, "Sorry you cannot lock a system file as this may crash your system");
    EXPECT_EQ(prompt.boxes[1].icon, Icon::None);
    EXPECT_EQ(prompt.boxes[2].text, "we can not lock the file of size 0 byte");
    EXPECT_EQ(prompt.boxes[2].icon, Icon::Exclamation);
    EXPECT_EQ(prompt.boxes[2].title, "Lock Error");

    // Refused files stay as they were; the others are locked by the engine their size asks for.
    EXPECT_EQ(sandbox.readFile("C:\\Program\\tessaly"), "program");
    EXPECT_EQ(sandbox.readFile("C:\\Program\\sys.dat"), "system only");
    EXPECT_TRUE(sandbox.exists("C:\\Program\\empty.txt"));
    for (const char* n : {"sysarc.dat", "ro.txt", "small.bin"}) {
        EXPECT_FALSE(sandbox.exists(std::string("C:\\Program\\") + n)) << n;
        EXPECT_TRUE(sandbox.exists("C:\\Program\\" + TransformName(n) + ".TSL")) << n;
    }
    EXPECT_TRUE(sandbox.exists("C:\\Program\\" + TransformName("large.bin") + ".TSW"));
    EXPECT_EQ(sandbox.readFile("C:\\Program\\" + TransformName("large.bin") + ".TSW").size(), 200025u);

    EXPECT_EQ(rec.events, (std::vector<std::string>{"show:Lock in Progress. Please Wait...", "rebuild@3", "close"}));
    EXPECT_EQ(rec.lastDone, rec.lastTotal);
    EXPECT_FALSE(prompt.busy);
    EXPECT_GT(prompt.eventPumps, 0);

    // The unlock command brings both sizes back byte for byte.
    testing_support::ScriptedPrompt p2;
    const auto unlock = locking::UnlockFiles(
        batch("C:\\Program",
              {{TransformName("small.bin") + ".TSL", "small.bin"}, {TransformName("large.bin") + ".TSW", "large.bin"}},
              "pw", ""),
        p2);
    EXPECT_EQ(unlock.end, RunEnd::Completed);
    EXPECT_TRUE(p2.boxes.empty()) << boxList(p2);
    EXPECT_EQ(sandbox.readFile("C:\\Program\\small.bin"), small);
    EXPECT_EQ(sandbox.readFile("C:\\Program\\large.bin"), large);
}

TEST_F(FileCommandsTest, NoCheckedFileIsToldAfterTheListWasRebuilt) {
    for (bool lock : {true, false}) {
        testing_support::ScriptedPrompt p;
        Recorder r;
        r.prompt = &p;
        const auto b = batch("C:\\Docs", {}, "pw", "pw");
        const auto result = lock ? locking::LockFiles(b, p, r.hooks()) : locking::UnlockFiles(b, p, r.hooks());
        EXPECT_EQ(result.end, RunEnd::Completed);
        EXPECT_FALSE(result.anyChecked);
        ASSERT_EQ(p.boxes.size(), 1u);
        EXPECT_EQ(p.last().text, "No file is checked");
        EXPECT_EQ(p.last().icon, Icon::Exclamation);
        const std::string message = lock ? "Lock in Progress. Please Wait..." : "Unlock in Progress. Please Wait...";
        EXPECT_EQ(r.events, (std::vector<std::string>{"show:" + message, "rebuild@0", "close"}));
    }
}

TEST_F(FileCommandsTest, WrongPasswordEndsAnUnlockBatchOfSmallFilesAtTheFirstFile) {
    for (const char* n : {"a.txt", "b.txt", "c.txt"})
        sandbox.writeFile(std::string("C:\\Docs\\") + n, n);
    const auto locked = lockAll("C:\\Docs", {"a.txt", "b.txt", "c.txt"}, "right");

    const auto result = locking::UnlockFiles(batch("C:\\Docs", locked, "wrong", ""), prompt, rec.hooks());
    EXPECT_EQ(result.end, RunEnd::Stopped);
    ASSERT_EQ(prompt.boxes.size(), 1u) << boxList(prompt);
    EXPECT_EQ(prompt.last().text, "Sorry, this is not the correct password!\r\n'a.txt'");
    for (const auto& item : locked)
        EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + item.key)) << item.key;
    // No rebuild; the caller keeps the password boxes.
    EXPECT_EQ(rec.events, (std::vector<std::string>{"show:Unlock in Progress. Please Wait...", "close"}));
    EXPECT_FALSE(prompt.busy);
}

TEST_F(FileCommandsTest, UnlockTellsOfPlainFilesAndGoesOnAfterAFailingLargeFile) {
    sandbox.writeFile("C:\\Docs\\plain.txt", "not locked");
    sandbox.writeFile("C:\\Docs\\big.bin", content(250000));
    sandbox.writeFile("C:\\Docs\\note.txt", "note");
    testing_support::ScriptedPrompt quiet;
    locking::LockFiles(batch("C:\\Docs", {{"big.bin", "big.bin"}}, "one", "one"), quiet);
    locking::LockFiles(batch("C:\\Docs", {{"note.txt", "note.txt"}}, "two", "two"), quiet);
    ASSERT_TRUE(quiet.boxes.empty()) << boxList(quiet);

    const std::vector<FileItem> items = {{"plain.txt", "plain.txt"},
                                         {"gone.txt", "gone.txt"}, // vanished: skipped without a word
                                         {TransformName("big.bin") + ".TSW", "big.bin"},
                                         {TransformName("note.txt") + ".TSL", "note.txt"}};
    const auto result = locking::UnlockFiles(batch("C:\\Docs", items, "two", ""), prompt, rec.hooks());
    EXPECT_EQ(result.end, RunEnd::Completed);
    ASSERT_EQ(prompt.boxes.size(), 3u) << boxList(prompt);
    EXPECT_EQ(prompt.boxes[0].text, "C:\\Docs\\plain.txt is already unlocked.");
    EXPECT_EQ(prompt.boxes[0].icon, Icon::None);
    EXPECT_EQ(prompt.boxes[1].text, "Sorry, this is not the correct password!\r\n'big.bin'");
    EXPECT_EQ(prompt.boxes[2].text, "An Error occurred during unlock process");
    EXPECT_EQ(prompt.boxes[2].icon, Icon::Critical);
    EXPECT_EQ(prompt.boxes[2].title, "Error");
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + TransformName("big.bin") + ".TSW"));
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\note.txt"), "note");
    EXPECT_EQ(rec.events.at(1), "rebuild@3");
}

TEST_F(FileCommandsTest, AFileThatCannotBeReplacedIsNamedWithTheReasonAndTheOthersAreDone) {
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    sandbox.writeFile("C:\\Docs\\frozen.txt", "f");
    sandbox.writeFile("C:\\Docs\\b.txt", "b");
    sandbox.writeFile("C:\\Locked\\frozen.txt", "g");
    ASSERT_EQ(locking::LockFiles(batch("C:\\Locked", {{"frozen.txt", "frozen.txt"}}, "pw", "pw"), prompt).end,
              RunEnd::Completed);
    const std::string frozenLocked = "C:\\Locked\\" + TransformName("frozen.txt") + ".TSL";
    // An immutable file cannot be removed even by root: the system's "Operation not permitted".
    if (!testing_support::setImmutable(sandbox.host("C:\\Docs\\frozen.txt"), true))
        GTEST_SKIP() << "cannot make a file refuse changes here";
    testing_support::setImmutable(sandbox.host(frozenLocked), true);

    // The files are locked together: the one whose source cannot be removed is named with the
    // system's reason and left as it was; the others are locked.
    testing_support::ScriptedPrompt p;
    Recorder r;
    r.prompt = &p;
    locking::LockFiles(
        batch("C:\\Docs", {{"a.txt", "a.txt"}, {"frozen.txt", "frozen.txt"}, {"b.txt", "b.txt"}}, "pw", "pw"), p,
        r.hooks());
    const auto unlocked = locking::UnlockFiles(
        batch("C:\\Locked", {{GetFileNamePart(frozenLocked), "frozen.txt"}}, "pw", ""), p, r.hooks());
    EXPECT_NE(unlocked.end, RunEnd::Refused);
    EXPECT_TRUE(unlocked.failed);
    testing_support::setImmutable(sandbox.host("C:\\Docs\\frozen.txt"), false);
    testing_support::setImmutable(sandbox.host(frozenLocked), false);

    ASSERT_GE(p.boxes.size(), 2u) << boxList(p);
    EXPECT_EQ(p.boxes[0].text, "'frozen.txt' was not locked, and is unchanged: Operation not permitted.");
    EXPECT_EQ(p.boxes.back().text, "'frozen.txt' was not unlocked, and is unchanged: Operation not permitted.");
    EXPECT_FALSE(p.busy);
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + TransformName("a.txt") + ".TSL"));
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + TransformName("b.txt") + ".TSL"));
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\frozen.txt"), "f");
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\" + TransformName("frozen.txt") + ".TSL"));
    EXPECT_TRUE(sandbox.exists(frozenLocked));
    EXPECT_FALSE(sandbox.exists("C:\\Locked\\frozen.txt"));
}

TEST_F(FileCommandsTest, AFailureTheEngineNamedGetsNoSecondMessage) {
    sandbox.writeFile("C:\\Docs\\shared.txt", "s");
    sandbox.writeFile("C:\\Docs\\a.txt", "a");
    ASSERT_EQ(::link(sandbox.host("C:\\Docs\\shared.txt").c_str(), sandbox.host("C:\\Docs\\other.txt").c_str()), 0);
    const auto result =
        locking::LockFiles(batch("C:\\Docs", {{"shared.txt", "shared.txt"}, {"a.txt", "a.txt"}}, "pw", "pw"), prompt);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"'shared.txt' has other names on this disk (hard links); "
                                                       "locking it would leave its content readable under them. It "
                                                       "was not locked."});
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\shared.txt"), "s");
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + TransformName("a.txt") + ".TSL"));
}

TEST_F(FileCommandsTest, AStrongLockOnADiskThatMayKeepCopiesSaysSoOnceInABoxAndTheLog) {
    core_tests::LoopVolume volume(sandbox, "C:\\Stick");
    if (!volume.ok())
        GTEST_SKIP() << volume.why();
    core_tests::RotationalFlag flag(volume.device());
    if (!flag.set("0"))
        GTEST_SKIP() << "the loop device's rotational flag cannot be set";
    sandbox.writeFile("C:\\Stick\\a.txt", "a");
    sandbox.writeFile("C:\\Stick\\b.txt", "b");
    FileBatch strong = batch("C:\\Stick", {{"a.txt", "a.txt"}, {"b.txt", "b.txt"}}, "long password", "long password");
    strong.strongLocks = true;
    std::vector<std::string> logged;
    locking::RunHooks hooks = rec.hooks();
    hooks.log = [&logged](const std::string& text) { logged.push_back(text); };

    const auto result = locking::LockFiles(strong, prompt, hooks);
    EXPECT_EQ(result.done, 2);
    const std::string warning = platform::overwriteWarning({platform::OverwriteHolds::Flash, "ext4"});
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{warning});
    EXPECT_EQ(prompt.last().icon, Icon::Information);
    EXPECT_EQ(logged, std::vector<std::string>{warning});
}

TEST_F(FileCommandsTest, LinksPipesAndNamesWithABackslashAreRefusedAndLeftAsTheyAre) {
    namespace fs = std::filesystem;
    sandbox.writeFile("C:\\Docs\\target.txt", "target");
    fs::permissions(sandbox.host("C:\\Docs\\target.txt"), fs::perms(0640));
    fs::create_symlink("target.txt", sandbox.host("C:\\Docs\\link.txt"));
    sandbox.writeFile("C:\\Real\\real.txt", "real");
    ASSERT_EQ(locking::LockFiles(batch("C:\\Real", {{"real.txt", "real.txt"}}, "pw", "pw"), prompt).end,
              RunEnd::Completed);
    const std::string realLocked = TransformName("real.txt") + ".TSL";
    fs::create_symlink("../Real/" + realLocked, sandbox.host("C:\\Docs\\" + TransformName("x.txt") + ".TSL"));
    ASSERT_EQ(::mkfifo(sandbox.host("C:\\Docs\\pipe").c_str(), 0600), 0);
    // A host name holding "\": its Windows form would name "C:\Docs\a" + "\b.txt", another file.
    sandbox.writeFile("C:\\Docs\\a\\b.txt", "the other file");
    { std::ofstream(sandbox.host("C:\\Docs") + "/a\\b.txt") << "odd"; }
    const auto before = hostEntries(sandbox.host("C:\\Docs"));
    const auto realBefore = sandbox.readFile("C:\\Real\\" + realLocked);

    const std::string linkRefusal = "is a symbolic link. Tessaly locks and unlocks only the file itself: choose the "
                                    "file the link points to.";
    const struct {
        bool lock;
        FileItem item;
        std::string message;
    } cases[] = {
        {true, {"link.txt", "link.txt"}, "'link.txt' " + linkRefusal},
        {true, {"pipe", "pipe"}, "'pipe' is not a regular file and cannot be locked or unlocked."},
        {true,
         {"a\\b.txt", "a\\b.txt"},
         "'a\\b.txt' can't be locked: its name holds a \"\\\", which Tessaly reads as a folder separator. Rename it "
         "and try again."},
        {false, {TransformName("x.txt") + ".TSL", "x.txt"}, "'" + TransformName("x.txt") + ".TSL' " + linkRefusal},
        {false, {"pipe", "pipe"}, "'pipe' is not a regular file and cannot be locked or unlocked."},
        {false,
         {"a\\b.txt", "a\\b.txt"},
         "'a\\b.txt' can't be unlocked: its name holds a \"\\\", which Tessaly reads as a folder separator. Rename "
         "it and try again."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item.key + (c.lock ? " lock" : " unlock"));
        testing_support::ScriptedPrompt p;
        const auto result = c.lock ? locking::LockFiles(batch("C:\\Docs", {c.item}, "pw", "pw"), p)
                                   : locking::UnlockFiles(batch("C:\\Docs", {c.item}, "pw", ""), p);
        EXPECT_EQ(result.end, RunEnd::Completed);
        ASSERT_EQ(p.boxes.size(), 1u) << boxList(p);
        EXPECT_EQ(p.last().text, c.message);
        EXPECT_EQ(p.last().icon, Icon::Exclamation);
    }
    // Nothing changed: no file, mode or attribute of a link's target either.
    EXPECT_EQ(hostEntries(sandbox.host("C:\\Docs")), before);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\target.txt"), "target");
    EXPECT_EQ(fs::status(sandbox.host("C:\\Docs\\target.txt")).permissions(), fs::perms(0640));
    EXPECT_EQ(platform::getAttributes("C:\\Docs\\target.txt"), platform::kAttrNormal);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a\\b.txt"), "the other file");
    EXPECT_EQ(sandbox.readFile("C:\\Real\\" + realLocked), realBefore);
    EXPECT_EQ(platform::getAttributes("C:\\Real\\" + realLocked), platform::kAttrReadOnly | platform::kAttrHidden);
}

TEST_F(FileCommandsTest, AnotherDrivesRootIsNotRefused) {
    const std::string d = sandbox.makeFolder("C:\\driveD");
    platform::registry().setString(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly_free\\Drives", "D",
                                   sandbox.host(d));
    platform::reloadDrives();
    sandbox.writeFile("C:\\driveD\\x.txt", "on d");
    const auto result = locking::LockFiles(batch("D:\\", {{"x.txt", "x.txt"}}, "pw", "pw"), prompt);
    EXPECT_EQ(result.end, RunEnd::Completed);
    EXPECT_TRUE(prompt.boxes.empty()) << boxList(prompt);
    EXPECT_TRUE(sandbox.exists("C:\\driveD\\" + TransformName("x.txt") + ".TSL"));
}

TEST_F(FileCommandsTest, UnlockAndOpenAsksForALockedFileAndOpensPlainOnesAtOnce) {
    ensureApp();
    OpenerStub opener(sandbox);
    sandbox.writeFile("C:\\Docs\\plain.txt", "plain");
    sandbox.writeFile("C:\\Docs\\report.doc", "report");
    const auto locked = lockAll("C:\\Docs", {"report.doc"}, "pw");

    // No: nothing changes and the list is left alone.
    prompt.answer(platform::Answer::No);
    EXPECT_FALSE(locking::UnlockAndOpenFile("C:\\Docs", locked[0], "pw", registerPath, prompt));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "The file 'C:\\Docs\\report.doc' you are trying to open is locked. In order to "
                                  "view it you need to unlock it. Do you want to unlock this file and open it ?");
    EXPECT_EQ(prompt.last().buttons, platform::Buttons::YesNo);
    EXPECT_EQ(prompt.last().icon, Icon::Question);
    EXPECT_EQ(prompt.last().title, "Unlock & Open Confirmation");
    EXPECT_TRUE(sandbox.exists("C:\\Docs\\" + locked[0].key));

    EXPECT_TRUE(locking::UnlockAndOpenFile("C:\\Docs", {"plain.txt", "plain.txt"}, "", registerPath, prompt));
    prompt.answer(platform::Answer::Yes);
    EXPECT_TRUE(locking::UnlockAndOpenFile("C:\\Docs", locked[0], "pw", registerPath, prompt));
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\report.doc"), "report");
    EXPECT_EQ(opener.calls(2),
              (std::vector<std::string>{sandbox.host("C:\\Docs\\plain.txt"), sandbox.host("C:\\Docs\\report.doc")}));

    // Inside a locked folder the register knows, the question names the folder as the user knows it.
    const std::string inside = "C:\\Frperg.TSL\\" + TransformName("note.txt") + ".TSL";
    sandbox.writeFile(inside, "[Secret]");
    core::RecordLock(registerPath, core::RegisterKind::Folder, "C:\\Secret", "C:\\Frperg.TSL");
    prompt.answer(platform::Answer::No);
    EXPECT_FALSE(locking::UnlockAndOpenFile("C:\\Frperg.TSL", {GetFileNamePart(inside), "note.txt"}, "pw", registerPath,
                                            prompt));
    EXPECT_EQ(prompt.last().text,
              "The file 'C:\\Secret (locked)\\note.txt' you are trying to open is locked. In "
              "order to view it you need to unlock it. Do you want to unlock this file and open it ?");
}

TEST_F(FileCommandsTest, FolderFileItemsShowRestoredNamesAndLeaveOutDesktopIni) {
    sandbox.writeFile("C:\\F\\a.txt", "a");
    sandbox.writeFile("C:\\F\\desktop.ini", "x");
    sandbox.writeFile("C:\\F\\" + TransformName("b.doc") + ".tsw", core::MakeHeader("abcdefgh", "pw") + "\ry");
    // A plain file that only carries a lock extension keeps its own name.
    sandbox.writeFile("C:\\F\\report.TSL", "plain");
    sandbox.makeFolder("C:\\F\\sub");
    auto items = locking::FolderFileItems("C:\\F");
    std::sort(items.begin(), items.end(), [](const FileItem& l, const FileItem& r) { return l.text < r.text; });
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].key, "a.txt");
    EXPECT_EQ(items[1].key, TransformName("b.doc") + ".tsw");
    EXPECT_EQ(items[1].text, "b.doc");
    EXPECT_EQ(items[2].key, "report.TSL");
    EXPECT_EQ(items[2].text, "report.TSL");
}

} // namespace

// A file the command could not lock keeps the attributes it had: the command clears them for the
// engine and puts them back when the lock does not happen.
TEST_F(FileCommandsTest, AFileThatIsNotLockedKeepsItsAttributes) {
    sandbox.writeFile("C:\\Keep\\taken.txt", "the file");
    sandbox.writeFile("C:\\Keep\\" + TransformName("taken.txt") + ".TSL", "something else by the locked name");
    sandbox.writeFile("C:\\Keep\\empty.txt", "");
    for (const char* name : {"C:\\Keep\\taken.txt", "C:\\Keep\\empty.txt"})
        platform::setAttributes(name, platform::kAttrReadOnly | platform::kAttrHidden);

    const auto result = locking::LockFiles(
        batch("C:\\Keep", {{"taken.txt", "taken.txt"}, {"empty.txt", "empty.txt"}}, "pw", "pw"), prompt, rec.hooks());
    EXPECT_EQ(result.end, RunEnd::Completed);
    EXPECT_TRUE(result.failed);
    for (const char* name : {"C:\\Keep\\taken.txt", "C:\\Keep\\empty.txt"})
        EXPECT_EQ(platform::getAttributes(name), platform::kAttrReadOnly | platform::kAttrHidden) << name;
    EXPECT_EQ(sandbox.readFile("C:\\Keep\\taken.txt"), "the file");
}
