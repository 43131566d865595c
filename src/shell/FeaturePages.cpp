// The main window's feature pages: each tab's page is a class of its feature's folder; the main
// window creates it on its frame and hands it what it needs. One block a feature.
#include "shell/frmMain.h"

#include "platform/FileIO.h"
#include "shredder/ShredderPage.h"

#include <QAction>
#include <QFrame>
#include <QTreeWidget>
#include <QVBoxLayout>

void frmMain::buildFeaturePages() {
    {
        // File shredder: the page on its tab, drops on its list while the window lives, the folder
        // tree's "Shred Folder and Files", and the busy switch shared with the other file commands.
        auto* page = new shredder::ShredderPage(m_prompt, [this] { return registerPath(); });
        (new QVBoxLayout(fraMain(4)))->addWidget(page);
        page->startServingDrops();
        connect(this, &frmMain::exitConfirmed, page, &shredder::ShredderPage::stopServingDrops);
        connect(page, &shredder::ShredderPage::busyChanged, this, &frmMain::setCommandBusy);
        connect(this, &frmMain::commandBusyChanged, page, &shredder::ShredderPage::setExternalBusy);
        connect(action(QStringLiteral("mShredFolderandFiles")), &QAction::triggered, page,
                [this, page] { page->ShredFolderCommand(selectedFolderKey()); });
        connect(page, &shredder::ShredderPage::shredFinished, this, [this](const std::vector<std::string>& paths) {
            // Shredded folders leave the tree; the selection moves to the parent, whose files are shown.
            for (const auto& path : paths) {
                const auto found = tvw1()->findItems(QStringLiteral("*"), Qt::MatchWildcard | Qt::MatchRecursive);
                for (QTreeWidgetItem* node : found) {
                    if (nodeKey(node) != path || !node->parent() || platform::exists(path))
                        continue;
                    QTreeWidgetItem* parent = node->parent();
                    const bool selected = tvw1()->currentItem() == node;
                    delete node;
                    if (selected) {
                        tvw1()->setCurrentItem(parent);
                        tvw1_NodeClick(parent, false);
                    }
                    break;
                }
            }
        });
    }
}
