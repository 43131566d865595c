#include "mail/SendMail.h"

#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "support/OpenerStub.h"
#include "support/Sandbox.h"
#include "support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::ScriptedPrompt;

// A stub xdg-email first on PATH: each call writes its arguments, NUL-separated, to a file of its own
// in calls/ (or, as a failing helper, complains and ends with a failure status).
class SendMailTest : public testing_support::SandboxTest {
protected:
    void SetUp() override {
        m_bin = sandbox.root() + "/bin";
        m_calls = sandbox.root() + "/calls";
        std::filesystem::create_directories(m_bin);
        std::filesystem::create_directories(m_calls);
        installStub(recordCall());
        const char* path = std::getenv("PATH");
        m_savedPath = path ? path : "";
        setenv("PATH", (m_bin + ":" + m_savedPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", m_savedPath.c_str(), 1); }

    std::string recordCall() const {
        return "n=$(ls '" + m_calls + "' | wc -l)\nprintf '%s\\0' \"$@\" > '" + m_calls + "/call'$n\n";
    }
    void installStub(const std::string& body) const {
        const std::string script = m_bin + "/xdg-email";
        std::ofstream(script) << "#!/bin/sh\n" << body;
        ::chmod(script.c_str(), 0755);
    }

    // The arguments of each call, in call order.
    std::vector<std::vector<std::string>> calls() const {
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(m_calls))
            files.push_back(e.path().filename().string());
        std::sort(files.begin(), files.end());
        std::vector<std::vector<std::string>> result;
        for (const std::string& f : files) {
            const std::string data = testing_support::readHostFile(m_calls + "/" + f);
            std::vector<std::string> args;
            std::size_t start = 0;
            for (std::size_t end; (end = data.find('\0', start)) != std::string::npos; start = end + 1)
                args.push_back(data.substr(start, end - start));
            result.push_back(args);
        }
        return result;
    }

    std::vector<std::string> expectedCall(const std::string& shown, const std::string& host,
                                          const std::string& homeUrl = {}, bool strong = false) const {
        return {
            "--subject",
            strong ? std::string("Attached Encrypted file: a strong locked file") : "Attached locked file: " + shown,
            "--body",
            mail::MailLetter(homeUrl, strong),
            "--attach",
            host};
    }

    std::string m_bin;
    std::string m_calls;
    std::string m_savedPath;
    ScriptedPrompt prompt;
};

constexpr const char* kLocked = "[Secret]\x01\x02 the rest of a locked file";

} // namespace

TEST(MailLetter, NamesTheKindOfLockAndTheProgramAndNeverAsksForThePassword) {
    // Single line breaks: a mail program shows each CR LF of a mailto body as two.
    EXPECT_EQ(mail::MailLetter("https://tessaly.example", false),
              "Dear [Recipient Name],\n"
              "Please find attached a file locked with Tessaly. It can be unlocked only with Tessaly, which you can "
              "get from https://tessaly.example.\n"
              "I will give you its password another way, not in a mail.\n\nYours sincerely,\n[Your Name]");
    EXPECT_EQ(mail::MailLetter("", true),
              "Dear [Recipient Name],\n"
              "Please find attached a strong locked file, encrypted with Tessaly. It can be unlocked only with "
              "Tessaly.\n"
              "I will give you its password another way, not in a mail.\n\nYours sincerely,\n[Your Name]");
}

TEST(MailSubject, ALockedFileIsNamedAndAStrongLockedFileIsNot) {
    EXPECT_EQ(mail::MailSubject("report.txt", false), "Attached locked file: report.txt");
    EXPECT_EQ(mail::MailSubject("report.txt", true), "Attached Encrypted file: a strong locked file");
}

TEST_F(SendMailTest, TwoTickedLockedFilesGiveTwoMessages) {
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::HomeUrl.name, "https://tessaly.example");
    sandbox.writeFile("C:\\Docs\\nqq.TSL", kLocked);
    sandbox.writeFile("C:\\Docs\\skipped.TSL", kLocked);
    sandbox.writeFile("C:\\Docs\\frpbaq file.TSW", "[Secret]"); // just the marker still counts as locked
    sandbox.writeFile("C:\\Docs\\Qx7Lm2.TSX", "[Strong] and the rest of a strong locked file");
    mail::cmdSendEmail_Click(prompt, "C:\\Docs",
                             {{"nqq.TSL", "add.doc", true},
                              {"skipped.TSL", "skipped.doc", false},
                              {"frpbaq file.TSW", "second file.avi", true},
                              {"Qx7Lm2.TSX", "letter.txt", true}});

    EXPECT_TRUE(prompt.boxes.empty());
    EXPECT_EQ(calls(), (std::vector<std::vector<std::string>>{
                           expectedCall("add.doc", sandbox.host("C:\\Docs\\nqq.TSL"), "https://tessaly.example"),
                           expectedCall("second file.avi", sandbox.host("C:\\Docs\\frpbaq file.TSW"),
                                        "https://tessaly.example"),
                           expectedCall("letter.txt", sandbox.host("C:\\Docs\\Qx7Lm2.TSX"),
                                        "https://tessaly.example", true)}));
    EXPECT_FALSE(prompt.busy);
}

TEST_F(SendMailTest, APlainFileIsRefusedAndTheOthersStillGo) {
    sandbox.writeFile("C:\\Docs\\plain.txt", "[Secre] not quite");
    sandbox.writeFile("C:\\Docs\\short.txt", "[Sec");
    sandbox.writeFile("C:\\Docs\\ybpxrq.TSL", kLocked);
    mail::cmdSendEmail_Click(prompt, "C:\\Docs\\",
                             {{"plain.txt", "plain.txt", true},
                              {"gone.TSL", "gone.doc", true}, // missing: skipped without a word
                              {"short.txt", "short.txt", true},
                              {"ybpxrq.TSL", "locked.doc", true}});

    ASSERT_EQ(prompt.boxes.size(), 2u);
    for (const auto& box : prompt.boxes) {
        EXPECT_EQ(box.text, mail::kNotLocked);
        EXPECT_EQ(box.buttons, platform::Buttons::OK);
        EXPECT_EQ(box.title, "Tessaly");
    }
    EXPECT_EQ(calls(), (std::vector<std::vector<std::string>>{
                           expectedCall("locked.doc", sandbox.host("C:\\Docs\\ybpxrq.TSL"))}));
    EXPECT_FALSE(prompt.busy);
}

TEST_F(SendMailTest, NothingTickedGivesOnlyTheSelectMessage) {
    sandbox.writeFile("C:\\Docs\\ybpxrq.TSL", kLocked);
    mail::cmdSendEmail_Click(prompt, "C:\\Docs", {{"ybpxrq.TSL", "locked.doc", false}});
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "you have to select atleast one locked file ");
    EXPECT_EQ(prompt.last().icon, platform::Icon::Information);
    EXPECT_TRUE(calls().empty());
    EXPECT_FALSE(prompt.busy);
}

TEST_F(SendMailTest, AFailingMailProgramIsToldAndStopsTheRun) {
    // Status 4: the mail program was there and could not take the message. Only its last word is shown.
    installStub(recordCall() + "echo 'usage: noise' >&2\necho 'the mail program refused it' >&2\nexit 4\n");
    sandbox.writeFile("C:\\Docs\\one.TSL", kLocked);
    sandbox.writeFile("C:\\Docs\\two.TSL", kLocked);
    mail::cmdSendEmail_Click(prompt, "C:\\Docs", {{"one.TSL", "one", true}, {"two.TSL", "two", true}});
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text,
              "No mail program could be started.\r\nxdg-email ended with status 4: the mail program refused it");
    EXPECT_EQ(prompt.last().icon, platform::Icon::Critical);
    EXPECT_EQ(prompt.last().title, "Tessaly");
    EXPECT_EQ(calls().size(), 1u); // the second file was not tried
    EXPECT_FALSE(prompt.busy);
}

// No mail program set up: xdg-email's status 3 with its noise, or no xdg-email at all. One line says
// where the locked file is, and its folder is offered.
TEST_F(SendMailTest, WithoutAMailProgramTheFileIsShownAndItsFolderOffered) {
    const struct {
        const char* name;
        bool helperThere;
        platform::Answer answer;
    } cases[] = {{"status 3, Yes", true, platform::Answer::Yes},
                 {"status 3, No", true, platform::Answer::No},
                 {"no helper, Yes", false, platform::Answer::Yes}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::ScriptedPrompt asked;
        std::filesystem::remove(sandbox.root() + "/opened.log"); // the opener's record of the case before
        const testing_support::OpenerStub opener(sandbox);
        std::string noise;
        for (int i = 0; i < 50; ++i)
            noise += "echo 'xdg-email: line " + std::to_string(i) + " of what the tools said' >&2\n";
        installStub(recordCall() + noise + "exit 3\n");
        if (!c.helperThere) {
            std::filesystem::remove(m_bin + "/xdg-email");
            // Nothing else on PATH but the opener, so no xdg-email of the system is found.
            setenv("PATH", (m_bin + ":" + sandbox.root() + "/stubbin").c_str(), 1);
        }
        sandbox.writeFile("C:\\Docs\\one.TSL", kLocked);
        sandbox.writeFile("C:\\Docs\\two.TSL", kLocked);
        asked.answer(c.answer);
        mail::cmdSendEmail_Click(asked, "C:\\Docs", {{"one.TSL", "one", true}, {"two.TSL", "two", true}});
        ASSERT_EQ(asked.boxes.size(), 1u);
        EXPECT_EQ(asked.last().text,
                  "No mail program is set up; the locked file is at C:\\Docs\\one.TSL.\r\nOpen its folder?");
        EXPECT_EQ(asked.last().buttons, platform::Buttons::YesNo);
        EXPECT_EQ(asked.last().title, "Tessaly");
        const std::vector<std::string> opened = opener.calls(c.answer == platform::Answer::Yes ? 1 : 0);
        EXPECT_EQ(opened, c.answer == platform::Answer::Yes ? std::vector<std::string>{sandbox.host("C:\\Docs")}
                                                            : std::vector<std::string>{});
        EXPECT_FALSE(asked.busy);
    }
}

namespace {

// The mail helper's exit status decides, however long it takes: one that fails after some seconds
// (a mail program that could not take the message) is a failure, not a message sent.
TEST_F(SendMailTest, AHelperThatFailsLateIsStillAFailure) {
    installStub(recordCall() + "sleep 4\necho 'the mail program gave up' >&2\nexit 4\n");
    sandbox.writeFile("C:\\Docs\\one.TSL", kLocked);
    mail::cmdSendEmail_Click(prompt, "C:\\Docs", {{"one.TSL", "one", true}});
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text,
              "No mail program could be started.\r\nxdg-email ended with status 4: the mail program gave up");
    EXPECT_EQ(prompt.last().icon, platform::Icon::Critical);
    EXPECT_GT(prompt.eventPumps, 0); // the window kept painting while it waited
    EXPECT_FALSE(prompt.busy);
}

// One still running at the deadline is neither sent nor failed: the user is told to look, and the
// helper is left to run.
TEST_F(SendMailTest, AHelperStillRunningAtTheDeadlineIsToldAndLeftRunning) {
    const std::string pidFile = sandbox.root() + "/helper.pid";
    installStub("echo $$ > '" + pidFile + "'\nexec sleep 600\n");
    int pumps = 0;
    const mail::MailLaunch launch = mail::LaunchMailProgram(
        {"--subject", "s"}, [&pumps] { ++pumps; }, 2000);
    EXPECT_FALSE(launch.started);
    EXPECT_TRUE(launch.timedOut);
    EXPECT_EQ(launch.reason, std::string(mail::kMailNoAnswer) +
                                 "2 seconds. Look in your mail program whether the message was opened there before "
                                 "sending the file again.");
    EXPECT_GT(pumps, 0);
    // The helper writes its number as it starts (on a loaded machine, maybe only now).
    std::string pid;
    for (int i = 0; i < 600 && pid.empty(); ++i) {
        if (std::filesystem::exists(pidFile))
            pid = testing_support::readHostFile(pidFile);
        if (pid.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(pid.empty());
    EXPECT_EQ(::kill(std::stoi(pid), 0), 0); // still running
    ::kill(std::stoi(pid), SIGTERM);
}

} // namespace
