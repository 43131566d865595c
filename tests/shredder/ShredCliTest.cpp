#include "core/Register.h"
#include "settings/Settings.h"

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
    core::RecordLock(registerPath, settings::kSectionTSL, "C:\\Tree\\plain.txt", "C:\\Tree\\b.TSL");

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
