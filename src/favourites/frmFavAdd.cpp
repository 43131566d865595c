#include "favourites/frmFavAdd.h"

#include "favourites/BrowserWindow.h"
#include "favourites/FavouritesStore.h"
#include "favourites/FavouritesWidgets.h"

#include "platform/Prompt.h"
#include "platform/Text.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace favourites {

namespace {

// The pre-filled "http://" before a pasted address that has a scheme of its own ("https://...",
// "ftp://...", "mailto:..."): the pasted address alone. Any other text is returned as it is.
QString withoutDoubledPrefix(const QString& text) {
    static const QString prefix = QStringLiteral("http://");
    if (!text.startsWith(prefix, Qt::CaseInsensitive))
        return text;
    const QString rest = text.mid(prefix.size());
    static const QRegularExpression scheme(QStringLiteral("^(?:[A-Za-z][A-Za-z0-9+.-]*://|mailto:)"),
                                           QRegularExpression::CaseInsensitiveOption);
    return scheme.match(rest).hasMatch() ? rest : text;
}

} // namespace

frmFavAdd::frmFavAdd(platform::Prompt& prompt, std::function<void()> refill, QWidget* parent)
    : QDialog(parent), m_prompt(prompt), m_refill(std::move(refill)) {
    setObjectName(QStringLiteral("frmFavAdd"));
    setWindowTitle(QStringLiteral("Tessaly -Add Favorite"));
    setModal(true);
    resize(420, 0);

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    QLabel* label = nullptr;
    m_txtURL = makeLabelledBox(this, "lblURL", "URL", "txtURL", &label);
    m_txtURL->setText(QStringLiteral("http://"));
    form->addRow(label, m_txtURL);
    m_txtDescription = makeLabelledBox(this, "lblDescription", "Description", "txtDescription", &label);
    form->addRow(label, m_txtDescription);
    layout->addLayout(form);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* add = makeButton(this, "cmdAdd", "Add");
    add->setDefault(true);
    auto* cancel = makeButton(this, "cmdCancel", "Cancel");
    buttons->addWidget(add);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(m_txtURL, &QLineEdit::textChanged, this, [this](const QString& text) {
        const QString plain = withoutDoubledPrefix(text);
        if (plain != text)
            m_txtURL->setText(plain);
    });
    connect(add, &QPushButton::clicked, this, &frmFavAdd::cmdAdd_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmFavAdd::cmdAdd_Click() {
    // A bare host name ("www.example.org") is stored as a web address, so that it opens later.
    const std::string url = WithWebScheme(bytes(withoutDoubledPrefix(m_txtURL->text())));
    const std::string description = bytes(m_txtDescription->text());
    // Blanks alone would store a nameless favourite or address: they count as empty.
    if (platform::trimBlanks(url).empty()) {
        m_prompt.show("URL Field cannot be left blank", platform::Buttons::OK, platform::Icon::Critical);
        m_txtURL->setFocus();
        return;
    }
    if (platform::trimBlanks(description).empty()) {
        m_prompt.show("Description Field cannot be left blank", platform::Buttons::OK, platform::Icon::Critical);
        m_txtDescription->setFocus();
        return;
    }
    if (!LineReadsBack(EncipherField(description), EncipherField(url))) {
        m_prompt.show(kCannotStore, platform::Buttons::OK, platform::Icon::Exclamation);
        return;
    }
    if (!AddFavourite(description, url)) {
        m_prompt.show(kStoreNotWritten, platform::Buttons::OK, platform::Icon::Critical);
        return;
    }
    if (m_refill)
        m_refill();
    accept();
}

} // namespace favourites
