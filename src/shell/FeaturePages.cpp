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
        connect(page, &shredder::ShredderPage::shredFinished, this, [this] {
            // A shredded folder leaves the tree: its parent node is refilled and selected.
            QTreeWidgetItem* node = tvw1()->currentItem();
            if (!node || !node->parent() || platform::exists(nodeKey(node)))
                return;
            QTreeWidgetItem* parent = node->parent();
            tvw1()->setCurrentItem(parent);
            FillFolderNode(parent);
            tvw1_NodeClick(parent, false);
        });
    }
}
