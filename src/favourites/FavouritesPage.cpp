#include "favourites/FavouritesPage.h"

#include "favourites/BrowserWindow.h"
#include "favourites/frmExportIEFav.h"
#include "favourites/frmFavAdd.h"
#include "favourites/frmImportIEFav.h"

#include "core/Scrambler.h"
#include "platform/FileIO.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "platform/Text.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cctype>

namespace favourites {

namespace {
// The title of the tab's own boxes: the tab's name. ("No items to select" keeps its own title.)
constexpr const char* kFavouritesTitle = "Favorites Manager";
} // namespace

FavouritesPage::FavouritesPage(platform::Prompt& prompt, QWidget* parent) : QWidget(parent), m_prompt(prompt) {
    setObjectName(QStringLiteral("FavouritesPage"));
    m_lvFav = makeFavouritesList(this, "lvFav", false);

    QLabel* descriptionLabel = nullptr;
    QLabel* urlLabel = nullptr;
    m_txtShow = makeLabelledBox(this, "lblSelectedItem", "Description:", "txtShow", &descriptionLabel);
    m_txtAdd = makeLabelledBox(this, "Label3", "URL:", "txtAdd", &urlLabel);
    auto* fields = new QGridLayout;
    fields->addWidget(descriptionLabel, 0, 0);
    fields->addWidget(m_txtShow, 0, 1);
    fields->addWidget(urlLabel, 1, 0);
    fields->addWidget(m_txtAdd, 1, 1);

    auto* cmdAdd = makeButton(this, "cmdAdd", "Add");
    m_cmdSave = makeButton(this, "cmdSave", "Save");
    m_cmdSave->setEnabled(false);
    auto* cmdDelete = makeButton(this, "cmdDelete", "Delete");
    auto* cmdReload = makeButton(this, "cmdReload", "Reload");
    auto* cmdImport = makeButton(this, "cmdImportIEFav", "Import IE Favorites");
    auto* cmdExport = makeButton(this, "cmdExportIEFav", "Export to IE Favorites");
    auto* buttons = new QHBoxLayout;
    for (auto* b : {cmdAdd, m_cmdSave, cmdDelete, cmdReload})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(cmdImport);
    buttons->addWidget(cmdExport);

    auto* about = new QLabel(QString::fromLatin1(kAboutFavourites), this);
    about->setObjectName(QStringLiteral("lblAboutFavourite"));
    about->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lvFav, 1);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    layout->addWidget(about);

    connect(m_lvFav, &QTreeView::clicked, this, &FavouritesPage::lvFav_Click);
    connect(m_lvFav, &QTreeView::doubleClicked, this, [this] { lvFav_DblClick(); });
    connect(m_txtAdd, &QLineEdit::textChanged, this, &FavouritesPage::txtAdd_Change);
    connect(cmdAdd, &QPushButton::clicked, this, &FavouritesPage::cmdAdd_Click);
    connect(m_cmdSave, &QPushButton::clicked, this, &FavouritesPage::cmdSave_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &FavouritesPage::cmdDelete_Click);
    connect(cmdReload, &QPushButton::clicked, this, &FavouritesPage::GetFavorites);
    connect(cmdImport, &QPushButton::clicked, this, &FavouritesPage::cmdImportIEFav_Click);
    connect(cmdExport, &QPushButton::clicked, this, &FavouritesPage::cmdExportIEFav_Click);
}

void FavouritesPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_filled)
        GetFavorites();
}

void FavouritesPage::GetFavorites() {
    m_filled = true;
    // Every line a row, in one reset of the list.
    favouritesModel(m_lvFav)->setRows(favouriteRows(GetFavourites(reporter("frmMain", "GetFavorites"))));
}

void FavouritesPage::lvFav_Click(const QModelIndex& index) {
    if (!index.isValid())
        return;
    const FavouriteRow& row = favouritesModel(m_lvFav)->row(index.row());
    m_txtAdd->setText(qText(row.url));
    m_txtShow->setText(qText(row.text));
}

void FavouritesPage::txtAdd_Change() {
    const std::string url = bytes(m_txtAdd->text());
    if (platform::trimBlanks(url).empty())
        return;
    m_cmdSave->setEnabled(true);
    if (platform::trimBlanks(bytes(m_txtShow->text())).empty())
        m_txtShow->setText(m_txtAdd->text());
}

void FavouritesPage::lvFav_DblClick() {
    const QModelIndex current = m_lvFav->currentIndex();
    if (!current.isValid()) {
        m_prompt.show("No items to select", platform::Buttons::OK, platform::Icon::Information, "Favourites  Manager");
        return;
    }
    const std::string url = favouritesModel(m_lvFav)->row(current.row()).url;
    if (!IsOpenableAddress(url)) {
        m_prompt.show(NotOpenedMessage(url), platform::Buttons::OK, platform::Icon::Exclamation, kFavouritesTitle);
        return;
    }
    // No browser or mail program to open it: the user hears why instead of nothing happening.
    OpenFavourite(url, this, [this](const std::string& why) {
        m_prompt.show(why, platform::Buttons::OK, platform::Icon::Exclamation, kFavouritesTitle);
    });
}

void FavouritesPage::cmdAdd_Click() {
    frmFavAdd dialog(
        m_prompt, [this] { GetFavorites(); }, window());
    dialog.exec();
}

std::optional<Favourite> FavouritesPage::confirmSelected(const char* verb) {
    const std::optional<FavouriteRow> row = selectedRow(m_lvFav);
    if (!row) {
        m_prompt.show(std::string("Select the favourite to ") + platform::lowerText(verb) + " first.",
                      platform::Buttons::OK, platform::Icon::Information, kFavouritesTitle);
        return std::nullopt;
    }
    const Favourite favourite = rowFavourite(*row);
    // The title names the question: "Delete Confirmation", "Change Confirmation".
    std::string title = std::string(verb) + " Confirmation";
    title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
    if (m_prompt.show(std::string("Are you sure you want to ") + verb + " '" + favourite.description + "' URL ?",
                      platform::Buttons::YesNo, platform::Icon::Question, title) == platform::Answer::No)
        return std::nullopt;
    return favourite;
}

void FavouritesPage::cmdDelete_Click() {
    const auto chosen = confirmSelected("delete");
    if (!chosen)
        return;
    // Exactly the chosen line: another favourite of the same description stays.
    if (!RemoveFavourite(*chosen)) {
        if (Get_Fav_File().empty())
            return;
        m_prompt.show("'" + chosen->description + "' could not be deleted: " +
                          (platform::exists(FavFilePath()) ? "the favourites file can't be written."
                                                           : "it is no longer in the favourites file."),
                      platform::Buttons::OK, platform::Icon::Critical);
    }
    m_txtAdd->clear();
    m_txtShow->clear();
    GetFavorites();
}

void FavouritesPage::cmdSave_Click() {
    const auto chosen = confirmSelected("Change");
    if (!chosen)
        return;
    const ChangeResult result =
        ChangeFavourite(*chosen, bytes(m_txtShow->text()), WithWebScheme(bytes(m_txtAdd->text())));
    if (result == ChangeResult::NothingToChange) {
        if (!Get_Fav_File().empty())
            m_prompt.show("'" + chosen->description + "' was not changed: it is no longer in the favourites file.",
                          platform::Buttons::OK, platform::Icon::Exclamation);
        GetFavorites();
        return;
    }
    if (result == ChangeResult::CannotStore)
        m_prompt.show(kCannotStore, platform::Buttons::OK, platform::Icon::Exclamation);
    else if (result == ChangeResult::WriteFailed)
        m_prompt.show(kStoreNotWritten, platform::Buttons::OK, platform::Icon::Critical);
    GetFavorites();
}

void FavouritesPage::cmdImportIEFav_Click() {
    frmImportIEFav dialog(
        m_prompt, [this] { GetFavorites(); }, m_chooser, window());
    dialog.exec();
}

void FavouritesPage::cmdExportIEFav_Click() {
    frmExportIEFav dialog(
        m_prompt, [this] { GetFavorites(); }, m_chooser, window());
    dialog.exec();
}

} // namespace favourites
