// SPDX-License-Identifier: GPL-3.0-or-later
// Build tool: turns the user manual (docs/manual.md, Markdown) into the HTML page that Help → Help
// Pages opens. Usage: tessaly_make_manual MANUAL.md OUTPUT.html VERSION
//
// The Markdown is read with raw HTML switched off: a word in angle brackets ("<reason>", "<path>")
// is text, not a tag. (Read as HTML, such a word swallowed the rest of its section.) Every heading
// gets an anchor named after its text ("Main" -> "main", "Lock Folder" -> "lock-folder"), so the
// manual's contents can link to its sections.

#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>

namespace {

// A heading's anchor: its letters and digits in lower case, runs of anything else as one "-".
QString anchorOf(const QString& heading) {
    QString anchor;
    for (const QChar c : heading) {
        if (c.isLetterOrNumber())
            anchor += c.toLower();
        else if (!anchor.isEmpty() && !anchor.endsWith(QLatin1Char('-')))
            anchor += QLatin1Char('-');
    }
    while (anchor.endsWith(QLatin1Char('-')))
        anchor.chop(1);
    return anchor;
}

void anchorHeadings(QTextDocument& doc) {
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() == 0 || block.text().isEmpty())
            continue;
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat anchor;
        anchor.setAnchor(true);
        anchor.setAnchorNames({anchorOf(block.text())});
        cursor.mergeCharFormat(anchor);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s MANUAL.md OUTPUT.html VERSION\n", argv[0]);
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
    doc.setMarkdown(QString::fromUtf8(in.readAll()),
                    QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub |
                                                    QTextDocument::MarkdownNoHTML));
    anchorHeadings(doc);
    doc.setMetaInformation(QTextDocument::DocumentTitle,
                           QStringLiteral("Tessaly %1 manual").arg(QString::fromLocal8Bit(argv[3])));

    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || out.write(doc.toHtml().toUtf8()) < 0 || !out.commit()) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
