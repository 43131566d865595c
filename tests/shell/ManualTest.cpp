// The user manual (docs/manual.md) against the real main window: a section for every tab and every
// command of its menus; and the HTML page that the build makes of it (what Help → Help Pages opens)
// against the Markdown: every section's heading, text, pictures and links are there.

#include "ShellTestSupport.h"
#include "shell/HelpPages.h"
#include "support/OpenerStub.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolBar>

#include <map>
#include <set>

namespace {

class ManualTest : public shell_test::ShellTest {};

QString readText(const char* path) {
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString collapsed(QString text) {
    return text.replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" ")).trimmed();
}

// A line of Markdown as it reads: pictures dropped, links as their text, no emphasis or code marks.
QString plainMarkdown(QString text) {
    text.remove(QRegularExpression(QStringLiteral("!\\[[^\\]]*\\]\\([^)]*\\)")));
    text.replace(QRegularExpression(QStringLiteral("\\[([^\\]]*)\\]\\([^)]*\\)")), QStringLiteral("\\1"));
    text.remove(QStringLiteral("**"));
    text.remove(QLatin1Char('`'));
    return collapsed(text);
}

// The text of an HTML page as it reads: tags dropped, the entities Qt writes decoded.
QString plainHtml(QString html) {
    html.remove(QRegularExpression(QStringLiteral("<head>.*</head>"),
                                   QRegularExpression::DotMatchesEverythingOption));
    // Blocks end in a space; inline tags (a span of bold or code, a link) are not there in the text.
    html.replace(QRegularExpression(QStringLiteral("</?(p|li|h[1-6]|pre|br|ul|ol|table|tr|td|th|div|body)\\b[^>]*>")),
                 QStringLiteral(" "));
    html.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
    html.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    html.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    html.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    html.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    html.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    return collapsed(html);
}

struct Section {
    QString heading;
    QStringList blocks; // paragraphs, list items and code lines, as plain text
};

// The manual's sections: each heading with the blocks of text under it, up to the next heading.
std::vector<Section> sections(const QString& markdown) {
    std::vector<Section> out;
    QString block;
    bool inCode = false;
    const auto endBlock = [&] {
        if (!out.empty() && !plainMarkdown(block).isEmpty())
            out.back().blocks << plainMarkdown(block);
        block.clear();
    };
    for (const QString& line : markdown.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("```"))) {
            endBlock();
            inCode = !inCode;
        } else if (inCode) {
            block = line;
            endBlock();
        } else if (line.startsWith(QLatin1Char('#'))) {
            endBlock();
            out.push_back({line.section(QLatin1Char(' '), 1).trimmed(), {}});
        } else if (line.trimmed().isEmpty() || line.startsWith(QStringLiteral("- "))) {
            endBlock();
            block = line.mid(line.startsWith(QStringLiteral("- ")) ? 2 : 0);
        } else {
            block += QLatin1Char(' ') + line;
        }
    }
    endBlock();
    return out;
}

// A heading's anchor, as the manual's links write it.
QString anchorOf(const QString& heading) {
    QString anchor = heading.toLower();
    anchor.replace(QRegularExpression(QStringLiteral("[^\\p{L}\\p{N}]+")), QStringLiteral("-"));
    return anchor.remove(QRegularExpression(QStringLiteral("^-+|-+$")));
}

std::set<QString> headingsOf(const std::vector<Section>& manual) {
    std::set<QString> headings;
    for (const Section& s : manual)
        headings.insert(s.heading.toLower());
    return headings;
}

QString caption(const QAction* action) {
    return action->text().remove(QLatin1Char('&'));
}

TEST_F(ManualTest, EveryTabAndEveryMenuCommandOfTheMainWindowHasASection) {
    const QString markdown = readText(TESSALY_MANUAL_MD);
    ASSERT_FALSE(markdown.isEmpty()) << "cannot read " << TESSALY_MANUAL_MD;
    const std::vector<Section> manual = sections(markdown);
    const std::set<QString> headings = headingsOf(manual);

    frmMain w(prompt);
    QTabWidget* tabs = w.tabMain();
    ASSERT_GT(tabs->count(), 0);
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_TRUE(headings.count(tabs->tabText(i).remove(QLatin1Char('&')).toLower()))
            << "the tab \"" << tabs->tabText(i).toStdString() << "\" has no section in the manual";

    // The menu bar's menus and the folder tree's menu: a section for each command.
    std::vector<QMenu*> menus;
    for (QAction* top : w.menuBar()->actions())
        if (top->menu())
            menus.push_back(top->menu());
    menus.push_back(w.findChild<QMenu*>(QStringLiteral("mnuFolder")));
    ASSERT_GE(menus.size(), 4u);
    int commands = 0;
    for (QMenu* menu : menus) {
        ASSERT_NE(menu, nullptr);
        for (QAction* a : menu->actions()) {
            if (a->isSeparator())
                continue;
            ++commands;
            EXPECT_TRUE(headings.count(caption(a).toLower()))
                << "the command \"" << caption(a).toStdString() << "\" of the menu \""
                << menu->title().remove(QLatin1Char('&')).toStdString() << "\" has no section in the manual";
        }
    }
    EXPECT_GE(commands, 15);

    // The toolbar's buttons are named where the Main tab is described.
    const auto mainTab = std::find_if(manual.begin(), manual.end(), [](const Section& s) { return s.heading == QLatin1String("Main"); });
    ASSERT_NE(mainTab, manual.end());
    const QString mainText = mainTab->blocks.join(QLatin1Char(' '));
    auto* toolbar = w.findChild<QToolBar*>(QStringLiteral("tbrLock"));
    ASSERT_NE(toolbar, nullptr);
    for (QAction* a : toolbar->actions()) {
        if (!a->isSeparator()) {
            EXPECT_TRUE(mainText.contains(caption(a))) << "the Main tab's section does not name the button \""
                                                       << caption(a).toStdString() << "\"";
        }
    }
}

TEST_F(ManualTest, TheBuiltPageHoldsEverySectionsTextPicturesAndLinks) {
    const QString markdown = readText(TESSALY_MANUAL_MD);
    const QString html = readText(TESSALY_MANUAL_HTML);
    ASSERT_FALSE(markdown.isEmpty()) << "cannot read " << TESSALY_MANUAL_MD;
    ASSERT_FALSE(html.isEmpty()) << "cannot read " << TESSALY_MANUAL_HTML;
    const QString text = plainHtml(html);
    const std::vector<Section> manual = sections(markdown);
    ASSERT_GE(manual.size(), 10u);

    std::set<QString> anchors;
    for (const Section& section : manual) {
        EXPECT_TRUE(text.contains(section.heading)) << "no heading \"" << section.heading.toStdString() << "\"";
        EXPECT_FALSE(section.blocks.isEmpty()) << "the section \"" << section.heading.toStdString() << "\" is empty";
        for (const QString& block : section.blocks)
            EXPECT_TRUE(text.contains(block)) << "the page lacks, under \"" << section.heading.toStdString()
                                              << "\": " << block.toStdString();
        const QString anchor = anchorOf(section.heading);
        anchors.insert(anchor);
        EXPECT_TRUE(html.contains(QStringLiteral("name=\"%1\"").arg(anchor)))
            << "the heading \"" << section.heading.toStdString() << "\" has no anchor " << anchor.toStdString();
    }

    // Every picture is in the page and among the files installed with it; every link inside the
    // manual leads to a heading.
    const QRegularExpression picture(QStringLiteral("!\\[[^\\]]*\\]\\(([^)]*)\\)"));
    int pictures = 0;
    for (const QRegularExpressionMatch& m : picture.globalMatch(markdown)) {
        ++pictures;
        const QString source = m.captured(1);
        EXPECT_TRUE(html.contains(QStringLiteral("src=\"%1\"").arg(source))) << source.toStdString();
        EXPECT_TRUE(QFile::exists(QStringLiteral(TESSALY_MANUAL_DIR "/") + source)) << source.toStdString();
    }
    EXPECT_GE(pictures, 5);
    const QRegularExpression link(QStringLiteral("\\]\\(#([^)]*)\\)"));
    for (const QRegularExpressionMatch& m : link.globalMatch(markdown)) {
        EXPECT_TRUE(anchors.count(m.captured(1))) << "a link to #" << m.captured(1).toStdString() << ", no such heading";
        EXPECT_TRUE(html.contains(QStringLiteral("href=\"#%1\"").arg(m.captured(1)))) << m.captured(1).toStdString();
    }
}

// Every picture of the manual shows its window as the program has it now: docs/manual/pictures.txt
// records the fingerprint of the source files of each picture's window when the picture was made
// (scripts/manual-pictures), and the folder its drive C: was, which the pictures show.
TEST_F(ManualTest, EveryPictureIsNewerThanItsWindowAndNamesNoTemporaryFolder) {
    const QString root = QStringLiteral(TESSALY_MANUAL_DIR "/..");
    const QString manifest = readText(TESSALY_MANUAL_DIR "/manual/pictures.txt");
    ASSERT_FALSE(manifest.isEmpty()) << "no docs/manual/pictures.txt: run scripts/manual-pictures";
    QString drive;
    std::map<QString, QStringList> recorded; // picture -> fingerprint, then its files
    for (const QString& line : manifest.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() == 2 && words[0] == QLatin1String("drive-c"))
            drive = words[1];
        else if (words.size() >= 4 && words[0] == QLatin1String("picture"))
            recorded[words[1]] = words.mid(2);
    }

    // The folder the pictures show as drive C: is no temporary or build folder of a developer's.
    ASSERT_FALSE(drive.isEmpty());
    for (const QString& temporary : {QStringLiteral("/tmp/"), QStringLiteral("/var/tmp/"), QStringLiteral("/dev/shm/"),
                                     QDir::tempPath() + QLatin1Char('/'), QDir::cleanPath(root) + QLatin1Char('/'),
                                     QStringLiteral(TESSALY_BUILD_DIR "/")})
        EXPECT_FALSE((drive + QLatin1Char('/')).startsWith(temporary))
            << "the manual's pictures show drive C: as " << drive.toStdString() << ": run scripts/manual-pictures";

    const QRegularExpression picture(QStringLiteral("!\\[[^\\]]*\\]\\(manual/([^)]*)\\)"));
    int pictures = 0;
    for (const QRegularExpressionMatch& m : picture.globalMatch(readText(TESSALY_MANUAL_MD))) {
        ++pictures;
        const QString name = m.captured(1);
        const auto entry = recorded.find(name);
        ASSERT_NE(entry, recorded.end()) << name.toStdString()
                                         << " is not among the pictures scripts/manual-pictures makes";
        QCryptographicHash fingerprint(QCryptographicHash::Sha256);
        for (const QString& source : entry->second.mid(1)) {
            QFile file(root + QLatin1Char('/') + source);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << source.toStdString();
            fingerprint.addData(file.readAll());
        }
        EXPECT_EQ(QString::fromLatin1(fingerprint.result().toHex()), entry->second.front())
            << "docs/manual/" << name.toStdString() << " is older than its window ("
            << entry->second.mid(1).join(QLatin1Char(' ')).toStdString()
            << " changed since): run scripts/manual-pictures";
    }
    EXPECT_GE(pictures, 5);
}

// Installed as the package installs it (the build's install rules, into a prefix in the sandbox),
// the manual is what Help Pages finds beside the program, and its pictures lie beside it.
TEST_F(ManualTest, TheInstalledManualIsWhatHelpPagesOpens) {
    const std::string prefix = sandbox.root() + "/prefix";
    std::filesystem::create_directories(prefix + "/bin");
    QProcess install;
    install.start(QStringLiteral(TESSALY_CMAKE),
                  {QStringLiteral("--install"), QStringLiteral(TESSALY_BUILD_DIR), QStringLiteral("--prefix"),
                   QString::fromStdString(prefix), QStringLiteral("--component"), QStringLiteral("manual")});
    ASSERT_TRUE(install.waitForFinished(120000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    const std::string page = prefix + "/share/doc/tessaly/index.html";
    EXPECT_EQ(shell::HelpPagesTarget("", prefix + "/bin"), "file://" + page);
    const QString html = readText(page.c_str());
    EXPECT_EQ(html, readText(TESSALY_MANUAL_HTML)) << "the installed page is not the built manual";
    EXPECT_TRUE(html.contains(QStringLiteral("name=\"password-wallet\""))) << "not the user manual";
    const QRegularExpression source(QStringLiteral("<img src=\"([^\"]*)\""));
    int pictures = 0;
    for (const QRegularExpressionMatch& m : source.globalMatch(html)) {
        ++pictures;
        EXPECT_TRUE(std::filesystem::is_regular_file(prefix + "/share/doc/tessaly/" + m.captured(1).toStdString()))
            << m.captured(1).toStdString() << " is not installed beside the page";
    }
    EXPECT_GE(pictures, 5);

    // Help Pages shows that page with its pictures in the program's own help window, never through
    // whatever the desktop opens HTML files with.
    testing_support::OpenerStub opener(sandbox);
    QWidget owner;
    shell::OpenHelpPages(prompt, &owner, prefix + "/bin");
    auto* help = owner.findChild<shell::HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    QTextBrowser* browser = help->browser();
    EXPECT_EQ(browser->source(), QUrl::fromLocalFile(QString::fromStdString(page)));
    EXPECT_TRUE(browser->toPlainText().contains(QStringLiteral("Password Wallet")));
    QTextDocument* document = browser->document();
    int shown = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (!it.fragment().charFormat().isImageFormat())
                continue;
            ++shown;
            const QString name = it.fragment().charFormat().toImageFormat().name();
            const QVariant data = document->resource(QTextDocument::ImageResource, QUrl(name));
            const QImage image = data.canConvert<QImage>() && !data.value<QImage>().isNull()
                                     ? data.value<QImage>()
                                     : QImage::fromData(data.toByteArray());
            EXPECT_FALSE(image.isNull()) << name.toStdString() << " is not shown";
        }
    }
    EXPECT_EQ(shown, pictures);
    // A second Help Pages brings the same window forward.
    shell::OpenHelpPages(prompt, &owner, prefix + "/bin");
    EXPECT_EQ(owner.findChildren<shell::HelpWindow*>().size(), 1);
    EXPECT_TRUE(prompt.boxes.empty());
    EXPECT_TRUE(opener.calls(0).empty());
}

} // namespace
