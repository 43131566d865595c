#pragma once
// Permissions the shredder widens for a moment (a read-only file it overwrites, a folder without
// write permission it removes entries from) are written down before they are widened, so that a run
// killed meanwhile does not leave them widened: the next run puts them back.
//
// Each engine that widens something keeps a journal of its own in the state folder
// ($XDG_STATE_HOME/tessaly/shred-modes), locked (flock) for as long as the engine lives. A journal
// that nobody holds belongs to a run that ended without putting everything back; RestoreLoosenedModes()
// replays it.

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace shredder {

class LoosenedModes final {
public:
    LoosenedModes() = default;
    // Removes the journal when everything widened was put back or is gone.
    ~LoosenedModes();
    LoosenedModes(const LoosenedModes&) = delete;
    LoosenedModes& operator=(const LoosenedModes&) = delete;

    // Widens the permissions of the entry open at `fd` (any descriptor, O_PATH included) by `add`,
    // after its identity, path and mode were written to the journal and flushed. `before` gets the
    // mode it had. False with errno set when the entry could not be recorded or widened, or already
    // had those permissions (then nothing was widened).
    bool widen(int fd, const std::string& host, mode_t add, mode_t& before);
    // Gives the entry at `fd` the mode `before` back, and notes it in the journal.
    void restore(int fd, mode_t before);
    // Notes that the widened entry at `fd` is gone (removed): nothing to put back.
    void gone(int fd);

private:
    bool openJournal();
    void note(char kind, int fd, mode_t before, mode_t after, const std::string& host);
    int m_fd = -1;
    std::string m_path;
    std::size_t m_open = 0; // widened entries not yet put back or gone
};

// Puts back the permissions that ended runs left widened: for each entry of a journal no live engine
// holds, the entry still at its path with the same identity and still with the widened mode gets its
// mode back. The journals replayed are removed. Returns how many entries got their mode back.
std::size_t RestoreLoosenedModes();

} // namespace shredder
