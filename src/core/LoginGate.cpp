#include "core/LoginGate.h"

#include "core/AppPassword.h"
#include "platform/Environment.h"
#include "platform/PrivateFiles.h"
#include "platform/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <mutex>
#include <thread>

namespace core {

namespace {

constexpr const char* kGateKey = "SOFTWARE\\Orvane\\Tessaly\\Gate_free";
constexpr const char* kFailures = "Failures";
constexpr const char* kLastFailure = "LastFailure";
constexpr std::int64_t kLongestWait = 30;

std::mutex g_clockMutex;
GateClock g_clock;

std::int64_t now() {
    std::lock_guard lock(g_clockMutex);
    if (g_clock.now)
        return g_clock.now();
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void sleepFor(std::int64_t seconds) {
    std::function<void(std::int64_t)> sleep;
    {
        std::lock_guard lock(g_clockMutex);
        sleep = g_clock.sleep;
    }
    if (sleep)
        sleep(seconds);
    else
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

std::string bytesOf(std::uint64_t n) {
    std::string out(8, '\0');
    for (int i = 0; i < 8; ++i)
        out[static_cast<std::size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
    return out;
}

std::uint64_t numberOf(const std::string& bytes) {
    std::uint64_t n = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        n = (n << 8) | static_cast<unsigned char>(bytes[i]);
    return n;
}

struct Record {
    std::uint32_t failures = 0;
    std::int64_t lastFailure = 0;
};

Record readRecord() {
    Record r;
    try {
        auto& reg = platform::registry();
        platform::RegValue v;
        if (reg.queryValue(platform::RegRoot::CurrentUser, kGateKey, kFailures, v) == platform::kRegSuccess)
            r.failures = static_cast<std::uint32_t>(numberOf(v.data));
        if (reg.queryValue(platform::RegRoot::CurrentUser, kGateKey, kLastFailure, v) == platform::kRegSuccess)
            r.lastFailure = static_cast<std::int64_t>(numberOf(v.data));
    } catch (const std::exception&) {
        // An unreadable record counts as no failures; the password check itself still applies.
    }
    return r;
}

// The lock that makes password tries one at a time across processes: a flock on a file of the
// state folder, released when the descriptor closes (also when the process dies).
class TryLock final {
public:
    explicit TryLock(bool block) {
        try {
            m_fd = platform::OpenPrivateFile(platform::logFolderHost() + "/password-tries.lock", O_RDWR);
        } catch (const std::exception&) {
            m_fd = -1;
        }
        if (m_fd < 0) {
            // No state folder to lock in: the try goes on alone; the count in the registry still
            // delays the next one.
            m_held = true;
            return;
        }
        int rc = 0;
        while ((rc = ::flock(m_fd, block ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
        // Another process's try holds it (only asked without blocking); any other failure to lock
        // lets the try go on alone, as above.
        m_held = rc == 0 || errno != EWOULDBLOCK;
    }
    ~TryLock() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TryLock(const TryLock&) = delete;
    TryLock& operator=(const TryLock&) = delete;
    bool held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

} // namespace

GateClock SetGateClock(GateClock clock) {
    std::lock_guard lock(g_clockMutex);
    std::swap(g_clock, clock);
    return clock;
}

std::int64_t DelayAfterFailures(std::uint32_t failures) {
    if (failures == 0)
        return 0;
    if (failures > 5)
        return kLongestWait;
    return std::min<std::int64_t>(kLongestWait, std::int64_t{1} << (failures - 1));
}

std::int64_t SecondsBeforeNextTry() {
    const Record r = readRecord();
    const std::int64_t delay = DelayAfterFailures(r.failures);
    if (delay == 0)
        return 0;
    const std::int64_t t = now();
    if (t < r.lastFailure) // the clock went back: the whole wait again
        return delay;
    return std::max<std::int64_t>(0, r.lastFailure + delay - t);
}

void NoteWrongPassword() {
    const Record r = readRecord();
    try {
        platform::registry().setValues(
            platform::RegRoot::CurrentUser,
            {{kGateKey, kFailures, {platform::REG_BINARY, bytesOf(r.failures + 1u)}},
             {kGateKey, kLastFailure, {platform::REG_BINARY, bytesOf(static_cast<std::uint64_t>(now()))}}});
    } catch (const std::exception&) {
        // The count of failed logins is a delay only; the password check itself still applies.
    }
}

void NoteRightPassword() {
    if (readRecord().failures == 0)
        return;
    try {
        platform::registry().apply(platform::RegRoot::CurrentUser, {},
                                   {{kGateKey, kFailures, std::nullopt}, {kGateKey, kLastFailure, std::nullopt}});
    } catch (const std::exception&) {
        // A count left behind only delays the next wrong password.
    }
}

PasswordTry TryAppPassword(const std::string& typed, bool waitOut) {
    const TryLock lock(waitOut);
    if (!lock.held())
        return {TryResult::TooEarly, std::max<std::int64_t>(1, SecondsBeforeNextTry())};
    if (const std::int64_t wait = SecondsBeforeNextTry(); wait > 0) {
        if (!waitOut)
            return {TryResult::TooEarly, wait};
        sleepFor(wait);
    }
    const bool right = CheckAppPassword(typed);
    right ? NoteRightPassword() : NoteWrongPassword();
    return {right ? TryResult::Right : TryResult::Wrong, 0};
}

bool CheckAppPasswordAtGate(const std::string& typed) {
    return TryAppPassword(typed, true).result == TryResult::Right;
}

} // namespace core
