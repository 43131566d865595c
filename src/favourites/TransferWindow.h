#pragma once
// The frame of the import and export windows: a checkable list, Select All and Clear All (every
// row's tick), Refresh, the window's own command, its bookmarks-file command and Close. The list refreshes when the
// window loads.

#include "favourites/FavouritesWidgets.h"

#include <QDialog>

#include <functional>
#include <vector>

class QPushButton;
class QTreeView;

namespace platform {
class Prompt;
}

namespace favourites {

class TransferWindow : public QDialog {
    Q_OBJECT

public:
    virtual void Refresh() = 0;

protected:
    // refillMain refills the favourites tab after the window changed the store.
    TransferWindow(platform::Prompt& prompt, std::function<void()> refillMain, BookmarksFileChooser chooser,
                   QWidget* parent);
    // Builds the controls; called by the derived window's constructor.
    void build(const char* name, const char* title, const char* commandName, const char* commandCaption,
               const char* bookmarksName, const char* bookmarksCaption);
    std::vector<FavouriteRow> checkedRows() const { return favouritesModel(m_list)->checkedRows(); }
    void setRows(std::vector<FavouriteRow> rows) { favouritesModel(m_list)->setRows(std::move(rows)); }
    void refillMain() {
        if (m_refillMain)
            m_refillMain();
    }
    virtual void runCommand() = 0;
    virtual void runBookmarks() = 0;

    platform::Prompt& m_prompt;
    BookmarksFileChooser m_chooser;
    QTreeView* m_list = nullptr;

private:
    std::function<void()> m_refillMain;
};

} // namespace favourites
