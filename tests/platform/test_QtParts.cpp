#include "platform/Dialogs.h"
#include "platform/QtPrompt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <functional>

#include "support/Sandbox.h"

using namespace platform;

namespace {

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_platform";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = [] {
        // The file dialog keeps its state in QSettings, whose folder is fixed at first use and written
        // at exit: point it where nothing can be written, so no test leaves files behind.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/proc/tessaly-none"));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("/proc/tessaly-none"));
        return new QApplication(argc, argv);
    }();
    return *instance;
}

// Runs `act` on the modal widget of type T once it shows (the dialog's own event loop runs it).
template <typename T> void whenShown(std::function<void(T*)> act) {
    auto* timer = new QTimer(&app());
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(w);
            if (w->isVisible()) {
                ADD_FAILURE() << "the dialog stayed open";
                w->reject();
            }
        }
    });
    timer->start();
}

class QtPartsTest : public testing_support::SandboxTest {
protected:
    void SetUp() override { app(); }
};

} // namespace

TEST_F(QtPartsTest, PromptShowsTheBoxAsAsked) {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        box->button(QMessageBox::No)->click();
    });
    QtPrompt prompt;
    EXPECT_EQ(prompt.show("Delete \xc3\xa9t\xc3\xa9?", Buttons::YesNo, Icon::Question, ""), Answer::No);
    EXPECT_EQ(title, QStringLiteral("Tessaly"));
    EXPECT_EQ(text, QString::fromUtf8("Delete \xc3\xa9t\xc3\xa9?"));
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No);

    whenShown<QMessageBox>([&](QMessageBox* box) {
        title = box->windowTitle();
        icon = box->icon();
        buttons = box->standardButtons();
        box->button(QMessageBox::Ignore)->click();
    });
    EXPECT_EQ(prompt.show("x", Buttons::AbortRetryIgnore, Icon::Critical, "Own Title"), Answer::Ignore);
    EXPECT_EQ(title, QStringLiteral("Own Title"));
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
}

// A long name without spaces wraps in the box (which stays narrow) and reads the same once the
// places to break are taken out; a short path is shown exactly as given.
TEST_F(QtPartsTest, ALongNameWithoutSpacesWrapsInTheBox) {
    const std::string name = "C:\\Docs\\" + std::string(120, 'a') + "\\" + std::string(180, 'b') + ".txt";
    const std::string message = "The file '" + name + "' could not be locked.";
    QString text;
    int width = 0;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        width = box->sizeHint().width();
        box->button(QMessageBox::Ok)->click();
    });
    QtPrompt prompt;
    prompt.show(message, Buttons::OK, Icon::Information, "");
    EXPECT_LT(width, 900);
    EXPECT_EQ(QString(text).remove(QChar(0x200B)), QString::fromStdString(message));

    whenShown<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    prompt.show("Are you sure you want to unlock 'C:\\Docs\\Old' folder ?", Buttons::OK, Icon::Question, "");
    EXPECT_EQ(text, QStringLiteral("Are you sure you want to unlock 'C:\\Docs\\Old' folder ?"));
}

TEST_F(QtPartsTest, PromptPumpsEventsAndShowsTheBusyCursor) {
    QtPrompt prompt;
    bool ran = false;
    QTimer::singleShot(0, &app(), [&ran] { ran = true; });
    for (int i = 0; i < 100 && !ran; ++i)
        prompt.processEvents();
    EXPECT_TRUE(ran);
    prompt.setBusy(true);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    prompt.setBusy(false);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(QtPartsTest, FolderPickerAnswersInWindowsForm) {
    sandbox.makeFolder("C:\\start\\chosen");
    QString startedAt;
    whenShown<QFileDialog>([&](QFileDialog* d) {
        startedAt = d->directory().absolutePath();
        d->setDirectory(QString::fromLocal8Bit(sandbox.host("C:\\start\\chosen")));
        static_cast<QDialog*>(d)->accept(); // QFileDialog::accept, reached through QDialog
    });
    EXPECT_EQ(pickFolder(nullptr, "Pick", "C:\\start"), "C:\\start\\chosen");
    EXPECT_EQ(startedAt, QString::fromLocal8Bit(sandbox.host("C:\\start")));

    whenShown<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(pickFolder(nullptr, "Pick", "C:\\start"), "");

    // A folder outside every drive gives "".
    whenShown<QFileDialog>([](QFileDialog* d) {
        d->setDirectory(QStringLiteral("/proc"));
        static_cast<QDialog*>(d)->accept(); // QFileDialog::accept, reached through QDialog
    });
    EXPECT_EQ(pickFolder(nullptr, "Pick", "C:\\start"), "");
}

TEST_F(QtPartsTest, FileDialogAnswersInWindowsForm) {
    sandbox.writeFile("C:\\docs\\a.txt", "a");
    whenShown<QFileDialog>([&](QFileDialog* d) {
        // Typed into the name box, as a user would (selectFile depends on the model's loading).
        auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromLocal8Bit(sandbox.host("C:\\docs\\a.txt")));
        static_cast<QDialog*>(d)->accept(); // QFileDialog::accept, reached through QDialog
    });
    EXPECT_EQ(pickOpenFile(nullptr, "Open", "C:\\docs", "Text files (*.txt)"), "C:\\docs\\a.txt");
    whenShown<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(pickOpenFile(nullptr, "Open", "C:\\docs", ""), "");
}
