#pragma once
// Helpers of the shredder tests: a record of what each shredded file held when its name went, and the
// bytes the first pass leaves.

#include "shredder/ShredEngine.h"

#include <QApplication>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "support/Sandbox.h"

namespace shredder_test {

// One QApplication for the whole test program (the page needs widgets, the CLI runs need events).
inline void ensureApp() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_shredder";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// Records, for every file the engines of this process remove while it lives, the content the file
// held just before its name went (read through the folder the engine holds open).
class RemovedContent final {
public:
    RemovedContent() {
        shredder::SetShredTestHooks({nullptr, [this](int dirFd, const std::string& name, const std::string& host) {
                                         std::string content;
                                         const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_CLOEXEC);
                                         if (fd >= 0) {
                                             char buffer[65536];
                                             ssize_t n = 0;
                                             while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
                                                 content.append(buffer, static_cast<std::size_t>(n));
                                             ::close(fd);
                                         }
                                         const std::lock_guard<std::mutex> hold(m_mutex);
                                         m_seen[host] = content;
                                     }});
    }
    ~RemovedContent() { shredder::SetShredTestHooks({}); }
    RemovedContent(const RemovedContent&) = delete;
    RemovedContent& operator=(const RemovedContent&) = delete;

    // What the file shredded as `host` held; "<not removed>" when no engine removed it.
    std::string of(const std::string& host) const {
        const std::lock_guard<std::mutex> hold(m_mutex);
        const auto it = m_seen.find(host);
        return it == m_seen.end() ? std::string("<not removed>") : it->second;
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_seen;
};

// What the first pass at level 0 writes over a file of `size` bytes: the start runs, then zeros.
inline std::string firstPass(std::size_t size) {
    std::string expected = shredder::StartPattern(0);
    if (size > expected.size())
        expected.resize(size, '\0');
    return expected;
}

} // namespace shredder_test
