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

// For a command line: waits out what remains of the wait, then checks the password and notes the
// result. True when it is the application password.
bool CheckAppPasswordAtGate(const std::string& typed);

} // namespace core
