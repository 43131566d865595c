#include "favourites/TransferWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace favourites {

TransferWindow::TransferWindow(platform::Prompt& prompt, std::function<void()> refillMain, BookmarksFileChooser chooser,
                               QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_chooser(std::move(chooser)), m_refillMain(std::move(refillMain)) {}

void TransferWindow::build(const char* name, const char* title, const char* commandName, const char* commandCaption,
                           const char* bookmarksName, const char* bookmarksCaption) {
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(QString::fromLatin1(title));
    setModal(true);
    resize(620, 420);

    // Made in the order they stand, which is also the order Tab goes through them: the ticks of the
    // list under it, then the window's commands.
    m_list = makeFavouritesList(this, "ListView1", true);
    auto* selectAll = makeButton(this, "cmdSelectAll", "Select All");
    auto* clearAll = makeButton(this, "cmdClearAll", "Clear All");
    auto* refresh = makeButton(this, "cmdRefresh", "Refresh");
    auto* command = makeButton(this, commandName, commandCaption);
    auto* bookmarks = makeButton(this, bookmarksName, bookmarksCaption);
    auto* close = makeButton(this, "Command1", "Close");

    auto* ticks = new QHBoxLayout;
    ticks->addWidget(selectAll);
    ticks->addWidget(clearAll);
    ticks->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refresh);
    buttons->addWidget(command);
    buttons->addWidget(bookmarks);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(ticks);
    layout->addLayout(buttons);

    connect(selectAll, &QPushButton::clicked, this, [this] { favouritesModel(m_list)->setAllChecked(true); });
    connect(clearAll, &QPushButton::clicked, this, [this] { favouritesModel(m_list)->setAllChecked(false); });
    connect(refresh, &QPushButton::clicked, this, [this] { Refresh(); });
    connect(command, &QPushButton::clicked, this, [this] { runCommand(); });
    connect(bookmarks, &QPushButton::clicked, this, [this] { runBookmarks(); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

} // namespace favourites
