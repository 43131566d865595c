#include "settings/PasswordHint.h"

#include <QLabel>
#include <QLineEdit>
#include <QString>

namespace settings {

bool IsShortPasswordText(const QString& text) {
    return !text.isEmpty() && text.toUcs4().size() < kShortPasswordHintBelow;
}

QLabel* MakeShortPasswordLabel(QWidget* parent) {
    auto* hint = new QLabel(QStringLiteral("A password of at least 8 characters is much harder to guess."), parent);
    hint->setObjectName(QStringLiteral("lblShortPassword"));
    hint->setWordWrap(true);
    hint->setVisible(false);
    return hint;
}

QLabel* MakeShortPasswordHint(QLineEdit* box, QWidget* parent) {
    QLabel* hint = MakeShortPasswordLabel(parent);
    QObject::connect(box, &QLineEdit::textChanged, hint,
                     [hint](const QString& text) { hint->setVisible(IsShortPasswordText(text)); });
    return hint;
}

} // namespace settings
