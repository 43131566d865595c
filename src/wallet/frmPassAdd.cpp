#include "wallet/frmPassAdd.h"

#include "wallet/Wallet.h"
#include "wallet/WalletForm.h"

#include "platform/Prompt.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace wallet {

frmPassAdd::frmPassAdd(platform::Prompt& prompt, std::function<void()> reload, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_reload(std::move(reload)) {
    setObjectName(QStringLiteral("frmPassAdd"));
    setWindowTitle(QStringLiteral("Tessaly -Add New Password"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    const WalletBoxes boxes = addWalletRows(this, form);
    m_txtDescription = boxes.description;
    m_txtServer = boxes.server;
    m_txtUserName = boxes.userName;
    m_txtPassword = boxes.password;
    m_txtNotes = boxes.notes;

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &frmPassAdd::cmdOK_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmPassAdd::cmdOK_Click() {
    const std::string description = boxText(m_txtDescription);
    const std::string problem = DescriptionProblem(description);
    if (!problem.empty()) {
        // Every box keeps what was typed.
        m_prompt.show(problem, platform::Buttons::OK,
                      problem == kBlankDescription ? platform::Icon::None : platform::Icon::Exclamation);
        m_txtDescription->setFocus();
        return;
    }
    passWordAdd(description,
                {boxText(m_txtServer), boxText(m_txtUserName), boxText(m_txtPassword), boxText(m_txtNotes)});
    if (m_reload)
        m_reload();
    accept();
}

} // namespace wallet
