#include "shell/MainWindowPortAdapter.h"

#include "diagnostics/CAppLog.h"
#include "platform/Prompt.h"
#include "shell/BrowserPane.h"
#include "shell/GateWidgets.h"
#include "shell/frmMain.h"
#include "shell/frmProgress.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QTreeView>
#include <QTreeWidget>

namespace shell {

MainWindowPortAdapter::MainWindowPortAdapter(frmMain& window) : m_window(window) {}

MainWindowPortAdapter::~MainWindowPortAdapter() {
    delete m_progress.data();
}

std::string MainWindowPortAdapter::currentFolder() const {
    return m_window.browser().currentFolder();
}

// The ticked rows; with none ticked, the selected rows (a user who picked a row and pressed Lock
// meant that row).
std::vector<locking::FileItem> MainWindowPortAdapter::checkedItems() const {
    std::vector<locking::FileItem> items;
    const FileListModel& files = *m_window.browser().fileModel();
    for (int i = 0; i < files.rowCount(); ++i)
        if (files.isChecked(i))
            items.push_back({files.row(i).key, files.row(i).text});
    if (!items.empty())
        return items;
    for (int i : m_window.browser().selectedFileRows())
        items.push_back({files.row(i).key, files.row(i).text});
    return items;
}

std::optional<locking::FileItem> MainWindowPortAdapter::selectedItem() const {
    const int row = m_window.browser().currentFileRow();
    if (row < 0)
        return std::nullopt;
    const FileRow& file = m_window.browser().fileModel()->row(row);
    return locking::FileItem{file.key, file.text};
}

void MainWindowPortAdapter::setAllChecked(bool checked) {
    m_window.browser().fileModel()->setAllChecked(checked);
}

void MainWindowPortAdapter::refreshFiles() {
    m_window.browser().filFiles_PathChange();
}

locking::SelectedFolder MainWindowPortAdapter::selectedTreeFolder() const {
    const QTreeWidgetItem* node = m_window.tvw1()->currentItem();
    if (!node)
        return {};
    // The node texts from the root down, joined by "\": the root's own "C:\" gives "C:\\Docs\Old".
    std::string fullPath = BrowserPane::itemText(node);
    for (const QTreeWidgetItem* up = node->parent(); up; up = up->parent())
        fullPath = BrowserPane::itemText(up) + "\\" + fullPath;
    return {BrowserPane::nodeKey(node), BrowserPane::itemText(node), fullPath};
}

void MainWindowPortAdapter::setSelectedFolderPath(const std::string& path) {
    m_window.browser().selectedFolderMoved(path);
}

void MainWindowPortAdapter::rereadFolderTree() {
    // Every branch the tree has read, from the root: the user's place in it stays.
    if (QTreeWidgetItem* root = m_window.tvw1()->topLevelItem(0))
        m_window.browser().syncFolderNode(root, true);
}

std::string MainWindowPortAdapter::password1() const {
    return toBytes(m_window.txtPassword1()->text());
}

std::string MainWindowPortAdapter::password2() const {
    return toBytes(m_window.txtPassword2()->text());
}

void MainWindowPortAdapter::clearPasswords() {
    m_window.txtPassword1()->clear();
    m_window.txtPassword2()->clear();
    m_window.txtPassword1()->setFocus();
}

void MainWindowPortAdapter::showStatus(const std::string& text) {
    m_window.sbrMain()->showMessage(QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())), 10000);
}

void MainWindowPortAdapter::log(const std::string& text) {
    if (CAppLog* log = m_window.appLog())
        log->Log(CAppLog::Form, "frmMain", "cmdLock_click", 0, text);
}

void MainWindowPortAdapter::setCommandsBusy(bool busy) {
    m_window.setCommandBusy(busy);
}

void MainWindowPortAdapter::showProgress(const std::string& message) {
    if (!m_progress)
        m_progress = new frmProgress(&m_window);
    m_progress->setMessage(message);
    m_progress->showCentered();
    m_window.prompt().processEvents();
}

void MainWindowPortAdapter::updateProgress(int done, int total) {
    if (!m_progress)
        return;
    m_progress->setProgress(done < 0 ? 0 : static_cast<std::uint64_t>(done),
                            total < 0 ? 0 : static_cast<std::uint64_t>(total));
    m_window.prompt().processEvents();
}

void MainWindowPortAdapter::closeProgress() {
    delete m_progress.data();
}

platform::Prompt& MainWindowPortAdapter::prompt() {
    return m_window.prompt();
}

std::string MainWindowPortAdapter::registerPath() const {
    return m_window.registerPath();
}

} // namespace shell
