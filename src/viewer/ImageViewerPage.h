#pragma once
// The image viewer's page (the main window's panel fraMain(1)): the toolbar `tbrMain` (Browse, Edit,
// Refresh, and Minimize under the key "Show"), the sheet of thumbnails of the chosen folder,
// `lblCount`, and the thumbnail size (a slider, and Ctrl + wheel over the sheet; kept in the
// settings). Thumbnails are decoded on a pool of threads and appear as they are done; the window
// stays responsive, and a new Browse, Refresh or size cancels the build still running. Once a build
// is done, the count says how many images could not be read, and the label's tool tip names them.
// The page tells its host what goes in status bar panel 2 (the folder or the chosen image, its tool
// tip) and the progress of a build.

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QLabel;
class QSlider;
class QToolBar;

namespace platform {
class Prompt;
}

namespace viewer {

class ThumbnailBuilder;
class ThumbnailModel;
class ThumbSheet;

class ImageViewerPage final : public QWidget {
    Q_OBJECT
public:
    // Asks for a folder (Windows form, "" when cancelled); the folder dialog by default.
    using FolderPicker = std::function<std::string(QWidget* owner)>;

    explicit ImageViewerPage(platform::Prompt& prompt, QWidget* parent = nullptr);
    ~ImageViewerPage() override;

    void setFolderPicker(FolderPicker picker) { m_pickFolder = std::move(picker); }

    // The commands of the toolbar, by key: "Browse", "Edit", "Refresh", "Show".
    void toolbarClicked(const QString& key);
    void chooseFolder();                              // Browse
    void buildThumbnails();                           // Refresh, and after a folder is chosen
    void openSelectedImage();                         // Edit, and a double click on a thumbnail
    void setFolder(const std::string& windowsFolder); // the viewer's folder changed
    void selectThumbnail(int index);                  // a click on thumbnail `index`
    // The largest a picture is drawn, in units (48 to 256; 68 at first). A new size is kept in the
    // settings and the folder's thumbnails are read again at it.
    int thumbnailSize() const;
    void setThumbnailSize(int size);

    const std::string& folder() const { return m_folder; }
    // The row of the chosen image (the first before any was chosen); -1 while its thumbnail is not there.
    int selectedIndex() const;
    bool isBuilding() const;
    ThumbnailModel* model() const { return m_model; }
    ThumbSheet* sheet() const { return m_sheet; }
    QLabel* lblCount() const { return m_lblCount; }
    QToolBar* tbrMain() const { return m_tbrMain; }

signals:
    void panelTextChanged(const QString& text);   // status bar panel 2
    void panelToolTipChanged(const QString& tip); // its tool tip
    void progressShown(bool shown);               // the progress bar over panel 2
    void progressChanged(int percent);            // 0 to 100
    void buildFinished();

private:
    void onThumbnail(int fileIndex, const QImage& picture);
    void onProgress(int done, int total);
    void onFinished();
    void showSelection();
    void showCount(bool done);
    void fitCaptions();
    std::string imagePath(int index) const;

    platform::Prompt& m_prompt;
    FolderPicker m_pickFolder;
    std::string m_folder;
    std::vector<std::string> m_names; // the files of the running or last build
    std::vector<bool> m_arrived;      // which of them have a thumbnail
    // The chosen image by its file name, so that the choice stays on it while thumbnails arrive and
    // go in before it; "" before any choice. Survives rebuilds of the same folder.
    std::string m_selectedName;
    bool m_showingSelection = false;

    QToolBar* m_tbrMain = nullptr;
    ThumbSheet* m_sheet = nullptr;
    QLabel* m_lblCount = nullptr;
    QSlider* m_sldThumbSize = nullptr;
    ThumbnailModel* m_model = nullptr;
    ThumbnailBuilder* m_builder = nullptr;
};

} // namespace viewer
