// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/OpenFiles.h"

#include "locking/FileCommands.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Opener.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "shell/AppLock.h"
#include "shell/BrowserPane.h"
#include "shell/UnlockFileWindow.h"
#include "shell/frmMain.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>
#include <utility>

namespace shell {

namespace {

std::string bytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

QStringList AbsoluteFileArguments(const QStringList& arguments) {
    QStringList files;
    bool optionsEnded = false;
    for (const QString& a : arguments) {
        if (!optionsEnded && a == QLatin1String("--"))
            optionsEnded = true;
        else if (!a.isEmpty() && (optionsEnded || !a.startsWith(QLatin1Char('-'))))
            files << QDir::cleanPath(QFileInfo(a).absoluteFilePath());
    }
    return files;
}

FileOpener::FileOpener(frmMain& window, QObject* parent) : QObject(parent), m_window(window) {
    connect(&window, &frmMain::appLocked, this, [this](bool locked) {
        if (!locked)
            open(std::exchange(m_waiting, {}));
    });
}

std::vector<UnlockFileWindow*> FileOpener::unlockWindows() const {
    std::vector<UnlockFileWindow*> open;
    for (const auto& w : m_unlockWindows)
        if (w)
            open.push_back(w.data());
    return open;
}

void FileOpener::open(const QStringList& hostFiles) {
    if (m_window.appLock() && m_window.appLock()->isLocked()) {
        m_waiting += AbsoluteFileArguments(hostFiles);
        m_window.appLock()->showGate();
        return;
    }
    for (const QString& file : AbsoluteFileArguments(hostFiles))
        openOne(bytes(file));
}

void FileOpener::openOne(const std::string& hostPath) {
    platform::Prompt& prompt = m_window.prompt();
    const std::string path = platform::toWindows(hostPath);
    if (path.empty()) {
        prompt.show("'" + hostPath + "' lies on no drive Tessaly knows, so Tessaly cannot open it.",
                    platform::Buttons::OK, platform::Icon::Exclamation);
        return;
    }
    std::error_code ec;
    const auto status = std::filesystem::status(hostPath, ec);
    if (ec || !std::filesystem::exists(status)) {
        prompt.show("'" + path + "' was not found.", platform::Buttons::OK, platform::Icon::Exclamation);
        return;
    }
    if (std::filesystem::is_directory(status)) {
        showInBrowser(path, true);
        return;
    }
    bool locked = false;
    try {
        locked = locking::HasSecretMarker(path);
    } catch (const platform::SysError& e) {
        prompt.show("'" + path + "' could not be read: " + e.description(), platform::Buttons::OK,
                    platform::Icon::Exclamation);
        return;
    }
    if (!locked) {
        showInBrowser(path, false);
        return;
    }
    // One window per locked file: opening it again brings its window forward.
    for (UnlockFileWindow* w : unlockWindows()) {
        if (w->lockedPath() == path) {
            w->raise();
            w->activateWindow();
            return;
        }
    }
    auto* w = new UnlockFileWindow(path, m_window.registerPath(), prompt, &m_window);
    w->setOtherCommandBusy([window = QPointer<frmMain>(&m_window)] { return window && window->isCommandBusy(); });
    // While it unlocks, the main window's commands that change files wait, as for its own runs.
    connect(w, &UnlockFileWindow::busyChanged, &m_window, &frmMain::setCommandBusy);
    // The file was opened to be read: once unlocked it opens, as a double click on it does.
    connect(w, &UnlockFileWindow::unlocked, &m_window, [this](const std::string& restored) {
        const std::size_t slash = restored.rfind('\\');
        if (slash != std::string::npos &&
            restored.substr(0, slash == 2 ? 3 : slash) == m_window.browser().currentFolder())
            m_window.browser().refreshBrowser();
        try {
            if (slash != std::string::npos && slash + 1 < restored.size() && platform::exists(restored) &&
                !platform::isFolder(restored))
                platform::openDefault(restored);
        } catch (const platform::SysError& e) {
            m_window.prompt().show("'" + restored + "' was unlocked, but it could not be opened: " + e.reason() + ".",
                                   platform::Buttons::OK, platform::Icon::Exclamation);
        }
    });
    m_unlockWindows.emplace_back(w);
    w->show();
    w->raise();
    w->activateWindow();
}

void FileOpener::showInBrowser(const std::string& windowsPath, bool isFolder) {
    const std::size_t slash = windowsPath.rfind('\\');
    std::string folder = isFolder ? windowsPath : windowsPath.substr(0, slash == 2 ? 3 : slash);
    if (folder.size() == 2)
        folder += '\\';
    m_window.restoreToFront();
    // The file's row is looked for once its folder is listed: while the pane waits for a read, the
    // whole step waits too.
    BrowserPane& pane = m_window.browser();
    pane.whenIdle([&pane, folder, isFolder, name = windowsPath.substr(slash + 1)] {
        pane.setDrive(folder[0]);
        pane.setCurrentFolder(folder);
        if (!isFolder)
            pane.setCurrentFileRow(pane.fileModel()->rowOfKey(name));
    });
}

} // namespace shell
