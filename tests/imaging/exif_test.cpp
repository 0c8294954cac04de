// EXIF orientation and shooting date: of real camera pictures, of the one scene in all eight
// orientations, of TIFF files, and of made EXIF blocks that are blank, nonsensical or broken,
// which read as absent and never throw.
#include "imaging/exif.h"
#include "imaging/shootingdate.h"
#include "tests/support/exifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/testdata.h"
#include "tests/support/tiffmaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

using testsupport::ExifFields;

ExifInfo exifOfBytes(const QByteArray& bytes) {
    return ReadExifInfo(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
}

ExifInfo exifOfFile(const QString& path) {
    return ReadExifInfo(QFile::encodeName(path).toStdString());
}

QByteArray smallJpeg() {
    return testsupport::makeJpeg(testsupport::makeGreyRamp(32, 16));
}

QByteArray jpegWith(const ExifFields& fields) {
    return testsupport::withExif(smallJpeg(), testsupport::makeExifBlock(fields));
}

TEST(ExifDateTime, OnlyRealDatesAndTimesAreTaken) {
    EXPECT_EQ(parseExifDateTime("2004:02:29 23:59:59"), (ExifDateTime{2004, 2, 29, 23, 59, 59}));
    EXPECT_EQ(parseExifDateTime(std::string_view("2013:11:05 08:07:06\0 ", 21)),
              (ExifDateTime{2013, 11, 5, 8, 7, 6}));
    for (const char* bad : {"", "    :  :     :  :  ", "    :  :     :  :", "0000:00:00 00:00:00",
                            "2003:13:01 10:00:00", "2003:02:29 10:00:00", "2003:04:31 10:00:00",
                            "2003:01:01 24:00:00", "2003:01:01 10:60:00", "2003:01:01 10:00:61",
                            "20o3:01:01 10:00:00", "2003-01-01 10:00:00", "2003:01:01T10:00:00",
                            "2003:01:01 10:00:00x", "2003:1:01 10:00:00"})
        EXPECT_FALSE(parseExifDateTime(bad)) << bad;
}

TEST(Exif, CameraPicturesGiveTheOrientationOfTheirNameAndTheirShootingDate) {
    TAZU_REQUIRE_TESTDATA();
    const QDir camera(testsupport::testdataDir() + QStringLiteral("/camera"));
    const QStringList names = camera.entryList({QStringLiteral("*.jpg")});
    ASSERT_EQ(names.size(), 20);
    const QRegularExpression orientationInName(QStringLiteral("_o(\\d)\\.jpg$"));
    for (const QString& name : names) {
        const ExifInfo info = exifOfFile(camera.filePath(name));
        const auto match = orientationInName.match(name);
        ASSERT_TRUE(match.hasMatch()) << qPrintable(name);
        EXPECT_EQ(info.orientation, match.captured(1).toInt()) << qPrintable(name);
        if (name.startsWith(QStringLiteral("11_"))) {
            // The original date is left blank; the date the picture was scanned stands in.
            EXPECT_EQ(info.taken, (ExifDateTime{2003, 9, 10, 20, 59, 18}));
        } else {
            ASSERT_TRUE(info.taken) << qPrintable(name);
            EXPECT_GE(info.taken->year, 1996) << qPrintable(name);
            EXPECT_LE(info.taken->year, 2016) << qPrintable(name);
        }
    }
}

TEST(Exif, TheSceneInEveryOrientationGivesItsNumberAndZeroIsNone) {
    TAZU_REQUIRE_TESTDATA();
    const QString folder = testsupport::testdataDir() + QStringLiteral("/exif");
    for (int n = 0; n <= 8; ++n) {
        const ExifInfo info = exifOfFile(folder + QStringLiteral("/Landscape_%1.jpg").arg(n));
        EXPECT_EQ(info.orientation, n);
        EXPECT_FALSE(info.taken);
    }
}

TEST(Exif, DatesAndOrientationsOfMadeBlocks) {
    ExifInfo info = exifOfBytes(jpegWith({6, "2001:02:03 04:05:06", "2009:09:09 09:09:09"}));
    EXPECT_EQ(info.orientation, 6);
    EXPECT_EQ(info.taken, (ExifDateTime{2001, 2, 3, 4, 5, 6})) << "the original date first";

    info = exifOfBytes(jpegWith({3, "    :  :     :  :  ", "2009:09:09 09:09:09"}));
    EXPECT_EQ(info.taken, (ExifDateTime{2009, 9, 9, 9, 9, 9})) << "else the digitized one";

    for (uint16_t bad : {uint16_t(0), uint16_t(9), uint16_t(65535)})
        EXPECT_EQ(exifOfBytes(jpegWith({bad, "2001:13:03 04:05:06", {}})).orientation, 0);
    EXPECT_FALSE(exifOfBytes(jpegWith({1, "2001:13:03 04:05:06", "ab"})).taken);
    EXPECT_EQ(exifOfBytes(smallJpeg()).orientation, 0);
}

TEST(Exif, TiffFilesGiveTheOrientationOfTheirFirstPage) {
    QTemporaryDir dir;
    const QImage page = testsupport::makeGreyRamp(16, 8);
    for (uint16_t orientation : {uint16_t(1), uint16_t(5), uint16_t(8)}) {
        testsupport::TiffOptions options;
        options.orientation = orientation;
        const QString path = dir.filePath(QStringLiteral("o%1.tif").arg(orientation));
        testsupport::writeTiff(path, {page, page}, options);
        EXPECT_EQ(exifOfFile(path).orientation, orientation);
    }
    const QString plain = dir.filePath(QStringLiteral("plain.tif"));
    testsupport::writeTiff(plain, {page});
    EXPECT_LE(exifOfFile(plain).orientation, 1); // libtiff may write the upright default
}

TEST(Exif, BrokenOrMissingMetadataReadsAsNone) {
    const QByteArray good = jpegWith({6, "2001:02:03 04:05:06", {}});
    const QByteArray block = testsupport::makeExifBlock({6, "2001:02:03 04:05:06", {}});

    // Cut anywhere: before, inside and after the EXIF block.
    for (qsizetype length : {qsizetype(1), qsizetype(3), qsizetype(10), qsizetype(20),
                             qsizetype(40), block.size() + 2, good.size() / 2})
        (void)exifOfBytes(good.left(length)); // must neither throw nor crash

    // The first directory's offset far outside the block, and pointing at itself (a loop).
    for (uint32_t offset : {uint32_t(0x7FFFFFF0), uint32_t(8)}) {
        QByteArray bent = block;
        const QByteArray bytes(reinterpret_cast<const char*>(&offset), 4);
        bent.replace(6 + 4, 4, bytes);
        if (offset == 8) // the next-directory link of the first directory back to itself
            bent.replace(6 + 8 + 2 + 12 * 2, 4, bytes);
        const ExifInfo info = exifOfBytes(testsupport::withExif(smallJpeg(), bent));
        EXPECT_TRUE(info.orientation == 0 || info.orientation == 6);
    }

    // A directory that claims 60 000 entries, most of them past the end.
    QByteArray many = block;
    many[6 + 8] = char(0x60);
    many[6 + 9] = char(0xEA);
    (void)exifOfBytes(testsupport::withExif(smallJpeg(), many));

    EXPECT_EQ(exifOfBytes(QByteArray("not a picture")).orientation, 0);
    EXPECT_EQ(exifOfBytes({}).orientation, 0);
    EXPECT_EQ(exifOfFile(QStringLiteral("/no/such/file.jpg")).orientation, 0);
}

TEST(Exif, ShootingDatesOfJpegAndTiffFilesInTheJ6iForms) {
    QTemporaryDir dir;
    const QString jpeg = dir.filePath(QStringLiteral("a.jpg"));
    ASSERT_TRUE(testsupport::writeFile(jpeg, jpegWith({1, "2007:03:04 05:06:07", {}})));
    const auto taken = exifShootingDate(jpeg, QStringLiteral(".JPG"));
    ASSERT_TRUE(taken);
    EXPECT_EQ(shootingDateText(*taken), QStringLiteral("07/03/04"));
    EXPECT_EQ(shootingTimeText(*taken), QStringLiteral("05:06:07"));
    EXPECT_FALSE(exifShootingDate(jpeg, QStringLiteral(".BMP"))) << "only JPEG and TIFF files";
}

} // namespace
