// The wallet as stored, read from the registry's rows and the database file: entries of the earlier
// layouts (named by their description; fields scrambled, or sealed without padding) are taken over in
// one transaction when the wallet opens, and afterwards nothing names an entry in clear and every
// sealed value is a whole number of 32-byte blocks + 40 bytes.

#include "core/Scrambler.h"
#include "core/SealKey.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "support/Sandbox.h"
#include "wallet/Wallet.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace {

using platform::RegRoot;

const std::string kWallet = settings::kWalletKey;
constexpr const char* kFields[] = {"Server", "Username", "Password", "Notes"};
constexpr const char* kAppPassword = "application password";

struct Stored {
    std::string description;
    wallet::WalletEntry entry;
    bool sealedByDescription; // else scrambled (the first layout)
};

// One entry of each earlier layout, and one whose description made a nested key.
const std::vector<Stored> kOld = {
    {"Bank of Elsewhere", {"bank.example.org", "m\xc3\xbcller-account", "pin 4242 secret", "top drawer notes"}, false},
    {"Mail at home", {"imap.example.net", "someone-at-home", "mail password 77", ""}, true},
    {"Web\\Shop front", {"shop.example.com", "shopper-name", "shop secret 123", "gift list"}, false},
};

class WalletLayoutTest : public testing_support::SandboxTest {
protected:
    ~WalletLayoutTest() override { core::ClearSessionKey(); }

    // The earlier layouts as the earlier versions wrote them: a REG_SZ marker named by the
    // description, a subkey of that name with the four fields, each scrambled (REG_SZ) or sealed
    // without padding, bound to the description (REG_BINARY) under the key of the salt stored beside.
    static void storeEarlierLayouts() {
        const std::string salt(core::kSealSaltSize, 's');
        unsigned char key[crypto_aead_xchacha20poly1305_ietf_KEYBYTES];
        ASSERT_EQ(sodium_init() < 0, false);
        ASSERT_EQ(crypto_pwhash(key, sizeof key, kAppPassword, std::strlen(kAppPassword),
                                reinterpret_cast<const unsigned char*>(salt.data()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13),
                  0);
        const auto sealUnpadded = [&](const std::string& plain, const std::string& context) {
            std::string out(crypto_aead_xchacha20poly1305_ietf_NPUBBYTES + plain.size() +
                                crypto_aead_xchacha20poly1305_ietf_ABYTES,
                            '\0');
            auto* o = reinterpret_cast<unsigned char*>(out.data());
            randombytes_buf(o, crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
            crypto_aead_xchacha20poly1305_ietf_encrypt(
                o + crypto_aead_xchacha20poly1305_ietf_NPUBBYTES, nullptr,
                reinterpret_cast<const unsigned char*>(plain.data()), plain.size(),
                reinterpret_cast<const unsigned char*>(context.data()), context.size(), nullptr, o, key);
            return out;
        };
        std::vector<platform::RegWrite> writes = {
            {settings::kWalletSealKey, settings::kWalletSaltValue, {platform::REG_BINARY, salt}}};
        for (const Stored& s : kOld) {
            writes.push_back({kWallet, s.description, {platform::REG_SZ, s.description}});
            const std::string fields[] = {s.entry.server, s.entry.userName, s.entry.password, s.entry.notes};
            for (int i = 0; i < 4; ++i) {
                const std::string context =
                    std::string("Tessaly wallet") + '\0' + platform::lowerText(s.description) + '\0' + kFields[i];
                writes.push_back(
                    {kWallet + "\\" + s.description, kFields[i],
                     s.sealedByDescription
                         ? platform::RegValue{platform::REG_BINARY, sealUnpadded(fields[i], context)}
                         : platform::RegValue{platform::REG_SZ, core::RC4Text(fields[i], core::kFixedKey)}});
            }
        }
        // What a delete of the marker alone left: a subkey named by a description nobody lists.
        writes.push_back({kWallet + "\\Old forgotten entry", "Password", {platform::REG_SZ, "forgotten"}});
        ASSERT_EQ(platform::registry().setValues(RegRoot::CurrentUser, writes), platform::kRegSuccess);
    }

    static void expectEntriesOpen() {
        std::vector<std::string> descriptions;
        for (const Stored& s : kOld)
            descriptions.push_back(s.description);
        EXPECT_EQ(wallet::ListWalletItems(), descriptions);
        for (const Stored& s : kOld) {
            const wallet::WalletEntry got = wallet::ReadWalletEntry(s.description);
            EXPECT_EQ(got.server, s.entry.server) << s.description;
            EXPECT_EQ(got.userName, s.entry.userName) << s.description;
            EXPECT_EQ(got.password, s.entry.password) << s.description;
            EXPECT_EQ(got.notes, s.entry.notes) << s.description;
        }
    }

    // Whether the registry still holds the earlier layouts as they were stored.
    static bool earlierLayoutsStand() {
        auto& reg = platform::registry();
        for (const Stored& s : kOld) {
            platform::RegValue marker;
            if (reg.queryValue(RegRoot::CurrentUser, kWallet, s.description, marker) != platform::kRegSuccess ||
                marker.type != platform::REG_SZ)
                return false;
            for (const char* field : kFields) {
                platform::RegValue v;
                if (reg.queryValue(RegRoot::CurrentUser, kWallet + "\\" + s.description, field, v) !=
                    platform::kRegSuccess)
                    return false;
            }
        }
        return reg.valueNames(RegRoot::CurrentUser, kWallet).size() == kOld.size();
    }

    // Read row by row: every marker and subkey is named by an id, every value under them is sealed
    // and a whole number of blocks long, and the database file holds no description and no field.
    static void expectNothingNamedInClear() {
        auto& reg = platform::registry();
        const auto isId = [](const std::string& name) {
            return name.size() == 32 && name.find_first_not_of("0123456789abcdef") == std::string::npos;
        };
        const std::vector<std::string> markers = reg.valueNames(RegRoot::CurrentUser, kWallet);
        EXPECT_EQ(markers.size(), kOld.size());
        EXPECT_EQ(reg.subkeys(RegRoot::CurrentUser, kWallet), markers);
        for (const std::string& id : markers) {
            EXPECT_TRUE(isId(id)) << id;
            EXPECT_TRUE(reg.subkeys(RegRoot::CurrentUser, kWallet + "\\" + id).empty()) << id;
            for (const std::string& name : reg.valueNames(RegRoot::CurrentUser, kWallet + "\\" + id)) {
                platform::RegValue v;
                ASSERT_EQ(reg.queryValue(RegRoot::CurrentUser, kWallet + "\\" + id, name, v), platform::kRegSuccess);
                EXPECT_EQ(v.type, platform::REG_BINARY) << name;
                EXPECT_GE(v.data.size(), 72u) << name;
                EXPECT_EQ((v.data.size() - 40) % 32, 0u) << name << " " << v.data.size();
            }
        }
        const std::string db = testing_support::readHostFile(platform::registryFileHost());
        for (const Stored& s : kOld)
            for (const std::string& text : {s.description, std::string("Shop front"), s.entry.server, s.entry.userName,
                                            s.entry.password, s.entry.notes}) {
                if (text.empty())
                    continue;
                EXPECT_EQ(db.find(text), std::string::npos) << text;
                EXPECT_EQ(db.find(core::RC4Text(text, core::kFixedKey)), std::string::npos) << text;
            }
        EXPECT_EQ(db.find("Old forgotten entry"), std::string::npos);
    }
};

TEST_F(WalletLayoutTest, EveryEarlierLayoutIsTakenOverAndNothingIsNamedInClear) {
    storeEarlierLayouts();
    ASSERT_EQ(wallet::OpenWallet(kAppPassword), "");
    expectEntriesOpen();
    expectNothingNamedInClear();

    // Once: the next opening (another start) finds nothing to take over and changes nothing.
    const std::string before = testing_support::readHostFile(platform::registryFileHost());
    core::ClearSessionKey();
    platform::resetEnvironment();
    EXPECT_TRUE(wallet::ListWalletItems().empty()); // locked: no description opens
    ASSERT_EQ(wallet::OpenWallet(kAppPassword), "");
    EXPECT_EQ(testing_support::readHostFile(platform::registryFileHost()), before);
    expectEntriesOpen();

    // Entries added, replaced and deleted afterwards keep to the layout.
    ASSERT_TRUE(wallet::passWordAdd("MAIL AT HOME", {"new.example.net", "someone-at-home", "mail password 78", ""}));
    ASSERT_TRUE(wallet::passWordAdd("Extra", {"x", "y", "z", "w"}));
    wallet::DeleteWalletEntry("extra");
    EXPECT_EQ(wallet::ReadWalletEntry("Mail at home").server, "new.example.net");
    EXPECT_EQ(wallet::ListWalletItems().size(), kOld.size());
}

// The takeover is one transaction: a failure or a kill at any change leaves the earlier layouts
// whole (they still open), and the next opening takes them over.
TEST_F(WalletLayoutTest, ATakeoverThatFailsOrIsKilledLeavesTheEarlierLayoutsWhole) {
    storeEarlierLayouts();
    for (std::size_t stopAt = 1; stopAt <= 40; stopAt += 6) {
        SCOPED_TRACE(stopAt);
        platform::registry().setChangeHook([stopAt](std::size_t made) { return made < stopAt; });
        EXPECT_EQ(wallet::OpenWallet(kAppPassword), "the wallet's entries could not be sealed");
        platform::registry().setChangeHook({});
        EXPECT_TRUE(earlierLayoutsStand());
        expectEntriesOpen();

        const pid_t pid = ::fork();
        if (pid == 0) {
            core::ClearSessionKey();
            platform::registry().setChangeHook([stopAt](std::size_t made) {
                if (made == stopAt)
                    ::raise(SIGKILL);
                return true;
            });
            wallet::OpenWallet(kAppPassword);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        core::ClearSessionKey();
        platform::resetEnvironment();
        EXPECT_TRUE(earlierLayoutsStand());
    }
    ASSERT_EQ(wallet::OpenWallet(kAppPassword), "");
    expectEntriesOpen();
    expectNothingNamedInClear();
}

} // namespace
