#include "platform/QtPrompt.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <vector>

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

// The program's windows kept above all others (the progress window of a run) would cover a box under
// a window manager, text and buttons alike: they step aside while the box is up and come back after.
class StepAside final {
public:
    StepAside() {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() && top->testAttribute(Qt::WA_WState_Created) &&
                (top->windowFlags() & Qt::WindowStaysOnTopHint) && !(top->windowType() == Qt::Popup) &&
                !(top->windowType() == Qt::ToolTip)) {
                m_windows.emplace_back(top);
                top->hide();
            }
        }
    }
    ~StepAside() {
        for (const QPointer<QWidget>& w : m_windows)
            if (w)
                w->show();
    }
    StepAside(const StepAside&) = delete;
    StepAside& operator=(const StepAside&) = delete;

private:
    std::vector<QPointer<QWidget>> m_windows;
};

// A run of text without a space (a path, a long file name) longer than a box's line gets places to
// break: zero-width spaces after its separators and at least every 24 characters, so the box wraps it
// instead of growing past the screen. Shorter runs are left exactly as they are.
QString breakableText(const QString& text) {
    constexpr qsizetype kLongRun = 40;
    constexpr int kEvery = 24;
    const QChar kBreak(0x200B);
    QString out;
    out.reserve(text.size() + text.size() / 8);
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype end = i;
        while (end < text.size() && !text[end].isSpace())
            ++end;
        if (end - i <= kLongRun) {
            out += QStringView(text).mid(i, end - i);
        } else {
            int sinceBreak = 0;
            for (qsizetype k = i; k < end; ++k) {
                const QChar c = text[k];
                out += c;
                ++sinceBreak;
                // Never inside a character: not after a lead surrogate, not before a combining mark.
                const bool canBreak = k + 1 < end && !c.isHighSurrogate() && !text[k + 1].isLowSurrogate() &&
                                      !text[k + 1].isMark();
                const bool separator = c == u'\\' || c == u'/' || c == u'.' || c == u'_' || c == u'-';
                if (canBreak && (separator || sinceBreak >= kEvery)) {
                    out += kBreak;
                    sinceBreak = 0;
                }
            }
        }
        for (i = end; i < text.size() && text[i].isSpace(); ++i)
            out += text[i];
    }
    return out;
}

} // namespace

Answer QtPrompt::show(const std::string& text, Buttons buttons, Icon icon, const std::string& title) {
    QMessageBox box(boxIcon(icon), QString::fromLocal8Bit(title.empty() ? std::string(kApplicationTitle) : title),
                    breakableText(QString::fromLocal8Bit(text)), standardButtons(buttons), m_parent);
    if (buttons == Buttons::YesNoDefaultNo)
        box.setDefaultButton(QMessageBox::No);
    const StepAside aside;
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
