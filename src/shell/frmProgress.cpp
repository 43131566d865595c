#include "shell/frmProgress.h"

#include "shell/GateWidgets.h"
#include "shell/WindowPlacement.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

frmProgress::frmProgress(QWidget* owner)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QStringLiteral("Tessaly"));
    setAttribute(Qt::WA_ShowWithoutActivating);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Raised);
    frame->setLineWidth(1);
    m_lblMessage = new QLabel(frame);
    m_lblMessage->setObjectName(QStringLiteral("lblMessage"));
    m_lblMessage->setAlignment(Qt::AlignCenter);
    m_lblMessage->setMinimumWidth(320);
    QFont bold = m_lblMessage->font();
    bold.setBold(true);
    m_lblMessage->setFont(bold);
    m_bar = new QProgressBar(frame);
    m_bar->setObjectName(QStringLiteral("pbProgress"));
    m_bar->setRange(0, 1000);
    m_bar->setTextVisible(false);
    m_bar->hide();

    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(24, 18, 24, 18);
    inner->addWidget(m_lblMessage);
    inner->addWidget(m_bar);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

void frmProgress::setMessage(const std::string& text) {
    m_lblMessage->setText(shell::fromBytes(text));
}

QString frmProgress::message() const {
    return m_lblMessage->text();
}

void frmProgress::setProgress(std::uint64_t done, std::uint64_t total) {
    if (total == 0) {
        m_bar->hide();
        return;
    }
    const double part = static_cast<double>(std::min(done, total)) / static_cast<double>(total);
    m_bar->setValue(static_cast<int>(part * 1000));
    m_bar->show();
}

void frmProgress::showCentered() {
    shell::CentreOverOwner(this);
    show();
    raise();
    repaint();
}
