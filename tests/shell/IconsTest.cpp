// SPDX-License-Identifier: GPL-3.0-or-later
// The program's icon comes in every size the desktop asks for, and the padlock's shackle is an open
// arch: through the middle of its opening the shield shows, with no band drawn across it. The
// pictures beside the wallet's boxes are each its own, none of them a folder.

#include "ShellTestSupport.h"

#include "shell/Icons.h"

#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QStyle>

namespace {

TEST(IconsTest, EverySizeIsThereAndTheShackleIsOpen) {
    shell_test::app();
    const QIcon icon = shell::appIcon();
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(size, size));
        if (size < 48)
            continue; // below that the opening is a pixel or two wide
        // The opening of the shackle in the 256-px drawing: x 112..144, y 76..110.
        const double scale = size / 256.0;
        for (int y = static_cast<int>(80 * scale); y <= static_cast<int>(108 * scale); ++y) {
            for (int x256 : {118, 128, 138}) {
                const QColor c = image.pixelColor(static_cast<int>(x256 * scale), y);
                EXPECT_GT(c.blue() - c.red(), 60)
                    << "not the shield at (" << x256 * scale << ", " << y << "): " << c.name().toStdString();
            }
        }
    }
}

class WalletPicturesTest : public shell_test::ShellTest {};

TEST_F(WalletPicturesTest, EachWalletBoxCarriesThePictureOfWhatItHoldsAndNoneIsAFolder) {
    auto window = shownWindow();
    const auto image = [](const QIcon& icon) {
        return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    std::vector<QImage> folders;
    for (QStyle::StandardPixmap kind : {QStyle::SP_DirHomeIcon, QStyle::SP_DirIcon, QStyle::SP_DirClosedIcon})
        folders.push_back(image(QApplication::style()->standardIcon(kind)));
    const struct {
        const char* picture;
        const char* field;
    } cases[] = {{"imgDescription", "Description"},
                 {"imgServer", "Server"},
                 {"imgUserName", "UserName"},
                 {"imgPassword", "Password"}};
    std::vector<QImage> shown;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture);
        auto* label = window->fraMain(3)->findChild<QLabel*>(QString::fromLatin1(c.picture));
        ASSERT_NE(label, nullptr);
        const QImage picture = label->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture, image(shell::walletFieldIcon(QString::fromLatin1(c.field))));
        for (const QImage& folder : folders)
            EXPECT_NE(picture, folder);
        for (const QImage& other : shown)
            EXPECT_NE(picture, other);
        shown.push_back(picture);
    }
}

} // namespace
