#include "locking/frmFilePassword.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace locking {

QLineEdit* makeFilePasswordBox(QWidget* owner, QLabel** label) {
    auto* box = new QLineEdit(owner);
    box->setObjectName(QStringLiteral("txtPassword"));
    box->setEchoMode(QLineEdit::Password);
    *label = new QLabel(QStringLiteral("&Password:"), owner);
    (*label)->setObjectName(QStringLiteral("lblPassword"));
    (*label)->setBuddy(box);
    return box;
}

frmFilePassword::frmFilePassword(const std::string& shownPath, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmFilePassword"));
    setWindowTitle(QStringLiteral("Tessaly -Unlock & Open"));
    setModal(true);

    auto* lblFile =
        new QLabel(QStringLiteral("Type the password of '%1' to unlock and open it.")
                       .arg(QString::fromLocal8Bit(shownPath.data(), static_cast<qsizetype>(shownPath.size()))),
                   this);
    lblFile->setObjectName(QStringLiteral("lblFile"));
    lblFile->setWordWrap(true);
    QLabel* lblPassword = nullptr;
    m_txtPassword = makeFilePasswordBox(this, &lblPassword);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(lblPassword, m_txtPassword);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblFile);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(380);
    m_txtPassword->setFocus();
}

std::string frmFilePassword::password() const {
    return m_txtPassword->text().toLocal8Bit().toStdString();
}

std::optional<std::string> frmFilePassword::ask(const std::string& shownPath, QWidget* parent) {
    frmFilePassword window(shownPath, parent);
    if (window.exec() != QDialog::Accepted)
        return std::nullopt;
    return window.password();
}

} // namespace locking
