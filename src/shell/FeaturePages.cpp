// The main window's feature pages: each tab's page is a class of its feature's folder; the main
// window creates it on its frame and hands it what it needs. One block a feature.
#include "shell/frmMain.h"

#include "favourites/FavouritesPage.h"
#include "wallet/PasswordWalletPage.h"

#include <QFrame>
#include <QVBoxLayout>

void frmMain::buildFeaturePages() {
    {
        // Password wallet on its tab; the list fills when the tab is first shown.
        auto* layout = new QVBoxLayout(fraMain(3));
        layout->addWidget(new wallet::PasswordWalletPage(prompt(), fraMain(3)));
    }
    {
        // Favourites manager on its tab; the list fills when the tab is first shown.
        auto* layout = new QVBoxLayout(fraMain(2));
        layout->addWidget(new favourites::FavouritesPage(prompt(), fraMain(2)));
    }
}
