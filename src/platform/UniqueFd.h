#pragma once
// A file descriptor owned by one scope: closed when the scope ends, or when another takes its place.
// For code that works through descriptors (openat, unlinkat, ...) rather than paths.

#include <unistd.h>

#include <utility>

namespace platform {

class UniqueFd final {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    // Handed on (the open folders of a walk live in a stack): the one moved from holds nothing.
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            reset(std::exchange(other.m_fd, -1));
        return *this;
    }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes the descriptor held and holds `fd` instead.
    void reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

} // namespace platform
