#pragma once
// Keeps the process's memory (passwords, keys, unlocked content) out of core dumps and away from
// other processes of the user that would read it: no core file (RLIMIT_CORE 0) and not dumpable
// (PR_SET_DUMPABLE 0, which also refuses ptrace attachment by the user's other processes).

namespace platform {

// True when both took effect.
bool DisableCoreDumps();

} // namespace platform
