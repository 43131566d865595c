// Opens the Security Vault over a register that lists many locked files, and prints how long each
// round took, in microseconds, from the click on Refresh (the first round: from the window's
// showing) until its list of files held every entry and was painted, and the longest time the
// window's thread handled no event meanwhile (a timer asks for a turn every 2 ms), one line a round:
// "TOTAL LONGEST-STALL".
//   bench_vault_open --make FOLDER COUNT   records COUNT locked files (empty ".TSL" files made in
//                                          FOLDER, a Windows-form folder) in the register
//   bench_vault_open EXPECTED-FILES ROUNDS
// Runs in the sandbox its caller set up (drive table, XDG folders); needs a screen (Xvfb).

#include "BenchWindow.h"
#include "core/Register.h"
#include "locking/frmSecurityVault.h"
#include "platform/FileIO.h"
#include "settings/Settings.h"
#include "settings/modGeneral.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

int makeEntries(const std::string& folder, int count) {
    std::vector<std::pair<std::string, std::string>> locks;
    for (int i = 0; i < count; ++i) {
        const std::string name = "letter_" + std::to_string(100000 + i) + ".txt";
        const std::string locked = folder + "\\" + TransformName(name) + ".TSL";
        platform::writeFileAtomic(locked, "");
        locks.emplace_back(folder + "\\" + name, locked);
    }
    core::EnsureRegister(core::RegisterPath());
    core::RecordLocks(core::RegisterPath(), core::RegisterKind::SmallFile, locks);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 4 && std::string(argv[1]) == "--make")
        return makeEntries(argv[2], std::atoi(argv[3]));
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_vault_open --make FOLDER COUNT | bench_vault_open EXPECTED-FILES ROUNDS\n");
        return 2;
    }
    const int expected = std::atoi(argv[1]);
    const int rounds = std::atoi(argv[2]);

    CountingPrompt prompt("bench_vault_open");
    locking::frmSecurityVault vault(prompt, core::RegisterPath());
    auto* files = vault.findChild<QTreeView*>(QStringLiteral("lvwFiles"));
    auto* refresh = vault.findChild<QPushButton*>(QStringLiteral("cmdRefresh"));
    if (!files || !refresh)
        return 1;

    using Clock = StallMeter::Clock;
    StallMeter stalls;
    const auto us = [](Clock::duration d) {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(d).count());
    };

    for (int round = 0; round < rounds; ++round) {
        const auto start = Clock::now();
        stalls.start();
        if (round == 0) {
            if (!showForBenchmark(vault))
                return 1;
        } else {
            QTest::mouseClick(refresh, Qt::LeftButton);
        }
        // The first show fills the lists once the window is up: wait for every entry.
        for (int spin = 0; files->model()->rowCount() != expected && spin < 100000; ++spin)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        vault.repaint(); // painted and handed to the screen
        QCoreApplication::processEvents();
        const auto end = Clock::now();
        const Clock::duration stall = stalls.longest();
        if (files->model()->rowCount() != expected || prompt.boxes != 0) {
            std::fprintf(stderr, "bench_vault_open: the vault lists %d files, not %d\n", files->model()->rowCount(),
                         expected);
            return 1;
        }
        std::printf("%lld %lld\n", us(end - start), us(stall));
        std::fflush(stdout);
    }
    return 0;
}
