// The main window's feature pages: each tab's page is a class of its feature's folder; the main
// window creates it on its frame and hands it what it needs. One block a feature.
#include "shell/frmMain.h"

#include "viewer/ImageViewerPage.h"

#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

void frmMain::buildFeaturePages() {
    // Image viewer on fraMain(1): its folder or chosen image goes to status bar panel 2, and while
    // it builds thumbnails the progress bar stands in that panel's place.
    {
        auto* page = new viewer::ImageViewerPage(m_prompt, fraMain(1));
        auto* layout = new QVBoxLayout(fraMain(1));
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(page);
        QLabel* panel2 = sbrMain()->findChild<QLabel*>(QStringLiteral("sbrMainPanel2"));
        connect(page, &viewer::ImageViewerPage::panelTextChanged, this,
                [this](const QString& text) { setPanelText(2, text); });
        connect(page, &viewer::ImageViewerPage::panelToolTipChanged, panel2, &QLabel::setToolTip);
        connect(tabMain(), &QTabWidget::currentChanged, panel2, [panel2] { panel2->setToolTip(QString()); });
        connect(page, &viewer::ImageViewerPage::progressShown, this, [this, panel2](bool shown) {
            picProgress()->setRange(0, 100);
            picProgress()->setValue(0);
            picProgress()->setVisible(shown);
            panel2->setVisible(!shown);
        });
        connect(page, &viewer::ImageViewerPage::progressChanged, picProgress(), &QProgressBar::setValue);
    }
}
