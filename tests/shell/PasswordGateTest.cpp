// The first-run window, the login window and the gate that runs them.

#include "ShellTestSupport.h"

#include "core/AppPassword.h"
#include "core/Scrambler.h"
#include "platform/Environment.h"
#include "platform/Registry.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "shell/PasswordGate.h"
#include "shell/frmNewPassword.h"
#include "shell/frmPassword.h"

#include <QLabel>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using platform::Icon;
using shell_test::click;
using shell_test::type;

namespace {

constexpr const char* kNotSame = "New Password and Confirmed password are not same. Please verify";

bool storedValueExists() {
    platform::RegValue v;
    return platform::registry().queryValue(platform::RegRoot::CurrentUser, settings::kPasswordKey,
                                           settings::kPasswordValue, v) == platform::kRegSuccess;
}

class PasswordGateTest : public shell_test::ShellTest {};

TEST_F(PasswordGateTest, NewPasswordWindowHasItsCaptionAndControls) {
    frmNewPassword w(prompt);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tessaly -Set New Password"));
    EXPECT_EQ(w.findChild<QPushButton*>(QStringLiteral("cmdOK"))->text(), QStringLiteral("O&K"));
    EXPECT_EQ(w.findChild<QPushButton*>(QStringLiteral("cmdCancel"))->text(), QStringLiteral("&Cancel"));
    for (const char* box : {"txtPassword1", "txtPassword2"})
        EXPECT_EQ(w.findChild<QLineEdit*>(QString::fromLatin1(box))->echoMode(), QLineEdit::Password);
    // A short password gets a word of advice while it is typed (and is still taken).
    auto* hint = w.findChild<QLabel*>(QStringLiteral("lblShortPassword"));
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->isHidden());
    type(&w, "txtPassword1", QStringLiteral("a"));
    EXPECT_FALSE(hint->isHidden());
    EXPECT_EQ(hint->text(), QStringLiteral("A password of at least 8 characters is much harder to guess."));
    type(&w, "txtPassword1", QStringLiteral("abcdefgh"));
    EXPECT_TRUE(hint->isHidden());
}

TEST_F(PasswordGateTest, RefusedEntriesEmptyBothBoxesAndStoreNothing) {
    struct Case {
        const char* first;
        const char* second;
        const char* says;
        Icon icon;
    };
    // Two entries that agree on nothing at all are asked for a password, not told they differ.
    const Case cases[] = {{"Secret1", "Secret2", kNotSame, Icon::None},
                          {"   ", "   ", "Please type a password.", Icon::Exclamation},
                          {"", "", "Please type a password.", Icon::Exclamation},
                          {"abc", "ABC", kNotSame, Icon::None}};
    for (const Case& c : cases) {
        frmNewPassword w(prompt);
        type(&w, "txtPassword1", QString::fromLatin1(c.first));
        type(&w, "txtPassword2", QString::fromLatin1(c.second));
        click(&w, "cmdOK");
        ASSERT_FALSE(prompt.boxes.empty()) << c.first;
        EXPECT_EQ(prompt.last().text, c.says);
        EXPECT_EQ(prompt.last().icon, c.icon);
        EXPECT_EQ(prompt.last().buttons, platform::Buttons::OK);
        EXPECT_EQ(prompt.last().title, "Tessaly");
        EXPECT_TRUE(w.findChild<QLineEdit*>(QStringLiteral("txtPassword1"))->text().isEmpty());
        EXPECT_TRUE(w.findChild<QLineEdit*>(QStringLiteral("txtPassword2"))->text().isEmpty());
        EXPECT_NE(w.result(), QDialog::Accepted);
        EXPECT_FALSE(core::IsPasswordSet()) << c.first;
    }
}

TEST_F(PasswordGateTest, MatchingEntriesAreStoredUntrimmed) {
    frmNewPassword w(prompt);
    type(&w, "txtPassword1", QStringLiteral(" my pass "));
    type(&w, "txtPassword2", QStringLiteral(" my pass "));
    click(&w, "cmdOK");
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Password Successfully set");
    EXPECT_EQ(prompt.last().icon, Icon::Information);
    EXPECT_EQ(w.result(), QDialog::Accepted);
    // Stored only as a one-way verifier.
    const std::string stored = GetStringFull(HKEY_CURRENT_USER, settings::kPasswordKey, settings::kPasswordValue);
    EXPECT_TRUE(core::IsVerifier(stored)) << stored;
    EXPECT_NE(stored, core::RC4Text(" my pass ", core::kFixedKey));
    EXPECT_TRUE(core::CheckAppPassword(" my pass "));
    EXPECT_FALSE(core::CheckAppPassword("my pass"));
}

// A password under 8 characters is set only after a question (No by default): nothing the first start
// took before is refused, but not without a word.
TEST_F(PasswordGateTest, AShortNewPasswordIsTakenOnlyAfterAQuestion) {
    for (const platform::Answer answer : {platform::Answer::No, platform::Answer::Yes}) {
        prompt.boxes.clear();
        prompt.answer(answer);
        frmNewPassword w(prompt);
        // Four characters (five bytes): the test keyboard types no "\u00e4", so the boxes are filled.
        for (const char* box : {"txtPassword1", "txtPassword2"})
            w.findChild<QLineEdit*>(QString::fromLatin1(box))->setText(QStringLiteral("k\u00e4se"));
        click(&w, "cmdOK");
        ASSERT_FALSE(prompt.boxes.empty());
        EXPECT_EQ(prompt.boxes[0].text, "This password has only 4 characters. A password of at least 8 characters is "
                                        "much harder to guess. Use it anyway?");
        EXPECT_EQ(prompt.boxes[0].buttons, platform::Buttons::YesNoDefaultNo);
        EXPECT_EQ(core::IsPasswordSet(), answer == platform::Answer::Yes);
        EXPECT_EQ(w.result() == QDialog::Accepted, answer == platform::Answer::Yes);
        if (answer == platform::Answer::No) {
            EXPECT_EQ(prompt.boxes.size(), 1u);
            EXPECT_TRUE(w.findChild<QLineEdit*>(QStringLiteral("txtPassword1"))->text().isEmpty());
        } else {
            EXPECT_EQ(prompt.last().text, "Password Successfully set");
            EXPECT_TRUE(core::CheckAppPassword("k\xc3\xa4se"));
        }
    }
}

TEST_F(PasswordGateTest, APasswordTheRegistryDidNotTakeIsNeverReportedAsSet) {
    shell_test::refuseRegistryWrites();
    frmNewPassword w(prompt);
    type(&w, "txtPassword1", QStringLiteral("Open Sesame"));
    type(&w, "txtPassword2", QStringLiteral("Open Sesame"));
    click(&w, "cmdOK");
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "The password could not be saved. Please try again.");
    EXPECT_EQ(prompt.last().icon, Icon::Critical);
    EXPECT_NE(w.result(), QDialog::Accepted); // the window stays
    EXPECT_FALSE(core::IsPasswordSet());
}

TEST_F(PasswordGateTest, LoginRefusesWrongAndOtherCaseAndTakesTheRightOne) {
    core::WriteAppPassword("Secret");
    for (const char* wrong : {"secret", "SECRET", "Secre", "Secret ", ""}) {
        frmPassword w(prompt);
        type(&w, "txtPassword", QString::fromLatin1(wrong));
        click(&w, "cmdOK");
        ASSERT_FALSE(prompt.boxes.empty());
        EXPECT_EQ(prompt.last().text, "Invalid Password !!! Try again.");
        EXPECT_EQ(prompt.last().title, "Invalid Password");
        EXPECT_EQ(prompt.last().icon, Icon::Critical);
        EXPECT_TRUE(w.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->text().isEmpty());
        EXPECT_FALSE(w.accepted()) << wrong;
        passTheWait();
    }
    const auto shown = prompt.boxes.size();
    frmPassword w(prompt);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tessaly -Security Check"));
    type(&w, "txtPassword", QStringLiteral("Wrong"));
    click(&w, "cmdOK");
    passTheWait();
    type(&w, "txtPassword", QStringLiteral("Secret")); // retries are unlimited, after the wait
    click(&w, "cmdOK");
    EXPECT_TRUE(w.accepted());
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_EQ(prompt.boxes.size(), shown + 1);
}

TEST_F(PasswordGateTest, AfterAWrongPasswordTheNextTryWaitsLongerEachTime) {
    core::WriteAppPassword("Secret");
    frmPassword w(prompt);
    std::int64_t expected = 1;
    for (int round = 0; round < 3; ++round, expected *= 2) {
        type(&w, "txtPassword", QStringLiteral("Wrong"));
        click(&w, "cmdOK");
        EXPECT_EQ(prompt.last().text, "Invalid Password !!! Try again.");
        // Too early: even the right password is not checked, and the user is told how long to wait,
        // not that it is invalid; what was typed stays for the next OK.
        type(&w, "txtPassword", QStringLiteral("Secret"));
        click(&w, "cmdOK");
        EXPECT_FALSE(w.accepted());
        EXPECT_EQ(prompt.last().text, "Wait " + std::to_string(expected) + (expected == 1 ? " second" : " seconds") +
                                          ", then press OK again. The password has not been checked yet.");
        EXPECT_EQ(prompt.last().icon, Icon::Information);
        EXPECT_EQ(prompt.last().title, "Tessaly");
        EXPECT_EQ(w.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->text(), QStringLiteral("Secret"));
        gateNow += expected;
    }
    // Remembered over a restart of the program.
    type(&w, "txtPassword", QStringLiteral("Wrong"));
    click(&w, "cmdOK");
    platform::resetEnvironment();
    frmPassword again(prompt);
    type(&again, "txtPassword", QStringLiteral("Secret"));
    click(&again, "cmdOK");
    EXPECT_FALSE(again.accepted());
    EXPECT_EQ(prompt.last().text, frmPassword::WaitMessage(8));
    gateNow += 8;
    click(&again, "cmdOK");
    EXPECT_TRUE(again.accepted());
    EXPECT_EQ(core::SecondsBeforeNextTry(), 0);
}

// While another process's try holds the lock of password tries, the window does not block and does
// not check: it asks to wait, then takes the password once the lock is free.
TEST_F(PasswordGateTest, ATryWhileAnotherProcessTriesIsNotCheckedAndWaits) {
    core::WriteAppPassword("Secret");
    const std::string lockFile = platform::logFolderHost() + "/password-tries.lock";
    const int held = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0); // another open file description: as another process
    frmPassword w(prompt);
    type(&w, "txtPassword", QStringLiteral("Secret"));
    click(&w, "cmdOK");
    EXPECT_FALSE(w.accepted());
    EXPECT_EQ(prompt.last().text, frmPassword::WaitMessage(1));
    ::close(held);
    click(&w, "cmdOK");
    EXPECT_TRUE(w.accepted());
    EXPECT_EQ(prompt.boxes.size(), 1u);
}

TEST_F(PasswordGateTest, FirstStartSetsThePasswordThenAsksForIt) {
    shell_test::whenModal([](QWidget* first) {
        EXPECT_EQ(first->objectName(), QStringLiteral("frmNewPassword"));
        type(first, "txtPassword1", QStringLiteral("Open Sesame"));
        type(first, "txtPassword2", QStringLiteral("Open Sesame"));
        click(first, "cmdOK");
        shell_test::whenModal([](QWidget* login) {
            EXPECT_EQ(login->objectName(), QStringLiteral("frmPassword"));
            type(login, "txtPassword", QStringLiteral("Open Sesame"));
            click(login, "cmdOK");
        });
    });
    EXPECT_TRUE(shell::RunPasswordGate(prompt));
    EXPECT_EQ(prompt.texts(), std::vector<std::string>{"Password Successfully set"});
}

TEST_F(PasswordGateTest, CancelOrCloseBoxAtFirstRunEndsAndTheNextStartIsAFirstRunAgain) {
    for (bool closeBox : {false, true}) {
        shell_test::whenModal([closeBox](QWidget* first) {
            EXPECT_EQ(first->objectName(), QStringLiteral("frmNewPassword"));
            if (closeBox)
                first->close();
            else
                click(first, "cmdCancel");
        });
        EXPECT_FALSE(shell::RunPasswordGate(prompt)) << closeBox;
        EXPECT_TRUE(prompt.boxes.empty());
        EXPECT_TRUE(storedValueExists()); // written empty before the window
        EXPECT_EQ(GetStringFull(HKEY_CURRENT_USER, settings::kPasswordKey, settings::kPasswordValue), "");
        EXPECT_FALSE(core::IsPasswordSet());
    }
}

TEST_F(PasswordGateTest, ClosingTheLoginWindowBeforeTheRightPasswordEnds) {
    core::WriteAppPassword("Secret");
    for (bool cancel : {false, true}) {
        shell_test::whenModal([cancel](QWidget* login) {
            EXPECT_EQ(login->objectName(), QStringLiteral("frmPassword"));
            if (cancel)
                click(login, "cmdCancel");
            else
                login->close();
        });
        EXPECT_FALSE(shell::RunPasswordGate(prompt));
    }
}

} // namespace
