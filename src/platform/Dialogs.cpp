#include "platform/Dialogs.h"

#include "platform/Environment.h"
#include "platform/SysError.h"

#include <QFileDialog>
#include <QString>

namespace platform {

namespace {

// The host folder the dialog opens at: the start folder's, or the home folder when it has none.
QString startFolder(const std::string& startWindowsFolder) {
    if (startWindowsFolder.empty())
        return QString();
    try {
        return QString::fromLocal8Bit(toHost(startWindowsFolder));
    } catch (const SysError&) {
        return QString();
    }
}

std::string answer(const QString& chosen) {
    if (chosen.isEmpty())
        return std::string();
    return toWindows(chosen.toLocal8Bit().toStdString());
}

} // namespace

std::string pickFolder(QWidget* owner, const std::string& title, const std::string& startWindowsFolder) {
    return answer(QFileDialog::getExistingDirectory(owner, QString::fromLocal8Bit(title),
                                                    startFolder(startWindowsFolder), QFileDialog::ShowDirsOnly));
}

std::string pickOpenFile(QWidget* owner, const std::string& title, const std::string& startWindowsFolder,
                         const std::string& filter) {
    return answer(QFileDialog::getOpenFileName(owner, QString::fromLocal8Bit(title), startFolder(startWindowsFolder),
                                               QString::fromLocal8Bit(filter)));
}

} // namespace platform
