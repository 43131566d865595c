#include "shredder/ShredSchedule.h"

#include "diagnostics/CAppLog.h"
#include "platform/Environment.h"
#include "platform/Prompt.h"
#include "settings/SettingsTable.h"
#include "settings/modFileFunctions.h"
#include "shredder/ShredCommands.h"

#include <QDateTime>
#include <QString>
#include <QTimer>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <exception>

namespace shredder {

FolderIdentity FolderIdentity::parse(const std::string& text) {
    FolderIdentity id;
    unsigned long long dev = 0;
    unsigned long long ino = 0;
    int link = 0;
    if (std::sscanf(text.c_str(), "%llu %llu %d", &dev, &ino, &link) == 3) {
        id.id = platform::FileId{dev, ino};
        id.link = link != 0;
        id.known = true;
    }
    return id;
}

std::string FolderIdentity::text() const {
    if (!known)
        return std::string();
    return std::to_string(id.dev) + " " + std::to_string(id.ino) + " " + (link ? "1" : "0");
}

FolderIdentity FolderIdentity::of(const std::string& folder, const std::string& target) {
    FolderIdentity id;
    struct stat st {};
    struct stat entry {};
    const std::string host = HostOf(target);
    if (host.empty() || ::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return id;
    id.id = platform::FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    id.known = true;
    std::string named;
    try {
        named = platform::toHost(RemoveBackslash(folder));
    } catch (const std::exception&) {
        // A name no drive maps is no link of ours: the identity of its target stands alone.
    }
    id.link = !named.empty() && ::lstat(named.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode);
    return id;
}

std::string ScheduleTimeText(std::int64_t secondsSinceEpoch) {
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
        .toLocal8Bit()
        .toStdString();
}

ShredSchedule::ShredSchedule(platform::Prompt& prompt, QObject* parent) : QObject(parent), m_prompt(prompt) {
    clock = [] { return static_cast<std::int64_t>(QDateTime::currentSecsSinceEpoch()); };
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("timShredFolder"));
    m_timer->setInterval(60000);
    connect(m_timer, &QTimer::timeout, this, &ShredSchedule::tick);
}

ShredSchedule::~ShredSchedule() = default;

void ShredSchedule::restore() {
    m_stored =
        StoredSchedule{settings::ShredFolder.get(), settings::ShredFolderHour.get(), settings::ShredFolderMinute.get(),
                       0, FolderIdentity::parse(settings::ShredFolderId.get())};
    bool ok = false;
    m_stored.since = QString::fromStdString(settings::ShredFolderSince.get()).toLongLong(&ok);
    if (!ok && !m_stored.folder.empty()) {
        // A schedule Set before its start time was kept counts from now.
        m_stored.since = clock();
        saveSince(m_stored.since);
    }
    m_timer->start();
}

void ShredSchedule::set(const std::string& folder, const std::string& hour, const std::string& minute,
                        const std::string& target) {
    // The folder is remembered by identity as well: a sweep empties this very folder or nothing.
    const FolderIdentity id = target.empty() ? FolderIdentity{} : FolderIdentity::of(folder, target);
    settings::ShredFolder.set(folder);
    settings::ShredFolderHour.set(hour);
    settings::ShredFolderMinute.set(minute);
    settings::ShredFolderId.set(id.text());
    // The period counts from now.
    m_stored = StoredSchedule{folder, hour, minute, clock(), id};
    saveSince(m_stored.since);
    const auto next = nextRun();
    const auto period = SchedulePeriod(hour.empty() ? "0" : hour, minute.empty() ? "0" : minute);
    writeLog(next && period ? "Scheduled shred of '" + folder + "' set: every " +
                                  PeriodText(std::max(*period, kScheduleMinimumMinutes)) + "; next run at " +
                                  ScheduleTimeText(*next)
                            : std::string("Scheduled shred switched off"));
    emit changed();
}

std::optional<std::int64_t> ShredSchedule::nextRun() const {
    const auto period =
        SchedulePeriod(m_stored.hour.empty() ? "0" : m_stored.hour, m_stored.minute.empty() ? "0" : m_stored.minute);
    if (m_stored.folder.empty() || !period || *period == 0)
        return std::nullopt;
    return NextScheduledRun(*period, m_stored.since);
}

void ShredSchedule::saveSince(std::int64_t since) {
    settings::ShredFolderSince.set(std::to_string(since));
}

void ShredSchedule::tick() {
    const auto period =
        SchedulePeriod(m_stored.hour.empty() ? "0" : m_stored.hour, m_stored.minute.empty() ? "0" : m_stored.minute);
    const std::int64_t now = clock();
    if (!period || m_stored.folder.empty() || !ScheduleDue(*period, m_stored.since, now))
        return;
    if (busy && busy())
        return; // due still: tried again at the next tick
    m_stored.since = now;
    saveSince(now);
    emit changed();
    // A missing folder is not created; a link named as the folder stands for its target.
    const std::string target = ScheduledFolderTarget(m_stored.folder);
    if (target.empty() || !CreateFolderPath(target, false))
        return;
    // Only the folder that was Set is emptied: a link put where a folder was, or a schedule whose
    // folder was never known, runs nothing. The run checks the identity of what it opens.
    const FolderIdentity there = FolderIdentity::of(m_stored.folder, target);
    if (!m_stored.id.known || (there.link && !m_stored.id.link)) {
        tellRefused();
        return;
    }
    if (startSweep)
        startSweep(RemoveBackslash(target), m_stored.id.id);
}

void ShredSchedule::sweepEnded(const std::vector<Failure>& failures, bool notTheFolderSet) {
    if (notTheFolderSet)
        return; // told of on its own
    std::string line =
        "Scheduled shred of '" + m_stored.folder +
        "': " + (failures.empty() ? std::string("done") : std::to_string(failures.size()) + " items not shredded");
    for (const auto& f : failures)
        line += "; " + f.hostPath + ": " + f.reason;
    if (const auto next = nextRun())
        line += "; next run at " + ScheduleTimeText(*next);
    writeLog(line);
}

void ShredSchedule::tellRefused() {
    const std::string text = "The scheduled shred of '" + m_stored.folder +
                             "' did nothing: the folder there is no longer the one that was Set (it was moved or "
                             "replaced, or a link now stands in its place). Press Set to shred the folder that is "
                             "there now.";
    writeLog(text);
    m_prompt.show(text, platform::Buttons::OK, platform::Icon::Critical);
}

void ShredSchedule::writeLog(const std::string& entry) {
    // Each line of the schedule's runs says when it was written (local time).
    const std::string when = QDateTime::fromSecsSinceEpoch(clock())
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                 .toLocal8Bit()
                                 .toStdString();
    try {
        CAppLog* log = m_sharedLog;
        if (!log) {
            if (!m_ownLog)
                m_ownLog = std::make_unique<CAppLog>(m_prompt);
            log = m_ownLog.get();
        }
        log->WriteLogEntry(when + " " + entry);
    } catch (const std::exception&) {
        // WriteLogEntry shows its own failures; the run's result is shown to the user apart from its log.
    }
}

} // namespace shredder
