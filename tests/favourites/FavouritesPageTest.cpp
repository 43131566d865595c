// The favourites tab and frmFavAdd over a real store file in a sandbox.

#include "FavouritesFixture.h"

#include "favourites/Bookmarks.h"
#include "favourites/BrowserWindow.h"
#include "favourites/FavouritesPage.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using shell_test::click;
using shell_test::type;

namespace {

class FavouritesPageTest : public favourites_test::FavouritesTest {
protected:
    void SetUp() override {
        FavouritesTest::SetUp();
        page = std::make_unique<favourites::FavouritesPage>(prompt);
    }
    QTreeView* list() { return page->findChild<QTreeView*>(QStringLiteral("lvFav")); }
    void pickRow(int row) {
        const QModelIndex index = list()->model()->index(row, 0);
        list()->setCurrentIndex(index);
        page->lvFav_Click(index);
    }
    QLineEdit* box(const char* name) { return page->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    void select(const std::string& description) {
        for (int i = 0; i < list()->model()->rowCount(); ++i) {
            if (cell(list(), i, 0).toStdString() == description) {
                pickRow(i);
                return;
            }
        }
        ADD_FAILURE() << "not listed: " << description;
    }
    void addThroughWindow(const QString& url, const QString& description) {
        shell_test::whenModal([=](QWidget* w) {
            EXPECT_EQ(w->windowTitle(), QStringLiteral("Tessaly -Add Favorite"));
            auto* urlBox = w->findChild<QLineEdit*>(QStringLiteral("txtURL"));
            EXPECT_EQ(urlBox->text(), QStringLiteral("http://"));
            urlBox->setText(url);
            w->findChild<QLineEdit*>(QStringLiteral("txtDescription"))->setText(description);
            click(w, "cmdAdd");
            if (w->isVisible())
                click(w, "cmdCancel");
        });
        click(page.get(), "cmdAdd");
    }

    std::unique_ptr<favourites::FavouritesPage> page;
};

TEST_F(FavouritesPageTest, AddWritesTrimmedEncipheredLinesAndListsThem) {
    page->show(); // first showing fills the (missing) store's list: empty, no message
    EXPECT_TRUE(rows(list()).empty());
    EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("lblAboutFavourite"))->text().toStdString(),
              favourites::kAboutFavourites);

    addThroughWindow(QStringLiteral("  http://news.example/a?b=1&c  "), QStringLiteral("  Daily news  "));
    addThroughWindow(QStringLiteral("https://caf\u00e9.example/\u2603"), QStringLiteral("Caf\u00e9 \u2615"));
    EXPECT_EQ(store(), line("Daily news", "http://news.example/a?b=1&c") +
                           line("Caf\xc3\xa9 \xe2\x98\x95", "https://caf\xc3\xa9.example/\xe2\x98\x83"));
    EXPECT_EQ(rows(list()),
              (favourites_test::Rows{{"Daily news", "http://news.example/a?b=1&c"},
                                     {"Caf\xc3\xa9 \xe2\x98\x95", "https://caf\xc3\xa9.example/\xe2\x98\x83"}}));
    EXPECT_EQ(cell(list(), 0, 0, Qt::ToolTipRole), QStringLiteral("http://news.example/a?b=1&c"));
    EXPECT_TRUE(prompt.boxes.empty());
    EXPECT_TRUE(reports().empty());
}

TEST_F(FavouritesPageTest, AddRefusesEmptyFieldsAndKeepsTheWindowOpen) {
    const struct {
        QString url, description;
        const char* message;
    } cases[] = {{QStringLiteral("   "), QStringLiteral("x"), "URL Field cannot be left blank"},
                 {QStringLiteral("http://a"), QString(), "Description Field cannot be left blank"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        addThroughWindow(c.url, c.description);
        EXPECT_EQ(prompt.last().text, c.message);
        EXPECT_EQ(prompt.last().icon, Icon::Critical);
        EXPECT_EQ(prompt.last().title, "Tessaly");
    }
    EXPECT_EQ(prompt.boxes.size(), 2u);
    EXPECT_EQ(store(), "<missing>");
}

TEST_F(FavouritesPageTest, RefillDropsAStoreWithoutSeparatorAndReportsBadLines) {
    writeStore("no separator here\r\n");
    page->GetFavorites();
    EXPECT_EQ(store(), "<missing>");
    EXPECT_TRUE(rows(list()).empty());
    EXPECT_TRUE(reports().empty());

    // A line without a separator is reported; every favourite is listed, two of one description too.
    writeStore(line("A", "http://one") + "\r\n" + "garbage\r\n" + line("A", "http://two") + line("B", "http://b"));
    page->GetFavorites();
    EXPECT_EQ(rows(list()), (favourites_test::Rows{{"A", "http://one"}, {"A", "http://two"}, {"B", "http://b"}}));
    EXPECT_EQ(reports(), (std::vector<std::string>{"frmMain, GetFavorites9Subscript out of range"}));
}

TEST_F(FavouritesPageTest, SelectingFillsTheBoxesAndEditingTheUrlEnablesSave) {
    writeStore(line("Mail", "http://mail.example"));
    page->show(); // the first showing fills the list
    auto* save = page->findChild<QPushButton*>(QStringLiteral("cmdSave"));
    EXPECT_FALSE(save->isEnabled());
    select("Mail");
    EXPECT_EQ(box("txtShow")->text(), QStringLiteral("Mail"));
    EXPECT_EQ(box("txtAdd")->text(), QStringLiteral("http://mail.example"));

    box("txtShow")->clear();
    box("txtAdd")->setText(QStringLiteral("http://x")); // pasted
    EXPECT_TRUE(save->isEnabled());
    EXPECT_EQ(box("txtShow")->text(), QStringLiteral("http://x")); // an empty description takes the URL
}

TEST_F(FavouritesPageTest, ChangeAsksAndRewritesTheLineRenamingTheFavourite) {
    writeStore(line("Old", "http://old") + line("Other", "http://other"));
    page->GetFavorites();
    select("Old");
    type(page.get(), "txtShow", QStringLiteral(" New name "));
    type(page.get(), "txtAdd", QStringLiteral("http://new"));

    prompt.answer(Answer::No);
    click(page.get(), "cmdSave");
    EXPECT_EQ(prompt.last().text, "Are you sure you want to Change 'Old' URL ?");
    EXPECT_EQ(prompt.last().buttons, Buttons::YesNo);
    EXPECT_EQ(prompt.last().icon, Icon::Question);
    EXPECT_EQ(prompt.last().title, "Change Confirmation"); // nothing is locked here
    EXPECT_EQ(store(), line("Old", "http://old") + line("Other", "http://other"));

    select("Old");
    type(page.get(), "txtShow", QStringLiteral(" New name "));
    type(page.get(), "txtAdd", QStringLiteral("http://new"));
    prompt.answer(Answer::Yes);
    click(page.get(), "cmdSave");
    EXPECT_EQ(store(), line("New name", "http://new") + line("Other", "http://other") + "\r\n");
    EXPECT_EQ(rows(list()), (favourites_test::Rows{{"New name", "http://new"}, {"Other", "http://other"}}));

    // Renaming onto another favourite's description makes two rows of that description.
    select("New name");
    type(page.get(), "txtShow", QStringLiteral("Other"));
    click(page.get(), "cmdSave");
    EXPECT_EQ(rows(list()), (favourites_test::Rows{{"Other", "http://new"}, {"Other", "http://other"}}));
    EXPECT_TRUE(reports().empty());
}

TEST_F(FavouritesPageTest, DeleteAsksAndRemovesOnlyTheNamedFavourite) {
    // Two descriptions whose enciphered forms differ only in the case of a letter: deleting one
    // must not take the other.
    std::string first, second;
    for (int n = 0; n < 2000 && second.empty(); ++n) {
        const std::string d = "fav" + std::to_string(n);
        std::string enc = core::BitEncrypt(d);
        for (char& c : enc)
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
                c = static_cast<char>(c ^ 0x20);
                break;
            }
        try {
            std::string other = core::BitDecrypt(enc);
            while (!other.empty() && other.back() == '\0')
                other.pop_back();
            if (other != d && core::BitEncrypt(other) == enc && other.find('\r') == std::string::npos &&
                favourites::LineReadsBack(enc, core::BitEncrypt("http://2")) && core::BitEncrypt(d) != enc) {
                first = d;
                second = other;
            }
        } catch (const std::exception&) {
        }
    }
    ASSERT_FALSE(second.empty());
    writeStore(line(first, "http://1") + line(second, "http://2"));
    page->GetFavorites();
    ASSERT_EQ(rows(list()).size(), 2u);

    select(first);
    prompt.answer(Answer::No);
    click(page.get(), "cmdDelete");
    EXPECT_EQ(prompt.last().text, "Are you sure you want to delete '" + first + "' URL ?");
    EXPECT_EQ(prompt.last().title, "Delete Confirmation");
    EXPECT_EQ(rows(list()).size(), 2u);

    select(first);
    prompt.answer(Answer::Yes);
    click(page.get(), "cmdDelete");
    EXPECT_EQ(store(), line(second, "http://2") + "\r\n");
    EXPECT_EQ(rows(list()), (favourites_test::Rows{{second, "http://2"}}));
    EXPECT_TRUE(box("txtShow")->text().isEmpty());
    EXPECT_TRUE(box("txtAdd")->text().isEmpty());
}

TEST_F(FavouritesPageTest, DoubleClickOpensWithTheDefaultHandlerOrANewBrowserWindow) {
    page->lvFav_DblClick();
    EXPECT_EQ(prompt.last().text, "No items to select");
    EXPECT_EQ(prompt.last().icon, Icon::Information);
    EXPECT_EQ(prompt.last().title, "Favourites  Manager");

    stub("xdg-open");
    writeStore(line("Site", "http://site.example/?q=a b"));
    page->GetFavorites();
    select("Site");
    page->lvFav_DblClick();
    EXPECT_EQ(recorded("xdg-open"), "http://site.example/?q=a b\n");

    // "True": the default browser, started with its new-window option.
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::LaunchNewIE.name, "True");
    stub("xdg-settings", "firefox.desktop\n");
    stub("firefox");
    const std::string apps = std::string(std::getenv("XDG_DATA_HOME")) + "/applications";
    std::filesystem::create_directories(apps);
    std::ofstream(apps + "/firefox.desktop")
        << "[Desktop Entry]\nType=Application\nName=Browser\nExec=" << bin << "/firefox %u\n";
    page->lvFav_DblClick();
    EXPECT_EQ(recorded("firefox"), "--new-window\nhttp://site.example/?q=a b\n");
    // An address that the browser would take for an option of its own never reaches it.
    const auto option = favourites::NewWindowLaunch("--renderer-cmd-prefix=touch pwned");
    EXPECT_EQ(option.program, "xdg-open");
    EXPECT_EQ(option.arguments, std::vector<std::string>{"--renderer-cmd-prefix=touch pwned"});

    // A browser without a known new-window option: plain xdg-open.
    stub("xdg-settings", "other.desktop\n");
    std::ofstream(apps + "/other.desktop") << "[Desktop Entry]\nType=Application\nName=Other\nExec=other %u\n";
    const auto launch = favourites::NewWindowLaunch("http://x");
    EXPECT_EQ(launch.program, "xdg-open");
    EXPECT_EQ(launch.arguments, std::vector<std::string>{"http://x"});
}

// Two lines of one description are two rows; Change and Delete act on exactly the row chosen.
TEST_F(FavouritesPageTest, EveryLineIsARowAndTheChosenRowIsTheOneChanged) {
    writeStore(line("Home", "http://bank.example/") + line("Home", "http://home.example/") +
               line("Mail", "http://mail.example/"));
    page->GetFavorites();
    ASSERT_EQ(rows(list()), (favourites_test::Rows{{"Home", "http://bank.example/"},
                                                   {"Home", "http://home.example/"},
                                                   {"Mail", "http://mail.example/"}}));
    const auto pick = [this](int row) { pickRow(row); };
    pick(1);
    type(page.get(), "txtAdd", QStringLiteral("http://new-home.example/"));
    prompt.answer(Answer::Yes);
    click(page.get(), "cmdSave");
    EXPECT_EQ(store(), line("Home", "http://bank.example/") + line("Home", "http://new-home.example/") +
                           line("Mail", "http://mail.example/") + "\r\n");

    pick(0);
    prompt.answer(Answer::Yes);
    click(page.get(), "cmdDelete");
    EXPECT_EQ(store(), line("Home", "http://new-home.example/") + line("Mail", "http://mail.example/") + "\r\n");
    EXPECT_TRUE(reports().empty());

    // With nothing selected, Save and Delete say so and change nothing.
    list()->clearSelection();
    list()->setCurrentIndex(QModelIndex());
    const std::string before = store();
    for (const char* button : {"cmdSave", "cmdDelete"}) {
        prompt.boxes.clear();
        click(page.get(), button);
        ASSERT_EQ(prompt.boxes.size(), 1u) << button;
        EXPECT_EQ(prompt.last().text, std::string("Select the favourite to ") +
                                          (std::string(button) == "cmdSave" ? "change" : "delete") + " first.");
    }
    EXPECT_EQ(store(), before);
}

// Without a browser (or mail program) to open it, a favourite says why instead of doing nothing.
TEST_F(FavouritesPageTest, AFavouriteThatCannotBeOpenedSaysWhy) {
    writeStore(line("Site", "http://site.example/") + line("Mail", "mailto:me@example.com"));
    page->GetFavorites();
    const std::string site = "'http://site.example/' could not be opened: ";
    const struct {
        int status; // of xdg-open; -1: there is no xdg-open
        const char* favourite;
        std::string said;
    } cases[] = {
        {3, "Site", site + "no web browser is installed or set up to open it."},
        {3, "Mail", "'mailto:me@example.com' could not be opened: no mail program is installed or set up to open it."},
        {4, "Site", site + "the web browser set up to open it did not start."},
        {1, "Site", site + "xdg-open ended with status 1."},
        {-1, "Site",
         site + "xdg-open, which hands addresses to the web browser, could not be started. Install the "
                "package xdg-utils."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.favourite) + " " + std::to_string(c.status));
        if (c.status >= 0) {
            stub("xdg-open", "", c.status);
        } else {
            std::filesystem::remove(bin + "/xdg-open");
            setenv("PATH", bin.c_str(), 1);
        }
        prompt.boxes.clear();
        select(c.favourite);
        page->lvFav_DblClick();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !prompt.boxes.empty(); }, 20000));
        EXPECT_EQ(prompt.texts(), std::vector<std::string>{c.said});
        EXPECT_EQ(prompt.last().icon, Icon::Exclamation);
        EXPECT_EQ(prompt.last().title, "Favorites Manager");
    }
    // The helper's process object goes once it has ended.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(FavouritesPageTest, OnlyWebAndMailAddressesAreOpened) {
    stub("xdg-open");
    writeStore(line("Script", "javascript:alert(document.cookie)") + line("Local", "file:///etc/passwd"));
    page->GetFavorites();
    for (const char* name : {"Script", "Local"}) {
        select(name);
        page->lvFav_DblClick();
        EXPECT_EQ(prompt.last().text,
                  favourites::NotOpenedMessage(name == std::string("Script") ? "javascript:alert(document.cookie)"
                                                                             : "file:///etc/passwd"));
        EXPECT_EQ(prompt.last().icon, Icon::Exclamation);
    }
    EXPECT_FALSE(favourites::OpenFavourite("javascript:alert(1)", page.get(), {}));
    // Nothing reached the opener; they stay in the store.
    EXPECT_FALSE(std::filesystem::exists(bin + "/xdg-open.args"));
    EXPECT_EQ(rows(list()).size(), 2u);
}

TEST_F(FavouritesPageTest, APastedAddressReplacesThePrefilledScheme) {
    const std::pair<QString, std::string> cases[] = {
        {QStringLiteral("http://https://secure.example/"), "https://secure.example/"},
        {QStringLiteral("http://ftp://files.example/"), "ftp://files.example/"},
        {QStringLiteral("http://mailto:me@example.com"), "mailto:me@example.com"},
        {QStringLiteral("http://localhost:8080/"), "http://localhost:8080/"},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QString& typed = c.first;
        const std::string& kept = c.second;
        const QString description = QStringLiteral("Site %1").arg(++n);
        shell_test::whenModal([&](QWidget* w) {
            auto* urlBox = w->findChild<QLineEdit*>(QStringLiteral("txtURL"));
            EXPECT_EQ(urlBox->text(), QStringLiteral("http://"));
            urlBox->end(false);
            urlBox->insert(typed.mid(7)); // pasted behind the pre-filled text
            EXPECT_EQ(urlBox->text().toStdString(), kept);
            w->findChild<QLineEdit*>(QStringLiteral("txtDescription"))->setText(description);
            click(w, "cmdAdd");
        });
        click(page.get(), "cmdAdd");
    }
    favourites_test::Rows expected;
    for (std::size_t i = 0; i < std::size(cases); ++i)
        expected.emplace_back("Site " + std::to_string(i + 1), cases[i].second);
    EXPECT_EQ(rows(list()), expected);
}

// Titles whose enciphered lines hold CR LF (about one in 25) are imported and listed with the rest.
TEST_F(FavouritesPageTest, ABookmarksImportStoresAndListsEveryLink) {
    std::vector<std::string> titles;
    int awkward = 0;
    for (int n = 0; titles.size() < 13 && n < 5000; ++n) {
        const std::string title = "Played games " + std::to_string(n);
        const bool crlf = core::BitEncrypt(title).find("\r\n") != std::string::npos;
        if (crlf || titles.size() < 4) {
            titles.push_back(title);
            awkward += crlf ? 1 : 0;
        }
    }
    ASSERT_EQ(titles.size(), 13u);
    ASSERT_GE(awkward, 9);
    std::string html = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
    for (std::size_t i = 0; i < titles.size(); ++i)
        html += "<DT><A HREF=\"http://x.example/" + std::to_string(i) + "\">" + titles[i] + "</A>\n";
    const std::string file = sandbox.writeFile("C:\\in\\b.html", html);
    const favourites::TransferReport report = favourites::ImportBookmarksFile(file);
    EXPECT_EQ(favourites::TransferSummary(report, "imported"), "13 favourites imported");
    page->GetFavorites();
    favourites_test::Rows expected;
    for (std::size_t i = 0; i < titles.size(); ++i)
        expected.emplace_back(titles[i], "http://x.example/" + std::to_string(i));
    EXPECT_EQ(rows(list()), expected);
    EXPECT_TRUE(reports().empty());
}

// Fifty thousand favourites, many sharing descriptions, are all listed in one refill.
TEST_F(FavouritesPageTest, FiftyThousandFavouritesAreAllListed) {
    std::vector<favourites::Favourite> many;
    for (int i = 0; i < 50000; ++i)
        many.push_back({"Site " + std::to_string(i % 20000), "http://site.example/" + std::to_string(i)});
    ASSERT_TRUE(favourites::AddFavourites(many).written);
    page->GetFavorites();
    ASSERT_EQ(list()->model()->rowCount(), 50000);
    EXPECT_EQ(cell(list(), 49999, 1).toStdString(), "http://site.example/49999");
    EXPECT_EQ(cell(list(), 20000, 0).toStdString(), "Site 0");
    EXPECT_TRUE(reports().empty());
}

} // namespace

namespace {

// A bare host name typed at Add (or Change) is stored as a web address, and then opens.
TEST_F(FavouritesPageTest, ABareHostGetsHttpAndOpens) {
    const std::pair<QString, std::string> cases[] = {
        {QStringLiteral("www.debian.org"), "http://www.debian.org"},
        {QStringLiteral("  localhost:8080/start?x=1 "), "http://localhost:8080/start?x=1"},
        {QStringLiteral("caf\u00e9.example"), "http://caf\xc3\xa9.example"},
        {QStringLiteral("intranet#top"), "http://intranet#top"},
        {QStringLiteral("https://secure.example/"), "https://secure.example/"},
        {QStringLiteral("mailto:me@example.com"), "mailto:me@example.com"},
        {QStringLiteral("about:blank"), "about:blank"},
        {QStringLiteral("javascript:alert(1)"), "javascript:alert(1)"},
        {QStringLiteral("two words"), "two words"},
    };
    favourites_test::Rows expected;
    int n = 0;
    for (const auto& [typed, stored] : cases) {
        const std::string description = "Site " + std::to_string(++n);
        addThroughWindow(typed, QString::fromStdString(description));
        expected.emplace_back(description, stored);
    }
    EXPECT_EQ(rows(list()), expected);
    EXPECT_TRUE(prompt.boxes.empty());

    stub("xdg-open");
    select("Site 1");
    page->lvFav_DblClick();
    EXPECT_EQ(recorded("xdg-open"), "http://www.debian.org\n");
    EXPECT_TRUE(prompt.boxes.empty());

    // Change takes a bare host the same way.
    select("Site 9");
    type(page.get(), "txtAdd", QStringLiteral("example.org/new"));
    prompt.answer(Answer::Yes);
    click(page.get(), "cmdSave");
    EXPECT_EQ(rows(list()).back(), (std::pair<std::string, std::string>{"Site 9", "http://example.org/new"}));
}

} // namespace
