#pragma once
// The hidden file list box of the main window: its path is the current folder, its items are the
// names of the files there (hidden and system files too) in the order the listing gives them.
// Setting the path always re-reads the folder and announces the change, so that the visible file
// list is rebuilt.

#include <QListWidget>

#include <string>

class FileListBox final : public QListWidget {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    const std::string& path() const { return m_path; }
    void setPath(const std::string& windowsFolder);
    // Re-reads the names from the disk (no announcement).
    void refresh();
    std::string name(int index) const;

signals:
    void pathChanged();

private:
    std::string m_path;
};
