// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/HelpPages.h"

#include "platform/Opener.h"
#include "platform/Registry.h"
#include "settings/SettingsTable.h"

#include <QCoreApplication>
#include <QUrl>

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

void OpenHelpPages(platform::Prompt& prompt) {
    const std::string helpUrl = settings::HelpUrl.get();
    const std::string folder = QCoreApplication::applicationDirPath().toLocal8Bit().toStdString();
    const std::string target = HelpPagesTarget(helpUrl, folder);
    if (target.empty()) {
        prompt.show("The manual is not installed: " + ManualCandidates(folder).front() + " was not found.",
                    platform::Buttons::OK, platform::Icon::Exclamation);
        return;
    }
    if (!platform::openDefault(target))
        prompt.show("The help pages could not be opened: xdg-open could not be started.", platform::Buttons::OK,
                    platform::Icon::Exclamation);
}

} // namespace shell
