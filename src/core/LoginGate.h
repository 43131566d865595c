#pragma once
// The wait after a wrong application password: 1 s after the first, then 2, 4, 8 ... up to 30 s
// between tries, counted from the last wrong one and kept in the registry, so a restart does not
// reset it. A right password clears it. The clock and the wait are a seam: tests move the time
// themselves instead of waiting.

#include <cstdint>
#include <functional>
#include <string>

namespace core {

struct GateClock {
    std::function<std::int64_t()> now;                // seconds since the epoch
    std::function<void(std::int64_t seconds)> sleep;  // waits that long
};
// Replaces the clock (an empty member keeps the real one). Returns the clock it replaced.
GateClock SetGateClock(GateClock clock);

// Seconds to wait before the application password may be tried again (0: now).
std::int64_t SecondsBeforeNextTry();
// The wait a run of `failures` wrong passwords earns.
std::int64_t DelayAfterFailures(std::uint32_t failures);
void NoteWrongPassword();
void NoteRightPassword();

// One try of the application password. Tries are made one at a time among all the user's processes
// (the window and any number of tessaly-cli): an exclusive lock on a file of the program's state folder
// ("password-tries.lock", 0600) is held around the wait, the check and the count of failures, so each
// try sees the count the one before it left.
enum class TryResult {
    Right,
    Wrong,
    TooEarly, // not checked: the wait after wrong passwords is not over
};
struct PasswordTry {
    TryResult result = TryResult::TooEarly;
    std::int64_t wait = 0; // TooEarly: the seconds still to wait
};
// With `waitOut` (a command line) the rest of the wait is waited out, holding the lock, before the
// check. Without it (a window, which must not block) a try during the wait is not checked, nor one
// while another process's try holds the lock (it waits at least a second then).
PasswordTry TryAppPassword(const std::string& typed, bool waitOut);

// For a command line: TryAppPassword waiting out the wait. True when it is the application password.
bool CheckAppPasswordAtGate(const std::string& typed);

} // namespace core
