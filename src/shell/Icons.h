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
// The picture of a file's type, from the desktop's MIME database by the file's name (its content is
// not read): the icon theme's picture for the type, else for its kind ("text-x-generic"), else the
// style's plain file. One icon per type is made.
QIcon fileTypeIcon(const QString& fileName);

} // namespace shell
