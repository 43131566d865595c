#include "settings/PasswordHint.h"

#include <QLabel>
#include <QLineEdit>

namespace settings {

QLabel* MakeShortPasswordHint(QLineEdit* box, QWidget* parent) {
    auto* hint = new QLabel(QStringLiteral("A password of at least 8 characters is much harder to guess."), parent);
    hint->setObjectName(QStringLiteral("lblShortPassword"));
    hint->setWordWrap(true);
    hint->setVisible(false);
    QObject::connect(box, &QLineEdit::textChanged, hint, [hint](const QString& text) {
        hint->setVisible(!text.isEmpty() && text.size() < kShortPasswordHintBelow);
    });
    return hint;
}

} // namespace settings
