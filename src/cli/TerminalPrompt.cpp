#include "TerminalPrompt.h"

#include <cctype>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

platform::Answer TerminalPrompt::show(const std::string& text, platform::Buttons buttons, platform::Icon,
                                      const std::string&) {
    ++m_shown;
    std::string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue; // CR LF as one line end
        lines.push_back(text[i]);
    }
    std::fprintf(stderr, "%s\n", lines.c_str());
    switch (buttons) {
    case platform::Buttons::OK:
        return platform::Answer::OK;
    case platform::Buttons::YesNo:
    case platform::Buttons::YesNoDefaultNo:
        return platform::Answer::No;
    case platform::Buttons::AbortRetryIgnore:
        return platform::Answer::Abort;
    default:
        return platform::Answer::Cancel;
    }
}

namespace {
int g_ttyFd = -1;
termios g_saved{};

// Echo back on when the user interrupts the question.
void restoreEcho(int sig) {
    if (g_ttyFd >= 0)
        ::tcsetattr(g_ttyFd, TCSAFLUSH, &g_saved);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}
} // namespace

bool askPassword(const std::string& label, std::string& password) {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios quiet{};
    if (::tcgetattr(fd, &g_saved) != 0) {
        ::close(fd);
        return false;
    }
    g_ttyFd = fd;
    auto oldInt = std::signal(SIGINT, restoreEcho);
    auto oldTerm = std::signal(SIGTERM, restoreEcho);
    quiet = g_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
    [[maybe_unused]] auto w = ::write(fd, label.data(), label.size());

    password.clear();
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        password.push_back(c);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();

    ::tcsetattr(fd, TCSAFLUSH, &g_saved);
    w = ::write(fd, "\n", 1);
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    g_ttyFd = -1;
    ::close(fd);
    return true;
}

bool askYesNo(const std::string& question, bool& yes) {
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    [[maybe_unused]] auto w = ::write(fd, question.data(), question.size());
    std::string answer;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n')
        answer.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (!answer.empty() && answer.back() == '\r')
        answer.pop_back();
    ::close(fd);
    yes = answer == "y" || answer == "yes";
    return true;
}
