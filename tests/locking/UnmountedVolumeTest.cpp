// A file locked on a volume that is then unmounted keeps its Security Vault entry through the
// recovery sweep (an unmounted mount point is an existing, empty folder), is shown as unavailable
// meanwhile, and unlocks once the volume is mounted again.

#include "FakePort.h"
#include "LockingTestSupport.h"

#include "core/LockEngine.h"
#include "core/Mounts.h"
#include "core/Recovery.h"
#include "core/Register.h"
#include "locking/VaultListModel.h"
#include "locking/frmSecurityVault.h"
#include "settings/Settings.h"
#include "settings/modGeneral.h"

#include <QTreeView>

#include <gtest/gtest.h>

#include <string>

using namespace locking_test;

namespace {

class UnmountedVolumeTest : public testing_support::SandboxTest {
protected:
    // The row of the vault's files list whose path before the lock is `text`; -1 when none.
    static int rowOf(QTreeView* list, const std::string& text) {
        for (int i = 0; i < list->model()->rowCount(); ++i)
            if (list->model()->index(i, 0).data(locking::VaultListModel::TextRole).toByteArray().toStdString() == text)
                return i;
        return -1;
    }
};

TEST_F(UnmountedVolumeTest, AnEntryOfAVolumeNotMountedIsKeptAndShownAsUnavailable) {
    ensureApp();
    core_tests::LoopVolume volume(sandbox, "C:\\Vol");
    if (!volume.ok())
        GTEST_SKIP() << volume.why();
    FakePort port;
    port.registerFile = makeRegister();
    core::EngineContext ctx{.prompt = port.scripted, .registerPath = port.registerFile};
    const std::string plain = sandbox.writeFile("C:\\Vol\\report.txt", "the report on the volume");
    ASSERT_TRUE(core::Encrypt(plain, "pw", ctx)) << boxList(port.scripted);
    const std::string locked = "C:\\Vol\\" + TransformName("report.txt") + ".TSL";
    ASSERT_TRUE(sandbox.exists(locked));

    locking::frmSecurityVault vault(port.scripted, port.registerFile, &port);
    auto* files = vault.findChild<QTreeView*>(QStringLiteral("lvwFiles"));
    ASSERT_NE(files, nullptr);
    const auto shown = [&] {
        vault.Refresh();
        const int row = rowOf(files, plain);
        return row < 0 ? QString() : files->model()->index(row, 0).data(Qt::DisplayRole).toString();
    };
    EXPECT_EQ(shown(), QStringLiteral("C:\\Vol\\report.txt"));

    // Unmounted: the mount point is an empty folder. The sweep keeps the entry, and the vault shows
    // it as unavailable.
    ASSERT_TRUE(volume.unmount());
    ASSERT_FALSE(sandbox.exists(locked));
    const core::RecoveryReport away = core::RecoverFolders(port.registerFile, core::RegisterFolders(port.registerFile));
    EXPECT_TRUE(away.empty()) << core::RecoveryMessage(away);
    const auto entries = core::RegisterEntries(port.registerFile, core::RegisterKind::SmallFile);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].key, locked);
    EXPECT_EQ(entries[0].text, plain);
    EXPECT_EQ(shown(), QStringLiteral("C:\\Vol\\report.txt (not available)"));
    EXPECT_FALSE(files->model()->index(rowOf(files, plain), 0).data(locking::VaultListModel::AvailableRole).toBool());

    // Mounted again: the entry and the file are there, the sweep has nothing to do, and it unlocks.
    ASSERT_TRUE(volume.mount());
    ASSERT_TRUE(sandbox.exists(locked));
    const core::RecoveryReport back = core::RecoverFolders(port.registerFile, core::RegisterFolders(port.registerFile));
    EXPECT_TRUE(back.empty()) << core::RecoveryMessage(back);
    EXPECT_EQ(shown(), QStringLiteral("C:\\Vol\\report.txt"));
    ASSERT_TRUE(core::Decrypt(locked, "pw", ctx)) << boxList(port.scripted);
    EXPECT_EQ(sandbox.readFile(plain), "the report on the volume");
    EXPECT_TRUE(core::RegisterEntries(port.registerFile, core::RegisterKind::SmallFile).empty());
}

} // namespace
