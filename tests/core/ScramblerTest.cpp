#include "core/AppPassword.h"
#include "core/Scrambler.h"
#include "Vectors.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

using core_tests::fromHex;
using core_tests::loadVectors;

TEST(Scrambler, RC4FollowsTheVectorsAndIsItsOwnInverse) {
    const QJsonObject v = loadVectors("core.json")[QLatin1String("rc4")].toObject();
    EXPECT_EQ(core::RC4Text("Plaintext", "Key"), fromHex(v[QLatin1String("Key/Plaintext")].toString()));
    EXPECT_EQ(core::RC4Text("password", core::kFixedKey), fromHex(v[QLatin1String("fixed_key/password")].toString()));
    EXPECT_EQ(core::RC4Text(core::RC4Text("any text", core::kFixedKey), core::kFixedKey), "any text");
    EXPECT_EQ(core::RC4Text("", core::kFixedKey), "");
}

// The fixed key's stream worked out once gives what RC4 with that key gives, on both sides of the
// part kept for the process and byte by byte far past it.
TEST(Scrambler, TheFixedKeysKeptStreamIsRc4WithThatKey) {
    for (std::size_t length : {0u, 1u, 100u, 16383u, 16384u, 16385u, 40000u}) {
        std::string text(length, '\0');
        for (std::size_t i = 0; i < length; ++i)
            text[i] = static_cast<char>(i * 7 + 3);
        EXPECT_EQ(core::FixedKeyText(text), core::RC4Text(text, core::kFixedKey)) << length;
    }
    const std::string stream = core::RC4Text(std::string(70000, '\0'), core::kFixedKey);
    for (std::size_t i : {0u, 16383u, 16384u, 16385u, 40000u, 69999u, 20000u})
        EXPECT_EQ(core::FixedKeyByte(i), static_cast<unsigned char>(stream[i])) << i;
}

TEST(Scrambler, BitEncryptFollowsTheVectorsAndLengths) {
    const QJsonObject v = loadVectors("core.json")[QLatin1String("bit_encrypt")].toObject();
    for (const QString& input : v.keys())
        EXPECT_EQ(core::BitEncrypt(input.toStdString()), fromHex(v[input].toString())) << input.toStdString();
    EXPECT_EQ(core::BitEncrypt("").size(), 0u);
    EXPECT_EQ(core::BitEncrypt("abc").size(), 4u);
    EXPECT_EQ(core::BitEncrypt("abcd").size(), 8u);
}

TEST(Scrambler, BitDecryptGivesTheTextBackWithItsPadding) {
    const std::string withZero("a\0\xff~`", 5);
    const struct {
        std::string text;
        std::size_t padding;
    } cases[] = {{"", 0}, {"abc", 0}, {"abcd", 2}, {"http://example.org/", 2}, {withZero, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(core::BitDecrypt(core::BitEncrypt(c.text)), c.text + std::string(c.padding, '\0'));
}

TEST(Scrambler, BitDecryptRefusesTextItCannotHaveMade) {
    // A character that comes out below 100 after RC4.
    const std::string bad = core::RC4Text(std::string(4, '\x10'), core::kFixedKey);
    try {
        core::BitDecrypt(bad);
        FAIL() << "no error";
    } catch (const platform::SysError& e) {
        EXPECT_EQ(e.number(), 5);
    }
}

class StoredPassword : public testing_support::SandboxTest {};

TEST_F(StoredPassword, IsStoredAsAVerifierAndCheckedExactly) {
    EXPECT_FALSE(core::IsPasswordSet());
    EXPECT_FALSE(core::CheckAppPassword("Secret1"));
    ASSERT_TRUE(core::WriteAppPassword("Secret1"));
    EXPECT_TRUE(core::IsPasswordSet());

    platform::RegValue raw;
    ASSERT_EQ(platform::registry().queryValue(platform::RegRoot::CurrentUser, settings::kPasswordKey, "RAM", raw),
              platform::kRegSuccess);
    EXPECT_EQ(raw.type, platform::REG_SZ);
    EXPECT_TRUE(core::IsVerifier(raw.data));
    EXPECT_EQ(raw.data.find("Secret1"), std::string::npos);

    EXPECT_TRUE(core::CheckAppPassword("Secret1"));
    EXPECT_FALSE(core::CheckAppPassword("secret1"));
    EXPECT_FALSE(core::CheckAppPassword("Secret1 "));
}

TEST_F(StoredPassword, AnOldStoredFormHoldingAZeroByteStillChecksAndIsTakenOver) {
    // The first key-stream byte as the first character enciphers to a zero byte.
    const char first = core::RC4Text(std::string(1, '\0'), core::kFixedKey)[0];
    const std::string password = std::string(1, first) + "rest";
    ASSERT_EQ(platform::registry().setString(platform::RegRoot::CurrentUser, settings::kPasswordKey, "RAM",
                                             core::RC4Text(password, core::kFixedKey)),
              platform::kRegSuccess);
    ASSERT_EQ(core::ReadStoredPassword().size(), password.size());
    EXPECT_EQ(core::ReadStoredPassword()[0], '\0');
    EXPECT_FALSE(core::CheckAppPassword(password.substr(0, 1)));
    EXPECT_TRUE(core::CheckAppPassword(password));
    EXPECT_TRUE(core::IsVerifier(core::ReadStoredPassword()));
    EXPECT_TRUE(core::CheckAppPassword(password));
}
