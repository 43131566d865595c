#include "shell/FileListBox.h"

#include "shell/BrowserListing.h"
#include "shell/GateWidgets.h"

#include <QStringListModel>

#include <utility>

FileListBox::FileListBox(QWidget* parent) : QListView(parent), m_model(new QStringListModel(this)) {
    setObjectName(QStringLiteral("filFiles"));
    setModel(m_model);
    hide();
}

void FileListBox::setPath(const std::string& windowsFolder) {
    m_path = windowsFolder;
    emit pathChanged();
}

void FileListBox::refresh() {
    setNames(m_path.empty() ? std::vector<std::string>() : shell::ListFileNames(m_path));
}

void FileListBox::setNames(std::vector<std::string> names) {
    m_names = std::move(names);
    QStringList shown;
    shown.reserve(static_cast<qsizetype>(m_names.size()));
    for (const std::string& name : m_names)
        shown.append(shell::fromBytes(name));
    m_model->setStringList(shown);
}

std::string FileListBox::name(int index) const {
    return index >= 0 && index < count() ? m_names[static_cast<std::size_t>(index)] : std::string();
}
