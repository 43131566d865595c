// The sealed wallet through the password windows' commands: old-layout entries sealed at the first
// unlock, entries that open again after a restart, and Change Password sealing everything again in
// one transaction (a failure or a kill in the middle leaves the old password and the old wallet).

#include "ShellTestSupport.h"

#include "core/AppPassword.h"
#include "core/Scrambler.h"
#include "core/SealKey.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "shell/ChangePassword.h"
#include "shell/frmPassword.h"
#include "wallet/Wallet.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace {

using platform::RegRoot;

const std::vector<std::pair<std::string, wallet::WalletEntry>> kEntries = {
    {"Bank of Elsewhere", {"bank.example", "m\xc3\xbcller", "pin 4242 secret", "drawer notes"}},
    {"Mail at home", {"imap.example", "me", "mail password 77", ""}},
};

class WalletSealTest : public shell_test::ShellTest {
protected:
    WalletSealTest() { core::ClearSessionKey(); }
    ~WalletSealTest() override { core::ClearSessionKey(); }

    // Entries as the program before sealing stored them: each field REG_SZ, RC4 under the fixed key.
    static void storeOldLayout(const std::string& appPassword) {
        std::vector<platform::RegWrite> writes = {
            {settings::kPasswordKey, settings::kPasswordValue,
             {platform::REG_SZ, core::RC4Text(appPassword, core::kFixedKey)}}};
        const char* names[] = {"Server", "Username", "Password", "Notes"};
        for (const auto& [description, e] : kEntries) {
            writes.push_back({settings::kWalletKey, description, {platform::REG_SZ, description}});
            const std::string fields[] = {e.server, e.userName, e.password, e.notes};
            for (int i = 0; i < 4; ++i)
                writes.push_back({std::string(settings::kWalletKey) + "\\" + description, names[i],
                                  {platform::REG_SZ, core::RC4Text(fields[i], core::kFixedKey)}});
        }
        ASSERT_EQ(platform::registry().setValues(RegRoot::CurrentUser, writes), platform::kRegSuccess);
    }

    // A restart: the key forgotten, the database opened afresh.
    static void restart() {
        core::ClearSessionKey();
        platform::resetEnvironment();
    }

    // Unlocks as the password window does; false for a wrong password.
    static bool unlock(const std::string& password) {
        if (!core::CheckAppPassword(password))
            return false;
        EXPECT_EQ(wallet::OpenWallet(password), "");
        return true;
    }

    static void expectEntriesOpen() {
        ASSERT_EQ(wallet::ListWalletItems(), (std::vector<std::string>{"Bank of Elsewhere", "Mail at home"}));
        for (const auto& [description, e] : kEntries) {
            const wallet::WalletEntry got = wallet::ReadWalletEntry(description);
            EXPECT_EQ(got.server, e.server) << description;
            EXPECT_EQ(got.userName, e.userName) << description;
            EXPECT_EQ(got.password, e.password) << description;
            EXPECT_EQ(got.notes, e.notes) << description;
        }
    }

    // Every field is sealed, and the database file holds no field nor password readable by a script.
    static void expectNothingReadableAtRest(const std::vector<std::string>& passwords) {
        const std::string db = testing_support::readHostFile(platform::registryFileHost());
        // Entries are named by ids; every value under them is sealed.
        const std::vector<std::string> ids = platform::registry().subkeys(RegRoot::CurrentUser, settings::kWalletKey);
        EXPECT_EQ(ids.size(), kEntries.size());
        for (const std::string& id : ids) {
            EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos) << id;
            for (const char* name : {"Description", "Server", "Username", "Password", "Notes"}) {
                platform::RegValue raw;
                ASSERT_EQ(platform::registry().queryValue(RegRoot::CurrentUser,
                                                          std::string(settings::kWalletKey) + "\\" + id, name, raw),
                          platform::kRegSuccess);
                EXPECT_EQ(raw.type, platform::REG_BINARY) << id << " " << name;
            }
        }
        for (const auto& [description, e] : kEntries) {
            for (const std::string& secret : {description, e.server, e.userName, e.password, e.notes}) {
                if (secret.size() < 6) // two or three bytes are found by chance in any binary data
                    continue;
                EXPECT_EQ(db.find(secret), std::string::npos) << secret;
                EXPECT_EQ(db.find(core::RC4Text(secret, core::kFixedKey)), std::string::npos) << secret;
            }
        }
        for (const std::string& p : passwords) {
            EXPECT_EQ(db.find(p), std::string::npos) << p;
            EXPECT_EQ(db.find(core::RC4Text(p, core::kFixedKey)), std::string::npos) << p;
        }
    }
};

TEST_F(WalletSealTest, OldEntriesAreSealedAtTheFirstUnlockAndOpenAfterARestart) {
    storeOldLayout("first password");
    EXPECT_FALSE(unlock("first passwor"));
    EXPECT_EQ(core::SessionKey(), nullptr);
    ASSERT_TRUE(unlock("first password"));
    expectEntriesOpen();
    expectNothingReadableAtRest({"first password"});

    restart();
    EXPECT_EQ(wallet::ReadWalletEntry("Bank of Elsewhere").password, ""); // locked: nothing opens
    ASSERT_TRUE(unlock("first password"));
    expectEntriesOpen();

    // A key from another password opens nothing.
    restart();
    EXPECT_EQ(wallet::OpenWallet("not the password"), "");
    EXPECT_EQ(wallet::ReadWalletEntry("Bank of Elsewhere").password, "");
    EXPECT_FALSE(wallet::ReadWalletField("Mail at home", "Password").has_value());
}

TEST_F(WalletSealTest, AfterChangePasswordOnlyTheNewPasswordOpensTheProgramAndTheWallet) {
    storeOldLayout("first password");
    ASSERT_TRUE(unlock("first password"));
    shell::PasswordChangeFields fields{"first password", "second password", "second password"};
    ASSERT_TRUE(shell::ChangeAppPassword(prompt, fields));
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Password Successfully changed"});
    expectEntriesOpen(); // the session goes on with the new key
    expectNothingReadableAtRest({"first password", "second password"});

    restart();
    EXPECT_FALSE(unlock("first password"));
    ASSERT_TRUE(unlock("second password"));
    expectEntriesOpen();
    // The old password's key no longer opens the entries.
    restart();
    EXPECT_EQ(wallet::OpenWallet("first password"), "");
    EXPECT_EQ(wallet::ReadWalletEntry("Bank of Elsewhere").password, "");
}

TEST_F(WalletSealTest, AChangeThatFailsOrIsKilledInTheMiddleLeavesTheOldPasswordAndWallet) {
    storeOldLayout("first password");
    ASSERT_TRUE(unlock("first password"));
    // Changes: the salt, each entry's marker, description and four fields, then the password's verifier.
    const std::size_t changes = 1 + 6 * kEntries.size() + 1;
    for (std::size_t stopAt = 1; stopAt <= changes; stopAt += 3) {
        SCOPED_TRACE(stopAt);
        // A failure: the transaction is rolled back and the user is told.
        prompt.boxes.clear();
        platform::registry().setChangeHook([stopAt](std::size_t made) { return made < stopAt; });
        shell::PasswordChangeFields fields{"first password", "second password", "second password"};
        EXPECT_FALSE(shell::ChangeAppPassword(prompt, fields));
        platform::registry().setChangeHook({});
        ASSERT_EQ(prompt.boxes.size(), 1u);
        EXPECT_EQ(prompt.last().text.rfind(shell::kPasswordNotSaved, 0), 0u) << prompt.last().text;

        // A kill: a child process ends at once in the middle of the transaction.
        const pid_t pid = ::fork();
        if (pid == 0) {
            platform::registry().setChangeHook([stopAt](std::size_t made) {
                if (made == stopAt)
                    ::raise(SIGKILL);
                return true;
            });
            testing_support::ScriptedPrompt quiet;
            shell::PasswordChangeFields f{"first password", "second password", "second password"};
            shell::ChangeAppPassword(quiet, f);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

        restart();
        EXPECT_FALSE(core::CheckAppPassword("second password"));
        ASSERT_TRUE(unlock("first password"));
        expectEntriesOpen();
    }
}

} // namespace

namespace {

// Through the password window, as at start: the right password opens the wallet, a wrong one does not.
TEST_F(WalletSealTest, ThePasswordWindowOpensTheWalletWithTheRightPasswordOnly) {
    storeOldLayout("first password");
    {
        frmPassword wrong(prompt);
        shell_test::type(&wrong, "txtPassword", QStringLiteral("not it"));
        shell_test::click(&wrong, "cmdOK");
        EXPECT_FALSE(wrong.accepted());
        EXPECT_EQ(core::SessionKey(), nullptr);
    }
    passTheWait();
    frmPassword login(prompt);
    shell_test::type(&login, "txtPassword", QStringLiteral("first password"));
    shell_test::click(&login, "cmdOK");
    ASSERT_TRUE(login.accepted()) << prompt.texts().back();
    expectEntriesOpen();
    expectNothingReadableAtRest({"first password"});

    restart();
    frmPassword again(prompt);
    shell_test::type(&again, "txtPassword", QStringLiteral("first password"));
    shell_test::click(&again, "cmdOK");
    ASSERT_TRUE(again.accepted());
    expectEntriesOpen();
}

} // namespace
