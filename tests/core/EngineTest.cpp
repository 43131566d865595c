#include "EngineFixture.h"
#include "Vectors.h"
#include "core/LockChecks.h"
#include "core/Scrambler.h"
#include "platform/Attributes.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using core_tests::EngineTest;
using core_tests::lockedPath;
using core_tests::randomContent;
using platform::Answer;
using platform::Buttons;
using platform::Icon;

namespace {

constexpr unsigned kLockedAttributes = platform::kAttrReadOnly | platform::kAttrHidden;

std::string recipeContent() {
    std::string s(200000, '\0');
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<char>((i * 7 + 3) % 256);
    return s;
}

} // namespace

TEST_F(EngineTest, SmallSampleIsReproducedByteForByteAndUnlocks) {
    const QJsonObject v = core_tests::loadVectors("samples.json")[QLatin1String("small")].toObject();
    const std::string content = testing_support::readHostFile(testing_support::vectorPath("sample-small.bin"));
    const std::string expected = testing_support::readHostFile(testing_support::vectorPath("sample-small.TSL"));
    const std::string password = core_tests::text(v[QLatin1String("password")]);

    const std::string path = sandbox.writeFile("C:\\V\\sample-small.bin", content);
    ASSERT_TRUE(core::Encrypt(path, password, context(core_tests::text(v[QLatin1String("salt")]))));
    const std::string locked = lockedPath(path, ".TSL");
    EXPECT_EQ(sandbox.readFile(locked), expected);

    const std::string given = sandbox.writeFile(lockedPath("C:\\W\\sample-small.bin", ".TSL"), expected);
    ASSERT_TRUE(core::Decrypt(given, password, context()));
    EXPECT_EQ(sandbox.readFile("C:\\W\\sample-small.bin"), content);
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(EngineTest, LargeSampleMatchesItsDigestAndLayout) {
    const QJsonObject v = core_tests::loadVectors("samples.json")[QLatin1String("large")].toObject();
    const std::string content = recipeContent();
    const std::string path = sandbox.writeFile("C:\\V\\big.dat", content);
    ASSERT_TRUE(core::BigEncrypt(path, core_tests::text(v[QLatin1String("password")]),
                                 context(core_tests::text(v[QLatin1String("salt")]))));
    const std::string locked = sandbox.readFile(lockedPath(path, ".TSW"));

    ASSERT_EQ(locked.size(), static_cast<std::size_t>(v[QLatin1String("locked_size")].toInt()));
    const QByteArray sha = QCryptographicHash::hash(QByteArray::fromStdString(locked), QCryptographicHash::Sha256);
    EXPECT_EQ(sha.toHex().toStdString(), core_tests::text(v[QLatin1String("locked_sha256")]));
    EXPECT_EQ(QByteArray::fromStdString(locked.substr(0, 40)).toHex().toStdString(),
              core_tests::text(v[QLatin1String("locked_first_40_hex")]));
    // b = 6, r = 3392: the head enciphered, the rest as it was.
    EXPECT_EQ(locked[24], '\r');
    EXPECT_EQ(locked.substr(25, 3392), core::RC4Text(content.substr(0, 3392), core::kFixedKey));
    EXPECT_EQ(locked.substr(3417), content.substr(3392));
}

TEST_F(EngineTest, RoundTripsRestoreContentNameAndRegister) {
    const struct {
        std::size_t size;
        bool large;
    } cases[] = {{1, false},   {2, false},      {3, false},     {69, false},    {70, false},   {71, false},
                 {210, false}, {199999, false}, {200000, true}, {229376, true}, {262145, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string folder = sandbox.makeFolder("C:\\Docs" + std::to_string(c.size));
        const std::string content = randomContent(c.size, static_cast<unsigned>(c.size));
        const std::string path = sandbox.writeFile(folder + "\\report.doc", content);
        core::RegisterKind section = c.large ? core::RegisterKind::LargeFile : core::RegisterKind::SmallFile;

        ASSERT_TRUE(c.large ? core::BigEncrypt(path, "pass word", context())
                            : core::Encrypt(path, "pass word", context()));
        const std::string locked = lockedPath(path, c.large ? ".TSW" : ".TSL");
        EXPECT_EQ(GetFileNamePart(locked), c.large ? "ercbeg.qbc.TSW" : "ercbeg.qbc.TSL");
        EXPECT_EQ(listing(folder), std::set<std::string>{GetFileNamePart(locked)});
        EXPECT_EQ(platform::getAttributes(locked), kLockedAttributes);
        EXPECT_EQ(entry(section, path), TransformName(locked));
        const core::LockInfo info = core::InspectFile(locked);
        EXPECT_EQ(info.kind, c.large ? core::LockInfo::Large : core::LockInfo::Small);
        EXPECT_EQ(info.contentSize, c.size);

        ASSERT_TRUE(c.large ? core::BigDecrypt(locked, "pass word", context())
                            : core::Decrypt(locked, "pass word", context()));
        EXPECT_EQ(listing(folder), std::set<std::string>{"report.doc"});
        EXPECT_EQ(sandbox.readFile(path), content);
        EXPECT_EQ(platform::getAttributes(path) & kLockedAttributes, 0u);
        EXPECT_EQ(entry(section, path), "");
        EXPECT_EQ(core::InspectFile(path).kind, core::LockInfo::Plain);
    }
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(EngineTest, SmallLayoutCutsTheBodyIntoLinesOfSeventy) {
    const std::string one = sandbox.writeFile("C:\\A\\one.bin", "x");
    ASSERT_TRUE(core::Encrypt(one, "pw", context(";;;;;;;;")));
    const std::string header = core::MakeHeader(";;;;;;;;", "pw");
    const std::string file1 = sandbox.readFile(lockedPath(one, ".TSL"));
    ASSERT_EQ(file1.size(), 30u);
    EXPECT_EQ(file1.substr(0, 26), header + "\r\n");
    EXPECT_EQ(file1.substr(28), "\r\n");

    const std::string two = sandbox.writeFile("C:\\A\\two.bin", randomContent(210, 3));
    ASSERT_TRUE(core::Encrypt(two, "pw", context()));
    const std::string file2 = sandbox.readFile(lockedPath(two, ".TSL"));
    ASSERT_EQ(file2.size(), 26u + 4 * 72);
    for (std::size_t line = 0; line < 4; ++line) {
        const std::string text = file2.substr(26 + line * 72, 72);
        EXPECT_EQ(text.substr(70), "\r\n");
        EXPECT_EQ(text.substr(0, 70).find_first_of("\r\n"), std::string::npos);
    }
}

TEST_F(EngineTest, LargeContentOfWholeBlocksIsStoredWithNoEncipheredByte) {
    const std::string content = randomContent(229376, 9);
    const std::string path = sandbox.writeFile("C:\\A\\blocks.bin", content);
    ASSERT_TRUE(core::BigEncrypt(path, "pw", context("abcdefgh")));
    EXPECT_EQ(sandbox.readFile(lockedPath(path, ".TSW")), core::MakeHeader("abcdefgh", "pw") + "\r" + content);
}

TEST_F(EngineTest, LargeUnlockKeepsALineFeedAsFirstContentByte) {
    std::string content = randomContent(229376, 4);
    content[0] = '\n';
    const std::string path = sandbox.writeFile("C:\\A\\lf.bin", content);
    ASSERT_TRUE(core::BigEncrypt(path, "pw", context()));
    const std::string locked = lockedPath(path, ".TSW");
    EXPECT_EQ(core::InspectFile(locked).kind, core::LockInfo::Large);
    ASSERT_TRUE(core::BigDecrypt(locked, "pw", context()));
    EXPECT_EQ(sandbox.readFile(path), content);
}

TEST_F(EngineTest, RelockingInPlaceAndPeelingOneLayerAtATime) {
    const std::string content = "the plain content";
    const std::string path = sandbox.writeFile("C:\\D\\notes.txt", content);
    ASSERT_TRUE(core::Encrypt(path, "first", context()));
    const std::string locked = lockedPath(path, ".TSL");
    const std::string outer = sandbox.readFile(locked);

    platform::setAttributes(locked, platform::kAttrNormal); // as the lock command does
    ASSERT_TRUE(core::Encrypt(locked, "second", context()));
    EXPECT_EQ(listing("C:\\D"), std::set<std::string>{GetFileNamePart(locked)});
    EXPECT_NE(sandbox.readFile(locked), outer);
    EXPECT_EQ(platform::getAttributes(locked), kLockedAttributes);
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, path), TransformName(locked));
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, locked), TransformName(locked));

    EXPECT_FALSE(core::Decrypt(locked, "first", context())); // the outer layer has the second password
    ASSERT_TRUE(core::Decrypt(locked, "second", context()));
    EXPECT_EQ(sandbox.readFile(locked), outer);
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, locked), "");
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, path), TransformName(locked));

    ASSERT_TRUE(core::Decrypt(locked, "first", context()));
    EXPECT_EQ(listing("C:\\D"), std::set<std::string>{"notes.txt"});
    EXPECT_EQ(sandbox.readFile(path), content);
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, path), "");
}

TEST_F(EngineTest, APlainFileWithALockExtensionIsLockedUnderItsTransformedNameAndComesBack) {
    // Only the content tells a locked file: a plain "report.TSL" or "movie.tsw" is an ordinary file.
    const struct {
        const char* name;
        std::size_t size;
    } cases[] = {{"report.TSL", 3}, {"a.tsl", 5}, {"movie.tsw", 250000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool large = c.size >= core::kLargeFileThreshold;
        const std::string content = randomContent(c.size, 7);
        const std::string path = sandbox.writeFile(std::string("C:\\P\\") + c.name, content);
        const std::string locked = lockedPath(path, large ? ".TSW" : ".TSL");
        EXPECT_EQ(core::LockTargetPath(path, !large), locked);
        ASSERT_TRUE(large ? core::BigEncrypt(path, "pw", context()) : core::Encrypt(path, "pw", context()))
            << boxList();
        EXPECT_EQ(listing("C:\\P"), std::set<std::string>{GetFileNamePart(locked)});
        ASSERT_TRUE(large ? core::BigDecrypt(locked, "pw", context()) : core::Decrypt(locked, "pw", context()));
        EXPECT_EQ(listing("C:\\P"), std::set<std::string>{c.name});
        EXPECT_EQ(sandbox.readFile(path), content);
        EXPECT_EQ(entry(large ? core::RegisterKind::LargeFile : core::RegisterKind::SmallFile, path), "");
        std::filesystem::remove(sandbox.host(path));
    }
    EXPECT_TRUE(prompt.boxes.empty()) << boxList();
}

// A failed unlock keeps the protection: the locked file stays read-only (no write bit), hidden and
// in its folder's ".hidden" list, with its register entry.
TEST_F(EngineTest, WrongPasswordOrCaseLeavesTheLockedFileAndItsEntry) {
    for (const bool large : {false, true}) {
        int round = 0;
        for (const char* typed : {"Secret", "secreT ", ""}) {
            SCOPED_TRACE(std::string(large ? "large " : "small ") + typed);
            prompt.boxes.clear();
            const std::string folder =
                sandbox.makeFolder(std::string("C:\\W") + (large ? "L" : "S") + std::to_string(++round));
            const std::string path = sandbox.writeFile(folder + "\\f.bin", randomContent(large ? 200001 : 5, 1));
            ASSERT_TRUE(large ? core::BigEncrypt(path, "secret", context()) : core::Encrypt(path, "secret", context()));
            const std::string locked = lockedPath(path, large ? ".TSW" : ".TSL");
            const std::string bytes = sandbox.readFile(locked);
            core::RegisterKind section = large ? core::RegisterKind::LargeFile : core::RegisterKind::SmallFile;

            EXPECT_FALSE(large ? core::BigDecrypt(locked, typed, context()) : core::Decrypt(locked, typed, context()));
            ASSERT_EQ(prompt.boxes.size(), 1u);
            // The file is named: in a batch the user must know which one the password did not fit.
            EXPECT_EQ(prompt.last().text, "Sorry, this is not the correct password!\r\n'f.bin'");
            EXPECT_EQ(prompt.last().icon, Icon::Exclamation);
            EXPECT_EQ(prompt.last().title, "Wrong Password");
            EXPECT_EQ(sandbox.readFile(locked), bytes);
            EXPECT_EQ(platform::getAttributes(locked), platform::kAttrReadOnly | platform::kAttrHidden);
            struct stat st {};
            ASSERT_EQ(::stat(sandbox.host(locked).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0222, 0u);
            EXPECT_EQ(testing_support::readHostFile(sandbox.host(folder) + "/.hidden"),
                      GetFileNamePart(locked) + "\n");
            EXPECT_EQ(entry(section, path), TransformName(locked));
            EXPECT_FALSE(sandbox.exists(path));
        }
    }
}

TEST_F(EngineTest, TwoLocksWithOnePasswordGetDifferentSalts) {
    const std::string a = sandbox.writeFile("C:\\S\\a.txt", "same");
    const std::string b = sandbox.writeFile("C:\\S\\b.txt", "same");
    ASSERT_TRUE(core::Encrypt(a, "pw", context()));
    ASSERT_TRUE(core::Encrypt(b, "pw", context()));
    EXPECT_NE(sandbox.readFile(lockedPath(a, ".TSL")).substr(0, 24),
              sandbox.readFile(lockedPath(b, ".TSL")).substr(0, 24));
}

TEST_F(EngineTest, RefusalsWithTheirMessages) {
    const std::string empty = sandbox.writeFile("C:\\R\\empty.txt", "");
    EXPECT_FALSE(core::Encrypt(empty, "pw", context()));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "we can not lock the file of size 0 byte");
    EXPECT_EQ(prompt.last().icon, Icon::Exclamation);
    EXPECT_EQ(prompt.last().title, "Lock Error");

    EXPECT_FALSE(core::BigEncrypt(empty, "pw", context()));
    EXPECT_EQ(prompt.boxes.size(), 1u);

    const std::string big = sandbox.writeFile("C:\\R\\x.bin", randomContent(300000, 2));
    ASSERT_TRUE(core::BigEncrypt(big, "pw", context()));
    const std::string tsw = lockedPath(big, ".TSW");
    EXPECT_FALSE(core::BigEncrypt(tsw, "pw", context()));
    ASSERT_EQ(prompt.boxes.size(), 2u);
    EXPECT_EQ(
        prompt.last().text,
        "The file you are trying to lock is already locked.\r\nMultiple locking is supported in small files only");
    EXPECT_EQ(prompt.last().icon, Icon::None);
    EXPECT_EQ(prompt.last().title, "Tessaly");
    EXPECT_EQ(listing("C:\\R"), (std::set<std::string>{"empty.txt", GetFileNamePart(tsw)}));

    EXPECT_FALSE(core::Encrypt("C:\\R\\missing.txt", "pw", context()));
    EXPECT_FALSE(core::BigEncrypt("C:\\R\\missing.txt", "pw", context()));
    // An empty locked file fails its first read: reported, and the user is told why.
    const std::string emptyLocked = sandbox.writeFile("C:\\R\\e.TSL", "");
    EXPECT_FALSE(core::Decrypt(emptyLocked, "pw", context()));
    ASSERT_EQ(prompt.boxes.size(), 3u);
    EXPECT_EQ(prompt.last().text, "'e.TSL' could not be unlocked: the file is empty.");
    EXPECT_EQ(prompt.last().icon, Icon::Critical);
    EXPECT_TRUE(sandbox.exists(emptyLocked));
}

TEST_F(EngineTest, ATakenTargetNameIsNeverOverwritten) {
    const struct {
        bool large;
        bool unlock;
    } cases[] = {{false, false}, {false, true}, {true, false}, {true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.large) + std::to_string(c.unlock));
        prompt.boxes.clear();
        const std::string folder = sandbox.makeFolder("C:\\T" + std::to_string(c.large) + std::to_string(c.unlock));
        const std::string content = randomContent(c.large ? 250000 : 100, 5);
        const std::string path = sandbox.writeFile(folder + "\\plan.txt", content);
        const std::string locked = lockedPath(path, c.large ? ".TSW" : ".TSL");
        std::string taken = locked;
        if (c.unlock) {
            ASSERT_TRUE(c.large ? core::BigEncrypt(path, "pw", context()) : core::Encrypt(path, "pw", context()));
            taken = path;
        }
        sandbox.writeFile(taken, "somebody else's file");
        const auto before = listing(folder);
        const std::string lockedBytes = c.unlock ? sandbox.readFile(locked) : std::string();

        const bool ok =
            c.unlock ? (c.large ? core::BigDecrypt(locked, "pw", context()) : core::Decrypt(locked, "pw", context()))
                     : (c.large ? core::BigEncrypt(path, "pw", context()) : core::Encrypt(path, "pw", context()));
        EXPECT_FALSE(ok);
        ASSERT_EQ(prompt.boxes.size(), 1u);
        // The message names the file the user chose, and the name in the way.
        EXPECT_EQ(prompt.last().text,
                  c.unlock ? std::string("'plan.txt' can't be unlocked: the name 'plan.txt' is taken.")
                           : "'plan.txt' can't be locked: its locked name '" + GetFileNamePart(locked) + "' is taken.");
        EXPECT_EQ(prompt.last().icon, Icon::Exclamation);
        EXPECT_EQ(prompt.last().title, "Tessaly");
        EXPECT_EQ(listing(folder), before);
        EXPECT_EQ(sandbox.readFile(taken), "somebody else's file");
        if (c.unlock) {
            EXPECT_EQ(sandbox.readFile(locked), lockedBytes);
            EXPECT_EQ(platform::getAttributes(locked), kLockedAttributes);
        } else {
            EXPECT_EQ(sandbox.readFile(path), content);
        }
    }
}

TEST_F(EngineTest, ADamagedSmallLockedFileIsKeptAndReported) {
    const std::string path = sandbox.writeFile("C:\\X\\four.bin", "four");
    ASSERT_TRUE(core::Encrypt(path, "pw", context()));
    const std::string locked = lockedPath(path, ".TSL");
    const std::string good = sandbox.readFile(locked);
    ASSERT_EQ(good.size(), 26u + 6 + 2);

    std::string outside = good;
    outside[28] = '!'; // below the alphabet
    std::string shortened = good;
    shortened.erase(31, 1); // five body characters: no stretch has that length
    for (const std::string& damaged : {outside, shortened}) {
        prompt.boxes.clear();
        platform::setAttributes(locked, platform::kAttrNormal);
        sandbox.writeFile(locked, damaged);
        platform::setAttributes(locked, platform::kAttrReadOnly | platform::kAttrHidden);
        EXPECT_FALSE(core::Decrypt(locked, "pw", context()));
        EXPECT_EQ(platform::getAttributes(locked), platform::kAttrReadOnly | platform::kAttrHidden);
        ASSERT_EQ(prompt.boxes.size(), 1u);
        EXPECT_EQ(prompt.last().text, "The locked file 'four.bin' is damaged and cannot be unlocked.");
        EXPECT_EQ(prompt.last().icon, Icon::Critical);
        EXPECT_EQ(prompt.last().title, "Tessaly");
        EXPECT_EQ(sandbox.readFile(locked), damaged);
        EXPECT_EQ(listing("C:\\X"), std::set<std::string>{GetFileNamePart(locked)});
        EXPECT_EQ(entry(core::RegisterKind::SmallFile, path), TransformName(locked));
    }
}

TEST_F(EngineTest, APlainFileStartingWithTheMarkerComesBackUnderItsOwnName) {
    const std::string content = "[Secret] is how this memo starts\r\nand more";
    const std::string path = sandbox.writeFile("C:\\M\\memo.txt", content);
    ASSERT_TRUE(core::Encrypt(path, "pw", context()));
    ASSERT_TRUE(core::Decrypt(lockedPath(path, ".TSL"), "pw", context()));
    EXPECT_EQ(listing("C:\\M"), std::set<std::string>{"memo.txt"});
    EXPECT_EQ(sandbox.readFile(path), content);
}

namespace {
bool freezeFolder(const std::string& host, bool frozen) {
    return testing_support::setImmutable(host, frozen);
}
} // namespace

TEST_F(EngineTest, AccessErrorsShowTheirMessagesAndKeepTheFile) {
    const std::string path = sandbox.writeFile("C:\\F\\a.txt", "content");
    const std::string other = sandbox.writeFile("C:\\G\\b.txt", "other");
    ASSERT_TRUE(core::Encrypt(other, "pw", context()));
    const std::string locked = lockedPath(other, ".TSL");
    if (!freezeFolder(sandbox.host("C:\\F"), true))
        GTEST_SKIP() << "cannot make a folder refuse changes here";
    freezeFolder(sandbox.host("C:\\G"), true);

    EXPECT_FALSE(core::Encrypt(path, "pw", context()));
    EXPECT_FALSE(core::Decrypt(locked, "pw", context()));
    freezeFolder(sandbox.host("C:\\F"), false);
    freezeFolder(sandbox.host("C:\\G"), false);

    // The system's words follow the program's own.
    ASSERT_EQ(prompt.boxes.size(), 2u);
    EXPECT_EQ(prompt.boxes[0].text, "Path/File access error\r\n'a.txt': Operation not permitted.");
    EXPECT_EQ(prompt.boxes[0].title, "Path/File access error");
    EXPECT_EQ(prompt.boxes[0].icon, Icon::Critical);
    EXPECT_EQ(prompt.boxes[1].text, "A Path/File access error occurred during unlocking one of the selected file\r\n"
                                    "'b.txt': Operation not permitted.");
    EXPECT_EQ(prompt.boxes[1].title, "Path/File access error");
    EXPECT_EQ(sandbox.readFile(path), "content");
    EXPECT_TRUE(sandbox.exists(locked));
    EXPECT_TRUE(core::Decrypt(locked, "pw", context()));
}

TEST_F(EngineTest, ALockedNameTooLongForTheFolderLeavesThePlainFile) {
    // 252 characters are a valid name; with ".TSL" or ".TSW" the locked name is not.
    for (const bool large : {false, true}) {
        SCOPED_TRACE(large ? "large" : "small");
        const std::string folder = large ? "C:\\LongL" : "C:\\LongS";
        const std::string content = randomContent(large ? 250000 : 100, 8);
        const std::string path = sandbox.writeFile(folder + "\\" + std::string(252, 'x'), content);
        prompt.boxes.clear();
        EXPECT_FALSE(large ? core::BigEncrypt(path, "pw", context()) : core::Encrypt(path, "pw", context()));
        // Told in the system's words, naming the file.
        ASSERT_EQ(prompt.boxes.size(), 1u);
        EXPECT_EQ(prompt.last().text, "'" + std::string(252, 'x') + "' could not be locked: File name too long.");
        EXPECT_EQ(listing(folder), std::set<std::string>{std::string(252, 'x')});
        EXPECT_EQ(sandbox.readFile(path), content);
        EXPECT_EQ(entry(large ? core::RegisterKind::LargeFile : core::RegisterKind::SmallFile, path), "");
    }
}

TEST_F(EngineTest, ANameTheRegisterCannotKeepIsRefusedUntouched) {
    // "|" separates the register's lines when it is read, and a line break would end an entry.
    for (const std::string name : {"a|b.txt", "a\nb.txt", "a\rb.txt"}) {
        for (const bool large : {false, true}) {
            SCOPED_TRACE(name + (large ? " large" : " small"));
            const std::string content = randomContent(large ? 200000 : 10, 9);
            const std::string path = sandbox.writeFile("C:\\Odd\\" + name, content);
            prompt.boxes.clear();
            EXPECT_FALSE(large ? core::BigEncrypt(path, "pw", context()) : core::Encrypt(path, "pw", context()));
            ASSERT_EQ(prompt.boxes.size(), 1u);
            EXPECT_EQ(prompt.last().text, "The file '" + path +
                                              "' cannot be locked: its path holds a \"|\" or a line break, which the "
                                              "list of locked items cannot keep. Rename it and try again.");
            EXPECT_EQ(prompt.last().icon, platform::Icon::Exclamation);
            EXPECT_EQ(listing("C:\\Odd"), std::set<std::string>{name});
            EXPECT_EQ(sandbox.readFile(path), content);
            std::filesystem::remove(sandbox.host(path));
        }
    }
    EXPECT_EQ(sandbox.readFile(reg), "\r\n");
}

TEST_F(EngineTest, FilesWhoseNamesDifferOnlyInCaseKeepAnEntryEach) {
    const std::string upper = sandbox.writeFile("C:\\C\\Note.txt", "upper");
    const std::string lower = sandbox.writeFile("C:\\C\\note.txt", "lower");
    ASSERT_TRUE(core::Encrypt(upper, "pw", context()));
    ASSERT_TRUE(core::Encrypt(lower, "pw", context()));
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, upper), TransformName(lockedPath(upper, ".TSL")));
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, lower), TransformName(lockedPath(lower, ".TSL")));

    ASSERT_TRUE(core::Decrypt(lockedPath(upper, ".TSL"), "pw", context()));
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, upper), "");
    EXPECT_EQ(entry(core::RegisterKind::SmallFile, lower), TransformName(lockedPath(lower, ".TSL")));
    EXPECT_EQ(sandbox.readFile(upper), "upper");
}

// A ".hidden" that another user of a shared folder turned into a link to someone's private file is
// never followed: the lock goes on (the file is locked and read-only), the link stays a link, its
// target is neither read into the list nor changed, and the run says the list was left alone.
TEST_F(EngineTest, AHiddenListThatIsALinkIsLeftAloneAndTheLockGoesOn) {
    const std::string privateHost = sandbox.host(sandbox.writeFile("C:\\Private\\diary.txt", "my own words\n"));
    ASSERT_EQ(::chmod(privateHost.c_str(), 0600), 0);
    const struct {
        const char* name;
        std::size_t size;
        bool strong;
    } cases[] = {{"small", 100, false}, {"large", 250000, false}, {"strong", 100, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = sandbox.makeFolder(std::string("C:\\Shared ") + c.name);
        const std::string list = sandbox.host(folder + "\\.hidden");
        std::filesystem::create_symlink(privateHost, list);
        const std::string path = sandbox.writeFile(folder + "\\report.doc", randomContent(c.size, 5));
        prompt.boxes.clear();
        core::EngineContext ctx = context();
        ctx.strongLocks = c.strong;
        ctx.strongLimits = core::strong::kMinimumLimits;

        ASSERT_EQ(core::LockFilesTogether({path}, "pass word", ctx), std::vector<bool>{true}) << boxList();
        EXPECT_FALSE(sandbox.exists(path));
        ASSERT_EQ(prompt.boxes.size(), 1u) << boxList();
        EXPECT_EQ(prompt.last().text, core::HiddenListLeftAloneNote(folder));
        EXPECT_EQ(prompt.last().icon, platform::Icon::Exclamation);

        EXPECT_TRUE(std::filesystem::is_symlink(list));
        EXPECT_EQ(testing_support::readHostFile(privateHost), "my own words\n");
        struct stat st {};
        ASSERT_EQ(::stat(privateHost.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        for (const std::string& name : listing(folder))
            EXPECT_EQ(name.find("tessaly-tmp"), std::string::npos) << name;
    }
}
