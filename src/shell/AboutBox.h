// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Help → About Tessaly: the program's version, its licence, and the project's address (the
// deployment's HomeURL; none is shown when it is empty).

#include <QDialog>

namespace shell {

class AboutBox final : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

// Shows the box over `parent` without blocking it; the box deletes itself when closed.
void ShowAboutBox(QWidget* parent);

} // namespace shell
