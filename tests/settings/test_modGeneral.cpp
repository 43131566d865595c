#include "settings/modGeneral.h"

#include "platform/Environment.h"
#include "platform/Registry.h"
#include "platform/SysError.h"
#include "support/Sandbox.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using testing_support::SandboxTest;

TEST(TransformName, MatchesTheReferenceVectors) {
    QFile file(QString::fromStdString(testing_support::vectorPath("core.json")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject cases =
        QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("transform_name")).toObject();
    ASSERT_FALSE(cases.isEmpty());
    for (auto it = cases.begin(); it != cases.end(); ++it) {
        const std::string in = it.key().toStdString();
        const std::string out = it.value().toString().toStdString();
        EXPECT_EQ(TransformName(in), out) << in;
        EXPECT_EQ(TransformName(out), in) << out;
    }
}

TEST(TransformName, Table) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"abc", "noc"},
        {"x", "x"},
        {"=~=", "~=="},
        {"NOPQRSTUVWXYZ ABCDEFGHIJKLMz", "ABCDEFGHIJKLM NOPQRSTUVWXYZz"},
        {"nopqrstuvwxyz abcdefghijklmZ", "abcdefghijklm nopqrstuvwxyzZ"},
        {"0123456789!.[]{}\\:_", "0123456789!.[]{}\\:_"},
        {"caf\xc3\xa9.txt", "pns\xc3\xa9.gkt"}, // bytes beyond ASCII pass unchanged
    };
    for (const auto& c : cases)
        EXPECT_EQ(TransformName(c.in), c.out) << c.in;
}

TEST(TransformName, IsItsOwnInverseOnEveryByte) {
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    all += std::string(1, '\0') + "end";
    const std::string once = TransformName(all);
    EXPECT_NE(once, all);
    EXPECT_EQ(TransformName(once), all);
}

TEST(TransformName, EmptyTextIsAnInvalidArgument) {
    try {
        TransformName("");
        FAIL() << "no error";
    } catch (const platform::SysError& e) {
        EXPECT_EQ(e.number(), 5);
    }
}

TEST(IsUpperText, Table) {
    const struct {
        std::string text;
        bool upper;
    } cases[] = {
        {"ABC", true},  {"  AB C ", true}, {"AbC", false}, {"a", false},   {"", false},
        {"   ", false}, {"123", true},     {"=", true},    {"A1b", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsUpperText(c.text), c.upper) << "'" << c.text << "'";
}

TEST(DriveAcceptance, RulesPerKind) {
    const struct {
        int kind;
        const char* message;
    } cases[] = {
        {0, "The drive you selected is an unidentified drive and you cannot lock files and folders on this drive"},
        {1, "The drive you selected is currently not Present so you cannot lock files and folders on this drive"},
        {2, ""},
        {3, ""},
        {4, ""},
        {5, ""},
        {6, "The drive you selected is a RAMDisk drive and you cannot lock files and folders on this drive"},
    };
    for (const auto& c : cases) {
        const DriveAcceptance a = DriveAcceptanceForKind(c.kind);
        const bool refused = *c.message != '\0';
        EXPECT_EQ(a.accepted, !refused) << c.kind;
        EXPECT_EQ(a.message, c.message) << c.kind;
        EXPECT_EQ(a.fallback, refused ? "C:" : "") << c.kind;
        if (refused) {
            EXPECT_TRUE(a.criticalIcon) << c.kind;
        }
    }
}

class DriveAcceptanceTest : public SandboxTest {};

TEST_F(DriveAcceptanceTest, ReadsTheKindOfThePickedDrive) {
    const char* const key = "SOFTWARE\\Orvane\\Tessaly_free\\Drives";
    auto& reg = platform::registry();
    sandbox.makeFolder("C:\\D");
    reg.setString(platform::RegRoot::CurrentUser, key, "D", sandbox.host("C:\\D"));
    for (int kind = 0; kind <= 6; ++kind) {
        reg.setDword(platform::RegRoot::CurrentUser, key, "D.Kind", static_cast<std::uint32_t>(kind));
        platform::reloadDrives();
        const DriveAcceptance picked = CheckDriveAcceptance("d: [" + sandbox.host("C:\\D") + "]");
        const DriveAcceptance expected = DriveAcceptanceForKind(kind);
        EXPECT_EQ(picked.accepted, kind >= 2 && kind <= 5) << kind;
        EXPECT_EQ(picked.message, expected.message) << kind;
        EXPECT_EQ(picked.fallback, expected.fallback) << kind;
    }
    // A drive whose folder is gone is not present.
    reg.setString(platform::RegRoot::CurrentUser, key, "E", sandbox.host("C:\\Gone"));
    platform::reloadDrives();
    EXPECT_EQ(CheckDriveAcceptance("e:").message,
              "The drive you selected is currently not Present so you cannot lock files and folders on this drive");
    EXPECT_FALSE(CheckDriveAcceptance("q:").accepted);
}
