#include "platform/Environment.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include "support/Sandbox.h"

using namespace platform;

namespace {

class RegistryTest : public testing_support::SandboxTest {
protected:
    std::string file() const { return sandbox.root() + "/reg/test.sqlite3"; }
};

std::uint32_t dword(const RegValue& v) {
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i)
        n = (n << 8) | static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
    return n;
}

} // namespace

TEST_F(RegistryTest, CreatesItsFileAndFolder) {
    Registry reg(file());
    EXPECT_TRUE(sandbox.exists("C:\\reg\\test.sqlite3"));
    EXPECT_TRUE(reg.keyExists(RegRoot::CurrentUser, ""));
    EXPECT_FALSE(reg.keyExists(RegRoot::CurrentUser, "Software"));
}

TEST_F(RegistryTest, NamesMatchWithoutCaseAndKeepTheirFirstCase) {
    Registry reg(file());
    ASSERT_EQ(reg.createKey(RegRoot::CurrentUser, "Software\\Orvane"), kRegSuccess);
    EXPECT_TRUE(reg.keyExists(RegRoot::CurrentUser, "SOFTWARE\\orvane"));
    EXPECT_TRUE(reg.keyExists(RegRoot::CurrentUser, "\\software\\ORVANE\\"));
    EXPECT_EQ(reg.createKey(RegRoot::CurrentUser, "SOFTWARE\\ORVANE"), kRegSuccess); // already there
    EXPECT_EQ(reg.subkeys(RegRoot::CurrentUser, "software"), std::vector<std::string>{"Orvane"});

    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, "Software\\Orvane", "Path", "C:\\one"), kRegSuccess);
    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, "software\\orvane", "PATH", "C:\\two"), kRegSuccess);
    EXPECT_EQ(reg.valueNames(RegRoot::CurrentUser, "Software\\Orvane"), std::vector<std::string>{"Path"});
    RegValue v;
    ASSERT_EQ(reg.queryValue(RegRoot::CurrentUser, "SOFTWARE\\ORVANE", "path", v), kRegSuccess);
    EXPECT_EQ(v.type, REG_SZ);
    EXPECT_EQ(v.data, "C:\\two");
    // Roots are separate trees.
    EXPECT_FALSE(reg.keyExists(RegRoot::LocalMachine, "Software\\Orvane"));
}

TEST_F(RegistryTest, TypesRoundTripAsBytes) {
    Registry reg(file());
    const std::string binary("\x00\x01\xff\x00zz", 6);
    ASSERT_EQ(reg.createKey(RegRoot::LocalMachine, "K"), kRegSuccess);
    ASSERT_EQ(reg.setValue(RegRoot::LocalMachine, "K", "bin", RegValue{REG_BINARY, binary}), kRegSuccess);
    ASSERT_EQ(reg.setDword(RegRoot::LocalMachine, "K", "num", 0x12345678u), kRegSuccess);
    ASSERT_EQ(reg.setString(RegRoot::LocalMachine, "K", "", "default"), kRegSuccess);
    ASSERT_EQ(reg.setString(RegRoot::LocalMachine, "K", "utf8", "Gr\xc3\xbc\xc3\x9f"), kRegSuccess);

    RegValue v;
    ASSERT_EQ(reg.queryValue(RegRoot::LocalMachine, "K", "bin", v), kRegSuccess);
    EXPECT_EQ(v.type, REG_BINARY);
    EXPECT_EQ(v.data, binary);
    ASSERT_EQ(reg.queryValue(RegRoot::LocalMachine, "K", "NUM", v), kRegSuccess);
    EXPECT_EQ(v.type, REG_DWORD);
    EXPECT_EQ(v.data, std::string("\x78\x56\x34\x12", 4));
    EXPECT_EQ(dword(v), 0x12345678u);
    ASSERT_EQ(reg.queryValue(RegRoot::LocalMachine, "K", "", v), kRegSuccess);
    EXPECT_EQ(v.data, "default");
    ASSERT_EQ(reg.queryValue(RegRoot::LocalMachine, "K", "utf8", v), kRegSuccess);
    EXPECT_EQ(v.data, "Gr\xc3\xbc\xc3\x9f");
}

TEST_F(RegistryTest, CreationOrderSurvivesRewrites) {
    Registry reg(file());
    for (const char* name : {"zeta", "Alpha", "mid"})
        ASSERT_EQ(reg.setString(RegRoot::CurrentUser, "Order", name, name), kRegSuccess);
    // Rewriting a value keeps its place.
    ASSERT_EQ(reg.setDword(RegRoot::CurrentUser, "Order", "ZETA", 7), kRegSuccess);
    EXPECT_EQ(reg.valueNames(RegRoot::CurrentUser, "Order"), (std::vector<std::string>{"zeta", "Alpha", "mid"}));
    for (const char* key : {"b", "A", "c"})
        ASSERT_EQ(reg.createKey(RegRoot::CurrentUser, std::string("Order\\") + key), kRegSuccess);
    EXPECT_EQ(reg.subkeys(RegRoot::CurrentUser, "order"), (std::vector<std::string>{"b", "A", "c"}));
}

TEST_F(RegistryTest, MissingThingsAndBadPaths) {
    Registry reg(file());
    RegValue v;
    EXPECT_EQ(reg.queryValue(RegRoot::CurrentUser, "Nope", "x", v), kRegNotFound);
    EXPECT_EQ(reg.setValue(RegRoot::CurrentUser, "Nope", "x", RegValue{REG_SZ, "1"}), kRegNotFound);
    EXPECT_FALSE(reg.keyExists(RegRoot::CurrentUser, "Nope")); // setValue created nothing
    ASSERT_EQ(reg.createKey(RegRoot::CurrentUser, "Here"), kRegSuccess);
    EXPECT_EQ(reg.queryValue(RegRoot::CurrentUser, "Here", "x", v), kRegNotFound);
    EXPECT_EQ(reg.deleteValue(RegRoot::CurrentUser, "Here", "x"), kRegNotFound);
    EXPECT_EQ(reg.deleteKey(RegRoot::CurrentUser, "Here\\Nope"), kRegNotFound);
    EXPECT_EQ(reg.createKey(RegRoot::CurrentUser, "a\\\\b"), kRegInvalidParameter);
    EXPECT_EQ(reg.createKey(static_cast<RegRoot>(0x1234u), "a"), kRegInvalidParameter);
    EXPECT_EQ(reg.deleteKey(RegRoot::CurrentUser, ""), kRegInvalidParameter);
    EXPECT_TRUE(reg.subkeys(RegRoot::CurrentUser, "Nope").empty());
}

TEST_F(RegistryTest, IntermediateKeysAndRecursiveDelete) {
    Registry reg(file());
    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, "A\\B\\C\\D", "v", "deep"), kRegSuccess);
    EXPECT_TRUE(reg.keyExists(RegRoot::CurrentUser, "A"));
    EXPECT_TRUE(reg.keyExists(RegRoot::CurrentUser, "A\\B"));
    EXPECT_TRUE(reg.keyExists(RegRoot::CurrentUser, "A\\B\\C"));
    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, "A\\B", "w", "mid"), kRegSuccess);
    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, "A\\Other", "keep", "1"), kRegSuccess);

    ASSERT_EQ(reg.deleteKey(RegRoot::CurrentUser, "a\\b"), kRegSuccess);
    EXPECT_FALSE(reg.keyExists(RegRoot::CurrentUser, "A\\B"));
    EXPECT_FALSE(reg.keyExists(RegRoot::CurrentUser, "A\\B\\C\\D"));
    EXPECT_TRUE(reg.keyExists(RegRoot::CurrentUser, "A\\Other"));
    EXPECT_EQ(reg.subkeys(RegRoot::CurrentUser, "A"), std::vector<std::string>{"Other"});

    // Recreating the deleted path finds none of the old values.
    ASSERT_EQ(reg.createKey(RegRoot::CurrentUser, "A\\B\\C\\D"), kRegSuccess);
    RegValue v;
    EXPECT_EQ(reg.queryValue(RegRoot::CurrentUser, "A\\B\\C\\D", "v", v), kRegNotFound);
    EXPECT_EQ(reg.queryValue(RegRoot::CurrentUser, "A\\B", "w", v), kRegNotFound);
    EXPECT_TRUE(reg.valueNames(RegRoot::CurrentUser, "A\\B").empty());
}

// apply() removes whole keys after its changes, in the same transaction: a failure or a changed
// value leaves every key where it was.
TEST_F(RegistryTest, ApplyRemovesKeysInItsTransaction) {
    Registry reg(file());
    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, "W\\Old\\Deep", "v", "1"), kRegSuccess);
    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, "W", "m", "old"), kRegSuccess);
    const std::vector<RegChange> changes = {{"W\\New", "v", RegValue{REG_SZ, "2"}}};
    // Expected "m" to hold something else: nothing is done.
    EXPECT_EQ(reg.apply(RegRoot::CurrentUser, {{"W", "m", RegValue{REG_SZ, "other"}}}, changes, {"W\\old"}),
              kRegChanged);
    // A failure at the removal rolls the change back too.
    reg.setChangeHook([](std::size_t made) { return made < 2; });
    EXPECT_EQ(reg.apply(RegRoot::CurrentUser, {}, changes, {"W\\old"}), kRegBadDatabase);
    reg.setChangeHook({});
    EXPECT_TRUE(reg.keyExists(RegRoot::CurrentUser, "W\\Old\\Deep"));
    EXPECT_FALSE(reg.keyExists(RegRoot::CurrentUser, "W\\New"));
    // A missing key is no failure; a root cannot be removed.
    EXPECT_EQ(reg.apply(RegRoot::CurrentUser, {}, changes, {"W\\old", "W\\Missing"}), kRegSuccess);
    EXPECT_EQ(reg.subkeys(RegRoot::CurrentUser, "W"), std::vector<std::string>{"New"});
    EXPECT_EQ(reg.apply(RegRoot::CurrentUser, {}, {}, {""}), kRegInvalidParameter);
}

TEST_F(RegistryTest, DeleteValue) {
    Registry reg(file());
    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, "K", "one", "1"), kRegSuccess);
    ASSERT_EQ(reg.setString(RegRoot::CurrentUser, "K", "two", "2"), kRegSuccess);
    EXPECT_EQ(reg.deleteValue(RegRoot::CurrentUser, "k", "ONE"), kRegSuccess);
    EXPECT_EQ(reg.valueNames(RegRoot::CurrentUser, "K"), std::vector<std::string>{"two"});
}

TEST_F(RegistryTest, ASecondObjectOnTheSameFileSeesTheData) {
    Registry first(file());
    ASSERT_EQ(first.setString(RegRoot::CurrentUser, "Shared", "Name", "value"), kRegSuccess);
    {
        Registry second(file());
        RegValue v;
        ASSERT_EQ(second.queryValue(RegRoot::CurrentUser, "shared", "name", v), kRegSuccess);
        EXPECT_EQ(v.data, "value");
        ASSERT_EQ(second.setDword(RegRoot::CurrentUser, "Shared", "Count", 3), kRegSuccess);
    }
    RegValue v;
    ASSERT_EQ(first.queryValue(RegRoot::CurrentUser, "Shared", "Count", v), kRegSuccess);
    EXPECT_EQ(v.type, REG_DWORD);
    EXPECT_EQ(dword(v), 3u);
}

TEST_F(RegistryTest, UnopenableFileGivesDatabaseFailure) {
    sandbox.makeFolder("C:\\afolder.sqlite3"); // a folder where the file should be
    Registry reg(sandbox.host("C:\\afolder.sqlite3"));
    EXPECT_EQ(reg.createKey(RegRoot::CurrentUser, "x"), kRegBadDatabase);
    EXPECT_FALSE(reg.keyExists(RegRoot::CurrentUser, ""));
}

TEST_F(RegistryTest, EnvironmentRegistryLivesInTheDataFolder) {
    EXPECT_EQ(platform::registry().file(), sandbox.root() + "/home/.local/share/tessaly/registry.sqlite3");
    EXPECT_TRUE(sandbox.exists("C:\\home\\.local\\share\\tessaly\\registry.sqlite3"));
}
