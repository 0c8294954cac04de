// ifcam.spi as the program uses it: CAM files made from pictures of known content, in both
// codings and as a JFIF stream after the header, and the ways such a file can be broken.
#include "tests/support/cammaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/spitesting.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <string>
#include <utility>
#include <vector>

using namespace testsupport;

namespace {

// bytes with the big-endian number value of width bytes at at.
QByteArray patched(QByteArray bytes, int at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes[at + i] = char(value >> (8 * (width - 1 - i)));
    return bytes;
}
int be16(const QByteArray& bytes, int at) {
    return uchar(bytes[at]) << 8 | uchar(bytes[at + 1]);
}

::testing::AssertionResult samePixels(const Dib& dib, const Dib& expected) {
    if (dib.width() != expected.width() || dib.height() != expected.height())
        return ::testing::AssertionFailure() << dib.width() << "x" << dib.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (dib.colour(x, y) != expected.colour(x, y))
                return ::testing::AssertionFailure() << "first difference at " << x << ", " << y;
    return ::testing::AssertionSuccess();
}

class IfCam : public ::testing::Test {
protected:
    const SpiPlugin& plugin = testedPlugin(QStringLiteral("ifcam.spi"));
    const SpiPlugin& jpegPlugin = testedPlugin(QStringLiteral("ifjpeg.spi"));
};

TEST_F(IfCam, KnowsCamFilesByTheirMarkAndHasNoPreview) {
    EXPECT_EQ(plugin.pluginInfo(2), "*.CAM");
    EXPECT_EQ(plugin.pluginInfo(3), "CAM");
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
// and that is the picture that went in.
TEST_P(IfCamCoding, DecodesToThePixelsOfTheStreamTheAreaWasCutFrom) {
    const QSize size = GetParam() == CamCoding::Normal ? QSize(480, 240) : QSize(640, 480);
    const QuadrantPicture quadrants = makeQuadrantPicture(size.width(), size.height());
    for (const QImage& picture :
         {quadrants.image, makePhotoLikePicture(size.width(), size.height())}) {
        const CamImageArea image = makeCamImageArea(picture, GetParam());
        const QByteArray cam =
            makeCamFile("SHOT 1", makeCamThumbnail(picture), image.area + QByteArray(7, '\0'));
        PictureDescription description;
        ASSERT_EQ(plugin.describe(cam, description), SPI_SUCCESS);
        EXPECT_EQ(QSize(description.info.width, description.info.height), size);
        EXPECT_EQ(description.text, "SHOT 1");

        Dib dib, reference;
        ASSERT_EQ(plugin.decode(cam, dib), SPI_SUCCESS);
        EXPECT_EQ(dib.bitCount(), 24);
        ASSERT_EQ(jpegPlugin.decode(image.referenceJpeg, reference), SPI_SUCCESS);
        EXPECT_TRUE(samePixels(dib, reference));
        if (picture == quadrants.image) {
            for (int quadrant = 0; quadrant < 4; ++quadrant) {
                const QRgb shown = dib.colour(quadrant % 2 ? size.width() - 40 : 40,
                                              quadrant / 2 ? size.height() - 40 : 40);
                const QRgb wanted = quadrants.colours[quadrant];
                EXPECT_NEAR(qRed(shown), qRed(wanted), 6) << quadrant;
                EXPECT_NEAR(qGreen(shown), qGreen(wanted), 6) << quadrant;
                EXPECT_NEAR(qBlue(shown), qBlue(wanted), 6) << quadrant;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothCodings, IfCamCoding,
                         ::testing::Values(CamCoding::Normal, CamCoding::Fine),
                         [](const auto& info) {
                             return info.param == CamCoding::Normal ? "Normal" : "Fine";
                         });

TEST_F(IfCam, AJfifStreamAfterTheHeaderDecodesAsThatStream) {
    const QByteArray jpeg = makeJpeg(makePhotoLikePicture(320, 240));
    Dib dib, reference;
    ASSERT_EQ(plugin.decode(makeJfifCam(jpeg) + QByteArray(50, 'j'), dib), SPI_SUCCESS);
    ASSERT_EQ(jpegPlugin.decode(jpeg, reference), SPI_SUCCESS);
    EXPECT_TRUE(samePixels(dib, reference));
}

// At a reduced scale too the plug-in gives what libjpeg gives for the stream the area was cut
// from (or the JFIF stream the file holds), at the smallest M/8 that covers the minimum.
TEST_F(IfCam, ScaledDecodesAsTheStreamDecodesAtTheSameScale) {
    struct Case {
        QByteArray cam, reference;
        QSize minimum, expected;
    };
    std::vector<Case> cases;
    for (const CamCoding coding : {CamCoding::Normal, CamCoding::Fine}) {
        const QSize size = coding == CamCoding::Normal ? QSize(480, 240) : QSize(640, 480);
        const QImage picture = makePhotoLikePicture(size.width(), size.height());
        const CamImageArea image = makeCamImageArea(picture, coding);
        const QByteArray cam = makeCamFile("S", makeCamThumbnail(picture), image.area);
        cases.push_back({cam, image.referenceJpeg, {1, 1}, size / 8});
        cases.push_back({cam, image.referenceJpeg, size / 4 + QSize(1, 0), size * 3 / 8});
        cases.push_back({cam, image.referenceJpeg, {0, 0}, size});
        cases.push_back({cam, image.referenceJpeg, size + QSize(1, 1), size});
    }
    const QByteArray jpeg = makeJpeg(makePhotoLikePicture(800, 600));
    cases.push_back({makeJfifCam(jpeg), jpeg, {200, 150}, {200, 150}});
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.expected.width() << " x " << c.expected.height());
        Dib dib, reference;
        ASSERT_EQ(plugin.decodeScaled(c.cam, c.minimum.width(), c.minimum.height(), dib),
                  SPI_SUCCESS);
        EXPECT_EQ(QSize(dib.width(), dib.height()), c.expected);
        ASSERT_EQ(
            jpegPlugin.decodeScaled(c.reference, c.minimum.width(), c.minimum.height(), reference),
            SPI_SUCCESS);
        EXPECT_TRUE(samePixels(dib, reference));
    }
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
    const QByteArray area = makeCamImageArea(picture, CamCoding::Normal).area;
    const QByteArray fine = makeCamImageArea(makePhotoLikePicture(640, 480), CamCoding::Fine).area;
    const auto withArea = [&](const QByteArray& imageArea) {
        return makeCamFile("C", makeCamThumbnail(picture), imageArea);
    };
    const QByteArray cam = withArea(area);
    // The luminance scan cut to half, the sizes made to agree: its data runs out.
    const int lumaSize = be16(area, 2);
    const QByteArray shortScan =
        patched(area, 2, lumaSize / 2, 2).remove(136 + lumaSize / 2, lumaSize - lumaSize / 2);
    const QByteArray small = makeJpeg(makePhotoLikePicture(64, 64));
    const QByteArray hugeFrame = // 65500 x 65500: a DIB of 12 GB
        patched(small, int(small.indexOf("\xFF\xC0")) + 5, 0xFFDCFFDC, 4);

    const struct {
        const char* what;
        QByteArray bytes;
        int32_t describeResult, decodeResult;
    } cases[] = {
        {"another mark", patched(cam, 3, 'I', 1), SPI_UNKNOWN_FORMAT, SPI_UNKNOWN_FORMAT},
        {"header cut short", cam.left(40), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"two areas", patched(cam, 4, 2, 2), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"areas out of order", patched(cam, camAreaEntry(0), 2, 2), SPI_BROKEN_DATA,
         SPI_BROKEN_DATA},
        {"comment past the end", patched(cam, camAreaEntry(0) + 2, 0xFFFFFFF0, 4), SPI_BROKEN_DATA,
         SPI_BROKEN_DATA},
        {"image area past the end", cam.left(cam.size() - 1), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"empty image area", withArea({}), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"area cut in the tables", withArea(area.left(100)), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"scans longer than the area", withArea(patched(area, 6, be16(area, 6) + 1, 2)),
         SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"a scan of size 0", withArea(patched(area, 4, 0, 2)), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"two scans", withArea(patched(area, 0, 2, 2)), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"divisor 0", withArea(patched(area, 8, 0, 1)), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"fine scan past the area", withArea(patched(fine, 4, uint32_t(fine.size()), 4)),
         SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"scan data that runs out", withArea(shortScan), SPI_SUCCESS, SPI_BROKEN_DATA},
        {"JFIF stream cut short", makeJfifCam(small.left(100)), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"JFIF frame too large", makeJfifCam(hugeFrame), SPI_SUCCESS, SPI_NO_MEMORY},
    };
    for (const auto& broken : cases) {
        SCOPED_TRACE(broken.what);
        PictureDescription description;
        EXPECT_EQ(plugin.describe(broken.bytes, description), broken.describeResult);
        Dib dib;
        EXPECT_EQ(plugin.decode(broken.bytes, dib), broken.decodeResult);
        EXPECT_TRUE(dib.isEmpty());
        // At 1/8 the oversized frame is no longer too large for a DIB.
        if (broken.decodeResult != SPI_NO_MEMORY) {
            EXPECT_EQ(plugin.decodeScaled(broken.bytes, 1, 1, dib), broken.decodeResult);
            EXPECT_TRUE(dib.isEmpty());
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
            EXPECT_EQ(result, SPI_SUCCESS);
            EXPECT_EQ(progressCalls, (std::vector<std::pair<int32_t, int32_t>>{
                                         {0, 240}, {64, 240}, {128, 240}, {192, 240}, {240, 240}}));
        } else {
            EXPECT_EQ(result, SPI_ABORTED);
            EXPECT_TRUE(dib.isEmpty());
            EXPECT_EQ(progressCalls.size(), size_t(abortAt) + 1) << "no call after the no";
        }
    }
}

} // namespace
