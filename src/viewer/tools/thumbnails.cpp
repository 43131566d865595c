// tessaly-thumbnails FOLDER: makes the thumbnail of every image in a host folder with the viewer's
// engine (the same thread pool and reduced-size decoding the window uses) and prints how many were
// made, the time to the first and to the last one, the processor time it took (all threads) and the peak
// memory of the process.

#include "viewer/ThumbnailEngine.h"
#include "viewer/basThumbs.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tessaly-thumbnails FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.is_regular_file() && viewer::IsImageFileName(entry.path().filename().string()))
            names.push_back(entry.path().filename().string());
    if (error) {
        std::fprintf(stderr, "tessaly-thumbnails: %s: %s\n", folder.c_str(), error.message().c_str());
        return 1;
    }
    std::sort(names.begin(), names.end());

    viewer::ThumbnailBuilder builder;
    QElapsedTimer clock;
    qint64 first = -1;
    int made = 0;
    QObject::connect(&builder, &viewer::ThumbnailBuilder::thumbnailReady, [&](int, const QImage& picture) {
        if (first < 0)
            first = clock.elapsed();
        made += picture.isNull() ? 0 : 1;
    });
    QObject::connect(&builder, &viewer::ThumbnailBuilder::finished, &app, &QCoreApplication::quit);
    clock.start();
    builder.start(folder, names, 1.0);
    app.exec();
    const qint64 total = clock.elapsed();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return static_cast<long long>(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    std::printf("images %zu\nthumbnails %d\nfirst_ms %lld\ntotal_ms %lld\ncpu_ms %lld\npeak_kib %ld\n", names.size(),
                made, static_cast<long long>(first), static_cast<long long>(total),
                ms(usage.ru_utime) + ms(usage.ru_stime), usage.ru_maxrss);
    return made == static_cast<int>(names.size()) ? 0 : 1;
}
