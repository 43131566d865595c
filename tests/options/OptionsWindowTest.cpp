#include "options/frmOptions.h"

#include "OptionsTestSupport.h"
#include "options/StartAtLogin.h"
#include "options/modIEToolBar.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using options_test::OptionsTest;

namespace {

constexpr const char* kEnable = "Start Tessaly when I log in";
constexpr const char* kDisable = "Don't start Tessaly when I log in";

class OptionsWindowTest : public OptionsTest {
protected:
    void TearDown() override {
        delete window.data();
        OptionsTest::TearDown();
    }

    frmOptions* open(options::OptionsHost host = {}) {
        if (host.app.hostExecutable.empty())
            host.app = app;
        window = new frmOptions(prompt, std::move(host), &mainWindow);
        window->show();
        return window;
    }
    template <typename T> T* child(const char* name) const {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString startCaption() const { return child<QPushButton>("cmdEnableStart")->text(); }
    // The names the desktop's other programs and earlier installations know, spelled out.
    std::string runValue() const {
        return GetString(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Tessaly");
    }
    std::string ieadd() const { return GetString(HKEY_CURRENT_USER, "SOFTWARE\\Orvane\\Tessaly_free", "ieadd"); }
    std::string entry() const {
        const std::string path = options::AutostartEntryPath();
        return std::filesystem::exists(path) ? testing_support::readHostFile(path) : std::string("<none>");
    }
    void writeEntry(const std::string& text) const {
        std::filesystem::create_directories(std::filesystem::path(options::AutostartEntryPath()).parent_path());
        std::ofstream(options::AutostartEntryPath()) << text;
    }

    options::AppLocation app{"C:\\opt\\Tessaly Apps", "tessaly", "/opt/Tessaly Apps/tessaly"};
    QWidget mainWindow;
    QPointer<frmOptions> window;
};

} // namespace

TEST_F(OptionsWindowTest, ShowsBothPagesWithTheirCaptions) {
    mainWindow.setWindowTitle(QStringLiteral("Free - Tessaly"));
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tessaly -Options"));
    // Owned by the main window, so that it stays above it.
    EXPECT_EQ(window->parentWidget(), &mainWindow);
    EXPECT_TRUE(window->isWindow());
    auto* tabs = child<QTabWidget>("tbsOptions");
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Preferences"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Change Password"));
    EXPECT_EQ(tabs->widget(0), child<QWidget>("fraOption0"));
    EXPECT_EQ(tabs->widget(1), child<QWidget>("fraOption1"));
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(child<QCheckBox>("chkIEInte")->text(), QStringLiteral("Integrate with Internet Explorer"));
    EXPECT_FALSE(child<QCheckBox>("chkIEInte")->isChecked());
    // No browser here reads the button's values: the choice is not offered.
    EXPECT_TRUE(child<QCheckBox>("chkIEInte")->isHidden());
    // The strong-lock choice says what it means.
    EXPECT_EQ(child<QLabel>("lblStrongLocks")->text(),
              QStringLiteral("Strong locks encrypt content and name with a key made from the password; the others "
                             "only hide and scramble the file."));
    EXPECT_EQ(child<QPushButton>("cmdUpgrade")->text(), QStringLiteral("Check for Upgrade"));
    // Without an upgrade address (a fresh installation) the check is not offered.
    EXPECT_TRUE(child<QPushButton>("cmdUpgrade")->isHidden());
    EXPECT_EQ(startCaption(), QString::fromLatin1(kEnable));
    EXPECT_EQ(child<QPushButton>("cmdChange")->text(), QStringLiteral("&Change Password"));
    EXPECT_EQ(child<QPushButton>("cmdClose")->text(), QStringLiteral("Close"));
    const std::pair<const char*, const char*> boxes[] = {
        {"txtOldPass", "Old Password:"}, {"txtNewPass", "New Password:"}, {"txtNewConfirm", "Confirm New Password:"}};
    for (const auto& [name, caption] : boxes) {
        auto* box = child<QLineEdit>(name);
        EXPECT_EQ(box->echoMode(), QLineEdit::Password);
        bool labelled = false;
        for (QLabel* label : window->findChildren<QLabel*>())
            labelled = labelled || (label->buddy() == box && label->text() == QString::fromLatin1(caption));
        EXPECT_TRUE(labelled) << name;
    }
    // A short new password gets a word of advice while it is typed.
    auto* hint = child<QLabel>("lblShortPassword");
    EXPECT_TRUE(hint->isHidden());
    child<QLineEdit>("txtNewPass")->setText(QStringLiteral("abc"));
    EXPECT_FALSE(hint->isHidden());
    child<QLineEdit>("txtNewPass")->setText(QStringLiteral("abcdefgh"));
    EXPECT_TRUE(hint->isHidden());
}

TEST_F(OptionsWindowTest, CtrlTabTurnsThePagesAndWraps) {
    open();
    auto* tabs = child<QTabWidget>("tbsOptions");
    QTest::keyClick(child<QPushButton>("cmdClose"), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabs->currentIndex(), 1);
    QTest::keyClick(child<QLineEdit>("txtOldPass"), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabs->currentIndex(), 0);
    QTest::keyClick(child<QCheckBox>("chkIEInte"), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(tabs->currentIndex(), 1);
}

TEST_F(OptionsWindowTest, TheStartCaptionFollowsTheRunValueAndTheAutostartEntry) {
    // Any Run value counts, also one that names another path.
    SaveString(HKEY_CURRENT_USER, settings::kRunKey, settings::RunAtLogin.name, "D:\\elsewhere\\old.exe");
    open();
    EXPECT_EQ(startCaption(), QString::fromLatin1(kDisable));
    delete window.data();

    DeleteValue(HKEY_CURRENT_USER, settings::kRunKey, settings::RunAtLogin.name);
    writeEntry("[Desktop Entry]\nType=Application\nName=Tessaly\nExec=/usr/bin/tessaly\n");
    open();
    EXPECT_EQ(startCaption(), QString::fromLatin1(kDisable));
    delete window.data();

    writeEntry("[Desktop Entry]\nType=Application\nName=Mine\nExec=/usr/bin/my-tool --tessaly\n");
    open();
    EXPECT_EQ(startCaption(), QString::fromLatin1(kEnable));
}

TEST_F(OptionsWindowTest, EnableAndDisableWriteAndRemoveBoth) {
    open();
    QTest::mouseClick(child<QPushButton>("cmdEnableStart"), Qt::LeftButton);
    EXPECT_EQ(startCaption(), QString::fromLatin1(kDisable));
    EXPECT_EQ(runValue(), "C:\\opt\\Tessaly Apps\\tessaly.exe");
    EXPECT_EQ(entry(), "[Desktop Entry]\nType=Application\nName=Tessaly\nComment=Start Tessaly at login\n"
                       "TryExec=/opt/Tessaly Apps/tessaly\n"
                       "Exec=\"/opt/Tessaly Apps/tessaly\"\nIcon=tessaly\nTerminal=false\n"
                       "X-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(options::AutostartEntryState(app), options::EntryState::Ours);

    QTest::mouseClick(child<QPushButton>("cmdEnableStart"), Qt::LeftButton);
    EXPECT_EQ(startCaption(), QString::fromLatin1(kEnable));
    EXPECT_EQ(runValue(), "");
    EXPECT_EQ(entry(), "<none>");
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(OptionsWindowTest, AnotherProgramsAutostartEntryIsNeverTouched) {
    const std::string theirs = "[Desktop Entry]\nType=Application\nName=Mine\nExec=my-tool\n";
    writeEntry(theirs);
    open();
    QTest::mouseClick(child<QPushButton>("cmdEnableStart"), Qt::LeftButton);
    EXPECT_EQ(entry(), theirs);
    EXPECT_EQ(runValue(), "");
    EXPECT_EQ(startCaption(), QString::fromLatin1(kEnable));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_NE(prompt.last().text.find("belongs to another program"), std::string::npos);

    // With a Run value left from before, Disable removes the value and still leaves their entry.
    SaveString(HKEY_CURRENT_USER, settings::kRunKey, settings::RunAtLogin.name, "C:\\tessaly.exe");
    delete window.data();
    open();
    QTest::mouseClick(child<QPushButton>("cmdEnableStart"), Qt::LeftButton);
    EXPECT_EQ(runValue(), "");
    EXPECT_EQ(entry(), theirs);
}

TEST(DesktopExec, QuotesAndEscapesAsDesktopEntriesRequire) {
    EXPECT_EQ(options::DesktopExec("/usr/bin/tessaly"), "/usr/bin/tessaly");
    EXPECT_EQ(options::DesktopExec("/opt/my apps/tessaly"), "\"/opt/my apps/tessaly\"");
    EXPECT_EQ(options::DesktopExec("/opt/$x\\y/100%"), "\"/opt/\\\\$x\\\\\\\\y/100%%\"");
}

TEST_F(OptionsWindowTest, IeaddSetsTheCheckBoxWithoutRegisteringAnything) {
    const std::pair<const char*, bool> cases[] = {{"remove", false}, {"ADD", true}, {"Add", true}, {"", false}};
    for (const auto& [value, checked] : cases) {
        SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::IeAdd.name, value);
        open();
        EXPECT_EQ(child<QCheckBox>("chkIEInte")->isChecked(), checked) << value;
        delete window.data();
    }
    EXPECT_FALSE(platform::registry().keyExists(HKEY_LOCAL_MACHINE, settings::kIeButtonKey));
}

TEST_F(OptionsWindowTest, TheCheckBoxAddsAndRemovesTheBrowserButton) {
    mainWindow.setWindowTitle(QStringLiteral("Free - Tessaly"));
    open();
    auto* check = child<QCheckBox>("chkIEInte");
    QTest::mouseClick(check, Qt::LeftButton);
    QTest::mouseClick(check, Qt::LeftButton);
    QTest::mouseClick(check, Qt::LeftButton); // on, off, on: the values are written anew, not added to
    EXPECT_EQ(ieadd(), "add");
    const std::vector<std::string> names = {"ButtonText", "CLSID", "Default Visible", "Exec",
                                            "HotIcon",    "Icon",  "MenuStatusBar",   "MenuText"};
    const char* key = "Software\\Microsoft\\Internet Explorer\\Extensions\\{5B2E7C90-4D1A-11d8-A3F2-00C0DF4E7A31}";
    EXPECT_EQ(platform::registry().valueNames(HKEY_LOCAL_MACHINE, key), names);
    const auto value = [key](const char* name) { return GetString(HKEY_LOCAL_MACHINE, key, name); };
    EXPECT_EQ(value("ButtonText"), "Free - Tessaly");
    EXPECT_EQ(value("CLSID"), "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}");
    EXPECT_EQ(value("Default Visible"), "Yes");
    EXPECT_EQ(value("Exec"), "C:\\opt\\Tessaly Apps\\tessaly.exe");
    EXPECT_EQ(value("HotIcon"), "C:\\opt\\Tessaly Apps\\icon.ico");
    EXPECT_EQ(value("Icon"), "C:\\opt\\Tessaly Apps\\icon.ico");
    EXPECT_EQ(value("MenuStatusBar"), "Free - Tessaly");
    EXPECT_EQ(value("MenuText"), "Free - Tessaly");

    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_EQ(ieadd(), "remove");
    EXPECT_FALSE(platform::registry().keyExists(HKEY_LOCAL_MACHINE, settings::kIeButtonKey));
}

TEST_F(OptionsWindowTest, RemovingAMissingButtonStillRecordsTheChoice) {
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::IeAdd.name, "add");
    open();
    QTest::mouseClick(child<QCheckBox>("chkIEInte"), Qt::LeftButton);
    EXPECT_EQ(ieadd(), "remove");
    EXPECT_FALSE(platform::registry().keyExists(HKEY_LOCAL_MACHINE, settings::kIeButtonKey));
}

// The strong-lock choice: a DWORD under the program's key, 0 until the box is ticked.
TEST_F(OptionsWindowTest, TheStrongLocksBoxKeepsItsChoiceAsADword) {
    open();
    auto* check = child<QCheckBox>("chkStrongLocks");
    EXPECT_EQ(check->text(), QStringLiteral("Lock new files with strong encryption (.TSX)"));
    EXPECT_FALSE(check->isChecked());
    platform::RegValue value;
    EXPECT_EQ(platform::registry().queryValue(HKEY_CURRENT_USER, settings::kAppKey, "StrongLocks", value),
              platform::kRegNotFound);
    QTest::mouseClick(check, Qt::LeftButton);
    ASSERT_EQ(platform::registry().queryValue(HKEY_CURRENT_USER, settings::kAppKey, "StrongLocks", value),
              platform::kRegSuccess);
    EXPECT_EQ(value.type, platform::REG_DWORD);
    EXPECT_EQ(value.data, std::string("\x01\0\0\0", 4));
    delete window.data();
    open();
    EXPECT_TRUE(child<QCheckBox>("chkStrongLocks")->isChecked());
    QTest::mouseClick(child<QCheckBox>("chkStrongLocks"), Qt::LeftButton);
    EXPECT_EQ(GetLong(HKEY_CURRENT_USER, settings::kAppKey, "StrongLocks", 7), 0);
}

TEST(BrowserButton, ADriveRootFolderGetsOneBackslash) {
    testing_support::Sandbox sandbox;
    options::AddIEButton("Tessaly", {"C:\\", "tessaly", "/tessaly"});
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, settings::kIeButtonKey, "Exec"), "C:\\tessaly.exe");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, settings::kIeButtonKey, "Icon"), "C:\\icon.ico");
    EXPECT_EQ(options::ExecutablePath({"C:\\", "tessaly", "/tessaly"}), "C:\\tessaly.exe");
}

TEST_F(OptionsWindowTest, ChangePasswordHandsTheBoxesToTheRoutine) {
    options::PasswordChange seen;
    options::OptionsHost host;
    host.changePassword = [&seen](options::PasswordChange& fields) {
        seen = fields;
        fields.newPassword.clear();
        fields.newConfirm.clear();
        return false;
    };
    open(std::move(host));
    child<QTabWidget>("tbsOptions")->setCurrentIndex(1);
    QTest::keyClicks(child<QLineEdit>("txtOldPass"), QStringLiteral("old one"));
    child<QLineEdit>("txtNewPass")->setText(QStringLiteral("new \u00e9"));
    QTest::keyClicks(child<QLineEdit>("txtNewConfirm"), QStringLiteral("new x"));
    QTest::mouseClick(child<QPushButton>("cmdChange"), Qt::LeftButton);
    EXPECT_EQ(seen.oldPassword, "old one");
    EXPECT_EQ(seen.newPassword, "new \xc3\xa9");
    EXPECT_EQ(seen.newConfirm, "new x");
    EXPECT_EQ(child<QLineEdit>("txtOldPass")->text(), QStringLiteral("old one"));
    EXPECT_TRUE(child<QLineEdit>("txtNewPass")->text().isEmpty());
    EXPECT_TRUE(child<QLineEdit>("txtNewConfirm")->text().isEmpty());
}

TEST_F(OptionsWindowTest, CloseUnloadsTheWindow) {
    open();
    QTest::mouseClick(child<QPushButton>("cmdClose"), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

namespace {

// A program outside every drive (here the test program itself, outside the sandbox's drive C:) is
// named by its real path wherever a setting points at it: never as "\tessaly.exe".
TEST_F(OptionsWindowTest, AProgramOnNoDriveIsNamedByItsRealPath) {
    const options::AppLocation running = options::RunningApplication();
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    EXPECT_EQ(running.folder, "");
    EXPECT_EQ(running.hostExecutable, self);
    EXPECT_EQ(options::ExecutablePath(running), self);
    EXPECT_EQ(options::IconPath(running), (std::filesystem::path(self).parent_path() / "icon.ico").string());

    options::OptionsHost host;
    host.app = {"", "tessaly", "/opt/elsewhere/tessaly"};
    open(host);
    QTest::mouseClick(child<QPushButton>("cmdEnableStart"), Qt::LeftButton);
    EXPECT_EQ(runValue(), "/opt/elsewhere/tessaly");
    EXPECT_NE(entry().find("\nExec=/opt/elsewhere/tessaly\n"), std::string::npos) << entry();
    QTest::mouseClick(child<QCheckBox>("chkIEInte"), Qt::LeftButton);
    const auto value = [](const char* name) { return GetString(HKEY_LOCAL_MACHINE, settings::kIeButtonKey, name); };
    EXPECT_EQ(value("Exec"), "/opt/elsewhere/tessaly");
    EXPECT_EQ(value("Icon"), "/opt/elsewhere/icon.ico");
    EXPECT_EQ(value("HotIcon"), "/opt/elsewhere/icon.ico");
}

} // namespace

// Locking the window again: the idle time (off, 0, by default) and the restore choice are stored as
// they are changed, shown again at the next opening, and each change is announced to the program.
TEST_F(OptionsWindowTest, TheLockChoicesAreOffByDefaultAndStoredWhenChanged) {
    options::OptionsHost withTray;
    withTray.trayAvailable = [] { return true; };
    open(withTray);
    EXPECT_TRUE(child<QLabel>("lblNoTray")->isHidden());
    auto* idle = child<QSpinBox>("spnIdleLock");
    auto* restore = child<QCheckBox>("chkLockOnRestore");
    EXPECT_EQ(idle->value(), 0);
    EXPECT_FALSE(restore->isChecked());
    EXPECT_EQ(idle->minimum(), 0);
    bool labelled = false;
    for (QLabel* label : window->findChildren<QLabel*>())
        labelled = labelled || label->buddy() == idle;
    EXPECT_TRUE(labelled);
    QSignalSpy changed(window.data(), &frmOptions::lockSettingsChanged);

    idle->setValue(15);
    restore->click();
    EXPECT_EQ(changed.size(), 2);
    EXPECT_EQ(GetLong(HKEY_CURRENT_USER, settings::kAppKey, settings::IdleLockMinutes.name, -1), 15);
    EXPECT_EQ(GetLong(HKEY_CURRENT_USER, settings::kAppKey, settings::LockOnRestore.name, -1), 1);

    delete window.data();
    open(withTray);
    EXPECT_EQ(child<QSpinBox>("spnIdleLock")->value(), 15);
    EXPECT_TRUE(child<QCheckBox>("chkLockOnRestore")->isChecked());
}

// Where the desktop has no tray, the window minimizes to the task bar and is never hidden there:
// the restore choice cannot apply, and the window says so beside it.
TEST_F(OptionsWindowTest, WithoutATrayTheRestoreChoiceIsOffAndSaysWhy) {
    options::OptionsHost noTray;
    noTray.trayAvailable = [] { return false; };
    open(noTray);
    auto* restore = child<QCheckBox>("chkLockOnRestore");
    auto* note = child<QLabel>("lblNoTray");
    EXPECT_FALSE(restore->isEnabled());
    EXPECT_FALSE(note->isHidden());
    EXPECT_EQ(note->text(),
              QStringLiteral("This desktop has no system tray: Tessaly minimizes to the task bar instead, "
                             "so this choice has no effect here."));
    EXPECT_EQ(restore->toolTip(), note->text());
}

// The upgrade check is offered where the installation has an address to ask.
TEST_F(OptionsWindowTest, CheckForUpgradeIsOfferedOnlyWithAnUpgradeAddress) {
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::UpgradeHost.name, "https://tessaly.example/upgrade");
    open();
    EXPECT_FALSE(child<QPushButton>("cmdUpgrade")->isHidden());
}
