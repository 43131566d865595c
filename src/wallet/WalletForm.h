#pragma once
// The five labelled boxes of a wallet entry, shared by the wallet tab and frmPassAdd: each label is
// its box's buddy, so the box is known to assistive technology by the label's text.

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <string>

namespace wallet {

struct WalletBoxes {
    QLineEdit* description;
    QLineEdit* server;
    QLineEdit* userName;
    QLineEdit* password;
    QLineEdit* notes;
};

inline QLineEdit* addWalletRow(QWidget* owner, QFormLayout* form, const char* labelName, const char* caption,
                               const char* boxName) {
    auto* label = new QLabel(QString::fromLatin1(caption), owner);
    label->setObjectName(QString::fromLatin1(labelName));
    auto* box = new QLineEdit(owner);
    box->setObjectName(QString::fromLatin1(boxName));
    label->setBuddy(box);
    form->addRow(label, box);
    return box;
}

inline WalletBoxes addWalletRows(QWidget* owner, QFormLayout* form) {
    WalletBoxes b{};
    b.description = addWalletRow(owner, form, "lblDescriptionCap", "Description:", "txtDescription");
    b.server = addWalletRow(owner, form, "lblServerCap", "Server :", "txtServer");
    b.userName = addWalletRow(owner, form, "lblUserCap", "User Name:", "txtUserName");
    b.password = addWalletRow(owner, form, "lblPasswordCap", "Password:", "txtPassword");
    b.notes = addWalletRow(owner, form, "lblNotesCap", "Notes:", "txtNotes");
    return b;
}

inline std::string boxText(const QLineEdit* box) {
    return box->text().toLocal8Bit().toStdString();
}

inline void setBoxText(QLineEdit* box, const std::string& text) {
    box->setText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace wallet
