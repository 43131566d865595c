// The browser pane's order of names, without a window.

#include "shell/BrowserListing.h"
#include "core/Register.h"
#include "settings/Settings.h"
#include "settings/modGeneral.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

TEST(BrowserListingTest, NamesSortWithoutCaseAndWithNumbersByValue) {
    const std::vector<std::string> expected = {
        "", "1", "01", "2", "10", "a", "A1", "a2", "a10", "B", "b", "file", "file1.txt", "File2.txt", "file02.txt",
        "file10.txt", "file99a", "file100", "file100a", "x9y", "x10y", "x0010y2", "x10y10",
        // Letters of other scripts without regard to case too; a broken UTF-8 byte stands for itself.
        "\xc3", "\xc3\x84rger", "\xc3\xa4rger", "\xc3\x89mile", "\xc3\xa9mile", "\xc3\xa9t\xc3\xa9",
        "\xd0\xb6\xd0\xb0\xd0\xb1\xd0\xb0", "\xd0\x96\xd1\x83\xd0\xba"};
    // Every pair in both directions: the order is total and consistent.
    for (std::size_t i = 0; i < expected.size(); ++i)
        for (std::size_t j = 0; j < expected.size(); ++j) {
            const int c = shell::NaturalCompare(expected[i], expected[j]);
            EXPECT_EQ(c < 0, i < j) << expected[i] << " vs " << expected[j];
            EXPECT_EQ(c == 0, i == j) << expected[i] << " vs " << expected[j];
        }
    std::vector<std::string> shuffled = expected;
    std::reverse(shuffled.begin(), shuffled.end());
    std::rotate(shuffled.begin(), shuffled.begin() + 7, shuffled.end());
    std::sort(shuffled.begin(), shuffled.end(), shell::NaturalLess);
    EXPECT_EQ(shuffled, expected);
    // Runs of digits longer than any integer type still compare by value.
    EXPECT_LT(shell::NaturalCompare("v99999999999999999999999", "v100000000000000000000000"), 0);
}

TEST(BrowserListingTest, RowsSortBySizeInBytesAndByTypeWithTiesByName) {
    using shell::FileColumn;
    // "900 bytes" against "1.17 KB": the byte count decides, not the text.
    EXPECT_TRUE(shell::RowLess(FileColumn::Size, "b", 900, "TXT file", "a", 1200, "TXT file"));
    EXPECT_FALSE(shell::RowLess(FileColumn::Size, "a", 1200, "TXT file", "b", 900, "TXT file"));
    EXPECT_TRUE(shell::RowLess(FileColumn::Size, "unreadable", -1, "", "a", 0, ""));
    EXPECT_TRUE(shell::RowLess(FileColumn::Size, "file2", 5, "", "file10", 5, "")); // a tie goes by name
    EXPECT_TRUE(shell::RowLess(FileColumn::Type, "z", 1, "doc file", "a", 1, "TXT file"));
    EXPECT_TRUE(shell::RowLess(FileColumn::Type, "a", 9, "TXT file", "b", 1, "txt file"));
    EXPECT_TRUE(shell::RowLess(FileColumn::Name, "file9", 9, "", "File10", 1, ""));
}

} // namespace

namespace {

// A row has the lock icon only when its content says so: "[Secret]" for ".TSL" and ".TSW", "[Strong]"
// for ".TSX". A strong locked file is shown by the name the register recorded for it, and keeps its
// random name where the register has none.
TEST(BrowserListingTest, LockedRowsAreToldByTheirContent) {
    testing_support::Sandbox sandbox;
    sandbox.writeFile("C:\\F\\abcdefghijklmnop.TSX", std::string("[Strong]") + std::string(1200, '\x01'));
    sandbox.writeFile("C:\\F\\qrstuvwxyzabcdef.TSX", std::string("[Strong]") + std::string(1200, '\x02'));
    sandbox.writeFile("C:\\F\\plain.TSX", "[Secret]abcdefghijklmnop\r\n");
    sandbox.writeFile("C:\\F\\old.TSL", "[Strong] and more");
    const std::string reg = core::RegisterPath();
    core::EnsureRegister(reg);
    core::RecordLock(reg, core::RegisterKind::StrongFile, "C:\\F\\letter.txt", "C:\\F\\qrstuvwxyzabcdef.TSX");
    const shell::FolderListing listing =
        shell::BuildRows("C:\\F", {"abcdefghijklmnop.TSX", "qrstuvwxyzabcdef.TSX", "plain.TSX", "old.TSL"});
    ASSERT_EQ(listing.rows.size(), 4u);
    const auto row = [&listing](const std::string& key) {
        const auto it = std::find_if(listing.rows.begin(), listing.rows.end(),
                                     [&key](const shell::FileRow& r) { return r.key == key; });
        EXPECT_NE(it, listing.rows.end()) << key;
        return it == listing.rows.end() ? shell::FileRow{} : *it;
    };
    EXPECT_TRUE(row("abcdefghijklmnop.TSX").lockIcon);
    EXPECT_EQ(row("abcdefghijklmnop.TSX").text, "abcdefghijklmnop.TSX");
    EXPECT_TRUE(row("qrstuvwxyzabcdef.TSX").lockIcon);
    EXPECT_EQ(row("qrstuvwxyzabcdef.TSX").text, "letter.txt (strong lock)");
    EXPECT_EQ(row("qrstuvwxyzabcdef.TSX").type, "TXT file");
    EXPECT_FALSE(row("plain.TSX").lockIcon);
    EXPECT_FALSE(row("old.TSL").lockIcon);
    EXPECT_EQ(row("old.TSL").text, "old.TSL");
}

} // namespace

namespace {

// The pane builds its rows from one read of the folder: they are the rows the names alone give, in
// every field, with the same failures reported; a change of a file's size, time or name changes the
// folder's signature and nothing else does.
TEST(BrowserListingTest, RowsFromOneReadOfTheFolderAreTheRowsOfItsNames) {
    testing_support::Sandbox sandbox;
    sandbox.writeFile("C:\\F\\file10.txt", std::string(1200, 'x'));
    sandbox.writeFile("C:\\F\\File2.TXT", "");
    sandbox.writeFile("C:\\F\\noext", "n");
    sandbox.writeFile("C:\\F\\archive.tar.gz", std::string(70000, 'g'));
    sandbox.writeFile("C:\\F\\" + TransformName("letter.doc") + ".TSL", "[Secret]xxxxxxxx");
    sandbox.writeFile("C:\\F\\random.TSX", "[Strong]yyyyyyyy");
    sandbox.writeFile("C:\\F\\fake.TSL", "plain text");
    sandbox.writeFile("C:\\F\\desktop.ini", std::string("[.ShellClassInfo]\r\nCLSID=") + shell::kLockedFolderClassId);
    sandbox.makeFolder("C:\\F\\Sub");
    std::filesystem::create_symlink(sandbox.host("C:\\F\\gone"), sandbox.host("C:\\F\\dangling.txt"));

    const std::vector<platform::FolderEntry> files = shell::FileEntries(platform::listFolder("C:\\F"));
    std::vector<std::string> names;
    for (const platform::FolderEntry& file : files)
        names.push_back(file.name);
    EXPECT_EQ(names, shell::ListFileNames("C:\\F"));
    EXPECT_EQ(std::count(names.begin(), names.end(), "Sub"), 0);

    std::vector<platform::ErrorKind> errorsByNames, errorsByEntries;
    const shell::FolderListing byNames = shell::BuildRows(
        "C:\\F", names, [&](platform::ErrorKind n, const std::string&) { errorsByNames.push_back(n); });
    const shell::FolderListing byEntries = shell::BuildRows(
        "C:\\F", files, [&](platform::ErrorKind n, const std::string&) { errorsByEntries.push_back(n); });
    EXPECT_EQ(byEntries.names, byNames.names);
    EXPECT_TRUE(byEntries.lockedFolder);
    EXPECT_EQ(byEntries.lockedFolder, byNames.lockedFolder);
    ASSERT_EQ(byEntries.rows.size(), byNames.rows.size());
    ASSERT_EQ(byEntries.rows.size(), 8u); // not desktop.ini
    for (std::size_t i = 0; i < byNames.rows.size(); ++i) {
        const shell::FileRow& a = byEntries.rows[i];
        const shell::FileRow& b = byNames.rows[i];
        EXPECT_EQ(a.key, b.key);
        EXPECT_EQ(a.text, b.text) << b.key;
        EXPECT_EQ(a.lockIcon, b.lockIcon) << b.key;
        EXPECT_EQ(a.size, b.size) << b.key;
        EXPECT_EQ(a.type, b.type) << b.key;
        EXPECT_EQ(a.bytes, b.bytes) << b.key;
    }
    EXPECT_EQ(errorsByEntries, errorsByNames);
    EXPECT_EQ(errorsByEntries,
              std::vector<platform::ErrorKind>{
                  platform::ErrorKind::FileNotFound}); // the dangling link, still listed without a size
    // A few of the rows as the user sees them.
    const auto row = [&byEntries](const std::string& key) {
        for (const shell::FileRow& r : byEntries.rows)
            if (r.key == key)
                return r;
        ADD_FAILURE() << key;
        return shell::FileRow{};
    };
    EXPECT_EQ(row("archive.tar.gz").type, "GZ file");
    EXPECT_EQ(row("archive.tar.gz").bytes, 70000);
    EXPECT_EQ(row("noext").type, "File");
    EXPECT_EQ(row(TransformName("letter.doc") + ".TSL").text, "letter.doc");
    EXPECT_EQ(row(TransformName("letter.doc") + ".TSL").type, "DOC file");
    EXPECT_EQ(row("fake.TSL").type, "TSL file");
    EXPECT_EQ(row("dangling.txt").bytes, -1);

    const std::string before = shell::FilesSignature(files);
    EXPECT_EQ(shell::FilesSignature(shell::FileEntries(platform::listFolder("C:\\F"))), before);
    sandbox.makeFolder("C:\\F\\Another"); // folders are not in the list
    EXPECT_EQ(shell::FilesSignature(shell::FileEntries(platform::listFolder("C:\\F"))), before);
    sandbox.writeFile("C:\\F\\noext", "nn");
    const std::string grown = shell::FilesSignature(shell::FileEntries(platform::listFolder("C:\\F")));
    EXPECT_NE(grown, before);
    std::filesystem::rename(sandbox.host("C:\\F\\noext"), sandbox.host("C:\\F\\renamed"));
    EXPECT_NE(shell::FilesSignature(shell::FileEntries(platform::listFolder("C:\\F"))), grown);
}

} // namespace
