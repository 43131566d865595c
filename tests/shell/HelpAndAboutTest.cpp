// SPDX-License-Identifier: GPL-3.0-or-later
// Help → Help Pages opens the deployment's help address, else the manual installed with the program;
// Help → About Tessaly shows the version, the licence and the project's address when there is one.

#include "ShellTestSupport.h"
#include "support/OpenerStub.h"

#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "shell/AboutBox.h"
#include "shell/HelpPages.h"
#include "shell/frmMain.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

namespace {

class HelpAndAboutTest : public shell_test::ShellTest {
protected:
    static shell::AboutBox* aboutBox(QWidget& w) {
        QCoreApplication::processEvents();
        return w.findChild<shell::AboutBox*>(QStringLiteral("frmAbout"));
    }
    static QString text(QWidget* box, const char* name) {
        auto* l = box->findChild<QLabel*>(QString::fromLatin1(name));
        return l ? l->text() : QStringLiteral("<none>");
    }
};

TEST_F(HelpAndAboutTest, HelpPagesPreferTheDeploymentsAddressThenTheManualBesideTheProgram) {
    const std::string prefix = sandbox.root() + "/opt/tessaly";
    const std::string bin = prefix + "/bin";
    std::filesystem::create_directories(bin);
    // The manual installed under the program's prefix comes first, the system's place after it.
    EXPECT_EQ(shell::ManualCandidates(bin), (std::vector<std::string>{prefix + "/share/doc/tessaly/index.html",
                                                                      "/usr/share/doc/tessaly/index.html"}));
    EXPECT_EQ(shell::ManualCandidates("/usr/bin"), std::vector<std::string>{"/usr/share/doc/tessaly/index.html"});

    EXPECT_EQ(shell::HelpPagesTarget("https://help.example/tessaly", bin), "https://help.example/tessaly");
    sandbox.writeFile("C:\\opt\\tessaly\\share\\doc\\tessaly\\index.html", "<html>manual</html>");
    EXPECT_EQ(shell::HelpPagesTarget("", bin), "file://" + prefix + "/share/doc/tessaly/index.html");
    EXPECT_EQ(shell::HelpPagesTarget("https://help.example/tessaly", bin), "https://help.example/tessaly");
}

TEST_F(HelpAndAboutTest, HelpPagesFromTheMenuOpenTheAddress) {
    testing_support::OpenerStub opener(sandbox);
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::HelpUrl.name, "https://help.example/tessaly");
    auto w = shownWindow();
    w->findChild<QAction*>(QStringLiteral("mnuHP"))->trigger();
    EXPECT_EQ(opener.calls(1), std::vector<std::string>{"https://help.example/tessaly"});
    EXPECT_TRUE(prompt.boxes.empty());
}

TEST_F(HelpAndAboutTest, VisitUsOnlineIsOffWithoutAnAddressAndOpensItWithOne) {
    testing_support::OpenerStub opener(sandbox);
    auto w = shownWindow();
    QAction* visit = w->findChild<QAction*>(QStringLiteral("mnuVUO"));
    ASSERT_NE(visit, nullptr);
    EXPECT_FALSE(visit->isEnabled());

    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::HomeUrl.name, "https://tessaly.example");
    auto* help = w->findChild<QMenu*>(QStringLiteral("mnuHelp"));
    ASSERT_NE(help, nullptr);
    emit help->aboutToShow();
    ASSERT_TRUE(visit->isEnabled());
    visit->trigger();
    EXPECT_EQ(opener.calls(1), std::vector<std::string>{"https://tessaly.example"});
}

TEST_F(HelpAndAboutTest, AboutShowsVersionLicenceAndTheAddressOnlyWhenSet) {
    const QString version = QStringLiteral("Tessaly %1.%2.%3")
                                .arg(TESSALY_VERSION_MAJOR)
                                .arg(TESSALY_VERSION_MINOR)
                                .arg(TESSALY_VERSION_PATCH);
    auto w = shownWindow();
    QAction* about = w->findChild<QAction*>(QStringLiteral("mnuAbout"));
    ASSERT_NE(about, nullptr);
    about->trigger();
    QPointer<shell::AboutBox> box = aboutBox(*w);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowTitle(), QStringLiteral("About Tessaly"));
    EXPECT_TRUE(text(box, "lblVersion").contains(version)) << text(box, "lblVersion").toStdString();
    EXPECT_TRUE(text(box, "lblLicence").contains(QStringLiteral("GPL-3.0-or-later")));
    EXPECT_EQ(text(box, "lblAddress"), QStringLiteral("<none>"));
    shell_test::click(box, "cmdOK");
    QTRY_VERIFY_WITH_TIMEOUT(box.isNull(), 10000);

    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::HomeUrl.name, "https://tessaly.example/a?b=1&c=2");
    about->trigger();
    box = aboutBox(*w);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(
        text(box, "lblAddress"),
        QStringLiteral("<a href=\"https://tessaly.example/a?b=1&amp;c=2\">https://tessaly.example/a?b=1&amp;c=2</a>"));
    box->close();
}

} // namespace
