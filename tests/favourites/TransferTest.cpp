// The import and export windows: shortcut files of the favourites folder and bookmarks HTML files,
// moved into and out of a real store in a sandbox.

#include "FavouritesFixture.h"

#include "favourites/Bookmarks.h"
#include "favourites/FavouritesPage.h"
#include "favourites/frmExportIEFav.h"
#include "favourites/frmImportIEFav.h"
#include "favourites/modImportIEFav.h"

#include <gtest/gtest.h>

using platform::Answer;
using platform::Icon;
using shell_test::click;

namespace {

class TransferTest : public favourites_test::FavouritesTest {
protected:
    template <typename Window> std::unique_ptr<Window> open() {
        return std::make_unique<Window>(
            prompt, [this] { ++mainRefills; },
            [this](QWidget*, bool save) {
                lastChooserSave = save;
                return chosenFile;
            });
    }
    static QTreeView* list(QWidget* w) { return w->findChild<QTreeView*>(QStringLiteral("ListView1")); }
    static void check(QWidget* w, const std::string& text) {
        for (int i = 0; i < list(w)->model()->rowCount(); ++i)
            if (cell(list(w), i, 0).toStdString() == text) {
                EXPECT_TRUE(list(w)->model()->setData(list(w)->model()->index(i, 0), Qt::Checked, Qt::CheckStateRole));
                return;
            }
        ADD_FAILURE() << "not listed: " << text;
    }
    bool shortcutExists(const std::string& relative) const {
        return std::filesystem::exists(favouritesHost() + "/" + relative);
    }

    int mainRefills = 0;
    std::string chosenFile;
    bool lastChooserSave = false;
};

const std::string kShortcut = "[InternetShortcut]\r\nURL=http://one.example/\r\n\r\n";

TEST_F(TransferTest, ImportListsShortcutsAndTakesOnlyTheCheckedOnes) {
    writeShortcut("One.url", kShortcut);
    writeShortcut("Tools/Two.url", "[Other]\r\nURL=wrong\r\n[internetshortcut]\r\nurl=http://two.example/\r\n");
    writeShortcut("Tools/Deep/Three.URL", "[InternetShortcut]\r\nURL=http://three/\r\n");
    writeShortcut("Old.Links/Skipped.url", kShortcut); // a folder with a dot is not visited
    writeShortcut("NoUrl.url", "[InternetShortcut]\r\nIconIndex=1\r\n");
    const std::string longUrl = "http://long.example/" + std::string(400, 'p');
    writeShortcut("Long.url", "[InternetShortcut]\r\nURL=" + longUrl + "\r\n");
    std::filesystem::create_symlink(favouritesHost() + "/gone", favouritesHost() + "/Broken.url");

    auto w = open<favourites::frmImportIEFav>();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Tessaly -Lock IE Favorites"));
    // In order of their names; ".url" goes from a name in any case.
    EXPECT_EQ(rows(list(w.get())), (favourites_test::Rows{{"Long", longUrl},
                                                          {"NoUrl", ""},
                                                          {"One", "http://one.example/"},
                                                          {"Three", "http://three/"},
                                                          {"Two", "http://two.example/"}}));
    EXPECT_TRUE(reports().empty()); // a link is not followed, to a shortcut or a folder

    for (const char* name : {"Two", "NoUrl", "Long"})
        check(w.get(), name);
    click(w.get(), "cmdImport");

    // One line each, in the listing's order.
    EXPECT_EQ(store(), line("Long", longUrl) + line("Two", "http://two.example/"));
    EXPECT_FALSE(shortcutExists("Tools/Two.url"));
    EXPECT_TRUE(shortcutExists("NoUrl.url")); // nothing to import: left in place
    EXPECT_TRUE(shortcutExists("One.url"));   // unchecked: untouched
    EXPECT_EQ(testing_support::readHostFile(favouritesHost() + "/One.url"), kShortcut);
    EXPECT_EQ(rows(list(w.get())),
              (favourites_test::Rows{{"NoUrl", ""}, {"One", "http://one.example/"}, {"Three", "http://three/"}}));
    EXPECT_EQ(mainRefills, 1);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "2 favourites imported\r\n'NoUrl' was not imported: the shortcut holds no address.");
    EXPECT_EQ(prompt.last().icon, Icon::Exclamation);
}

TEST_F(TransferTest, ExportWritesShortcutsThenRemovesFromTheStore) {
    // Descriptions that can't be a file name in the folder: a path out of it, a missing subfolder,
    // a wildcard that would match other shortcuts.
    const std::string badNames[] = {"..\\..\\Escape", "Bad/Name", "*"};
    std::string badLines;
    for (const auto& name : badNames)
        badLines += line(name, "http://bad/");
    writeStore(line("Keep", "http://keep/") + line("Go", "http://go.example/?a=1&b=2") + line("Clash", "http://c/") +
               badLines);
    writeShortcut("Clash.url", "[InternetShortcut]\r\nURL=http://other/\r\n\r\n");

    auto w = open<favourites::frmExportIEFav>();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Tessaly -Export to IE Favorites"));
    for (const std::string& name : {std::string("Go"), std::string("Clash")})
        check(w.get(), name);
    for (const auto& name : badNames)
        check(w.get(), name);
    // Asked first, No by default: nothing leaves the store.
    click(w.get(), "cmdExport");
    ASSERT_EQ(prompt.boxes.size(), 1u);
    const std::string folder = favourites::GetIEFavoritesFolder();
    EXPECT_EQ(prompt.last().text,
              "Unlock and export 5 favourites?\r\n\r\nEach one leaves the locked store: it is written unscrambled, as "
              "a shortcut file (.url), to '" +
                  folder +
                  "' and removed from the store.\r\n\r\nWeb browsers do not read this folder. To use favourites in a "
                  "browser, choose \"Export Bookmarks File...\" and import that file in the browser.");
    EXPECT_EQ(prompt.last().buttons, platform::Buttons::YesNoDefaultNo);
    EXPECT_EQ(prompt.last().icon, Icon::Question);
    EXPECT_FALSE(shortcutExists("Go.url"));
    EXPECT_EQ(mainRefills, 0);
    prompt.boxes.clear();

    prompt.answer(Answer::Yes);
    click(w.get(), "cmdExport");
    EXPECT_EQ(testing_support::readHostFile(favouritesHost() + "/Go.url"),
              "[InternetShortcut]\r\nURL=http://go.example/?a=1&b=2\r\n\r\n");
    ASSERT_EQ(prompt.boxes.size(), 3u);
    EXPECT_EQ(prompt.boxes[1].text, "Favorite 'Clash' with the same description exists.");
    EXPECT_EQ(prompt.boxes[1].icon, Icon::Critical);
    // The summary names every favourite that stayed, and why.
    EXPECT_EQ(prompt.last().text, "1 favourite exported\r\n"
                                  "'Clash' was not exported: a shortcut of that name exists.\r\n"
                                  "'..\\..\\Escape' was not exported: its description can't be a file name.\r\n"
                                  "'Bad/Name' was not exported: its description can't be a file name.\r\n"
                                  "'*' was not exported: its description can't be a file name.");
    EXPECT_EQ(testing_support::readHostFile(favouritesHost() + "/Clash.url"),
              "[InternetShortcut]\r\nURL=http://other/\r\n\r\n");
    // The favourites whose shortcuts could not be written stay; each failure is reported, and
    // nothing is written outside the folder.
    ASSERT_EQ(reports().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(reports()[i].rfind("frmExportIEFav, cmdExport_Click52", 0), 0u) << reports()[i];
    EXPECT_FALSE(std::filesystem::exists(favouritesHost() + "/../../Escape.url"));
    EXPECT_EQ(store(), line("Keep", "http://keep/") + line("Clash", "http://c/") + badLines + "\r\n");
    EXPECT_EQ(rows(list(w.get())).size(), 5u);
    EXPECT_EQ(mainRefills, 1);

    // The exported shortcut reads back through the import with the same URL.
    auto import = open<favourites::frmImportIEFav>();
    check(import.get(), "Go");
    click(import.get(), "cmdImport");
    EXPECT_EQ(store(), line("Keep", "http://keep/") + line("Clash", "http://c/") + badLines + "\r\n" +
                           line("Go", "http://go.example/?a=1&b=2"));
}

TEST_F(TransferTest, ExportRemovesOnlyTheExportedOneOfTwoSharingADescription) {
    writeStore(line("News", "http://first/") + line("News", "http://second/"));
    auto w = open<favourites::frmExportIEFav>();
    // Nothing checked: the user is told, and nothing moves.
    click(w.get(), "cmdExport");
    EXPECT_EQ(prompt.last().text, favourites::kNothingChecked);
    EXPECT_EQ(store(), line("News", "http://first/") + line("News", "http://second/"));
    check(w.get(), "News");
    prompt.boxes.clear();
    prompt.answer(Answer::Yes);
    click(w.get(), "cmdExport");
    ASSERT_EQ(prompt.boxes.size(), 2u);
    EXPECT_EQ(prompt.boxes.front().text.rfind("Unlock and export 1 favourite?", 0), 0u) << prompt.boxes.front().text;
    EXPECT_EQ(testing_support::readHostFile(favouritesHost() + "/News.url"),
              "[InternetShortcut]\r\nURL=http://first/\r\n\r\n");
    EXPECT_EQ(store(), line("News", "http://second/") + "\r\n");
}

TEST_F(TransferTest, BookmarksFileRoundTripKeepsTitlesAndAddresses) {
    const favourites::Favourite kept[] = {{"Fish & Chips <best>", "http://food.example/?a=1&b=\"2\""},
                                          {"Caf\xc3\xa9 \xe2\x98\x95 'quoted'", "https://caf\xc3\xa9.example/"}};
    writeStore(line(kept[0].description, kept[0].url) + line("Unchecked", "http://u/") +
               line(kept[1].description, kept[1].url));
    auto w = open<favourites::frmExportIEFav>();
    check(w.get(), kept[0].description);
    check(w.get(), kept[1].description);
    chosenFile = sandbox.writeFile("C:\\out\\bookmarks.html", "old content");
    click(w.get(), "cmdExportBookmarks");
    EXPECT_TRUE(lastChooserSave);
    const std::string html = sandbox.readFile(chosenFile);
    EXPECT_EQ(html.rfind("<!DOCTYPE NETSCAPE-Bookmark-file-1>", 0), 0u);
    EXPECT_NE(html.find("Fish &amp; Chips &lt;best&gt;"), std::string::npos);
    EXPECT_EQ(html.find("Unchecked"), std::string::npos);
    EXPECT_EQ(rows(list(w.get())).size(), 3u); // a copy: the store keeps them
    EXPECT_EQ(prompt.last().text, "2 favourites exported");
    prompt.boxes.clear();

    writeStore(line("Other", "http://o/"));
    auto import = open<favourites::frmImportIEFav>();
    click(import.get(), "cmdImportBookmarks");
    EXPECT_FALSE(lastChooserSave);
    EXPECT_EQ(store(), line("Other", "http://o/") + line(kept[0].description, kept[0].url) +
                           line(kept[1].description, kept[1].url));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "2 favourites imported");
    EXPECT_EQ(mainRefills, 1);
}

TEST_F(TransferTest, LooseBookmarksHtmlIsReadFlattenedAndOtherFilesRefused) {
    // Unclosed <DT> and <p>, entities, nested folders, upper-case tags and a link without a title.
    const std::string html = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                             "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                             "<TITLE>Bookmarks</TITLE><H1>Bookmarks</H1>\n"
                             "<DL><p>\n"
                             "  <DT><H3 ADD_DATE=\"1\">Toolbar</H3>\n"
                             "  <DL><p>\n"
                             "    <DT><A HREF=\"http://a.example/?x=1&amp;y=2\" ADD_DATE=\"2\">A &amp; B\n  title</A>\n"
                             "    <DT><H3>Deeper</H3>\n"
                             "    <DL><p>\n"
                             "      <DT><a href=\"http://deep.example/\">D\xc3\xa9"
                             "ep</a>\n"
                             "    </DL><p>\n"
                             "  </DL><p>\n"
                             "  <DT><A HREF=\"http://untitled.example/\"></A>\n"
                             "  <DD>a note that is not a link\n"
                             "</DL><p>\n";
    EXPECT_EQ(favourites::ParseBookmarks(html, "b.html"),
              (std::vector<favourites::Favourite>{{"A & B title", "http://a.example/?x=1&y=2"},
                                                  {"D\xc3\xa9"
                                                   "ep",
                                                   "http://deep.example/"},
                                                  {"http://untitled.example/", "http://untitled.example/"}}));

    auto import = open<favourites::frmImportIEFav>();
    for (const std::string& content : {std::string("<html><body><a href=\"http://x/\">x</a></body></html>"),
                                       std::string("\x89PNG\r\n\x1a\n binary"), std::string()}) {
        chosenFile = sandbox.writeFile("C:\\in\\page.html", content);
        click(import.get(), "cmdImportBookmarks");
        EXPECT_EQ(prompt.last().text, "'page.html' is not a bookmarks file.");
        EXPECT_EQ(prompt.last().icon, Icon::Exclamation);
    }
    EXPECT_EQ(store(), "<missing>");
    EXPECT_EQ(mainRefills, 0);

    // Export into a folder that does not exist: a message, nothing half-written anywhere.
    writeStore(line("A", "http://a/"));
    auto exportWindow = open<favourites::frmExportIEFav>();
    check(exportWindow.get(), "A");
    chosenFile = "C:\\missing\\out.html";
    click(exportWindow.get(), "cmdExportBookmarks");
    EXPECT_EQ(prompt.last().text.rfind("'C:\\missing\\out.html' could not be written: ", 0), 0u) << prompt.last().text;
    EXPECT_FALSE(sandbox.exists("C:\\missing"));
}

TEST_F(TransferTest, LargeBookmarksFilesAndOtherCharsetsAreReadWhole) {
    // Every unclosed <DT> nests inside the one before: a file of thousands of links is deep.
    std::string many = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
    for (int i = 0; i < 3000; ++i)
        many += "<DT><A HREF=\"http://x.example/" + std::to_string(i) + "\">Link " + std::to_string(i) + "</A>\n";
    many += "</DL><p>\n";
    const auto links = favourites::ParseBookmarks(many, "many.html");
    ASSERT_EQ(links.size(), 3000u);
    EXPECT_EQ(links.back(), (favourites::Favourite{"Link 2999", "http://x.example/2999"}));
    // Imported behind what the store held, in the file's order.
    writeStore(line("Kept", "http://kept/"));
    std::string expected = line("Kept", "http://kept/");
    for (const auto& f : links)
        expected += line(f.description, f.url);
    chosenFile = sandbox.writeFile("C:\\in\\many.html", many);
    auto import = open<favourites::frmImportIEFav>();
    click(import.get(), "cmdImportBookmarks");
    EXPECT_EQ(store(), expected);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "3000 favourites imported");

    // A file declaring another charset is taken in that charset; one without a declaration as UTF-8.
    const std::string declared = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                                 "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1252\">\n"
                                 "<DL><p><DT><A HREF=\"http://c/\">Caf\xe9</A></DL><p>\n";
    const std::string undeclared = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                                   "<DL><p><DT><A HREF=\"http://c/\">Caf\xc3\xa9 \xe2\x98\x95</A></DL><p>\n";
    EXPECT_EQ(favourites::ParseBookmarks(declared, "old.htm"),
              (std::vector<favourites::Favourite>{{"Caf\xc3\xa9", "http://c/"}}));
    EXPECT_EQ(favourites::ParseBookmarks(undeclared, "new.html"),
              (std::vector<favourites::Favourite>{{"Caf\xc3\xa9 \xe2\x98\x95", "http://c/"}}));
}

} // namespace

namespace {

// A bookmarks file named without an extension is written with ".html"; another file already under
// that longer name is replaced only when the user says so (No is the default).
TEST_F(TransferTest, AnExportNamedWithoutAnExtensionGetsHtml) {
    writeStore(line("A", "http://a/"));
    sandbox.makeFolder("C:\\out");
    auto w = open<favourites::frmExportIEFav>();
    struct Case {
        std::string chosen, written;
    } cases[] = {{"C:\\out\\exported", "C:\\out\\exported.html"},
                 {"C:\\out\\dotted.", "C:\\out\\dotted.html"},
                 {"C:\\out\\.links", "C:\\out\\.links.html"},
                 {"C:\\out\\kept.htm", "C:\\out\\kept.htm"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        check(w.get(), "A");
        chosenFile = c.chosen;
        click(w.get(), "cmdExportBookmarks");
        EXPECT_EQ(prompt.last().text, "1 favourite exported");
        ASSERT_TRUE(sandbox.exists(c.written));
        EXPECT_EQ(favourites::ParseBookmarks(testing_support::readHostFile(sandbox.host(c.written)), "x"),
                  (std::vector<favourites::Favourite>{{"A", "http://a/"}}));
        if (c.written != c.chosen) {
            EXPECT_FALSE(sandbox.exists(c.chosen));
        }
    }

    // "exported.html" exists now: asked about, kept on No, replaced on Yes.
    sandbox.writeFile("C:\\out\\exported.html", "the user's own page");
    for (const Answer answer : {Answer::No, Answer::Yes}) {
        prompt.boxes.clear();
        prompt.answer(answer);
        chosenFile = "C:\\out\\exported";
        click(w.get(), "cmdExportBookmarks");
        EXPECT_EQ(prompt.boxes.front().text, "'C:\\out\\exported.html' exists. Replace it?");
        EXPECT_EQ(prompt.boxes.front().buttons, platform::Buttons::YesNoDefaultNo);
        const std::string content = testing_support::readHostFile(sandbox.host("C:\\out\\exported.html"));
        EXPECT_EQ(content == "the user's own page", answer == Answer::No);
        EXPECT_EQ(prompt.boxes.size(), answer == Answer::No ? 1u : 2u);
    }
}

// Select All ticks every favourite of the export window (Clear All none), and Export takes them all.
TEST_F(TransferTest, SelectAllTicksEveryRowAndClearAllNone) {
    writeStore(line("A", "http://a/") + line("B", "http://b/") + line("C", "http://c/"));
    auto w = open<favourites::frmExportIEFav>();
    const auto ticks = [&] {
        std::vector<int> out;
        for (int i = 0; i < list(w.get())->model()->rowCount(); ++i)
            out.push_back(list(w.get())->model()->index(i, 0).data(Qt::CheckStateRole).toInt());
        return out;
    };
    for (const char* name : {"cmdSelectAll", "cmdClearAll"})
        EXPECT_FALSE(w->findChild<QPushButton*>(QString::fromLatin1(name))->text().isEmpty()) << name;
    check(w.get(), "B");
    click(w.get(), "cmdClearAll");
    EXPECT_EQ(ticks(), (std::vector<int>{Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));
    click(w.get(), "cmdSelectAll");
    EXPECT_EQ(ticks(), (std::vector<int>{Qt::Checked, Qt::Checked, Qt::Checked}));
    prompt.answer(Answer::Yes);
    click(w.get(), "cmdExport");
    EXPECT_EQ(prompt.last().text, "3 favourites exported");
    for (const char* name : {"A.url", "B.url", "C.url"})
        EXPECT_TRUE(shortcutExists(name)) << name;
    EXPECT_TRUE(rows(list(w.get())).empty());
}

} // namespace

namespace {

// A file of fixtures/, written here to stand for the shapes real browsers and services wrote.
std::string fixture(const std::string& name) {
    return testing_support::readHostFile(std::string(TESSALY_FAVOURITES_FIXTURES) + "/" + name);
}

// ASCII text as UTF-16 little-endian after its byte-order mark.
std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii)
        out += std::string{c, '\0'};
    return out;
}

TEST_F(TransferTest, BookmarksFilesAreReadInTheShapesBrowsersWroteThem) {
    using Links = std::vector<favourites::Favourite>;
    const Links service = {{"Lentil soup", "http://soup.example/lentil"},
                           {"Rye bread", "http://bread.example/rye?loaf=1&size=2"},
                           {"Caf\xc3\xa9 \xe2\x98\x95", "https://caf\xc3\xa9.example/"}};
    const struct {
        const char* file;
        Links links;
    } cases[] = {
        // No document type: it starts with its <META> and <TITLE>, all on one line.
        {"service-export.html", service},
        // "<HTML>" on the line before the document type.
        {"favorites-export.htm",
         {{"Start page", "http://links.example/start"}, {"Weather", "http://weather.example/"}}},
        // Mac charsets, which the system's converter does not know by these names.
        {"mac-roman.html", {{"Caf\xc3\xa9 \xe2\x80\x9cquoted\xe2\x80\x9d 5\xe2\x82\xac", "http://cafe.example/"}}},
        {"mac-system.html", {{"Na\xc3\xafve r\xc3\xa9sum\xc3\xa9 \xe2\x80\xa2 \xe2\x84\xa2", "http://news.example/"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(favourites::ParseBookmarks(fixture(c.file), c.file), c.links);
    }

    // Through the window, the service's export goes into the store whole.
    chosenFile = sandbox.writeFile("C:\\in\\service-export.html", fixture("service-export.html"));
    auto import = open<favourites::frmImportIEFav>();
    click(import.get(), "cmdImportBookmarks");
    EXPECT_EQ(prompt.last().text, "3 favourites imported");
    EXPECT_EQ(store(), line(service[0].description, service[0].url) + line(service[1].description, service[1].url) +
                           line(service[2].description, service[2].url));
}

TEST_F(TransferTest, ADocumentTypeInTheHeadOrAListOfLinkItemsMakesABookmarksFile) {
    const std::string link = "<A HREF=\"http://x.example/\">X</A>";
    const struct {
        const char* what;
        std::string content;
        bool bookmarks;
    } cases[] = {
        {"a comment, then the document type", "<!-- saved -->\n<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<A HREF=x>x</A>",
         true},
        {"a <DL> list of links in a page", "<HTML><BODY><H1>Mine</H1><DL><p><DT>" + link + "</DL></BODY>", true},
        {"UTF-16 with its byte-order mark", utf16le("<!DOCTYPE NETSCAPE-Bookmark-file-1><DL><DT>" + link + "</DL>"),
         true},
        {"links in paragraphs", "<HTML><P>" + link + "<P>" + link + "</HTML>", false},
        {"a <DT> outside any list", "<DT>" + link, false},
        {"a list of notes, not links", "<DL><DD>" + link + "</DL>", false},
        {"list items that are anchors without an address", "<DL><DT><A NAME=\"top\">Top</A></DL>", false},
        {"the document type after the links began", "<P>" + link + "<!DOCTYPE NETSCAPE-Bookmark-file-1>", false},
        {"a list inside a comment", "<!-- <DL><DT>" + link + "</DL> -->", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.bookmarks)
            EXPECT_EQ(favourites::ParseBookmarks(c.content, "b.html").size(), 1u);
        else
            EXPECT_THROW(favourites::ParseBookmarks(c.content, "b.html"), favourites::NotBookmarksFile);
    }
    // Another Mac charset goes to the system's converter under its own name.
    EXPECT_EQ(favourites::ParseBookmarks("<META CONTENT=\"text/html; charset=x-mac-cyrillic\"><DL><DT><A "
                                         "HREF=\"http://c/\">\x8f\xf0\xe8\xe2\xe5\xf2</A></DL>",
                                         "c.html"),
              (std::vector<favourites::Favourite>{{"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82", "http://c/"}}));
}

TEST_F(TransferTest, UnicodeAndUpperCaseShortcutsAreListedInNaturalOrder) {
    for (const char* name : {"Wide.url", "Wide Big.url", "WEB-SLIC.URL"})
        writeShortcut(name, fixture(name));
    for (const char* number : {"10", "9", "1"})
        writeShortcut((number == std::string("9") ? "site " : "Site ") + std::string(number) + ".url",
                      "[InternetShortcut]\r\nURL=http://site.example/" + std::string(number) + "\r\n");
    auto w = open<favourites::frmImportIEFav>();
    EXPECT_EQ(rows(list(w.get())), (favourites_test::Rows{{"Site 1", "http://site.example/1"},
                                                          {"site 9", "http://site.example/9"},
                                                          {"Site 10", "http://site.example/10"},
                                                          {"WEB-SLIC", "http://slice.example/"},
                                                          {"Wide", "http://wide.example/caf\xc3\xa9"},
                                                          {"Wide Big", "http://big.example/"}}));
    check(w.get(), "Wide");
    check(w.get(), "WEB-SLIC");
    click(w.get(), "cmdImport");
    EXPECT_EQ(prompt.last().text, "2 favourites imported");
    EXPECT_EQ(store(), line("WEB-SLIC", "http://slice.example/") + line("Wide", "http://wide.example/caf\xc3\xa9"));
    EXPECT_FALSE(shortcutExists("Wide.url"));
    EXPECT_FALSE(shortcutExists("WEB-SLIC.URL"));
}

} // namespace
