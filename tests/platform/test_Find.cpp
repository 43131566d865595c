#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/Find.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "support/Sandbox.h"

using namespace platform;

namespace {

std::vector<std::string> names(const std::vector<FindEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries)
        out.push_back(e.name);
    std::sort(out.begin(), out.end());
    return out;
}

class FindTest : public testing_support::SandboxTest {
protected:
    void SetUp() override {
        sandbox.writeFile("C:\\d\\a.txt", "12345");
        sandbox.writeFile("C:\\d\\B.TXT", "");
        sandbox.writeFile("C:\\d\\noext", "n");
        sandbox.writeFile("C:\\d\\x.tar.gz", "g");
        sandbox.makeFolder("C:\\d\\Sub");
        setAttributes("C:\\d\\noext", kAttrHidden); // creates .hidden
    }
};

} // namespace

TEST(Wildcard, WindowsRules) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*", "anything.txt", true},
        {"*", "noext", true},
        {"*.*", "noext", true},
        {"*.*", "a.b", true},
        {"*.", "noext", true},
        {"*.", "a.b", false},
        {"*.txt", "A.TXT", true},
        {"*.txt", "a.txt.bak", false},
        {"*.TXT", "b.txt", true},
        {"?.txt", "a.txt", true},
        {"?.txt", "ab.txt", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"*.tsl", "x.TSL", true},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false},
        {"readme", "README", true},
        {"readme", "readme.txt", false},
        {"x.*", "x", true},
        {"x.*", "x.y", true},
        {"x.*", "xy", false},
        {"*.gz", "x.tar.gz", true},
        {"??", "a", false},
        {"*a", "bab", false},
        {"\xc3\xa9*", "\xc3\xa9t\xc3\xa9", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.match) << c.pattern << " / " << c.name;
}

TEST_F(FindTest, ListsMatchesWithoutSpecialEntries) {
    EXPECT_EQ(names(findFiles("C:\\d\\*")), (std::vector<std::string>{"B.TXT", "Sub", "a.txt", "noext", "x.tar.gz"}));
    EXPECT_EQ(names(findFiles("C:\\d\\*.*")), (std::vector<std::string>{"B.TXT", "Sub", "a.txt", "noext", "x.tar.gz"}));
    EXPECT_EQ(names(findFiles("C:\\d\\*.txt")), (std::vector<std::string>{"B.TXT", "a.txt"}));
    EXPECT_EQ(names(findFiles("C:\\d\\*.")), (std::vector<std::string>{"Sub", "noext"}));
    EXPECT_TRUE(findFiles("C:\\d\\*.doc").empty());
    EXPECT_TRUE(findFiles("C:\\missing\\*").empty());
    EXPECT_TRUE(findFiles("C:\\d\\.hidden").empty());
    EXPECT_TRUE(findFiles("Q:\\*").empty());
}

TEST_F(FindTest, EntriesCarryAttributesAndSizes) {
    for (const auto& e : findFiles("C:\\d\\*")) {
        if (e.name == "a.txt") {
            EXPECT_EQ(e.size, 5u);
            EXPECT_FALSE(e.isFolder());
        } else if (e.name == "Sub") {
            EXPECT_TRUE(e.isFolder());
            EXPECT_EQ(e.attributes, kAttrDirectory);
            EXPECT_EQ(e.size, 0u);
        } else if (e.name == "noext") {
            EXPECT_EQ(e.attributes, kAttrHidden);
        }
    }
}

TEST_F(FindTest, NameWithoutWildcardsFindsOneEntryIgnoringCase) {
    auto found = findFiles("C:\\d\\A.TXT");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "a.txt");
    found = findFiles("C:\\d\\sub");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "Sub");
    EXPECT_TRUE(found[0].isFolder());
    EXPECT_TRUE(findFiles("C:\\d\\a.tx").empty());

    // Where names differ only in case, the exact one is found.
    sandbox.writeFile("C:\\e\\Readme", "1");
    sandbox.writeFile("C:\\e\\README", "22");
    found = findFiles("C:\\e\\README");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "README");
    EXPECT_EQ(found[0].size, 2u);
    found = findFiles("C:\\e\\Readme");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "Readme");
    EXPECT_EQ(findFiles("C:\\e\\readme").size(), 1u);
}

TEST_F(FindTest, ANameHoldingABackslashIsNeverListedNorMapped) {
    // Its Windows form "C:\d\a\b.txt" would name the file b.txt in folder a.
    const std::string odd = sandbox.host("C:\\d") + "/a\\b.txt";
    { std::ofstream(odd) << "odd"; }
    EXPECT_EQ(names(findFiles("C:\\d\\*")), (std::vector<std::string>{"B.TXT", "Sub", "a.txt", "noext", "x.tar.gz"}));
    EXPECT_EQ(toWindows(odd), "");
    EXPECT_EQ(toWindows(sandbox.host("C:\\d\\a.txt")), "C:\\d\\a.txt");
}

// One pass over a folder lists what findFiles lists, with the same folder flags and sizes; a link is
// taken for what it points at, and a link whose target is missing is listed without data.
TEST_F(FindTest, ListFolderAgreesWithFindFiles) {
    std::filesystem::create_symlink(sandbox.host("C:\\d\\Sub"), sandbox.host("C:\\d\\toSub"));
    std::filesystem::create_symlink(sandbox.host("C:\\d\\a.txt"), sandbox.host("C:\\d\\toA"));
    std::filesystem::create_symlink(sandbox.host("C:\\d\\missing"), sandbox.host("C:\\d\\dangling"));
    const std::vector<FindEntry> found = findFiles("C:\\d\\*");
    const std::vector<FolderEntry> listed = listFolder("C:\\d");
    ASSERT_EQ(listed.size(), found.size());
    std::vector<std::string> listedNames;
    for (const FolderEntry& e : listed) {
        listedNames.push_back(e.name);
        const auto same =
            std::find_if(found.begin(), found.end(), [&e](const FindEntry& f) { return f.name == e.name; });
        ASSERT_NE(same, found.end()) << e.name;
        EXPECT_EQ(e.folder, same->isFolder()) << e.name;
        EXPECT_EQ(e.size, e.known ? same->size : 0u) << e.name; // a dangling link: no data of its own
        EXPECT_EQ(e.known, e.name != "dangling") << e.name;
    }
    std::sort(listedNames.begin(), listedNames.end());
    EXPECT_EQ(listedNames, names(found));
    EXPECT_EQ(std::count(listedNames.begin(), listedNames.end(), ".hidden"), 0);
    const auto toSub =
        std::find_if(listed.begin(), listed.end(), [](const FolderEntry& e) { return e.name == "toSub"; });
    ASSERT_NE(toSub, listed.end());
    EXPECT_TRUE(toSub->folder);
    const auto a = std::find_if(listed.begin(), listed.end(), [](const FolderEntry& e) { return e.name == "a.txt"; });
    ASSERT_NE(a, listed.end());
    EXPECT_EQ(a->size, 5u);
    struct stat st {};
    ASSERT_EQ(::stat(sandbox.host("C:\\d\\a.txt").c_str(), &st), 0);
    EXPECT_EQ(a->modifiedNs, static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
    EXPECT_TRUE(listFolder("C:\\missing").empty());
    EXPECT_TRUE(listFolder("Q:\\").empty());
}
