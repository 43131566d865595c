#pragma once
// Shared pieces of the shell's window tests: one QApplication for the test program, a sandbox per
// test, a scripted prompt, and a way to act on a modal window once it is up.

#include "core/LoginGate.h"
#include "support/Sandbox.h"
#include "support/ScriptedPrompt.h"

#include "platform/Environment.h"
#include "platform/Registry.h"
#include "shell/BrowserPane.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>

namespace shell_test {

inline QApplication& app() {
    static int argc = 1;
    static char name[] = "test_shell";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Tessaly"));
        return a;
    }();
    return *instance;
}

// The main window's file list as the user sees it: row `row` of lvwFiles in the order shown, read
// and ticked through its model, as the view does.
inline QAbstractItemModel& files(const frmMain& w) {
    return *w.lvwFiles()->model();
}
inline int fileCount(const frmMain& w) {
    return files(w).rowCount();
}
inline QModelIndex fileIndex(const frmMain& w, int row, int column = 0) {
    return files(w).index(row, column);
}
inline QString fileText(const frmMain& w, int row, int column = 0) {
    return fileIndex(w, row, column).data().toString();
}
inline std::string fileKey(const frmMain& w, int row) {
    return fileIndex(w, row).data(shell::BrowserPane::KeyRole).toByteArray().toStdString();
}
inline Qt::CheckState fileCheck(const frmMain& w, int row) {
    return static_cast<Qt::CheckState>(fileIndex(w, row).data(Qt::CheckStateRole).toInt());
}
inline void setFileCheck(const frmMain& w, int row, Qt::CheckState state) {
    files(w).setData(fileIndex(w, row), state, Qt::CheckStateRole);
}
// Where row `row` is drawn on lvwFiles' viewport, all its columns.
inline QRect fileRowRect(const frmMain& w, int row) {
    QRect rect;
    for (int column = 0; column < files(w).columnCount(); ++column)
        rect |= w.lvwFiles()->visualRect(fileIndex(w, row, column));
    return rect;
}
// The row of the file named `key` on disk, -1 when the list has none.
inline int fileRow(const frmMain& w, const std::string& key) {
    for (int i = 0; i < fileCount(w); ++i)
        if (fileKey(w, i) == key)
            return i;
    return -1;
}

// Runs `act` on the active modal window as soon as it is shown (from inside its exec()).
inline void whenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

inline void type(QWidget* window, const char* box, const QString& text) {
    auto* edit = window->findChild<QLineEdit*>(QString::fromLatin1(box));
    ASSERT_NE(edit, nullptr) << box;
    edit->clear();
    QTest::keyClicks(edit, text);
}

inline void click(QWidget* window, const char* button) {
    auto* b = window->findChild<QPushButton*>(QString::fromLatin1(button));
    ASSERT_NE(b, nullptr) << button;
    QTest::mouseClick(b, Qt::LeftButton);
}

// From now on the registry database refuses every change of a value, as a full disk or a
// read-only file would: its triggers abort each insert and update.
inline void refuseRegistryWrites() {
    platform::registry(); // the database and its tables exist first
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(platform::registryFileHost().c_str(), &db), SQLITE_OK);
    const char* sql = "CREATE TRIGGER refuse_insert BEFORE INSERT ON vals BEGIN SELECT RAISE(ABORT, 'disk full'); END;"
                      "CREATE TRIGGER refuse_update BEFORE UPDATE ON vals BEGIN SELECT RAISE(ABORT, 'disk full'); END;";
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

class ShellTest : public testing_support::SandboxTest {
protected:
    // The wait after wrong passwords runs on a clock the test moves (gateNow), never in real time.
    ShellTest() : m_realGateClock(core::SetGateClock({[this] { return gateNow; }, [this](std::int64_t s) { gateNow += s; }})) {
        app();
    }
    ~ShellTest() override { core::SetGateClock(m_realGateClock); }

    std::int64_t gateNow = 1'000'000;
    // Moves the clock past the wait that wrong passwords earned.
    void passTheWait() { gateNow += core::SecondsBeforeNextTry(); }

    // The main window, loaded and shown as at start-up, its boxes answered by `answers`.
    std::unique_ptr<frmMain> shownWindow(platform::Prompt& answers) {
        auto w = std::make_unique<frmMain>(answers);
        w->Form_Load();
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }
    std::unique_ptr<frmMain> shownWindow() { return shownWindow(prompt); }

    testing_support::ScriptedPrompt prompt;

private:
    core::GateClock m_realGateClock;
};

} // namespace shell_test
