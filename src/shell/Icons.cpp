#include "shell/Icons.h"

#include <QApplication>
#include <QHash>
#include <QMimeDatabase>
#include <QStyle>

// Resources of a static library are registered by hand, once.
static void initResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(tessaly);
        return true;
    }();
    (void)done;
}

namespace shell {

QIcon appIcon() {
    initResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/tessaly/icons/tessaly-%1.png").arg(size), QSize(size, size));
    return icon;
}

QIcon lockIcon() {
    initResources();
    return QIcon(QStringLiteral(":/tessaly/icons/lock.png"));
}

QIcon folderClosedIcon() {
    return QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon);
}

QIcon folderOpenIcon() {
    return QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
}

QIcon toolbarIcon(const QString& key) {
    initResources();
    QString file;
    if (key == QLatin1String("Lock"))
        file = QStringLiteral("lock");
    else if (key == QLatin1String("Unlock"))
        file = QStringLiteral("unlock");
    else if (key == QLatin1String("LockFolder"))
        file = QStringLiteral("folder-lock");
    else if (key == QLatin1String("UnlockFolder"))
        file = QStringLiteral("folder-unlock");
    else if (key == QLatin1String("SafeVault"))
        file = QStringLiteral("vault");
    else if (key == QLatin1String("SendEmail"))
        file = QStringLiteral("mail");
    return file.isEmpty() ? QIcon() : QIcon(QStringLiteral(":/tessaly/icons/%1.png").arg(file));
}

QIcon walletFieldIcon(const QString& field) {
    initResources();
    QString file;
    if (field == QLatin1String("Description"))
        file = QStringLiteral("tag");
    else if (field == QLatin1String("Server"))
        file = QStringLiteral("server");
    else if (field == QLatin1String("UserName"))
        file = QStringLiteral("user");
    else if (field == QLatin1String("Password"))
        file = QStringLiteral("key");
    return file.isEmpty() ? QIcon() : QIcon(QStringLiteral(":/tessaly/icons/%1.png").arg(file));
}

QIcon fileTypeIcon(const QString& fileName) {
    // Kept by theme and type: a theme chosen meanwhile gets its own pictures.
    static QHash<QString, QIcon> byType;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    const QString key = QIcon::themeName() + QLatin1Char('/') + type.name();
    auto found = byType.constFind(key);
    if (found != byType.constEnd())
        return *found;
    const QIcon plain = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName(), plain));
    byType.insert(key, icon);
    return icon;
}

} // namespace shell
