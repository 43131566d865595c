// The progress window and the change-password command of the Options window.

#include "ShellTestSupport.h"

#include "core/AppPassword.h"
#include "core/Scrambler.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "shell/ChangePassword.h"
#include "shell/frmProgress.h"

#include <QLabel>
#include <QProgressBar>

namespace {

class ShellPiecesTest : public shell_test::ShellTest {};

TEST_F(ShellPiecesTest, ProgressWindowShowsItsMessageAndABarOnlyForAKnownTotal) {
    frmProgress p;
    p.setMessage("Lock in Progress. Please Wait...");
    p.showCentered();
    auto* label = p.findChild<QLabel*>(QStringLiteral("lblMessage"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("Lock in Progress. Please Wait..."));
    auto* bar = p.findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isVisible());
    p.setProgress(1, 4);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->value(), 250);
    p.setProgress(9, 4); // never past the end
    EXPECT_EQ(bar->value(), bar->maximum());
    p.setProgress(0, 0);
    EXPECT_FALSE(bar->isVisible());
}

TEST_F(ShellPiecesTest, ChangePasswordChecksTheOldOneAndTheTwoNewEntries) {
    core::WriteAppPassword("Old");
    const std::string stored = core::ReadStoredPassword();

    shell::PasswordChangeFields wrongOld{"old", "New", "New"};
    EXPECT_FALSE(shell::ChangeAppPassword(prompt, wrongOld));
    EXPECT_EQ(prompt.last().text, "Invalid Old Password. Try Again");
    EXPECT_EQ(prompt.last().icon, platform::Icon::Critical);
    EXPECT_EQ(core::ReadStoredPassword(), stored);
    EXPECT_EQ(wrongOld.newPassword, "New"); // nothing emptied

    shell::PasswordChangeFields differ{"Old", "New1", "New2"};
    EXPECT_FALSE(shell::ChangeAppPassword(prompt, differ));
    EXPECT_EQ(prompt.last().text, "New Password and Confirmed are not same. Please verify");
    EXPECT_EQ(prompt.last().icon, platform::Icon::None);
    EXPECT_EQ(differ.oldPassword, "Old");
    EXPECT_TRUE(differ.newPassword.empty());
    EXPECT_TRUE(differ.newConfirm.empty());
    EXPECT_EQ(core::ReadStoredPassword(), stored);

    // A new password under 8 characters is taken only after a question (No by default).
    shell::PasswordChangeFields good{"Old", "New", "New"};
    prompt.answer(platform::Answer::No);
    EXPECT_FALSE(shell::ChangeAppPassword(prompt, good));
    EXPECT_EQ(prompt.last().text, "This password has only 3 characters. A password of at least 8 characters is much "
                                  "harder to guess. Use it anyway?");
    EXPECT_EQ(prompt.last().buttons, platform::Buttons::YesNoDefaultNo);
    EXPECT_EQ(core::ReadStoredPassword(), stored);
    EXPECT_EQ(good.newPassword, "New");
    prompt.answer(platform::Answer::Yes);
    EXPECT_TRUE(shell::ChangeAppPassword(prompt, good));
    EXPECT_EQ(prompt.last().text, "Password Successfully changed");
    EXPECT_EQ(prompt.last().icon, platform::Icon::None);
    EXPECT_TRUE(core::CheckAppPassword("New"));
    EXPECT_EQ(good.newPassword, "New");
}

TEST_F(ShellPiecesTest, TwoEmptyNewEntriesAreRefusedAndTheOldPasswordStays) {
    core::WriteAppPassword("Old");
    const std::string stored = core::ReadStoredPassword();
    shell::PasswordChangeFields empty{"Old", "", ""};
    EXPECT_FALSE(shell::ChangeAppPassword(prompt, empty));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Please type a password.");
    EXPECT_EQ(prompt.last().icon, platform::Icon::Exclamation);
    EXPECT_TRUE(core::IsPasswordSet());
    EXPECT_EQ(core::ReadStoredPassword(), stored);
    EXPECT_TRUE(core::CheckAppPassword("Old"));
}

TEST_F(ShellPiecesTest, ANewPasswordTheRegistryDidNotTakeIsNotReportedAsChanged) {
    core::WriteAppPassword("Old");
    shell_test::refuseRegistryWrites();
    shell::PasswordChangeFields fields{"Old", "New password", "New password"};
    EXPECT_FALSE(shell::ChangeAppPassword(prompt, fields));
    ASSERT_EQ(prompt.boxes.size(), 1u);
    // The reason follows the message.
    EXPECT_EQ(prompt.last().text.rfind("The password could not be saved. Please try again. (", 0), 0u)
        << prompt.last().text;
    EXPECT_EQ(prompt.last().icon, platform::Icon::Critical);
    EXPECT_TRUE(core::CheckAppPassword("Old"));
}

} // namespace
