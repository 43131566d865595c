// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/UnlockFileWindow.h"

#include "core/LockChecks.h"
#include "core/PasswordRules.h"
#include "core/Register.h"
#include "locking/FileCommands.h"
#include "locking/frmFilePassword.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/modFileFunctions.h"
#include "shell/Icons.h"
#include "shell/WindowPlacement.h"
#include "shell/frmProgress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <memory>

namespace shell {

namespace {

constexpr const char* kTitle = "Tessaly -Unlock File";

std::string folderPart(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 2 ? 3 : slash);
}

std::string namePart(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withBackslash(const std::string& folder) {
    return !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
}

QString fromBytes(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The name the file gets back by its unlock: a strong locked file's from the register (its own
// name is random), any other's from its locked name.
std::string restoredName(const std::string& lockedPath, const std::string& registerPath) {
    if (platform::upperText(GetExtension(lockedPath)) != "TSX")
        return core::ShownName(lockedPath);
    return core::StrongLockedName(core::QuietRegisterEntries(registerPath, core::RegisterKind::StrongFile), lockedPath);
}

} // namespace

UnlockFileWindow::UnlockFileWindow(const std::string& lockedPath, const std::string& registerPath,
                                   platform::Prompt& prompt, QWidget* parent)
    : QWidget(parent, Qt::Window), m_prompt(prompt), m_lockedPath(lockedPath), m_folder(folderPart(lockedPath)),
      m_diskName(namePart(lockedPath)), m_shownName(core::ShownName(lockedPath)), m_restoredName(restoredName(lockedPath, registerPath)),
      m_registerPath(registerPath) {
    setObjectName(QStringLiteral("frmUnlockFile"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowIcon(appIcon());
    setAttribute(Qt::WA_DeleteOnClose);

    m_lblFile = new QLabel(shownText(), this);
    m_lblFile->setObjectName(QStringLiteral("lblFile"));
    m_lblFile->setTextFormat(Qt::PlainText);
    m_lblFile->setWordWrap(true);
    m_lblFile->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QLabel* lblPassword = nullptr;
    m_txtPassword = locking::makeFilePasswordBox(this, &lblPassword);
    m_txtPassword->setAccessibleName(QStringLiteral("Password"));

    m_cmdUnlock = new QPushButton(QStringLiteral("Unlock"), this);
    m_cmdUnlock->setObjectName(QStringLiteral("cmdUnlock"));
    m_cmdUnlock->setDefault(true);
    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(m_cmdUnlock, &QPushButton::clicked, this, &UnlockFileWindow::cmdUnlock_click);
    connect(m_txtPassword, &QLineEdit::returnPressed, this, &UnlockFileWindow::cmdUnlock_click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &QWidget::close);
    // Escape closes it, as it closes any dialog.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    auto* form = new QFormLayout;
    form->addRow(lblPassword, m_txtPassword);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdUnlock);
    buttons->addWidget(m_cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lblFile);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(420);
    m_txtPassword->setFocus();
}

QString UnlockFileWindow::shownText() const {
    // A strong locked file's shown name says already that it is locked ("letter.txt (strong lock)").
    const bool saysLocked = m_shownName != m_diskName && platform::upperText(GetExtension(m_diskName)) == "TSX";
    return fromBytes(core::ShownPath(m_registerPath, withBackslash(m_folder) + m_shownName) +
                     (saysLocked ? "" : " (locked)"));
}

void UnlockFileWindow::setBusy(bool busy) {
    m_busy = busy;
    m_cmdUnlock->setEnabled(!busy);
    m_cmdCancel->setEnabled(!busy);
    m_txtPassword->setEnabled(!busy);
    emit busyChanged(busy);
}

void UnlockFileWindow::showEvent(QShowEvent* event) {
    if (!m_placed) {
        m_placed = true;
        CentreOverOwner(this);
    }
    QWidget::showEvent(event);
}

void UnlockFileWindow::cmdUnlock_click() {
    if (m_busy || (m_otherBusy && m_otherBusy()))
        return;
    // No password is no try: the user is asked for one, not told that it was wrong.
    if (m_txtPassword->text().isEmpty()) {
        m_prompt.show(core::kTypePasswordMessage, platform::Buttons::OK, platform::Icon::Exclamation);
        takeFocusBack();
        return;
    }
    locking::FileBatch batch;
    batch.folder = m_folder;
    batch.checked = {{m_diskName, m_shownName}};
    batch.password = m_txtPassword->text().toLocal8Bit().toStdString();
    batch.registerPath = m_registerPath;
    batch.windowName = "frmUnlockFile";
    try {
        batch.ownExecutable = platform::toWindows(QCoreApplication::applicationFilePath().toLocal8Bit().toStdString());
    } catch (const platform::SysError&) {
        // Without its own path the run simply has no executable to leave alone.
    }

    // The progress window of the main window's runs, over this one.
    std::unique_ptr<frmProgress> progress;
    locking::RunHooks hooks;
    hooks.showProgress = [&](const std::string& message) {
        progress = std::make_unique<frmProgress>(this);
        progress->setMessage(message);
        progress->showCentered();
    };
    hooks.progress = [&](int done, int total) {
        if (progress)
            progress->setProgress(static_cast<std::uint64_t>(done), static_cast<std::uint64_t>(total));
    };
    hooks.closeProgress = [&] { progress.reset(); };

    QPointer<UnlockFileWindow> self(this);
    setBusy(true);
    const locking::RunResult result = locking::UnlockFiles(batch, m_prompt, hooks);
    progress.reset();
    if (!self)
        return;
    setBusy(false);
    bool stillLocked = true;
    try {
        stillLocked = platform::exists(m_lockedPath) && locking::HasSecretMarker(m_lockedPath);
    } catch (const platform::SysError&) {
        // Cannot be looked at: taken as still locked, so nothing claims success.
    }
    if (result.end == locking::RunEnd::Completed && !stillLocked) {
        // Without a name to tell (a strong locked file the register does not know), the folder.
        emit unlocked(withBackslash(m_folder) + m_restoredName);
        close();
        return;
    }
    takeFocusBack();
}

void UnlockFileWindow::takeFocusBack() {
    // After a message the window, not the main window behind it, has the focus again.
    raise();
    activateWindow();
    m_txtPassword->selectAll();
    m_txtPassword->setFocus();
}

void UnlockFileWindow::closeEvent(QCloseEvent* event) {
    // A run in progress finishes first: the file is in the middle of being replaced.
    if (m_busy) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace shell
