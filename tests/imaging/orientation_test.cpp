// Turning pictures upright in all eight orientations: the one scene stored eight ways comes out
// as the upright one, the held 24-bit picture turns as any picture does, and the orientation of
// a file comes from its J6I header or its EXIF data.
#include "imaging/fullsize.h"
#include "imaging/orientation.h"
#include "imaging/shootingdate.h"
#include "platform/dib.h"
#include "platform/imagecontrol.h"
#include "platform/memory.h"
#include "tests/support/exifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <QImageReader>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>

namespace {

// Every pixel its own colour, so that any misplaced pixel shows.
QImage numberedPicture(int w, int h) {
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, y, qRgb(x * 40, y * 40, 100 + x + y * w));
    return picture;
}

TEST(Orientation, EachOrientationPutsTheStoredCornersWhereTheCameraHadThem) {
    const QImage stored = numberedPicture(5, 3);
    const QRgb topLeft = stored.pixel(0, 0), topRight = stored.pixel(4, 0),
               bottomLeft = stored.pixel(0, 2), bottomRight = stored.pixel(4, 2);
    // What stands at the upright picture's top-left corner.
    const QRgb atTopLeft[9] = {0,       topLeft,    topRight,    bottomRight, bottomLeft,
                               topLeft, bottomLeft, bottomRight, topRight};
    for (int o = 1; o <= 8; ++o) {
        const QImage upright = uprightImage(stored, o);
        ASSERT_EQ(upright.size(), uprightSize(stored.size(), o)) << o;
        EXPECT_EQ(upright.pixel(0, 0), atTopLeft[o]) << o;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const UprightPlace to = uprightPlace(o, x, y, 5, 3);
                EXPECT_EQ(upright.pixel(to.x, to.y), stored.pixel(x, y)) << o;
            }
    }
    QImage palette(4, 2, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(1, 2, 3), qRgb(4, 5, 6)});
    palette.fill(1);
    const QImage turned = uprightImage(palette, TurnedClockwise);
    EXPECT_EQ(turned.format(), QImage::Format_Indexed8);
    EXPECT_EQ(turned.colorTable(), palette.colorTable());
}

TEST(Orientation, TheHeldPictureTurnsAsAnyPictureDoes) {
    for (const QSize size : {QSize(5, 3), QSize(6, 1), QSize(7, 4)}) {
        const QImage stored = numberedPicture(size.width(), size.height());
        for (int o = 1; o <= 8; ++o) {
            auto dib = platform::imageToDib(stored, 24);
            ASSERT_TRUE(dib);
            DecodedDib = {};
            // The held picture from a packed DIB, as a decoder would hand it over.
            CurrentDib.header = platform::GlobalAlloc(platform::GMEM_MOVEABLE, 44);
            std::memcpy(platform::LockedBlock(CurrentDib.header).data(), dib.value.constData(), 40);
            DibImageSize = DibImageSizeOf(size.width(), size.height());
            CurrentDib.pixels =
                platform::GlobalAlloc(platform::GMEM_MOVEABLE, size_t(DibImageSize));
            std::memcpy(platform::LockedBlock(CurrentDib.pixels).data(), dib.value.constData() + 40,
                        size_t(DibImageSize));
            platform::ImageControl shown;
            OrientCurrentDib(shown, o);
            const QImage turned = CurrentDibImage();
            EXPECT_EQ(turned, uprightImage(stored, o).convertToFormat(turned.format()))
                << size.width() << "x" << size.height() << " orientation " << o;
            if (o != AsStored) {
                EXPECT_EQ(shown.picture(), turned);
            }
            EXPECT_EQ(platform::GlobalSize(CurrentDib.pixels), size_t(DibImageSize));
            FreeCurrentDib();
        }
    }
}

TEST(Orientation, TheSceneStoredEightWaysStandsUprightEveryTime) {
    TAZU_REQUIRE_TESTDATA();
    const QString folder = testsupport::testdataDir() + QStringLiteral("/exif/Landscape_%1.jpg");
    const auto read = [](const QString& path) {
        QImageReader reader(path);
        reader.setAutoTransform(false); // as stored: the turning is ours
        return reader.read().convertToFormat(QImage::Format_RGB32);
    };
    const QImage reference = read(folder.arg(1));
    ASSERT_FALSE(reference.isNull());
    for (int n = 0; n <= 8; ++n) {
        const QString path = folder.arg(n);
        const QImage upright =
            uprightImage(read(path), pictureOrientation(path, QStringLiteral(".JPG")));
        ASSERT_EQ(upright.size(), reference.size()) << n;
        EXPECT_LT(testsupport::meanChannelDifference(upright, reference), 4.0) << "Landscape_" << n;
    }
}

TEST(Orientation, AFileIsTurnedByItsJ6iHeaderOrItsExifData) {
    QTemporaryDir dir;
    const auto write = [&dir](const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(testsupport::writeFile(path, bytes));
        return path;
    };
    for (auto [byte, expected] : {std::pair{0, AsStored},
                                  {1, TurnedClockwise},
                                  {3, TurnedCounterClockwise},
                                  {7, AsStored}}) {
        testsupport::J6iOptions options;
        options.orientation = uint8_t(byte);
        EXPECT_EQ(pictureOrientation(write("a.j6i", testsupport::makeJ6i(options)),
                                     QStringLiteral(".J6I")),
                  expected);
    }
    const QByteArray jpeg =
        testsupport::withExif(testsupport::makeJpeg(testsupport::makeGreyRamp(16, 8)),
                              testsupport::makeExifBlock({5, {}, {}}));
    EXPECT_EQ(pictureOrientation(write("b.jpg", jpeg), QStringLiteral(".JPG")), 5);
    EXPECT_EQ(pictureOrientation(write("c.jpe", jpeg), QStringLiteral(".JPE")), 5);
    EXPECT_EQ(pictureOrientation(write("d.bmp", jpeg), QStringLiteral(".BMP")), AsStored);
    EXPECT_EQ(pictureOrientation(write("short.j6i", "J6I"), QStringLiteral(".J6I")), AsStored);
    EXPECT_EQ(pictureOrientation(dir.filePath(QStringLiteral("none.jpg")), QStringLiteral(".JPG")),
              AsStored);
}

} // namespace

TEST(Orientation, PhonePicturesGiveDatesAndWebPTurnsByItsExifButHeifNot) {
    TAZU_REQUIRE_TESTDATA();
    const QString data = testsupport::testdataDir();
    struct Case {
        const char* file;
        const char* ext;
        int orientation;
        ExifDateTime taken;
    };
    // arrow.heic carries orientation 6, which its container's rotation already satisfies;
    // xiaomi.heic an EXIF block larger than a JPEG segment can hold.
    for (const Case& c :
         {Case{"/heic/arrow.heic", ".HEIC", AsStored, {2018, 7, 31, 14, 52, 7}},
          Case{"/heic/xiaomi.heic", ".HEIC", AsStored, {2023, 4, 27, 19, 44, 18}},
          Case{"/heic/cat.hif", ".HIF", AsStored, {2020, 9, 14, 11, 9, 34}},
          Case{"/webp/Nikon_Coolpix_P7000.webp",
               ".WEBP",
               TurnedClockwise,
               {2010, 10, 21, 11, 22, 48}},
          Case{"/webp/HTC_Desire.webp", ".WEBP", AsStored, {2011, 5, 6, 9, 59, 48}}}) {
        SCOPED_TRACE(c.file);
        const QString path = data + QLatin1String(c.file);
        EXPECT_EQ(pictureOrientation(path, QLatin1String(c.ext)), c.orientation);
        const std::optional<ExifDateTime> taken = exifShootingDate(path, QLatin1String(c.ext));
        ASSERT_TRUE(taken.has_value());
        EXPECT_TRUE(*taken == c.taken) << taken->year << '-' << taken->month << '-' << taken->day
                                       << ' ' << taken->hour << ':' << taken->minute;
    }
}
