#pragma once
// The "Send to Mail Recipient" command: for each ticked file of the file list that is locked, the
// desktop's mail program opens a new message with the file attached, a subject naming it and a
// prepared letter (xdg-email). The user adds the recipient and the password and sends it there.

#include <string>
#include <vector>

namespace platform {
class Prompt;
}

namespace mail {

// A row of the file list: its key (the name on disk) and the name it is shown under.
struct MailItem {
    std::string key;
    std::string text;
    bool checked = false;
};

// The letter, lines joined by CR LF. The maker's address ends the second line; without one the line
// ends after "Tessaly only".
std::string MailLetter(const std::string& homeUrl);
// "Attached Encrypted file: " followed by the shown name.
std::string MailSubject(const std::string& shownName);

// The outcome of starting the mail program: empty reason when it took the message.
struct MailLaunch {
    bool started = false;
    std::string reason;
};
// Runs xdg-email with the arguments. A helper that is missing, ends with a failure status within
// a few seconds or cannot be run gives started = false and the reason. One still running after that
// is taken as the mail program being open and is left to run.
MailLaunch LaunchMailProgram(const std::vector<std::string>& arguments);

// The command over the rows of the file list (in list order) and the folder they are in.
void cmdSendEmail_Click(platform::Prompt& prompt, const std::string& folder, const std::vector<MailItem>& rows);

inline constexpr const char* kNotLocked =
    "Sorry selected file is not locked. Only locked files can be send through this application";
inline constexpr const char* kSelectLocked = "you have to select atleast one locked file ";
inline constexpr const char* kNoMailProgram = "No mail program could be started.";

} // namespace mail
