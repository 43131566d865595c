// The strong locked file format: sizes at the chunk edges, every refusal of the reader, names of
// any bytes, the default key derivation, and files read and written by a second implementation.

#include "core/StrongFormat.h"
#include "EngineFixture.h"
#include "support/Sandbox.h"

#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace strong = core::strong;
using strong::Refusal;

// One shared key at the smallest limits the format allows: the derivation is slow by design.
const strong::Key& testKey() {
    static const strong::Key key = strong::DeriveKey("correct horse", strong::RandomSalt(), strong::kMinimumLimits);
    return key;
}

std::string lockBytes(const strong::Key& key, const std::string& name, const std::string& content,
                      std::size_t writeSize = 4096, const std::optional<strong::Stamp>& stamp = std::nullopt) {
    std::string out;
    strong::Writer writer(
        key, name, [&out](const unsigned char* p, std::size_t n) { out.append(reinterpret_cast<const char*>(p), n); },
        stamp);
    for (std::size_t i = 0; i < content.size(); i += writeSize)
        writer.write(content.data() + i, std::min(writeSize, content.size() - i));
    writer.finish();
    return out;
}

strong::Source sourceOf(const std::string& bytes) {
    auto pos = std::make_shared<std::size_t>(0);
    return [&bytes, pos](unsigned char* p, std::size_t n) {
        const std::size_t take = std::min(n, bytes.size() - *pos);
        std::memcpy(p, bytes.data() + *pos, take);
        *pos += take;
        return take;
    };
}

struct Unlocked {
    std::string name;
    std::string content;
    std::vector<std::size_t> pieces;
    std::optional<strong::Stamp> stamp;
};

// Reads a whole file; the key from `password` at the file's own salt and limits.
Unlocked unlockBytes(const std::string& bytes, const std::string& password = "correct horse") {
    strong::Reader reader(sourceOf(bytes));
    strong::KeyCache keys(password);
    const strong::Key& key = password == "correct horse" && reader.header().salt == testKey().salt
                                 ? testKey()
                                 : keys.keyFor(reader.header().salt, reader.header().limits);
    Unlocked u;
    u.name = reader.open(key);
    u.stamp = reader.stamp();
    std::string piece;
    while (reader.next(piece)) {
        u.content += piece;
        u.pieces.push_back(piece.size());
    }
    return u;
}

Refusal refusalOf(const std::string& bytes, const std::string& password = "correct horse") {
    try {
        unlockBytes(bytes, password);
    } catch (const strong::FormatError& e) {
        return e.refusal();
    }
    ADD_FAILURE() << "the file was read";
    return Refusal::NotStrong;
}

TEST(StrongFormat, ChunkEdgesRoundTripAtTheirExactLength) {
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{65535}, std::size_t{65536},
                                std::size_t{65537}, std::size_t{2 * 65536 + 3}}) {
        SCOPED_TRACE(n);
        const std::string content = core_tests::randomContent(n, static_cast<unsigned>(n) + 1);
        // Written in pieces that do not line up with the chunks, and in one go.
        for (const std::size_t writeSize : {std::size_t{1000}, std::size_t{1} << 20}) {
            const std::string locked = lockBytes(testKey(), "report.txt", content, writeSize);
            EXPECT_EQ(locked.size(), strong::LockedSize(n));
            EXPECT_EQ(locked.size(), 58 + 1043 + (n / 65536) * 65553 + n % 65536 + 17);
            EXPECT_EQ(locked.compare(0, 8, "[Strong]"), 0);
            EXPECT_EQ(locked[8], 1);
            EXPECT_EQ(locked[9], 1);
            // The content is not there in the clear.
            if (n >= 64) {
                EXPECT_EQ(locked.find(content.substr(0, 64)), std::string::npos);
            }
            const Unlocked u = unlockBytes(locked);
            EXPECT_EQ(u.name, "report.txt");
            EXPECT_TRUE(u.content == content);
            // Whole pieces, then the remainder (possibly empty) as the last.
            ASSERT_EQ(u.pieces.size(), n / 65536 + 1);
            EXPECT_EQ(u.pieces.back(), n % 65536);
        }
    }
}

TEST(StrongFormat, HeaderCarriesLimitsAndSaltLittleEndian) {
    const std::string locked = lockBytes(testKey(), "a", "x");
    const auto* p = reinterpret_cast<const unsigned char*>(locked.data());
    EXPECT_EQ(p[10] | p[11] << 8 | p[12] << 16 | p[13] << 24, 1);
    EXPECT_EQ(p[14] | p[15] << 8 | p[16] << 16 | p[17] << 24, 8192);
    EXPECT_EQ(std::memcmp(p + 18, testKey().salt.data(), 16), 0);
    // A fresh stream header per file under one key: the same content locks differently.
    const std::string again = lockBytes(testKey(), "a", "x");
    EXPECT_EQ(locked.substr(0, 34), again.substr(0, 34));
    EXPECT_NE(locked.substr(34), again.substr(34));
}

TEST(StrongFormat, NamesOfAnyBytesButSlashAndZero) {
    const std::vector<std::string> names = {"R\xC3\xA9sum\xC3\xA9 \xE2\x9C\x93.txt",
                                            "\xFF\xFE latin1 \xE9",
                                            std::string(1024, 'n'),
                                            "x",
                                            "..a",
                                            "a\\b|c",
                                            " "};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(unlockBytes(lockBytes(testKey(), name, "content")).name, name);
    }
    for (const std::string& bad : {std::string(), std::string(1025, 'n'), std::string("a/b"), std::string("a\0b", 3),
                                   std::string("."), std::string("..")}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(strong::IsStorableName(bad));
        EXPECT_THROW(lockBytes(testKey(), bad, "content"), strong::FormatError);
    }
}

TEST(StrongFormat, HeaderRefusalsComeBeforeAnyDerivation) {
    const std::string good = lockBytes(testKey(), "a.txt", "content");
    struct Case {
        const char* what;
        std::size_t offset;
        std::vector<unsigned char> bytes;
        Refusal refusal;
    };
    const std::vector<Case> cases = {
        {"magic", 1, {'s'}, Refusal::NotStrong},
        {"version 0", 8, {0}, Refusal::Version},
        {"version 3", 8, {3}, Refusal::Version},
        {"key derivation 0", 9, {0}, Refusal::KeyDerivation},
        {"key derivation 2", 9, {2}, Refusal::KeyDerivation},
        {"opslimit 0", 10, {0, 0, 0, 0}, Refusal::Limits},
        {"opslimit 17", 10, {17, 0, 0, 0}, Refusal::Limits},
        {"opslimit huge", 10, {1, 0, 0, 0x80}, Refusal::Limits},
        {"memlimit 8191", 14, {0xFF, 0x1F, 0, 0}, Refusal::Limits},
        {"memlimit 1048577", 14, {0x01, 0x00, 0x10, 0}, Refusal::Limits},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bad = good;
        std::memcpy(bad.data() + c.offset, c.bytes.data(), c.bytes.size());
        // The reader refuses on the header alone: nothing is derived.
        try {
            strong::Reader reader(sourceOf(bad));
            ADD_FAILURE() << "header accepted";
        } catch (const strong::FormatError& e) {
            EXPECT_EQ(e.refusal(), c.refusal);
        }
    }
    // The bounds themselves are allowed.
    std::string edge = good;
    const unsigned char ops16[4] = {16, 0, 0, 0};
    const unsigned char mem1g[4] = {0x00, 0x00, 0x10, 0};
    std::memcpy(edge.data() + 10, ops16, 4);
    std::memcpy(edge.data() + 14, mem1g, 4);
    strong::Reader reader(sourceOf(edge));
    EXPECT_EQ(reader.header().limits, (strong::Limits{16, 1048576}));
    EXPECT_THROW(strong::DeriveKey("pw", strong::RandomSalt(), strong::Limits{0, 8192}), strong::FormatError);
    EXPECT_EQ(refusalOf(std::string("[Strong]\x01\x01", 10)), Refusal::Truncated);
    EXPECT_EQ(refusalOf("[Secret]abcdefghijklmnop\r\n"), Refusal::NotStrong);
}

TEST(StrongFormat, WrongPasswordDamageTruncationAndTrailingBytesAreRefused) {
    const std::string content = core_tests::randomContent(2 * 65536 + 100, 7);
    const std::string good = lockBytes(testKey(), "a.txt", content);
    const std::size_t firstChunk = 58 + 1043;
    const auto flipped = [&good](std::size_t at) {
        std::string s = good;
        s[at] = static_cast<char>(s[at] ^ 0x01);
        return s;
    };
    EXPECT_EQ(refusalOf(good, "correct horsf"), Refusal::NotVerified);
    EXPECT_EQ(refusalOf(good, ""), Refusal::NotVerified);
    // The header is the name record's additional data: a salt or stream header changed is caught.
    EXPECT_EQ(refusalOf(flipped(20)), Refusal::NotVerified);
    EXPECT_EQ(refusalOf(flipped(40)), Refusal::NotVerified);
    EXPECT_EQ(refusalOf(flipped(58 + 5)), Refusal::NotVerified);          // name record
    EXPECT_EQ(refusalOf(flipped(firstChunk + 10)), Refusal::NotVerified); // first content chunk
    EXPECT_EQ(refusalOf(flipped(good.size() - 1)), Refusal::NotVerified); // last chunk's tag
    // Two whole chunks swapped.
    std::string swapped = good;
    std::memcpy(swapped.data() + firstChunk, good.data() + firstChunk + 65553, 65553);
    std::memcpy(swapped.data() + firstChunk + 65553, good.data() + firstChunk, 65553);
    EXPECT_EQ(refusalOf(swapped), Refusal::NotVerified);
    // Cut short: inside the name record, right after it, after a whole chunk, inside the last one.
    EXPECT_EQ(refusalOf(good.substr(0, 58)), Refusal::Truncated);
    EXPECT_EQ(refusalOf(good.substr(0, 600)), Refusal::NotVerified);
    EXPECT_EQ(refusalOf(good.substr(0, firstChunk)), Refusal::Truncated);
    EXPECT_EQ(refusalOf(good.substr(0, firstChunk + 65553)), Refusal::Truncated);
    EXPECT_EQ(refusalOf(good.substr(0, firstChunk + 2 * 65553 + 10)), Refusal::Truncated);
    EXPECT_EQ(refusalOf(good.substr(0, good.size() - 1)), Refusal::NotVerified);
    // The FINAL chunk dropped after a whole one: the stream ends without FINAL.
    EXPECT_EQ(refusalOf(good.substr(0, good.size() - (100 + 17))), Refusal::Truncated);
    // Bytes after FINAL: the last chunk no longer verifies at its new length.
    EXPECT_EQ(refusalOf(good + "x"), Refusal::NotVerified);
    EXPECT_EQ(refusalOf(good + std::string(65553, 'x')), Refusal::NotVerified);
}

// Files that a correct writer never makes, built with the library directly: each must be refused.
struct Chunk {
    std::string plain;
    unsigned char tag;
};

std::string craft(const strong::Key& key, const std::string& nameRecord, unsigned char nameTag,
                  const std::vector<Chunk>& chunks, unsigned char version = 1) {
    unsigned char header[58] = {'[', 'S', 't', 'r', 'o', 'n', 'g', ']', version, 1};
    header[10] = static_cast<unsigned char>(key.limits.opslimit);
    header[14] = static_cast<unsigned char>(key.limits.memlimitKiB & 0xFF);
    header[15] = static_cast<unsigned char>(key.limits.memlimitKiB >> 8);
    std::memcpy(header + 18, key.salt.data(), 16);
    crypto_secretstream_xchacha20poly1305_state st;
    crypto_secretstream_xchacha20poly1305_init_push(&st, header + 34, key.bytes.data());
    std::string out(reinterpret_cast<const char*>(header), 58);
    const auto push = [&](const std::string& plain, unsigned char tag, const unsigned char* ad, std::size_t adlen) {
        std::string c(plain.size() + 17, '\0');
        crypto_secretstream_xchacha20poly1305_push(&st, reinterpret_cast<unsigned char*>(c.data()), nullptr,
                                                   reinterpret_cast<const unsigned char*>(plain.data()), plain.size(),
                                                   ad, adlen, tag);
        out += c;
    };
    push(nameRecord, nameTag, header, 58);
    for (const Chunk& c : chunks)
        push(c.plain, c.tag, nullptr, 0);
    return out;
}

std::string record(const std::string& name, std::size_t length, char pad = 0) {
    std::string r(1026, pad);
    r[0] = static_cast<char>(length & 0xFF);
    r[1] = static_cast<char>(length >> 8);
    std::memcpy(r.data() + 2, name.data(), std::min(name.size(), std::size_t{1024}));
    return r;
}

TEST(StrongFormat, MalformedStreamsAndNameRecordsAreRefused) {
    const auto& key = testKey();
    const unsigned char M = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
    const unsigned char F = crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    const unsigned char P = crypto_secretstream_xchacha20poly1305_TAG_PUSH;
    const unsigned char R = crypto_secretstream_xchacha20poly1305_TAG_REKEY;
    const std::string full(65536, 'c');
    // The well-formed control reads.
    EXPECT_EQ(unlockBytes(craft(key, record("ok", 2), M, {{full, M}, {"end", F}})).content, full + "end");

    struct Case {
        const char* what;
        std::string file;
        Refusal refusal;
    };
    std::string padded = record("ok", 2);
    padded[1025] = 1;
    const std::vector<Case> cases = {
        {"name length 0", craft(key, record("", 0), M, {{"", F}}), Refusal::BadName},
        {"name length 1025", craft(key, record(std::string(1024, 'a'), 1025), M, {{"", F}}), Refusal::BadName},
        {"name length 65535", craft(key, record("a", 65535), M, {{"", F}}), Refusal::BadName},
        {"padding not zeros", craft(key, padded, M, {{"", F}}), Refusal::BadName},
        {"name with slash", craft(key, record("a/b", 3), M, {{"", F}}), Refusal::BadName},
        {"name with zero byte", craft(key, record(std::string("a\0b", 3), 3), M, {{"", F}}), Refusal::BadName},
        {"name .", craft(key, record(".", 1), M, {{"", F}}), Refusal::BadName},
        {"name ..", craft(key, record("..", 2), M, {{"", F}}), Refusal::BadName},
        {"name record tagged FINAL", craft(key, record("ok", 2), F, {}), Refusal::UnexpectedTag},
        {"name record tagged PUSH", craft(key, record("ok", 2), P, {{"", F}}), Refusal::UnexpectedTag},
        {"name record 1025 bytes", craft(key, record("ok", 2).substr(0, 1025), M, {{"", F}}), Refusal::NotVerified},
        {"whole chunk tagged FINAL", craft(key, record("ok", 2), M, {{full, F}}), Refusal::UnexpectedTag},
        {"whole chunk tagged REKEY", craft(key, record("ok", 2), M, {{full, R}, {"", F}}), Refusal::UnexpectedTag},
        {"short last chunk tagged MESSAGE", craft(key, record("ok", 2), M, {{"end", M}}), Refusal::Truncated},
        {"short last chunk tagged PUSH", craft(key, record("ok", 2), M, {{"end", P}}), Refusal::UnexpectedTag},
        {"short chunk before the end", craft(key, record("ok", 2), M, {{"abc", M}, {"", F}}), Refusal::NotVerified},
        {"no content chunk", craft(key, record("ok", 2), M, {}), Refusal::Truncated},
        {"chunk after FINAL", craft(key, record("ok", 2), M, {{"a", F}, {"b", F}}), Refusal::NotVerified},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(refusalOf(c.file), c.refusal);
    }
}

// Version 2 seals the file's times and permission bits right after its name; version 1 files,
// without them, are read as before.
TEST(StrongFormat, AStampIsSealedAfterTheNameAndGivenBack) {
    const strong::Stamp stamp{-86400, 999999999, 1000000000, 5, 04755}; // a time before 1970 too
    const std::string content = core_tests::randomContent(65536 + 9, 5);
    const std::string locked = lockBytes(testKey(), "old.txt", content, 4096, stamp);
    EXPECT_EQ(locked[8], 2);
    EXPECT_EQ(locked.size(), strong::LockedSize(content.size(), 2));
    EXPECT_EQ(locked.size(), strong::LockedSize(content.size()) + 28 + 17);
    const auto stampBytes = strong::EncodeStamp(stamp);
    EXPECT_EQ(locked.find(std::string(stampBytes.begin(), stampBytes.end())), std::string::npos); // not in the clear
    const Unlocked u = unlockBytes(locked);
    EXPECT_EQ(u.name, "old.txt");
    EXPECT_TRUE(u.content == content);
    EXPECT_EQ(u.stamp, stamp);
    EXPECT_EQ(unlockBytes(lockBytes(testKey(), "old.txt", content)).stamp, std::nullopt);

    // A stamp a writer never makes, or a version 2 file without its stamp, is refused.
    const unsigned char M = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
    const unsigned char F = crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    const auto stampWith = [&stampBytes](std::size_t at, std::vector<unsigned char> bytes) {
        std::string r(stampBytes.begin(), stampBytes.end());
        std::memcpy(r.data() + at, bytes.data(), bytes.size());
        return r;
    };
    const std::string good(stampBytes.begin(), stampBytes.end());
    std::string downgraded = locked;
    downgraded[8] = 1; // the header is the name record's additional data
    struct Case {
        const char* what;
        std::string file;
        Refusal refusal;
    };
    const std::vector<Case> cases = {
        {"modification nanoseconds 10^9",
         craft(testKey(), record("a", 1), M, {{stampWith(8, {0x00, 0xCA, 0x9A, 0x3B}), M}, {"", F}}, 2),
         Refusal::BadStamp},
        {"access nanoseconds 2^32-1",
         craft(testKey(), record("a", 1), M, {{stampWith(20, {0xFF, 0xFF, 0xFF, 0xFF}), M}, {"", F}}, 2),
         Refusal::BadStamp},
        {"bits beyond 07777", craft(testKey(), record("a", 1), M, {{stampWith(24, {0x00, 0x10}), M}, {"", F}}, 2),
         Refusal::BadStamp},
        {"stamp record 27 bytes", craft(testKey(), record("a", 1), M, {{good.substr(0, 27), M}, {"", F}}, 2),
         Refusal::NotVerified},
        {"stamp record tagged FINAL", craft(testKey(), record("a", 1), M, {{good, F}}, 2), Refusal::UnexpectedTag},
        {"no stamp record", craft(testKey(), record("a", 1), M, {{"", F}}, 2), Refusal::NotVerified},
        {"cut after the name", craft(testKey(), record("a", 1), M, {}, 2), Refusal::Truncated},
        {"version 2 read as 1", downgraded, Refusal::NotVerified},
    };
    EXPECT_EQ(unlockBytes(craft(testKey(), record("a", 1), M, {{good, M}, {"x", F}}, 2)).content, "x");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(refusalOf(c.file), c.refusal);
    }
}

TEST(StrongFormat, KeyCacheDerivesOncePerSaltAndLimits) {
    strong::KeyCache cache("pw");
    const strong::Salt a = strong::RandomSalt();
    const strong::Salt b = strong::RandomSalt();
    const strong::Key& first = cache.keyFor(a, strong::kMinimumLimits);
    const auto firstBytes = first.bytes;
    EXPECT_EQ(cache.keyFor(a, strong::kMinimumLimits).bytes, firstBytes);
    EXPECT_EQ(cache.derivations(), 1u);
    EXPECT_NE(cache.keyFor(b, strong::kMinimumLimits).bytes, firstBytes);
    EXPECT_NE(cache.keyFor(a, strong::Limits{2, 8192}).bytes, firstBytes);
    EXPECT_EQ(cache.derivations(), 3u);
    EXPECT_EQ(strong::DeriveKey("pw", a, strong::kMinimumLimits).bytes, firstBytes);
}

TEST(StrongFormat, DefaultLimitsLockAndUnlock) {
    EXPECT_EQ(strong::kDefaultLimits,
              (strong::Limits{crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE / 1024}));
    const strong::Key key = strong::DeriveKey("p\xC3\xA4ssw\xC3\xB6rd", strong::RandomSalt(), strong::kDefaultLimits);
    const std::string content = core_tests::randomContent(70000, 3);
    const std::string locked = lockBytes(key, "notes.txt", content);
    EXPECT_EQ(locked.substr(10, 8), std::string("\x03\0\0\0\0\0\x04\0", 8));
    const Unlocked u = unlockBytes(locked, "p\xC3\xA4ssw\xC3\xB6rd");
    EXPECT_EQ(u.name, "notes.txt");
    EXPECT_TRUE(u.content == content);
    EXPECT_EQ(refusalOf(locked, "passwort"), Refusal::NotVerified);
}

// The second implementation: Debian's python3 with PyNaCl, written from the format's table.
class StrongInterop : public testing_support::SandboxTest {
protected:
    QByteArray python(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"),
                QStringList{QStringLiteral(TESSALY_TESTS_DIR "/core/strong_interop.py")} + args);
        EXPECT_TRUE(p.waitForFinished(120000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return p.readAllStandardOutput().trimmed();
    }
    static QString q(const std::string& s) {
        return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
    }
    static std::string hex(const std::string& s) {
        return QByteArray(s.data(), static_cast<qsizetype>(s.size())).toHex().toStdString();
    }
};

TEST_F(StrongInterop, FilesOfEitherImplementationOpenInTheOther) {
    const std::string password = "\xC3\xBC"
                                 "ber-geheim";
    const std::string name = "\xE6\x97\xA5\xE8\xA8\x98 r\xC3\xA9sum\xC3\xA9.txt";
    const std::string folder = sandbox.root() + "/";
    // Version 1 (no stamp) and version 2 (a stamp, in the script's words too).
    const strong::Stamp stamp{1000000000, 987654321, -5, 0, 0664};
    const std::vector<std::optional<strong::Stamp>> stamps = {std::nullopt, stamp};
    const QString stampText = QStringLiteral("1000000000 987654321 -5 0 664");
    for (const std::size_t n : {std::size_t{0}, std::size_t{65536}, std::size_t{65536 + 5}}) {
        for (const std::optional<strong::Stamp>& given : stamps) {
            SCOPED_TRACE(std::to_string(n) + (given ? " version 2" : " version 1"));
            const std::string content = core_tests::randomContent(n, static_cast<unsigned>(n) + 11);
            std::ofstream(folder + "content.bin", std::ios::binary) << content;

            // Written there, read here.
            QStringList write = {
                QStringLiteral("write"),   q(folder + "theirs.TSX"), q(password),           q(hex(name)),
                q(folder + "content.bin"), QStringLiteral("1"),      QStringLiteral("8192")};
            if (given)
                write << stampText;
            python(write);
            const std::string theirs = testing_support::readHostFile(folder + "theirs.TSX");
            EXPECT_EQ(theirs.size(), strong::LockedSize(n, given ? 2 : 1));
            const Unlocked u = unlockBytes(theirs, password);
            EXPECT_EQ(u.name, name);
            EXPECT_TRUE(u.content == content);
            EXPECT_EQ(u.stamp, given);

            // Written here, read there.
            const strong::Key key = strong::DeriveKey(password, strong::RandomSalt(), strong::Limits{2, 9000});
            std::ofstream(folder + "ours.TSX", std::ios::binary) << lockBytes(key, name, content, 4096, given);
            const QByteArray printed =
                python({QStringLiteral("read"), q(folder + "ours.TSX"), q(password), q(folder + "back.bin")});
            const QString expected =
                QString::fromStdString(hex(name)) + (given ? QStringLiteral("\n") + stampText : QString());
            EXPECT_EQ(QString::fromLatin1(printed), expected);
            EXPECT_TRUE(testing_support::readHostFile(folder + "back.bin") == content);
        }
    }
}

} // namespace
