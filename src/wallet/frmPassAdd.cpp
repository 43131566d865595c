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
    resize(420, 0);
    setObjectName(QStringLiteral("frmPassAdd"));
    setWindowTitle(QStringLiteral("Tessaly -Add New Password"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    const WalletBoxes boxes = addWalletRows(this, grid, 0);
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
    if (RefuseDescription(m_prompt, description)) {
        m_txtDescription->setFocus();
        return; // every box keeps what was typed
    }
    if (!SaveEntry(m_prompt, description,
                   {boxText(m_txtServer), boxText(m_txtUserName), boxText(m_txtPassword), boxText(m_txtNotes)}))
        return; // every box keeps what was typed
    if (m_reload)
        m_reload();
    accept();
}

} // namespace wallet
