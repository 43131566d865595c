// The thumbnail engine on real image files: the size a picture is decoded at, files that cannot
// be decoded, and builds that deliver, skip and cancel.
#include "viewer/ThumbnailEngine.h"

#include "ViewerTestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

using namespace viewer;
using viewer_test::writePicture;

namespace {

class EngineTest : public viewer_test::ViewerTest {
protected:
    std::string dir(const std::string& name) {
        const std::string d = sandbox.root() + "/" + name;
        std::filesystem::create_directories(d);
        return d;
    }
};

// The thumbnails a finished build delivered: file index -> picture size in device pixels.
struct Delivered {
    std::map<int, QSize> sizes;
    int finished = 0;
    int lastDone = 0;
};

void collect(ThumbnailBuilder& builder, Delivered& out) {
    QObject::connect(&builder, &ThumbnailBuilder::thumbnailReady,
                     [&out](int i, const QImage& picture) { out.sizes[i] = picture.size(); });
    QObject::connect(&builder, &ThumbnailBuilder::progress, [&out](int done, int) { out.lastDone = done; });
    QObject::connect(&builder, &ThumbnailBuilder::finished, [&out] { ++out.finished; });
}

} // namespace

TEST_F(EngineTest, SmallPicturesKeepTheirPixelsLargeOnesShrinkToTheCanvas) {
    const std::string d = dir("pics");
    const QImage small = ReadThumbnail(writePicture(d + "/small.png", 40, 30), 1.0);
    ASSERT_FALSE(small.isNull());
    EXPECT_EQ(small.size(), QSize(40, 30));
    EXPECT_EQ(small.deviceIndependentSize(), QSizeF(40, 30));

    const std::string wide = writePicture(d + "/wide.png", 200, 100, Qt::blue);
    const QImage one = ReadThumbnail(wide, 1.0);
    EXPECT_EQ(one.size(), QSize(68, 34));
    EXPECT_EQ(one.pixelColor(34, 17), QColor(Qt::blue));
    // On a screen of pixel ratio 2 the same 68 x 34 units hold twice the pixels, for sharpness.
    const QImage two = ReadThumbnail(wide, 2.0);
    EXPECT_EQ(two.size(), QSize(136, 68));
    EXPECT_EQ(two.deviceIndependentSize(), QSizeF(68, 34));
    // Small pictures are not blown up on such a screen either.
    EXPECT_EQ(ReadThumbnail(d + "/small.png", 2.0).size(), QSize(40, 30));
}

TEST_F(EngineTest, APhotoIsDecodedAtReducedSize) {
    const std::string photo = writePicture(dir("pics") + "/photo.jpg", 4000, 3000, QColor(200, 120, 40));
    const QImage thumb = ReadThumbnail(photo, 1.0);
    ASSERT_EQ(thumb.size(), QSize(68, 51));
    const QColor c = thumb.pixelColor(30, 25);
    EXPECT_NEAR(c.red(), 200, 6);
    EXPECT_NEAR(c.green(), 120, 6);
    EXPECT_NEAR(c.blue(), 40, 6);
}

// A ".dib" or ".rle" file is a bitmap file as a ".bmp" is; other pictures may carry a wrong extension.
TEST_F(EngineTest, APictureIsReadByItsContentWhateverItsExtensionSays) {
    const std::string d = dir("pics");
    const struct {
        const char* written;
        const char* renamed;
    } cases[] = {{"png.png", "png.jpg"},    {"jpeg.jpg", "jpeg.png"}, {"tiff.tif", "tiff.bmp"},
                 {"webp.webp", "webp.jpe"}, {"dib.bmp", "dib.dib"},   {"rle.bmp", "rle.rle"}};
    for (const auto& c : cases) {
        const std::string path = d + "/" + c.renamed;
        std::filesystem::rename(writePicture(d + "/" + c.written, 200, 100, Qt::green), path);
        const QImage thumb = ReadThumbnail(path, 1.0);
        ASSERT_EQ(thumb.size(), QSize(68, 34)) << c.renamed;
        const QColor centre = thumb.pixelColor(34, 17);
        EXPECT_LT(centre.red(), 8) << c.renamed;
        EXPECT_GT(centre.green(), 120) << c.renamed;
    }
}

// Names are bytes: one in an older 8-bit encoding ("caf\xe9") is read as it is on the disk.
TEST_F(EngineTest, ANameThatIsNotValidTextIsReadAsItsBytes) {
    const std::string d = dir("pics");
    const std::string name = d + "/caf\xe9.png";
    std::filesystem::rename(writePicture(d + "/cafe.png", 20, 10, Qt::blue), name);
    const QImage thumb = ReadThumbnail(name, 1.0);
    ASSERT_EQ(thumb.size(), QSize(20, 10));
    EXPECT_EQ(thumb.pixelColor(10, 5), QColor(Qt::blue));
}

TEST_F(EngineTest, FilesThatCannotBeDecodedGiveNoPicture) {
    const std::string d = dir("pics");
    std::ofstream(d + "/broken.jpg") << "this is not a picture";
    std::ofstream(d + "/empty.png");
    EXPECT_TRUE(ReadThumbnail(d + "/broken.jpg", 1.0).isNull());
    EXPECT_TRUE(ReadThumbnail(d + "/empty.png", 1.0).isNull());
    EXPECT_TRUE(ReadThumbnail(d + "/missing.gif", 1.0).isNull());
}

TEST_F(EngineTest, ABuildDeliversEveryDecodedFileAndSkipsTheRest) {
    const std::string d = dir("pics");
    writePicture(d + "/a.png", 10, 10);
    writePicture(d + "/b.bmp", 300, 300);
    std::ofstream(d + "/c.jpg") << "garbage";
    writePicture(d + "/d.tif", 90, 45);
    writePicture(d + "/gone.png", 10, 10);
    std::filesystem::remove(d + "/gone.png"); // listed, then vanished before it was read

    ThumbnailBuilder builder;
    Delivered got;
    collect(builder, got);
    builder.start(d, {"a.png", "b.bmp", "c.jpg", "d.tif", "gone.png"}, 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.finished > 0; }, 10000));
    EXPECT_EQ(got.sizes, (std::map<int, QSize>{{0, {10, 10}}, {1, {68, 68}}, {3, {68, 34}}}));
    EXPECT_EQ(got.lastDone, 5);
    EXPECT_FALSE(builder.isRunning());
    QTest::qWait(50);
    EXPECT_EQ(got.finished, 1);
}

// A named pipe would keep a reader waiting for a writer that never comes: the build must pass it
// by and finish.
TEST_F(EngineTest, ANamedPipeCalledLikeAPictureIsSkippedWithoutWaiting) {
    const std::string d = dir("pics");
    writePicture(d + "/a.png", 10, 10);
    const std::string pipe = d + "/pipe.jpg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);

    ThumbnailBuilder builder;
    Delivered got;
    collect(builder, got);
    builder.start(d, {"a.png", "pipe.jpg"}, 1.0);
    const bool finished = QTest::qWaitFor([&] { return got.finished > 0; }, 5000);
    if (!finished) { // let a reader stuck in the pipe go, so that the test can end
        const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    EXPECT_TRUE(finished);
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.finished > 0; }, 5000));
    EXPECT_EQ(got.sizes, (std::map<int, QSize>{{0, {10, 10}}}));
}

TEST_F(EngineTest, AnEmptyBuildFinishesAtOnce) {
    ThumbnailBuilder builder;
    Delivered got;
    collect(builder, got);
    builder.start(dir("empty"), {}, 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.finished > 0; }, 5000));
    EXPECT_TRUE(got.sizes.empty());
    EXPECT_FALSE(builder.isRunning());

    // An empty build replaced at once: only the new build's end is announced, after its picture.
    const std::string d = dir("one");
    writePicture(d + "/a.png", 10, 10);
    got = {};
    std::size_t picturesAtEnd = 99;
    QObject::connect(&builder, &ThumbnailBuilder::finished, [&] { picturesAtEnd = got.sizes.size(); });
    builder.start(dir("empty"), {}, 1.0);
    builder.start(d, {"a.png"}, 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return got.finished > 0; }, 5000));
    QTest::qWait(50);
    EXPECT_EQ(got.finished, 1);
    EXPECT_EQ(picturesAtEnd, 1u);
}

TEST_F(EngineTest, ACancelledBuildDeliversNothingMore) {
    const std::string a = dir("a");
    const std::string b = dir("b");
    std::vector<std::string> many;
    writePicture(a + "/base.jpg", 1600, 1200);
    for (int i = 0; i < 60; ++i) {
        many.push_back("p" + std::to_string(i) + ".jpg");
        std::filesystem::copy_file(a + "/base.jpg", a + "/" + many.back());
    }
    writePicture(b + "/x.png", 20, 20);
    writePicture(b + "/y.png", 30, 30);

    ThumbnailBuilder builder(nullptr, 2);
    std::vector<QSize> sizes;
    int finished = 0;
    QObject::connect(&builder, &ThumbnailBuilder::thumbnailReady,
                     [&](int, const QImage& picture) { sizes.push_back(picture.size()); });
    QObject::connect(&builder, &ThumbnailBuilder::finished, [&] { ++finished; });

    // Cancelled outright: the pool's threads end what they were on, and nothing of it arrives.
    builder.start(a, many, 1.0);
    builder.cancel();
    builder.waitForThreads();
    QTest::qWait(50);
    EXPECT_TRUE(sizes.empty());
    EXPECT_EQ(finished, 0);

    // Replaced by a new build while running: only the new build's pictures arrive.
    builder.start(a, many, 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sizes.empty(); }, 10000));
    sizes.clear();
    builder.start(b, {"x.png", "y.png"}, 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished > 0; }, 10000));
    builder.waitForThreads();
    QTest::qWait(50);
    std::multiset<int> widths;
    for (const QSize& s : sizes)
        widths.insert(s.width());
    EXPECT_EQ(widths, (std::multiset<int>{20, 30}));
    EXPECT_EQ(finished, 1);
}

// Pictures that decode quickly pile up between two deliveries: each still arrives once, the pictures
// of a batch in file order before its progress, the progress only grows, and the end comes once,
// after the last picture and with every file counted.
TEST_F(EngineTest, AManyFileBuildDeliversEachPictureOnceInBatchesInFileOrder) {
    const std::string d = dir("many");
    writePicture(d + "/base.png", 12, 9);
    std::vector<std::string> names;
    std::set<int> decodable;
    for (int i = 0; i < 300; ++i) {
        names.push_back("p" + std::to_string(i) + (i % 37 == 5 ? ".gif" : ".png"));
        if (i % 37 == 5) {
            std::ofstream(d + "/" + names.back()) << "not a picture";
        } else {
            std::filesystem::copy_file(d + "/base.png", d + "/" + names.back());
            decodable.insert(i);
        }
    }

    ThumbnailBuilder builder(nullptr, 2);
    std::vector<int> pending; // delivered since the last progress
    std::multiset<int> delivered;
    std::vector<int> progress;
    bool outOfOrder = false;
    int finished = 0;
    int picturesAfterEnd = 0;
    QObject::connect(&builder, &ThumbnailBuilder::thumbnailReady, [&](int i, const QImage& picture) {
        EXPECT_EQ(picture.size(), QSize(12, 9));
        if (!pending.empty() && pending.back() > i)
            outOfOrder = true;
        pending.push_back(i);
        delivered.insert(i);
        picturesAfterEnd += finished;
    });
    QObject::connect(&builder, &ThumbnailBuilder::progress, [&](int done, int total) {
        EXPECT_EQ(total, 300);
        EXPECT_GE(done, static_cast<int>(pending.size()));
        progress.push_back(done);
        pending.clear();
    });
    QObject::connect(&builder, &ThumbnailBuilder::finished, [&] { ++finished; });
    builder.start(d, names, 1.0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished > 0; }, 20000));
    builder.waitForThreads();
    QTest::qWait(50);

    EXPECT_EQ(delivered, std::multiset<int>(decodable.begin(), decodable.end()));
    EXPECT_FALSE(outOfOrder);
    EXPECT_TRUE(pending.empty()); // every picture came before a progress
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(std::adjacent_find(progress.begin(), progress.end()), progress.end());
    EXPECT_EQ(progress.back(), 300);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(picturesAfterEnd, 0);
    EXPECT_FALSE(builder.isRunning());
}
