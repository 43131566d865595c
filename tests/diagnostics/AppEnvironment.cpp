// The network code needs a QCoreApplication, as it has inside the program: one for the whole run.
#include <QCoreApplication>

#include <gtest/gtest.h>

namespace {

class AppEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_diagnostics";
        static char* argv[] = {name, nullptr};
        m_app = new QCoreApplication(argc, argv);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    QCoreApplication* m_app = nullptr;
};

[[maybe_unused]] ::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

} // namespace
