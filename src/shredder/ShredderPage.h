#pragma once
// The "File Shredder" tab: the pending list with its controls, the shred run (on a worker thread,
// with a progress bar that follows the bytes written), the folder tree's shred command, and the
// "Shred" frame that shows and edits the scheduled folder shred (kept by ShredSchedule).

#include "shredder/ShredCommands.h"
#include "shredder/ShredSchedule.h"

#include <QFuture>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ClsDrag;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

namespace platform {
class Prompt;
}

namespace shredder {

class ShredderPage final : public QWidget {
    Q_OBJECT
public:
    // registerPath: the register file, asked for when a run ends (the main window knows it once loaded).
    ShredderPage(platform::Prompt& prompt, std::function<std::string()> registerPath, QWidget* parent = nullptr);
    ~ShredderPage() override;

    // The pending list.
    void AddToShredList(const std::string& path);
    void Check();
    const std::vector<std::string>& pendingList() const { return m_pending; }

    // Handlers of the tab's controls.
    // Browse's two choices: files (the file dialog), or one folder (the folder picker).
    void cmdFileBrowse_Click();
    void cmdFolderBrowse_Click();
    void cmdShredDelete_Click();
    void cmdShredClear_Click();
    void cmdShredBrowse_Click();
    void cmdShredBlank_Click();
    void cmdSet_Click();
    // Removes the selected items from the pending list (not from the disk): the Delete key on the
    // list and its context menu's "Remove from List".
    void RemoveSelectedFromList();
    // One minute of the schedule, as its timer runs it (tests call it directly).
    void timShredFolder_Timer();
    // The question Set asks before a folder is emptied every `period` (as PeriodText says it).
    static std::string ScheduleQuestion(const std::string& folder, const std::string& period,
                                        const std::string& firstRun);
    // The scheduled folder shred the "Shred" frame shows and edits.
    ShredSchedule& schedule() { return *m_schedule; }
    // The application log the schedule writes to (the main window's, from its load on).
    void setLog(CAppLog* log) { m_schedule->setLog(log); }
    // The folder tree's "Shred Folder and Files" on the selected folder.
    void ShredFolderCommand(const std::string& folder);

    // Drops on the list: served from the main window's load to its unload.
    void startServingDrops();
    void stopServingDrops();

    // True while a shred runs; another command running elsewhere also keeps the page's commands off.
    bool isRunning() const { return m_running; }
    void setExternalBusy(bool busy);

    // Stops a run before its next file (the button "Cancel" while a run goes on).
    void cmdShredCancel_Click();

    // Seams for the file dialog (Windows-form paths), the folder picker of Browse's folder choice and
    // the schedule's folder picker. The schedule's clock is schedule().clock.
    std::function<std::vector<std::string>()> openFiles;
    std::function<std::string()> openFolder;
    std::function<std::string()> browseFolder;

signals:
    // A shred run started (true) or ended (false).
    void busyChanged(bool busy);
    // A shred run ended; `paths` are the items that were shredded, `count` the number of items the
    // run shredded (for a sweep of the scheduled folder: the files and folders it removed from it).
    void shredFinished(const std::vector<std::string>& paths, std::size_t count);
    // A run of the schedule ended: the folder as Set, how many files and folders it removed and how
    // many items it could not shred.
    void scheduledShredFinished(const std::string& folder, std::size_t removed, std::size_t failed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct RunResult {
        std::vector<std::string> shredded;   // Windows form
        std::vector<std::string> notReached; // left whole by a cancel
        std::vector<std::string> unfinished; // a cancel stopped inside: shredded in part
        std::vector<Failure> failures;
        bool cancelled = false;
        std::size_t removed = 0;      // files and folders a sweep of the scheduled folder removed
        bool notTheFolderSet = false; // the sweep found another folder where the one Set was
    };
    // The files and folders below a host folder (links not followed).
    static std::size_t entriesBelow(const std::string& hostFolder);
    enum class RunKind { List, TreeFolder, Schedule };

    void buildControls();
    void buildSchedule(QGroupBox* frame);
    void restoreSchedule();
    void restoreLevel();
    void showSchedule();
    void refillList();
    // Puts the paths Browse gave on the pending list (those the shredder refuses are told and left).
    void addBrowsed(const std::vector<std::string>& chosen);
    void resetAfterRun();
    void updateEnabled();
    void startRun(RunKind kind, std::vector<std::string> items);
    void runFinished(const RunResult& result);
    void pollProgress();

    platform::Prompt& m_prompt;
    std::function<std::string()> m_registerPath;
    std::vector<std::string> m_pending;
    ShredSchedule* m_schedule = nullptr;
    platform::FileId m_sweepExpected; // the identity the running sweep's folder must have
    bool m_running = false;
    bool m_externalBusy = false;
    RunKind m_runKind = RunKind::List;
    std::size_t m_runItems = 0; // the pending items a list run took
    std::string m_diskWarning;  // what the disk may keep, told before the question and with the result
    struct RunState;
    std::shared_ptr<RunState> m_state;
    QFuture<void> m_job; // the run in progress, waited for by the destructor
    QTimer* m_progressTimer = nullptr;
    ClsDrag* m_drag = nullptr;

    QListWidget* m_lstFiles = nullptr;
    QAction* m_mnuRemoveFromList = nullptr;
    QPushButton* m_cmdFileBrowse = nullptr;
    QAction* m_mnuBrowseFiles = nullptr;
    QAction* m_mnuBrowseFolder = nullptr;
    QPushButton* m_cmdShredClear = nullptr;
    QLineEdit* m_txtFileName = nullptr;
    QProgressBar* m_pb1 = nullptr;
    QLabel* m_lStat = nullptr;
    QLabel* m_lFC = nullptr;
    QPushButton* m_cmdShredDelete = nullptr;
    QPushButton* m_cmdShredCancel = nullptr;
    QComboBox* m_cmbOver = nullptr;
    QLineEdit* m_txtShredFolder = nullptr;
    QPushButton* m_cmdShredBrowse = nullptr;
    QPushButton* m_cmdShredBlank = nullptr;
    QSpinBox* m_cmbHour = nullptr;
    QSpinBox* m_cmbMinute = nullptr;
    QPushButton* m_cmdSet = nullptr;
    QLabel* m_lblScheduleStatus = nullptr;
};

} // namespace shredder
