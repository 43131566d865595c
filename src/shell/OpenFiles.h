// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files the program is started with (`tessaly FILE...`, as a file manager starts it) or that a later
// instance hands over: a locked file opens its own "Tessaly -Unlock File" window, a plain file or a
// folder is shown in the main window's browser pane. While the program is locked, the files wait
// for the right application password: the password window comes first, then the files.

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <string>
#include <vector>

class frmMain;

namespace shell {

class UnlockFileWindow;

class FileOpener final : public QObject {
    Q_OBJECT
public:
    explicit FileOpener(frmMain& window, QObject* parent = nullptr);

    // Host paths (relative ones against the current folder), in order; kept until the unlock while
    // the program is locked.
    void open(const QStringList& hostFiles);
    // The unlock windows that are open.
    std::vector<UnlockFileWindow*> unlockWindows() const;

private:
    void openOne(const std::string& hostPath);
    void showInBrowser(const std::string& windowsPath, bool isFolder);

    frmMain& m_window;
    std::vector<QPointer<UnlockFileWindow>> m_unlockWindows;
    QStringList m_waiting; // absolute host paths handed over while locked
};

// Each argument as an absolute host path (the arguments after the program's name; Qt's own options
// are already taken out by QApplication). Other options are passed over; after "--" every argument
// is a file.
QStringList AbsoluteFileArguments(const QStringList& arguments);

} // namespace shell
