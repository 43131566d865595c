// Passwords at rest: what the registry file holds after the application password and folder
// passwords are set, and how values of the old (scrambled) layout are taken over.

#include "core/AppPassword.h"
#include "core/FolderPassword.h"
#include "core/Scrambler.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::RegRoot;
using platform::RegValue;

class SecretsAtRestTest : public testing_support::SandboxTest {
protected:
    // The registry database as a script would read it: every byte of the file.
    std::string databaseBytes() const { return testing_support::readHostFile(platform::registryFileHost()); }

    static bool holds(const std::string& haystack, const std::string& needle) {
        return haystack.find(needle) != std::string::npos;
    }

    // The password in any reversible form the program ever stored it in.
    void expectNoReversibleForm(const std::string& password) const {
        const std::string bytes = databaseBytes();
        ASSERT_FALSE(bytes.empty());
        EXPECT_FALSE(holds(bytes, password)) << "clear text of " << password;
        EXPECT_FALSE(holds(bytes, core::RC4Text(password, core::kFixedKey))) << "scrambled " << password;
    }

    static std::string rawValue(const std::string& key, const std::string& name) {
        RegValue v;
        EXPECT_EQ(platform::registry().queryValue(RegRoot::CurrentUser, key, name, v), platform::kRegSuccess);
        return v.data;
    }

    static void storeOldLayout(const std::string& key, const std::string& name, const std::string& password) {
        ASSERT_EQ(platform::registry().setString(RegRoot::CurrentUser, key, name,
                                                 core::RC4Text(password, core::kFixedKey)),
                  platform::kRegSuccess);
    }
};

TEST_F(SecretsAtRestTest, TheApplicationPasswordIsKeptOnlyAsAVerifier) {
    const std::string password = "Correct horse 42";
    ASSERT_TRUE(core::WriteAppPassword(password));
    const std::string stored = core::ReadStoredPassword();
    EXPECT_TRUE(core::IsVerifier(stored)) << stored;
    EXPECT_EQ(stored.rfind("$argon2id$", 0), 0u);
    expectNoReversibleForm(password);
    EXPECT_TRUE(core::CheckAppPassword(password));
    for (const char* wrong : {"correct horse 42", "Correct horse 4", "", "Correct horse 42 "})
        EXPECT_FALSE(core::CheckAppPassword(wrong)) << wrong;
    // Two verifiers of one password differ (each has its own salt).
    ASSERT_TRUE(core::WriteAppPassword(password));
    EXPECT_NE(core::ReadStoredPassword(), stored);
    EXPECT_TRUE(core::CheckAppPassword(password));
}

TEST_F(SecretsAtRestTest, AnOldLayoutApplicationPasswordIsTakenOverAtItsFirstRightCheck) {
    const std::string password = "Old layout pass";
    storeOldLayout(settings::kPasswordKey, settings::kPasswordValue, password);
    ASSERT_TRUE(holds(databaseBytes(), core::RC4Text(password, core::kFixedKey)));
    ASSERT_TRUE(core::IsPasswordSet());

    // A wrong password changes nothing.
    EXPECT_FALSE(core::CheckAppPassword("old layout pass"));
    EXPECT_EQ(core::ReadStoredPassword(), core::RC4Text(password, core::kFixedKey));

    EXPECT_TRUE(core::CheckAppPassword(password));
    EXPECT_TRUE(core::IsVerifier(core::ReadStoredPassword()));
    expectNoReversibleForm(password);
    // After a restart (a fresh connection to the same file) the same password still opens.
    platform::resetEnvironment();
    EXPECT_TRUE(core::CheckAppPassword(password));
    EXPECT_FALSE(core::CheckAppPassword("Old layout pas"));
}

TEST_F(SecretsAtRestTest, FolderPasswordsAreVerifiersAndOldOnesAreTakenOver) {
    const std::string fresh = "C:\\\\Docs\\Fresh";
    const std::string old = "C:\\\\Docs\\Old";
    core::StoreFolderPassword(fresh, "folder secret one");
    storeOldLayout(settings::kFolderPasswordKey, old, "folder secret two");

    EXPECT_TRUE(core::IsVerifier(rawValue(settings::kFolderPasswordKey, fresh)));
    expectNoReversibleForm("folder secret one");
    EXPECT_TRUE(core::CheckFolderPassword(fresh, "folder secret one"));
    EXPECT_FALSE(core::CheckFolderPassword(fresh, "folder secret two"));

    EXPECT_FALSE(core::CheckFolderPassword(old, "folder secret one"));
    EXPECT_EQ(rawValue(settings::kFolderPasswordKey, old), core::RC4Text("folder secret two", core::kFixedKey));
    EXPECT_TRUE(core::CheckFolderPassword(old, "folder secret two"));
    EXPECT_TRUE(core::IsVerifier(rawValue(settings::kFolderPasswordKey, old)));
    expectNoReversibleForm("folder secret two");
    EXPECT_TRUE(core::CheckFolderPassword(old, "folder secret two"));

    // No value: only an empty password matches, as before.
    EXPECT_FALSE(core::HasStoredFolderPassword("C:\\\\None"));
    EXPECT_TRUE(core::CheckFolderPassword("C:\\\\None", ""));
    EXPECT_FALSE(core::CheckFolderPassword("C:\\\\None", "x"));
}

TEST_F(SecretsAtRestTest, ApplyChecksWhatWasReadAndChangesAllOrNothing) {
    auto& reg = platform::registry();
    const std::string key = "Software\\Test";
    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, key, "a", "1"), platform::kRegSuccess);
    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, key, "b", "2"), platform::kRegSuccess);
    const RegValue one{platform::REG_SZ, "1"};
    const RegValue three{platform::REG_SZ, "3"};

    // A stale expectation changes nothing.
    EXPECT_EQ(reg.apply(RegRoot::CurrentUser, {{key, "a", three}}, {{key, "b", three}, {key, "a", std::nullopt}}),
              platform::kRegChanged);
    EXPECT_EQ(rawValue(key, "a"), "1");
    EXPECT_EQ(rawValue(key, "b"), "2");

    // A failure after the first change rolls the first one back too.
    reg.setChangeHook([](std::size_t made) { return made < 2; });
    EXPECT_EQ(reg.apply(RegRoot::CurrentUser, {{key, "a", one}}, {{key, "b", three}, {key, "a", std::nullopt}}),
              platform::kRegBadDatabase);
    reg.setChangeHook({});
    EXPECT_EQ(rawValue(key, "a"), "1");
    EXPECT_EQ(rawValue(key, "b"), "2");

    EXPECT_EQ(reg.apply(RegRoot::CurrentUser, {{key, "a", one}, {key, "c", std::nullopt}},
                        {{key, "b", three}, {key, "a", std::nullopt}}),
              platform::kRegSuccess);
    EXPECT_EQ(rawValue(key, "b"), "3");
    RegValue gone;
    EXPECT_EQ(reg.queryValue(RegRoot::CurrentUser, key, "a", gone), platform::kRegNotFound);
}

} // namespace
