#include "core/Cipher.h"
#include "EngineFixture.h"
#include "Vectors.h"
#include "core/Generator.h"

#include <gtest/gtest.h>

#include <QJsonArray>

#include <random>

using core_tests::loadVectors;
using core_tests::text;

namespace {

std::string stretched(const std::string& s) {
    Cipher c;
    c.setText(s);
    c.Stretch();
    return c.text();
}

} // namespace

TEST(Generator, FreshStateAndReseedAndMixFollowTheVectors) {
    const QJsonObject g = loadVectors("core.json")[QLatin1String("generator")].toObject();
    core::setGeneratorState(0x50000);
    for (const auto& v : g[QLatin1String("fresh_next_states")].toArray()) {
        const float value = core::Next();
        EXPECT_EQ(value, std::stof(text(v.toObject()[QLatin1String("value")])));
        EXPECT_EQ(core::generatorState(), std::stoi(text(v.toObject()[QLatin1String("state_hex")]), nullptr, 16));
    }
    const float r = core::Reseed(-1.0f);
    EXPECT_EQ(r, std::stof(text(g[QLatin1String("reseed_minus_1")].toObject()[QLatin1String("value")])));
    EXPECT_EQ(core::generatorState(),
              std::stoi(text(g[QLatin1String("reseed_minus_1")].toObject()[QLatin1String("state_hex")]), nullptr, 16));
    core::Mix(r);
    EXPECT_EQ(core::generatorState(),
              std::stoi(text(g[QLatin1String("after_mix_of_that_value_state_hex")]), nullptr, 16));
    EXPECT_EQ(core::Next(), std::stof(text(g[QLatin1String("next_after_that")])));
}

TEST(Generator, ZeroRepeatsTheCurrentValue) {
    core::setGeneratorState(0x123456);
    const float before = core::Rnd(0.0f);
    EXPECT_EQ(core::Rnd(-0.0f), before);
    EXPECT_EQ(core::generatorState(), 0x123456);
    EXPECT_NE(core::Next(), before);
}

TEST(Generator, TheStreamXorIsTheGeneratorByteByByteAtEveryLength) {
    // The stream works on several states side by side; every length and start state must give what
    // one step of the generator per byte gives, and leave the same state behind.
    const std::size_t lengths[] = {0, 1, 15, 16, 17, 31, 32, 33, 47, 48, 63, 64, 65, 100, 1000, 65537};
    for (const std::int32_t start : {0x50000, 0x000001, 0xFFFFFF, 0x123456}) {
        for (const std::size_t n : lengths) {
            SCOPED_TRACE(std::to_string(start) + "/" + std::to_string(n));
            const std::string original = core_tests::randomContent(n, static_cast<unsigned>(n) + 7);
            std::string expected = original;
            core::setGeneratorState(start);
            for (char& c : expected)
                c = static_cast<char>(static_cast<unsigned char>(c) ^ static_cast<int>(core::Next() * 256.0f));
            const std::int32_t endState = core::generatorState();
            std::string actual = original;
            core::setGeneratorState(start);
            core::XorWithStream(actual.data(), actual.size());
            EXPECT_EQ(actual, expected);
            EXPECT_EQ(core::generatorState(), endState);
        }
    }
}

TEST(Cipher, StretchFollowsTheVectorsAndLengths) {
    const QJsonObject s = loadVectors("core.json")[QLatin1String("stretch")].toObject();
    for (const QString& input : s.keys()) {
        std::string expected;
        for (const auto& code : s[input].toArray())
            expected.push_back(static_cast<char>(code.toInt()));
        EXPECT_EQ(stretched(input.toStdString()), expected) << input.toStdString();
    }
    EXPECT_EQ(stretched(""), "");
    const std::size_t lengths[][2] = {{1, 2}, {2, 3}, {3, 4}, {4, 6}};
    for (const auto& l : lengths)
        EXPECT_EQ(stretched(std::string(l[0], 'x')).size(), l[1]);
}

TEST(Cipher, ShrinkUndoesStretchForEveryLengthAndStaysInTheAlphabet) {
    for (std::size_t n = 1; n <= 100; ++n) {
        const std::string original = core_tests::randomContent(n, static_cast<unsigned>(n));
        Cipher c;
        c.setText(original);
        c.Stretch();
        for (char ch : c.text()) {
            ASSERT_GE(static_cast<unsigned char>(ch), ';');
            ASSERT_LE(static_cast<unsigned char>(ch), 'z');
        }
        EXPECT_TRUE(Cipher::IsStretched(c.text()));
        c.Shrink();
        EXPECT_EQ(c.text(), original) << n;
    }
}

TEST(Cipher, ShrinkLeavesUndecodableTextAsItWas) {
    Cipher c;
    c.setText("");
    c.Shrink();
    EXPECT_EQ(c.text(), "");
    c.setText("\\]^:"); // ":" is below the alphabet
    c.Shrink();
    EXPECT_EQ(c.text(), "\\]^:");
    EXPECT_FALSE(Cipher::IsStretched(""));
    EXPECT_FALSE(Cipher::IsStretched("\\]^:"));
    EXPECT_FALSE(Cipher::IsStretched("\\]^P\\")); // five characters: no stretch has that length
    EXPECT_FALSE(Cipher::IsStretched("\\]^{"));
}

TEST(Cipher, LockVectorAndXorIsItsOwnInverse) {
    const QJsonObject v = loadVectors("core.json")[QLatin1String("cipher")].toObject();
    Cipher c;
    c.setKeyString(text(v[QLatin1String("key")]));
    c.setText(text(v[QLatin1String("text")]));
    c.DoXor();
    c.Stretch();
    EXPECT_EQ(c.text(), core_tests::fromHex(v[QLatin1String("locked_hex")].toString()));
    EXPECT_EQ(c.text(), text(v[QLatin1String("locked_text")]));

    c.setKeyString(text(v[QLatin1String("key")]));
    c.Shrink();
    c.DoXor();
    EXPECT_EQ(c.text(), text(v[QLatin1String("text")]));
}

TEST(Cipher, SameKeyGivesSameStreamAndWritingTheKeyRestartsIt) {
    const std::string data = core_tests::randomContent(300, 7);
    Cipher a, b;
    a.setKeyString("pass");
    a.setText(data);
    a.DoXor();
    b.setKeyString("pass");
    b.setText(data);
    b.DoXor();
    EXPECT_EQ(a.text(), b.text());
    EXPECT_NE(a.text(), data);

    // The stream is process-wide: b's key restarted it, so a now draws b's next values.
    a.setKeyString("pass");
    b.setKeyString("other");
    a.setText(data);
    a.DoXor();
    Cipher other;
    other.setKeyString("other");
    other.setText(data);
    other.DoXor();
    EXPECT_EQ(a.text(), other.text());
}

TEST(Cipher, DigestTextFollowsTheVectors) {
    const QJsonObject d = loadVectors("core.json")[QLatin1String("digest_text")].toObject();
    for (const QString& input : d.keys()) {
        const std::string digest = DigestText(input.toStdString());
        EXPECT_EQ(digest, text(d[input])) << input.toStdString();
        EXPECT_EQ(digest.size(), 8u);
        EXPECT_EQ(DigestText(input.toStdString()), digest);
    }
}
