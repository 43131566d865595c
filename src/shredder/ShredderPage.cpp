#include "shredder/ShredderPage.h"

#include "core/LockChecks.h"
#include "platform/AsyncTask.h"
#include "platform/Environment.h"
#include "platform/Prompt.h"
#include "settings/BrowseForFolder.h"
#include "settings/SettingsTable.h"
#include "settings/modFileFunctions.h"
#include "shredder/ClsDrag.h"
#include "shredder/LoosenedModes.h"

#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>

namespace shredder {

namespace {

QString q(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}
std::string b(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* button(const char* name, const char* caption) {
    return named(new QPushButton(QString::fromLatin1(caption)), name);
}

QGroupBox* frame(const char* name, const char* caption) {
    return named(new QGroupBox(QString::fromLatin1(caption)), name);
}

constexpr int kProgressSteps = 10000;

} // namespace

// What the worker and the window share during one run: the engine (its byte count is read for the
// progress bar) and the total to write, known once the worker has measured the items.
struct ShredderPage::RunState {
    explicit RunState(int level) : engine(level) {}
    ShredEngine engine;
    std::atomic<std::uint64_t> total{0};
};

ShredderPage::ShredderPage(platform::Prompt& prompt, std::function<std::string()> registerPath, QWidget* parent)
    : QWidget(parent), m_prompt(prompt), m_registerPath(std::move(registerPath)) {
    setObjectName(QStringLiteral("ShredderPage"));
    buildControls();
    m_drag = new ClsDrag(this);
    connect(m_drag, &ClsDrag::GetFileName, this, [this](const std::string& path) { AddToShredList(path); });
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this, &ShredderPage::pollProgress);

    openFiles = [this] {
        std::vector<std::string> paths;
        const QStringList chosen = QFileDialog::getOpenFileNames(this, QStringLiteral("Select files to shred"),
                                                                 QString(), QStringLiteral("All Files (*)"));
        for (const QString& host : chosen) {
            try {
                const std::string path = platform::toWindows(b(host));
                if (!path.empty())
                    paths.push_back(path);
            } catch (const std::exception&) {
                // A chosen file outside every drive is not offered for shredding.
            }
        }
        return paths;
    };
    openFolder = [this] { return BrowseForFolder(this, "Select a folder to shred with everything in it"); };
    browseFolder = [this] { return BrowseForFolder(this, "Select a Folder you would like to shred..."); };

    // Permissions a shred killed earlier left widened get their modes back.
    RestoreLoosenedModes();
    restoreSchedule();
    restoreLevel();
    Check();
}

ShredderPage::~ShredderPage() {
    // The worker must not outlive the window it reports to.
    m_job.waitForFinished();
}

void ShredderPage::buildControls() {
    auto* layout = new QGridLayout(this);

    auto* Frame5 = frame("Frame5", "File List");
    m_lstFiles = named(new QListWidget, "lstFiles");
    m_lstFiles->setAccessibleName(QStringLiteral("File List"));
    m_lstFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lstFiles->viewport()->installEventFilter(this);
    m_lstFiles->installEventFilter(this); // the Delete key
    m_mnuRemoveFromList = named(new QAction(QStringLiteral("Remove from List"), m_lstFiles), "mnuRemoveFromList");
    m_mnuRemoveFromList->setToolTip(QStringLiteral("Remove the selected items from the list; the files stay on disk"));
    m_lstFiles->addAction(m_mnuRemoveFromList);
    m_lstFiles->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_cmdFileBrowse = button("cmdFileBrowse", "Browse...");
    // Files or a whole folder: one dialog cannot offer both, so Browse asks which first.
    auto* browseMenu = named(new QMenu(m_cmdFileBrowse), "mnuBrowse");
    m_mnuBrowseFiles = named(browseMenu->addAction(QStringLiteral("&Files...")), "mnuBrowseFiles");
    m_mnuBrowseFolder = named(browseMenu->addAction(QStringLiteral("A F&older...")), "mnuBrowseFolder");
    m_cmdFileBrowse->setMenu(browseMenu);
    m_cmdShredClear = button("cmdShredClear", "Clear");
    auto* listLayout = new QGridLayout(Frame5);
    listLayout->addWidget(m_lstFiles, 0, 0, 1, 3);
    listLayout->addWidget(m_cmdFileBrowse, 1, 1);
    listLayout->addWidget(m_cmdShredClear, 1, 2);
    listLayout->setColumnStretch(0, 1);

    auto* Frame9 = frame("Frame9", "Selected FileName");
    m_txtFileName = named(new QLineEdit, "txtFileName");
    m_txtFileName->setReadOnly(true);
    auto* lblFileName = named(new QLabel(QStringLiteral("File name:")), "lblFileName");
    lblFileName->setBuddy(m_txtFileName);
    auto* nameLayout = new QHBoxLayout(Frame9);
    nameLayout->addWidget(lblFileName);
    nameLayout->addWidget(m_txtFileName, 1);

    auto* Frame4 = frame("Frame4", "Status");
    m_pb1 = named(new QProgressBar, "pb1");
    m_pb1->setRange(0, kProgressSteps);
    m_pb1->setVisible(false);
    m_lStat = named(new QLabel, "lStat");
    m_lFC = named(new QLabel, "lFC");
    auto* statusLayout = new QVBoxLayout(Frame4);
    statusLayout->addWidget(m_lStat);
    statusLayout->addWidget(m_lFC);
    statusLayout->addWidget(m_pb1);

    auto* Frame11 = frame("Frame11", "Controls");
    m_cmdShredDelete = button("cmdShredDelete", "Shred");
    m_cmdShredCancel = button("cmdShredCancel", "Cancel");
    m_cmdShredCancel->setVisible(false);
    auto* inf = named(new QLabel(QStringLiteral("Security level")), "inf");
    m_cmbOver = named(new QComboBox, "cmbOver");
    for (const auto& level : LevelNames())
        m_cmbOver->addItem(q(level));
    m_cmbOver->setCurrentIndex(0);
    inf->setBuddy(m_cmbOver);
    auto* controlsLayout = new QGridLayout(Frame11);
    controlsLayout->addWidget(inf, 0, 0);
    controlsLayout->addWidget(m_cmbOver, 0, 1);
    controlsLayout->addWidget(m_cmdShredDelete, 1, 0, 1, 2);
    controlsLayout->addWidget(m_cmdShredCancel, 2, 0, 1, 2);

    auto* fraShredFolder = frame("fraShredFolder", "Shred");
    buildSchedule(fraShredFolder);

    layout->addWidget(Frame5, 0, 0, 4, 1);
    layout->addWidget(Frame9, 4, 0);
    layout->addWidget(Frame4, 0, 1);
    layout->addWidget(Frame11, 1, 1);
    layout->addWidget(fraShredFolder, 2, 1);
    layout->setRowStretch(3, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);

    connect(m_mnuBrowseFiles, &QAction::triggered, this, &ShredderPage::cmdFileBrowse_Click);
    connect(m_mnuBrowseFolder, &QAction::triggered, this, &ShredderPage::cmdFolderBrowse_Click);
    connect(m_cmdShredClear, &QPushButton::clicked, this, &ShredderPage::cmdShredClear_Click);
    connect(m_cmdShredDelete, &QPushButton::clicked, this, &ShredderPage::cmdShredDelete_Click);
    connect(m_cmdShredCancel, &QPushButton::clicked, this, &ShredderPage::cmdShredCancel_Click);
    connect(m_mnuRemoveFromList, &QAction::triggered, this, &ShredderPage::RemoveSelectedFromList);
    connect(m_lstFiles, &QListWidget::itemSelectionChanged, this, &ShredderPage::updateEnabled);
    connect(m_lstFiles, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(m_pending.size()))
            m_txtFileName->setText(q(m_pending[static_cast<std::size_t>(row)]));
    });
    connect(m_lstFiles, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = m_lstFiles->row(item);
        if (row >= 0 && row < static_cast<int>(m_pending.size()))
            m_txtFileName->setText(q(m_pending[static_cast<std::size_t>(row)]));
    });
}

void ShredderPage::buildSchedule(QGroupBox* fraShredFolder) {
    auto* lblAboutShredTimer =
        named(new QLabel(QStringLiteral("Select a folder which you would like to shred files frequently.")),
              "lblAboutShredTimer");
    lblAboutShredTimer->setWordWrap(true);
    m_txtShredFolder = named(new QLineEdit, "txtShredFolder");
    lblAboutShredTimer->setBuddy(m_txtShredFolder);
    m_cmdShredBrowse = button("cmdShredBrowse", "Browse...");
    m_cmdShredBlank = button("cmdShredBlank", "Clear");
    // The period reads as words around the numbers: "Every [8] h [30] min".
    auto* lblEvery = named(new QLabel(QStringLiteral("Every")), "lblEvery");
    m_cmbHour = named(new QSpinBox, "cmbHour");
    m_cmbHour->setRange(0, kScheduleMaxHours);
    m_cmbHour->setAccessibleName(QStringLiteral("Hour"));
    lblEvery->setBuddy(m_cmbHour);
    auto* lblHour = named(new QLabel(QStringLiteral("h")), "lblHour");
    lblHour->setBuddy(m_cmbHour);
    m_cmbMinute = named(new QSpinBox, "cmbMinute");
    // Steps of 5, the shortest period; other minutes can be typed.
    m_cmbMinute->setRange(0, 59);
    m_cmbMinute->setSingleStep(kScheduleMinimumMinutes);
    m_cmbMinute->setAccessibleName(QStringLiteral("Minutes"));
    auto* lblMinute = named(new QLabel(QStringLiteral("min")), "lblMinute");
    lblMinute->setBuddy(m_cmbMinute);
    m_cmdSet = button("cmdSet", "Set");
    // What Set put in place, in words, with the next run.
    m_lblScheduleStatus = named(new QLabel, "lblScheduleStatus");
    m_lblScheduleStatus->setWordWrap(true);

    auto* period = new QHBoxLayout;
    period->addWidget(lblEvery);
    period->addWidget(m_cmbHour);
    period->addWidget(lblHour);
    period->addWidget(m_cmbMinute);
    period->addWidget(lblMinute);
    period->addStretch();
    period->addWidget(m_cmdSet);
    auto* grid = new QGridLayout(fraShredFolder);
    grid->addWidget(lblAboutShredTimer, 0, 0, 1, 4);
    grid->addWidget(m_txtShredFolder, 1, 0, 1, 2);
    grid->addWidget(m_cmdShredBrowse, 1, 2);
    grid->addWidget(m_cmdShredBlank, 1, 3);
    grid->addLayout(period, 2, 0, 1, 4);
    grid->addWidget(m_lblScheduleStatus, 3, 0, 1, 4);

    // The schedule keeps its own timer; each minute the hour and minute boxes get "0" for an empty text.
    m_schedule = new ShredSchedule(m_prompt, this);
    m_schedule->busy = [this] { return m_running || m_externalBusy; };
    m_schedule->startSweep = [this](const std::string& folder, const platform::FileId& expected) {
        m_sweepExpected = expected;
        startRun(RunKind::Schedule, {folder});
    };
    connect(m_schedule, &ShredSchedule::changed, this, &ShredderPage::showSchedule);

    connect(m_cmdShredBrowse, &QPushButton::clicked, this, &ShredderPage::cmdShredBrowse_Click);
    connect(m_cmdShredBlank, &QPushButton::clicked, this, &ShredderPage::cmdShredBlank_Click);
    connect(m_cmdSet, &QPushButton::clicked, this, &ShredderPage::cmdSet_Click);
}

void ShredderPage::restoreSchedule() {
    m_schedule->restore();
    const StoredSchedule& stored = m_schedule->stored();
    m_txtShredFolder->setText(q(stored.folder));
    // A stored number the boxes cannot show (not a whole number, or beyond their range) leaves them at 0.
    for (auto [box, text] : {std::pair{m_cmbHour, stored.hour}, std::pair{m_cmbMinute, stored.minute}}) {
        bool ok = false;
        const int value = q(text).trimmed().toInt(&ok);
        if (ok && value >= box->minimum() && value <= box->maximum())
            box->setValue(value);
    }
    showSchedule();
}

void ShredderPage::showSchedule() {
    const StoredSchedule& stored = m_schedule->stored();
    const auto period =
        SchedulePeriod(stored.hour.empty() ? "0" : stored.hour, stored.minute.empty() ? "0" : stored.minute);
    if (stored.folder.empty() || !period || *period == 0) {
        m_lblScheduleStatus->setText(QStringLiteral("No folder is emptied on a schedule."));
        return;
    }
    // A shorter period kept from an older version runs at the minimum, and is shown so.
    const int every = std::max(*period, kScheduleMinimumMinutes);
    const auto next = m_schedule->nextRun();
    m_lblScheduleStatus->setText(q("The folder '" + stored.folder + "' will be emptied every " + PeriodText(every) +
                                   (next ? ". Next run: " + ScheduleTimeText(*next) : std::string()) + "."));
}

void ShredderPage::restoreLevel() {
    const std::int32_t level = settings::ShredLevel.get();
    if (level >= 0 && level < m_cmbOver->count())
        m_cmbOver->setCurrentIndex(level);
    // From now on every choice is remembered for the next start.
    connect(m_cmbOver, &QComboBox::currentIndexChanged, this, [](int index) {
        if (index >= 0)
            settings::ShredLevel.set(index);
    });
}

// ---- The pending list ----------------------------------------------------------------------------

void ShredderPage::refillList() {
    m_lstFiles->clear();
    for (const auto& path : m_pending)
        m_lstFiles->addItem(q(path));
}

void ShredderPage::AddToShredList(const std::string& path) {
    if (path.empty())
        return;
    // During a run a dropped item joins the list after the items being shredded, and stays for the next run.
    if (RefuseIfProtected(path, m_prompt))
        return;
    m_lFC->setText(q(CountText(m_pending.size() + 1)));
    m_pending.push_back(path);
    refillList();
    Check();
}

void ShredderPage::Check() {
    m_lStat->setText(m_pending.empty() ? QString() : QString::fromLatin1(kReady));
    updateEnabled();
}

void ShredderPage::updateEnabled() {
    const bool busy = m_running || m_externalBusy;
    m_cmdShredDelete->setEnabled(!m_pending.empty() && !busy);
    m_cmdFileBrowse->setEnabled(!m_running);
    m_cmdShredClear->setEnabled(!m_running);
    m_cmdSet->setEnabled(!m_running);
    m_mnuRemoveFromList->setEnabled(!m_running && !m_lstFiles->selectedItems().isEmpty());
}

void ShredderPage::setExternalBusy(bool busy) {
    m_externalBusy = busy;
    updateEnabled();
}

void ShredderPage::cmdFileBrowse_Click() {
    if (m_running || !openFiles)
        return;
    addBrowsed(openFiles());
}

void ShredderPage::cmdFolderBrowse_Click() {
    if (m_running || !openFolder)
        return;
    const std::string folder = openFolder();
    addBrowsed(folder.empty() ? std::vector<std::string>{} : std::vector<std::string>{folder});
}

void ShredderPage::addBrowsed(const std::vector<std::string>& chosen) {
    if (chosen.empty())
        return; // cancelled: the list and its count stay as they were
    for (const auto& path : chosen) {
        if (RefuseIfProtected(path, m_prompt))
            continue;
        m_pending.push_back(path);
    }
    refillList();
    m_lFC->setText(q(CountText(m_pending.size())));
    Check();
}

void ShredderPage::RemoveSelectedFromList() {
    // A run takes the list's first items; the list stays as it is until the run ends.
    if (m_running)
        return;
    std::vector<int> rows;
    for (const QListWidgetItem* item : m_lstFiles->selectedItems())
        rows.push_back(m_lstFiles->row(item));
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end());
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (*it >= 0 && *it < static_cast<int>(m_pending.size()))
            m_pending.erase(m_pending.begin() + *it);
    }
    refillList();
    m_txtFileName->clear();
    m_lFC->setText(m_pending.empty() ? QString() : q(CountText(m_pending.size())));
    // The item that took the first removed one's place is selected, so Delete can go on.
    if (!m_pending.empty())
        m_lstFiles->setCurrentRow(std::min(rows.front(), static_cast<int>(m_pending.size()) - 1));
    Check();
}

void ShredderPage::cmdShredClear_Click() {
    if (m_running)
        return;
    m_lstFiles->clear();
    m_pending.clear();
    m_pb1->setValue(0);
    m_pb1->setVisible(false);
    m_txtFileName->clear();
    m_lStat->clear();
    m_lFC->clear();
    Check();
}

void ShredderPage::cmdShredDelete_Click() {
    if (m_running || m_externalBusy)
        return;
    if (m_pending.empty()) {
        m_prompt.show(kEmptyListMessage, platform::Buttons::OK, platform::Icon::Critical);
        m_pb1->setVisible(false);
        return;
    }
    // What the disk may keep is said before the question, and again with the result.
    m_diskWarning = DiskWarning(m_pending);
    const std::string question =
        (m_diskWarning.empty() ? std::string() : m_diskWarning + "\r\n\r\n") + ConfirmText(m_pending.size());
    if (m_prompt.show(question, platform::Buttons::YesNoDefaultNo, platform::Icon::Question) != platform::Answer::Yes)
        return;
    m_runItems = m_pending.size();
    startRun(RunKind::List, m_pending);
}

void ShredderPage::cmdShredCancel_Click() {
    if (m_state)
        m_state->engine.cancel();
    m_cmdShredCancel->setEnabled(false);
}

void ShredderPage::ShredFolderCommand(const std::string& folder) {
    if (folder.empty() || m_running || m_externalBusy)
        return;
    if (RefuseIfProtected(folder, m_prompt))
        return;
    // A locked folder is named as the user knows it, not by its scrambled name.
    const std::string shown = core::ShownPath(m_registerPath ? m_registerPath() : std::string(), folder);
    m_diskWarning = DiskWarning({folder});
    if (m_prompt.show((m_diskWarning.empty() ? std::string() : m_diskWarning + "\r\n\r\n") +
                          "Are you sure you want to shred '" + shown + "' folder ?",
                      platform::Buttons::YesNoDefaultNo, platform::Icon::Question,
                      "Lock Confirmation") != platform::Answer::Yes)
        return;
    startRun(RunKind::TreeFolder, {folder});
}

// ---- The run ------------------------------------------------------------------------------------

void ShredderPage::startRun(RunKind kind, std::vector<std::string> items) {
    // Every item is checked again: the drive table or a link may have changed since it was added.
    std::vector<std::pair<std::string, std::string>> work;
    for (const auto& item : items) {
        if (RefuseIfProtected(item, m_prompt))
            continue;
        work.emplace_back(item, HostOf(item));
    }
    if (work.empty())
        return;
    m_runKind = kind;
    m_running = true;
    m_state = std::make_shared<RunState>(m_cmbOver->currentIndex());
    m_prompt.setBusy(true);
    m_pb1->setValue(0);
    m_pb1->setVisible(true);
    m_cmdShredCancel->setVisible(true);
    m_cmdShredCancel->setEnabled(true);
    updateEnabled();
    emit busyChanged(true);
    m_progressTimer->start();

    const bool keepFolder = kind == RunKind::Schedule;
    // The schedule empties only the very folder that was Set.
    std::optional<platform::FileId> expected;
    if (keepFolder)
        expected = m_sweepExpected;
    const auto sweep = [state = m_state, work = std::move(work), keepFolder, expected]() {
        RestoreLoosenedModes();
        RunResult result;
        // Every item is opened and checked before the first is touched; from then on the run works
        // through what was opened. An item that is gone (removed meanwhile) is skipped, and an item
        // met twice (the same path, or another name of it) is shredded once.
        struct Pinned {
            std::string path;
            std::string host;
            ShredEngine::Pin item;
        };
        std::vector<Pinned> pinned;
        std::set<platform::FileId> seen;
        for (const auto& [path, host] : work) {
            struct stat st {};
            if (host.empty() || (::lstat(host.c_str(), &st) != 0 && errno == ENOENT))
                continue;
            ShredEngine::Pin item = state->engine.pin(host, keepFolder);
            if (!item || !seen.insert(ShredEngine::idOf(item)).second)
                continue;
            if (expected && ShredEngine::idOf(item) != *expected) {
                result.notTheFolderSet = true;
                continue;
            }
            state->total += state->engine.bytesToWrite(item);
            pinned.push_back(Pinned{path, host, std::move(item)});
        }
        for (auto& [path, host, item] : pinned) {
            if (state->engine.cancelled()) {
                result.notReached.push_back(path);
                continue;
            }
            if (ShredEngine::gone(item))
                continue;
            // A sweep of the scheduled folder counts what it removed: the entries before and after.
            const std::size_t before = keepFolder ? entriesBelow(host) : 0;
            const bool done = state->engine.shred(item);
            if (keepFolder) {
                const std::size_t after = entriesBelow(host);
                result.removed += before > after ? before - after : 0;
            }
            if (done)
                result.shredded.push_back(path);
            else if (state->engine.cancelled())
                result.unfinished.push_back(path); // stopped inside it: what is left of it stays
            item.reset(); // its folder is closed once no other item needs it
        }
        result.failures = state->engine.failures();
        result.cancelled = state->engine.cancelled();
        return result;
    };
    m_job = platform::runAsync(this, sweep, [this, items](platform::AsyncOutcome<RunResult>& outcome) {
        RunResult result;
        try {
            result = outcome.take();
        } catch (const std::exception& e) {
            // The run stopped before it could say what it did: its items stay on the list, and the
            // user hears why.
            result.notReached = items;
            m_prompt.show(std::string("Shredding stopped: ") + e.what(), platform::Buttons::OK,
                          platform::Icon::Critical);
        }
        runFinished(result);
    });
}

std::size_t ShredderPage::entriesBelow(const std::string& hostFolder) {
    std::error_code ec;
    std::size_t count = 0;
    for (std::filesystem::recursive_directory_iterator it(hostFolder, ec), end; !ec && it != end; it.increment(ec))
        ++count;
    return count;
}

void ShredderPage::pollProgress() {
    if (!m_state)
        return;
    const std::uint64_t total = m_state->total.load();
    const std::uint64_t done = m_state->engine.written();
    m_pb1->setValue(total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(done, total) * kProgressSteps / total));
    // The status names what is being shredded now.
    const std::string current = m_state->engine.current();
    if (!current.empty()) {
        std::string shown;
        try {
            shown = platform::toWindows(current);
        } catch (const std::exception&) {
            // The status line shows the host path instead.
        }
        m_lStat->setText(q("Shredding " + (shown.empty() ? current : shown)));
    }
}

void ShredderPage::runFinished(const RunResult& result) {
    m_progressTimer->stop();
    m_state.reset();
    const std::string registerPath = m_registerPath ? m_registerPath() : std::string();
    for (const auto& path : result.shredded)
        ForgetShredded(registerPath, path, m_prompt, m_runKind == RunKind::Schedule);
    if (m_runKind == RunKind::Schedule)
        m_schedule->sweepEnded(result.failures, result.notTheFolderSet);
    if (m_runKind == RunKind::List) {
        // The run's items leave the list, but for those a cancel left whole; items dropped meanwhile stay.
        m_pending.erase(m_pending.begin(),
                        m_pending.begin() + static_cast<std::ptrdiff_t>(std::min(m_runItems, m_pending.size())));
        m_pending.insert(m_pending.begin(), result.notReached.begin(), result.notReached.end());
        m_pending.insert(m_pending.begin(), result.unfinished.begin(), result.unfinished.end());
        refillList();
        m_lFC->setText(m_pending.empty() ? QString() : q(CountText(m_pending.size())));
        m_txtFileName->clear();
    }
    m_pb1->setValue(0);
    m_pb1->setVisible(false);
    m_cmdShredCancel->setVisible(false);
    m_running = false;
    m_prompt.setBusy(false);
    Check();
    emit busyChanged(false);
    if (m_runKind == RunKind::Schedule)
        emit scheduledShredFinished(m_schedule->stored().folder, result.removed, result.failures.size());
    if (result.notTheFolderSet)
        m_schedule->tellRefused();
    const std::string failures = FailureMessage(result.failures);
    // The result repeats what the disk may keep of what was shredded (the schedule's runs keep quiet).
    const std::string warning =
        m_runKind == RunKind::Schedule || result.shredded.empty() ? std::string() : m_diskWarning;
    m_diskWarning.clear();
    if (!failures.empty()) {
        const std::string intro = m_runKind == RunKind::Schedule
                                      ? "The scheduled shred of '" + m_schedule->stored().folder + "' did not finish.\r\n\r\n"
                                      : std::string();
        m_prompt.show(intro + failures + (warning.empty() ? std::string() : "\r\n\r\n" + warning),
                      platform::Buttons::OK, platform::Icon::Critical);
    } else if (!warning.empty()) {
        m_prompt.show(std::to_string(result.shredded.size()) +
                          (result.shredded.size() == 1 ? " item was" : " items were") + " shredded. " + warning,
                      platform::Buttons::OK, platform::Icon::Information);
    }
    if (result.cancelled) {
        std::string text = "Shredding was cancelled; " + std::to_string(result.notReached.size()) +
                           (result.notReached.size() == 1 ? " item was" : " items were") + " left as they were.";
        for (const auto& path : result.unfinished)
            text += "\r\n'" + path + "' was shredded only in part; what is left of it is still on the list.";
        m_prompt.show(text, platform::Buttons::OK, platform::Icon::Information);
    }
    // What the status bar counts: the items of a list or the tree's folder, or what a sweep removed
    // from the scheduled folder (which itself stays).
    emit shredFinished(result.shredded, m_runKind == RunKind::Schedule ? result.removed : result.shredded.size());
}

// ---- The schedule -------------------------------------------------------------------------------

void ShredderPage::cmdShredBrowse_Click() {
    if (!browseFolder)
        return;
    const std::string folder = browseFolder();
    if (!folder.empty())
        m_txtShredFolder->setText(q(folder));
}

void ShredderPage::cmdShredBlank_Click() {
    m_txtShredFolder->clear();
}

void ShredderPage::cmdSet_Click() {
    const std::string typed = b(m_txtShredFolder->text());
    // A host path is taken in its drive form, which is how the folder is stored and shown.
    const std::string folder = ScheduledFolderText(typed);
    if (!typed.empty() && folder.empty()) {
        m_prompt.show("'" + typed + "' is not on any of the program's drives.", platform::Buttons::OK,
                      platform::Icon::Critical);
        return;
    }
    // A link named as the folder stands for its target, which is what the schedule empties.
    const std::string target = folder.empty() ? std::string() : ScheduledFolderTarget(folder);
    if (!folder.empty() && (IsRefused(folder) || (!target.empty() && IsRefused(target)))) {
        m_prompt.show(RefusalMessage(folder), platform::Buttons::OK, platform::Icon::Critical);
        return;
    }
    if (!folder.empty() && target.empty()) {
        // The schedule never creates its folder: one that is not there would never be emptied.
        struct stat st {};
        const std::string host = HostOf(folder);
        const bool there = !host.empty() && ::stat(host.c_str(), &st) == 0;
        m_prompt.show(there ? "'" + folder + "' is not a folder. Choose a folder to empty."
                            : "The folder '" + folder + "' does not exist. Choose a folder that exists.",
                      platform::Buttons::OK, platform::Icon::Critical);
        return;
    }
    const std::string hour = std::to_string(m_cmbHour->value());
    const std::string minute = std::to_string(m_cmbMinute->value());
    const auto period = SchedulePeriod(hour, minute);
    if (*period > 0 && *period < kScheduleMinimumMinutes) {
        const std::string minimum = PeriodText(kScheduleMinimumMinutes);
        m_prompt.show("The shortest period is " + minimum + ". Choose " + minimum +
                          " or more, or 0 h 0 min for no schedule.",
                      platform::Buttons::OK, platform::Icon::Critical);
        return;
    }
    // A recurring wipe is set only when the user has read what it does and when it first runs.
    if (!folder.empty() && *period > 0) {
        const std::int64_t first = NextScheduledRun(*period, m_schedule->clock());
        if (m_prompt.show(ScheduleQuestion(folder, PeriodText(*period), ScheduleTimeText(first)),
                          platform::Buttons::YesNoDefaultNo, platform::Icon::Question) != platform::Answer::Yes)
            return;
    }
    m_txtShredFolder->setText(q(folder));
    m_schedule->set(folder, hour, minute, target);
}

std::string ShredderPage::ScheduleQuestion(const std::string& folder, const std::string& period,
                                           const std::string& firstRun) {
    return "Shred everything in '" + folder + "' every " + period + "?\r\n\r\nWhile Tessaly runs, every file and " +
           "subfolder in that folder is shredded each time the period ends, the first time at " + firstRun +
           ". What is shredded can't be recovered.";
}

void ShredderPage::timShredFolder_Timer() {
    m_schedule->tick();
}

// ---- Drops and the hint -------------------------------------------------------------------------

void ShredderPage::startServingDrops() {
    m_drag->Start_SubClass(m_lstFiles);
}

void ShredderPage::stopServingDrops() {
    m_drag->Stop_SubClass();
}

bool ShredderPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_lstFiles && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        RemoveSelectedFromList();
        return true;
    }
    if (watched == m_lstFiles->viewport() && event->type() == QEvent::MouseButtonRelease && m_lstFiles->count() == 0)
        m_prompt.show(kDropHint, platform::Buttons::OK, platform::Icon::Information);
    return QWidget::eventFilter(watched, event);
}

} // namespace shredder
