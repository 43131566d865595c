// Opens a folder of photos in the main window's image viewer, as a user does (the "Image Viewer" tab,
// then a click on Browse, whose folder dialog answers at once with the folder), and prints how long
// each round took from the click until every thumbnail was in the sheet and the sheet had been painted
// after the last one came, in microseconds, one line a round: the elapsed time, the processor time of
// the whole process (all its threads) and that of the window's thread alone. The folder is given in Windows form
// (C:\photos) and must hold EXPECTED images that all decode.
//   bench_viewer_open FOLDER EXPECTED-IMAGES ROUNDS [--paced]
// With --paced it reads a line from standard input before each round, so that its caller can time
// a peer between two rounds, under the same load.
// Runs in the sandbox its caller set up (drive table, XDG folders); needs a screen (Xvfb).

#include "BenchWindow.h"
#include "shell/frmMain.h"
#include "viewer/ImageViewerPage.h"
#include "viewer/ThumbSheet.h"
#include "viewer/ThumbnailModel.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFrame>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <time.h>

namespace {

using Clock = std::chrono::steady_clock;

// Notes when the sheet's viewport was last painted.
class PaintWatch final : public QObject {
public:
    using QObject::QObject;
    Clock::time_point lastPaint{};
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const bool handled = QObject::eventFilter(watched, event);
            lastPaint = Clock::now();
            return handled;
        }
        return QObject::eventFilter(watched, event);
    }
};

long long cpuMicros(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool paced = argc == 5 && std::string(argv[4]) == "--paced";
    if (argc != 4 && !paced) {
        std::fprintf(stderr, "usage: bench_viewer_open FOLDER EXPECTED-IMAGES ROUNDS [--paced]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int expected = std::atoi(argv[2]);
    const int rounds = std::atoi(argv[3]);

    CountingPrompt prompt("bench_viewer_open");
    frmMain window(prompt);
    window.Form_Load();
    if (!showForBenchmark(window))
        return 1;

    auto* page = window.fraMain(1)->findChild<viewer::ImageViewerPage*>();
    if (!page) {
        std::fprintf(stderr, "bench_viewer_open: the window has no image viewer\n");
        return 1;
    }
    window.tabMain()->setCurrentWidget(window.fraMain(1));
    QCoreApplication::processEvents();
    page->setFolderPicker([&folder](QWidget*) { return folder; });
    QWidget* browse = page->tbrMain()->findChild<QWidget*>(QStringLiteral("tbrMainBrowse"));
    if (!browse) {
        std::fprintf(stderr, "bench_viewer_open: the viewer has no Browse button\n");
        return 1;
    }
    viewer::ThumbnailModel* model = page->model();
    PaintWatch watch;
    page->sheet()->viewport()->installEventFilter(&watch);
    // Wakes the loop below now and then, so that its deadline is seen even when nothing else happens.
    QTimer tick;
    tick.start(100);

    for (int round = 0; round < rounds; ++round) {
        if (paced) {
            char line[64];
            if (!std::fgets(line, sizeof line, stdin))
                return 0; // the caller wants no more rounds
        }
        QCoreApplication::processEvents();
        Clock::time_point complete{}; // when the last thumbnail came in
        const long long processStart = cpuMicros(CLOCK_PROCESS_CPUTIME_ID);
        const long long windowStart = cpuMicros(CLOCK_THREAD_CPUTIME_ID);
        const auto start = Clock::now();
        QTest::mouseClick(browse, Qt::LeftButton);
        const QDeadlineTimer deadline(120000);
        while (!deadline.hasExpired()) {
            if (complete == Clock::time_point{} && !page->isBuilding() && model->rowCount() == expected) {
                complete = Clock::now();
                // A paint already asked for takes this in; otherwise this asks for the one that shows
                // the finished sheet.
                page->sheet()->viewport()->update();
            }
            if (complete != Clock::time_point{} && watch.lastPaint > complete)
                break;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        const auto end = watch.lastPaint;
        const long long processCpu = cpuMicros(CLOCK_PROCESS_CPUTIME_ID) - processStart;
        const long long windowCpu = cpuMicros(CLOCK_THREAD_CPUTIME_ID) - windowStart;
        if (complete == Clock::time_point{} || end <= complete || prompt.boxes != 0) {
            std::fprintf(stderr, "bench_viewer_open: the viewer shows %d of %d thumbnails%s\n", model->rowCount(),
                         expected, page->isBuilding() ? " and is still building" : "");
            return 1;
        }
        std::printf("%lld %lld %lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(end - start).count()),
                    processCpu, windowCpu);
        std::fflush(stdout);
    }
    return 0;
}
