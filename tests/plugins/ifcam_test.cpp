// ifcam.spi as the program uses it: CAM files made from pictures of known content, in both
// codings and as a JFIF stream after the header, and every way such a file can be broken.
#include "tests/support/cammaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/spitesting.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

using namespace testsupport;

namespace {

QByteArray withBytes(QByteArray bytes, int at, std::initializer_list<uint8_t> values) {
    for (const uint8_t value : values)
        bytes[at++] = char(value);
    return bytes;
}
QByteArray withBe16(const QByteArray& bytes, int at, int value) {
    return withBytes(bytes, at, {uint8_t(value >> 8), uint8_t(value)});
}
QByteArray withBe32(const QByteArray& bytes, int at, uint32_t value) {
    return withBytes(
        bytes, at,
        {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)});
}
int be16(const QByteArray& bytes, int at) {
    return uchar(bytes[at]) << 8 | uchar(bytes[at + 1]);
}

// Success when both DIBs have the same size and every pixel the same colour.
::testing::AssertionResult samePixels(const Dib& dib, const Dib& expected) {
    if (dib.width() != expected.width() || dib.height() != expected.height())
        return ::testing::AssertionFailure() << dib.width() << "x" << dib.height() << ", expected "
                                             << expected.width() << "x" << expected.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (dib.colour(x, y) != expected.colour(x, y))
                return ::testing::AssertionFailure() << "first difference at " << x << ", " << y;
    return ::testing::AssertionSuccess();
}

int channelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

class IfCam : public ::testing::Test {
protected:
    const SpiPlugin& plugin = testedPlugin(QStringLiteral("ifcam.spi"));
    const SpiPlugin& jpegPlugin = testedPlugin(QStringLiteral("ifjpeg.spi"));
};

TEST_F(IfCam, DescribesItselfAndKnowsCamFilesByTheirMark) {
    EXPECT_EQ(plugin.pluginInfo(0), "00IN");
    EXPECT_NE(plugin.pluginInfo(1).find("ifcam.spi"), std::string::npos);
    EXPECT_EQ(plugin.pluginInfo(2), "*.CAM");
    EXPECT_EQ(plugin.pluginInfo(3), "CAM");
    EXPECT_EQ(plugin.pluginInfo(4), "");

    const QByteArray jpeg = makeJpeg(makeQuadrantPicture(64, 48).image);
    const QByteArray cam = makeCam(makeQuadrantPicture(480, 240).image);
    EXPECT_TRUE(plugin.supports(cam));
    EXPECT_TRUE(plugin.supports(makeJfifCam(jpeg)));
    EXPECT_FALSE(plugin.supports(jpeg));
    EXPECT_FALSE(plugin.supports(QByteArray(128, 'h') + cam));

    Dib dib;
    EXPECT_EQ(plugin.decode(cam, dib, Call::Preview), SPI_NOT_IMPLEMENTED);
}

class IfCamCoding : public IfCam, public ::testing::WithParamInterface<CamCoding> {};

// The plug-in must give exactly what libjpeg gives for the stream the image area was cut from,
// and that must be the picture that went in.
TEST_P(IfCamCoding, DecodesToThePixelsOfTheStreamTheAreaWasCutFrom) {
    const bool normal = GetParam() == CamCoding::Normal;
    const QSize size = normal ? QSize(480, 240) : QSize(640, 480);
    const QuadrantPicture quadrants = makeQuadrantPicture(size.width(), size.height());
    for (const QImage& picture :
         {quadrants.image, makePhotoLikePicture(size.width(), size.height())}) {
        const CamImageArea image = makeCamImageArea(picture, GetParam());
        const QByteArray cam =
            makeCamFile("SHOT 1", makeCamThumbnail(picture), image.area + QByteArray(7, '\0'));

        PictureDescription description;
        ASSERT_EQ(plugin.describe(cam, description), SPI_SUCCESS);
        EXPECT_EQ(QSize(description.info.width, description.info.height), size);
        EXPECT_EQ(description.info.colorDepth, 24);
        EXPECT_EQ(description.text, "SHOT 1");

        Dib dib, reference;
        ASSERT_EQ(plugin.decode(cam, dib), SPI_SUCCESS);
        EXPECT_EQ(dib.bitCount(), 24);
        EXPECT_EQ(dib.bitsSize(), size_t(size.width() * 3 * size.height()));
        ASSERT_EQ(jpegPlugin.decode(image.referenceJpeg, reference), SPI_SUCCESS);
        EXPECT_TRUE(samePixels(dib, reference));
    }

    Dib dib;
    ASSERT_EQ(plugin.decode(makeCam(quadrants.image, {.coding = GetParam()}), dib), SPI_SUCCESS);
    const int xs[2] = {quadrants.splitX / 2, (quadrants.splitX + size.width()) / 2};
    const int ys[2] = {quadrants.splitY / 2, (quadrants.splitY + size.height()) / 2};
    for (int quadrant = 0; quadrant < 4; ++quadrant)
        EXPECT_LE(channelDistance(dib.colour(xs[quadrant % 2], ys[quadrant / 2]),
                                  quadrants.colours[quadrant]),
                  6)
            << quadrant;
}

INSTANTIATE_TEST_SUITE_P(BothCodings, IfCamCoding,
                         ::testing::Values(CamCoding::Normal, CamCoding::Fine),
                         [](const auto& info) {
                             return info.param == CamCoding::Normal ? "Normal" : "Fine";
                         });

TEST_F(IfCam, AJfifStreamAfterTheHeaderDecodesAsThatStream) {
    const QByteArray jpeg = makeJpeg(makePhotoLikePicture(320, 240));
    const QByteArray cam = makeJfifCam(jpeg) + QByteArray(50, 'j'); // junk after the stream
    PictureDescription description;
    ASSERT_EQ(plugin.describe(cam, description), SPI_SUCCESS);
    EXPECT_EQ(QSize(description.info.width, description.info.height), QSize(320, 240));
    Dib dib, reference;
    ASSERT_EQ(plugin.decode(cam, dib), SPI_SUCCESS);
    ASSERT_EQ(jpegPlugin.decode(jpeg, reference), SPI_SUCCESS);
    EXPECT_TRUE(samePixels(dib, reference));
}

// The program asks at offset 0 and, on "not this format", at 128.
TEST_F(IfCam, ReadsAFileFromTheOffsetItIsGiven) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wrapped.cam"));
    ASSERT_TRUE(writeFile(path, QByteArray(128, 'h') + makeCam(makePhotoLikePicture(480, 240))));
    Dib dib;
    EXPECT_EQ(plugin.decodeFile(path, 0, dib), SPI_UNKNOWN_FORMAT);
    ASSERT_EQ(plugin.decodeFile(path, 128, dib), SPI_SUCCESS);
    EXPECT_EQ(QSize(dib.width(), dib.height()), QSize(480, 240));
}

TEST_F(IfCam, BrokenFilesGiveTheirResultAndHandNothingBack) {
    const QImage picture = makePhotoLikePicture(480, 240);
    const QByteArray comment = "C", thumbnail = makeCamThumbnail(picture);
    const QByteArray area = makeCamImageArea(picture, CamCoding::Normal).area;
    const QByteArray fine = makeCamImageArea(makePhotoLikePicture(640, 480), CamCoding::Fine).area;
    const QByteArray cam = makeCamFile(comment, thumbnail, area);
    const auto withArea = [&](const QByteArray& imageArea) {
        return makeCamFile(comment, thumbnail, imageArea);
    };
    // The luminance scan cut to half, the sizes made to agree: its data runs out.
    const int lumaSize = be16(area, 2);
    const QByteArray shortScan =
        withBe16(area, 2, lumaSize / 2).remove(136 + lumaSize / 2, lumaSize - lumaSize / 2);
    const QByteArray small = makeJpeg(makePhotoLikePicture(64, 64));
    const QByteArray hugeFrame = withBytes(small, int(small.indexOf("\xFF\xC0")) + 5,
                                           {0xFF, 0xDC, 0xFF, 0xDC}); // 65500 x 65500

    struct Case {
        const char* what;
        QByteArray bytes;
        int32_t describeResult;
        int32_t decodeResult;
    };
    const Case cases[] = {
        {"another mark", withBytes(cam, 3, {'I'}), SPI_UNKNOWN_FORMAT, SPI_UNKNOWN_FORMAT},
        {"header cut short", cam.left(40), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"two areas", withBe16(cam, 4, 2), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"areas out of order", withBe16(cam, camAreaEntry(0), 2), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"comment past the end", withBe32(cam, camAreaEntry(0) + 2, 0xFFFFFFF0), SPI_BROKEN_DATA,
         SPI_BROKEN_DATA},
        {"image area past the end", cam.left(cam.size() - 1), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"file cut in the first scan", cam.left(kCamHeaderSize + 3000), SPI_BROKEN_DATA,
         SPI_BROKEN_DATA},
        {"empty image area", withArea({}), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"area cut in the tables", withArea(area.left(100)), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"scans longer than the area", withArea(withBe16(area, 6, be16(area, 6) + 1)),
         SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"a scan of size 0", withArea(withBe16(area, 4, 0)), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"two scans", withArea(withBe16(area, 0, 2)), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"divisor 0", withArea(withBytes(area, 8, {0})), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"fine scan past the area", withArea(withBe32(fine, 4, uint32_t(fine.size()))),
         SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"fine scan of size 0", withArea(withBe32(fine, 4, 0)), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"scan data that runs out", withArea(shortScan), SPI_SUCCESS, SPI_BROKEN_DATA},
        {"JFIF stream cut short", makeJfifCam(makeJpeg(picture).left(100)), SPI_BROKEN_DATA,
         SPI_BROKEN_DATA},
        {"JFIF frame too large for a DIB", makeJfifCam(hugeFrame), SPI_SUCCESS, SPI_NO_MEMORY},
    };
    for (const Case& broken : cases) {
        SCOPED_TRACE(broken.what);
        PictureDescription description;
        EXPECT_EQ(plugin.describe(broken.bytes, description), broken.describeResult);
        Dib dib;
        EXPECT_EQ(plugin.decode(broken.bytes, dib), broken.decodeResult);
        EXPECT_TRUE(dib.isEmpty());
    }
}

// Every byte of the header, the scan sizes and the tables damaged in turn: an answer of the
// interface each time (the loader checks the blocks of every success).
TEST_F(IfCam, SurvivesEveryDamagedHeaderAndTableByte) {
    const QImage picture = makePhotoLikePicture(640, 480);
    for (const CamCoding coding : {CamCoding::Normal, CamCoding::Fine}) {
        const QByteArray cam = makeCam(picture, {.coding = coding, .comment = "CC"});
        std::vector<int> offsets(kCamHeaderSize + 2 + 136); // header, comment, image area start
        std::iota(offsets.begin(), offsets.end(), 0);
        std::for_each(offsets.begin() + kCamHeaderSize + 2, offsets.end(), [](int& at) {
            at += 2808; // past the thumbnail
        });
        for (const int at : offsets) {
            for (const char value : {'\x00', '\xFF', char(cam[at] ^ 0x81)}) {
                Dib dib;
                const int32_t result = plugin.decode(withBytes(cam, at, {uint8_t(value)}), dib);
                ASSERT_TRUE(result == SPI_SUCCESS || result == SPI_UNKNOWN_FORMAT ||
                            result == SPI_BROKEN_DATA || result == SPI_NO_MEMORY)
                    << "byte " << at << " = " << int(uchar(value)) << ": " << result;
            }
        }
    }
}

std::vector<std::pair<int32_t, int32_t>> progressCalls;
int abortAtCall = -1;
int32_t recordProgress(int32_t done, int32_t total, int32_t lData) {
    EXPECT_EQ(lData, 4711);
    progressCalls.emplace_back(done, total);
    return int(progressCalls.size()) - 1 == abortAtCall ? 1 : 0;
}

TEST_F(IfCam, ReportsProgressByBandsOfRowsAndStopsWhenAsked) {
    const QByteArray cam = makeCam(makePhotoLikePicture(480, 240));
    for (const int abortAt : {-1, 0, 1, 4}) {
        SCOPED_TRACE(abortAt);
        progressCalls.clear();
        abortAtCall = abortAt;
        Dib dib;
        const int32_t result = plugin.decode(cam, dib, Call::Picture, recordProgress, 4711);
        if (abortAt < 0) {
            ASSERT_EQ(result, SPI_SUCCESS);
            const std::vector<std::pair<int32_t, int32_t>> bands = {
                {0, 240}, {64, 240}, {128, 240}, {192, 240}, {240, 240}};
            EXPECT_EQ(progressCalls, bands);
        } else {
            EXPECT_EQ(result, SPI_ABORTED);
            EXPECT_TRUE(dib.isEmpty());
            EXPECT_EQ(progressCalls.size(), size_t(abortAt) + 1) << "no call after the no";
        }
    }
}

} // namespace
