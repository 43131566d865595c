#include "core/LoginGate.h"

#include "core/AppPassword.h"
#include "platform/Environment.h"
#include "platform/Registry.h"

#include <algorithm>
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

bool CheckAppPasswordAtGate(const std::string& typed) {
    if (const std::int64_t wait = SecondsBeforeNextTry(); wait > 0)
        sleepFor(wait);
    const bool right = CheckAppPassword(typed);
    right ? NoteRightPassword() : NoteWrongPassword();
    return right;
}

} // namespace core
