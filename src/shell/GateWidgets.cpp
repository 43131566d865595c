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
