#include "platform/Paths.h"
#include "platform/DriveTable.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <type_traits>

using platform::Drive;
using platform::DriveTable;
using platform::HostPath;
using platform::WinPath;

// Text becomes a path only on purpose, and one kind of path never passes for the other.
static_assert(!std::is_convertible_v<std::string, WinPath>);
static_assert(!std::is_convertible_v<std::string, HostPath>);
static_assert(!std::is_convertible_v<HostPath, WinPath>);
static_assert(!std::is_convertible_v<WinPath, HostPath>);
// Mapping a path of the wrong kind does not compile.
template <class Path>
concept MapsToHost = requires(const DriveTable& t, const Path& p) {
    t.toHost(p);
};
template <class Path>
concept MapsToWindows = requires(const DriveTable& t, const Path& p) {
    t.toWindows(p);
};
static_assert(MapsToHost<WinPath> && !MapsToHost<HostPath>);
static_assert(MapsToWindows<HostPath> && !MapsToWindows<WinPath>);

TEST(Paths, TheTypedMappingGoesBothWaysAsTheTextFormsDo) {
    const DriveTable table({Drive{'C', "/", std::nullopt}, Drive{'D', "/srv/data", std::nullopt}});
    const struct {
        const char* windows;
        const char* host;
    } cases[] = {
        {"C:\\Docs\\a.doc", "/Docs/a.doc"},
        {"D:\\x\\y", "/srv/data/x/y"},
        {"D:\\what?.txt", "/srv/data/what?.txt"},
    };
    for (const auto& c : cases) {
        const HostPath host = table.toHost(WinPath(c.windows));
        EXPECT_EQ(host.str(), c.host) << c.windows;
        EXPECT_EQ(host.str(), table.toHost(std::string(c.windows)));
        const WinPath back = table.toWindows(host);
        EXPECT_EQ(back.str(), c.windows) << c.host;
    }
    // A host name holding "\" has no Windows form.
    EXPECT_TRUE(table.toWindows(HostPath("/srv/data/a\\b")).empty());
}
