#include "favourites/FavouritesWidgets.h"

#include "diagnostics/ErrorReport.h"
#include "platform/Environment.h"
#include "platform/SysError.h"

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

namespace favourites {

QString qText(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string bytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

QTreeWidget* makeFavouritesList(QWidget* owner, const char* name) {
    auto* list = new QTreeWidget(owner);
    list->setObjectName(QString::fromLatin1(name));
    list->setColumnCount(2);
    list->setHeaderLabels({QStringLiteral("Description"), QStringLiteral("URL")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAccessibleName(QStringLiteral("Favorites"));
    list->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    list->header()->resizeSection(0, 220);
    return list;
}

namespace {

QTreeWidgetItem* makeItem(const QIcon& icon, const std::string& text, const std::string& url, const std::string& key,
                          bool checkable) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, qText(text));
    item->setText(1, qText(url));
    item->setToolTip(0, qText(url));
    item->setIcon(0, icon);
    item->setData(0, KeyRole, QByteArray::fromStdString(key));
    item->setData(0, UrlRole, QByteArray::fromStdString(url));
    item->setData(1, KeyRole, QByteArray::fromStdString(text));
    if (checkable)
        item->setCheckState(0, Qt::Unchecked);
    return item;
}

} // namespace

QTreeWidgetItem* addFavouriteItem(QTreeWidget* list, const std::string& text, const std::string& url,
                                  const std::string& key, bool checkable) {
    QTreeWidgetItem* item = makeItem(list->style()->standardIcon(QStyle::SP_FileLinkIcon), text, url, key, checkable);
    list->addTopLevelItem(item);
    return item;
}

void fillFavouritesList(QTreeWidget* list, const std::vector<Favourite>& favourites, bool checkable) {
    const QIcon icon = list->style()->standardIcon(QStyle::SP_FileLinkIcon);
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(favourites.size()));
    for (const Favourite& f : favourites) {
        QTreeWidgetItem* item = makeItem(icon, f.description, f.url, f.description, checkable);
        item->setData(0, RecordRole, QVariant::fromValue<qulonglong>(f.record));
        items.append(item);
    }
    list->addTopLevelItems(items);
}

Favourite itemFavourite(const QTreeWidgetItem* item) {
    Favourite f{itemText(item), itemUrl(item)};
    const QVariant record = item->data(0, RecordRole);
    if (record.isValid())
        f.record = static_cast<std::size_t>(record.toULongLong());
    return f;
}

std::string itemKey(const QTreeWidgetItem* item) {
    return item->data(0, KeyRole).toByteArray().toStdString();
}

std::string itemText(const QTreeWidgetItem* item) {
    return item->data(1, KeyRole).toByteArray().toStdString();
}

std::string itemUrl(const QTreeWidgetItem* item) {
    return item->data(0, UrlRole).toByteArray().toStdString();
}

QPushButton* makeButton(QWidget* owner, const char* name, const char* caption) {
    auto* b = new QPushButton(QString::fromLatin1(caption), owner);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QLineEdit* makeLabelledBox(QWidget* owner, const char* labelName, const char* caption, const char* boxName,
                           QLabel** label) {
    auto* l = new QLabel(QString::fromLatin1(caption), owner);
    l->setObjectName(QString::fromLatin1(labelName));
    auto* box = new QLineEdit(owner);
    box->setObjectName(QString::fromLatin1(boxName));
    l->setBuddy(box);
    if (label)
        *label = l;
    return box;
}

ErrorSink reporter(const char* objectName, const char* procedure) {
    return [objectName, procedure](int number, const std::string& description) {
        ReportError(objectName, number, description, procedure);
    };
}

std::string chooseBookmarksFile(QWidget* owner, bool save) {
    const QString filter = QStringLiteral("Bookmarks files (*.html *.htm);;All files (*)");
    const QString host =
        save ? QFileDialog::getSaveFileName(owner, QStringLiteral("Export Bookmarks File"),
                                            QDir::home().filePath(QStringLiteral("bookmarks.html")), filter)
             : QFileDialog::getOpenFileName(owner, QStringLiteral("Import Bookmarks File"), QDir::homePath(), filter);
    if (host.isEmpty())
        return {};
    try {
        return platform::toWindows(bytes(host));
    } catch (const platform::SysError&) {
        return {};
    }
}

} // namespace favourites
