#include "platform/Opener.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/Sandbox.h"

using namespace platform;

namespace {

// Stub xdg-open and xdg-email first on PATH; each writes its arguments, one a line, to <name>.args.
class OpenerTest : public testing_support::SandboxTest {
protected:
    void SetUp() override {
        m_bin = sandbox.root() + "/bin";
        std::filesystem::create_directories(m_bin);
        for (const char* tool : {"xdg-open", "xdg-email"}) {
            const std::string out = m_bin + "/" + tool + ".args";
            const std::string script = m_bin + "/" + tool;
            std::ofstream s(script);
            s << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << out << ".part' && mv '" << out << ".part' '" << out << "'\n";
            s.close();
            ::chmod(script.c_str(), 0755);
        }
        const char* path = std::getenv("PATH");
        m_savedPath = path ? path : "";
        setenv("PATH", (m_bin + ":" + m_savedPath).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", m_savedPath.c_str(), 1); }

    // Waits for the stub to finish writing (it runs detached) and returns what it recorded.
    std::string recorded(const char* tool) const {
        const std::string out = m_bin + "/" + tool + ".args";
        for (int i = 0; i < 1000 && !std::filesystem::exists(out); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return std::filesystem::exists(out) ? testing_support::readHostFile(out) : std::string("<nothing>");
    }

    std::string m_bin;
    std::string m_savedPath;
};

} // namespace

TEST_F(OpenerTest, OpensAWindowsPathByItsHostPath) {
    sandbox.writeFile("C:\\Docs\\my report.doc", "x");
    ASSERT_TRUE(openDefault("C:\\Docs\\my report.doc"));
    EXPECT_EQ(recorded("xdg-open"), sandbox.root() + "/Docs/my report.doc\n");
}

TEST_F(OpenerTest, PassesAddressesAsTheyAre) {
    ASSERT_TRUE(openDefault("mailto:support@example.invalid?subject=Hi there"));
    EXPECT_EQ(recorded("xdg-open"), "mailto:support@example.invalid?subject=Hi there\n");
}

TEST_F(OpenerTest, RefusesWhatCannotBeOpened) {
    EXPECT_FALSE(openDefault(""));
    EXPECT_FALSE(openDefault("Q:\\no drive.txt"));
    setenv("PATH", "/nonexistent", 1);
    EXPECT_FALSE(openDefault("http://127.0.0.1/"));
    EXPECT_FALSE(std::filesystem::exists(m_bin + "/xdg-open.args"));
}

TEST_F(OpenerTest, SendMailRunsXdgEmail) {
    ASSERT_TRUE(sendMail({"--subject", "Log file", "--attach", "/tmp/a b.log", "someone@example.invalid"}));
    EXPECT_EQ(recorded("xdg-email"), "--subject\nLog file\n--attach\n/tmp/a b.log\nsomeone@example.invalid\n");
}
