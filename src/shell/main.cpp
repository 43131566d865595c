// Tessaly: the password gate, then the main window until it closes.

#include "core/SealKey.h"
#include "diagnostics/VersionOption.h"
#include "platform/CoreDumps.h"
#include "platform/Memory.h"
#include "platform/PrivateFiles.h"
#include "platform/QtPrompt.h"
#include "shell/HelpOption.h"
#include "shell/Icons.h"
#include "shell/Notifier.h"
#include "shell/OpenFiles.h"
#include "shell/AppLock.h"
#include "shell/PasswordGate.h"
#include "shell/frmPassword.h"
#include "shell/SingleInstance.h"
#include "shell/WindowPlacement.h"
#include "shell/frmMain.h"

#include <QApplication>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    // Passwords, keys and unlocked content never go to a core dump.
    platform::DisableCoreDumps();
    platform::KeepFreedMemoryForReuse();
    // Both are answered on standard output without a display.
    if (diagnostics::PrintVersionIfAsked(argc, argv) || shell::PrintHelpIfAsked(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessaly"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QApplication::setDesktopFileName(QStringLiteral("tessaly"));
    QApplication::setWindowIcon(shell::appIcon());
    // The main window may sit in the tray with no window shown; the program ends on Exit only.
    QApplication::setQuitOnLastWindowClosed(false);
    // Each window opens wholly on its screen, also where a large scale makes the screen small.
    shell::WindowsOnScreen onScreen(app);

    platform::QtPrompt prompt;
    // The program's data goes only to folders of the user's own, made private.
    if (const std::string problem = platform::PrivateFoldersProblem(); !problem.empty()) {
        std::fprintf(stderr, "tessaly: %s\n", problem.c_str());
        prompt.show(problem, platform::Buttons::OK, platform::Icon::Critical, "Tessaly");
        return 1;
    }
    platform::TightenPrivateFolders();
    // Files to open (`tessaly FILE...`, as the file manager starts it): a running instance takes
    // them and this one ends, before any password is asked. The running one asks only for the
    // files' own passwords (its password window first, when it is locked).
    const QStringList files = shell::AbsoluteFileArguments(QApplication::arguments().mid(1));
    if (!files.isEmpty() && shell::SingleInstance::forwardFiles(files))
        return 0;
    if (!shell::RunPasswordGate(prompt))
        return 0;

    frmMain window(prompt);
    prompt.setParent(&window);
    if (window.Form_Load() == frmMain::LoadResult::OtherInstanceActivated)
        return 0;
    QObject::connect(&window, &frmMain::exitConfirmed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    window.show();
    new shell::Notifier(window); // owned by the window
    // Locked again (the windows hidden, the wallet's key wiped) when the screen locks, after the idle
    // time of Options, and on restore from the tray when chosen; the password window opens it again.
    shell::AppLock appLock(window, [&prompt, &window] {
        frmPassword login(prompt);
        // Its boxes stand over it: the main window is hidden and switched off while locked.
        prompt.setParent(&login);
        login.exec();
        prompt.setParent(&window);
        return login.accepted();
    });
    window.setAppLock(&appLock);
    appLock.listenToScreenLock();
    QObject::connect(&appLock, &shell::AppLock::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    shell::FileOpener opener(window);
    QObject::connect(window.singleInstance(), &shell::SingleInstance::openRequested, &opener, &shell::FileOpener::open);
    opener.open(files);
    const int status = app.exec();
    window.setAppLock(nullptr);
    core::ClearSessionKey(); // the wallet's key is wiped before the program ends
    return status;
}
