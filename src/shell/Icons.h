#pragma once
// The program's pictures: the application icon, the lock picture of the file list, the tree's
// folder pictures, the lock toolbar's pictures and those beside the wallet's boxes.

#include <QIcon>

namespace shell {

QIcon appIcon();
QIcon lockIcon();         // "lock" of ImageList1
QIcon folderClosedIcon(); // image 1 of img1
QIcon folderOpenIcon();   // image 2 of img1
// The picture of a lock toolbar button by its key ("Lock", "Unlock", "LockFolder", ...).
QIcon toolbarIcon(const QString& key);
// The picture beside a wallet box by its field ("Description" a tag, "Server" a server, "UserName" a
// person, "Password" a key); none for another name.
QIcon walletFieldIcon(const QString& field);
// The picture of a file's type, from the desktop's MIME database by the file's name (its content is
// not read): the icon theme's picture for the type, else for its kind ("text-x-generic"), else the
// style's plain file. One icon per type is made.
QIcon fileTypeIcon(const QString& fileName);

} // namespace shell
