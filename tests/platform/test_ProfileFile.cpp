#include "platform/ProfileFile.h"
#include "platform/SysError.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/Sandbox.h"

using namespace platform;

namespace {

class ProfileFileTest : public testing_support::SandboxTest {
protected:
    const std::string ini = "C:\\p\\test.ini";
    void SetUp() override { sandbox.makeFolder("C:\\p"); }
    std::string content() const { return sandbox.readFile(ini); }
};

} // namespace

TEST_F(ProfileFileTest, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(getProfileString(ini, "S", "k", "dflt"), "dflt");
    sandbox.writeFile(ini, "[S]\nk=1\n");
    EXPECT_EQ(getProfileString(ini, "T", "k", "dflt"), "dflt");
    EXPECT_EQ(getProfileString(ini, "S", "j", "dflt"), "dflt");
    EXPECT_EQ(getProfileString("Q:\\nodrive.ini", "S", "k", "dflt"), "dflt");
}

TEST_F(ProfileFileTest, ReadsWithoutRegardToCaseAndTrimsValues) {
    sandbox.writeFile(ini, "; comment=not a key\r\n[First]\r\nName = plain  \r\n[Second]\n"
                           "  Quoted=\"  spaced  \"\nempty=\nEq=a=b\nname=second\n[ THIRD ]\r\nx=3");
    EXPECT_EQ(getProfileString(ini, "FIRST", "NAME", ""), "plain");
    EXPECT_EQ(getProfileString(ini, "second", "quoted", ""), "  spaced  ");
    EXPECT_EQ(getProfileString(ini, "Second", "empty", "dflt"), "");
    EXPECT_EQ(getProfileString(ini, "Second", "eq", ""), "a=b");
    EXPECT_EQ(getProfileString(ini, "Second", "Name", ""), "second");
    EXPECT_EQ(getProfileString(ini, "third", "X", ""), "3");
    EXPECT_EQ(getProfileString(ini, "First", "; comment", "dflt"), "dflt");
}

TEST_F(ProfileFileTest, SeveralKeysOfASectionAreReadAsOneByOneAndDefaultWhereMissing) {
    const std::vector<std::string> keys = {"quoted", "none", "EQ", "empty", "name"};
    EXPECT_EQ(getProfileStrings(ini, "Second", keys, "dflt"), std::vector<std::string>(keys.size(), "dflt"));
    sandbox.writeFile(ini,
                      "[First]\r\nName = plain\r\n[Second]\n  Quoted=\"  spaced  \"\nempty=\nEq=a=b\nname=second\n");
    const std::vector<std::string> values = getProfileStrings(ini, "second", keys, "dflt");
    ASSERT_EQ(values.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(values[i], getProfileString(ini, "second", keys[i], "dflt")) << keys[i];
    EXPECT_EQ(values, (std::vector<std::string>{"  spaced  ", "dflt", "a=b", "", "second"}));
    EXPECT_TRUE(getProfileStrings(ini, "Second", {}, "dflt").empty());
}

TEST_F(ProfileFileTest, WriteCreatesFileAndSection) {
    ASSERT_TRUE(writeProfileString(ini, "Files", "C:\\a.TSL", "1"));
    EXPECT_EQ(content(), "[Files]\r\nC:\\a.TSL=1\r\n");
    ASSERT_TRUE(writeProfileString(ini, "Other", "k", "v"));
    EXPECT_EQ(content(), "[Files]\r\nC:\\a.TSL=1\r\n[Other]\r\nk=v\r\n");
    EXPECT_EQ(getProfileString(ini, "files", "c:\\a.TSL", ""), "1");
}

TEST_F(ProfileFileTest, KeysThatAreFullPathsMatchTheirCaseExactly) {
    // Host names are case-sensitive: two files differing only in case keep an entry each.
    ASSERT_TRUE(writeProfileString(ini, "Files", "C:\\Docs\\Note.txt", "upper"));
    ASSERT_TRUE(writeProfileString(ini, "Files", "C:\\Docs\\note.txt", "lower"));
    EXPECT_EQ(content(), "[Files]\r\nC:\\Docs\\Note.txt=upper\r\nC:\\Docs\\note.txt=lower\r\n");
    EXPECT_EQ(getProfileString(ini, "files", "c:\\Docs\\Note.txt", ""), "upper"); // the drive letter in either case
    EXPECT_EQ(getProfileString(ini, "Files", "C:\\DOCS\\NOTE.TXT", "none"), "none");
    ASSERT_TRUE(deleteProfileKey(ini, "Files", "C:\\Docs\\note.txt"));
    EXPECT_EQ(content(), "[Files]\r\nC:\\Docs\\Note.txt=upper\r\n");
    // Other keys still match without regard to case.
    ASSERT_TRUE(writeProfileString(ini, "Files", "Key", "1"));
    EXPECT_EQ(getProfileString(ini, "Files", "KEY", ""), "1");
}

TEST_F(ProfileFileTest, WriteReplacesTheFirstMatchAndKeepsOtherLines) {
    sandbox.writeFile(ini, "; header\n[S]\nKey=1\nkey=2\n\n[T]\nKey=t\n");
    ASSERT_TRUE(writeProfileString(ini, "s", "KEY", "new"));
    EXPECT_EQ(content(), "; header\r\n[S]\r\nKEY=new\r\nkey=2\r\n\r\n[T]\r\nKey=t\r\n");
    EXPECT_EQ(getProfileString(ini, "S", "key", ""), "new");
    EXPECT_EQ(getProfileString(ini, "T", "key", ""), "t");
}

TEST_F(ProfileFileTest, WriteAppendsAtTheEndOfItsSection) {
    sandbox.writeFile(ini, "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
    ASSERT_TRUE(writeProfileString(ini, "a", "z", "3"));
    EXPECT_EQ(content(), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n");
    ASSERT_TRUE(writeProfileString(ini, "B", "w", "4"));
    EXPECT_EQ(content(), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\nw=4\r\n");
    // A key path with "[" in it is an ordinary key, not a section.
    ASSERT_TRUE(writeProfileString(ini, "A", "C:\\Photos [old]\\a.jpg", "5"));
    ASSERT_TRUE(writeProfileString(ini, "A", "after", "6"));
    EXPECT_EQ(getProfileString(ini, "A", "after", ""), "6");
    EXPECT_EQ(getProfileString(ini, "A", "C:\\Photos [old]\\a.jpg", ""), "5");
}

TEST_F(ProfileFileTest, DeleteRemovesOnlyThatKey) {
    const std::string original = "[S]\nk=1\nj=2\n[T]\nk=3\n";
    sandbox.writeFile(ini, original);
    ASSERT_TRUE(deleteProfileKey(ini, "S", "missing"));
    ASSERT_TRUE(deleteProfileKey(ini, "Nope", "k"));
    EXPECT_EQ(content(), original); // untouched, not even rewritten
    ASSERT_TRUE(deleteProfileKey(ini, "s", "K"));
    EXPECT_EQ(content(), "[S]\r\nj=2\r\n[T]\r\nk=3\r\n");
    ASSERT_TRUE(deleteProfileKey("C:\\p\\absent.ini", "S", "k"));
    EXPECT_FALSE(sandbox.exists("C:\\p\\absent.ini"));
}

TEST_F(ProfileFileTest, FailuresChangeNothing) {
    EXPECT_FALSE(writeProfileString("C:\\nofolder\\x.ini", "S", "k", "v"));
    EXPECT_FALSE(writeProfileString("Q:\\x.ini", "S", "k", "v"));
    // A folder where the file should be is not read as an empty file.
    sandbox.makeFolder("C:\\p\\dir.ini");
    EXPECT_FALSE(writeProfileString("C:\\p\\dir.ini", "S", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(sandbox.host("C:\\p\\dir.ini")));
    // Every write leaves only the file itself behind.
    ASSERT_TRUE(writeProfileString(ini, "S", "k", "v"));
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(sandbox.host("C:\\p")))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"dir.ini", "test.ini"}));
}

TEST(ProfileKeyEnd, KeyEndsAtTheFirstEqualsUnlessAPathKeyHoldsOne) {
    const struct {
        std::string line;
        std::size_t end;
    } cases[] = {
        {"k=v", 1},
        {"no equals", std::string::npos},
        {"URL=http://x/?a=C:\\y", 3}, // only a full-path key may hold "="
        {"P:\\a=b=P:\\c", 6},         // the "=" before the value's path
        {"  P:\\a=b = p:\\c", 9},
        {"P:\\a=P:\\b=c", 4}, // the first "=" when the value follows it
        {"P:\\a=b=c", 4},     // no path follows: the first "="
    };
    for (const auto& c : cases)
        EXPECT_EQ(profileKeyEnd(c.line), c.end) << c.line;
}

TEST_F(ProfileFileTest, PathKeysHoldingEqualsSignsAreFoundWhole) {
    sandbox.writeFile(ini, "[S]\r\nP:\\a=b=P:\\long\r\nP:\\a=P:\\short\r\n");
    EXPECT_EQ(getProfileString(ini, "S", "P:\\a", ""), "P:\\short");
    EXPECT_EQ(getProfileString(ini, "S", "P:\\a=b", ""), "P:\\long");
    ASSERT_TRUE(writeProfileString(ini, "S", "P:\\a=b", "P:\\new"));
    ASSERT_TRUE(deleteProfileKey(ini, "S", "P:\\a"));
    EXPECT_EQ(content(), "[S]\r\nP:\\a=b=P:\\new\r\n");
}

// Many entries in one call give the same file as the same entries one call at a time: replacing the
// first line of a key, going after the section's last non-blank line, keys in any case but full
// paths exactly, a key given twice, duplicate lines, and a section that is missing.
TEST_F(ProfileFileTest, ManyEntriesInOneCallAreAsManyCallsOneAtATime) {
    const std::string start = "[Files]\r\nC:\\A.txt=1\r\nname=x\r\nNAME=dup\r\n; note\r\n\r\n\r\n[Other]\r\nk=v\r\n";
    const std::vector<std::pair<std::string, std::string>> entries = {
        {"c:\\A.txt", "2"}, {"C:\\a.txt", "3"}, {" Name ", "y"}, {"new", "n1"}, {"new", "n2"}, {"C:\\B.txt", "b"}};
    const std::vector<std::string> removals = {"NAME", "name", "name", "C:\\a.txt", "c:\\A.txt", "missing"};
    for (const std::string section : {"Files", "Absent"}) {
        SCOPED_TRACE(section);
        sandbox.writeFile(ini, start);
        for (const auto& [key, value] : entries)
            setProfileEntries(ini, section, {{key, value}});
        const std::string oneByOne = content();
        std::vector<std::string> keys;
        for (const auto& entry : entries)
            keys.push_back(entry.first);
        const std::vector<std::string> readOneByOne = [&] {
            std::vector<std::string> values;
            for (const auto& key : keys)
                values.push_back(getProfileString(ini, section, key, "-"));
            return values;
        }();
        EXPECT_EQ(getProfileStrings(ini, section, keys, "-"), readOneByOne);
        for (const auto& key : removals)
            removeProfileEntries(ini, section, {key});
        const std::string removedOneByOne = content();

        sandbox.writeFile(ini, start);
        setProfileEntries(ini, section, entries);
        EXPECT_EQ(content(), oneByOne);
        removeProfileEntries(ini, section, removals);
        EXPECT_EQ(content(), removedOneByOne);
    }
}

// A profile file beside the user's (desktop.ini) that is a link is neither read nor changed: the
// change is refused (75) and the link's target keeps its content.
TEST_F(ProfileFileTest, AChangeToALinkIsRefusedAndItsTargetIsUntouched) {
    const std::string privateHost = sandbox.host(sandbox.writeFile("C:\\private\\p.ini", "[s]\r\nk=private\r\n"));
    sandbox.makeFolder("C:\\d");
    std::filesystem::create_symlink(privateHost, sandbox.host("C:\\d\\desktop.ini"));
    for (const bool set : {true, false}) {
        int number = 0;
        try {
            if (set)
                setProfileEntries("C:\\d\\desktop.ini", "s", {{"k", "v"}});
            else
                removeProfileEntries("C:\\d\\desktop.ini", "s", {"k"});
        } catch (const SysError& e) {
            number = e.number();
        }
        EXPECT_EQ(number, 75) << set;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(sandbox.host("C:\\d\\desktop.ini")));
    EXPECT_EQ(testing_support::readHostFile(privateHost), "[s]\r\nk=private\r\n");
}
