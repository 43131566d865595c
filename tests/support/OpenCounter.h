#pragma once
// Counts how often a file is opened, by any process, through inotify on its folder: the kernel
// queues an event at every open of a name in the folder, whichever file the name stands for at the
// time (a file replaced by a rename is still counted under its name). The events are queued before
// open() returns, so reading them after the work is done needs no wait. Closes are watched too:
// the kernel merges an event into the one before it when both are the same and unread, and an open
// followed by its close never is.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

namespace testing_support {

class OpenCounter final {
public:
    // `hostPath`: the file to watch, as a host path.
    explicit OpenCounter(const std::string& hostPath) {
        const auto slash = hostPath.rfind('/');
        m_name = hostPath.substr(slash + 1);
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_GE(m_fd, 0) << std::strerror(errno);
        if (m_fd >= 0) {
            const int watch = ::inotify_add_watch(m_fd, hostPath.substr(0, slash).c_str(), IN_OPEN | IN_CLOSE);
            EXPECT_GE(watch, 0) << std::strerror(errno);
        }
    }
    ~OpenCounter() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    // The opens of the file since the counter was made (or last reset).
    int opens() {
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                EXPECT_EQ(event->mask & IN_Q_OVERFLOW, 0u) << "inotify queue overflow";
                if ((event->mask & IN_OPEN) && event->len > 0 && m_name == event->name)
                    ++m_opens;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return m_opens;
    }
    void reset() {
        opens();
        m_opens = 0;
    }

private:
    int m_fd = -1;
    std::string m_name;
    int m_opens = 0;
};

} // namespace testing_support
