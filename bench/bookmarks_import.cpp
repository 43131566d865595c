// Imports one bookmarks file into the favourites store, as "Import Bookmarks File..." does, and
// prints how long the import took in microseconds and how many favourites it stored.
//   bench_bookmarks_import HOST-PATH
// Runs in the sandbox its caller set up (drive table, XDG folders).

#include "favourites/Bookmarks.h"
#include "platform/Environment.h"

#include <chrono>
#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_bookmarks_import HOST-PATH\n");
        return 2;
    }
    try {
        const std::string file = platform::toWindows(argv[1]);
        const auto start = std::chrono::steady_clock::now();
        const favourites::TransferReport report = favourites::ImportBookmarksFile(file);
        const auto end = std::chrono::steady_clock::now();
        std::printf("%lld %d\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(end - start).count()),
                    report.done);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_bookmarks_import: %s\n", e.what());
        return 1;
    }
    return 0;
}
