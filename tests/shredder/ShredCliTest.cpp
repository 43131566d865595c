#include "core/Register.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "shredder/ShredCli.h"

#include "ShredderTestSupport.h"
#include "support/ScriptedPrompt.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int exitCode = -1;
    std::string err;
};

CliRun shredCli(const std::vector<std::string>& args) {
    shredder_test::ensureApp();
    QProcess p;
    QStringList list;
    for (const auto& a : args)
        list << QString::fromStdString(a);
    p.start(QString::fromUtf8(TESSALY_CLI), list);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError().toStdString()};
}

class ShredCliTest : public testing_support::SandboxTest {};

} // namespace

TEST_F(ShredCliTest, ShredsFilesAndFoldersAndForgetsTheirRegisterEntries) {
    sandbox.writeFile("C:\\a.txt", std::string(100, 'a'));
    sandbox.writeFile("C:\\Tree\\b.TSL", "[Secret]x");
    const std::string registerPath = core::RegisterPath();
    core::EnsureRegister(registerPath);
    core::RecordLock(registerPath, core::RegisterKind::SmallFile, "C:\\Tree\\plain.txt", "C:\\Tree\\b.TSL");

    // ".." after a link leads out of the link's target, as it does for every other program.
    sandbox.writeFile("C:\\Other\\Deep\\c.txt", "c");
    sandbox.writeFile("C:\\Docs\\Inner\\keep.txt", "k");
    fs::create_directory_symlink(sandbox.host("C:\\Other\\Deep"), sandbox.host("C:\\Docs\\Inner\\ToDeep"));

    const CliRun r = shredCli(
        {"shred", sandbox.host("C:\\a.txt"), sandbox.host("C:\\Tree"), sandbox.host("C:\\Docs\\Inner") + "/ToDeep/.."});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(sandbox.exists("C:\\a.txt"));
    EXPECT_FALSE(sandbox.exists("C:\\Tree"));
    EXPECT_FALSE(sandbox.exists("C:\\Other"));
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\Inner\\keep.txt"), "k");
    testing_support::ScriptedPrompt prompt;
    EXPECT_TRUE(core::GetLockedTSLFiles(registerPath, prompt).empty());
}

TEST_F(ShredCliTest, RefusalsFailuresAndUsageHaveTheirExitCodes) {
    sandbox.writeFile("C:\\Docs\\keep.txt", "k");
    const std::string docs = sandbox.host("C:\\Docs");
    CliRun r = shredCli({"shred", docs + "/..", sandbox.host("C:\\home"), "/etc", sandbox.host("C:\\missing")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tessaly-cli: 'C:\\' can't be shredded: it holds your system or Tessaly's own files.\n"
                     "tessaly-cli: 'C:\\home' can't be shredded: it holds your system or Tessaly's own files.\n"
                     "tessaly-cli: /etc: not on any of the program's drives\n"
                     "tessaly-cli: These items could not be shredded:\n\n'C:\\missing': No such file or directory\n");
    EXPECT_EQ(sandbox.readFile("C:\\Docs\\keep.txt"), "k");

    // A hard-linked file is named and left whole; the rest goes, and the run ends in failure.
    sandbox.writeFile("C:\\Documents\\thesis.txt", "thesis");
    sandbox.writeFile("C:\\Backup\\other.txt", "other");
    fs::create_hard_link(sandbox.host("C:\\Documents\\thesis.txt"), sandbox.host("C:\\Backup\\thesis.txt"));
    r = shredCli({"shred", sandbox.host("C:\\Backup")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tessaly-cli: These items could not be shredded:\n\n'C:\\Backup\\thesis.txt' has other names on "
                     "this disk (hard links); it was not shredded, so that their content stays.\n");
    EXPECT_EQ(sandbox.readFile("C:\\Documents\\thesis.txt"), "thesis");
    EXPECT_FALSE(sandbox.exists("C:\\Backup\\other.txt"));

    r = shredCli({"shred"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("shred needs at least one file or folder"), std::string::npos);
}

TEST_F(ShredCliTest, ALargeFileShowsAProgressLineOnATerminal) {
    const std::string host = sandbox.host("C:\\large.bin");
    {
        std::ofstream out(host, std::ios::binary);
        const std::string block(1 << 20, 'L');
        for (int i = 0; i < 64; ++i)
            out << block;
    }
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(TESSALY_CLI, "tessaly-cli", "shred", host.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        output.append(buffer, static_cast<std::size_t>(n));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_NE(output.find("\rshredding " + host + ": done"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(host));
}

TEST_F(ShredCliTest, EveryItemIsPinnedBeforeTheFirstIsShredded) {
    // While A is shredded, the folder holding A and B is moved away and a link to another folder, which
    // has a B of its own, is put in its place. B is left alone, and so is what the link leads to.
    sandbox.writeFile("C:\\Work\\A.bin", std::string(300000, 'A'));
    sandbox.writeFile("C:\\Work\\B.txt", "B in Work");
    sandbox.writeFile("C:\\Other\\B.txt", "B in Other");
    const std::string a = sandbox.host("C:\\Work\\A.bin");
    const std::string b = sandbox.host("C:\\Work\\B.txt");
    bool swapped = false;
    shredder::SetShredTestHooks({nullptr, [&](int, const std::string&, const std::string& host) {
                                     if (host != a || swapped)
                                         return;
                                     fs::rename(sandbox.host("C:\\Work"), sandbox.host("C:\\Moved"));
                                     fs::create_directory_symlink(sandbox.host("C:\\Other"), sandbox.host("C:\\Work"));
                                     swapped = true;
                                 }});
    testing::internal::CaptureStderr();
    const int status = shredder::ShredCommand({a, b}, core::RegisterPath());
    const std::string err = testing::internal::GetCapturedStderr();
    shredder::SetShredTestHooks({});

    ASSERT_TRUE(swapped);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err, "tessaly-cli: These items could not be shredded:\n\n'C:\\Work\\B.txt' is reached through a link "
                   "that was put into its path; it was left alone.\n");
    EXPECT_EQ(sandbox.readFile("C:\\Other\\B.txt"), "B in Other");
    EXPECT_EQ(sandbox.readFile("C:\\Moved\\B.txt"), "B in Work");
    EXPECT_FALSE(sandbox.exists("C:\\Moved\\A.bin"));
}

TEST_F(ShredCliTest, EachItemGoesOnWhenTheRegisterLiesOnNoDrive) {
    // Drive C: is a folder that does not hold the program's data folder (nor its register).
    const std::string drive = sandbox.root() + "/drive";
    fs::create_directories(drive);
    platform::registry().setString(platform::RegRoot::CurrentUser, settings::kDrivesKey, "C", drive);
    platform::reloadDrives();
    const std::string registerHost = platform::systemFolderHost() + "/systemtsl1.tcl";
    for (const bool registerExists : {false, true}) {
        SCOPED_TRACE(registerExists ? "with a register" : "without a register");
        if (registerExists)
            std::ofstream(registerHost) << "[TSL]\r\n";
        std::ofstream(drive + "/x") << "x";
        std::ofstream(drive + "/y") << "y";
        const CliRun r = shredCli({"shred", drive + "/x", drive + "/y"});
        EXPECT_FALSE(fs::exists(drive + "/x"));
        EXPECT_FALSE(fs::exists(drive + "/y"));
        if (!registerExists) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_EQ(r.err, "");
            continue;
        }
        // Shredded, but the list of locked items could not be looked at: said for each, and the status says so.
        EXPECT_EQ(r.exitCode, 1);
        const std::string cause = "was shredded, but the list of locked items could not be updated: the list (" +
                                  registerHost + ") is in a folder that none of the program's drives holds.\n";
        EXPECT_EQ(r.err, "tessaly-cli: 'C:\\x' " + cause + "tessaly-cli: 'C:\\y' " + cause);
    }
}
