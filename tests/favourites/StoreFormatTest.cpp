// The favourites store read by its structure: every title and address can be stored, also those
// whose enciphered bytes hold CR, LF, CR LF or the separator, and a change or a delete acts on
// exactly the line chosen. Bookmarks and shortcut files are read as browsers write them.

#include "support/Sandbox.h"

#include "core/Scrambler.h"
#include "favourites/Bookmarks.h"
#include "favourites/BrowserWindow.h"
#include "favourites/FavouritesStore.h"
#include "favourites/modImportIEFav.h"
#include "platform/Environment.h"

#include <gtest/gtest.h>

#include "platform/SysError.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

using favourites::Favourite;

std::string readHost(const std::string& path) {
    return std::filesystem::exists(path) ? testing_support::readHostFile(path) : std::string("<missing>");
}

std::string line(const std::string& description, const std::string& url) {
    return core::BitEncrypt(description) + "((|))" + core::BitEncrypt(url) + "\r\n";
}

// A text whose enciphered form holds `embed` at a position of the given alignment (offset % 4),
// built from the enciphered side: every other byte is a valid field byte, and the text is what
// those bytes decipher to. Empty when the keystream allows no such place in the first 16 KB.
std::string textEnciphering(const std::string& embed, std::size_t alignment) {
    const std::string ks = core::RC4Text(std::string(20000, '\0'), core::kFixedKey);
    const auto valid = [&](std::size_t i, char c) {
        const unsigned plain = static_cast<unsigned char>(c) ^ static_cast<unsigned char>(ks[i]);
        return plain >= 133 && plain <= 196;
    };
    for (std::size_t at = 4 + alignment; at < 16384; at += 4) {
        bool fits = true;
        for (std::size_t k = 0; k < embed.size(); ++k)
            fits = fits && valid(at + k, embed[k]);
        if (!fits)
            continue;
        const std::size_t length = (at + embed.size() + 4 + 3) / 4 * 4;
        std::string enciphered(length, '\0');
        for (std::size_t i = 0; i < length; ++i) // 'A'..: plain codes 165.. (6-bit values 33..)
            enciphered[i] = static_cast<char>(static_cast<unsigned char>(ks[i]) ^ (165 + i % 20));
        enciphered.replace(at, embed.size(), embed);
        std::string text = core::BitDecrypt(enciphered);
        if (!text.empty() && text.back() != '\0' && text.front() != ' ' && text.back() != ' ' &&
            favourites::EncipherField(text) == enciphered)
            return text;
    }
    return {};
}

class StoreFormatTest : public testing_support::SandboxTest {
protected:
    void SetUp() override {
        favourites::GetFavourites([](int, const std::string&) {});
    }
    std::string storeHost() const { return platform::windowsFolderHost() + "/fav"; }
    std::vector<Favourite> stored() {
        return favourites::GetFavourites(
            [this](int n, const std::string& d) { sunk.push_back(std::to_string(n) + d); });
    }
    std::vector<std::string> sunk;
};

TEST_F(StoreFormatTest, EveryTitleAndAddressIsStoredWhateverItsEncipheredBytesHold) {
    std::vector<Favourite> all;
    const struct {
        const char* what;
        std::string embed;
        std::size_t alignment;
    } kinds[] = {{"CR LF at a field's end", "\r\n", 0},
                 {"CR LF inside", "\r\n", 2},
                 {"CR", "\r", 1},
                 {"LF", "\n", 3},
                 {"separator", "((|))", 0},
                 {"separator inside", "((|))", 1}};
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.what);
        const std::string text = textEnciphering(k.embed, k.alignment);
        ASSERT_FALSE(text.empty());
        ASSERT_NE(favourites::EncipherField(text).find(k.embed), std::string::npos);
        all.push_back({text, "http://plain.example/" + std::string(k.what)});
        all.push_back({std::string("Plain ") + k.what, "http://x/" + text});
        all.push_back({text + " twice", text});
    }
    all.push_back({"Shared files", "http://files.example/"});

    const favourites::AddResult added = favourites::AddFavourites(all);
    EXPECT_TRUE(added.written);
    EXPECT_TRUE(added.refused.empty());
    // The store keeps its format byte for byte: one line each.
    std::string expected;
    for (const auto& f : all)
        expected += line(f.description, f.url);
    EXPECT_EQ(readHost(storeHost()), expected);
    // And it reads back whole, in order, with every line's record.
    const auto back = stored();
    EXPECT_EQ(back, all);
    EXPECT_TRUE(sunk.empty());
    for (std::size_t i = 0; i < back.size(); ++i)
        EXPECT_EQ(back[i].record, i);

    // A change and a delete touch exactly their lines.
    ASSERT_EQ(favourites::ChangeFavourite(back[4], "Renamed", "http://renamed/"), favourites::ChangeResult::Changed);
    ASSERT_TRUE(favourites::RemoveFavourite(back[7]));
    std::vector<Favourite> now = all;
    now[4] = {"Renamed", "http://renamed/"};
    now.erase(now.begin() + 7);
    EXPECT_EQ(stored(), now);
    EXPECT_TRUE(sunk.empty());
}

TEST_F(StoreFormatTest, LinesThatAreNoFavouriteAreReportedAndKept) {
    // A line without a separator (behind a favourite whose address enciphers to bytes holding CR LF
    // where a field could end), and a last line without its line end.
    const std::string awkward = textEnciphering("\r\n", 0);
    ASSERT_FALSE(awkward.empty());
    const std::string content = line("A", awkward) + "not a favourite\r\n" + "\r\n" + line("B", "http://b/");
    std::ofstream(storeHost(), std::ios::binary) << content.substr(0, content.size() - 2);
    EXPECT_EQ(stored(), (std::vector<Favourite>{{"A", awkward}, {"B", "http://b/"}}));
    EXPECT_EQ(sunk, std::vector<std::string>{"9Subscript out of range"});
    // An add starts a line of its own; a delete keeps the foreign line.
    ASSERT_TRUE(favourites::AddFavourite("C", "http://c/"));
    EXPECT_EQ(readHost(storeHost()), content + line("C", "http://c/"));
    ASSERT_TRUE(favourites::RemoveFavourite({"A", awkward}));
    EXPECT_EQ(readHost(storeHost()), "not a favourite\r\n" + line("B", "http://b/") + line("C", "http://c/") + "\r\n");
}

TEST_F(StoreFormatTest, OfTwoSharingADescriptionOnlyTheChosenLineChanges) {
    const std::vector<Favourite> all = {
        {"Home", "http://bank.example/"}, {"Home", "http://home.example/"}, {"Home", "http://bank.example/"}};
    ASSERT_TRUE(favourites::AddFavourites(all).written);
    auto back = stored();
    ASSERT_EQ(back.size(), 3u);
    ASSERT_EQ(favourites::ChangeFavourite(back[1], "Home", "http://new-home.example/"),
              favourites::ChangeResult::Changed);
    // Of two identical lines, the chosen one (the last) goes.
    ASSERT_TRUE(favourites::RemoveFavourite(back[2]));
    EXPECT_EQ(readHost(storeHost()),
              line("Home", "http://bank.example/") + line("Home", "http://new-home.example/") + "\r\n");
    // A favourite no longer there changes nothing.
    EXPECT_EQ(favourites::ChangeFavourite({"Gone", "http://gone/"}, "X", "http://x/"),
              favourites::ChangeResult::NothingToChange);
    EXPECT_FALSE(favourites::RemoveFavourite({"Gone", "http://gone/"}));
}

TEST(OpenableAddress, OnlyWebAndMailAddressesAreOpened) {
    const std::pair<const char*, bool> cases[] = {
        {"http://a.example/", true},     {"HTTPS://a.example/", true},   {"ftp://files.example/", true},
        {"mailto:me@example.com", true}, {"javascript:alert(1)", false}, {"file:///etc/passwd", false},
        {"place:folder=TOOLBAR", false}, {"data:text/html,x", false},    {"a.example", false},
        {"http:relative", false},        {"-ohttp://x/", false},         {"", false}};
    for (const auto& [url, openable] : cases)
        EXPECT_EQ(favourites::IsOpenableAddress(url), openable) << url;
}

TEST(BookmarksParser, UnclosedLinksStayFlatAndABadByteSpoilsOnlyItself) {
    // Links whose <A> is never closed: each ends where the next begins.
    std::string html = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
    constexpr int kLinks = 20000;
    for (int i = 0; i < kLinks; ++i)
        html += "<DT><A HREF=\"http://x.example/" + std::to_string(i) + "\">Link " + std::to_string(i) + "\n";
    const auto links = favourites::ParseBookmarks(html, "many.html");
    ASSERT_EQ(links.size(), static_cast<std::size_t>(kLinks));
    EXPECT_EQ(links.front(), (Favourite{"Link 0", "http://x.example/0"}));
    EXPECT_EQ(links.back(), (Favourite{"Link 19999", "http://x.example/19999"}));

    // A UTF-8 file with one invalid byte early: that byte alone is replaced.
    const std::string utf8 = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                             "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
                             "<DL><p><DT><A HREF=\"http://a/\">Bad \xe9 byte</A>\n"
                             "<DT><A HREF=\"http://b/caf\xc3\xa9\">D\xc3\xa9j\xc3\xa0 vu \xe2\x98\x95</A></DL>\n";
    EXPECT_EQ(favourites::ParseBookmarks(utf8, "u.html"),
              (std::vector<Favourite>{{"Bad \xef\xbf\xbd byte", "http://a/"},
                                      {"D\xc3\xa9j\xc3\xa0 vu \xe2\x98\x95", "http://b/caf\xc3\xa9"}}));
    // Declared Latin-1 with references and an attribute in single quotes.
    const std::string latin = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
                              "<meta http-equiv='Content-Type' content='text/html; charset=ISO-8859-1'>\n"
                              "<DL><DT><a href='http://l/?a=1&amp;b=2'>Gr\xfc\xdf &#x263A; &lt;3</a></DL>\n";
    EXPECT_EQ(favourites::ParseBookmarks(latin, "l.html"),
              (std::vector<Favourite>{{"Gr\xc3\xbc\xc3\x9f \xe2\x98\xba <3", "http://l/?a=1&b=2"}}));
}

TEST_F(StoreFormatTest, ShortcutsWithAByteOrderMarkOrCarriageReturnsAreReadAndLinksNotFollowed) {
    const std::string folder = platform::favoritesFolderHost();
    std::filesystem::create_directories(folder + "/Sub");
    const auto write = [&](const std::string& name, const std::string& content) {
        std::ofstream(folder + "/" + name, std::ios::binary) << content;
    };
    write("Bom.url", "\xEF\xBB\xBF[InternetShortcut]\r\nURL=http://bom.example/\r\n");
    write("Cr.url", "[DEFAULT]\rBASEURL=http://wrong/\r[InternetShortcut]\rURL=http://cr.example/\r");
    write("Sub/Lf.url", "[InternetShortcut]\nURL = http://lf.example/ \n");
    // A linked shortcut (to a file outside the folder) and two links to folders, one of them ".".
    const std::string outside = sandbox.root() + "/secret.url";
    std::ofstream(outside) << "[InternetShortcut]\r\nURL=http://outside/\r\n";
    std::filesystem::create_symlink(outside, folder + "/Linked.url");
    std::filesystem::create_symlink(".", folder + "/Loop");
    std::filesystem::create_symlink(folder + "/Sub", folder + "/Again");

    std::vector<std::string> errors;
    auto items = favourites::ListIEFavorites(favourites::GetIEFavoritesFolder(),
                                             [&](int, const std::string& d) { errors.push_back(d); });
    std::vector<std::pair<std::string, std::string>> listed;
    for (const auto& item : items)
        listed.emplace_back(item.text, item.url);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::string>>{
                          {"Bom", "http://bom.example/"}, {"Cr", "http://cr.example/"}, {"Lf", "http://lf.example/"}}));
    EXPECT_TRUE(errors.empty());
    EXPECT_THROW(favourites::ReadShortcutUrl(favourites::GetIEFavoritesFolder() + "\\Linked.url"), platform::SysError);
}

} // namespace

// The favourites store and its lock file are the user's alone whatever the umask, also after a change.
TEST_F(StoreFormatTest, TheStoreAndItsLockFileArePrivateUnderUmask022) {
    const mode_t saved = ::umask(022);
    ASSERT_TRUE(favourites::AddFavourite("Bank", "https://bank.example"));
    ASSERT_TRUE(favourites::AddFavourite("Mail", "https://mail.example"));
    ::umask(saved);
    const std::string store = platform::toHost(favourites::FavFilePath());
    for (const std::string& file : {store, platform::windowsFolderHost() + "/fav.lock"}) {
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0) << file;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << file;
    }
}
