// Pictures are shown upright: the EXIF orientation a camera wrote is applied to WebP and PNG
// pictures (whose readers leave it alone) as Qt applies it to JPEG. Each picture is written here
// with the orientation tag put into its container by hand, and the corners of its thumbnail are
// looked at.
#include "viewer/Orientation.h"
#include "viewer/ThumbnailEngine.h"

#include "ViewerTestSupport.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

class OrientationTest : public viewer_test::ViewerTest {};

// EXIF data in TIFF form holding one entry: the orientation (a SHORT), little-endian.
QByteArray exifWithOrientation(int orientation) {
    const char tiff[] = {'I',  'I',  42, 0, 8, 0, 0, 0,                                          // header, IFD at 8
                         1,    0,                                                                // one entry
                         0x12, 0x01, 3,  0, 1, 0, 0, 0, static_cast<char>(orientation), 0, 0, 0, // 0x0112 SHORT x1
                         0,    0,    0,  0};                                                     // no next IFD
    return QByteArray(tiff, sizeof tiff);
}

void putLe32(QByteArray& b, qsizetype at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

QByteArray be32(std::uint32_t v) {
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((v >> (8 * (3 - i))) & 0xFF);
    return b;
}

std::uint32_t crc32(const QByteArray& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A simple WebP file ("RIFF" size "WEBP" and one image chunk) made into the extended form that can
// carry metadata: a "VP8X" chunk saying EXIF is present, the image chunk, then the "EXIF" chunk.
QByteArray webpWithExif(const QByteArray& simple, int width, int height, const QByteArray& exif) {
    EXPECT_EQ(simple.mid(0, 4), "RIFF");
    EXPECT_EQ(simple.mid(8, 4), "WEBP");
    EXPECT_TRUE(simple.mid(12, 4) == "VP8 " || simple.mid(12, 4) == "VP8L") << simple.mid(12, 4).toStdString();
    QByteArray vp8x("VP8X", 4);
    QByteArray header(10, '\0');
    header[0] = 0x08; // EXIF present
    for (int i = 0; i < 3; ++i) {
        header[4 + i] = static_cast<char>(((width - 1) >> (8 * i)) & 0xFF);
        header[7 + i] = static_cast<char>(((height - 1) >> (8 * i)) & 0xFF);
    }
    QByteArray size(4, '\0');
    putLe32(size, 0, 10);
    vp8x += size + header;
    QByteArray exifChunk("EXIF", 4);
    putLe32(size, 0, static_cast<std::uint32_t>(exif.size()));
    exifChunk += size + exif;
    if (exif.size() % 2)
        exifChunk += '\0';
    QByteArray out = simple.left(12) + vp8x + simple.mid(12) + exifChunk;
    putLe32(out, 4, static_cast<std::uint32_t>(out.size() - 8));
    return out;
}

// A PNG file with an "eXIf" chunk right after its header chunk.
QByteArray pngWithExif(const QByteArray& png, const QByteArray& exif) {
    const qsizetype afterHeader = 8 + 12 + 13; // signature, then IHDR with its 13 bytes of data
    EXPECT_EQ(png.mid(12, 4), "IHDR");
    const QByteArray body = QByteArray("eXIf", 4) + exif;
    return png.left(afterHeader) + be32(static_cast<std::uint32_t>(exif.size())) + body + be32(crc32(body)) +
           png.mid(afterHeader);
}

// A JPEG file with an APP1 "Exif" segment right after its start marker.
QByteArray jpegWithExif(const QByteArray& jpeg, const QByteArray& exif) {
    const QByteArray payload = QByteArray("Exif\0\0", 6) + exif;
    const auto length = static_cast<int>(payload.size() + 2);
    QByteArray segment("\xFF\xE1", 2);
    segment += static_cast<char>(length >> 8);
    segment += static_cast<char>(length & 0xFF);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(100);
    EXPECT_TRUE(writer.write(image)) << format << ": " << writer.errorString().toStdString();
    return out;
}

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

} // namespace

TEST_F(OrientationTest, EveryOrientationOfWebpAndPngIsShownAsJpegShowsIt) {
    // As stored: 40 x 20, each quarter a colour.
    const QColor red(Qt::red), green(Qt::green), blue(Qt::blue), yellow(Qt::yellow);
    QImage stored(40, 20, QImage::Format_RGB32);
    {
        QPainter p(&stored);
        p.fillRect(0, 0, 20, 10, red);
        p.fillRect(20, 0, 20, 10, green);
        p.fillRect(0, 10, 20, 10, blue);
        p.fillRect(20, 10, 20, 10, yellow);
    }
    // Where each stored corner is seen, by what EXIF says of its row 0 and column 0.
    const struct {
        int orientation;
        QColor topLeft, topRight, bottomLeft, bottomRight;
    } cases[] = {
        {1, red, green, blue, yellow}, // as stored
        {2, green, red, yellow, blue}, // mirrored left to right
        {3, yellow, blue, green, red}, // half round
        {4, blue, yellow, red, green}, // upside down
        {5, red, blue, green, yellow}, // row 0 on the left, column 0 on top
        {6, blue, red, yellow, green}, // row 0 on the right, column 0 on top
        {7, yellow, green, blue, red}, // row 0 on the right, column 0 at the bottom
        {8, green, yellow, red, blue}, // row 0 on the left, column 0 at the bottom
    };
    const std::string folder = sandbox.root() + "/pics";
    std::filesystem::create_directories(folder);
    for (const char* format : {"webp", "png", "jpeg"}) {
        const QByteArray plain = encoded(stored, format);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(format) + " orientation " + std::to_string(c.orientation));
            const QByteArray exif = exifWithOrientation(c.orientation);
            const QByteArray file = std::string(format) == "webp"  ? webpWithExif(plain, 40, 20, exif)
                                    : std::string(format) == "png" ? pngWithExif(plain, exif)
                                                                   : jpegWithExif(plain, exif);
            const std::string path = folder + "/o" + std::to_string(c.orientation) + "." + format;
            std::ofstream(path, std::ios::binary).write(file.constData(), file.size());

            const QImage thumb = viewer::ReadThumbnail(path, 1.0);
            ASSERT_FALSE(thumb.isNull());
            const bool quarterTurn = c.orientation >= 5;
            EXPECT_EQ(thumb.size(), quarterTurn ? QSize(20, 40) : QSize(40, 20));
            const int right = thumb.width() - 3, bottom = thumb.height() - 3;
            EXPECT_TRUE(near(thumb.pixelColor(2, 2), c.topLeft)) << thumb.pixelColor(2, 2).name().toStdString();
            EXPECT_TRUE(near(thumb.pixelColor(right, 2), c.topRight))
                << thumb.pixelColor(right, 2).name().toStdString();
            EXPECT_TRUE(near(thumb.pixelColor(2, bottom), c.bottomLeft))
                << thumb.pixelColor(2, bottom).name().toStdString();
            EXPECT_TRUE(near(thumb.pixelColor(right, bottom), c.bottomRight))
                << thumb.pixelColor(right, bottom).name().toStdString();
        }
    }
}

TEST_F(OrientationTest, DamagedOrMissingExifLeavesThePictureAsStored) {
    const QImage stored(8, 4, QImage::Format_RGB32);
    const QByteArray webp = encoded(stored, "webp");
    const QByteArray png = encoded(stored, "png");
    QByteArray bigEndian("MM\0*\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 26);
    QByteArray outOfRange = exifWithOrientation(9);
    QByteArray farDirectory = exifWithOrientation(6);
    putLe32(farDirectory, 4, 0xFFFFFFF0u);
    QByteArray cutShort = exifWithOrientation(6).left(12);
    const struct {
        const char* what;
        QByteArray file;
        int orientation;
    } cases[] = {
        {"webp without EXIF", webp, 1},
        {"png without EXIF", png, 1},
        {"big-endian EXIF", webpWithExif(webp, 8, 4, bigEndian), 6},
        {"EXIF after an \"Exif\" prefix", pngWithExif(png, QByteArray("Exif\0\0", 6) + exifWithOrientation(8)), 8},
        {"orientation 9", webpWithExif(webp, 8, 4, outOfRange), 1},
        {"directory beyond the data", webpWithExif(webp, 8, 4, farDirectory), 1},
        {"entry cut short", pngWithExif(png, cutShort), 1},
        {"RIFF chunk size beyond the file", webp.left(16) + QByteArray("\xF0\xFF\xFF\x7F", 4), 1},
        {"not a picture", QByteArray("RIFF"), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray bytes = c.file;
        QBuffer device(&bytes);
        ASSERT_TRUE(device.open(QIODevice::ReadOnly));
        EXPECT_EQ(viewer::ContainerOrientation(device), c.orientation);
    }
}
