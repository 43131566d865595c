#pragma once
// The program's pictures: the application icon, the lock picture of the file list, the tree's
// folder pictures and the lock toolbar's pictures.

#include <QIcon>

namespace shell {

QIcon appIcon();
QIcon lockIcon();         // "lock" of ImageList1
QIcon folderClosedIcon(); // image 1 of img1
QIcon folderOpenIcon();   // image 2 of img1
// The picture of a lock toolbar button by its key ("Lock", "Unlock", "LockFolder", ...).
QIcon toolbarIcon(const QString& key);

} // namespace shell
