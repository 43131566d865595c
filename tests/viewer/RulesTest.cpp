// The viewer's rules: placing a picture in the canvas, fitting captions, the count text, which
// files are images and which folders can be viewed.
#include "viewer/basThumbs.h"

#include "ViewerTestSupport.h"

#include <QLocale>

using namespace viewer;

TEST(PlaceInCanvas, NeverEnlargesKeepsTheAspectAndCentres) {
    struct Case {
        double w, h;
        Placement expected;
    };
    const Case cases[] = {
        {40, 30, {15, 20, 40, 30}},  // small: drawn as it is, centred
        {68, 68, {1, 1, 68, 68}},    // exactly the largest size: unscaled
        {200, 100, {1, 18, 68, 34}}, // wide: 68 wide, aspect kept
        {100, 200, {18, 1, 34, 68}}, // tall
        {4000, 3000, {1, 9.5, 68, 51}}, {69, 10, {1, (70 - 680.0 / 69) / 2, 68, 680.0 / 69}},
    };
    for (const Case& c : cases) {
        const Placement p = PlaceInCanvas(c.w, c.h);
        EXPECT_DOUBLE_EQ(p.x, c.expected.x) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(p.y, c.expected.y) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(p.width, c.expected.width) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(p.height, c.expected.height) << c.w << "x" << c.h;
    }
    EXPECT_EQ(PlaceInCanvas(0, 10), Placement{});
}

// Every character 7 wide, "..." 6 wide: counting characters, not bytes, so UTF-8 is measured right.
int fakeWidth(const std::string& text) {
    int width = 0;
    std::string rest = text;
    if (rest.size() >= 3 && rest.compare(rest.size() - 3, 3, "...") == 0) {
        width += 6;
        rest.resize(rest.size() - 3);
    }
    for (unsigned char c : rest)
        if ((c & 0xC0) != 0x80)
            width += 7;
    return width;
}

TEST(FitCaption, KeepsShortNamesAndCutsLongOnesAtACharacter) {
    EXPECT_EQ(FitCaption("cat.jpg", 86, fakeWidth), "cat.jpg");
    EXPECT_EQ(FitCaption("abcdefghijkl", 84, fakeWidth), "abcdefghijkl"); // exactly the width fits
    // 86 wide: 11 characters (77) + "..." (6) = 83 fits, 12 would be 90.
    EXPECT_EQ(FitCaption("Holiday at the lake 2024.jpg", 86, fakeWidth), "Holiday at ...");
    // Two-byte characters are never split.
    const std::string cut = FitCaption("\xc3\xa9t\xc3\xa9 \xc3\xa0 la plage.jpg", 40, fakeWidth);
    EXPECT_EQ(cut, "\xc3\xa9t\xc3\xa9 ...");
    EXPECT_EQ(FitCaption("anything.png", 3, fakeWidth), "...");
}

TEST(CountText, UsesTheThousandsSeparatorOfTheLocale) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(CountText(1234, english), "No. of Images: 1,234");
    EXPECT_EQ(CountText(0, english), "No. of Images: 0");
    EXPECT_EQ(CountText(1234567, english), "No. of Images: 1,234,567");
    EXPECT_EQ(CountText(1234, QLocale::c()), "No. of Images: 1,234"); // C omits it by default
    EXPECT_EQ(CountText(1234, QLocale(QLocale::German, QLocale::Germany)), "No. of Images: 1.234");
    // Files that could not be read: how many were shown and how many not.
    EXPECT_EQ(CountText(39, english, 1), "No. of Images: 39 (38 shown, 1 could not be read)");
    EXPECT_EQ(CountText(2000, english, 1500), "No. of Images: 2,000 (500 shown, 1,500 could not be read)");
    EXPECT_EQ(CountText(3, english, 3), "No. of Images: 3 (0 shown, 3 could not be read)");
    EXPECT_EQ(CountText(3, english, 0), "No. of Images: 3");
}

TEST(PlaceInCanvas, OtherThumbnailSizesScaleTheSameWay) {
    struct Case {
        double w, h;
        int size;
        Placement expected;
    };
    const Case cases[] = {
        {400, 200, 160, {1, 41, 160, 80}},   // canvas 162: wide, 160 across, centred
        {40, 30, 160, {61, 66, 40, 30}},     // small: still never enlarged
        {300, 600, 48, {13, 1, 24, 48}},     // the smallest size
        {4000, 3000, 256, {1, 33, 256, 192}} // the largest
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlaceInCanvas(c.w, c.h, c.size), c.expected) << c.w << "x" << c.h << " at " << c.size;
    }
    EXPECT_EQ(CellWidth(kDefaultThumbnailSize), kCellWidth);
    EXPECT_EQ(CellHeight(kDefaultThumbnailSize), kCellHeight);
    EXPECT_EQ(ClampThumbnailSize(0), kMinThumbnailSize);
    EXPECT_EQ(ClampThumbnailSize(1LL << 40), kMaxThumbnailSize);
    EXPECT_EQ(ClampThumbnailSize(100), 100);
}

TEST(IsImageFileName, TheViewersTypesByExtensionInAnyCase) {
    for (const char* name : {"a.bmp", "a.DIB", "a.rle", "a.gif", "a.JPG", "a.wmf", "a.emf", "a.ico", "a.cur", "a.png",
                             "a.jpeg", "a.jpe", "a.webp", "a.tif", "a.TIFF", ".hidden.png"})
        EXPECT_TRUE(IsImageFileName(name)) << name;
    for (const char* name : {"a.txt", "jpg", "a.jpg.TSL", "a.pngx", "a.", ""})
        EXPECT_FALSE(IsImageFileName(name)) << name;
    EXPECT_TRUE(IsIconFileName("Folder.ICO"));
    EXPECT_TRUE(IsIconFileName("pointer.cur"));
    EXPECT_FALSE(IsIconFileName("photo.jpg"));
}

class FolderRulesTest : public viewer_test::ViewerTest {};

TEST_F(FolderRulesTest, ListsImageFilesHiddenOnesTooSortedWithoutRegardToCase) {
    sandbox.writeFile("C:\\Pics\\b.png", "x");
    sandbox.writeFile("C:\\Pics\\A.JPG", "x");
    sandbox.writeFile("C:\\Pics\\.secret.gif", "x");
    sandbox.writeFile("C:\\Pics\\notes.txt", "x");
    sandbox.makeFolder("C:\\Pics\\folder.jpg");
    EXPECT_EQ(ListImageFiles("C:\\Pics"), (std::vector<std::string>{".secret.gif", "A.JPG", "b.png"}));
    EXPECT_TRUE(ListImageFiles("C:\\Missing").empty());
}

TEST_F(FolderRulesTest, OnlyPlainFoldersCanBeViewed) {
    sandbox.makeFolder("C:\\Pics");
    sandbox.makeFolder("C:\\Cnevingr.TSL");
    sandbox.writeFile("C:\\Marked\\desktop.ini",
                      "[.ShellClassInfo]\r\nCLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n");
    sandbox.writeFile("C:\\Customised\\desktop.ini", "[.ShellClassInfo]\r\nIconResource=x.ico,0\r\n");
    sandbox.writeFile("C:\\file.png", "x");
    EXPECT_TRUE(IsPlainFolder("C:\\Pics"));
    EXPECT_TRUE(IsPlainFolder("C:\\Pics\\"));
    EXPECT_TRUE(IsPlainFolder("C:\\"));
    EXPECT_TRUE(IsPlainFolder("C:\\Customised"));
    EXPECT_FALSE(IsPlainFolder("C:\\Cnevingr.TSL"));
    EXPECT_FALSE(IsPlainFolder("C:\\Marked"));
    EXPECT_FALSE(IsPlainFolder("C:\\Missing"));
    EXPECT_FALSE(IsPlainFolder("C:\\file.png"));
    EXPECT_FALSE(IsPlainFolder(""));
}
