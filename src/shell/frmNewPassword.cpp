#include "shell/frmNewPassword.h"

#include "core/PasswordRules.h"
#include "diagnostics/ErrorReport.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/PasswordHint.h"
#include "shell/ChangePassword.h"
#include "shell/GateWidgets.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace {

bool blankOnly(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

} // namespace

frmNewPassword::frmNewPassword(platform::Prompt& prompt, QWidget* parent) : QDialog(parent), m_prompt(prompt) {
    setObjectName(QStringLiteral("frmNewPassword"));
    setWindowTitle(QStringLiteral("Tessaly -Set New Password"));

    auto* picture = shell::makeLockPicture(QStringLiteral("Image1"), 64, this);
    auto* lblNew = new QLabel(QStringLiteral("Enter Your Password"), this);
    lblNew->setObjectName(QStringLiteral("lblNewPassword"));
    auto* lblConfirm = new QLabel(QStringLiteral("Confirm Password"), this);
    lblConfirm->setObjectName(QStringLiteral("lblConfirmPassword"));
    m_txtPassword1 = shell::makePasswordBox(QStringLiteral("txtPassword1"), this);
    m_txtPassword2 = shell::makePasswordBox(QStringLiteral("txtPassword2"), this);
    lblNew->setBuddy(m_txtPassword1);
    lblConfirm->setBuddy(m_txtPassword2);

    const shell::OkCancelButtons buttons = shell::makeOkCancelButtons(this);

    auto* fields = new QGridLayout;
    fields->addWidget(lblNew, 0, 0);
    fields->addWidget(m_txtPassword1, 0, 1);
    fields->addWidget(lblConfirm, 1, 0);
    fields->addWidget(m_txtPassword2, 1, 1);
    fields->addWidget(settings::MakeShortPasswordHint(m_txtPassword1, this), 2, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(fields);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->addLayout(top);
    layout->addSpacing(10);
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(buttons.ok, &QPushButton::clicked, this, &frmNewPassword::cmdOK_Click);
    // Cancel and the close box both end the program: the gate sees a rejected dialog.
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmNewPassword::cmdOK_Click() {
    try {
        const std::string first = shell::toBytes(m_txtPassword1->text());
        const std::string second = shell::toBytes(m_txtPassword2->text());
        if (first == second && !blankOnly(first)) {
            if (!core::AcceptShortPassword(m_prompt, first)) {
                m_txtPassword1->clear();
                m_txtPassword2->clear();
                m_txtPassword1->setFocus();
                return;
            }
            if (!shell::StoreAppPassword(first)) {
                m_prompt.show(shell::kPasswordNotSaved, platform::Buttons::OK, platform::Icon::Critical);
                return;
            }
            m_prompt.show("Password Successfully set", platform::Buttons::OK, platform::Icon::Information);
            accept();
            return;
        }
        m_txtPassword1->clear();
        m_txtPassword2->clear();
        m_txtPassword1->setFocus();
        if (first == second) { // both empty or blank
            m_prompt.show(core::kTypePasswordMessage, platform::Buttons::OK, platform::Icon::Exclamation);
            return;
        }
        m_prompt.show("New Password and Confirmed password are not same. Please verify", platform::Buttons::OK,
                      platform::Icon::None);
    } catch (const platform::SysError& e) {
        ReportError("frmNewPassword", e.number(), e.description(), "cmdOK_Click");
    } catch (const std::exception& e) {
        ReportError("frmNewPassword", platform::errorNumber(platform::ErrorKind::InvalidArgument), e.what(),
                    "cmdOK_Click");
    }
}
