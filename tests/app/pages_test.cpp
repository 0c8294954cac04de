#include "app/pages.h"

#include <gtest/gtest.h>

#include <QStringList>

TEST(PagesTest, CounterAndButtonsForEmptyShortAndOverfullFolders) {
    EXPECT_EQ(pageCounterText(0, 0), QStringLiteral(" 1/ 1"));
    const PageButtons empty = pageButtons(0, 0);
    EXPECT_EQ(empty.filesOnPage, 0);
    EXPECT_FALSE(empty.nextEnabled);
    EXPECT_FALSE(empty.previousEnabled);

    // 16 files: the first page offers the next one, the second (8 remaining) does not.
    EXPECT_EQ(pageCounterText(0, 16), QStringLiteral(" 1/ 2"));
    EXPECT_TRUE(pageButtons(0, 16).nextEnabled);
    const PageButtons second = pageButtons(8, 16);
    EXPECT_EQ(second.filesOnPage, 8);
    EXPECT_FALSE(second.nextEnabled);
    EXPECT_TRUE(second.previousEnabled);
    EXPECT_TRUE(pageButtons(0, 9).nextEnabled);

    // 600 listed files: 500 take part, the last page holds files 496 to 499.
    const int count = participatingFileCount(600);
    EXPECT_EQ(count, 500);
    EXPECT_EQ(pageCounterText(0, count), QStringLiteral(" 1/63"));
    EXPECT_EQ(pageCounterText(496, count), QStringLiteral("63/63"));
    EXPECT_EQ(pageButtons(496, count).filesOnPage, 4);
}

TEST(PagesTest, ThumbnailsFitTheirCell) {
    const QRect cell(27, 159, 100, 80);
    EXPECT_EQ(fitThumbnail(cell, 160, 100, ".JPG"), QRect(27, 168, 100, 62));
    EXPECT_EQ(fitThumbnail(cell, 90, 120, ".JPG"), QRect(47, 159, 60, 80));
    EXPECT_EQ(fitThumbnail(cell, 100, 90, ".BMP"), cell);
    EXPECT_EQ(fitThumbnail(cell, 100, 100, ".BMP"), cell);
    // J6I and CAM pictures are 4:3 whatever their stored height.
    EXPECT_EQ(fitThumbnail(cell, 640, 240, ".J6I"), QRect(27, 161, 100, 75));
    EXPECT_EQ(fitThumbnail(cell, 480, 960, ".CAM"), QRect(27, 161, 100, 75));
    EXPECT_EQ(fitThumbnail(cell, 640, 240, ".JPG"), QRect(27, 180, 100, 37));
    // Shown upright, a picture turned sideways fits by its sides exchanged; J6I pictures as 3:4.
    EXPECT_EQ(fitThumbnail(cell, 160, 100, ".JPG", 5), QRect(52, 159, 50, 80));
    EXPECT_EQ(fitThumbnail(cell, 160, 100, ".JPG", 3), QRect(27, 168, 100, 62));
    EXPECT_EQ(fitThumbnail(cell, 640, 240, ".J6I", TurnedClockwise), QRect(47, 159, 60, 80));
    // Nothing loaded fills the cell; extreme sizes neither divide by zero nor overflow.
    EXPECT_EQ(fitThumbnail(cell, 0, 0, ".JPG"), cell);
    EXPECT_EQ(fitThumbnail(cell, 5, 0, ".JPG"), QRect(27, 199, 100, 0));
    EXPECT_EQ(fitThumbnail(cell, 1, 2147483647, ".JPG"), QRect(77, 159, 0, 80));
    EXPECT_EQ(fitThumbnail(cell, 2147483647, 1, ".J6I"), QRect(27, 162, 100, 74));
}

TEST(PagesTest, CellGridAndPaths) {
    const CellGrid grid{QRect(27, 159, 100, 80), 144, 128};
    EXPECT_EQ(grid.cell(3), QRect(459, 159, 100, 80));
    EXPECT_EQ(grid.cell(5), QRect(171, 287, 100, 80));
    EXPECT_EQ(pathInFolder("/pics", "a.jpg"), QStringLiteral("/pics/a.jpg"));
    EXPECT_EQ(pathInFolder("/", "a.jpg"), QStringLiteral("/a.jpg"));
}

TEST(PagesTest, FileTypesFollowTheOptionalPlugins) {
    const auto filterWith = [](QStringList present) {
        return fileTypeFilter([&](const QString& plugin) { return present.contains(plugin); })
            .split('|');
    };
    const QStringList plain = filterWith({});
    ASSERT_EQ(plain.size(), 14);
    EXPECT_EQ(plain[0], QStringLiteral("J6I JPEG"));
    EXPECT_EQ(plain[1], QStringLiteral("*.J6I;*.JPG"));
    EXPECT_EQ(plain[12], QStringLiteral("すべての画像ﾌｧｲﾙ"));
    EXPECT_EQ(plain[13], QStringLiteral("*.J6I;*.JPG;*.TIF;*.GIF;*.BMP"));

    // Each present plug-in adds its type after GIF, in the fixed order CAM, MAG, PI, PIC, HEIC,
    // PNG, WEBP, and its masks to all picture files; an absent one leaves no gap.
    const QStringList some = filterWith({"ifpic.spi", "ifcam.spi", "ifmag.spi"});
    ASSERT_EQ(some.size(), 20);
    EXPECT_EQ(some.mid(12, 6), QStringList({"CAM", "*.CAM", "MAG", "*.MAG", "PIC", "*.PIC"}));
    EXPECT_EQ(some[18], QStringLiteral("すべての画像ﾌｧｲﾙ"));
    EXPECT_EQ(some[19], QStringLiteral("*.J6I;*.JPG;*.TIF;*.GIF;*.BMP;*.CAM;*.MAG;*.PIC"));

    const QStringList all = filterWith({"ifcam.spi", "ifmag.spi", "ifpi.spi", "ifpic.spi",
                                        "ifheif.spi", "ifpng.spi", "ifwebp.spi"});
    ASSERT_EQ(all.size(), 28);
    EXPECT_EQ(all.mid(14, 12),
              QStringList({"MAG", "*.MAG", "PI", "*.PI", "PIC", "*.PIC", "HEIC",
                           "*.HEIC;*.HEIF;*.HIF", "PNG", "*.PNG", "WEBP", "*.WEBP"}));
    EXPECT_EQ(all[26], QStringLiteral("すべての画像ﾌｧｲﾙ"));
    EXPECT_TRUE(all[27].endsWith(QStringLiteral(";*.PIC;*.HEIC;*.HEIF;*.HIF;*.PNG;*.WEBP")));
}

TEST(PagesTest, StartFolderRules) {
    bool ready = true;
    bool mounted = true;
    const FolderProbe probe{[](const QString&) { return QStringLiteral("/media/card"); },
                            [&](const QString&) { return ready; },
                            [](const QString& f) { return f == "/media/card/DCIM"; },
                            [&](const QString&) { return !mounted; }};
    const QString program = QStringLiteral("/opt/tazu");
    EXPECT_EQ(chooseStartFolder("", program, probe), program);
    EXPECT_EQ(chooseStartFolder("relative/folder", program, probe), program);
    EXPECT_EQ(chooseStartFolder("/media/card/DCIM", program, probe), "/media/card/DCIM");
    EXPECT_EQ(chooseStartFolder("/media/card/OLD", program, probe), "/media/card");
    mounted = false; // the card was taken out: as a drive that is not ready
    EXPECT_EQ(chooseStartFolder("/media/card/OLD", program, probe), program);
    mounted = true;
    ready = false;
    EXPECT_EQ(chooseStartFolder("/media/card/DCIM", program, probe), program);
}
