#include "core/LockEngine.h"
#include "core/Register.h"
#include "core/SealKey.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/modGeneral.h"
#include "support/OpenCounter.h"
#include "support/Sandbox.h"
#include "wallet/Wallet.h"

#include <gtest/gtest.h>

#include <sys/xattr.h>

#include <QCoreApplication>
#include "core/AppPassword.h"
#include "core/LoginGate.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

#include <array>
#include <filesystem>
#include <map>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>

#include <poll.h>
#include <regex>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

void ensureApp() {
    static int argc = 1;
    static char name[] = "test_cli";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

// Runs tessaly-cli (or a copy of it at `program`) with the arguments and the standard input.
CliRun cliAt(const std::string& program, const std::vector<std::string>& args, const std::string& input = {}) {
    ensureApp();
    QProcess p;
    QStringList list;
    for (const auto& a : args)
        list << QString::fromStdString(a);
    p.start(QString::fromStdString(program), list);
    p.write(QByteArray::fromStdString(input));
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
}

CliRun cli(const std::vector<std::string>& args, const std::string& input = {}) {
    return cliAt(TESSALY_CLI, args, input);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A file's modification and access times (nanoseconds) and permission bits, as a round trip keeps them.
std::array<std::int64_t, 3> stampOf(const std::string& host) {
    struct stat st {};
    EXPECT_EQ(::stat(host.c_str(), &st), 0) << host;
    return {st.st_mtim.tv_sec * std::int64_t{1000000000} + st.st_mtim.tv_nsec,
            st.st_atim.tv_sec * std::int64_t{1000000000} + st.st_atim.tv_nsec, st.st_mode & 07777};
}

// Gives the file times from long ago (2001, to the nanosecond) and the bits; returns what stat shows.
std::array<std::int64_t, 3> stamp(const std::string& host, unsigned mode) {
    const timespec times[2] = {{978307200, 123456789}, {1000000000, 987654321}};
    EXPECT_EQ(::utimensat(AT_FDCWD, host.c_str(), times, 0), 0);
    EXPECT_EQ(::chmod(host.c_str(), mode), 0);
    return stampOf(host);
}

} // namespace

class CliTest : public testing_support::SandboxTest {
protected:
    void SetUp() override { ASSERT_TRUE(core::WriteAppPassword(kAppPassword)); }
    static constexpr const char* kAppPassword = "application password";
    // `tessaly-cli vault` with the application password on standard input.
    static CliRun vault() { return cli({"--password-stdin", "vault"}, std::string(kAppPassword) + "\n"); }
};

TEST_F(CliTest, LocksInspectsListsAndUnlocksHostFiles) {
    const std::string small(1000, 's');
    const std::string large(300000, 'L');
    sandbox.writeFile("C:\\Docs\\a.txt", small);
    sandbox.writeFile("C:\\Docs\\big.bin", large);
    const std::string a = sandbox.host("C:\\Docs\\a.txt"), big = sandbox.host("C:\\Docs\\big.bin");
    const std::string lockedA = sandbox.host("C:\\Docs\\" + TransformName("a.txt") + ".TSL");
    const std::string lockedBig = sandbox.host("C:\\Docs\\" + TransformName("big.bin") + ".TSW");
    const auto stampA = stamp(a, 0664), stampBig = stamp(big, 0640);

    CliRun r = cli({"--password-stdin", "lock", a, big}, "pass word\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "locked " + a + " -> " + lockedA + "\nlocked " + big + " -> " + lockedBig + "\n");
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\a.txt"));

    r = cli({"info", lockedA, lockedBig});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, lockedA + ": locked, small-file format (.TSL), content 1000 bytes\n" + lockedBig +
                         ": locked, large-file format (.TSW), content 300000 bytes\n");

    r = vault();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "file (.TSL)\t" + a + "\t" + lockedA + "\nfile (.TSW)\t" + big + "\t" + lockedBig + "\n");

    r = cli({"unlock", "--password-stdin", lockedA, lockedBig}, "pass word\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Dates and bits come back as they were (looked at before the reads below change the access time).
    EXPECT_EQ(stampOf(a), stampA);
    EXPECT_EQ(stampOf(big), stampBig);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), small);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\big.bin"), large);
    EXPECT_EQ(vault().out, "");
    EXPECT_EQ(cli({"info", a}).out, a + ": not locked, 1000 bytes\n");
}

// Strong locks at the format's default key derivation: random names, the limits in info, the
// vault's own section, a wrong password refused, and an unlock by content whatever the name.
TEST_F(CliTest, StrongLocksAreMadeInspectedListedAndUnlockedByContent) {
    const std::string content(70000, 'x');
    sandbox.writeFile("C:\\Docs\\r\xC3\xA9sum\xC3\xA9.txt", content);
    sandbox.writeFile("C:\\Docs\\empty.txt", "");
    const std::string a = sandbox.host("C:\\Docs\\r\xC3\xA9sum\xC3\xA9.txt"), e = sandbox.host("C:\\Docs\\empty.txt");
    const std::string folder = sandbox.host("C:\\Docs");
    const auto stampA = stamp(a, 0664);

    CliRun r = cli({"--strong", "--password-stdin", "lock", a, e}, "pass word\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::smatch m;
    const std::regex line("locked (.*) -> (.*/[a-z0-9]{16}\\.TSX)\n");
    std::vector<std::string> locked;
    for (std::string rest = r.out; std::regex_search(rest, m, line); rest = m.suffix()) {
        locked.push_back(m[2]);
        EXPECT_EQ(m[2].str().substr(0, folder.size() + 1), folder + "/");
    }
    ASSERT_EQ(locked.size(), 2u) << r.out;
    EXPECT_FALSE(sandbox.exists("C:\\Docs\\r\xC3\xA9sum\xC3\xA9.txt"));

    r = cli({"info", locked[0], locked[1]});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, locked[0] +
                         ": locked, strong format (.TSX), version 2, key derivation Argon2id opslimit 3 memlimit "
                         "262144 KiB, content 70000 bytes\n" +
                         locked[1] +
                         ": locked, strong format (.TSX), version 2, key derivation Argon2id opslimit 3 memlimit "
                         "262144 KiB, content 0 bytes\n");
    EXPECT_EQ(vault().out,
              "file (.TSX)\t" + a + "\t" + locked[0] + "\nfile (.TSX)\t" + e + "\t" + locked[1] + "\n");

    r = cli({"--password-stdin", "unlock", locked[0]}, "pass wort\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err + r.out, "Sorry, this is not the correct password, or the file is damaged."))
        << r.err << r.out;
    EXPECT_TRUE(std::filesystem::exists(locked[0]));

    const std::string renamed = folder + "/renamed.dat";
    std::filesystem::rename(locked[0], renamed);
    r = cli({"--password-stdin", "unlock", renamed, locked[1]}, "pass word\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(stampOf(a), stampA);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\r\xC3\xA9sum\xC3\xA9.txt"), content);
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\empty.txt"), "");
    EXPECT_EQ(vault().out, "");

    EXPECT_EQ(cli({"--strong", "unlock", renamed}).exitCode, 2);
    EXPECT_TRUE(contains(cli({"--help"}).out, "--strong"));
}

TEST_F(CliTest, FailuresExitWithOneAndPrintTheEngineMessage) {
    sandbox.writeFile("C:\\F\\a.txt", "abc");
    sandbox.writeFile("C:\\F\\empty.txt", "");
    const std::string a = sandbox.host("C:\\F\\a.txt");
    ASSERT_EQ(cli({"--password-stdin", "lock", a}, "right\n").exitCode, 0);
    const std::string locked = sandbox.host("C:\\F\\" + TransformName("a.txt") + ".TSL");

    CliRun r = cli({"--password-stdin", "unlock", locked}, "wrong\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Sorry, this is not the correct password!\n'a.txt'\n");
    EXPECT_TRUE(sandbox.exists("C:\\F\\" + TransformName("a.txt") + ".TSL"));

    r = cli({"--password-stdin", "lock", sandbox.host("C:\\F\\empty.txt"), sandbox.host("C:\\F\\none.txt")}, "pw\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "we can not lock the file of size 0 byte\n"));
    EXPECT_TRUE(contains(r.err, "none.txt: no such file"));

    r = cli({"info", "/proc/version"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "/proc/version: not on any of the program's drives"));

    r = cli({"--password-stdin", "unlock", sandbox.host(sandbox.writeFile("C:\\F\\plain.doc", "x"))}, "pw\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "not a locked file name"));
}

TEST_F(CliTest, NamesAndKindsItCannotHandleAreRefusedWithTheReason) {
    namespace fs = std::filesystem;
    // "a\b.txt" is one name here; read as a Windows path it would be b.txt in folder a.
    sandbox.writeFile("C:\\N\\a\\b.txt", "the other file");
    const std::string odd = sandbox.host("C:\\N") + "/a\\b.txt";
    { std::ofstream(odd) << "odd"; }
    const std::string target = sandbox.host(sandbox.writeFile("C:\\N\\target.txt", "target"));
    fs::permissions(target, fs::perms(0640));
    const std::string link = sandbox.host("C:\\N\\link.txt");
    fs::create_symlink("target.txt", link);
    const std::string pipe = sandbox.host("C:\\N\\pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string lockedPipe = sandbox.host("C:\\N\\pipe.TSL");
    ASSERT_EQ(::mkfifo(lockedPipe.c_str(), 0600), 0);
    const std::string longName = sandbox.host(sandbox.writeFile("C:\\N\\" + std::string(252, 'x'), "long"));
    const std::string folder = sandbox.host("C:\\N\\a");
    // A strong locked file's name whose start is damaged.
    const std::string damaged = sandbox.host(sandbox.writeFile("C:\\N\\Qx7Lm2.TSX", "[Strang]" + std::string(64, 'z')));

    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"lock", odd}, odd + ": a name in this path holds a \"\\\", which Tessaly reads as a folder separator"},
        {{"lock", link}, "'link.txt' is a symbolic link."},
        {{"lock", pipe}, "'pipe' is not a regular file and cannot be locked or unlocked."},
        {{"info", pipe}, pipe + ": not a regular file\n"}, // and without waiting for a writer
        {{"unlock", lockedPipe}, "'pipe.TSL' is not a regular file and cannot be locked or unlocked."},
        {{"lock", longName}, "'" + std::string(252, 'x') + "' could not be locked: File name too long.\n"},
        {{"lock", folder}, folder + ": is a folder; tessaly-cli locks and unlocks files"},
        {{"unlock", damaged}, damaged + ": not a strong locked file (it does not begin with the strong header"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        std::vector<std::string> args = {"--password-stdin"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun r = cli(args, "pw\npw\n");
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_TRUE(contains(r.err, c.says)) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(sandbox.readFile("C:\\N\\a\\b.txt"), "the other file");
    EXPECT_EQ(testing_support::readHostFile(odd), "odd");
    EXPECT_EQ(testing_support::readHostFile(target), "target");
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(testing_support::readHostFile(longName), "long");
}

// The lock refuses on the command line what the window refuses: a file in the boot drive's root
// folder and a system file, each line naming the file; the other files of the run are locked.
TEST_F(CliTest, FilesTheWindowRefusesAreRefusedWithTheirNameAndTheRunGoesOn) {
    const std::string inRoot = sandbox.host(sandbox.writeFile("C:\\root.txt", "in the root"));
    const std::string system = sandbox.writeFile("C:\\Sys\\boot.dat", "system data");
    platform::setAttributes(system, platform::kAttrSystem);
    if (platform::getAttributes(system) != platform::kAttrSystem)
        GTEST_SKIP() << "this filesystem keeps no attributes but read-only (no user extended attributes)";
    const std::string ok = sandbox.host(sandbox.writeFile("C:\\Sys\\ok.txt", "ordinary"));
    // Another drive's root is no boot drive root: a file there is locked, as the window does.
    const std::string d = sandbox.makeFolder("C:\\DriveD");
    ASSERT_EQ(cli({"drive", "D", sandbox.host(d)}).exitCode, 0);
    const std::string onD = sandbox.host(sandbox.writeFile("C:\\DriveD\\d.txt", "on drive D"));

    const CliRun r = cli({"--password-stdin", "lock", inRoot, sandbox.host(system), ok, onD}, "pw\n");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, inRoot + ": Sorry you cannot lock any file in the Boot Drive root folder\n" +
                         sandbox.host(system) +
                         ": Sorry you cannot lock a system file as this may crash your system\n");
    EXPECT_EQ(r.out, "locked " + ok + " -> " + sandbox.host("C:\\Sys\\" + TransformName("ok.txt") + ".TSL") +
                         "\nlocked " + onD + " -> " + sandbox.host("C:\\DriveD\\" + TransformName("d.txt") + ".TSL") +
                         "\n");
    EXPECT_EQ(sandbox.readFile("C:\\root.txt"), "in the root");
    EXPECT_EQ(sandbox.readFile(system), "system data");
    EXPECT_EQ(platform::getAttributes(system), platform::kAttrSystem);
}

// The program's own files are refused: the command line program that runs, and the window program
// beside it. A copy of tessaly-cli in the sandbox is run, so that both lie on its drive.
TEST_F(CliTest, TheProgramsOwnExecutablesAreRefused) {
    namespace fs = std::filesystem;
    const std::string tools = sandbox.host(sandbox.makeFolder("C:\\Tools"));
    const std::string self = tools + "/tessaly-cli", window = tools + "/tessaly";
    fs::copy_file(TESSALY_CLI, self);
    fs::copy_file(TESSALY_GUI, window);
    const CliRun version = cliAt(self, {"--version"});
    if (version.exitCode != 0)
        GTEST_SKIP() << "a program copied into the sandbox cannot run here (a noexec mount?): " << version.err;
    const std::string selfBefore = testing_support::readHostFile(self);
    const std::string windowBefore = testing_support::readHostFile(window);

    for (const std::string& own : {self, window}) {
        SCOPED_TRACE(own);
        const CliRun r = cliAt(self, {"--password-stdin", "lock", own}, "pw\n");
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.out, "");
        // Named as the program names its drives' files, and why it is refused.
        const std::string named = platform::toWindows(own);
        EXPECT_EQ(r.err, "'" + named + "' can't be locked: it holds your system or Tessaly's own files.\n");
    }
    EXPECT_EQ(testing_support::readHostFile(self), selfBefore);
    EXPECT_EQ(testing_support::readHostFile(window), windowBefore);
    EXPECT_EQ(vault().out, "");
}

TEST_F(CliTest, AFileWithOtherNamesIsRefusedAndTheRunGoesOn) {
    const std::string linked = sandbox.host(sandbox.writeFile("C:\\H\\linked.txt", "shared"));
    const std::string alone = sandbox.host(sandbox.writeFile("C:\\H\\alone.txt", "alone"));
    ASSERT_EQ(::link(linked.c_str(), sandbox.host("C:\\H\\second name.txt").c_str()), 0);
    const CliRun r = cli({"--password-stdin", "lock", linked, alone}, "pw\npw\n");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "'linked.txt' has other names on this disk (hard links); locking it would leave its "
                                "content readable under them. It was not locked."))
        << r.err;
    EXPECT_EQ(r.out, "locked " + alone + " -> " + sandbox.host("C:\\H\\" + TransformName("alone.txt") + ".TSL") + "\n");
    EXPECT_EQ(sandbox.readFile("C:\\H\\linked.txt"), "shared");
    EXPECT_EQ(sandbox.readFile("C:\\H\\second name.txt"), "shared");
}

TEST_F(CliTest, AFileThatGainsANameWhileItIsLockedIsNotLockedSafelyAndExitsWithOne) {
    const std::string plain = sandbox.host(sandbox.writeFile("C:\\G\\report.txt", "the plaintext"));
    const std::string other = sandbox.host("C:\\G\\kept.txt");
    // The test build of the command makes the link once the results are written, before the end.
    ASSERT_EQ(::setenv("TESSALY_TEST_LINK_AT", ("written|" + plain + "|" + other).c_str(), 1), 0);
    const CliRun r = cliAt(TESSALY_CLI_HOOKED, {"--strong", "--password-stdin", "lock", plain}, "pw\n");
    ::unsetenv("TESSALY_TEST_LINK_AT");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "'report.txt' was locked, but not locked safely: its content is still readable "
                                "under another name"))
        << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists(plain));
    EXPECT_EQ(sandbox.readFile("C:\\G\\kept.txt"), "the plaintext");
}

// A ".hidden" that is a link to someone's private file is left alone: the lock goes on (exit 0), says
// so on stderr, and the link's target is neither read nor changed.
TEST_F(CliTest, AHiddenListThatIsALinkIsLeftAloneAndTheLockSaysSo) {
    const std::string privateFile = sandbox.host(sandbox.writeFile("C:\\Private\\diary", "mine\n"));
    ASSERT_EQ(::chmod(privateFile.c_str(), 0600), 0);
    const std::string file = sandbox.host(sandbox.writeFile("C:\\Shared\\a.txt", "a"));
    std::filesystem::create_symlink(privateFile, sandbox.host("C:\\Shared\\.hidden"));
    const CliRun r = cli({"--password-stdin", "lock", file}, "pw\npw\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.err, "The list of hidden files 'C:\\Shared\\.hidden' is a link or not a regular file"))
        << r.err;
    EXPECT_FALSE(sandbox.exists("C:\\Shared\\a.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(sandbox.host("C:\\Shared\\.hidden")));
    EXPECT_EQ(testing_support::readHostFile(privateFile), "mine\n");
    struct stat st {};
    ASSERT_EQ(::stat(privateFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(CliTest, APlainFileNamedLikeALockedOneIsNotTakenForOne) {
    const std::string report = sandbox.host(sandbox.writeFile("C:\\R\\report.TSL", "plain text"));
    CliRun r = cli({"--password-stdin", "unlock", report}, "pw\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, report + ": not locked")) << r.err;

    const std::string locked = sandbox.host("C:\\R\\" + TransformName("report.TSL") + ".TSL");
    r = cli({"--password-stdin", "lock", report}, "pw\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "locked " + report + " -> " + locked + "\n");
    r = cli({"--password-stdin", "unlock", locked}, "pw\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(sandbox.readFile("C:\\R\\report.TSL"), "plain text");
}

TEST_F(CliTest, BadUsageExitsWithTwo) {
    const std::string a = sandbox.writeFile("C:\\a.txt", "abc");
    // A usage error is two lines on standard error: what was wrong, and where the help is.
    const struct {
        std::vector<std::string> args;
        std::string message;
    } bad[] = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"lock"}, "lock needs at least one file"},
        {{"--verbose", "info", sandbox.host(a)}, "unknown option --verbose"},
        {{"vault", "extra"}, "vault takes no files"},
        {{"--password-stdin", "lock", sandbox.host(a)}, "no password on standard input"},
    };
    for (const auto& c : bad) {
        const CliRun r = cli(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.message;
        EXPECT_EQ(r.err, "tessaly-cli: " + c.message + "\nTry 'tessaly-cli --help'.\n");
        EXPECT_EQ(r.out, "") << c.message;
    }
    EXPECT_EQ(sandbox.readFile(a), "abc");

    // The whole usage text comes only when asked for, on standard output.
    for (const char* option : {"--help", "-h"}) {
        const CliRun help = cli({option});
        EXPECT_EQ(help.exitCode, 0) << option;
        EXPECT_TRUE(help.out.starts_with("Usage: tessaly-cli ")) << help.out;
        EXPECT_TRUE(contains(help.out, "\n  lock ")) << help.out;
        EXPECT_EQ(help.err, "") << option;
    }
}

// The environment with no display to reach: a window program that needed one would fail on it.
static QProcessEnvironment withoutADisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

// Both programs name themselves and their version and end, with no display to open: a platform
// that needs an X server that is not there would make the window program fail if it tried.
TEST_F(CliTest, VersionIsPrintedWithoutADisplay) {
    const std::string expected = "Tessaly " + std::to_string(TESSALY_VERSION_MAJOR) + "." +
                                 std::to_string(TESSALY_VERSION_MINOR) + "." + std::to_string(TESSALY_VERSION_PATCH) +
                                 "\n";
    ensureApp();
    for (const char* program : {TESSALY_CLI, TESSALY_GUI}) {
        QProcess p;
        p.setProcessEnvironment(withoutADisplay());
        p.start(QString::fromUtf8(program), {QStringLiteral("--version")});
        ASSERT_TRUE(p.waitForFinished(60000)) << program;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << program;
        EXPECT_EQ(p.exitCode(), 0) << program;
        EXPECT_EQ(p.readAllStandardOutput().toStdString(), expected) << program;
        EXPECT_EQ(p.readAllStandardError().toStdString(), "") << program;
    }
}

// The window program answers --help and -h on standard output before it needs a display: with no X
// server to reach, making the application object would end it with an error.
TEST_F(CliTest, WindowProgramPrintsItsHelpWithoutADisplay) {
    ensureApp();
    for (const char* option : {"--help", "-h"}) {
        QProcess p;
        p.setProcessEnvironment(withoutADisplay());
        p.start(QString::fromUtf8(TESSALY_GUI), {QString::fromLatin1(option), QStringLiteral("some-file.txt")});
        ASSERT_TRUE(p.waitForFinished(60000)) << option;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << option;
        EXPECT_EQ(p.exitCode(), 0) << option;
        const std::string out = p.readAllStandardOutput().toStdString();
        EXPECT_TRUE(out.starts_with("Usage: tessaly [FILE...]\n")) << out;
        EXPECT_TRUE(contains(out, "--version")) << out;
        EXPECT_EQ(p.readAllStandardError().toStdString(), "") << option;
    }
}

TEST_F(CliTest, VersionNamesTheBuildsVersionAndIgnoresTheRest) {
    const std::string version = "Tessaly " + std::to_string(TESSALY_VERSION_MAJOR) + "." +
                                std::to_string(TESSALY_VERSION_MINOR) + "." + std::to_string(TESSALY_VERSION_PATCH) +
                                "\n";
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--version"}, {"--version", "lock"}}) {
        const CliRun r = cli(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, version);
    }
    // After "--" it is a word, not an option: no verb of that name.
    const CliRun word = cli({"--", "--version"});
    EXPECT_EQ(word.exitCode, 2);
    EXPECT_TRUE(contains(word.err, "unknown command --version"));
    EXPECT_TRUE(contains(cli({"--help"}).out, "  --version "));
}

TEST_F(CliTest, ARegisterThatCannotBeReachedOrReadFailsWithAMessage) {
    // A folder where the register file should be: it cannot be read.
    const std::string reg = sandbox.host(core::RegisterPath());
    std::filesystem::create_directories(reg);
    CliRun r = vault();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "tessaly-cli: ")) << r.err;
    std::filesystem::remove(reg);

    // Drive C: moved to a subfolder: the program's data folder, and so the register, is on no drive.
    const std::string docs = sandbox.makeFolder("C:\\Docs");
    const std::string a = sandbox.writeFile(docs + "\\a.txt", "abc");
    ASSERT_EQ(cli({"drive", "C", sandbox.host(docs)}).exitCode, 0);
    r = cli({"--password-stdin", "lock", sandbox.host(a)}, "pw\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "is on none of its drives")) << r.err;
    EXPECT_EQ(sandbox.readFile(a), "abc");
    EXPECT_EQ(vault().exitCode, 1);
    EXPECT_EQ(cli({"--password-stdin", "unlock", sandbox.host(a)}, "pw\n").exitCode, 1);
}

TEST_F(CliTest, DriveListsAndMapsDrivesThroughTheRegistry) {
    const std::string d = sandbox.host(sandbox.makeFolder("C:\\DriveD"));
    EXPECT_EQ(cli({"drive", "d", d, "6"}).exitCode, 0);
    const CliRun list = cli({"drive"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_TRUE(contains(list.out, "C:\t" + sandbox.root() + "\t")) << list.out;
    EXPECT_TRUE(contains(list.out, "D:\t" + d + "\t6 (RAM disk)")) << list.out;

    // A file in the new drive is on a drive now: info finds it.
    const std::string f = sandbox.writeFile("C:\\DriveD\\x.txt", "abc");
    EXPECT_EQ(cli({"info", sandbox.host(f)}).exitCode, 0);

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"drive", "D"}, {"drive", "DD", d}, {"drive", "E", d, "9"}, {"drive", "E", d, "x"}})
        EXPECT_EQ(cli(args).exitCode, 2) << args[1];
    EXPECT_EQ(cli({"drive", "E", sandbox.root() + "/missing"}).exitCode, 1);
}

namespace {
// Reads the terminal's output until `wanted` has appeared (or 10 s have passed).
bool readUntil(int fd, std::string& seen, const std::string& wanted) {
    for (int waited = 0; seen.find(wanted) == std::string::npos; waited += 100) {
        pollfd p{fd, POLLIN, 0};
        if (waited > 10000)
            return false;
        if (::poll(&p, 1, 100) > 0) {
            char buffer[256];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                return seen.find(wanted) != std::string::npos;
            seen.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return true;
}
} // namespace

TEST_F(CliTest, TheTerminalIsAskedTwiceWithoutEchoAndAMismatchFails) {
    const std::string a = sandbox.host(sandbox.writeFile("C:\\T\\a.txt", "abc"));
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execl(TESSALY_CLI, TESSALY_CLI, "lock", a.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string seen;
    ASSERT_TRUE(readUntil(master, seen, "Password: "));
    ASSERT_EQ(::write(master, "first1\n", 7), 7);
    ASSERT_TRUE(readUntil(master, seen, "Confirm password: "));
    ASSERT_EQ(::write(master, "other2\n", 7), 7);
    readUntil(master, seen, "not the same!");
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
    EXPECT_TRUE(contains(seen, "The two passwords are not the same!"));
    EXPECT_FALSE(contains(seen, "first1"));
    EXPECT_FALSE(contains(seen, "other2"));
    EXPECT_EQ(sandbox.readFile("C:\\T\\a.txt"), "abc");
}

TEST_F(CliTest, TwoLockRunsAtOnceRecordEveryFile) {
    std::vector<std::string> args[2];
    for (int p = 0; p < 2; ++p) {
        args[p] = {"--password-stdin", "lock"};
        for (int i = 0; i < 100; ++i)
            args[p].push_back(sandbox.host(
                sandbox.writeFile("C:\\Two\\r" + std::to_string(p) + "-" + std::to_string(i) + ".txt", "text")));
    }
    ensureApp();
    QProcess runs[2];
    for (int p = 0; p < 2; ++p) {
        QStringList list;
        for (const auto& a : args[p])
            list << QString::fromStdString(a);
        runs[p].start(QString::fromUtf8(TESSALY_CLI), list);
        runs[p].write("pw\n");
        runs[p].closeWriteChannel();
    }
    for (auto& run : runs) {
        ASSERT_TRUE(run.waitForFinished(120000));
        EXPECT_EQ(run.exitCode(), 0) << run.readAllStandardError().toStdString();
    }
    const CliRun vaultRun = vault();
    std::size_t listed = 0;
    for (char c : vaultRun.out)
        listed += c == '\n';
    EXPECT_EQ(listed, 200u);
    std::size_t hidden = 0;
    for (char c : sandbox.readFile("C:\\Two\\.hidden"))
        hidden += c == '\n';
    EXPECT_EQ(hidden, 200u);
}

// The checks of every file and the engine's read the register once per run: a run of twenty files
// opens it as often as a run of two.
TEST_F(CliTest, ALockRunReadsTheRegisterAsOftenForTwoFilesAsForTwenty) {
    const std::string reg = core::RegisterPath();
    core::EnsureRegister(reg);
    testing_support::OpenCounter counter(platform::toHost(reg));
    std::vector<int> opens;
    for (const int count : {2, 20}) {
        std::vector<std::string> args = {"--password-stdin", "lock"};
        for (int i = 0; i < count; ++i)
            args.push_back(sandbox.host(sandbox.writeFile(
                "C:\\Run" + std::to_string(count) + "\\f" + std::to_string(i) + ".txt", std::string(1000 + i, 'x'))));
        counter.reset();
        const CliRun r = cli(args, "pw\n");
        opens.push_back(counter.opens());
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    EXPECT_EQ(opens[0], opens[1]);
    EXPECT_EQ(core::QuietRegisterEntries(reg, core::RegisterKind::SmallFile).size(), 22u);
}

TEST_F(CliTest, ALockThatCannotBeRecordedFailsWithItsReason) {
    const std::string file = sandbox.host(sandbox.writeFile("C:\\Docs\\a.txt", "content"));
    const std::string reg = sandbox.host(core::RegisterPath());
    std::filesystem::create_directories(reg); // a folder where the register file belongs

    const CliRun r = cli({"--password-stdin", "lock", file}, "pw\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "could not be recorded in the Security Vault")) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\a.txt"), "content");
}

TEST_F(CliTest, RecoverFinishesAndRollsBackInterruptedRuns) {
    // A finished (marked) result whose source is gone, and an unfinished one whose source is still
    // there, as a killed run leaves them.
    const std::string folder = sandbox.host(sandbox.makeFolder("C:\\Rec"));
    sandbox.writeFile("C:\\Rec\\gone.txt", "the content");
    sandbox.writeFile("C:\\Rec\\stay.txt", "still here");
    ASSERT_EQ(cli({"--password-stdin", "lock", folder + "/gone.txt"}, "pw\n").exitCode, 0);
    const std::string lockedName = TransformName("gone.txt") + ".TSL";
    const std::string locked = sandbox.readFile("C:\\Rec\\" + lockedName);
    ASSERT_EQ(cli({"--password-stdin", "unlock", folder + "/" + lockedName}, "pw\n").exitCode, 0);
    std::filesystem::remove(folder + "/gone.txt");
    const std::string finished = sandbox.writeFile("C:\\Rec\\." + lockedName + ".0123456789abcdef.tessaly-tmp", locked);
    // A run marks its result complete once it is synced, before the source goes.
    ASSERT_EQ(::setxattr(sandbox.host(finished).c_str(), "user.tessaly.complete", "1", 1, 0), 0);
    const std::string unfinished = "C:\\Rec\\." + TransformName("stay.txt") + ".TSL.fedcba9876543210.tessaly-tmp";
    sandbox.writeFile(unfinished, "half a lock");
    const std::string unfinishedTarget = TransformName("stay.txt") + ".TSL";
    ASSERT_EQ(::setxattr(sandbox.host(unfinished).c_str(), "user.tessaly.target", unfinishedTarget.data(),
                         unfinishedTarget.size(), 0),
              0);

    const CliRun r = cli({"recover", folder});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "was put in place from a run that was interrupted")) << r.out;
    EXPECT_TRUE(contains(r.out, "The unfinished result of a run on")) << r.out;
    EXPECT_FALSE(sandbox.exists(unfinished));
    EXPECT_EQ(sandbox.readFile("C:\\Rec\\stay.txt"), "still here");
    EXPECT_EQ(sandbox.readFile("C:\\Rec\\" + lockedName), locked);
    EXPECT_EQ(vault().out, "file (.TSL)\t" + folder + "/gone.txt\t" + folder + "/" + lockedName + "\n");
    EXPECT_TRUE(contains(sandbox.readFile("C:\\Rec\\.hidden"), lockedName + "\n"));
}

namespace {

// A lock needs a password: an empty line (or an empty answer at the terminal) locks nothing.
TEST_F(CliTest, AnEmptyPasswordLocksNothingAndExitsWithTwo) {
    const std::string a = sandbox.host(sandbox.writeFile("C:\\F\\a.txt", "abc"));
    for (const char* input : {"\n", "\r\n"}) {
        const CliRun r = cli({"--password-stdin", "lock", a}, input);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, "tessaly-cli: Please type a password.\n");
        EXPECT_EQ(sandbox.readFile("C:\\F\\a.txt"), "abc");
    }
    // Unlock takes an empty password (files locked before this rule have one): it goes on to the file.
    const CliRun unlock = cli({"--password-stdin", "unlock", a}, "\n");
    EXPECT_TRUE(contains(unlock.err, "not a locked file name")) << unlock.err;
    EXPECT_FALSE(contains(unlock.err, "Please type a password.")) << unlock.err;
}

} // namespace

// With neither HOME nor the XDG folders there is no folder of the user's own for the data: both
// programs refuse to start and say why, and nothing is written to the shared temporary folder.
TEST_F(CliTest, WithoutHomeBothProgramsRefuseToStart) {
    ensureApp();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const bool tmpDataBefore = std::filesystem::exists("/tmp/.local/share/tessaly");

    QProcess cliRun;
    cliRun.setProcessEnvironment(env);
    cliRun.start(QString::fromUtf8(TESSALY_CLI), {QStringLiteral("--password-stdin"), QStringLiteral("vault")});
    ASSERT_TRUE(cliRun.waitForFinished(60000));
    EXPECT_EQ(cliRun.exitCode(), 1);
    EXPECT_TRUE(contains(cliRun.readAllStandardError().toStdString(), "HOME is not set"));
    EXPECT_EQ(cliRun.readAllStandardOutput().toStdString(), "");

    // The window program says so in a message box (which stays until answered) and on its error output.
    QProcess window;
    window.setProcessEnvironment(env);
    window.start(QString::fromUtf8(TESSALY_GUI), {});
    std::string err;
    QDeadlineTimer deadline(60000);
    while (!contains(err, "HOME is not set") && !deadline.hasExpired() && window.state() != QProcess::NotRunning) {
        window.waitForReadyRead(1000);
        err += window.readAllStandardError().toStdString();
    }
    err += window.readAllStandardError().toStdString();
    EXPECT_TRUE(contains(err, "HOME is not set")) << err;
    // The window program makes no core file (it is waiting at its message box now).
    const std::string limits = testing_support::readHostFile("/proc/" + std::to_string(window.processId()) + "/limits");
    EXPECT_TRUE(std::regex_search(limits, std::regex("Max core file size +0 +0 "))) << limits;
    window.kill();
    window.waitForFinished(60000);
    EXPECT_EQ(std::filesystem::exists("/tmp/.local/share/tessaly"), tmpDataBefore);
}

// The vault's list names what is locked: only the application password shows it. A wrong one exits
// with 2 and prints no name; the wait after it grows and is kept for the next run.
TEST_F(CliTest, TheVaultAsksForTheApplicationPasswordAndAWrongOneShowsNothing) {
    const std::string a = sandbox.host(sandbox.writeFile("C:\\Docs\\secret-plans.txt", "abc"));
    ASSERT_EQ(cli({"--password-stdin", "lock", a}, "file pass\n").exitCode, 0);

    CliRun r = cli({"--password-stdin", "vault"}, "wrong password\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(contains(r.err, "secret-plans")) << r.err;
    EXPECT_TRUE(contains(r.err, "Invalid Password")) << r.err;
    // The wrong try is remembered in the registry for the next run.
    EXPECT_EQ(core::DelayAfterFailures(1), 1);

    r = vault();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "secret-plans.txt"));
    EXPECT_EQ(core::SecondsBeforeNextTry(), 0); // a right password clears the wait

    EXPECT_EQ(cli({"--password-stdin", "vault"}, "").exitCode, 2); // no password at all
}

namespace {

// The count of wrong application passwords as stored (eight bytes, low first).
std::uint64_t storedFailures() {
    platform::RegValue v;
    if (platform::registry().queryValue(platform::RegRoot::CurrentUser, "SOFTWARE\\Orvane\\Tessaly\\Gate_free",
                                        "Failures", v) != platform::kRegSuccess)
        return 0;
    std::uint64_t n = 0;
    for (std::size_t i = v.data.size(); i-- > 0;)
        n = (n << 8) | static_cast<unsigned char>(v.data[i]);
    return n;
}

// A tree as the sealed folder keeps it: each entry's kind, permission bits, modification time (ns)
// and content or link target, by its path below the folder.
std::map<std::string, std::string> sealedTreeState(const std::string& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> state;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        struct stat st {};
        ::lstat(it->path().c_str(), &st);
        std::string value = std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
        if (it->is_symlink())
            value += " link " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            value += " folder " + std::to_string(st.st_mode & 07777);
        else
            value += " file " + std::to_string(st.st_mode & 07777) + " " + testing_support::readHostFile(it->path());
        state[it->path().lexically_relative(root).string()] = value;
    }
    return state;
}

} // namespace

// `password` sets the application password where none is set, as the first start does, and changes it
// after the old one, sealing the wallet again: the entries open with the new password only, and a
// process still holding the old key can no longer write an entry nobody could open.
TEST_F(CliTest, PasswordSetsAndChangesTheApplicationPasswordAndSealsTheWalletAgain) {
    ASSERT_EQ(platform::registry().deleteValue(platform::RegRoot::CurrentUser, settings::kPasswordKey,
                                               settings::kPasswordValue),
              platform::kRegSuccess);
    CliRun r = cli({"--password-stdin", "vault"}, "anything\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(contains(r.err, "tessaly-cli password")) << r.err;
    r = cli({"--password-stdin", "password"}, "   \n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(contains(r.err, "Please type a password.")) << r.err;
    EXPECT_FALSE(core::IsPasswordSet());

    // A short one is taken from standard input after a word about its strength.
    r = cli({"--password-stdin", "password"}, "pass1\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Password Successfully set\n");
    EXPECT_TRUE(contains(r.err, "this password has only 5 characters.")) << r.err;
    EXPECT_TRUE(core::CheckAppPassword("pass1"));

    // An entry, then the change.
    ASSERT_EQ(wallet::OpenWallet("pass1"), "");
    ASSERT_TRUE(wallet::passWordAdd("Bank of Elsewhere", {"bank.example", "me", "pin 4242", "notes"}));
    r = cli({"--password-stdin", "password"}, "pass1\nsecond password\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Password Successfully changed\n");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(wallet::passWordAdd("Written with the old key", {"", "", "lost", ""}));

    core::ClearSessionKey();
    EXPECT_FALSE(core::CheckAppPassword("pass1"));
    ASSERT_EQ(wallet::OpenWallet("pass1"), "");
    EXPECT_TRUE(wallet::ListWalletItems().empty()); // the old password's key opens nothing
    core::ClearSessionKey();
    ASSERT_EQ(wallet::OpenWallet("second password"), "");
    EXPECT_EQ(wallet::ListWalletItems(), std::vector<std::string>{"Bank of Elsewhere"});
    EXPECT_EQ(wallet::ReadWalletEntry("Bank of Elsewhere").password, "pin 4242");
    core::ClearSessionKey();
    EXPECT_EQ(cli({"--password-stdin", "vault"}, "second password\n").exitCode, 0);

    // A wrong old password changes nothing.
    r = cli({"--password-stdin", "password"}, "pass1\nthird password\n");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(contains(r.err, "Invalid Old Password. Try Again")) << r.err;
    EXPECT_TRUE(core::CheckAppPassword("second password"));
}

// On a terminal a short new password is asked about, and No (the default) keeps it from being set.
TEST_F(CliTest, PasswordOnATerminalAsksBeforeTakingAShortOne) {
    ASSERT_EQ(platform::registry().deleteValue(platform::RegRoot::CurrentUser, settings::kPasswordKey,
                                               settings::kPasswordValue),
              platform::kRegSuccess);
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execl(TESSALY_CLI, TESSALY_CLI, "password", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string seen;
    ASSERT_TRUE(readUntil(master, seen, "New password: "));
    ASSERT_EQ(::write(master, "abc\n", 4), 4);
    ASSERT_TRUE(readUntil(master, seen, "Confirm new password: "));
    ASSERT_EQ(::write(master, "abc\n", 4), 4);
    ASSERT_TRUE(readUntil(master, seen, "Use it anyway? [y/N] "));
    ASSERT_EQ(::write(master, "\n", 1), 1);
    readUntil(master, seen, "not taken");
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << seen;
    EXPECT_TRUE(contains(seen, "this password has only 3 characters.")) << seen;
    EXPECT_FALSE(core::IsPasswordSet());
}

// Tries of the application password from several processes at once are checked one after another:
// each wrong one is counted (none lost to another's write), and each waits what the ones before earned.
TEST_F(CliTest, VaultTriesFromSeveralProcessesAtOnceAreEachCounted) {
    ensureApp();
    QProcess runs[3];
    for (QProcess& run : runs) {
        run.start(QString::fromUtf8(TESSALY_CLI), {QStringLiteral("--password-stdin"), QStringLiteral("vault")});
        run.write("wrong password\n");
        run.closeWriteChannel();
    }
    for (QProcess& run : runs) {
        ASSERT_TRUE(run.waitForFinished(120000));
        EXPECT_EQ(run.exitCode(), 2);
        EXPECT_TRUE(contains(run.readAllStandardError().toStdString(), "Invalid Password"));
    }
    EXPECT_EQ(storedFailures(), 3u);
}

// A folder sealed with --strong comes back exactly by `unlock`, lists its tree in `info` only after
// the password, gives one file out with `--only`, and shows no name of the tree without the password.
TEST_F(CliTest, SealedFolderIsSealedListedTakenFromAndOpened) {
    const std::string folder = sandbox.host("C:\\Docs");
    const std::string root = folder + "/Taxes";
    std::filesystem::create_directories(root + "/2023/receipts");
    std::filesystem::create_directories(root + "/empty folder");
    sandbox.writeFile("C:\\Docs\\Taxes\\2023\\receipts\\r\xC3\xA9\xC3\xA7u.txt", "receipt");
    sandbox.writeFile("C:\\Docs\\Taxes\\notes.txt", std::string(70000, 'n'));
    std::ofstream(root + "/odd\xff\xfe", std::ios::binary) << "";
    std::filesystem::create_symlink("gone/away", root + "/dangling");
    ::chmod((root + "/notes.txt").c_str(), 0640);
    const auto before = sealedTreeState(root);

    CliRun r = cli({"--strong", "--password-stdin", "lock", root}, "pass word\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.out, m, std::regex("sealed .* -> (.*/[a-z0-9]{16}\\.TSX)\n"))) << r.out;
    const std::string file = m[1];
    EXPECT_FALSE(std::filesystem::exists(root));
    const std::string bytes = testing_support::readHostFile(file);
    for (const char* name : {"Taxes", "receipts", "notes", "empty folder", "dangling", "gone/away"})
        EXPECT_EQ(bytes.find(name), std::string::npos) << name;

    r = cli({"--password-stdin", "info", file}, "wrong\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(contains(r.out, "receipts"));
    r = cli({"--password-stdin", "info", file}, "pass word\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const char* line : {"sealed folder 'Taxes', 7 entries", " 70000 bytes notes.txt\n",
                             " 7 bytes 2023/receipts/r\xC3\xA9\xC3\xA7u.txt\n", " dangling -> gone/away\n",
                             "folder 0755 "})
        EXPECT_TRUE(contains(r.out, line)) << line << "\n" << r.out;

    r = cli({"--password-stdin", "unlock", "--only", "2023/receipts/r\xC3\xA9\xC3\xA7u.txt", file}, "pass word\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(testing_support::readHostFile(folder + "/r\xC3\xA9\xC3\xA7u.txt"), "receipt");
    EXPECT_EQ(testing_support::readHostFile(file), bytes);
    EXPECT_EQ(cli({"--password-stdin", "info", "--only", "x", file}, "pass word\n").exitCode, 2);

    r = cli({"--password-stdin", "unlock", file}, "pass word\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(sealedTreeState(root), before);
}
