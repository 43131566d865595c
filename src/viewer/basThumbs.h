#pragma once
// The viewer's rules without any window: which files are images, where a picture sits in the
// thumbnail canvas, the fitted caption and the count text.
//
// Units: the canvas is 70 x 70 units and one unit is one device-independent pixel; a picture of
// w x h pixels measures w x h units. Thumbnails are decoded at the screen's pixel ratio, so they
// stay sharp on high-density screens while the layout keeps these units.

#include <functional>
#include <string>
#include <vector>

class QLocale;

namespace viewer {

inline constexpr int kCanvasUnits = 70;
inline constexpr int kPictureUnits = kCanvasUnits - 2; // the largest a picture is drawn
// A thumbnail cell (one graphical option button), in units: 1305 x 1440 twips at 15 twips a pixel.
inline constexpr int kCellWidth = 87;
inline constexpr int kCellHeight = 96;

// The thumbnail size the user chooses: the largest a picture is drawn, in units. The canvas is two
// units larger and the cell grows with it, keeping the margins of the 68-unit design above.
inline constexpr int kDefaultThumbnailSize = kPictureUnits;
inline constexpr int kMinThumbnailSize = 48;
inline constexpr int kMaxThumbnailSize = 256;
inline constexpr int kThumbnailSizeStep = 8; // one step of the slider, and of Ctrl + wheel
int ClampThumbnailSize(long long size);
inline int CanvasUnits(int thumbnailSize) {
    return thumbnailSize + (kCanvasUnits - kPictureUnits);
}
inline int CellWidth(int thumbnailSize) {
    return thumbnailSize + (kCellWidth - kPictureUnits);
}
inline int CellHeight(int thumbnailSize) {
    return thumbnailSize + (kCellHeight - kPictureUnits);
}

// Where a picture of w x h units is drawn in the canvas of a thumbnail size: never enlarged, aspect
// kept, centred.
struct Placement {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Placement&) const = default;
};
Placement PlaceInCanvas(double width, double height, int thumbnailSize = kDefaultThumbnailSize);

// The extensions the viewer shows, lower case with the dot.
const std::vector<std::string>& ImageExtensions();
bool IsImageFileName(const std::string& name);
// Icons and cursors are read through their own path (the largest picture of the file).
bool IsIconFileName(const std::string& name);

// The image files of a folder (Windows form), hidden ones too, sorted by name without regard to case.
std::vector<std::string> ListImageFiles(const std::string& windowsFolder);
// True when the folder exists as a plain folder: not missing, not a file and not a locked folder
// (a name ending in ".TSL", or a desktop.ini naming the special-folder class a lock writes).
bool IsPlainFolder(const std::string& windowsFolder);

// The name as it fits in `available` width: whole when it fits, otherwise cut at a character
// boundary and followed by "...". `measure` gives the width of a text.
std::string FitCaption(const std::string& name, int available, const std::function<int(const std::string&)>& measure);

// "No. of Images: 1,234" (the locale's thousands separator, no decimals). With files that could not
// be read, how many are shown and how many not: "No. of Images: 39 (38 shown, 1 could not be read)".
std::string CountText(long long count, const QLocale& locale, long long unreadable = 0);

} // namespace viewer
