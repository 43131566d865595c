#include "settings/BrowseForFolder.h"

#include "support/Sandbox.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using testing_support::SandboxTest;

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_settings";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

// Runs `act` on the folder picker once it is shown (polling the event loop the picker runs).
void whenPickerShows(std::function<void(QFileDialog*)> act) {
    auto* timer = new QTimer(&app());
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dialog);
        }
    });
    timer->start(10);
}

} // namespace

class BrowseForFolderTest : public SandboxTest {};

TEST_F(BrowseForFolderTest, CancelGivesEmptyText) {
    app();
    sandbox.makeFolder("C:\\Root\\Start");
    QString shownAt;
    whenPickerShows([&](QFileDialog* dialog) {
        shownAt = dialog->directory().absolutePath();
        dialog->reject();
    });
    EXPECT_EQ(BrowseForFolder(nullptr, "Choose a folder", "C:\\Root", "C:\\Root\\Start"), "");
    EXPECT_EQ(shownAt.toStdString(), sandbox.host("C:\\Root\\Start"));
}

TEST_F(BrowseForFolderTest, ChosenFolderComesBackInWindowsFormAndRootIsTheStartWithoutStartFolder) {
    app();
    sandbox.makeFolder("C:\\Root\\Pick Me");
    QString shownAt;
    whenPickerShows([&](QFileDialog* dialog) {
        shownAt = dialog->directory().absolutePath();
        dialog->setDirectory(QString::fromStdString(sandbox.host("C:\\Root\\Pick Me")));
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept, through the public slot
    });
    EXPECT_EQ(BrowseForFolder(nullptr, "Choose a folder", "C:\\Root"), "C:\\Root\\Pick Me");
    EXPECT_EQ(shownAt.toStdString(), sandbox.host("C:\\Root"));
}
