#include "diagnostics/CAppLog.h"

#include "platform/Environment.h"
#include "support/Sandbox.h"
#include "support/ScriptedPrompt.h"

#include <QDateTime>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using platform::Answer;
using platform::Buttons;
using platform::Icon;
using testing_support::SandboxTest;
using testing_support::ScriptedPrompt;

namespace {

const std::string kVersion = std::to_string(TESSALY_VERSION_MAJOR) + "." + std::to_string(TESSALY_VERSION_MINOR) + "." +
                             std::to_string(TESSALY_VERSION_PATCH);

// The entry without its time stamp, which is checked on its own.
struct Entry {
    std::string before, stamp, after;
};

Entry splitEntry(const std::string& entry) {
    static const QRegularExpression stampPattern(
        QStringLiteral("\t(\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d)\\.(\\d\\d\\d)\t"));
    const QString text = QString::fromStdString(entry);
    const auto m = stampPattern.match(text);
    if (!m.hasMatch())
        return {entry, "", ""};
    return {text.left(m.capturedStart()).toStdString(), m.captured(1).toStdString(),
            text.mid(m.capturedEnd()).toStdString()};
}

QDateTime parseStamp(const std::string& stamp) {
    return QDateTime::fromString(QString::fromStdString(stamp), QStringLiteral("MM/dd/yy hh:mm:ss")).addYears(100);
}

} // namespace

class AppLogTest : public SandboxTest {
protected:
    ScriptedPrompt prompt;
    const std::string logFile = "C:\\home\\.local\\state\\tessaly\\Tessaly.LOG";
};

TEST_F(AppLogTest, EntryFormat) {
    CAppLog log(prompt);
    log.LogToFile = false;
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    log.Log(CAppLog::Form, "frmSecurityVault", "Sub cmdUnlockFiles_Click", 53, "File not found");
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    ASSERT_GE(log.HistoryLog.size(), 2u);
    EXPECT_EQ(log.HistoryLog.substr(log.HistoryLog.size() - 2), "\r\n");
    const Entry e = splitEntry(log.HistoryLog.substr(0, log.HistoryLog.size() - 2));
    EXPECT_EQ(e.before, "Form\tfrmSecurityVault\tSub cmdUnlockFiles_Click\tRun-Time Error");
    EXPECT_EQ(e.after, "53\tFile not found");
    const QDateTime when = parseStamp(e.stamp);
    EXPECT_TRUE(when.isValid()) << e.stamp;
    EXPECT_GE(when, before.addMSecs(-before.time().msec()));
    EXPECT_LE(when, after);
    EXPECT_EQ(log.LastErrNumber, 53);
    EXPECT_EQ(log.LastErrDescription, "File not found");
    EXPECT_TRUE(prompt.boxes.empty()); // message and mail are off unless asked for
}

TEST_F(AppLogTest, ActionEntriesAndTypeNames) {
    CAppLog log(prompt);
    log.LogToFile = false;
    log.Log(CAppLog::Module, "modGeneral.bas", "Nuke", 0, "");
    log.Log(CAppLog::Class, "Cipher", "Stretch", 0, "step");
    log.Log(CAppLog::Report, "r", "p", 0, "x");
    log.Log(9, "o", "p", 0, "y");
    const std::string expected[] = {"Module\tmodGeneral.bas\tNuke\tAction|0\tExit",
                                    "Class\tCipher\tStretch\tAction|0\tstep", "Report\tr\tp\tAction|0\tx",
                                    "\to\tp\tAction|0\ty"};
    std::size_t from = 0;
    for (const auto& want : expected) {
        const auto end = log.HistoryLog.find("\r\n", from);
        ASSERT_NE(end, std::string::npos);
        const Entry e = splitEntry(log.HistoryLog.substr(from, end - from));
        EXPECT_EQ(e.before + "|" + e.after, want);
        from = end + 2;
    }
    EXPECT_EQ(from, log.HistoryLog.size());
    EXPECT_EQ(log.LastErrNumber, 0);
    EXPECT_EQ(log.LastErrDescription, "y");
}

TEST_F(AppLogTest, LogFileIsEmptiedOnTheFirstWriteOnly) {
    sandbox.writeFile(logFile, "an earlier run\r\n");
    {
        CAppLog log(prompt);
        EXPECT_EQ(log.DefaultLogFilename(), logFile);
        EXPECT_EQ(log.LogFilename, logFile);
        log.Log(CAppLog::Form, "frmMain", "Form_Load", 0, "first");
        log.Log(CAppLog::Form, "frmMain", "queryUnload", 5, "second");
        const std::string content = sandbox.readFile(logFile); // written through, while the log is open
        EXPECT_EQ(content, log.HistoryLog);
    }
    const std::string content = sandbox.readFile(logFile);
    EXPECT_EQ(content.find("an earlier run"), std::string::npos);
    const auto firstEnd = content.find("\r\n");
    ASSERT_NE(firstEnd, std::string::npos);
    EXPECT_EQ(splitEntry(content.substr(0, firstEnd)).after, "0\tfirst");
    EXPECT_EQ(splitEntry(content.substr(firstEnd + 2, content.size() - firstEnd - 4)).after, "5\tsecond");
    EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(AppLogTest, LogFileChoices) {
    CAppLog log(prompt);
    log.LogToFile = false;
    log.Log(CAppLog::Form, "frmMain", "Form_Load", 0, "not written");
    EXPECT_FALSE(sandbox.exists(logFile));

    log.LogToFile = true;
    log.LogFilename = "   ";
    log.Log(CAppLog::Form, "frmMain", "Form_Load", 0, "written");
    EXPECT_EQ(log.LogFilename, logFile);
    EXPECT_NE(sandbox.readFile(logFile).find("\twritten\r\n"), std::string::npos);

    CAppLog other(prompt);
    other.LogFilename = "C:\\Logs\\mine.log";
    sandbox.makeFolder("C:\\Logs");
    other.Log(CAppLog::Form, "frmMain", "Form_Load", 0, "elsewhere");
    EXPECT_NE(sandbox.readFile("C:\\Logs\\mine.log").find("\telsewhere\r\n"), std::string::npos);
}

TEST_F(AppLogTest, UnwritableLogFileShowsTheFailure) {
    CAppLog log(prompt);
    log.LogFilename = "C:\\NoSuchFolder\\x.LOG";
    log.Log(CAppLog::Form, "frmMain", "Form_Load", 0, "x");
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Path not found");
    EXPECT_EQ(prompt.last().title, "Class CAppLog Function WriteLogEntry()");
    EXPECT_EQ(prompt.last().icon, Icon::None);
    EXPECT_NE(log.HistoryLog.find("\tx\r\n"), std::string::npos); // the history still has it
}

TEST_F(AppLogTest, ErrorBox) {
    CAppLog log(prompt);
    log.LogToFile = false;
    log.Log(CAppLog::Form, "frmSecurityVault", "Sub cmdUnlockFiles_Click", 0, "no error", true);
    EXPECT_TRUE(prompt.boxes.empty());
    log.Log(CAppLog::Form, "frmSecurityVault", "Sub cmdUnlockFiles_Click", 75, "Path/File access error", true);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "A critical run-time error has occurred in Form frmSecurityVault Sub "
                                  "cmdUnlockFiles_Click\r\n\r\nError #75: 'Path/File access error'");
    EXPECT_EQ(prompt.last().title, "Tessaly Error");
    EXPECT_EQ(prompt.last().icon, Icon::Critical);
    EXPECT_EQ(prompt.last().buttons, Buttons::OK);
}

// A stub xdg-open first on PATH that records its argument.
class AppLogMailTest : public AppLogTest {
protected:
    void SetUp() override {
        const std::string bin = sandbox.root() + "/bin";
        fs::create_directories(bin);
        m_record = sandbox.root() + "/opened.txt";
        std::ofstream(bin + "/xdg-open") << "#!/bin/sh\nprintf '%s' \"$1\" > '" << m_record << ".tmp'\nmv '" << m_record
                                         << ".tmp' '" << m_record << "'\n";
        fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
        m_savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (bin + ":" + m_savedPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", m_savedPath.c_str(), 1); }

    // The link the stub received; waits (bounded) for the detached helper to finish.
    std::string openedLink() {
        for (int i = 0; i < 200 && !fs::exists(m_record); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return fs::exists(m_record) ? testing_support::readHostFile(m_record) : std::string("<not opened>");
    }
    bool opened() const { return fs::exists(m_record); }

private:
    std::string m_record;
    std::string m_savedPath;
};

TEST_F(AppLogMailTest, EmptySubjectGivesBodyWithoutQuestionMark) {
    CAppLog log(prompt);
    log.Email_Error("dev@example.invalid", "", "", "a b&c\r\n\td");
    EXPECT_EQ(openedLink(), "MailTo:dev@example.invalid&Body=a%20b%26c%0D%0A%20%20%20%20%20d");
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(AppLogMailTest, SubjectWithoutBody) {
    CAppLog log(prompt);
    log.Email_Error("dev@example.invalid", "cc@example.invalid", "Tessaly Fatal Error", "");
    EXPECT_EQ(openedLink(), "MailTo:dev@example.invalid?Subject=Tessaly Fatal Error");
}

TEST_F(AppLogMailTest, MissingAddressIsToldAndTheMailStillOpens) {
    CAppLog log(prompt);
    log.Email_Error("", "", "S", "B");
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "No e-mail address has been set up for the developer. Please enter this in the To: "
                                  "line of the e-mail.");
    EXPECT_EQ(prompt.last().title, "Tessaly");
    EXPECT_EQ(openedLink(), "MailTo:?Subject=S&Body=B");
}

TEST_F(AppLogMailTest, AskEmailDeclined) {
    CAppLog log(prompt);
    log.LogToFile = false;
    prompt.answer(Answer::No);
    log.Log(CAppLog::Form, "frmSecurityVault", "Sub cmdUnlockFiles_Click", 53, "File not found", false, true);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Would you like to e-mail this error to the application developer?");
    EXPECT_EQ(prompt.last().buttons, Buttons::YesNo);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(opened());
}

TEST_F(AppLogMailTest, AskEmailBuildsTheDeveloperMail) {
    CAppLog log(prompt);
    log.LogToFile = false;
    log.AuthorEmailAddress = "errors@tessaly.invalid";
    log.Log(CAppLog::Form, "frmMain", "Form_Load", 0, "started");
    prompt.answer(Answer::Yes);
    log.Log(CAppLog::Form, "frmSecurityVault", "Sub cmdUnlockFiles_Click", 53, "File not found", true, true);

    ASSERT_EQ(prompt.boxes.size(), 3u);
    EXPECT_EQ(prompt.boxes[0].title, "Tessaly Error");
    EXPECT_EQ(prompt.boxes[1].text, "Would you like to e-mail this error to the application developer?");
    EXPECT_EQ(prompt.boxes[2].text,
              "Your e-mail application will now open with all fields automatically filled in.\r\n"
              "Feel free to edit the message portion of the e-mail, and add any further comments describing what "
              "happened.\r\nWhen finished, please click on the [Send] button. --Thank You");

    std::string history = log.HistoryLog;
    const auto encode = [](std::string s) {
        std::string out;
        for (std::size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\t')
                out += "%20%20%20%20%20";
            else if (s[i] == ' ')
                out += "%20";
            else if (s[i] == '&')
                out += "%26";
            else if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
                out += "%0D%0A";
                ++i;
            } else
                out += s[i];
        }
        return out;
    };
    const std::string link = openedLink();
    const std::string head = "MailTo:errors@tessaly.invalid?Subject=Tessaly Fatal Error...Form frmSecurityVault Sub "
                             "cmdUnlockFiles_Click Error #53&Body=Description:%20File%20not%20found%0D%0AWhen%20"
                             "Occurred:%20";
    ASSERT_EQ(link.substr(0, head.size()), head);
    const std::string stamp = link.substr(head.size(), 19); // "mm/dd/yy%20hh:nn:ss"
    EXPECT_TRUE(
        parseStamp(QString::fromStdString(stamp).replace(QStringLiteral("%20"), QStringLiteral(" ")).toStdString())
            .isValid())
        << stamp;
    EXPECT_EQ(link.substr(head.size() + 19),
              "%0D%0AApp%20Version:%20" + kVersion +
                  "%0D%0A%0D%0AENTER%20YOUR%20COMPANY%20NAME%20HERE:%20%0D%0AENTER%20YOUR%20NAME%20HERE:%20%0D%0A"
                  "DESCRIBE%20WHAT%20LED%20UP%20TO%20THE%20ERROR:%20%0D%0A%0D%0AAPP%20HISTORY%20LOG%20DUMP:%0D%0A" +
                  encode(history));
}

TEST_F(AppLogTest, TheLogAndItsFolderArePrivateWhateverTheUmask) {
    const mode_t saved = ::umask(022);
    fs::remove_all(sandbox.host("C:\\home\\.local\\state\\tessaly"));
    // A log an older run left readable by everyone is made private when it is written again.
    {
        CAppLog log(prompt);
        log.Log(CAppLog::Form, "frmMain", "Form_Load", 0, "");
    }
    const std::string host = sandbox.host(logFile);
    ASSERT_TRUE(fs::exists(host));
    EXPECT_EQ(fs::status(host).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(fs::path(host).parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    fs::permissions(host, fs::perms::others_read | fs::perms::group_read, fs::perm_options::add);
    {
        CAppLog log(prompt);
        log.Log(CAppLog::Form, "frmMain", "Form_Load", 0, "");
    }
    EXPECT_EQ(fs::status(host).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    ::umask(saved);
    EXPECT_TRUE(prompt.boxes.empty());
}
