// The favourites tab and frmFavAdd over a real store file in a sandbox.

#include "FavouritesFixture.h"

#include "favourites/BrowserWindow.h"
#include "favourites/FavouritesPage.h"

#include <QLabel>

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
    QTreeWidget* list() { return page->findChild<QTreeWidget*>(QStringLiteral("lvFav")); }
    QLineEdit* box(const char* name) { return page->findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QTreeWidgetItem* select(const std::string& description) {
        for (int i = 0; i < list()->topLevelItemCount(); ++i) {
            auto* item = list()->topLevelItem(i);
            if (item->text(0).toStdString() == description) {
                list()->setCurrentItem(item);
                page->lvFav_Click(item);
                return item;
            }
        }
        ADD_FAILURE() << "not listed: " << description;
        return nullptr;
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
    EXPECT_EQ(rows(list()), (favourites_test::Rows{{"Daily news", "http://news.example/a?b=1&c"},
                                                   {"Caf\xc3\xa9 \xe2\x98\x95", "https://caf\xc3\xa9.example/\xe2\x98\x83"}}));
    EXPECT_EQ(list()->topLevelItem(0)->toolTip(0), QStringLiteral("http://news.example/a?b=1&c"));
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

    // A duplicate description and a line without a separator are reported; the rest is listed.
    writeStore(line("A", "http://one") + "\r\n" + "garbage\r\n" + line("A", "http://two") + line("B", "http://b"));
    page->GetFavorites();
    EXPECT_EQ(rows(list()), (favourites_test::Rows{{"A", "http://one"}, {"B", "http://b"}}));
    EXPECT_EQ(reports(), (std::vector<std::string>{"frmMain, GetFavorites9Subscript out of range",
                                                   "frmMain, GetFavorites35602Key is not unique in collection"}));
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

    // Renaming onto another favourite's description makes a duplicate that the refill reports.
    select("New name");
    type(page.get(), "txtShow", QStringLiteral("Other"));
    click(page.get(), "cmdSave");
    EXPECT_EQ(rows(list()), (favourites_test::Rows{{"Other", "http://new"}}));
    ASSERT_EQ(reports().size(), 1u);
    EXPECT_EQ(reports()[0], "frmMain, GetFavorites35602Key is not unique in collection");
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
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::kLaunchNewIE, "True");
    stub("xdg-settings", "firefox.desktop\n");
    stub("firefox");
    const std::string apps = std::string(std::getenv("XDG_DATA_HOME")) + "/applications";
    std::filesystem::create_directories(apps);
    std::ofstream(apps + "/firefox.desktop") << "[Desktop Entry]\nType=Application\nName=Browser\nExec=" << bin
                                             << "/firefox %u\n";
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

} // namespace
