// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/AboutBox.h"

#include "TessalyVersion.h"
#include "settings/SettingsTable.h"
#include "shell/Icons.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace shell {

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextBrowserInteraction);
    return l;
}

} // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Tessaly"));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("imgIcon"));
    icon->setPixmap(appIcon().pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);

    auto* text = new QVBoxLayout;
    auto* version = label(this, "lblVersion", QStringLiteral("<b>%1</b>").arg(QStringLiteral(TESSALY_VERSION_TEXT)));
    version->setTextFormat(Qt::RichText);
    text->addWidget(version);
    text->addWidget(label(this, "lblDescription",
                          QStringLiteral("Locks files and folders with a password, keeps a password wallet and "
                                         "shreds files.")));
    auto* licence = label(this, "lblLicence",
                          QStringLiteral("Free software under the GNU General Public License, version 3 or "
                                         "later (GPL-3.0-or-later). It comes with no warranty."));
    text->addWidget(licence);

    const std::string home = settings::HomeUrl.get();
    if (!home.empty()) {
        const QUrl url(QString::fromLocal8Bit(home));
        auto* address = label(this, "lblAddress",
                              QStringLiteral("<a href=\"%1\">%2</a>")
                                  .arg(QString::fromLatin1(url.toEncoded()).toHtmlEscaped(),
                                       QString::fromLocal8Bit(home).toHtmlEscaped()));
        address->setTextFormat(Qt::RichText);
        address->setOpenExternalLinks(true);
        text->addWidget(address);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setMinimumWidth(380);
}

void ShowAboutBox(QWidget* parent) {
    auto* box = new AboutBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace shell
