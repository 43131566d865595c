#include "wallet/frmPassAdd.h"

#include "wallet/PasswordGenerator.h"
#include "wallet/Wallet.h"
#include "wallet/WalletForm.h"

#include "platform/Prompt.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
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
    addPasswordToggle(this, grid, 3, 2, m_txtPassword);

    // The generator: a length and the classes of characters to draw from.
    auto* fraGenerator = new QGroupBox(QStringLiteral("Password Generator"), this);
    fraGenerator->setObjectName(QStringLiteral("fraGenerator"));
    m_spnLength = new QSpinBox(fraGenerator);
    m_spnLength->setObjectName(QStringLiteral("spnLength"));
    m_spnLength->setRange(kMinGeneratedLength, kMaxGeneratedLength);
    m_spnLength->setValue(kDefaultGeneratedLength);
    auto* lblLength = new QLabel(QStringLiteral("&Length:"), fraGenerator);
    lblLength->setObjectName(QStringLiteral("lblLength"));
    lblLength->setBuddy(m_spnLength);
    const auto makeClass = [fraGenerator](const char* name, const char* caption, const char* accessible) {
        auto* box = new QCheckBox(QString::fromLatin1(caption), fraGenerator);
        box->setObjectName(QString::fromLatin1(name));
        box->setAccessibleName(QString::fromLatin1(accessible));
        box->setChecked(true);
        return box;
    };
    m_chkUpperCase = makeClass("chkUpperCase", "A-Z", "Upper case letters");
    m_chkLowerCase = makeClass("chkLowerCase", "a-z", "Lower case letters");
    m_chkDigits = makeClass("chkDigits", "0-9", "Digits");
    m_chkSymbols = makeClass("chkSymbols", "Symbols", "Symbols");
    m_cmdGenerate = new QPushButton(QStringLiteral("&Generate"), fraGenerator);
    m_cmdGenerate->setObjectName(QStringLiteral("cmdGenerate"));
    m_cmdGenerate->setAutoDefault(false);
    auto* generatorRow = new QHBoxLayout(fraGenerator);
    generatorRow->addWidget(lblLength);
    generatorRow->addWidget(m_spnLength);
    for (QCheckBox* box : {m_chkUpperCase, m_chkLowerCase, m_chkDigits, m_chkSymbols}) {
        generatorRow->addWidget(box);
        // Nothing to draw from: nothing to generate.
        connect(box, &QCheckBox::toggled, this, [this] {
            m_cmdGenerate->setEnabled(m_chkUpperCase->isChecked() || m_chkLowerCase->isChecked() ||
                                      m_chkDigits->isChecked() || m_chkSymbols->isChecked());
        });
    }
    generatorRow->addStretch();
    generatorRow->addWidget(m_cmdGenerate);
    layout->addWidget(fraGenerator);
    connect(m_cmdGenerate, &QPushButton::clicked, this, &frmPassAdd::cmdGenerate_Click);

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

void frmPassAdd::cmdGenerate_Click() {
    unsigned classes = 0;
    if (m_chkUpperCase->isChecked())
        classes |= kUpperCase;
    if (m_chkLowerCase->isChecked())
        classes |= kLowerCase;
    if (m_chkDigits->isChecked())
        classes |= kDigits;
    if (m_chkSymbols->isChecked())
        classes |= kSymbols;
    const std::string password = GeneratePassword(m_spnLength->value(), classes);
    if (!password.empty())
        m_txtPassword->setText(QString::fromLatin1(password.data(), static_cast<qsizetype>(password.size())));
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
