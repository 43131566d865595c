// The wallet tab and frmPassAdd driven as a user would, over a real registry database in a sandbox.

#include "shell/ShellTestSupport.h"

#include "core/Scrambler.h"
#include "core/SealKey.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "wallet/PasswordGenerator.h"
#include "wallet/PasswordWalletPage.h"
#include "wallet/Wallet.h"

#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QSpinBox>
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
        // Unlocked, as after the password window: the wallet's key is held for the session.
        ASSERT_EQ(wallet::OpenWallet("application password"), "");
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
    // A click on the entry's row, as the user makes it.
    void clickEntry(const std::string& description) {
        for (int i = 0; i < list()->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list()->topLevelItem(i);
            if (item->text(0).toStdString() == description && !item->isHidden()) {
                QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, list()->visualItemRect(item).center());
                return;
            }
        }
        ADD_FAILURE() << "not shown in the list: " << description;
    }
    std::string current() {
        return list()->currentItem() ? list()->currentItem()->text(0).toStdString() : std::string("<none>");
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
    void TearDown() override { core::ClearSessionKey(); }
    // A field as stored, opened with the session's key.
    std::string stored(const std::string& description, const char* field) {
        return wallet::ReadWalletField(description, field).value_or("<absent>");
    }

    std::unique_ptr<wallet::PasswordWalletPage> page;
};

TEST_F(WalletPageTest, FirstShowWithoutWalletKeyListsNothingAndSaysNothing) {
    EXPECT_TRUE(listed().empty());
    EXPECT_FALSE(save()->isEnabled());
    EXPECT_TRUE(prompt.boxes.empty());
    EXPECT_EQ(list()->headerItem()->text(0), QStringLiteral("Password Items"));
    // The tab says how its entries are kept.
    auto* about = page->findChild<QLabel*>(QStringLiteral("lblAboutWallet"));
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->text().startsWith(QStringLiteral("The wallet encrypts each entry's fields")));
}

TEST_F(WalletPageTest, AddStoresTheRegistryLayoutEncipheredAndShowsItBack) {
    addThroughWindow(QStringLiteral("  Bank"), QStringLiteral("bank.example"), QStringLiteral("m\u00fcller"),
                     QStringLiteral("s3cr\u00e9t \u2603"), QStringLiteral("pin in drawer"));
    ASSERT_EQ(listed(), std::vector<std::string>{"  Bank"}); // leading blanks kept

    // Read as stored: one marker value named by a random id, a subkey of that name holding the
    // description and the four fields, each sealed by itself (REG_BINARY), never in the old scrambled
    // form, and padded to a whole number of 32-byte blocks (+ 40 bytes of nonce and tag).
    const std::vector<std::string> markers = platform::registry().valueNames(HKEY_CURRENT_USER, kWallet);
    ASSERT_EQ(markers.size(), 1u);
    const std::string id = markers[0];
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
    EXPECT_EQ(platform::registry().subkeys(HKEY_CURRENT_USER, kWallet), std::vector<std::string>{id});
    EXPECT_EQ(platform::registry().valueNames(HKEY_CURRENT_USER, kWallet + "\\" + id),
              (std::vector<std::string>{"Description", "Server", "Username", "Password", "Notes"}));
    const std::pair<const char*, std::string> fields[] = {{"Description", "  Bank"},
                                                          {"Server", "bank.example"},
                                                          {"Username", "m\xc3\xbcller"},
                                                          {"Password", "s3cr\xc3\xa9t \xe2\x98\x83"},
                                                          {"Notes", "pin in drawer"}};
    for (const auto& [name, plain] : fields) {
        platform::RegValue raw;
        ASSERT_EQ(platform::registry().queryValue(HKEY_CURRENT_USER, kWallet + "\\" + id, name, raw), 0) << name;
        EXPECT_EQ(raw.type, platform::REG_BINARY) << name;
        EXPECT_EQ(raw.data.find(plain), std::string::npos) << name;
        EXPECT_EQ(raw.data.size() % 32, 40u % 32) << name;
        EXPECT_GE(raw.data.size(), plain.size() + 41) << name;
    }
    for (const auto& [name, plain] : fields) {
        if (std::string(name) != "Description") {
            EXPECT_EQ(stored("  Bank", name), plain) << name;
        }
    }

    // The database file never holds a description's or a field's plain text.
    const std::string db = testing_support::readHostFile(platform::registryFileHost());
    for (const auto& [name, plain] : fields) {
        EXPECT_EQ(db.find(plain), std::string::npos) << name;
        EXPECT_EQ(db.find(core::RC4Text(plain, core::kFixedKey)), std::string::npos) << name;
    }

    show("  Bank");
    EXPECT_EQ(text("txtDescription"), "  Bank");
    EXPECT_EQ(child("txtUserName")->text(), QStringLiteral("m\u00fcller"));
    EXPECT_EQ(child("txtPassword")->text(), QStringLiteral("s3cr\u00e9t \u2603"));
    EXPECT_EQ(text("txtNotes"), "pin in drawer");
    EXPECT_FALSE(save()->isEnabled());
    EXPECT_TRUE(prompt.boxes.empty());
}

// A stored field tells its length only to the 32-byte block: texts of 1 and 31 bytes are stored
// alike, 32 bytes take one block more (the padding always has at least one byte).
TEST_F(WalletPageTest, ASealedFieldTellsItsLengthOnlyToTheBlock) {
    const std::size_t lengths[] = {0, 1, 31, 32, 63, 64, 200};
    std::vector<std::size_t> sizes;
    for (const std::size_t n : lengths) {
        const std::string description = "Len" + std::to_string(n);
        ASSERT_TRUE(wallet::passWordAdd(description, {"", "", std::string(n, 'p'), ""}));
        EXPECT_EQ(stored(description, "Password"), std::string(n, 'p'));
    }
    for (const std::string& id : platform::registry().subkeys(HKEY_CURRENT_USER, kWallet)) {
        platform::RegValue raw;
        ASSERT_EQ(platform::registry().queryValue(HKEY_CURRENT_USER, kWallet + "\\" + id, "Password", raw), 0);
        sizes.push_back(raw.data.size());
    }
    ASSERT_EQ(sizes.size(), std::size(lengths));
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ((sizes[i] - 40) % 32, 0u) << lengths[i];
        EXPECT_GT(sizes[i], lengths[i] + 40) << lengths[i];
        EXPECT_LE(sizes[i], lengths[i] + 40 + 32) << lengths[i];
    }
    EXPECT_EQ(sizes[1], sizes[2]); // 1 and 31 bytes
    EXPECT_EQ(sizes[3], sizes[4]); // 32 and 63
    EXPECT_EQ(sizes[3], sizes[2] + 32);
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
    EXPECT_EQ(stored("Work", "Server"), "vpn");
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
    wallet::passWordAdd("Mail", {"imap", "me", "pw", ""});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        prompt.boxes.clear();
        // On the tab, over the entry shown.
        page->cmdPassReload_Click();
        show("Mail");
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
    page->cmdPassReload_Click();
    EXPECT_EQ(listed(), std::vector<std::string>{"Mail"});
    EXPECT_EQ(stored("Mail", "Server"), "imap");
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
    EXPECT_EQ(prompt.last().buttons, Buttons::YesNoDefaultNo); // Enter keeps the entry
    EXPECT_EQ(prompt.last().icon, Icon::Question);
    EXPECT_EQ(prompt.last().title, "Delete Confirmation");
    EXPECT_EQ(listed(), (std::vector<std::string>{"abc", "abcd", "x"}));
    EXPECT_EQ(text("txtDescription"), "abc");

    // Yes, typed in another case: that entry goes (the registry's rule), its neighbours stay.
    type(page.get(), "txtDescription", QStringLiteral("ABC"));
    prompt.answer(Answer::Yes);
    click(page.get(), "cmdPassDelete");
    EXPECT_EQ(listed(), (std::vector<std::string>{"abcd", "x"}));
    // Its marker and its subkey went with it; the others' stay.
    EXPECT_EQ(platform::registry().subkeys(HKEY_CURRENT_USER, kWallet).size(), 2u);
    EXPECT_EQ(platform::registry().valueNames(HKEY_CURRENT_USER, kWallet).size(), 2u);
    EXPECT_EQ(stored("abcd", "Server"), "s");

    // "x\" would reach entry x's subkey through the path: only a marker of exactly that name may go.
    type(page.get(), "txtDescription", QStringLiteral("x\\"));
    prompt.answer(Answer::Yes);
    click(page.get(), "cmdPassDelete");
    EXPECT_EQ(listed(), (std::vector<std::string>{"abcd", "x"}));
    EXPECT_EQ(stored("x", "Password"), "p");
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
        const std::string notes = answer == Answer::No ? "the older notes" : "new notes";
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
    EXPECT_EQ(platform::registry().subkeys(HKEY_CURRENT_USER, kWallet).size(), 1u); // no part of "Half"

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

namespace {

bool onlyFrom(const QString& text, const std::string& allowed) {
    for (QChar c : text)
        if (c.unicode() > 127 || allowed.find(static_cast<char>(c.unicode())) == std::string::npos)
            return false;
    return true;
}

bool anyFrom(const QString& text, const std::string& set) {
    for (QChar c : text)
        if (c.unicode() < 128 && set.find(static_cast<char>(c.unicode())) != std::string::npos)
            return true;
    return false;
}

TEST_F(WalletPageTest, ThePasswordShowsAsDotsUntilShowIsPressed) {
    wallet::passWordAdd("Bank", {"bank.example", "sam", "open sesame", ""});
    click(page.get(), "cmdPassReload");
    show("Bank");
    QLineEdit* password = child("txtPassword");
    auto* toggle = child<QPushButton>("cmdShowPassword");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_NE(password->displayText(), QStringLiteral("open sesame"));
    EXPECT_EQ(toggle->text(), QStringLiteral("Show"));
    EXPECT_EQ(toggle->accessibleName(), QStringLiteral("Show Password"));
    click(page.get(), "cmdShowPassword");
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(password->displayText(), QStringLiteral("open sesame"));
    EXPECT_EQ(toggle->text(), QStringLiteral("Hide"));
    click(page.get(), "cmdShowPassword");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);

    // Shown for one entry is not shown for the next.
    wallet::passWordAdd("Mail", {"mail.example", "kim", "letter", ""});
    click(page.get(), "cmdPassReload");
    clickEntry("Bank");
    click(page.get(), "cmdShowPassword");
    ASSERT_EQ(password->echoMode(), QLineEdit::Normal);
    clickEntry("Mail");
    EXPECT_EQ(text("txtPassword"), "letter");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_EQ(toggle->text(), QStringLiteral("Show"));
    EXPECT_EQ(toggle->accessibleName(), QStringLiteral("Show Password"));
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(WalletPageTest, EntriesAreListedByDescriptionWithoutRegardToCase) {
    for (const char* d : {"zeta", "Alpha", "beta", "\xc3\x89mile", "Gamma", "alps"})
        wallet::passWordAdd(d, {"", "", "", ""});
    click(page.get(), "cmdPassReload");
    EXPECT_EQ(listed(), (std::vector<std::string>{"Alpha", "alps", "beta", "Gamma", "zeta", "\xc3\x89mile"}));
    // An entry added later takes its place among them.
    addThroughWindow(QStringLiteral("Bank"), QString(), QString(), QString(), QString());
    EXPECT_EQ(listed(), (std::vector<std::string>{"Alpha", "alps", "Bank", "beta", "Gamma", "zeta", "\xc3\x89mile"}));
}

TEST_F(WalletPageTest, CopiedTextIsMarkedSecretAndTakenOffTheClipboardIfStillThere) {
    wallet::passWordAdd("Bank", {"bank.example", "sam", "open sesame", ""});
    click(page.get(), "cmdPassReload");
    show("Bank");
    auto* timer = page->findChild<QTimer*>(QStringLiteral("tmrClearClipboard"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 20000);
    page->setClipboardClearDelay(200);
    QClipboard* clipboard = QGuiApplication::clipboard();

    EXPECT_EQ(child<QPushButton>("cmdCopyUserName")->text(), QStringLiteral("Copy User Name"));
    EXPECT_EQ(child<QPushButton>("cmdCopyPassword")->text(), QStringLiteral("Copy Password"));
    for (const char* button : {"cmdCopyUserName", "cmdCopyPassword"}) {
        click(page.get(), button);
        const QString expected = QString::fromLatin1(std::string(button) == "cmdCopyUserName" ? "sam" : "open sesame");
        ASSERT_NE(clipboard->mimeData(), nullptr);
        EXPECT_EQ(clipboard->text(), expected) << button;
        EXPECT_EQ(clipboard->mimeData()->data(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
        // (The test's delay of 200 ms is said as the whole second it rounds up to.)
        EXPECT_EQ(child<QLabel>("lblCopied")->text(), QStringLiteral("Copied; the clipboard clears in 1 s."));
        ASSERT_TRUE(QTest::qWaitFor([timer] { return !timer->isActive(); }, 10000));
        EXPECT_TRUE(clipboard->text().isEmpty()) << button;
        EXPECT_TRUE(child<QLabel>("lblCopied")->text().isEmpty());
    }

    // Something copied since is left alone.
    click(page.get(), "cmdCopyPassword");
    clipboard->setText(QStringLiteral("the user's own text"));
    ASSERT_TRUE(QTest::qWaitFor([timer] { return !timer->isActive(); }, 10000));
    EXPECT_EQ(clipboard->text(), QStringLiteral("the user's own text"));
}

// At the program's end the clipboard is cleared when it still holds what the page put there, and
// left alone when the user copied something else since.
TEST_F(WalletPageTest, QuittingTakesTheCopiedSecretOffTheClipboardIfStillThere) {
    wallet::passWordAdd("Bank", {"bank.example", "sam", "open sesame", ""});
    click(page.get(), "cmdPassReload");
    show("Bank");
    QClipboard* clipboard = QGuiApplication::clipboard();
    click(page.get(), "cmdCopyPassword");
    ASSERT_EQ(clipboard->text(), QStringLiteral("open sesame"));
    page->clearClipboardOnQuit();
    EXPECT_TRUE(clipboard->text().isEmpty());

    click(page.get(), "cmdCopyPassword");
    clipboard->setText(QStringLiteral("the user's own text"));
    page->clearClipboardOnQuit();
    EXPECT_EQ(clipboard->text(), QStringLiteral("the user's own text"));
    clipboard->clear();
}

TEST_F(WalletPageTest, TheFilterShowsTheEntriesWhoseDescriptionServerOrUserNameHoldIt) {
    wallet::passWordAdd("Bank", {"bank.example", "sam", "p1", ""});
    wallet::passWordAdd("Mail", {"mail.example", "kim", "p2", ""});
    wallet::passWordAdd("Shop", {"shop.example", "SAMUEL", "p3", "sam in the notes is not searched"});
    click(page.get(), "cmdPassReload");
    const auto shown = [this] {
        std::vector<std::string> out;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            if (!list()->topLevelItem(i)->isHidden())
                out.push_back(list()->topLevelItem(i)->text(0).toStdString());
        return out;
    };
    auto* filter = child("txtFilter");
    EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("lblFilter"))->buddy(), filter);
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"sam", {"Bank", "Shop"}}, {"MAIL.ex", {"Mail"}}, {"o", {"Shop"}}, {"zz", {}}, {"", {"Bank", "Mail", "Shop"}}};
    for (const auto& [text, expected] : cases) {
        type(page.get(), "txtFilter", QString::fromLatin1(text));
        EXPECT_EQ(shown(), expected) << text;
    }
    // A reload keeps the filter.
    type(page.get(), "txtFilter", QStringLiteral("kim"));
    click(page.get(), "cmdPassReload");
    EXPECT_EQ(shown(), std::vector<std::string>{"Mail"});
}

TEST_F(WalletPageTest, TheAddWindowGeneratesPasswordsFromTheChosenClasses) {
    QString first, second;
    bool dots = false, disabledWithoutClasses = false;
    shell_test::whenModal([&](QWidget* w) {
        dots = w->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->echoMode() == QLineEdit::Password;
        ASSERT_NE(w->findChild<QPushButton*>(QStringLiteral("cmdShowPassword")), nullptr);
        auto* length = w->findChild<QSpinBox*>(QStringLiteral("spnLength"));
        ASSERT_NE(length, nullptr);
        EXPECT_EQ(w->findChild<QLabel*>(QStringLiteral("lblLength"))->buddy(), length);
        length->setValue(24);
        w->findChild<QCheckBox*>(QStringLiteral("chkLowerCase"))->setChecked(false);
        w->findChild<QCheckBox*>(QStringLiteral("chkSymbols"))->setChecked(false);
        click(w, "cmdGenerate");
        first = w->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->text();
        click(w, "cmdGenerate");
        second = w->findChild<QLineEdit*>(QStringLiteral("txtPassword"))->text();
        for (const char* name : {"chkUpperCase", "chkDigits"})
            w->findChild<QCheckBox*>(QString::fromLatin1(name))->setChecked(false);
        disabledWithoutClasses = !w->findChild<QPushButton*>(QStringLiteral("cmdGenerate"))->isEnabled();
        type(w, "txtDescription", QStringLiteral("Generated"));
        click(w, "cmdOK");
    });
    click(page.get(), "cmdPassAdd");
    EXPECT_TRUE(dots);
    EXPECT_TRUE(disabledWithoutClasses);
    EXPECT_EQ(first.size(), 24);
    EXPECT_TRUE(onlyFrom(first, wallet::ClassCharacters(wallet::kUpperCase) + wallet::ClassCharacters(wallet::kDigits)))
        << first.toStdString();
    EXPECT_TRUE(anyFrom(first, wallet::ClassCharacters(wallet::kUpperCase)));
    EXPECT_TRUE(anyFrom(first, wallet::ClassCharacters(wallet::kDigits)));
    EXPECT_NE(first, second);
    // Stored as any typed password is: the layout stays as it is.
    EXPECT_EQ(wallet::ReadWalletEntry("Generated").password, second.toStdString());
    EXPECT_EQ(stored("Generated", "Password"), second.toStdString());
}

TEST(PasswordGenerator, DrawsOnlyFromTheChosenClassesAndHasOneOfEach) {
    using namespace wallet;
    const unsigned all = kUpperCase | kLowerCase | kDigits | kSymbols;
    for (unsigned classes = 1; classes <= all; ++classes) {
        std::string allowed;
        for (CharacterClass c : {kUpperCase, kLowerCase, kDigits, kSymbols})
            if (classes & c)
                allowed += ClassCharacters(c);
        for (int round = 0; round < 20; ++round) {
            const std::string p = GeneratePassword(kMinGeneratedLength, classes);
            ASSERT_EQ(p.size(), static_cast<std::size_t>(kMinGeneratedLength));
            EXPECT_EQ(p.find_first_not_of(allowed), std::string::npos) << p;
            for (CharacterClass c : {kUpperCase, kLowerCase, kDigits, kSymbols}) {
                if (classes & c) {
                    EXPECT_NE(p.find_first_of(ClassCharacters(c)), std::string::npos) << p << " class " << c;
                }
            }
        }
    }
    EXPECT_EQ(GeneratePassword(20, 0), "");
    EXPECT_EQ(GeneratePassword(1, all).size(), static_cast<std::size_t>(kMinGeneratedLength));
    EXPECT_EQ(GeneratePassword(100000, kDigits).size(), static_cast<std::size_t>(kMaxGeneratedLength));
    EXPECT_EQ(ClassCharacters(kSymbols).find_first_of(" \t\"'\\"), std::string::npos);
}

} // namespace

namespace {

// An entry the filter hides leaves the boxes: Delete, Save and the copy buttons then have nothing to
// act on, and the hidden entry stays stored.
TEST_F(WalletPageTest, AnEntryTheFilterHidesIsNoLongerShownOrActedOn) {
    wallet::passWordAdd("GitHub", {"github.com", "octo", "hub-pass", ""});
    wallet::passWordAdd("Bank", {"bank.example", "sam", "bank-pass", ""});
    click(page.get(), "cmdPassReload");
    clickEntry("GitHub");
    ASSERT_EQ(text("txtDescription"), "GitHub");
    ASSERT_TRUE(child<QPushButton>("cmdCopyPassword")->isEnabled());

    type(page.get(), "txtFilter", QStringLiteral("Bank"));
    EXPECT_FALSE(page->shownEntry().has_value());
    for (const char* box : {"txtDescription", "txtServer", "txtUserName", "txtPassword", "txtNotes"})
        EXPECT_EQ(text(box), "") << box;
    EXPECT_EQ(current(), "<none>");
    EXPECT_TRUE(list()->selectedItems().isEmpty());
    EXPECT_FALSE(save()->isEnabled());
    EXPECT_FALSE(child<QPushButton>("cmdCopyUserName")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("cmdCopyPassword")->isEnabled());
    EXPECT_TRUE(prompt.boxes.empty()); // nothing was edited: nothing to ask

    click(page.get(), "cmdPassDelete");
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Nothing Selected");
    EXPECT_EQ(wallet::ListWalletItems().size(), 2u);

    // The entry the filter shows is the one Delete asks about, and Enter (the default) keeps it.
    clickEntry("Bank");
    click(page.get(), "cmdPassDelete");
    EXPECT_EQ(prompt.last().text, "Are you sure you want to delete 'Bank' password item ?");
    EXPECT_EQ(prompt.last().buttons, Buttons::YesNoDefaultNo);
    EXPECT_EQ(wallet::ListWalletItems().size(), 2u);
    EXPECT_EQ(text("txtDescription"), "Bank");
}

// Edits are set aside only as the user says: save them, drop them, or stay on the entry. Asked when
// another entry is clicked, at Reload, and when the filter would hide the edited entry.
TEST_F(WalletPageTest, EditsAreSavedDroppedOrKeptAsTheUserAnswers) {
    struct Case {
        Answer answer;
        std::string shownAfter;   // the entry in the boxes afterwards
        std::string storedServer; // GitHub's server in the wallet afterwards
    };
    const Case cases[] = {
        {Answer::Cancel, "GitHub", "github.com"},
        {Answer::No, "Bank", "github.com"},
        {Answer::Yes, "Bank", "git.example"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        wallet::passWordAdd("GitHub", {"github.com", "octo", "hub-pass", ""});
        wallet::passWordAdd("Bank", {"bank.example", "sam", "bank-pass", ""});
        type(page.get(), "txtFilter", QString());
        page->cmdPassReload_Click();
        prompt.boxes.clear();

        // Another entry clicked.
        clickEntry("GitHub");
        type(page.get(), "txtServer", QStringLiteral("git.example"));
        prompt.answer(c.answer);
        clickEntry("Bank");
        ASSERT_EQ(prompt.boxes.size(), 1u);
        EXPECT_EQ(prompt.last().text, "The changes to 'GitHub' are not saved. Save them?");
        EXPECT_EQ(prompt.last().buttons, Buttons::YesNoCancel);
        EXPECT_EQ(prompt.last().icon, Icon::Question);
        EXPECT_EQ(text("txtDescription"), c.shownAfter);
        EXPECT_EQ(current(), c.shownAfter);
        EXPECT_EQ(text("txtServer"), c.answer == Answer::Cancel ? "git.example" : "bank.example");
        EXPECT_EQ(wallet::ReadWalletEntry("GitHub").server, c.storedServer);

        // Reload, and a filter that hides the edited entry (the filter comes back on Cancel).
        for (const char* how : {"reload", "filter"}) {
            SCOPED_TRACE(how);
            type(page.get(), "txtFilter", QString());
            page->cmdPassReload_Click();
            wallet::passWordAdd("GitHub", {"github.com", "octo", "hub-pass", ""});
            clickEntry("GitHub");
            type(page.get(), "txtNotes", QStringLiteral("new notes"));
            prompt.boxes.clear();
            prompt.answer(c.answer);
            if (std::string(how) == "reload")
                click(page.get(), "cmdPassReload");
            else
                QTest::keyClicks(child("txtFilter"), QStringLiteral("k")); // Bank's, not GitHub's
            ASSERT_EQ(prompt.boxes.size(), 1u);
            EXPECT_EQ(prompt.last().text, "The changes to 'GitHub' are not saved. Save them?");
            const bool stayed = c.answer == Answer::Cancel;
            EXPECT_EQ(text("txtNotes"), stayed ? "new notes" : "");
            EXPECT_EQ(page->shownEntry().value_or("<none>"), stayed ? "GitHub" : "<none>");
            EXPECT_EQ(text("txtFilter"), std::string(how) == "filter" && !stayed ? "k" : "");
            EXPECT_EQ(wallet::ReadWalletEntry("GitHub").notes, c.answer == Answer::Yes ? "new notes" : "");
            if (stayed) { // the user drops the edit: the filter then applies
                prompt.answer(Answer::No);
                type(page.get(), "txtFilter", QStringLiteral("k"));
                EXPECT_FALSE(page->shownEntry().has_value());
            }
        }
    }

    // Nothing edited: no question. A refused save keeps the user on the entry with what was typed.
    type(page.get(), "txtFilter", QString());
    page->cmdPassReload_Click();
    prompt.boxes.clear();
    clickEntry("GitHub");
    clickEntry("Bank");
    EXPECT_TRUE(prompt.boxes.empty());
    type(page.get(), "txtDescription", QStringLiteral("   "));
    prompt.answer(Answer::Yes);
    clickEntry("GitHub");
    EXPECT_EQ(prompt.texts(), (std::vector<std::string>{"The changes to 'Bank' are not saved. Save them?",
                                                        "Description can't be left blank"}));
    EXPECT_EQ(text("txtDescription"), "   ");
    EXPECT_EQ(current(), "Bank");
}

} // namespace

namespace {

// Adding an entry through the Add window refills the list but keeps edits of the shown entry.
TEST_F(WalletPageTest, AnAddKeepsTheEditsOfTheShownEntry) {
    wallet::passWordAdd("GitHub", {"github.com", "octo", "hub-pass", ""});
    click(page.get(), "cmdPassReload");
    clickEntry("GitHub");
    type(page.get(), "txtNotes", QStringLiteral("half typed"));
    addThroughWindow(QStringLiteral("Zed"), QString(), QString(), QStringLiteral("z"), QString());
    EXPECT_EQ(listed(), (std::vector<std::string>{"GitHub", "Zed"}));
    EXPECT_EQ(text("txtNotes"), "half typed");
    EXPECT_EQ(page->shownEntry().value_or("<none>"), "GitHub");
    EXPECT_EQ(current(), "GitHub");
    EXPECT_TRUE(prompt.boxes.empty());
}

// With no entry shown the boxes take no typing (a new entry is typed in the Add window).
TEST_F(WalletPageTest, TheBoxesTakeTypingOnlyWhileTheyShowAnEntry) {
    wallet::passWordAdd("Mail", {"imap", "me", "pw", "n"});
    page->cmdPassReload_Click();
    struct Step {
        const char* what;
        std::function<void()> act;
        bool editable;
    } steps[] = {
        {"nothing shown at first", [] {}, false},
        {"an entry shown", [&] { clickEntry("Mail"); }, true},
        {"reloaded", [&] { click(page.get(), "cmdPassReload"); }, false},
        {"shown again", [&] { clickEntry("Mail"); }, true},
        {"deleted",
         [&] {
             prompt.answer(Answer::Yes);
             click(page.get(), "cmdPassDelete");
         },
         false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        for (const char* name : {"txtDescription", "txtServer", "txtUserName", "txtPassword", "txtNotes"}) {
            SCOPED_TRACE(name);
            QLineEdit* box = child(name);
            const QString before = box->text();
            QTest::keyClicks(box, QStringLiteral("x"));
            EXPECT_EQ(box->text(), step.editable ? before + QStringLiteral("x") : before);
            EXPECT_EQ(box->isReadOnly(), !step.editable);
            box->setText(before); // nothing left unsaved for the next step
        }
    }
    EXPECT_TRUE(listed().empty());
}

TEST_F(WalletPageTest, AShownPasswordTurnsBackToDotsAfterThirtySeconds) {
    wallet::passWordAdd("Bank", {"bank.example", "sam", "open sesame", ""});
    page->cmdPassReload_Click();
    show("Bank");
    auto* timer = child<QTimer>("tmrHidePassword");
    auto* toggle = child<QPushButton>("cmdShowPassword");
    ASSERT_TRUE(timer && toggle);
    EXPECT_FALSE(timer->isActive());
    click(page.get(), "cmdShowPassword");
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 30000);
    // Hidden by hand, the count stops.
    click(page.get(), "cmdShowPassword");
    EXPECT_FALSE(timer->isActive());
    // Left shown, it turns back when the time runs out (made to run out now).
    click(page.get(), "cmdShowPassword");
    ASSERT_EQ(child("txtPassword")->echoMode(), QLineEdit::Normal);
    timer->start(0);
    QTRY_COMPARE_WITH_TIMEOUT(child("txtPassword")->echoMode(), QLineEdit::Password, 10000);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_EQ(toggle->text(), QStringLiteral("Show"));
}

TEST_F(WalletPageTest, WhileLockedThePageHoldsNothingAndTheUnlockBringsTheEntryAndItsEditsBack) {
    wallet::passWordAdd("Bank", {"bank.example", "sam", "open sesame", "notes"});
    wallet::passWordAdd("Mail", {"mail.example", "kim", "letter", ""});
    page->cmdPassReload_Click();
    type(page.get(), "txtFilter", QStringLiteral("bank"));
    clickEntry("Bank");
    type(page.get(), "txtNotes", QStringLiteral("half typed"));
    click(page.get(), "cmdShowPassword");
    click(page.get(), "cmdCopyPassword");
    ASSERT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("open sesame"));

    page->setLocked(true);
    for (const char* box : {"txtDescription", "txtServer", "txtUserName", "txtPassword", "txtNotes", "txtFilter"})
        EXPECT_EQ(text(box), "") << box;
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_FALSE(child<QPushButton>("cmdShowPassword")->isChecked());
    EXPECT_FALSE(page->shownEntry().has_value());
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), ""); // at once, not when its time runs out
    // Shown again before the unlock (the windows come back first), it still reads nothing.
    page->hide();
    page->show();
    EXPECT_EQ(list()->topLevelItemCount(), 0);

    page->setLocked(false);
    EXPECT_EQ(text("txtFilter"), "bank");
    EXPECT_EQ(listed(), (std::vector<std::string>{"Bank", "Mail"}));
    EXPECT_TRUE(list()->topLevelItem(1)->isHidden());
    EXPECT_EQ(page->shownEntry().value_or("<none>"), "Bank");
    EXPECT_EQ(current(), "Bank");
    EXPECT_EQ(text("txtServer"), "bank.example");
    EXPECT_EQ(text("txtNotes"), "half typed");
    EXPECT_TRUE(save()->isEnabled());
    EXPECT_EQ(child("txtPassword")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(WalletPageTest, TheAddWindowOpenAtTheLockKeepsNothingAndGetsItsTextBack) {
    shell_test::whenModal([&](QWidget* w) {
        type(w, "txtDescription", QStringLiteral("Bank"));
        type(w, "txtUserName", QStringLiteral("sam"));
        type(w, "txtPassword", QStringLiteral("open sesame"));
        click(w, "cmdShowPassword");
        page->setLocked(true);
        for (const char* box : {"txtDescription", "txtUserName", "txtPassword"})
            EXPECT_EQ(w->findChild<QLineEdit*>(QString::fromLatin1(box))->text(), QString()) << box;
        EXPECT_FALSE(w->findChild<QPushButton*>(QStringLiteral("cmdShowPassword"))->isChecked());
        page->setLocked(false);
        click(w, "cmdOK");
    });
    click(page.get(), "cmdPassAdd");
    EXPECT_EQ(stored("Bank", "Username"), "sam");
    EXPECT_EQ(stored("Bank", "Password"), "open sesame");
}

} // namespace
