// The Security Vault's lists: a model of one column filled in one reset, read by the commands with
// its ticks, and the window's Refresh that fills both lists without adding rows one by one.

#include "FakePort.h"
#include "LockingTestSupport.h"

#include "core/Register.h"
#include "locking/VaultListModel.h"
#include "locking/frmSecurityVault.h"
#include "settings/Settings.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTreeView>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using locking::VaultListModel;
using namespace locking_test;

namespace {

std::vector<core::RegisterItem> entries(int n) {
    std::vector<core::RegisterItem> items;
    for (int i = 0; i < n; ++i)
        items.push_back({"C:\\Docs\\locked" + std::to_string(i) + ".TSL", "C:\\Docs\\file" + std::to_string(i)});
    return items;
}

TEST(VaultListModelTest, RowsComeInOneResetWithTheirTextsBytesAndTicks) {
    ensureApp();
    VaultListModel model;
    model.setAvailability([](const std::string&) { return true; }); // the rows' paths are made up
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    // A name in Latin-1 ("café"): the roles give back the register's exact bytes.
    std::vector<core::RegisterItem> items = entries(3);
    items[1] = {"C:\\Docs\\pns\xe9.TSL", "C:\\Docs\\caf\xe9"};
    model.setItems(items);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(inserted.count(), 0);
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 4);
    for (const auto& [column, title] : {std::pair{0, "Name"}, {1, "Kind"}, {2, "Size"}, {3, "Modified"}})
        EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(), QString::fromLatin1(title));

    const QModelIndex second = model.index(1, 0);
    EXPECT_EQ(second.data(VaultListModel::KeyRole).toByteArray().toStdString(), "C:\\Docs\\pns\xe9.TSL");
    EXPECT_EQ(second.data(VaultListModel::TextRole).toByteArray().toStdString(), "C:\\Docs\\caf\xe9");
    EXPECT_EQ(model.index(0, 0).data(Qt::DisplayRole).toString(), QStringLiteral("C:\\Docs\\file0"));
    EXPECT_EQ(model.index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("C:\\Docs\\file0"));
    EXPECT_EQ(model.index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_TRUE(model.flags(second).testFlag(Qt::ItemIsUserCheckable));
    EXPECT_FALSE(model.flags(second).testFlag(Qt::ItemIsEditable));

    // A tick by a view (as the delegate sets it) reaches the commands' items.
    EXPECT_TRUE(model.setData(second, Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(model.setData(second, QStringLiteral("renamed"), Qt::EditRole));
    std::vector<locking::VaultItem> taken = model.items();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[1].key, "C:\\Docs\\pns\xe9.TSL");
    EXPECT_EQ(taken[1].text, "C:\\Docs\\caf\xe9");
    EXPECT_TRUE(taken[1].checked);
    EXPECT_FALSE(taken[0].checked);
    EXPECT_EQ(model.item(1).key, taken[1].key);

    // Select All and Deselect All: one change signal for all the rows.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setAllChecked(true);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(changed[0][1].toModelIndex().row(), 2);
    for (const locking::VaultItem& item : model.items())
        EXPECT_TRUE(item.checked);
    model.setAllChecked(false);
    EXPECT_FALSE(model.item(1).checked);

    // A new fill replaces the rows, ticks and all.
    model.setAllChecked(true);
    model.setItems(entries(2));
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_FALSE(model.item(0).checked);
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(inserted.count(), 0);
}

class VaultRefreshTest : public testing_support::SandboxTest {};

// An entry whose locked file is not there (a volume not mounted, a drive not connected) is kept in
// the list and shown as unavailable, and can still be ticked; the others look as before.
TEST_F(VaultRefreshTest, AnEntryWhoseLockedFileIsNotThereIsShownAsUnavailable) {
    ensureApp();
    const std::string there = sandbox.writeFile("C:\\Docs\\there.TSL", "locked");
    const std::string away = "C:\\Volume\\away.TSL";
    VaultListModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.setItems({{there, "C:\\Docs\\there.txt"}, {away, "C:\\Volume\\away.txt"}});
    ASSERT_EQ(model.rowCount(), 2);
    const QModelIndex present = model.index(0, 0);
    const QModelIndex missing = model.index(1, 0);
    EXPECT_TRUE(present.data(VaultListModel::AvailableRole).toBool());
    EXPECT_EQ(present.data(Qt::DisplayRole).toString(), QStringLiteral("C:\\Docs\\there.txt"));
    EXPECT_EQ(present.data(Qt::ToolTipRole).toString(), QStringLiteral("C:\\Docs\\there.txt"));
    EXPECT_FALSE(present.data(Qt::ForegroundRole).isValid());

    EXPECT_FALSE(missing.data(VaultListModel::AvailableRole).toBool());
    EXPECT_EQ(missing.data(Qt::DisplayRole).toString(), QStringLiteral("C:\\Volume\\away.txt (not available)"));
    EXPECT_EQ(missing.data(Qt::ToolTipRole).toString(),
              QStringLiteral("C:\\Volume\\away.txt\nIts locked form, C:\\Volume\\away.TSL, is not there: its "
                             "drive or volume may not be connected."));
    EXPECT_TRUE(missing.data(Qt::ForegroundRole).isValid());
    // The register's bytes are unchanged, and the row can be ticked for the vault's commands.
    EXPECT_EQ(missing.data(VaultListModel::TextRole).toByteArray().toStdString(), "C:\\Volume\\away.txt");
    EXPECT_TRUE(model.flags(missing).testFlag(Qt::ItemIsUserCheckable));
    EXPECT_TRUE(model.setData(missing, Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(model.item(1).checked);

    // Once the file is there again, the next fill shows it as any other.
    sandbox.writeFile(away, "locked too");
    model.setItems({{away, "C:\\Volume\\away.txt"}});
    EXPECT_TRUE(model.index(0, 0).data(VaultListModel::AvailableRole).toBool());
    EXPECT_EQ(model.index(0, 0).data(Qt::DisplayRole).toString(), QStringLiteral("C:\\Volume\\away.txt"));
}

TEST_F(VaultRefreshTest, FillsEachListInResetsWhoseNumberDoesNotGrowWithTheRegister) {
    ensureApp();
    FakePort port;
    port.registerFile = makeRegister();
    locking::frmSecurityVault vault(port.scripted, port.registerFile, &port);
    auto* files = vault.findChild<QTreeView*>(QStringLiteral("lvwFiles"));
    auto* folders = vault.findChild<QTreeView*>(QStringLiteral("lvwFolders"));
    ASSERT_NE(files, nullptr);
    ASSERT_NE(folders, nullptr);

    std::vector<int> signalsPerRefresh;
    int recorded = 0;
    for (const int n : {3, 3000}) {
        std::vector<std::pair<std::string, std::string>> locks;
        for (const core::RegisterItem& item : entries(n))
            locks.emplace_back(item.text + "-" + std::to_string(recorded), item.key + "-" + std::to_string(recorded));
        core::RecordLocks(port.registerFile, core::RegisterKind::SmallFile, locks);
        core::RecordLock(port.registerFile, core::RegisterKind::Folder, "C:\\F" + std::to_string(n),
                         "C:\\S" + std::to_string(n) + ".TSL");
        recorded += n;

        QSignalSpy fileResets(files->model(), &QAbstractItemModel::modelReset);
        QSignalSpy fileRows(files->model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy folderResets(folders->model(), &QAbstractItemModel::modelReset);
        QSignalSpy folderRows(folders->model(), &QAbstractItemModel::rowsInserted);
        vault.Refresh();
        EXPECT_EQ(files->model()->rowCount(), recorded);
        EXPECT_EQ(folders->model()->rowCount(), n == 3 ? 1 : 2);
        EXPECT_EQ(fileRows.count() + folderRows.count(), 0);
        signalsPerRefresh.push_back(static_cast<int>(fileResets.count() + folderResets.count()));
    }
    // Emptied (the lists are cleared before the main window rebuilds its own), then filled: the
    // same few resets for three entries as for three thousand.
    EXPECT_EQ(signalsPerRefresh[0], signalsPerRefresh[1]);
    EXPECT_LE(signalsPerRefresh[1], 4);
    EXPECT_TRUE(port.scripted.boxes.empty());
}

} // namespace
