// Stores COUNT favourites (not timed), opens the main window's "Favorites Manager" tab and reloads the
// list ROUNDS times by a click on Reload, as a user does; prints the store's host path on the first
// line, then how long each round took from the click until the list held every favourite and was
// painted, in microseconds, one line a round.
//   bench_favourites_load COUNT ROUNDS
// Runs in the sandbox its caller set up (drive table, XDG folders); needs a screen (Xvfb).

#include "BenchWindow.h"
#include "favourites/FavouritesStore.h"
#include "platform/Environment.h"
#include "shell/frmMain.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFrame>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_favourites_load COUNT ROUNDS\n");
        return 2;
    }
    const int count = std::atoi(argv[1]);
    const int rounds = std::atoi(argv[2]);

    CountingPrompt prompt("bench_favourites_load");
    frmMain window(prompt);
    window.Form_Load();

    // Distinct favourites, as a browser's bookmarks would be.
    std::vector<favourites::Favourite> many;
    many.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        many.push_back({"Page " + n + " of the reading list", "https://example.org/reading/" + n + "/index.html"});
    }
    const favourites::AddResult added = favourites::AddFavourites(many);
    if (!added.written || !added.refused.empty()) {
        std::fprintf(stderr, "bench_favourites_load: the favourites could not be stored\n");
        return 1;
    }
    std::printf("store %s\n", platform::toHost(favourites::FavFilePath()).c_str());
    std::fflush(stdout);

    if (!showForBenchmark(window))
        return 1;
    window.tabMain()->setCurrentWidget(window.fraMain(2)); // the first fill
    auto* list = window.fraMain(2)->findChild<QAbstractItemView*>(QStringLiteral("lvFav"));
    auto* reload = window.fraMain(2)->findChild<QPushButton*>(QStringLiteral("cmdReload"));
    if (!list || !reload) {
        std::fprintf(stderr, "bench_favourites_load: the page has no list or no Reload\n");
        return 1;
    }
    // Wakes the loops below now and then, so that their deadline is seen even when nothing else happens.
    QTimer tick;
    tick.start(100);
    const auto filled = [&] {
        const QDeadlineTimer deadline(600000);
        while (list->model()->rowCount() != count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        return list->model()->rowCount() == count;
    };
    if (!filled()) {
        std::fprintf(stderr, "bench_favourites_load: the list shows %d of %d favourites\n", list->model()->rowCount(),
                     count);
        return 1;
    }

    for (int round = 0; round < rounds; ++round) {
        QCoreApplication::processEvents();
        const auto start = std::chrono::steady_clock::now();
        QTest::mouseClick(reload, Qt::LeftButton);
        const bool ok = filled();
        window.repaint(); // painted and handed to the screen
        const auto end = std::chrono::steady_clock::now();
        if (!ok || prompt.boxes != 0) {
            std::fprintf(stderr, "bench_favourites_load: the list shows %d of %d favourites\n",
                         list->model()->rowCount(), count);
            return 1;
        }
        std::printf("%lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(end - start).count()));
        std::fflush(stdout);
    }
    return 0;
}
