#include "viewer/Orientation.h"

#include <QByteArray>
#include <QIODevice>
#include <QTransform>

#include <algorithm>
#include <cstdint>

namespace viewer {

namespace {

// Only the start of the EXIF data is read: the orientation sits in its first directory.
constexpr qint64 kExifReadLimit = 64 * 1024;
// A container walk gives up after this many chunks (a damaged file could lead it far).
constexpr int kMaxChunks = 4096;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;

std::uint32_t le32(const QByteArray& b, qsizetype at) {
    const auto u = [&](qsizetype i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + i])); };
    return u(0) | (u(1) << 8) | (u(2) << 16) | (u(3) << 24);
}

std::uint32_t be32(const QByteArray& b, qsizetype at) {
    const auto u = [&](qsizetype i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + i])); };
    return (u(0) << 24) | (u(1) << 16) | (u(2) << 8) | u(3);
}

// The orientation in TIFF-structured EXIF data (optionally after the "Exif\0\0" that some writers
// put first); 1 when it holds none.
int tiffOrientation(QByteArray data) {
    if (data.startsWith(QByteArray("Exif\0\0", 6)))
        data.remove(0, 6);
    if (data.size() < 8)
        return 1;
    bool little = false;
    if (data.startsWith(QByteArray("II*\0", 4)))
        little = true;
    else if (!data.startsWith(QByteArray("MM\0*", 4)))
        return 1;
    const auto u16 = [&](qsizetype at) {
        const auto a = static_cast<unsigned char>(data[at]);
        const auto b = static_cast<unsigned char>(data[at + 1]);
        return static_cast<std::uint16_t>(little ? a | (b << 8) : (a << 8) | b);
    };
    const auto u32 = [&](qsizetype at) { return little ? le32(data, at) : be32(data, at); };
    const std::uint32_t ifd = u32(4);
    if (ifd > static_cast<std::uint32_t>(data.size()) - 2)
        return 1;
    const qsizetype entries = u16(ifd);
    for (qsizetype i = 0; i < entries; ++i) {
        const qsizetype entry = static_cast<qsizetype>(ifd) + 2 + i * 12;
        if (entry + 12 > data.size())
            break;
        if (u16(entry) != kOrientationTag)
            continue;
        // One SHORT, held in the first two bytes of the entry's value field.
        if (u16(entry + 2) != kShortType || u32(entry + 4) < 1)
            return 1;
        const int value = u16(entry + 8);
        return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

// The EXIF data of a WebP file: its "EXIF" chunk among the RIFF chunks (little-endian sizes, each
// chunk padded to an even length).
QByteArray webpExif(QIODevice& device) {
    qint64 at = 12;
    for (int n = 0; n < kMaxChunks; ++n) {
        if (!device.seek(at))
            return {};
        const QByteArray head = device.read(8);
        if (head.size() < 8)
            return {};
        const std::uint32_t size = le32(head, 4);
        if (head.startsWith("EXIF"))
            return device.read(std::min<qint64>(size, kExifReadLimit));
        at += 8 + static_cast<qint64>(size) + (size & 1);
    }
    return {};
}

// The EXIF data of a PNG file: its "eXIf" chunk (big-endian lengths, each chunk followed by its
// CRC). The walk stops at the end of the image.
QByteArray pngExif(QIODevice& device) {
    qint64 at = 8;
    for (int n = 0; n < kMaxChunks; ++n) {
        if (!device.seek(at))
            return {};
        const QByteArray head = device.read(8);
        if (head.size() < 8)
            return {};
        const std::uint32_t size = be32(head, 0);
        const QByteArray type = head.mid(4, 4);
        if (type == "eXIf")
            return device.read(std::min<qint64>(size, kExifReadLimit));
        if (type == "IEND")
            return {};
        at += 12 + static_cast<qint64>(size);
    }
    return {};
}

} // namespace

int ContainerOrientation(QIODevice& device) {
    if (!device.seek(0))
        return 1;
    const QByteArray start = device.read(12);
    if (start.size() == 12 && start.startsWith("RIFF") && start.mid(8, 4) == "WEBP")
        return tiffOrientation(webpExif(device));
    if (start.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)))
        return tiffOrientation(pngExif(device));
    return 1;
}

QImage Oriented(const QImage& picture, int orientation) {
    // Qt's y axis points down, so a rotation by +90 degrees turns the picture clockwise.
    const auto turned = [](const QImage& image, int degrees) {
        return image.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
    case 2:
        return picture.mirrored(true, false);
    case 3:
        return picture.mirrored(true, true);
    case 4:
        return picture.mirrored(false, true);
    case 5:
        return turned(picture.mirrored(false, true), 90);
    case 6:
        return turned(picture, 90);
    case 7:
        return turned(picture.mirrored(true, false), 90);
    case 8:
        return turned(picture, 270);
    default:
        return picture;
    }
}

} // namespace viewer
