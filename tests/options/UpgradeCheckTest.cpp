#include "options/UpgradeCheck.h"

#include "LocalHttpServer.h"
#include "OptionsTestSupport.h"
#include "settings/Settings.h"
#include "settings/SettingsTable.h"
#include "settings/VbRegMod.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

using options_test::OptionsTest;
using testing_support::LocalHttpServer;

TEST(VersionNumber, ReadsAPlainNumberRoundedHalfToEven) {
    const std::pair<const char*, int> cases[] = {
        {"1", 1},           {"1.4", 1},         {"1.5", 2},    {"2.5abc", 0}, {"3.5", 4},
        {"0.5", 0},         {"2", 2},           {" 7\r\n", 7}, {"abc", 0},    {"", 0},
        {".6", 1},          {"-1.5", -2},       {"1e5", 0},    {"12.", 12},   {"99999", 32767},
        {"-99999", -32768}, {"9999garbage", 0}, {"9 9", 0},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(options::VersionNumber(text), expected) << '"' << text << '"';
}

class UpgradeCheckTest : public OptionsTest {
protected:
    void useHost(const std::string& host) {
        SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::UpgradeHost.name, host);
    }
};

TEST_F(UpgradeCheckTest, NoUpgradeForTheSameOrALowerRoundedNumber) {
    LocalHttpServer server;
    useHost(server.base() + "/");
    for (const char* version : {"1", "1.4", "0.9", "not a number"}) {
        server.setBody(version);
        options::cmdUpgrade_Click(prompt, progress);
        ASSERT_FALSE(prompt.boxes.empty());
        EXPECT_EQ(prompt.last().text, options::kNoUpgrade) << version;
        EXPECT_EQ(prompt.last().icon, platform::Icon::Information);
        EXPECT_EQ(prompt.last().title, "Check For Tessaly Update");
    }
    EXPECT_EQ(server.requestLines(), std::vector<std::string>(4, "GET /tsl.txt HTTP/1.1"));
    EXPECT_EQ(progress.messages, std::vector<std::string>(4, "Checking for Upgrade..."));
    EXPECT_FALSE(progress.open);
    EXPECT_EQ(openedArgs(false), "");
}

TEST_F(UpgradeCheckTest, APlainHttpAddressElsewhereIsRefusedAndNothingIsAsked) {
    useHost("http://updates.example.com/");
    options::cmdUpgrade_Click(prompt, progress);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "The upgrade check needs an https:// address (this installation has "
                                  "http://updates.example.com), so it was not made.");
    EXPECT_EQ(prompt.last().icon, platform::Icon::Exclamation);
    EXPECT_TRUE(progress.messages.empty());
    EXPECT_EQ(openedArgs(false), "");
}

TEST_F(UpgradeCheckTest, AHigherNumberOffersTheUpgradePage) {
    LocalHttpServer server;
    useHost(server.base());
    server.setBody("1.5");
    prompt.answer(platform::Answer::Cancel);
    options::cmdUpgrade_Click(prompt, progress);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Upgrade available.\r\nDo you want to download?");
    EXPECT_EQ(prompt.last().buttons, platform::Buttons::OKCancel);
    EXPECT_EQ(prompt.last().title, "Check For Tessaly Update");
    EXPECT_FALSE(progress.open);
    EXPECT_EQ(openedArgs(false), ""); // Cancel opens nothing

    server.setBody("2\n");
    prompt.answer(platform::Answer::OK);
    options::cmdUpgrade_Click(prompt, progress);
    ASSERT_EQ(prompt.boxes.size(), 2u);
    EXPECT_EQ(prompt.last().text, options::kUpgradeAvailable);
    EXPECT_EQ(openedArgs(true), server.base() + "/upgrade.html\n");
}

TEST_F(UpgradeCheckTest, AnUnreachableHostReadsAsNoUpgrade) {
    useHost("http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()));
    options::cmdUpgrade_Click(prompt, progress);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, options::kNoUpgrade);
    EXPECT_FALSE(progress.open);
}

TEST_F(UpgradeCheckTest, AHostThatNeverAnswersIsGivenUpAtTheLimit) {
    // A listening socket that nobody serves: the connection opens and no answer ever comes.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    useHost("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)));

    const auto start = std::chrono::steady_clock::now();
    options::cmdUpgrade_Click(prompt, progress, 300);
    const auto waited = std::chrono::steady_clock::now() - start;
    ::close(fd);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, options::kNoUpgrade);
    EXPECT_FALSE(progress.open);
    EXPECT_LT(waited, std::chrono::seconds(8)); // ended by the limit, not by the server
}

TEST_F(UpgradeCheckTest, AnErrorAnswerReadsAsNoUpgrade) {
    LocalHttpServer server(404);
    server.setBody("5");
    useHost(server.base());
    options::cmdUpgrade_Click(prompt, progress);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, options::kNoUpgrade);
}

TEST_F(UpgradeCheckTest, WithoutAnUpgradeHostNothingIsAskedOfTheNetwork) {
    LocalHttpServer probe;
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::ConnectionProbeUrl.name, probe.base() + "/probe");
    options::cmdUpgrade_Click(prompt, progress);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "Upgrade checks are switched off in this installation.");
    EXPECT_EQ(prompt.last().icon, platform::Icon::Information);
    EXPECT_EQ(prompt.last().title, "Check For Tessaly Update");
    EXPECT_TRUE(probe.requestLines().empty());
    EXPECT_TRUE(progress.messages.empty());
}

TEST_F(UpgradeCheckTest, OfflineTheVersionFileIsNeverRequested) {
    LocalHttpServer server;
    server.setBody("9");
    useHost(server.base());
    SaveString(HKEY_CURRENT_USER, settings::kAppKey, settings::ConnectionProbeUrl.name,
               "http://127.0.0.1:" + std::to_string(LocalHttpServer::closedPort()) + "/");
    options::cmdUpgrade_Click(prompt, progress);
    ASSERT_EQ(prompt.boxes.size(), 1u);
    EXPECT_EQ(prompt.last().text, "You are not connected to Internet\r\nMake sure you are connected to Internet");
    EXPECT_EQ(prompt.last().icon, platform::Icon::Exclamation);
    EXPECT_EQ(prompt.last().title, "Tessaly");
    EXPECT_TRUE(server.requestLines().empty());
    EXPECT_FALSE(progress.open);
}

TEST_F(UpgradeCheckTest, AnAnswerFarLongerThanAVersionFileIsNotRead) {
    LocalHttpServer server;
    useHost(server.base());
    // "9" would offer an upgrade: a body just over the limit, and one large enough to come in pieces.
    for (std::size_t spaces : {std::size_t(options::kVersionFileLimit), std::size_t(8) << 20}) {
        server.setBody("9" + std::string(spaces, ' '));
        options::cmdUpgrade_Click(prompt, progress);
        ASSERT_FALSE(prompt.boxes.empty());
        EXPECT_EQ(prompt.last().text, options::kNoUpgrade) << spaces;
        EXPECT_FALSE(progress.open);
    }

    server.setBody("9" + std::string(100, ' '));
    options::cmdUpgrade_Click(prompt, progress);
    EXPECT_EQ(prompt.last().text, options::kUpgradeAvailable);
}

// A version file that moved to another host is not fetched from there.
TEST_F(UpgradeCheckTest, ARedirectToAnotherHostIsNotFollowed) {
    LocalHttpServer elsewhere;
    elsewhere.setBody("9");
    LocalHttpServer server;
    // The same machine under another name and port: another host.
    const std::string other = "http://localhost:" + elsewhere.base().substr(elsewhere.base().rfind(':') + 1);
    server.setRedirect(other + "/tsl.txt");
    useHost(server.base());
    options::cmdUpgrade_Click(prompt, progress);
    EXPECT_EQ(prompt.last().text, options::kNoUpgrade);
    EXPECT_TRUE(elsewhere.requestLines().empty());
    EXPECT_EQ(server.requestLines(), std::vector<std::string>{"GET /tsl.txt HTTP/1.1"});

    // Garbage behind a number is no version either.
    server.setRedirect("");
    server.setBody("9999garbage");
    options::cmdUpgrade_Click(prompt, progress);
    EXPECT_EQ(prompt.last().text, options::kNoUpgrade);
}
