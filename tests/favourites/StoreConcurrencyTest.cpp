// Two processes adding favourites at once: each read-change-write of the store holds the lock, so
// no line of either is lost.

#include "support/Sandbox.h"

#include "favourites/FavouritesStore.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <set>

namespace {

class StoreConcurrencyTest : public testing_support::SandboxTest {};

TEST_F(StoreConcurrencyTest, TwoWritersLoseNothing) {
    constexpr int kEach = 150;
    favourites::GetFavourites([](int, const std::string&) {}); // the platform's folders exist before the fork
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    const std::string who = child == 0 ? "child" : "parent";
    bool ok = true;
    for (int i = 0; i < kEach; ++i)
        ok = favourites::AddFavourite(who + std::to_string(i), "http://" + who + "/" + std::to_string(i)) && ok;
    if (child == 0)
        ::_exit(ok ? 0 : 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(ok);

    int reports = 0;
    const auto all = favourites::GetFavourites([&](int, const std::string&) { ++reports; });
    std::set<std::string> seen;
    for (const auto& f : all)
        seen.insert(f.description);
    EXPECT_EQ(seen.size(), 2u * kEach);
    EXPECT_EQ(reports, 0);
}

} // namespace
