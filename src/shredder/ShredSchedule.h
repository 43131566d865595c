#pragma once
// The scheduled folder shred: the schedule as Set (stored in the settings), its one-minute timer,
// and the decision each minute whether the folder is due to be emptied. When it is, the folder that
// was Set is checked again and handed to `startSweep`, which runs the shred; what the run did comes
// back through sweepEnded(). Windows show and edit the schedule; this class keeps it.

#include "platform/ProtectedPaths.h"
#include "shredder/ShredEngine.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QTimer;

namespace platform {
class Prompt;
}

namespace shredder {

// The identity of the folder a schedule was Set on (the target when a link was named), and whether
// the name Set was a link. Stored as "dev ino link".
struct FolderIdentity {
    platform::FileId id;
    bool link = false;
    bool known = false;
    static FolderIdentity parse(const std::string& text);
    std::string text() const;
    // `folder` as typed (Windows form), `target` the folder it leads to (ScheduledFolderTarget()).
    static FolderIdentity of(const std::string& folder, const std::string& target);
};

// The schedule as Set: it runs on these, not on what a window shows while it is being edited.
struct StoredSchedule {
    std::string folder;
    std::string hour;
    std::string minute;
    std::int64_t since = 0; // when it was Set or last run, seconds since the epoch
    FolderIdentity id;
};

class ShredSchedule final : public QObject {
    Q_OBJECT
public:
    explicit ShredSchedule(platform::Prompt& prompt, QObject* parent = nullptr);

    // Reads the stored schedule and starts the timer. A schedule stored without its start time
    // counts from now.
    void restore();
    const StoredSchedule& stored() const { return m_stored; }
    // Stores a new schedule (folder in Windows form, empty for none; `target` the folder it leads to)
    // counting from now.
    void set(const std::string& folder, const std::string& hour, const std::string& minute, const std::string& target);
    // One minute of the schedule: the timer calls it. Runs a due sweep unless `busy()` says another
    // command runs (it is then tried again at the next minute).
    void tick();
    // What a sweep's run did: it is written to the log (a refusal is told of by tellRefused()).
    void sweepEnded(const std::vector<Failure>& failures, bool notTheFolderSet);
    // The sweep found another folder where the one Set was: logged and shown.
    void tellRefused();
    QTimer* timer() const { return m_timer; }

    // Seams: the clock (seconds since the epoch), whether a command runs, and the run of a sweep
    // on a host-independent folder path (Windows form) that must be the folder of identity `expected`.
    std::function<std::int64_t()> clock;
    std::function<bool()> busy;
    std::function<void(const std::string& folder, const platform::FileId& expected)> startSweep;

private:
    void saveSince(std::int64_t since);
    void writeLog(const std::string& entry);

    platform::Prompt& m_prompt;
    StoredSchedule m_stored;
    QTimer* m_timer = nullptr;
};

} // namespace shredder
