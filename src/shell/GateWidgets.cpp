#include "shell/GateWidgets.h"

#include "shell/Icons.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace shell {

std::string toBytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QString fromBytes(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QLineEdit* makePasswordBox(const QString& objectName, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(objectName);
    box->setFont(QFont(QStringLiteral("Arial")));
    box->setEchoMode(QLineEdit::Password);
    box->setMinimumWidth(220);
    return box;
}

QLabel* makeShortPasswordHint(QLineEdit* box, QWidget* parent) {
    auto* hint = new QLabel(QStringLiteral("A password of at least 8 characters is much harder to guess."), parent);
    hint->setObjectName(QStringLiteral("lblShortPassword"));
    hint->setWordWrap(true);
    hint->setVisible(false);
    QObject::connect(box, &QLineEdit::textChanged, hint, [hint](const QString& text) {
        hint->setVisible(!text.isEmpty() && text.size() < kShortPasswordHintBelow);
    });
    return hint;
}

QLabel* makeLockPicture(const QString& objectName, int size, QWidget* parent) {
    auto* picture = new QLabel(parent);
    picture->setObjectName(objectName);
    picture->setPixmap(appIcon().pixmap(size, size));
    picture->setFixedSize(size, size);
    return picture;
}

OkCancelButtons makeOkCancelButtons(QWidget* parent) {
    OkCancelButtons buttons;
    buttons.ok = new QPushButton(QStringLiteral("O&K"), parent);
    buttons.ok->setObjectName(QStringLiteral("cmdOK"));
    buttons.ok->setDefault(true); // Enter presses OK
    buttons.cancel = new QPushButton(QStringLiteral("&Cancel"), parent);
    buttons.cancel->setObjectName(QStringLiteral("cmdCancel"));
    buttons.row = new QHBoxLayout;
    buttons.row->addStretch();
    buttons.row->addWidget(buttons.ok);
    buttons.row->addWidget(buttons.cancel);
    return buttons;
}

} // namespace shell
