#include "favourites/FavouritesWidgets.h"

#include "diagnostics/ErrorReport.h"
#include "platform/Environment.h"
#include "platform/SysError.h"

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeView>

namespace favourites {

QString qText(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string bytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

FavouritesModel::FavouritesModel(bool checkable, QIcon icon, QObject* parent)
    : QAbstractTableModel(parent), m_checkable(checkable), m_icon(std::move(icon)) {}

void FavouritesModel::setRows(std::vector<FavouriteRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

std::vector<FavouriteRow> FavouritesModel::checkedRows() const {
    std::vector<FavouriteRow> out;
    for (const FavouriteRow& r : m_rows)
        if (r.checked)
            out.push_back(r);
    return out;
}

void FavouritesModel::setAllChecked(bool checked) {
    if (!m_checkable || m_rows.empty())
        return;
    for (FavouriteRow& r : m_rows)
        r.checked = checked;
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

int FavouritesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FavouritesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant FavouritesModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const FavouriteRow& r = row(index.row());
    const bool first = index.column() == 0;
    switch (role) {
    case Qt::DisplayRole:
        return qText(first ? r.text : r.url);
    case Qt::ToolTipRole:
        return first ? QVariant(qText(r.url)) : QVariant();
    case Qt::DecorationRole:
        return first ? QVariant(m_icon) : QVariant();
    case Qt::CheckStateRole:
        return first && m_checkable ? QVariant(r.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case KeyRole:
        return QByteArray::fromStdString(first ? r.key : r.text);
    case UrlRole:
        return first ? QVariant(QByteArray::fromStdString(r.url)) : QVariant();
    case RecordRole:
        return first && r.record ? QVariant::fromValue<qulonglong>(*r.record) : QVariant();
    default:
        return {};
    }
}

bool FavouritesModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole || !m_checkable)
        return false;
    m_rows.at(static_cast<std::size_t>(index.row())).checked =
        value.value<Qt::CheckState>() == Qt::Checked || value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags FavouritesModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == 0 && m_checkable)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant FavouritesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("Description") : QStringLiteral("URL");
}

QTreeView* makeFavouritesList(QWidget* owner, const char* name, bool checkable) {
    auto* list = new QTreeView(owner);
    list->setObjectName(QString::fromLatin1(name));
    list->setModel(new FavouritesModel(checkable, list->style()->standardIcon(QStyle::SP_FileLinkIcon), list));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setAccessibleName(QStringLiteral("Favorites"));
    list->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    list->header()->resizeSection(0, 220);
    return list;
}

FavouritesModel* favouritesModel(const QTreeView* list) {
    return static_cast<FavouritesModel*>(list->model());
}

std::vector<FavouriteRow> favouriteRows(const std::vector<Favourite>& favourites) {
    std::vector<FavouriteRow> rows;
    rows.reserve(favourites.size());
    for (const Favourite& f : favourites)
        rows.push_back({f.description, f.url, f.description, f.record, false});
    return rows;
}

Favourite rowFavourite(const FavouriteRow& row) {
    Favourite f{row.text, row.url};
    if (row.record)
        f.record = *row.record;
    return f;
}

std::optional<FavouriteRow> selectedRow(const QTreeView* list) {
    const QModelIndex current = list->currentIndex();
    if (!current.isValid() || !list->selectionModel()->isRowSelected(current.row(), QModelIndex()))
        return std::nullopt;
    return favouritesModel(list)->row(current.row());
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
