// SPDX-License-Identifier: GPL-3.0-or-later
// Build tool: turns the README (Markdown) into the HTML manual that Help → Help Pages opens.
// Usage: tessaly_make_manual README.md OUTPUT.html VERSION

#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s README.md OUTPUT.html VERSION\n", argv[0]);
        return 2;
    }
    // Text layout needs a GUI application; the offscreen platform needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument doc;
    doc.setMarkdown(QString::fromUtf8(in.readAll()));
    doc.setMetaInformation(QTextDocument::DocumentTitle,
                           QStringLiteral("Tessaly %1 manual").arg(QString::fromLocal8Bit(argv[3])));

    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || out.write(doc.toHtml().toUtf8()) < 0 || !out.commit()) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
