#pragma once
// The "Send to Mail Recipient" command: for each ticked file of the file list that is locked, the
// desktop's mail program opens a new message with the file attached, a subject naming it and a
// prepared letter (xdg-email). The user adds the recipient and the password and sends it there.

#include <functional>
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

// The letter, one line break between lines (a mail program shows a CR LF as two): what the file is
// (a strong locked file or a locked one), the program that unlocks it (with the maker's address when
// there is one), and that the password comes another way. It has no line for the password, and it
// names no file.
std::string MailLetter(const std::string& homeUrl, bool strong);
// A locked file (".TSL", ".TSW": hidden, not enciphered with a key of its password) is called locked,
// and named: "Attached locked file: " and the shown name. A strong locked file is enciphered, and
// its name is part of what the lock keeps: "Attached Encrypted file: a strong locked file".
std::string MailSubject(const std::string& shownName, bool strong);

// The outcome of starting the mail program: empty reason when it took the message.
struct MailLaunch {
    bool started = false;
    std::string reason;
    bool timedOut = false; // still running at the deadline: whether it took the message is not known
    bool noMailer = false; // no mail program is set up (xdg-email missing, or its status 3)
};
// How long the mail helper may take to hand the message over and end.
inline constexpr int kMailDeadlineMs = 120000;
// Runs xdg-email with the arguments and waits for its exit status: only a helper that ended with
// status 0 took the message. A missing helper, a failure status or an abnormal end gives started =
// false and the reason (the helper's last line of output, not all it said); a missing helper or its
// status 3 ("a required tool could not be found": no mail program) gives noMailer as well; one still
// running at the deadline gives timedOut (it is left to run).
// `whileWaiting` runs every little while meanwhile (the window keeps painting).
MailLaunch LaunchMailProgram(const std::vector<std::string>& arguments, const std::function<void()>& whileWaiting = {},
                             int deadlineMs = kMailDeadlineMs);

// The command over the rows of the file list (in list order) and the folder they are in.
void cmdSendEmail_Click(platform::Prompt& prompt, const std::string& folder, const std::vector<MailItem>& rows);

inline constexpr const char* kNotLocked =
    "Sorry selected file is not locked. Only locked files can be sent through this application";
inline constexpr const char* kSelectLocked = "you have to select atleast one locked file ";
inline constexpr const char* kNoMailProgram = "No mail program could be started.";
// Without a mail program: the locked file's place follows, then a "." and the offer of its folder.
inline constexpr const char* kNoMailProgramSetUp = "No mail program is set up; the locked file is at ";
inline constexpr const char* kOpenItsFolder = "Open its folder?";
// Shown when the helper is still running at the deadline; the number of seconds follows it.
inline constexpr const char* kMailNoAnswer = "The mail program has not answered within ";

} // namespace mail
