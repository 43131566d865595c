#include "platform/QtPrompt.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>

namespace platform {

namespace {

QMessageBox::StandardButtons standardButtons(Buttons b) {
    switch (b) {
    case Buttons::OK:
        return QMessageBox::Ok;
    case Buttons::OKCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo:
    case Buttons::YesNoDefaultNo:
        return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Buttons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    case Buttons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon boxIcon(Icon i) {
    switch (i) {
    case Icon::None:
        return QMessageBox::NoIcon;
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

// The answer a closed box (Escape, close button) gives: Cancel where there is one, else No, else OK.
Answer escapeAnswer(Buttons b) {
    switch (b) {
    case Buttons::OK:
        return Answer::OK;
    case Buttons::YesNo:
    case Buttons::YesNoDefaultNo:
        return Answer::No;
    case Buttons::AbortRetryIgnore:
        return Answer::Abort;
    default:
        return Answer::Cancel;
    }
}

} // namespace

Answer QtPrompt::show(const std::string& text, Buttons buttons, Icon icon, const std::string& title) {
    QMessageBox box(boxIcon(icon), QString::fromLocal8Bit(title.empty() ? std::string(kApplicationTitle) : title),
                    QString::fromLocal8Bit(text), standardButtons(buttons), m_parent);
    if (buttons == Buttons::YesNoDefaultNo)
        box.setDefaultButton(QMessageBox::No);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::OK;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Retry:
        return Answer::Retry;
    case QMessageBox::Abort:
        return Answer::Abort;
    case QMessageBox::Ignore:
        return Answer::Ignore;
    default:
        return escapeAnswer(buttons);
    }
}

void QtPrompt::processEvents() {
    QCoreApplication::processEvents();
}

void QtPrompt::setBusy(bool on) {
    if (on)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QGuiApplication::restoreOverrideCursor();
}

} // namespace platform
