// The main window's feature pages: each tab's page is a class of its feature's folder; the main
// window creates it on its frame and hands it what it needs. One block a feature.
#include "shell/frmMain.h"

void frmMain::buildFeaturePages() {
}
