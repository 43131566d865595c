#include "shell/FileListBox.h"

#include "shell/BrowserListing.h"
#include "shell/GateWidgets.h"

#include <QByteArray>

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("filFiles"));
    hide();
}

void FileListBox::setPath(const std::string& windowsFolder) {
    m_path = windowsFolder;
    emit pathChanged();
}

void FileListBox::refresh() {
    clear();
    if (m_path.empty())
        return;
    for (const auto& name : shell::ListFileNames(m_path)) {
        auto* row = new QListWidgetItem(shell::fromBytes(name), this);
        row->setData(Qt::UserRole, QByteArray::fromStdString(name)); // the exact bytes on disk
    }
}

std::string FileListBox::name(int index) const {
    const QListWidgetItem* it = item(index);
    return it ? it->data(Qt::UserRole).toByteArray().toStdString() : std::string();
}
