#pragma once
// The hidden file list box of the main window: its path is the current folder, its items are the
// names of the files there (hidden and system files too) in natural order. Setting the path always
// re-reads the folder and announces the change, so that the visible file list is rebuilt. The names
// are held as the bytes on disk and shown through a string list model, put in at once.

#include <QListView>

#include <string>
#include <vector>

class QStringListModel;

class FileListBox final : public QListView {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    const std::string& path() const { return m_path; }
    void setPath(const std::string& windowsFolder);
    // Re-reads the names from the disk (no announcement).
    void refresh();
    // Puts names read elsewhere from the folder of path() (no announcement).
    void setNames(std::vector<std::string> names);
    int count() const { return static_cast<int>(m_names.size()); }
    std::string name(int index) const;

signals:
    void pathChanged();

private:
    std::string m_path;
    std::vector<std::string> m_names;
    QStringListModel* m_model = nullptr;
};
