#pragma once
// The EXIF orientation of pictures whose reader does not apply it. Qt turns JPEG and TIFF pictures
// upright itself; WebP (its RIFF "EXIF" chunk) and PNG (its "eXIf" chunk) carry the same tag, which
// Qt's readers leave alone, so a phone's picture saved as WebP would be shown on its side. The tag
// is read here from the file's container and applied to the decoded picture.

#include <QImage>

class QIODevice;

namespace viewer {

// The orientation (1 to 8, as EXIF numbers them) in the EXIF data of a WebP or PNG file; 1 (shown
// as stored) for other files, for a file without the tag and for data that cannot be read. The
// device must be open and allow seeking; its position is changed.
int ContainerOrientation(QIODevice& device);

// The picture as it is shown under an EXIF orientation: 2 mirrored, 3 turned half round,
// 4 flipped, 5 transposed, 6 turned a quarter clockwise, 7 transversed, 8 turned a quarter
// counter-clockwise; any other value leaves it as it is.
QImage Oriented(const QImage& picture, int orientation);

} // namespace viewer
