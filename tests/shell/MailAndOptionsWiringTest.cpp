// The mail command and the Options window in the real main window: "Send to Mail Recipient" and the
// lock toolbar's "SendEmail" hand the ticked locked files to the mail program, and Options >
// Preferences opens one Options window whose "Change Password" page changes the application password.

#include "ShellTestSupport.h"

#include "core/AppPassword.h"
#include "core/Scrambler.h"
#include "options/frmOptions.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "shell/frmMain.h"
#include "shell/frmProgress.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

class MailAndOptionsWiringTest : public shell_test::ShellTest {
protected:
    void SetUp() override {
        // A stub xdg-email first on PATH: each call appends its attachment path to a file.
        m_bin = sandbox.root() + "/bin";
        std::filesystem::create_directories(m_bin);
        std::ofstream(m_bin + "/xdg-email")
            << "#!/bin/sh\nwhile [ $# -gt 0 ]; do [ \"$1\" = --attach ] && echo \"$2\" >> '" << mailed()
            << "'; shift; done\n";
        ::chmod((m_bin + "/xdg-email").c_str(), 0755);
        const char* path = std::getenv("PATH");
        m_savedPath = path ? path : "";
        setenv("PATH", (m_bin + ":" + m_savedPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", m_savedPath.c_str(), 1); }

    std::string mailed() const { return m_bin + "/mailed"; }
    std::string mailedFiles() const {
        return std::filesystem::exists(mailed()) ? testing_support::readHostFile(mailed()) : std::string();
    }

    static void tick(frmMain& w, const char* shown) {
        for (int i = 0; i < shell_test::fileCount(w); ++i)
            if (shell_test::fileText(w, i) == QString::fromLatin1(shown)) {
                shell_test::setFileCheck(w, i, Qt::Checked);
                return;
            }
        ADD_FAILURE() << "no row " << shown;
    }

    static std::vector<frmOptions*> optionsWindows() {
        std::vector<frmOptions*> found;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* o = qobject_cast<frmOptions*>(top); o && o->isVisible())
                found.push_back(o);
        return found;
    }

    std::string m_bin;
    std::string m_savedPath;
};

} // namespace

TEST_F(MailAndOptionsWiringTest, TheButtonAndTheToolbarKeyMailTheTickedLockedFiles) {
    sandbox.writeFile("C:\\Docs\\locked.bin", "[Secret] and the rest");
    sandbox.writeFile("C:\\Docs\\plain.txt", "hello");
    auto w = shownWindow();
    w->browser().setCurrentFolder("C:\\Docs");
    tick(*w, "locked.bin");
    tick(*w, "plain.txt");

    shell_test::click(w.get(), "cmdSendEmail");
    EXPECT_EQ(mailedFiles(), sandbox.host("C:\\Docs\\locked.bin") + "\n");
    EXPECT_EQ(prompt.texts(),
              std::vector<std::string>{"Sorry selected file is not locked. Only locked files can be sent through this "
                                       "application"});

    w->action(QStringLiteral("SendEmail"))->trigger();
    EXPECT_EQ(mailedFiles(), sandbox.host("C:\\Docs\\locked.bin") + "\n" + sandbox.host("C:\\Docs\\locked.bin") + "\n");
    EXPECT_EQ(prompt.boxes.size(), 2u);
}

TEST_F(MailAndOptionsWiringTest, PreferencesOpensOneOptionsWindowThatChangesThePassword) {
    core::WriteAppPassword("first");
    auto w = shownWindow();
    w->action(QStringLiteral("mOptionsPreferences"))->trigger();
    w->action(QStringLiteral("mOptionsPreferences"))->trigger();
    const auto windows = optionsWindows();
    ASSERT_EQ(windows.size(), 1u);
    frmOptions* options = windows.front();
    // Owned by the main window, so that it stays above it (also after a message box).
    EXPECT_EQ(options->parentWidget(), w.get());
    EXPECT_TRUE(options->isWindow());

    options->tbsOptions()->setCurrentIndex(1);
    shell_test::type(options, "txtOldPass", QStringLiteral("first"));
    shell_test::type(options, "txtNewPass", QStringLiteral("second one"));
    shell_test::type(options, "txtNewConfirm", QStringLiteral("second one"));
    shell_test::click(options, "cmdChange");
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Password Successfully changed"});
    EXPECT_TRUE(core::CheckAppPassword("second one"));

    QPointer<frmOptions> alive(options);
    w.reset(); // the Options window goes with the main window
    EXPECT_TRUE(alive.isNull());
}

TEST_F(MailAndOptionsWiringTest, TheMainTabSaysWhichKindOfLockLockMakes) {
    auto w = shownWindow();
    auto* kind = w->findChild<QLabel*>(QStringLiteral("lblLockKind"));
    ASSERT_NE(kind, nullptr);
    EXPECT_TRUE(kind->text().startsWith(QStringLiteral("Lock makes: Hide (.TSL/.TSW)."))) << kind->text().toStdString();
    // The strength line under the password boxes is for strong locks' short passwords.
    auto* strength = w->findChild<QLabel*>(QStringLiteral("lblShortPassword"));
    ASSERT_NE(strength, nullptr);
    shell_test::type(w.get(), "txtPassword1", QStringLiteral("abc"));
    EXPECT_TRUE(strength->isHidden());

    w->action(QStringLiteral("mOptionsPreferences"))->trigger();
    ASSERT_EQ(optionsWindows().size(), 1u);
    QPointer<frmOptions> options = optionsWindows().front();
    options->findChild<QCheckBox*>(QStringLiteral("chkStrongLocks"))->click();
    options->close();
    QTRY_VERIFY_WITH_TIMEOUT(options.isNull(), 5000);
    EXPECT_TRUE(kind->text().startsWith(QStringLiteral("Lock makes: Strong (.TSX)."))) << kind->text().toStdString();
    EXPECT_FALSE(strength->isHidden());
    EXPECT_EQ(strength->text(), QStringLiteral("A password of at least 8 characters is much harder to guess."));
    shell_test::type(w.get(), "txtPassword1", QStringLiteral("abcdefgh"));
    EXPECT_TRUE(strength->isHidden());
}

namespace {

// A hook on the prompt: a look at the windows while each box is up.
class WatchingPrompt final : public platform::Prompt {
public:
    platform::Answer show(const std::string& text, platform::Buttons, platform::Icon, const std::string&) override {
        texts.push_back(text);
        for (QWidget* top : QApplication::topLevelWidgets())
            progressShown = progressShown || (qobject_cast<frmProgress*>(top) && top->isVisible());
        return platform::Answer::OK;
    }
    std::vector<std::string> texts;
    bool progressShown = false;
};

} // namespace

TEST_F(MailAndOptionsWiringTest, TheUpgradeCheckClosesItsProgressWindowBeforeAnswering) {
    // A port on 127.0.0.1 that nothing listens on: the version file cannot be fetched.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::UpgradeHost.name,
               "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)));

    WatchingPrompt watching;
    frmMain w(watching);
    w.Form_Load();
    w.action(QStringLiteral("mOptionsPreferences"))->trigger();
    ASSERT_EQ(optionsWindows().size(), 1u);
    shell_test::click(optionsWindows().front(), "cmdUpgrade");
    EXPECT_EQ(watching.texts, std::vector<std::string>{"No Upgrade of Tessaly was available"});
    EXPECT_FALSE(watching.progressShown);
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<frmProgress*>(top) && top->isVisible());
}
