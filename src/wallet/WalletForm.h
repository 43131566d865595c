#pragma once
// The five labelled boxes of a wallet entry, shared by the wallet tab and frmPassAdd: each label is
// its box's buddy, so the box is known to assistive technology by the label's text.

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include <string>

namespace wallet {

struct WalletBoxes {
    QLineEdit* description;
    QLineEdit* server;
    QLineEdit* userName;
    QLineEdit* password;
    QLineEdit* notes;
};

// The label goes into `column` of the grid, the box beside it.
inline QLineEdit* addWalletRow(QWidget* owner, QGridLayout* grid, int row, int column, const char* labelName,
                               const char* caption, const char* boxName) {
    auto* label = new QLabel(QString::fromLatin1(caption), owner);
    label->setObjectName(QString::fromLatin1(labelName));
    auto* box = new QLineEdit(owner);
    box->setObjectName(QString::fromLatin1(boxName));
    label->setBuddy(box);
    grid->addWidget(label, row, column);
    grid->addWidget(box, row, column + 1);
    return box;
}

inline WalletBoxes addWalletRows(QWidget* owner, QGridLayout* grid, int column) {
    WalletBoxes b{};
    b.description = addWalletRow(owner, grid, 0, column, "lblDescriptionCap", "Description:", "txtDescription");
    b.server = addWalletRow(owner, grid, 1, column, "lblServerCap", "Server :", "txtServer");
    b.userName = addWalletRow(owner, grid, 2, column, "lblUserCap", "User Name:", "txtUserName");
    b.password = addWalletRow(owner, grid, 3, column, "lblPasswordCap", "Password:", "txtPassword");
    b.notes = addWalletRow(owner, grid, 4, column, "lblNotesCap", "Notes:", "txtNotes");
    grid->setColumnStretch(column + 1, 1);
    return b;
}

// How long a password shown in clear stays so before it turns back to dots.
inline constexpr int kShowPasswordMs = 30000;

// The password box shows dots; the checkable button beside it ("Show" / "Hide") shows the password
// in clear while it is down, for kShowPasswordMs at most (the owner's timer "tmrHidePassword").
// Put into the grid at `row`, `column`.
inline QPushButton* addPasswordToggle(QWidget* owner, QGridLayout* grid, int row, int column, QLineEdit* box) {
    box->setEchoMode(QLineEdit::Password);
    auto* toggle = new QPushButton(QStringLiteral("Show"), owner);
    toggle->setObjectName(QStringLiteral("cmdShowPassword"));
    toggle->setCheckable(true);
    toggle->setAutoDefault(false);
    toggle->setAccessibleName(QStringLiteral("Show Password"));
    toggle->setToolTip(QStringLiteral("Show or hide the password"));
    QObject::connect(toggle, &QPushButton::toggled, box, [box, toggle](bool shown) {
        box->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        toggle->setText(shown ? QStringLiteral("Hide") : QStringLiteral("Show"));
        toggle->setAccessibleName(shown ? QStringLiteral("Hide Password") : QStringLiteral("Show Password"));
    });
    // A password left shown does not stay shown.
    auto* hideAgain = new QTimer(owner);
    hideAgain->setObjectName(QStringLiteral("tmrHidePassword"));
    hideAgain->setSingleShot(true);
    hideAgain->setInterval(kShowPasswordMs);
    QObject::connect(toggle, &QPushButton::toggled, hideAgain, [hideAgain](bool shown) {
        if (shown)
            hideAgain->start();
        else
            hideAgain->stop();
    });
    QObject::connect(hideAgain, &QTimer::timeout, toggle, [toggle] { toggle->setChecked(false); });
    grid->addWidget(toggle, row, column);
    return toggle;
}

inline std::string boxText(const QLineEdit* box) {
    return box->text().toLocal8Bit().toStdString();
}

inline void setBoxText(QLineEdit* box, const std::string& text) {
    box->setText(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace wallet
