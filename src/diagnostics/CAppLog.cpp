#include "diagnostics/CAppLog.h"

#include "platform/Environment.h"
#include "platform/Opener.h"
#include "platform/PrivateFiles.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "platform/Text.h"

#include <QDateTime>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

namespace {

constexpr const char* kCrLf = "\r\n";

std::string typeName(int objectType) {
    switch (objectType) {
    case CAppLog::Form:
        return "Form";
    case CAppLog::Module:
        return "Module";
    case CAppLog::Class:
        return "Class";
    case CAppLog::Report:
        return "Report";
    default:
        return std::string();
    }
}

std::string stamp(const QDateTime& when) {
    return when.toString(QStringLiteral("MM/dd/yy hh:mm:ss")).toStdString();
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

} // namespace

CAppLog::CAppLog(platform::Prompt& prompt) : m_prompt(prompt) {
    try {
        LogFilename = DefaultLogFilename();
    } catch (const std::exception&) {
        // Resolved again on the first write.
    }
}

CAppLog::~CAppLog() {
    try {
        if (m_file && std::fclose(m_file) != 0) {
            m_file = nullptr;
            throw platform::SysError(platform::ErrorKind::DeviceIO);
        }
        m_file = nullptr;
    } catch (const std::exception& e) {
        try {
            m_prompt.show(e.what(), platform::Buttons::OK, platform::Icon::None, "Class CAppLog Sub Class_Terminate");
        } catch (...) {
            // The log's own failure while closing has nowhere else to go.
        }
    }
}

std::string CAppLog::DefaultLogFilename() const {
    // The per-user log folder: the program's own folder is not writable on an installed system.
    return platform::toWindows(platform::logFolderHost()) + "\\" + platform::kApplicationTitle + ".LOG";
}

void CAppLog::Log(int objectType, const std::string& objectName, const std::string& procName, std::int32_t errNumber,
                  std::string text, bool showMessage, bool askEmail) {
    try {
        const std::string type = typeName(objectType);
        const std::string kind = errNumber != 0 ? "Run-Time Error" : "Action";
        if (errNumber == 0 && text.empty())
            text = "Exit";

        const QDateTime now = QDateTime::currentDateTime();
        const std::string milliseconds =
            QStringLiteral("%1").arg(now.time().msec(), 3, 10, QLatin1Char('0')).toStdString();
        const std::string number = std::to_string(errNumber);
        const std::string entry = type + "\t" + objectName + "\t" + procName + "\t" + kind + "\t" + stamp(now) + "." +
                                  milliseconds + "\t" + number + "\t" + text;

        HistoryLog += entry + kCrLf;
        if (LogToFile)
            WriteLogEntry(entry);

        if (showMessage && errNumber != 0) {
            m_prompt.show("A critical run-time error has occurred in " + type + " " + objectName + " " + procName +
                              kCrLf + kCrLf + "Error #" + number + ": " + "'" + text + "'",
                          platform::Buttons::OK, platform::Icon::Critical,
                          std::string(platform::kApplicationTitle) + " Error");
        }

        if (askEmail && errNumber != 0 &&
            m_prompt.show("Would you like to e-mail this error to the application developer?", platform::Buttons::YesNo,
                          platform::Icon::Question) == platform::Answer::Yes) {
            m_prompt.show(std::string("Your e-mail application will now open with all fields automatically filled "
                                      "in.") +
                              kCrLf +
                              "Feel free to edit the message portion of the e-mail, and add any further comments "
                              "describing what happened." +
                              kCrLf + "When finished, please click on the [Send] button. --Thank You",
                          platform::Buttons::OK, platform::Icon::Information);
            const std::string subject = std::string(platform::kApplicationTitle) + " Fatal Error..." + type + " " +
                                        objectName + " " + procName + " Error #" + number;
            const std::string version = std::to_string(TESSALY_VERSION_MAJOR) + "." +
                                        std::to_string(TESSALY_VERSION_MINOR) + "." +
                                        std::to_string(TESSALY_VERSION_PATCH);
            const std::string body =
                "Description: " + text + kCrLf + "When Occurred: " + stamp(now) + kCrLf + "App Version: " + version +
                kCrLf + kCrLf + "ENTER YOUR COMPANY NAME HERE: " + kCrLf + "ENTER YOUR NAME HERE: " + kCrLf +
                "DESCRIBE WHAT LED UP TO THE ERROR: " + kCrLf + kCrLf + "APP HISTORY LOG DUMP:" + kCrLf + HistoryLog;
            Email_Error(AuthorEmailAddress, std::string(), subject, body);
        }

        LastErrNumber = errNumber;
        LastErrDescription = text;
    } catch (const std::exception& e) {
        m_prompt.show(e.what(), platform::Buttons::OK, platform::Icon::None, "Class CAppLog Function Log()");
    }
}

void CAppLog::WriteLogEntry(const std::string& entry) {
    try {
        if (!m_file) {
            // The first write opens the file, emptying what an earlier run left; it then stays open.
            if (platform::trimBlanks(LogFilename).empty())
                LogFilename = DefaultLogFilename();
            const std::string host = platform::toHost(LogFilename);
            // Private to the user (0600) whatever the umask: the log names files and folders.
            const int fd = platform::OpenPrivateFile(host, O_WRONLY | O_TRUNC);
            if (fd < 0)
                throw platform::sysErrorFromErrno(errno, host);
            m_file = ::fdopen(fd, "wb");
            if (!m_file) {
                const int err = errno;
                ::close(fd);
                throw platform::sysErrorFromErrno(err, host);
            }
        }
        const std::string line = entry + kCrLf;
        if (std::fwrite(line.data(), 1, line.size(), m_file) != line.size() || std::fflush(m_file) != 0)
            throw platform::sysErrorFromErrno(errno, LogFilename);
    } catch (const std::exception& e) {
        m_prompt.show(e.what(), platform::Buttons::OK, platform::Icon::None, "Class CAppLog Function WriteLogEntry()");
    }
}

void CAppLog::Email_Error(const std::string& to, const std::string& /*cc*/, const std::string& subject,
                          std::string body) {
    try {
        if (to.empty())
            m_prompt.show("No e-mail address has been set up for the developer. Please enter this in the To: line "
                          "of the e-mail.");
        std::string link = "MailTo:" + to;
        if (!subject.empty())
            link += "?Subject=" + subject;
        if (!body.empty()) {
            replaceAll(body, "\t", "     ");
            replaceAll(body, " ", "%20");
            replaceAll(body, "&", "%26");
            replaceAll(body, "\r\n", "%0D%0A");
            link += "&Body=" + body;
        }
        platform::openDefault(link);
    } catch (const std::exception& e) {
        m_prompt.show(e.what(), platform::Buttons::OK, platform::Icon::None, "Class CAppLog Function Email_Error()");
    }
}
