#include "diagnostics/ErrorReport.h"
#include "diagnostics/HttpGet.h"

#include "LocalHttpServer.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <QUrl>

#include <chrono>
#include <thread>

using testing_support::LocalHttpServer;
using testing_support::SandboxTest;

namespace {
void setDeployment(const char* name, const std::string& value) {
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, name, value);
}
} // namespace

class ErrorReportTest : public SandboxTest {
protected:
    LocalHttpServer server;

    void online() {
        setDeployment(settings::ConnectionProbeUrl.name, server.base() + "/probe");
        setDeployment(settings::ErrorReportHost.name, server.base());
    }
};

TEST_F(ErrorReportTest, ProbeIsTrueOnAnyHttpAnswer) {
    EXPECT_FALSE(IsConnection()); // no probe address: never online
    EXPECT_TRUE(server.requestLines().empty());

    online();
    EXPECT_TRUE(IsConnection());
    EXPECT_EQ(server.requestLines(), std::vector<std::string>{"GET /probe HTTP/1.1"});

    LocalHttpServer failing(500);
    setDeployment(settings::ConnectionProbeUrl.name, failing.base() + "/probe");
    EXPECT_TRUE(IsConnection());

    setDeployment(settings::ConnectionProbeUrl.name,
                  "http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()) + "/probe");
    EXPECT_FALSE(IsConnection());
    setDeployment(settings::ConnectionProbeUrl.name, "not a url at all");
    EXPECT_FALSE(IsConnection());
}

TEST_F(ErrorReportTest, ReportArrivesPercentEncoded) {
    online();
    ReportError("frmMain", 75, "Path/File access error & more", "cmdLock_click");
    const std::vector<std::string> expected{
        "GET /probe HTTP/1.1",
        "GET /error-reporting/error-msg.php?frmMain%2C%20cmdLock_click75Path%2FFile%20access%20error%20%26%20more "
        "HTTP/1.1"};
    EXPECT_EQ(server.requestLines(), expected);
}

TEST_F(ErrorReportTest, EveryByteOfTheReportIsEncoded) {
    online();
    ReportError("frmSecurityVault", -5, "a#b?c=d+e\xc3\xa9%", "Sub cmdUnlockFiles_Click");
    const auto lines = server.requestLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "GET /error-reporting/error-msg.php?frmSecurityVault%2C%20Sub%20cmdUnlockFiles_Click-5"
                        "a%23b%3Fc%3Dd%2Be%C3%A9%25 HTTP/1.1");
}

TEST_F(ErrorReportTest, NoRequestForErrorNumberZero) {
    online();
    ReportError("frmMain", 0, "nothing", "Form_Load");
    EXPECT_TRUE(server.requestLines().empty());
}

TEST_F(ErrorReportTest, NoRequestWhenOffline) {
    // No probe address: the report host is never contacted.
    setDeployment(settings::ErrorReportHost.name, server.base());
    ReportError("frmMain", 53, "File not found", "cmdLock_click");
    EXPECT_TRUE(server.requestLines().empty());

    // The probe fails: a closed port.
    setDeployment(settings::ConnectionProbeUrl.name,
                  "http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()) + "/probe");
    ReportError("frmMain", 53, "File not found", "cmdLock_click");
    EXPECT_TRUE(server.requestLines().empty());
}

TEST_F(ErrorReportTest, NoRequestWithoutReportAddress) {
    online();
    setDeployment(settings::ErrorReportHost.name, "");
    ReportError("frmMain", 53, "File not found", "cmdLock_click");
    EXPECT_TRUE(server.requestLines().empty());
}

TEST_F(ErrorReportTest, ServerThatHangsUpIsSwallowed) {
    online();
    server.dropRequestsTo("/error-reporting/");
    EXPECT_NO_THROW(ReportError("frmMain", 57, "Device I/O error", "Encrypt"));
    // The client may send the unanswered request once more; every request after the probe is the report.
    const auto lines = server.requestLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_LE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "GET /probe HTTP/1.1");
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i], "GET /error-reporting/error-msg.php?frmMain%2C%20Encrypt57Device%20I%2FO%20error HTTP/1.1");

    // And the reporter still works afterwards.
    EXPECT_TRUE(IsConnection());
}

// The probe and the report want an answer, not its body: a huge body is not read.
TEST_F(ErrorReportTest, AHugeAnswerIsNotRead) {
    constexpr std::size_t kBody = std::size_t(64) << 20;
    server.setBody(std::string(kBody, 'x'));
    online();
    EXPECT_TRUE(IsConnection());
    // The server learns how much it could hand over once the connection has ended.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (server.lastAnswerBytesSent() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GT(server.lastAnswerBytesSent(), 0u);
    // No more than what the network's own buffers hold was taken: far from the whole body.
    EXPECT_LT(server.lastAnswerBytesSent(), kBody / 2);
}

// The upgrade check, the probe and the error report fetch only over https://; plain http:// only to
// this machine (the tests' server).
TEST(AllowedAddress, HttpsAnywhereAndPlainHttpOnlyToTheLoopback) {
    const std::pair<const char*, bool> cases[] = {
        {"https://updates.example.com/tsl.txt", true},
        {"HTTPS://updates.example.com", true},
        {"http://updates.example.com/tsl.txt", false},
        {"http://192.168.1.10:8080/probe", false},
        {"http://10.0.0.1/", false},
        {"http://[2001:db8::1]/", false},
        {"http://127.0.0.1:8080/probe", true},
        {"http://127.3.4.5/", true},
        {"http://[::1]:9000/", true},
        {"http://localhost:9000/", true},
        {"http://localhost.example.com/", false},
        {"ftp://127.0.0.1/", false},
        {"file:///etc/passwd", false},
        {"https://", false},
        {"not a url at all", false},
    };
    for (const auto& [address, allowed] : cases)
        EXPECT_EQ(diagnostics::IsAllowedAddress(QUrl(QString::fromLatin1(address))), allowed) << address;
}
