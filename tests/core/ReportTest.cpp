// Unexpected failures of the engines, the readers and the cipher reach the error reporter with the
// reporting window's name, the procedure's name and the number.

#include "EngineFixture.h"
#include "LocalHttpServer.h"
#include "core/Cipher.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>

#include <functional>

namespace {

void ensureApp() {
    static int argc = 1;
    static char name[] = "test_core";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

} // namespace

class ReportTest : public core_tests::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ensureApp();
        SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::ConnectionProbeUrl.name, server.base() + "/probe");
        SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::ErrorReportHost.name, server.base());
    }

    // The request line of the last report.
    std::string lastReport() const {
        const auto lines = server.requestLines();
        return lines.empty() ? std::string() : lines.back();
    }

    testing_support::LocalHttpServer server;
};

TEST_F(ReportTest, EveryRoutineReportsUnderItsOwnNames) {
    sandbox.makeFolder("C:\\Q");
    const std::string tooLong = sandbox.writeFile("C:\\Q\\" + std::string(252, 'x'), std::string(250000, 'a'));
    const std::string gone = "C:\\Q\\gone.TSL";
    const std::string noRegister = "C:\\Q\\systemtsl1.tcl";
    core::EngineContext vault = context();
    vault.windowName = "frmSecurityVault";

    const struct {
        const char* expected; // window, procedure and number as the report starts
        std::function<void()> run;
    } cases[] = {
        {"frmMain, Encrypt52", [&] { core::Encrypt(tooLong, "pw", context()); }},
        {"frmMain, BigEncription52", [&] { core::BigEncrypt(tooLong, "pw", context()); }},
        {"frmMain, Decrypt53", [&] { core::Decrypt(gone, "pw", context()); }},
        {"frmSecurityVault, Decrypt153", [&] { core::Decrypt1(gone, "pw", vault); }},
        {"frmMain, BigDecrypt53", [&] { core::BigDecrypt(gone, "pw", context()); }},
        {"frmSecurityVault, BigDecrypt153", [&] { core::BigDecrypt1(gone, "pw", vault); }},
        {"frmMain, GetLockedIDFiles53", [&] { core::GetLockedTSLFiles(noRegister, prompt); }},
        {"frmMain, GetLockedTSWFiles53", [&] { core::GetLockedTSWFiles(noRegister, prompt); }},
        {"frmMain, GetLockedFolders53", [&] { core::GetLockedFolders(noRegister, prompt); }},
        {"Cipher, shrink5",
         [] {
             Cipher c;
             c.Shrink();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        c.run();
        const std::string prefix =
            "GET /error-reporting/error-msg.php?" + QByteArray(c.expected).toPercentEncoding().toStdString();
        EXPECT_EQ(lastReport().compare(0, prefix.size(), prefix), 0) << lastReport();
    }
    // Each engine also tells the user which file failed and why, in the system's words.
    ASSERT_EQ(prompt.boxes.size(), 6u);
    EXPECT_EQ(prompt.boxes[1].text, "'" + std::string(252, 'x') + "' could not be locked: File name too long.");
    EXPECT_EQ(prompt.boxes[5].text, "'gone.TSL' could not be unlocked: No such file or directory.");
    EXPECT_EQ(prompt.boxes[5].icon, platform::Icon::Critical);
    EXPECT_EQ(sandbox.readFile(tooLong), std::string(250000, 'a'));
}
