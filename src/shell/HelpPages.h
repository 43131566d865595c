// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Help → Help Pages: the deployment's help address when there is one (in the web browser), else the
// manual installed with the program (the user manual, docs/manual.md, made into HTML at build time) in
// the program's own help window, so help works without a network and never lands in whatever the
// desktop opens HTML files with.

#include "platform/Prompt.h"

#include <QWidget>

#include <string>
#include <vector>

class QTextBrowser;
class QUrl;

namespace shell {

// Where the installed manual may be, most likely first: beside the program's own prefix
// (<prefix>/bin/tessaly -> <prefix>/share/doc/tessaly/index.html), then the system's place.
std::vector<std::string> ManualCandidates(const std::string& programFolder);

// What Help Pages opens: `helpUrl` when set, else a file:// address of the first manual that
// exists; empty when there is neither.
std::string HelpPagesTarget(const std::string& helpUrl, const std::string& programFolder);

// The manual in a window of its own: the page with its pictures, its links inside the manual
// followed in place, links to elsewhere opened in the web browser.
class HelpWindow final : public QWidget {
    Q_OBJECT
public:
    HelpWindow(const QUrl& page, QWidget* parent = nullptr);
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

// Opens the help pages for the program installed in `programFolder`: the help address in the web
// browser, else the manual in the help window (one, brought forward when it is open already, owned
// by `owner`); says so when there is neither.
void OpenHelpPages(platform::Prompt& prompt, QWidget* owner, const std::string& programFolder);

} // namespace shell
