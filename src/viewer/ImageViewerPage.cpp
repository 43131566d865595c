#include "viewer/ImageViewerPage.h"

#include "viewer/ThumbSheet.h"
#include "viewer/ThumbnailEngine.h"
#include "viewer/ThumbnailModel.h"
#include "viewer/basThumbs.h"

#include "diagnostics/ErrorReport.h"
#include "platform/Environment.h"
#include "platform/Opener.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/BrowseForFolder.h"
#include "settings/SettingsTable.h"
#include "settings/modFileFunctions.h"

#include <QAction>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QScrollBar>
#include <QSlider>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace viewer {

static_assert(settings::ThumbnailSize.fallback == kDefaultThumbnailSize,
              "the stored thumbnail size defaults to the viewer's own size");

namespace {

// Margins and gaps of the panel: 100 and 50 twips.
constexpr int kMargin = 7;
constexpr int kGap = 3;

} // namespace

ImageViewerPage::ImageViewerPage(platform::Prompt& prompt, QWidget* parent)
    : QWidget(parent), m_prompt(prompt),
      m_pickFolder([](QWidget* owner) { return BrowseForFolder(owner, "Select a Folder with Images..."); }) {
    setObjectName(QStringLiteral("ImageViewerPage"));

    m_tbrMain = new QToolBar(this);
    m_tbrMain->setObjectName(QStringLiteral("tbrMain"));
    m_tbrMain->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_tbrMain->setIconSize(QSize(24, 24));
    struct Tool {
        const char* key;
        const char* caption;
        const char* tip;
        QStyle::StandardPixmap icon;
    };
    const Tool tools[] = {{"Browse", "&Browse", "Select a Folder", QStyle::SP_DirOpenIcon},
                          {"Edit", "&Edit", "Open selected image in an Editor", QStyle::SP_FileDialogContentsView},
                          {"Refresh", "&Refresh", "Refresh Thumbnails", QStyle::SP_BrowserReload},
                          {nullptr, nullptr, nullptr, QStyle::SP_CustomBase},
                          {"Show", "&Minimize", "Minimize the window", QStyle::SP_TitleBarMinButton}};
    for (const Tool& t : tools) {
        if (!t.key) {
            m_tbrMain->addSeparator();
            continue;
        }
        auto* a = new QAction(style()->standardIcon(t.icon), QString::fromLatin1(t.caption), this);
        a->setObjectName(QString::fromLatin1(t.key));
        a->setData(QString::fromLatin1(t.key));
        a->setToolTip(QString::fromLatin1(t.tip));
        m_tbrMain->addAction(a);
        // Each button is known by its caption (the key stays the action's name, for dispatch).
        QWidget* button = m_tbrMain->widgetForAction(a);
        button->setObjectName(QStringLiteral("tbrMain") + QString::fromLatin1(t.key));
        button->setAccessibleName(a->text().remove(QLatin1Char('&')));
        button->setAccessibleDescription(a->toolTip());
    }
    connect(m_tbrMain, &QToolBar::actionTriggered, this, [this](QAction* a) { toolbarClicked(a->data().toString()); });

    // The viewing area: a frame around the sheet.
    auto* picThumbMain = new QFrame(this);
    picThumbMain->setObjectName(QStringLiteral("picThumbMain"));
    picThumbMain->setFrameShape(QFrame::StyledPanel);
    m_sheet = new ThumbSheet(picThumbMain);
    m_model = new ThumbnailModel(this);
    m_sheet->setModel(m_model);
    m_sheet->setThumbnailSize(ClampThumbnailSize(settings::ThumbnailSize.get()));
    fitCaptions();
    auto* frameLayout = new QVBoxLayout(picThumbMain);
    frameLayout->setContentsMargins(kGap, kGap, kGap, kGap);
    frameLayout->addWidget(m_sheet);

    auto* picCount = new QFrame(this);
    picCount->setObjectName(QStringLiteral("picCount"));
    m_lblCount = new QLabel(QString::fromLocal8Bit(CountText(0, QLocale())), picCount);
    m_lblCount->setObjectName(QStringLiteral("lblCount"));
    // The thumbnail size: a slider beside the count (Ctrl + wheel over the sheet moves it too).
    m_sldThumbSize = new QSlider(Qt::Horizontal, picCount);
    m_sldThumbSize->setObjectName(QStringLiteral("sldThumbSize"));
    m_sldThumbSize->setRange(kMinThumbnailSize, kMaxThumbnailSize);
    m_sldThumbSize->setSingleStep(kThumbnailSizeStep);
    m_sldThumbSize->setPageStep(4 * kThumbnailSizeStep);
    m_sldThumbSize->setValue(m_sheet->thumbnailSize());
    m_sldThumbSize->setTracking(false); // a drag resizes once, when the slider is let go
    m_sldThumbSize->setMaximumWidth(160);
    m_sldThumbSize->setToolTip(QStringLiteral("The size of the thumbnails"));
    auto* lblThumbSize = new QLabel(QStringLiteral("Thumbnail &size:"), picCount);
    lblThumbSize->setObjectName(QStringLiteral("lblThumbSize"));
    lblThumbSize->setBuddy(m_sldThumbSize);
    auto* countLayout = new QHBoxLayout(picCount);
    countLayout->setContentsMargins(0, 0, 0, 0);
    countLayout->addWidget(m_lblCount);
    countLayout->addStretch();
    countLayout->addWidget(lblThumbSize);
    countLayout->addWidget(m_sldThumbSize);
    connect(m_sldThumbSize, &QSlider::valueChanged, this, &ImageViewerPage::setThumbnailSize);
    connect(m_sheet, &ThumbSheet::sizeStepRequested, this,
            [this](int steps) { m_sldThumbSize->setValue(m_sldThumbSize->value() + steps * kThumbnailSizeStep); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kMargin, 0, kMargin, kMargin);
    layout->setSpacing(kGap);
    layout->addWidget(m_tbrMain);
    layout->addWidget(picThumbMain, 1);
    layout->addWidget(picCount);

    m_builder = new ThumbnailBuilder(this);
    connect(m_builder, &ThumbnailBuilder::thumbnailReady, this, &ImageViewerPage::onThumbnail);
    connect(m_builder, &ThumbnailBuilder::progress, this, &ImageViewerPage::onProgress);
    connect(m_builder, &ThumbnailBuilder::finished, this, &ImageViewerPage::onFinished);

    // A click (or moving the choice with the keys) selects; a double click opens.
    connect(m_sheet->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid() && !m_showingSelection)
            selectThumbnail(current.row());
    });
    // A double click, and Enter or Return, open the thumbnail.
    const auto open = [this](const QModelIndex& index) {
        if (!index.isValid())
            return;
        selectThumbnail(index.row());
        openSelectedImage();
    };
    connect(m_sheet, &QAbstractItemView::doubleClicked, this, open);
    connect(m_sheet, &ThumbSheet::openRequested, this, open);
}

// Captions are cut to the width of the current cells.
void ImageViewerPage::fitCaptions() {
    const QFontMetrics metrics(m_sheet->font());
    m_model->setCaptionFitter([metrics, width = m_sheet->captionWidth()](const std::string& name) {
        return FitCaption(name, width, [&metrics](const std::string& text) {
            return metrics.horizontalAdvance(QString::fromLocal8Bit(text));
        });
    });
}

int ImageViewerPage::thumbnailSize() const {
    return m_sheet->thumbnailSize();
}

void ImageViewerPage::setThumbnailSize(int size) {
    size = ClampThumbnailSize(size);
    if (m_sldThumbSize->value() != size) {
        m_sldThumbSize->setValue(size); // comes back here through the slider
        return;
    }
    if (size == m_sheet->thumbnailSize())
        return;
    m_sheet->setThumbnailSize(size);
    settings::ThumbnailSize.set(size);
    fitCaptions();
    // The pictures are read again at the new size: a small thumbnail is not blown up.
    if (!m_folder.empty())
        buildThumbnails();
}

ImageViewerPage::~ImageViewerPage() = default;

bool ImageViewerPage::isBuilding() const {
    return m_builder->isRunning();
}

void ImageViewerPage::toolbarClicked(const QString& key) {
    if (key == QLatin1String("Browse"))
        chooseFolder();
    else if (key == QLatin1String("Edit"))
        openSelectedImage();
    else if (key == QLatin1String("Refresh"))
        buildThumbnails();
    else if (key == QLatin1String("Show"))
        window()->showMinimized(); // to the tray where the desktop has one, else to the task bar
}

void ImageViewerPage::chooseFolder() {
    const std::string chosen = m_pickFolder(window());
    if (chosen.empty())
        return;
    if (!IsPlainFolder(chosen)) {
        m_prompt.show("Sorry you cannot view images in a locked folder.", platform::Buttons::OK, platform::Icon::None);
        return;
    }
    setFolder(chosen);
    buildThumbnails();
}

void ImageViewerPage::setFolder(const std::string& windowsFolder) {
    if (m_builder->isRunning()) { // the old folder's build ends here
        m_builder->cancel();
        emit progressShown(false);
        unsetCursor();
    }
    if (windowsFolder != m_folder)
        m_selectedName.clear(); // a choice made in another folder means nothing here
    m_folder = windowsFolder;
    emit panelTextChanged(QString::fromLocal8Bit(AddBackslash(m_folder)));
    m_names.clear();
    m_arrived.clear();
    showCount(false);
}

void ImageViewerPage::buildThumbnails() {
    const bool wasBuilding = m_builder->isRunning();
    m_builder->cancel();
    m_model->clear();
    m_sheet->verticalScrollBar()->setValue(0);
    if (m_folder.empty()) {
        if (wasBuilding)
            onFinished();
        return;
    }
    setCursor(Qt::BusyCursor);
    m_names = ListImageFiles(m_folder);
    m_arrived.assign(m_names.size(), false);
    showCount(false);
    emit progressShown(true);
    emit progressChanged(0);
    std::string host;
    try {
        host = platform::toHost(m_folder);
    } catch (const platform::SysError& e) {
        ReportError("frmMain", e.number(), e.description(), "cmdRefresh");
        m_names.clear();
    }
    m_builder->start(host, m_names, devicePixelRatioF(), m_sheet->thumbnailSize());
}

void ImageViewerPage::onThumbnail(int fileIndex, const QImage& picture) {
    if (fileIndex < 0 || fileIndex >= static_cast<int>(m_names.size()))
        return;
    m_arrived[static_cast<std::size_t>(fileIndex)] = true;
    m_model->addThumbnail(fileIndex, m_names[static_cast<std::size_t>(fileIndex)], picture);
}

// The count: the image files while they are read; once done, also how many are shown and which
// could not be read (named in the label's tool tip).
void ImageViewerPage::showCount(bool done) {
    std::vector<std::string> unreadable;
    if (done)
        for (std::size_t i = 0; i < m_names.size(); ++i)
            if (!m_arrived[i])
                unreadable.push_back(m_names[i]);
    m_lblCount->setText(QString::fromLocal8Bit(
        CountText(static_cast<long long>(m_names.size()), QLocale(), static_cast<long long>(unreadable.size()))));
    QString tip;
    if (!unreadable.empty()) {
        tip = QStringLiteral("Could not be read:");
        for (const std::string& name : unreadable)
            tip += QLatin1Char('\n') + QString::fromLocal8Bit(name);
    }
    m_lblCount->setToolTip(tip);
    m_lblCount->setAccessibleDescription(tip);
}

// After each batch of thumbnails: the progress, and the choice marked once its thumbnail is in.
void ImageViewerPage::onProgress(int done, int total) {
    if (total > 0)
        emit progressChanged(static_cast<int>(std::lround(100.0 * done / total)));
    showSelection();
}

void ImageViewerPage::onFinished() {
    showCount(true);
    emit progressShown(false);
    unsetCursor();
    showSelection();
    emit buildFinished();
}

// Marks the thumbnail at the selected index, once the sheet has it.
void ImageViewerPage::showSelection() {
    const QModelIndex index = m_model->index(selectedIndex());
    if (!index.isValid() || m_sheet->currentIndex() == index)
        return;
    m_showingSelection = true;
    m_sheet->setCurrentIndex(index);
    m_showingSelection = false;
}

std::string ImageViewerPage::imagePath(int index) const {
    return AddBackslash(m_folder) + m_model->fileName(index);
}

void ImageViewerPage::selectThumbnail(int index) {
    if (index < 0 || index >= m_model->rowCount())
        return;
    m_selectedName = m_model->fileName(index);
    const QString path = QString::fromLocal8Bit(imagePath(index));
    emit panelTextChanged(path);
    emit panelToolTipChanged(path);
    showSelection();
}

void ImageViewerPage::openSelectedImage() {
    // The selected thumbnail, the first one before any was chosen. A sheet that has no thumbnail
    // there (empty, or smaller since the choice) opens nothing.
    const int row = selectedIndex();
    if (row < 0 || row >= m_model->rowCount())
        return;
    platform::openDefault(imagePath(row));
}

int ImageViewerPage::selectedIndex() const {
    return m_selectedName.empty() ? 0 : m_model->rowOf(m_selectedName);
}

} // namespace viewer
