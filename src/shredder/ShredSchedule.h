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
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CAppLog;
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

// A moment of the schedule as the user reads it: local time, "yyyy-MM-dd HH:mm".
std::string ScheduleTimeText(std::int64_t secondsSinceEpoch);

class ShredSchedule final : public QObject {
    Q_OBJECT
public:
    explicit ShredSchedule(platform::Prompt& prompt, QObject* parent = nullptr);
    ~ShredSchedule() override;

    // The application log the schedule writes its lines to (the window's). Without one it keeps a log
    // of its own, opened at its first line and kept open, so that its lines follow each other instead
    // of each emptying the file again.
    void setLog(CAppLog* log) { m_sharedLog = log; }

    // Reads the stored schedule and starts the timer. A schedule stored without its start time
    // counts from now.
    void restore();
    const StoredSchedule& stored() const { return m_stored; }
    // When the stored schedule next empties its folder (seconds since the epoch); nothing when no
    // folder or no period is set.
    std::optional<std::int64_t> nextRun() const;
    // Stores a new schedule (folder in Windows form, empty for none; `target` the folder it leads to)
    // counting from now, and writes it to the log with its next run.
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

signals:
    // The schedule or its next run changed (Set, or a due minute came).
    void changed();

private:
    void saveSince(std::int64_t since);
    void writeLog(const std::string& entry);

    platform::Prompt& m_prompt;
    StoredSchedule m_stored;
    QTimer* m_timer = nullptr;
    CAppLog* m_sharedLog = nullptr;
    std::unique_ptr<CAppLog> m_ownLog;
};

} // namespace shredder
