#pragma once
// The application log: an in-memory history of entries, a log file in the per-user log folder,
// an error box and a pre-filled mail to the developer.

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {
class Prompt;
}

class CAppLog final {
public:
    enum ObjectType { Form = 0, Module = 1, Class = 2, Report = 3 };

    explicit CAppLog(platform::Prompt& prompt);
    ~CAppLog();
    CAppLog(const CAppLog&) = delete;
    CAppLog& operator=(const CAppLog&) = delete;

    std::string AuthorEmailAddress;
    bool LogToFile = true;
    std::string LogFilename;          // Windows form; defaults to DefaultLogFilename()
    std::string HistoryLog;
    std::int32_t LastErrNumber = 0;
    std::string LastErrDescription;

    std::string DefaultLogFilename() const; // log folder + "\" + "Tessaly.LOG"

    void Log(int objectType, const std::string& objectName, const std::string& procName, std::int32_t errNumber,
             std::string text, bool showMessage = false, bool askEmail = false);
    void WriteLogEntry(const std::string& entry);
    void Email_Error(const std::string& to, const std::string& cc, const std::string& subject, std::string body);

private:
    platform::Prompt& m_prompt;
    std::FILE* m_file = nullptr;
};
