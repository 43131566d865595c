#include "shell/frmPassword.h"

#include "core/AppPassword.h"
#include "core/LoginGate.h"
#include "core/SealKey.h"
#include "diagnostics/ErrorReport.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "shell/GateWidgets.h"
#include "wallet/Wallet.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>
#include <string>

frmPassword::frmPassword(platform::Prompt& prompt, QWidget* parent) : QDialog(parent), m_prompt(prompt) {
    setObjectName(QStringLiteral("frmPassword"));
    setWindowTitle(QStringLiteral("Tessaly -Security Check"));

    auto* banner = new QLabel(QStringLiteral("Tessaly"), this);
    banner->setObjectName(QStringLiteral("Label2"));
    QFont bannerFont(QStringLiteral("Times New Roman"));
    bannerFont.setStyleHint(QFont::Serif);
    bannerFont.setPointSize(22);
    bannerFont.setBold(true);
    banner->setFont(bannerFont);
    auto* imgLock = shell::makeLockPicture(QStringLiteral("imgLock"), 64, this);
    auto* image1 = shell::makeLockPicture(QStringLiteral("Image1"), 24, this);

    auto* label1 = new QLabel(QStringLiteral("Enter Your Password"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    m_txtPassword = shell::makePasswordBox(QStringLiteral("txtPassword"), this);
    label1->setBuddy(m_txtPassword);

    const shell::OkCancelButtons buttons = shell::makeOkCancelButtons(this);

    auto* head = new QHBoxLayout;
    head->addWidget(imgLock);
    head->addSpacing(12);
    head->addWidget(banner, 1);
    auto* entry = new QHBoxLayout;
    entry->addWidget(image1);
    entry->addWidget(label1);
    entry->addWidget(m_txtPassword, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->addLayout(head);
    layout->addSpacing(12);
    layout->addLayout(entry);
    layout->addSpacing(10);
    layout->addLayout(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(buttons.ok, &QPushButton::clicked, this, &frmPassword::cmdOK_Click);
    connect(buttons.cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::string frmPassword::WaitMessage(std::int64_t seconds) {
    return "Wait " + std::to_string(seconds) + (seconds == 1 ? " second" : " seconds") +
           ", then press OK again. The password has not been checked yet.";
}

void frmPassword::cmdOK_Click() {
    try {
        // After a wrong password the next try waits (longer after each); a try too early is not
        // checked, so the box says only how long to wait and keeps what was typed.
        std::string typed = shell::toBytes(m_txtPassword->text());
        const core::PasswordTry tried = core::TryAppPassword(typed, false);
        if (tried.result == core::TryResult::TooEarly) {
            core::WipeString(typed);
            m_prompt.show(WaitMessage(tried.wait), platform::Buttons::OK, platform::Icon::Information);
            m_txtPassword->setFocus();
            return;
        }
        const bool right = tried.result == core::TryResult::Right;
        if (right) {
            // The wallet's key comes from the same password; the program opens even when the wallet
            // cannot, and says so.
            if (const std::string problem = wallet::OpenWallet(typed); !problem.empty())
                m_prompt.show("The password wallet could not be opened: " + problem + ".", platform::Buttons::OK,
                              platform::Icon::Exclamation);
        }
        core::WipeString(typed);
        m_txtPassword->clear();
        if (right) {
            m_accepted = true;
            accept();
            return;
        }
        m_prompt.show("Invalid Password !!! Try again.", platform::Buttons::OK, platform::Icon::Critical,
                      "Invalid Password");
        m_txtPassword->clear();
        m_txtPassword->setFocus();
    } catch (const platform::SysError& e) {
        ReportError("frmPassword", e.number(), e.description(), "cmdOK_Click");
    } catch (const std::exception& e) {
        ReportError("frmPassword", platform::errorNumber(platform::ErrorKind::InvalidArgument), e.what(),
                    "cmdOK_Click");
    }
}
