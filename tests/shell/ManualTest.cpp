// The user manual (docs/manual.md) against the real main window: a section for every tab and every
// command of its menus; and the HTML page that the build makes of it (what Help → Help Pages opens)
// against the Markdown: every section's heading, text, pictures and links are there.

#include "ShellTestSupport.h"
#include "shell/HelpPages.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QToolBar>

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
}

} // namespace
