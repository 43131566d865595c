// The wallet tab and frmPassAdd driven as a user would, over a real registry database in a sandbox.

#include "shell/ShellTestSupport.h"

#include "core/Scrambler.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "wallet/PasswordWalletPage.h"
#include "wallet/Wallet.h"

#include <QTreeWidget>

#include <sqlite3.h>

#include <gtest/gtest.h>

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using shell_test::click;

// Typing, except for text beyond ASCII, which the test keyboard cannot type: it is put in the box.
void type(QWidget* window, const char* box, const QString& text) {
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 128;
    if (ascii)
        return shell_test::type(window, box, text);
    auto* edit = window->findChild<QLineEdit*>(QString::fromLatin1(box));
    ASSERT_NE(edit, nullptr) << box;
    edit->setText(text);
}

namespace {

const std::string kWallet = settings::kWalletKey;

class WalletPageTest : public shell_test::ShellTest {
protected:
    void SetUp() override {
        page = std::make_unique<wallet::PasswordWalletPage>(prompt);
        page->show();
    }

    template <typename T = QLineEdit> T* child(const char* name) {
        auto* w = page->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QTreeWidget* list() { return child<QTreeWidget>("lstItem"); }
    QPushButton* save() { return child<QPushButton>("cmdPassSave"); }
    std::string text(const char* box) { return child(box)->text().toStdString(); }
    std::vector<std::string> listed() {
        std::vector<std::string> out;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            out.push_back(list()->topLevelItem(i)->text(0).toStdString());
        return out;
    }
    void show(const std::string& description) {
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            if (list()->topLevelItem(i)->text(0).toStdString() == description) {
                page->lstItem_Click(list()->topLevelItem(i));
                return;
            }
        ADD_FAILURE() << "not listed: " << description;
    }
    // Adds an entry through the Add window, typing each box.
    void addThroughWindow(const QString& description, const QString& server, const QString& user,
                          const QString& password, const QString& notes) {
        shell_test::whenModal([&](QWidget* w) {
            EXPECT_EQ(w->objectName(), QStringLiteral("frmPassAdd"));
            EXPECT_EQ(w->windowTitle(), QStringLiteral("Tessaly -Add New Password"));
            type(w, "txtDescription", description);
            type(w, "txtServer", server);
            type(w, "txtUserName", user);
            type(w, "txtPassword", password);
            type(w, "txtNotes", notes);
            click(w, "cmdOK");
        });
        click(page.get(), "cmdPassAdd");
    }
    std::string stored(const std::string& description, const char* field) {
        return GetStringFull(HKEY_CURRENT_USER, kWallet + "\\" + description, field, "<absent>");
    }

    std::unique_ptr<wallet::PasswordWalletPage> page;
};

TEST_F(WalletPageTest, FirstShowWithoutWalletKeyListsNothingAndSaysNothing) {
    EXPECT_TRUE(listed().empty());
    EXPECT_FALSE(save()->isEnabled());
    EXPECT_TRUE(prompt.boxes.empty());
    EXPECT_EQ(list()->headerItem()->text(0), QStringLiteral("Password Items"));
}

TEST_F(WalletPageTest, AddStoresTheRegistryLayoutEncipheredAndShowsItBack) {
    addThroughWindow(QStringLiteral("  Bank"), QStringLiteral("bank.example"), QStringLiteral("m\u00fcller"),
                     QStringLiteral("s3cr\u00e9t \u2603"), QStringLiteral("pin in drawer"));
    ASSERT_EQ(listed(), std::vector<std::string>{"  Bank"}); // leading blanks kept

    // Marker value (data = name), then the four fields, each RC4 of the UTF-8 bytes.
    EXPECT_EQ(GetStringFull(HKEY_CURRENT_USER, kWallet, "  Bank"), "  Bank");
    const std::pair<const char*, std::string> fields[] = {{"Server", "bank.example"},
                                                          {"Username", "m\xc3\xbcller"},
                                                          {"Password", "s3cr\xc3\xa9t \xe2\x98\x83"},
                                                          {"Notes", "pin in drawer"}};
    for (const auto& [name, plain] : fields)
        EXPECT_EQ(stored("  Bank", name), core::RC4Text(plain, core::kFixedKey)) << name;
    EXPECT_EQ(platform::registry().valueNames(HKEY_CURRENT_USER, kWallet + "\\  Bank"),
              (std::vector<std::string>{"Server", "Username", "Password", "Notes"}));

    // The database file never holds a field's plain text.
    const std::string db = testing_support::readHostFile(platform::registryFileHost());
    for (const auto& [name, plain] : fields)
        EXPECT_EQ(db.find(plain), std::string::npos) << name;

    show("  Bank");
    EXPECT_EQ(text("txtDescription"), "  Bank");
    EXPECT_EQ(child("txtUserName")->text(), QStringLiteral("m\u00fcller"));
    EXPECT_EQ(child("txtPassword")->text(), QStringLiteral("s3cr\u00e9t \u2603"));
    EXPECT_EQ(text("txtNotes"), "pin in drawer");
    EXPECT_FALSE(save()->isEnabled());
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(WalletPageTest, AFieldWhoseCipherHoldsAZeroByteReadsBackWhole) {
    // RC4 gives a zero byte where the text's byte equals the key stream's: put a printable such byte
    // after some letters that differ from the stream.
    const std::string stream = core::RC4Text(std::string(64, '\0'), core::kFixedKey);
    std::string password;
    for (std::size_t i = 0; i < stream.size() && password.empty(); ++i)
        if (stream[i] > ' ' && stream[i] < 127) {
            for (std::size_t j = 0; j < i; ++j)
                password.push_back(stream[j] == 'x' ? 'y' : 'x');
            password += stream[i];
            password += "tail";
        }
    ASSERT_FALSE(password.empty());
    ASSERT_NE(core::RC4Text(password, core::kFixedKey).find('\0'), std::string::npos);

    addThroughWindow(QStringLiteral("Zero"), QString(), QString(), QString::fromStdString(password), QString());
    page->cmdPassReload_Click();
    show("Zero");
    EXPECT_EQ(text("txtPassword"), password);
}

TEST_F(WalletPageTest, SaveOverwritesByDescriptionAndStoresEmptyFields) {
    wallet::passWordAdd("Mail", {"imap", "me", "old", "n"});
    click(page.get(), "cmdPassReload");
    show("Mail");

    // The description alone does not make the entry worth saving; a field does.
    type(page.get(), "txtDescription", QStringLiteral("mail"));
    EXPECT_FALSE(save()->isEnabled());
    for (const char* box : {"txtServer", "txtUserName", "txtPassword", "txtNotes"})
        type(page.get(), box, QString());
    EXPECT_TRUE(save()->isEnabled());
    click(page.get(), "cmdPassSave");
    EXPECT_EQ(text("txtDescription"), ""); // reloaded: the boxes are empty again

    // Same entry by the registry's case rule: overwritten, four empty values, no question asked.
    EXPECT_EQ(listed(), std::vector<std::string>{"Mail"});
    for (const char* field : {"Server", "Username", "Password", "Notes"})
        EXPECT_EQ(stored("Mail", field), "") << field;
    EXPECT_FALSE(save()->isEnabled());
    show("Mail");
    for (const char* box : {"txtServer", "txtUserName", "txtPassword", "txtNotes"})
        EXPECT_EQ(text(box), "") << box;
    EXPECT_TRUE(prompt.boxes.empty());

    // A description edited after showing makes a new entry and keeps the old one.
    type(page.get(), "txtDescription", QStringLiteral("Work"));
    type(page.get(), "txtServer", QStringLiteral("vpn"));
    click(page.get(), "cmdPassSave");
    EXPECT_EQ(listed(), (std::vector<std::string>{"Mail", "Work"}));
    EXPECT_EQ(stored("Work", "Server"), core::RC4Text("vpn", core::kFixedKey));
}

TEST_F(WalletPageTest, RefusedDescriptionsKeepEveryFieldAsTyped) {
    struct Case {
        QString description;
        std::string message;
        Icon icon;
    } cases[] = {
        {QStringLiteral("   "), "Description can't be left blank", Icon::None},
        {QStringLiteral("Web\\Mail"), "A description can't contain '\\'.", Icon::Exclamation},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        prompt.boxes.clear();
        // On the tab.
        type(page.get(), "txtDescription", c.description);
        type(page.get(), "txtServer", QStringLiteral("srv"));
        click(page.get(), "cmdPassSave");
        ASSERT_EQ(prompt.boxes.size(), 1u);
        EXPECT_EQ(prompt.last().text, c.message);
        EXPECT_EQ(prompt.last().icon, c.icon);
        EXPECT_EQ(prompt.last().title, "Tessaly");
        EXPECT_EQ(child("txtDescription")->text(), c.description);
        EXPECT_EQ(text("txtServer"), "srv");

        // In the Add window, which stays open until cancelled.
        bool stillOpen = false;
        QString keptServer;
        shell_test::whenModal([&](QWidget* w) {
            type(w, "txtDescription", c.description);
            type(w, "txtServer", QStringLiteral("kept"));
            click(w, "cmdOK");
            stillOpen = w->isVisible();
            keptServer = w->findChild<QLineEdit*>(QStringLiteral("txtServer"))->text();
            click(w, "cmdCancel");
        });
        click(page.get(), "cmdPassAdd");
        EXPECT_TRUE(stillOpen);
        EXPECT_EQ(keptServer, QStringLiteral("kept"));
        EXPECT_EQ(prompt.boxes.size(), 2u);
        EXPECT_EQ(prompt.last().text, c.message);
    }
    EXPECT_FALSE(platform::registry().keyExists(HKEY_CURRENT_USER, kWallet));
    EXPECT_TRUE(listed().empty());
}

TEST_F(WalletPageTest, CancelInTheAddWindowWritesNothing) {
    shell_test::whenModal([&](QWidget* w) {
        type(w, "txtDescription", QStringLiteral("Draft"));
        click(w, "cmdCancel");
    });
    click(page.get(), "cmdPassAdd");
    EXPECT_FALSE(platform::registry().keyExists(HKEY_CURRENT_USER, kWallet));
}

TEST_F(WalletPageTest, DeleteAsksAndRemovesExactlyTheNamedEntry) {
    for (const char* d : {"abc", "abcd", "x"})
        wallet::passWordAdd(d, {"s", "u", "p", "n"});
    page->cmdPassReload_Click();

    // Nothing typed.
    click(page.get(), "cmdPassDelete");
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Nothing Selected");

    // No leaves entry and list as they were.
    show("abc");
    prompt.answer(Answer::No);
    click(page.get(), "cmdPassDelete");
    EXPECT_EQ(prompt.last().text, "Are you sure you want to delete 'abc' password item ?");
    EXPECT_EQ(prompt.last().buttons, Buttons::YesNo);
    EXPECT_EQ(prompt.last().icon, Icon::Question);
    EXPECT_EQ(prompt.last().title, "Delete Confirmation");
    EXPECT_EQ(listed(), (std::vector<std::string>{"abc", "abcd", "x"}));
    EXPECT_EQ(text("txtDescription"), "abc");

    // Yes, typed in another case: that entry goes (the registry's rule), its neighbours stay.
    type(page.get(), "txtDescription", QStringLiteral("ABC"));
    prompt.answer(Answer::Yes);
    click(page.get(), "cmdPassDelete");
    EXPECT_EQ(listed(), (std::vector<std::string>{"abcd", "x"}));
    EXPECT_FALSE(platform::registry().keyExists(HKEY_CURRENT_USER, kWallet + "\\abc"));
    EXPECT_EQ(stored("abcd", "Server"), core::RC4Text("s", core::kFixedKey));

    // "x\" would reach entry x's subkey through the path: only a marker of exactly that name may go.
    type(page.get(), "txtDescription", QStringLiteral("x\\"));
    prompt.answer(Answer::Yes);
    click(page.get(), "cmdPassDelete");
    EXPECT_EQ(listed(), (std::vector<std::string>{"abcd", "x"}));
    EXPECT_EQ(stored("x", "Password"), core::RC4Text("p", core::kFixedKey));
}

// Add under a description stored in another letter case asks first; No keeps the older entry.
TEST_F(WalletPageTest, AddOverAnEntryOfAnotherCaseAsksFirst) {
    const QString older = QStringLiteral("Bank \u2013 Sparkasse");
    addThroughWindow(older, QStringLiteral("bank.example"), QStringLiteral("me"), QStringLiteral("pw"),
                     QStringLiteral("the older notes"));
    const std::string olderName = older.toStdString();
    for (const Answer answer : {Answer::No, Answer::Yes}) {
        prompt.boxes.clear();
        prompt.answer(answer);
        bool stayedOpen = false;
        shell_test::whenModal([&](QWidget* w) {
            type(w, "txtDescription", QStringLiteral("BANK \u2013 SPARKASSE"));
            type(w, "txtServer", QStringLiteral("other.example"));
            type(w, "txtNotes", QStringLiteral("new notes"));
            click(w, "cmdOK");
            stayedOpen = w->isVisible();
            if (stayedOpen)
                click(w, "cmdCancel");
        });
        click(page.get(), "cmdPassAdd");
        ASSERT_EQ(prompt.boxes.size(), 1u);
        EXPECT_EQ(prompt.last().text, "An entry '" + olderName + "' exists. Replace it?");
        EXPECT_EQ(prompt.last().buttons, Buttons::YesNoDefaultNo);
        EXPECT_EQ(stayedOpen, answer == Answer::No);
        const std::string notes =
            core::RC4Text(answer == Answer::No ? "the older notes" : "new notes", core::kFixedKey);
        EXPECT_EQ(stored(olderName, "Notes"), notes);
        EXPECT_EQ(listed().size(), 1u);
    }
    // The same description in the same case is saved without a question.
    prompt.boxes.clear();
    ASSERT_TRUE(wallet::SaveEntry(prompt, olderName, {"s", "u", "p", "n"}));
    EXPECT_TRUE(prompt.boxes.empty());
}

// An entry is one registry transaction: a write that fails part way leaves no part of it.
TEST_F(WalletPageTest, AnEntryIsWrittenWholeOrNotAtAll) {
    wallet::passWordAdd("Kept", {"s", "u", "p", "n"});
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(platform::registryFileHost().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER fail_password BEFORE INSERT ON vals WHEN NEW.name = 'Password' "
                           "BEGIN SELECT RAISE(ABORT, 'injected'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    EXPECT_FALSE(wallet::passWordAdd("Half", {"server", "user", "password", "notes"}));
    EXPECT_EQ(wallet::ListWalletItems(), std::vector<std::string>{"Kept"});
    EXPECT_FALSE(platform::registry().keyExists(HKEY_CURRENT_USER, kWallet + "\\Half"));

    // Through the window: the failure is shown and every box keeps what was typed.
    bool stayedOpen = false;
    shell_test::whenModal([&](QWidget* w) {
        type(w, "txtDescription", QStringLiteral("Half"));
        type(w, "txtServer", QStringLiteral("server"));
        click(w, "cmdOK");
        stayedOpen = w->isVisible();
        EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("txtServer"))->text(), QStringLiteral("server"));
        if (stayedOpen)
            click(w, "cmdCancel");
    });
    click(page.get(), "cmdPassAdd");
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(prompt.last().text, wallet::kNotSaved);
    EXPECT_EQ(prompt.last().icon, Icon::Critical);
    EXPECT_EQ(wallet::ListWalletItems(), std::vector<std::string>{"Kept"});
}

} // namespace
