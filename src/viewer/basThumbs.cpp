#include "viewer/basThumbs.h"

#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/ProfileFile.h"
#include "platform/Text.h"
#include "settings/modFileFunctions.h"

#include <QLocale>
#include <QString>

#include <algorithm>
#include <utility>

namespace viewer {

namespace {

// The class identifier a folder lock writes into the folder's desktop.ini.
constexpr const char* kLockedFolderClassId = "{645FF040-5081-101B-9F08-00AA002F954E}";

std::string lowerExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : platform::lowerText(name.substr(dot));
}

} // namespace

int ClampThumbnailSize(long long size) {
    return static_cast<int>(std::clamp<long long>(size, kMinThumbnailSize, kMaxThumbnailSize));
}

Placement PlaceInCanvas(double width, double height, int thumbnailSize) {
    if (width <= 0 || height <= 0)
        return {};
    const double largest = thumbnailSize;
    const double canvas = CanvasUnits(thumbnailSize);
    double factor = 1;
    if (width > largest || height > largest)
        factor = std::min(largest / width, largest / height);
    const double w = width * factor;
    const double h = height * factor;
    return {(canvas - w) / 2, (canvas - h) / 2, w, h};
}

const std::vector<std::string>& ImageExtensions() {
    static const std::vector<std::string> list = {".bmp", ".dib", ".rle",  ".gif", ".jpg",  ".wmf", ".emf", ".ico",
                                                  ".cur", ".png", ".jpeg", ".jpe", ".webp", ".tif", ".tiff"};
    return list;
}

bool IsImageFileName(const std::string& name) {
    const std::string ext = lowerExtension(name);
    const auto& list = ImageExtensions();
    return !ext.empty() && std::find(list.begin(), list.end(), ext) != list.end();
}

bool IsIconFileName(const std::string& name) {
    const std::string lower = platform::lowerText(name);
    return lower.find(".ico") != std::string::npos || lower.find(".cur") != std::string::npos;
}

std::vector<std::string> ListImageFiles(const std::string& windowsFolder) {
    // Each name's lower-case form is made once, not at every comparison.
    std::vector<std::pair<std::string, std::string>> keyed; // lower case, name
    for (const auto& entry : platform::findFiles(AddBackslash(windowsFolder) + "*"))
        if (!entry.isFolder() && IsImageFileName(entry.name))
            keyed.emplace_back(platform::lowerText(entry.name), entry.name);
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::string> names;
    names.reserve(keyed.size());
    for (auto& k : keyed)
        names.push_back(std::move(k.second));
    return names;
}

bool IsPlainFolder(const std::string& windowsFolder) {
    if (windowsFolder.empty() || !CreateFolderPath(windowsFolder, false))
        return false;
    try {
        if (!platform::isFolder(windowsFolder))
            return false;
        const std::string bare = RemoveBackslash(windowsFolder);
        if (bare.size() > 4 && platform::upperText(bare.substr(bare.size() - 4)) == ".TSL")
            return false;
        const std::string ini = AddBackslash(windowsFolder) + "desktop.ini";
        if (platform::exists(ini) &&
            platform::getProfileString(ini, ".ShellClassInfo", "CLSID", std::string()) == kLockedFolderClassId)
            return false;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

std::string FitCaption(const std::string& name, int available, const std::function<int(const std::string&)>& measure) {
    if (measure(name) <= available)
        return name;
    // Character boundaries of the name: the longest prefix whose "..." form fits, by bisection
    // (widths grow with the prefix).
    std::vector<std::size_t> ends;
    for (std::size_t i = 0; i < name.size(); ++i)
        if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80)
            ends.push_back(i); // prefix [0, i) ends before character i
    std::size_t lo = 0;        // ends[lo] fits ("" + "..." is taken as the floor)
    std::size_t hi = ends.size();
    while (hi - lo > 1) {
        const std::size_t mid = (lo + hi) / 2;
        if (measure(name.substr(0, ends[mid]) + "...") <= available)
            lo = mid;
        else
            hi = mid;
    }
    return name.substr(0, ends.empty() ? 0 : ends[lo]) + "...";
}

std::string CountText(long long count, const QLocale& locale, long long unreadable) {
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    const auto number = [&grouped](long long n) { return grouped.toString(n).toLocal8Bit().toStdString(); };
    std::string text = "No. of Images: " + number(count);
    if (unreadable > 0)
        text += " (" + number(count - unreadable) + " shown, " + number(unreadable) + " could not be read)";
    return text;
}

} // namespace viewer
