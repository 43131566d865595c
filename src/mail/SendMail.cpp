#include "mail/SendMail.h"

#include "core/StrongFormat.h"
#include "diagnostics/ErrorReport.h"
#include "locking/FileCommands.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Opener.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/SettingsTable.h"
#include "settings/modFileFunctions.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <exception>

namespace mail {

namespace {

constexpr const char* kProcedure = "cmdSendEmail_Click";
constexpr const char* kWindowName = "frmMain";
// The helper's exit status is looked for this often while the window keeps painting.
constexpr int kPollMs = 50;

// Turns the busy pointer off on every way out of the command.
class BusyPointer final {
public:
    explicit BusyPointer(platform::Prompt& prompt) : m_prompt(prompt) { m_prompt.setBusy(true); }
    ~BusyPointer() { m_prompt.setBusy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    platform::Prompt& m_prompt;
};

// The last line the helper wrote: what it says of its failure, without the usage text and the
// tools' noise that come before it.
std::string lastLine(const QByteArray& bytes) {
    const QStringList lines = QString::fromLocal8Bit(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (!it->trimmed().isEmpty())
            return it->trimmed().toLocal8Bit().toStdString();
    return {};
}

// xdg-email's status when a tool it needs (a mail program) is not there.
constexpr int kToolMissingStatus = 3;

} // namespace

std::string MailLetter(const std::string& homeUrl, bool strong) {
    // The letter never carries the password: whoever reads the mail would have file and password
    // together. It names the kind of lock honestly: only a strong lock enciphers with a key made
    // from the password. Lines end in a single LF: the body goes into a mailto address, where a
    // CR LF becomes two line breaks.
    std::string second = std::string("Please find attached ") +
                         (strong ? "a strong locked file, encrypted with Tessaly" : "a file locked with Tessaly") +
                         ". It can be unlocked only with Tessaly";
    second += homeUrl.empty() ? std::string(".") : ", which you can get from " + homeUrl + ".";
    return "Dear [Recipient Name],\n" + second +
           "\nI will give you its password another way, not in a mail.\n\nYours sincerely,\n[Your Name]";
}

std::string MailSubject(const std::string& shownName, bool strong) {
    return strong ? std::string("Attached Encrypted file: a strong locked file") : "Attached locked file: " + shownName;
}

MailLaunch LaunchMailProgram(const std::vector<std::string>& arguments, const std::function<void()>& whileWaiting,
                             int deadlineMs) {
    QStringList args;
    for (const std::string& a : arguments)
        args << QString::fromLocal8Bit(a);
    auto* process = new QProcess;
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(QStringLiteral("xdg-email"), args);
    if (!process->waitForStarted()) {
        MailLaunch result{false, "xdg-email could not be run: " + process->errorString().toLocal8Bit().toStdString()};
        result.noMailer = true;
        delete process;
        return result;
    }
    QElapsedTimer waited;
    waited.start();
    while (!process->waitForFinished(kPollMs)) {
        if (process->state() == QProcess::NotRunning)
            break;
        if (whileWaiting)
            whileWaiting();
        if (waited.elapsed() >= deadlineMs) {
            // Still running: whether the message was handed over is not known. The helper is left to
            // run; its process object goes away only when it ends (deleting it would kill it).
            process->closeReadChannel(QProcess::StandardOutput);
            QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
            MailLaunch result;
            result.timedOut = true;
            result.reason = std::string(kMailNoAnswer) + std::to_string(deadlineMs / 1000) +
                            " seconds. Look in your mail program whether the message was opened there before "
                            "sending the file again.";
            return result;
        }
    }
    MailLaunch result;
    if (process->exitStatus() != QProcess::NormalExit) {
        result.reason = "xdg-email ended abnormally";
    } else if (process->exitCode() != 0) {
        result.noMailer = process->exitCode() == kToolMissingStatus;
        result.reason = "xdg-email ended with status " + std::to_string(process->exitCode());
        const std::string said = lastLine(process->readAll());
        if (!said.empty())
            result.reason += ": " + said;
    } else {
        result.started = true;
    }
    delete process;
    return result;
}

void cmdSendEmail_Click(platform::Prompt& prompt, const std::string& folder, const std::vector<MailItem>& rows) {
    BusyPointer busy(prompt);
    bool anyTicked = false;
    try {
        const std::string homeUrl = settings::HomeUrl.get();
        for (const MailItem& row : rows) {
            if (!row.checked)
                continue;
            anyTicked = true;
            const std::string path = AddBackslash(folder) + row.key;
            if (FileExists(path)) {
                const bool strong = core::strong::HasMagic(platform::InputFile(path).readUpTo(core::strong::kMagicSize));
                if (!locking::HasSecretMarker(path)) {
                    prompt.show(kNotLocked, platform::Buttons::OK, platform::Icon::None);
                } else {
                    const MailLaunch launch =
                        LaunchMailProgram({"--subject", MailSubject(row.text, strong), "--body",
                                           MailLetter(homeUrl, strong), "--attach", platform::toHost(path)},
                                          [&prompt] { prompt.processEvents(); });
                    if (launch.timedOut) {
                        prompt.show(launch.reason, platform::Buttons::OK, platform::Icon::Exclamation);
                        return;
                    }
                    if (launch.noMailer) {
                        // Nothing to report: the desktop has no mail program. Where the file lies is
                        // what the user needs, to attach it by hand.
                        if (prompt.show(std::string(kNoMailProgramSetUp) + path + ".\r\n" + kOpenItsFolder,
                                        platform::Buttons::YesNo, platform::Icon::Exclamation) == platform::Answer::Yes)
                            platform::openDefault(folder);
                        return;
                    }
                    if (!launch.started) {
                        prompt.show(std::string(kNoMailProgram) + "\r\n" + launch.reason, platform::Buttons::OK,
                                    platform::Icon::Critical);
                        ReportError(kWindowName, platform::errorNumber(platform::ErrorKind::InvalidArgument),
                                    launch.reason, kProcedure);
                        return;
                    }
                }
            }
            prompt.processEvents();
        }
    } catch (const platform::SysError& e) {
        ReportError(kWindowName, e.number(), e.description(), kProcedure);
        return;
    } catch (const std::exception& e) {
        ReportError(kWindowName, platform::errorNumber(platform::ErrorKind::InvalidArgument), e.what(), kProcedure);
        return;
    }
    if (!anyTicked)
        prompt.show(kSelectLocked, platform::Buttons::OK, platform::Icon::Information);
}

} // namespace mail
