// The lock command's checks and the engine's read the register once for the whole run, and the
// refusal that depends on it still comes for every file it concerns.

#include "LockingTestSupport.h"

#include "core/Register.h"
#include "locking/FileCommands.h"
#include "platform/Environment.h"
#include "settings/Settings.h"
#include "settings/modGeneral.h"
#include "support/OpenCounter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace locking_test;

namespace {

class RegisterReadsTest : public testing_support::SandboxTest {
protected:
    void SetUp() override { registerPath = makeRegister(); }

    locking::FileBatch batch(const std::string& folder, const std::vector<std::string>& names) {
        locking::FileBatch b;
        b.folder = folder;
        for (const std::string& name : names)
            b.checked.push_back({name, name});
        b.password = b.confirmation = "pw";
        b.registerPath = registerPath;
        return b;
    }
    // Files f0.. in the folder, small and large.
    std::vector<std::string> makeFiles(const std::string& folder, int count) {
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) {
            std::string name(1, 'f');
            name += std::to_string(i);
            name += ".dat";
            names.push_back(name);
            sandbox.writeFile(folder + "\\" + names.back(), content(i % 4 == 0 ? 210000 : 2000, 'a' + i % 26));
        }
        return names;
    }

    std::string registerPath;
    testing_support::ScriptedPrompt prompt;
};

TEST_F(RegisterReadsTest, TheLockCommandReadsTheRegisterAsOftenForTwoFilesAsForTwenty) {
    testing_support::OpenCounter counter(platform::toHost(registerPath));
    std::vector<int> opens;
    for (const int count : {2, 20}) {
        const std::string folder = "C:\\Docs" + std::to_string(count);
        const std::vector<std::string> names = makeFiles(folder, count);
        counter.reset();
        const locking::RunResult result = locking::LockFiles(batch(folder, names), prompt);
        opens.push_back(counter.opens());
        EXPECT_EQ(result.end, locking::RunEnd::Completed);
        EXPECT_FALSE(result.failed);
        EXPECT_TRUE(prompt.boxes.empty()) << boxList(prompt);
        for (const std::string& name : names)
            EXPECT_FALSE(sandbox.exists(folder + "\\" + name)) << name;
    }
    // One read for the checks of the command and the engine, then one read-change-write per
    // section written (".TSL" and ".TSW") for the folder.
    EXPECT_EQ(opens[0], opens[1]);
    EXPECT_LE(opens[1], 3);
    EXPECT_EQ(core::QuietRegisterEntries(registerPath, core::RegisterKind::SmallFile).size() +
                  core::QuietRegisterEntries(registerPath, core::RegisterKind::LargeFile).size(),
              22u);
}

TEST_F(RegisterReadsTest, EveryFileOfTheRunInsideALockedFolderIsRefusedAfterOneRead) {
    // C:\Old is locked as C:\Byq.TSL; the run's folder lies inside it.
    core::RecordLock(registerPath, core::RegisterKind::Folder, "C:\\Old", "C:\\Byq.TSL");
    const std::vector<std::string> names = makeFiles("C:\\Byq.TSL\\Sub", 3);
    testing_support::OpenCounter counter(platform::toHost(registerPath));
    const locking::RunResult result = locking::LockFiles(batch("C:\\Byq.TSL\\Sub", names), prompt);
    EXPECT_EQ(result.end, locking::RunEnd::Completed);
    std::vector<std::string> expected;
    for (const std::string& name : names) {
        std::string text = "'C:\\Old\\Sub\\";
        text += name;
        text += "' lies inside the locked folder 'C:\\Old'. Unlock that folder first.";
        expected.push_back(text);
    }
    EXPECT_EQ(prompt.texts(), expected);
    for (const std::string& name : names)
        EXPECT_TRUE(sandbox.exists("C:\\Byq.TSL\\Sub\\" + name)) << name;
    EXPECT_EQ(counter.opens(), 1);
}

} // namespace
