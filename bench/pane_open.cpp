// Opens one folder in the main window's browser pane by a click on its tree node, as a user does,
// and prints how long each round took from the click until the file list and "Total Files: N" were
// painted, in microseconds, and the longest time the window's thread handled no event meanwhile (a
// timer that asks for a turn every 2 ms tells), one line a round: "TOTAL LONGEST-STALL". The folder
// must lie directly under drive C:'s root.
//   bench_pane_open FOLDER-NAME EXPECTED-FILES ROUNDS
// Runs in the sandbox its caller set up (drive table, XDG folders); needs a screen (Xvfb).

#include "BenchWindow.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_pane_open FOLDER-NAME EXPECTED-FILES ROUNDS\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString expected = QStringLiteral("Total Files: %1").arg(QString::fromLatin1(argv[2]));
    const int rounds = std::atoi(argv[3]);

    CountingPrompt prompt("bench_pane_open");
    frmMain window(prompt);
    window.Form_Load();
    if (!showForBenchmark(window))
        return 1;

    QTreeWidgetItem* node = nullptr;
    QTreeWidgetItem* root = window.tvw1()->topLevelItem(0);
    for (int i = 0; root && i < root->childCount(); ++i)
        if (root->child(i)->text(0) == folder)
            node = root->child(i);
    if (!node) {
        std::fprintf(stderr, "bench_pane_open: no folder %s under C:\\\n", argv[1]);
        return 1;
    }
    auto* status = window.findChild<QLabel*>(QStringLiteral("sbrMainSimpleText"));
    QWidget* tree = window.tvw1()->viewport();
    using Clock = StallMeter::Clock;
    StallMeter stalls;

    for (int round = 0; round < rounds; ++round) {
        // Start from the drive's root, so that every round fills the list anew.
        window.browser().setCurrentFolder("C:\\");
        QCoreApplication::processEvents();
        // The node is found where it is now drawn: the tree may have moved since the last round.
        window.tvw1()->scrollToItem(node);
        QCoreApplication::processEvents();
        const QPoint at = window.tvw1()->visualItemRect(node).center();
        if (window.tvw1()->itemAt(at) != node) {
            std::fprintf(stderr, "bench_pane_open: the folder's node is not where it is drawn\n");
            return 1;
        }
        const auto start = Clock::now();
        stalls.start();
        QTest::mouseClick(tree, Qt::LeftButton, {}, at);
        QCoreApplication::processEvents();
        window.repaint(); // painted and handed to the screen
        QCoreApplication::processEvents();
        const auto end = Clock::now();
        const Clock::duration stall = stalls.longest();
        if (status->text() != expected || prompt.boxes != 0) {
            std::fprintf(stderr, "bench_pane_open: the pane shows \"%s\", not \"%s\"\n",
                         status->text().toLocal8Bit().constData(), expected.toLocal8Bit().constData());
            return 1;
        }
        const auto us = [](Clock::duration d) {
            return static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(d).count());
        };
        std::printf("%lld %lld\n", us(end - start), us(stall));
        std::fflush(stdout);
    }
    return 0;
}
