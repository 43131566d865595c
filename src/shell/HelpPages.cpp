// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/HelpPages.h"

#include "platform/Opener.h"
#include "platform/Registry.h"
#include "settings/SettingsTable.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>

namespace shell {

namespace {
constexpr const char* kSystemManual = "/usr/share/doc/tessaly/index.html";
}

std::vector<std::string> ManualCandidates(const std::string& programFolder) {
    std::vector<std::string> candidates;
    if (!programFolder.empty()) {
        const std::filesystem::path beside =
            std::filesystem::path(programFolder).parent_path() / "share" / "doc" / "tessaly" / "index.html";
        candidates.push_back(beside.lexically_normal().string());
    }
    if (candidates.empty() || candidates.front() != kSystemManual)
        candidates.emplace_back(kSystemManual);
    return candidates;
}

std::string HelpPagesTarget(const std::string& helpUrl, const std::string& programFolder) {
    if (!helpUrl.empty())
        return helpUrl;
    for (const std::string& candidate : ManualCandidates(programFolder)) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(candidate, ec))
            return QUrl::fromLocalFile(QString::fromLocal8Bit(candidate)).toString(QUrl::FullyEncoded).toStdString();
    }
    return {};
}

HelpWindow::HelpWindow(const QUrl& page, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Tessaly -Help"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("txtManual"));
    m_browser->setAccessibleName(QStringLiteral("Manual"));
    m_browser->setOpenExternalLinks(true); // web addresses go to the browser; the manual's own anchors stay here
    m_browser->setSource(page);
    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    back->setObjectName(QStringLiteral("cmdBack"));
    back->setEnabled(false);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("cmdClose"));
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_browser, 1);
    layout->addLayout(buttons);
    resize(760, 640);
}

void OpenHelpPages(platform::Prompt& prompt, QWidget* owner, const std::string& programFolder) {
    const std::string target = HelpPagesTarget(settings::HelpUrl.get(), programFolder);
    if (target.empty()) {
        prompt.show("The manual is not installed: " + ManualCandidates(programFolder).front() + " was not found.",
                    platform::Buttons::OK, platform::Icon::Exclamation);
        return;
    }
    const QUrl url(QString::fromLocal8Bit(target));
    if (!url.isLocalFile()) {
        if (!platform::openDefault(target))
            prompt.show("The help pages could not be opened: xdg-open could not be started.", platform::Buttons::OK,
                        platform::Icon::Exclamation);
        return;
    }
    HelpWindow* window = owner ? owner->findChild<HelpWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!window) {
        window = new HelpWindow(url, owner);
    } else if (window->browser()->source() != url) {
        window->browser()->setSource(url);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace shell
