// ifjpeg.spi as the program uses it: loaded from the build folder, called through its exports.
#include "tests/support/jpegmaker.h"
#include "tests/support/spitesting.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace testsupport;

namespace {

int channelDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

#define EXPECT_COLOUR_NEAR(actual, expected, tolerance)                                            \
    EXPECT_LE(channelDistance(actual, expected), tolerance)                                        \
        << "got #" << std::hex << (actual & 0xFFFFFF) << ", expected #" << (expected & 0xFFFFFF)

// Checks that each quadrant's centre has its colour, at scale 1 or 1/4.
void expectQuadrants(const Dib& dib, const QuadrantPicture& picture, int scale, int tolerance) {
    const int xs[2] = {picture.splitX / 2, (picture.splitX + picture.image.width()) / 2};
    const int ys[2] = {picture.splitY / 2, (picture.splitY + picture.image.height()) / 2};
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        SCOPED_TRACE(quadrant);
        EXPECT_COLOUR_NEAR(dib.colour(xs[quadrant % 2] / scale, ys[quadrant / 2] / scale),
                           picture.colours[quadrant], tolerance);
    }
}

// Walking the marker segments up to the first scan, independently of libjpeg.
int be16(const QByteArray& bytes, int at) {
    return uchar(bytes[at]) << 8 | uchar(bytes[at + 1]);
}

bool isFrameMarker(uchar marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Position of the first segment whose marker satisfies the test, or -1.
int findSegment(const QByteArray& jpeg, const std::function<bool(uchar)>& wanted) {
    int at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const uchar marker = uchar(jpeg[at + 1]);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (wanted(marker))
            return at;
        if (marker == 0xDA)
            return -1;
        at += 2 + be16(jpeg, at + 2);
    }
    return -1;
}
int findFrame(const QByteArray& jpeg) {
    return findSegment(jpeg, isFrameMarker);
}
int findScan(const QByteArray& jpeg) {
    return findSegment(jpeg, [](uchar m) { return m == 0xDA; });
}

QSize frameSize(const QByteArray& jpeg) {
    const int frame = findFrame(jpeg);
    return frame < 0 ? QSize() : QSize(be16(jpeg, frame + 7), be16(jpeg, frame + 5));
}

QByteArray withFrameSize(QByteArray jpeg, int width, int height) {
    const int frame = findFrame(jpeg);
    const uchar size[4] = {uchar(height >> 8), uchar(height), uchar(width >> 8), uchar(width)};
    for (int i = 0; i < 4; ++i)
        jpeg[frame + 5 + i] = char(size[i]);
    return jpeg;
}

// The end of the entropy-coded data that starts at from: the next marker that is neither a
// stuffed zero nor a restart marker.
int endOfScanData(const QByteArray& jpeg, int from) {
    for (int at = from; at + 1 < jpeg.size(); ++at) {
        const uchar next = uchar(jpeg[at + 1]);
        if (uchar(jpeg[at]) == 0xFF && next != 0 && (next < 0xD0 || next > 0xD7))
            return at;
    }
    return int(jpeg.size());
}

// Mean difference in grey level between reduced and factor x factor averages of full, taken on a
// grid of reduced's pixels.
double meanDifferenceFromReduced(const Dib& full, const Dib& reduced, int factor) {
    double difference = 0;
    const int grid = 24;
    for (int gy = 0; gy < grid; ++gy) {
        for (int gx = 0; gx < grid; ++gx) {
            const int px = gx * (reduced.width() - 1) / (grid - 1);
            const int py = gy * (reduced.height() - 1) / (grid - 1);
            double average = 0;
            int count = 0;
            for (int y = factor * py; y < std::min(factor * (py + 1), full.height()); ++y)
                for (int x = factor * px; x < std::min(factor * (px + 1), full.width());
                     ++x, ++count)
                    average += qGray(full.colour(x, y));
            average /= count;
            difference += std::abs(average - qGray(reduced.colour(px, py)));
        }
    }
    return difference / (grid * grid);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// How far the process's peak resident memory rose during work, in MB; -1 where the peak
// cannot be reset.
long peakMemoryGrowthMb(const std::function<void()>& work) {
    const auto peakKb = [] {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1L;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').value(0).toLong();
        return -1L;
    };
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (!clearRefs.open(QIODevice::WriteOnly) || clearRefs.write("5") != 1)
        return -1;
    clearRefs.close();
    const long before = peakKb();
    work();
    return before < 0 ? -1 : (peakKb() - before) / 1024;
}

class IfJpeg : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(plugin.getPreview, nullptr); }

    const SpiPlugin& plugin = testedPlugin(QStringLiteral("ifjpeg.spi"));
};

TEST_F(IfJpeg, RecognisesJpegStreamsOnly) {
    const QByteArray jpeg = makeJpeg(makeGreyRamp(32, 8));
    EXPECT_TRUE(plugin.supports(jpeg));
    EXPECT_FALSE(plugin.supports(makeJ6i()));
    const QByteArray png("\x89PNG\r\n\x1a\n", 8);
    EXPECT_FALSE(plugin.supports(png + jpeg.mid(png.size())));
}

TEST_F(IfJpeg, CameraPhotosDecodeAtTheirFrameSizeInBothSizes) {
    TAZU_REQUIRE_TESTDATA();
    const QDir folder(testdataDir() + QStringLiteral("/camera"));
    const QStringList names = folder.entryList({QStringLiteral("*.jpg")}, QDir::Files);
    ASSERT_FALSE(names.isEmpty());
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString path = folder.filePath(name);
        const QSize frame = frameSize(readAll(path));
        ASSERT_TRUE(frame.isValid());

        PictureDescription description;
        ASSERT_EQ(plugin.describeFile(path, 0, description), SPI_SUCCESS);
        EXPECT_EQ(QSize(description.info.width, description.info.height), frame);
        EXPECT_EQ(description.info.colorDepth, 24);

        Dib full;
        ASSERT_EQ(plugin.decodeFile(path, 0, full), SPI_SUCCESS);
        EXPECT_EQ(QSize(full.width(), full.height()), frame);
        EXPECT_EQ(full.header().biBitCount, 24);
        EXPECT_EQ(full.bitsSize(), full.stride() * size_t(frame.height()));

        Dib preview;
        ASSERT_EQ(plugin.decodeFile(path, 0, preview, Call::Preview), SPI_SUCCESS);
        const QSize quarter((frame.width() + 3) / 4, (frame.height() + 3) / 4);
        EXPECT_EQ(QSize(preview.width(), preview.height()), quarter);
        EXPECT_EQ(preview.bitsSize(), preview.stride() * size_t(quarter.height()));

        // The preview and the picture at 1/8 must show the same picture: compare them with
        // 4 × 4 and 8 × 8 averages of the full decode. (One of the photographs is black all
        // over, so flatness is no sign of a failed decode here.)
        EXPECT_LT(meanDifferenceFromReduced(full, preview, 4), 8.0);
        Dib eighth;
        ASSERT_EQ(plugin.decodeScaledFile(path, 0, 1, 1, eighth), SPI_SUCCESS);
        const QSize eighthSize((frame.width() + 7) / 8, (frame.height() + 7) / 8);
        EXPECT_EQ(QSize(eighth.width(), eighth.height()), eighthSize);
        EXPECT_LT(meanDifferenceFromReduced(full, eighth, 8), 4.0);
    }
}

// GetPictureScaled picks the smallest M/8 that covers the minimum, each side rounded up.
TEST_F(IfJpeg, ScaledDecodesAtTheSmallestEighthThatCoversTheMinimum) {
    ASSERT_NE(plugin.getPictureScaled, nullptr);
    QImage large(4000, 3000, QImage::Format_RGB32);
    large.fill(qRgb(40, 160, 90));
    const QByteArray camera = makeJpeg(large);
    const struct {
        QSize minimum, expected;
    } cameraCases[] = {
        {{500, 375}, {500, 375}},     {{1, 1}, {500, 375}},       {{501, 375}, {1000, 750}},
        {{500, 376}, {1000, 750}},    {{1001, 1}, {1500, 1125}},  {{1, 2251}, {3500, 2625}},
        {{3500, 2625}, {3500, 2625}}, {{3501, 1}, {4000, 3000}},  {{4000, 3000}, {4000, 3000}},
        {{4001, 10}, {4000, 3000}},   {{10, 9000}, {4000, 3000}}, {{0, 0}, {4000, 3000}},
        {{0, 375}, {4000, 3000}},     {{500, -1}, {4000, 3000}},
    };
    for (const auto& [minimum, expected] : cameraCases) {
        SCOPED_TRACE(::testing::Message() << minimum.width() << " x " << minimum.height());
        Dib dib;
        ASSERT_EQ(plugin.decodeScaled(camera, minimum.width(), minimum.height(), dib), SPI_SUCCESS);
        EXPECT_EQ(QSize(dib.width(), dib.height()), expected);
        EXPECT_EQ(dib.bitsSize(), dib.stride() * size_t(expected.height()));
        EXPECT_COLOUR_NEAR(dib.colour(expected.width() / 2, expected.height() / 2),
                           qRgb(40, 160, 90), 3);
    }

    // 97 × 61 at M/8 is ceil(97 M / 8) × ceil(61 M / 8).
    const QByteArray odd = makeJpeg(makeQuadrantPicture(97, 61).image);
    const struct {
        QSize minimum, expected;
    } oddCases[] = {
        {{13, 8}, {13, 8}},  {{14, 8}, {25, 16}},  {{13, 9}, {25, 16}}, {{26, 1}, {37, 23}},
        {{49, 1}, {49, 31}}, {{50, 1}, {61, 39}},  {{62, 1}, {73, 46}}, {{74, 1}, {85, 54}},
        {{86, 1}, {97, 61}}, {{97, 61}, {97, 61}}, {{98, 1}, {97, 61}},
    };
    for (const auto& [minimum, expected] : oddCases) {
        SCOPED_TRACE(::testing::Message() << minimum.width() << " x " << minimum.height());
        Dib dib;
        ASSERT_EQ(plugin.decodeScaled(odd, minimum.width(), minimum.height(), dib), SPI_SUCCESS);
        EXPECT_EQ(QSize(dib.width(), dib.height()), expected);
    }
}

// At full size GetPictureScaled is GetPicture; below it every coding keeps its colours, and
// greyscale stays 8 bits with its grey colour table.
TEST_F(IfJpeg, ScaledDecodesEveryCodingAsGetPictureDoes) {
    const QuadrantPicture picture = makeQuadrantPicture(160, 96);
    std::vector<JpegOptions> codings;
    for (const Subsampling subsampling :
         {Subsampling::S444, Subsampling::S422, Subsampling::S420, Subsampling::S440}) {
        for (const bool progressive : {false, true}) {
            JpegOptions& options = codings.emplace_back();
            options.subsampling = subsampling;
            options.progressive = progressive;
        }
    }
    codings.emplace_back().colour = JpegColour::AdobeCmyk;
    codings.emplace_back().arithmetic = true;
    for (JpegOptions& options : codings) {
        options.quality = 95;
        SCOPED_TRACE(::testing::Message() << int(options.subsampling) << options.progressive
                                          << int(options.colour) << options.arithmetic);
        const QByteArray jpeg = makeJpeg(picture.image, options);
        Dib full, scaledFull, quarter;
        ASSERT_EQ(plugin.decode(jpeg, full), SPI_SUCCESS);
        ASSERT_EQ(plugin.decodeScaled(jpeg, 160, 96, scaledFull), SPI_SUCCESS);
        ASSERT_EQ(scaledFull.bitsSize(), full.bitsSize());
        EXPECT_EQ(std::memcmp(&scaledFull.header(), &full.header(), sizeof(SpiBitmapInfoHeader)),
                  0);
        for (int y = 0; y < full.height(); ++y)
            for (int x = 0; x < full.width(); ++x)
                ASSERT_EQ(scaledFull.colour(x, y), full.colour(x, y)) << x << ", " << y;

        ASSERT_EQ(plugin.decodeScaled(jpeg, 40, 24, quarter), SPI_SUCCESS);
        EXPECT_EQ(QSize(quarter.width(), quarter.height()), QSize(40, 24));
        expectQuadrants(quarter, picture, 4, 10);
    }

    JpegOptions grey;
    grey.colour = JpegColour::Greyscale;
    Dib greyEighth;
    ASSERT_EQ(plugin.decodeScaled(makeJpeg(makeGreyRamp(201, 16), grey), 1, 1, greyEighth),
              SPI_SUCCESS);
    EXPECT_EQ(greyEighth.bitCount(), 8);
    EXPECT_EQ(QSize(greyEighth.width(), greyEighth.height()), QSize(26, 2));
    EXPECT_EQ(greyEighth.paletteColour(200), qRgb(200, 200, 200));
    EXPECT_NEAR(greyEighth.index(13, 1), 13 * 8 * 255 / 200, 8);
}

// Every coding the plug-in must read: subsampling × progressive × restart markers.
class IfJpegCoding : public IfJpeg,
                     public ::testing::WithParamInterface<std::tuple<Subsampling, bool, int>> {};

TEST_P(IfJpegCoding, DecodesKnownColoursBottomUpInBgrOrder) {
    JpegOptions options;
    std::tie(options.subsampling, options.progressive, options.restartInterval) = GetParam();
    options.quality = 95;
    // 97 × 3 = 291 bytes a row: the rows need padding to 292.
    const QuadrantPicture picture = makeQuadrantPicture(97, 61);
    const QByteArray jpeg = makeJpeg(picture.image, options);

    Dib full;
    ASSERT_EQ(plugin.decode(jpeg, full), SPI_SUCCESS);
    EXPECT_EQ(full.header().biSize, 40u);
    EXPECT_EQ(full.width(), 97);
    EXPECT_EQ(full.height(), 61) << "positive: bottom-up rows";
    EXPECT_EQ(full.header().biBitCount, 24);
    EXPECT_EQ(full.header().biCompression, 0u);
    EXPECT_EQ(full.bitsSize(), 292u * 61);
    EXPECT_EQ(full.header().biSizeImage, 292u * 61);
    expectQuadrants(full, picture, 1, 6);

    Dib preview;
    ASSERT_EQ(plugin.decode(jpeg, preview, Call::Preview), SPI_SUCCESS);
    EXPECT_EQ(preview.width(), 25);
    EXPECT_EQ(preview.height(), 16);
    EXPECT_EQ(preview.bitsSize(), 76u * 16);
    expectQuadrants(preview, picture, 4, 8);
}

std::string codingName(const ::testing::TestParamInfo<IfJpegCoding::ParamType>& info) {
    static const char* const names[] = {"444", "422", "420", "440"};
    return std::string("s") + names[int(std::get<0>(info.param))] +
           (std::get<1>(info.param) ? "_progressive" : "_baseline") + "_restart" +
           std::to_string(std::get<2>(info.param));
}

INSTANTIATE_TEST_SUITE_P(AllCodings, IfJpegCoding,
                         ::testing::Combine(::testing::Values(Subsampling::S444, Subsampling::S422,
                                                              Subsampling::S420, Subsampling::S440),
                                            ::testing::Bool(), ::testing::Values(0, 3)),
                         codingName);

TEST_F(IfJpeg, DecodesArithmeticCoding) {
    const QuadrantPicture picture = makeQuadrantPicture(64, 48);
    for (const bool progressive : {false, true}) {
        SCOPED_TRACE(progressive);
        JpegOptions options;
        options.arithmetic = true;
        options.progressive = progressive;
        Dib dib;
        ASSERT_EQ(plugin.decode(makeJpeg(picture.image, options), dib), SPI_SUCCESS);
        expectQuadrants(dib, picture, 1, 6);
    }
}

TEST_F(IfJpeg, GreyscaleGivesEightBitsWithAGreyColourTable) {
    JpegOptions options;
    options.colour = JpegColour::Greyscale;
    options.quality = 95;
    const QByteArray jpeg = makeJpeg(makeGreyRamp(201, 16), options);
    PictureDescription description;
    ASSERT_EQ(plugin.describe(jpeg, description), SPI_SUCCESS);
    EXPECT_EQ(description.info.colorDepth, 8);

    Dib full;
    ASSERT_EQ(plugin.decode(jpeg, full), SPI_SUCCESS);
    EXPECT_EQ(full.header().biBitCount, 8);
    EXPECT_EQ(full.header().biClrUsed, 256u);
    ASSERT_EQ(full.infoSize(), sizeof(SpiBitmapInfoHeader) + 256 * sizeof(SpiRgbQuad));
    for (int level = 0; level < 256; ++level)
        ASSERT_EQ(full.paletteColour(level), qRgb(level, level, level)) << level;
    EXPECT_EQ(full.bitsSize(), 204u * 16);
    for (int x = 4; x < 197; x += 16)
        EXPECT_NEAR(full.index(x, 8), x * 255 / 200, 4) << x;

    Dib preview;
    ASSERT_EQ(plugin.decode(jpeg, preview, Call::Preview), SPI_SUCCESS);
    EXPECT_EQ(preview.header().biBitCount, 8);
    EXPECT_EQ(preview.width(), 51);
    EXPECT_EQ(preview.height(), 4);
    EXPECT_NEAR(preview.index(25, 2), 100 * 255 / 200, 6);
}

TEST_F(IfJpeg, AdobeCmykAndYcckShowTheirColours) {
    const QuadrantPicture picture = makeQuadrantPicture(64, 48);
    for (const JpegColour colour : {JpegColour::AdobeCmyk, JpegColour::AdobeYcck}) {
        SCOPED_TRACE(int(colour));
        JpegOptions options;
        options.colour = colour;
        options.quality = 95;
        const QByteArray jpeg = makeJpeg(picture.image, options);
        PictureDescription description;
        ASSERT_EQ(plugin.describe(jpeg, description), SPI_SUCCESS);
        EXPECT_EQ(description.info.colorDepth, 24);
        Dib full, preview;
        ASSERT_EQ(plugin.decode(jpeg, full), SPI_SUCCESS);
        EXPECT_EQ(full.header().biBitCount, 24);
        expectQuadrants(full, picture, 1, 8);
        ASSERT_EQ(plugin.decode(jpeg, preview, Call::Preview), SPI_SUCCESS);
        expectQuadrants(preview, picture, 4, 10);
    }
}

TEST_F(IfJpeg, CodingsLibjpegCannotDecodeGiveBrokenData) {
    const QByteArray jpeg = makeJpeg(makeQuadrantPicture(32, 32).image);
    const int frame = findFrame(jpeg);
    QByteArray twelveBit = jpeg;
    twelveBit[frame + 4] = 12;
    QByteArray lossless = jpeg;
    lossless[frame + 1] = char(0xC3);
    for (const QByteArray& bytes : {twelveBit, lossless}) {
        PictureDescription description;
        EXPECT_EQ(plugin.describe(bytes, description), SPI_BROKEN_DATA);
        Dib full, preview;
        EXPECT_EQ(plugin.decode(bytes, full), SPI_BROKEN_DATA);
        EXPECT_EQ(plugin.decode(bytes, preview, Call::Preview), SPI_BROKEN_DATA);
        EXPECT_TRUE(full.isEmpty() && preview.isEmpty());
    }
}

TEST_F(IfJpeg, ReportsSizeDensityAndComment) {
    const QImage image = makeGreyRamp(40, 30);
    const auto densities = [&](int unit, int x, int y, bool jfif = true) {
        JpegOptions options;
        options.jfif = jfif;
        options.densityUnit = unit;
        options.xDensity = x;
        options.yDensity = y;
        const QByteArray jpeg = makeJpeg(image, options);
        PictureDescription description;
        EXPECT_EQ(plugin.describe(jpeg, description), SPI_SUCCESS);
        Dib dib;
        EXPECT_EQ(plugin.decode(jpeg, dib), SPI_SUCCESS);
        return std::tuple(description.info.x_density, description.info.y_density,
                          dib.header().biXPelsPerMeter, dib.header().biYPelsPerMeter);
    };
    EXPECT_EQ(densities(1, 300, 150), std::tuple(300, 150, 11811, 5906));
    EXPECT_EQ(densities(2, 118, 118), std::tuple(300, 300, 11800, 11800));
    EXPECT_EQ(densities(0, 2, 1), std::tuple(2, 1, 0, 0)) << "an aspect ratio stays one";
    EXPECT_EQ(densities(0, 1, 1, false), std::tuple(1, 1, 0, 0)) << "no JFIF: square pixels";

    JpegOptions options;
    options.comment = QByteArray("Ricoh DC-3 \x83\x65\x83\x58\x83\x67"); // Shift JIS as is
    PictureDescription commented;
    ASSERT_EQ(plugin.describe(makeJpeg(image, options), commented), SPI_SUCCESS);
    EXPECT_EQ(commented.info.left, 0);
    EXPECT_EQ(commented.info.top, 0);
    EXPECT_EQ(commented.info.width, 40);
    EXPECT_EQ(commented.info.height, 30);
    EXPECT_EQ(commented.text, options.comment.toStdString());
    PictureDescription plain;
    ASSERT_EQ(plugin.describe(makeJpeg(image), plain), SPI_SUCCESS);
    EXPECT_EQ(plain.text, "") << "an empty text block, not none";
}

// Fills and frees a few blocks of as many bytes as a DIB's pixel block of the given size takes,
// so that the decoder's block is likely to come back from the heap holding 0xA5 wherever it is
// not written (AddressSanitizer's allocator fills new blocks anyway).
void dirtyFreedBlocks(int width, int height, int bitCount) {
    const size_t bytes = sizeof(SpiBlockHeader) + size_t((width * bitCount + 31) / 32 * 4) * height;
    std::vector<void*> blocks;
    for (int i = 0; i < 8; ++i) {
        if (void* block = std::malloc(bytes)) {
            std::memset(block, 0xA5, bytes);
            blocks.push_back(block);
        }
    }
    for (void* block : blocks)
        std::free(block);
}

// How many bytes of the rows' padding are not zero.
int nonZeroPadding(const Dib& dib) {
    const size_t used = size_t(dib.width()) * size_t(dib.bitCount() / 8);
    int count = 0;
    for (int y = 0; y < dib.height(); ++y)
        for (const uint8_t byte : dib.storedRow(y).subspan(used))
            count += byte != 0;
    return count;
}

// The decoder writes its rows into a block it does not zero first: the padding of the rows (which
// saved BMP files carry) and the rows a damaged stream leaves must still come out zero.
TEST_F(IfJpeg, BytesTheDecoderDoesNotWriteAreZero) {
    for (const int width : {1, 2, 3, 5, 13}) {
        for (const bool grey : {false, true}) {
            SCOPED_TRACE(testing::Message() << width << (grey ? " grey" : " colour"));
            JpegOptions options;
            options.colour = grey ? JpegColour::Greyscale : JpegColour::YCbCr;
            const QByteArray jpeg = makeJpeg(makePhotoLikePicture(width, 9), options);
            for (const Call call : {Call::Picture, Call::Preview, Call::Scaled}) {
                const int scale = call == Call::Picture ? 1 : call == Call::Preview ? 4 : 8;
                dirtyFreedBlocks((width + scale - 1) / scale, (9 + scale - 1) / scale,
                                 grey ? 8 : 24);
                Dib dib;
                ASSERT_EQ(plugin.decode(jpeg, dib, call), SPI_SUCCESS);
                EXPECT_EQ(nonZeroPadding(dib), 0) << int(call);
            }
        }
    }

    // Cut 60 % into the picture data of a picture 3 pixels short of a multiple of 4 wide.
    const QByteArray jpeg = makeJpeg(makeQuadrantPicture(61, 48).image);
    const int scan = findScan(jpeg);
    const int data = scan + 2 + be16(jpeg, scan + 2);
    const QByteArray cut = jpeg.left(data + (endOfScanData(jpeg, data) - data) * 6 / 10);
    dirtyFreedBlocks(61, 48, 24);
    Dib dib;
    ASSERT_EQ(plugin.decode(cut, dib), SPI_SUCCESS);
    EXPECT_EQ(nonZeroPadding(dib), 0);
    int nonBlack = 0;
    for (int y = 40; y < 48; ++y)
        for (int x = 0; x < 61; ++x)
            nonBlack += dib.colour(x, y) != qRgb(0, 0, 0);
    EXPECT_EQ(nonBlack, 0) << "the rows below the damage are black";
}

// GetPictureInfo reads only the start of a file when the markers before the picture end there;
// markers that run on past it are read from the whole file, for the same answer as in memory.
TEST_F(IfJpeg, DescribesAFileWhoseMarkersRunFarIntoIt) {
    JpegOptions options;
    options.comment = QByteArray("after 300 KB of profile");
    const QByteArray plain = makeJpeg(makeGreyRamp(48, 20), options);
    // Six 60 000-byte APP2 segments (as a large colour profile is stored) after SOI, before the
    // comment and the frame.
    QByteArray segments;
    for (int i = 0; i < 6; ++i) {
        segments += QByteArray("\xFF\xE2", 2);
        const int length = 60000;
        segments += char(length >> 8);
        segments += char(length & 0xFF);
        segments += QByteArray(length - 2, char('a' + i));
    }
    const QByteArray jpeg = plain.left(2) + segments + plain.mid(2);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("profiled.jpg"));
    ASSERT_TRUE(writeFile(path, jpeg));

    PictureDescription fromFile, fromMemory;
    ASSERT_EQ(plugin.describeFile(path, 0, fromFile), SPI_SUCCESS);
    ASSERT_EQ(plugin.describe(jpeg, fromMemory), SPI_SUCCESS);
    EXPECT_EQ(QSize(fromFile.info.width, fromFile.info.height), QSize(48, 20));
    EXPECT_EQ(fromFile.text, "after 300 KB of profile");
    EXPECT_EQ(fromMemory.text, fromFile.text);

    // Cut before its frame, the file is broken data, as the same bytes in memory are.
    const QString cutPath = dir.filePath(QStringLiteral("cut.jpg"));
    ASSERT_TRUE(writeFile(cutPath, jpeg.left(300000)));
    EXPECT_EQ(plugin.describeFile(cutPath, 0, fromFile), SPI_BROKEN_DATA);
    EXPECT_EQ(plugin.describe(jpeg.left(300000), fromMemory), SPI_BROKEN_DATA);
}

TEST_F(IfJpeg, FindsTheStreamOnlyAtTheGivenOffset) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("R0010001.J6I"));
    J6iOptions j6iOptions;
    j6iOptions.trailer = QByteArray(300, '\x5A'); // junk after the stream, as cameras leave
    const QByteArray j6i = makeJ6i(j6iOptions);
    ASSERT_TRUE(writeFile(path, j6i));

    PictureDescription description;
    for (const int wrong : {0, 128, 171, 173}) {
        SCOPED_TRACE(wrong);
        EXPECT_EQ(plugin.describeFile(path, wrong, description), SPI_UNKNOWN_FORMAT);
        Dib dib;
        EXPECT_EQ(plugin.decodeFile(path, wrong, dib), SPI_UNKNOWN_FORMAT);
        EXPECT_EQ(plugin.decodeFile(path, wrong, dib, Call::Preview), SPI_UNKNOWN_FORMAT);
        EXPECT_TRUE(dib.isEmpty());
    }
    ASSERT_EQ(plugin.describeFile(path, 172, description), SPI_SUCCESS);
    EXPECT_EQ(QSize(description.info.width, description.info.height), QSize(768, 480));
    Dib full, preview;
    ASSERT_EQ(plugin.decodeFile(path, 172, full), SPI_SUCCESS);
    expectQuadrants(full, makeQuadrantPicture(768, 480), 1, 6);
    ASSERT_EQ(plugin.decodeFile(path, 172, preview, Call::Preview), SPI_SUCCESS);
    EXPECT_EQ(QSize(preview.width(), preview.height()), QSize(192, 120));
    Dib scaled;
    EXPECT_EQ(plugin.decodeScaledFile(path, 128, 96, 60, scaled), SPI_UNKNOWN_FORMAT);
    ASSERT_EQ(plugin.decodeScaledFile(path, 172, 96, 60, scaled), SPI_SUCCESS);
    EXPECT_EQ(QSize(scaled.width(), scaled.height()), QSize(96, 60));
    expectQuadrants(scaled, makeQuadrantPicture(768, 480), 8, 8);
    EXPECT_EQ(plugin.decodeFile(path, int32_t(j6i.size()) + 1, full), SPI_UNKNOWN_FORMAT)
        << "an offset past the end of the file";

    // The same rules for a file image in memory: the stream must start at the buffer.
    EXPECT_EQ(plugin.describe(j6i, description), SPI_UNKNOWN_FORMAT);
    EXPECT_EQ(plugin.describe(j6i.mid(172), description), SPI_SUCCESS);

    // Other software wrote other header lengths; the offset is whatever the header says.
    J6iOptions longer;
    longer.headerLength = 200;
    const QString longerPath = dir.filePath(QStringLiteral("other.j6i"));
    ASSERT_TRUE(writeFile(longerPath, makeJ6i(longer)));
    EXPECT_EQ(plugin.describeFile(longerPath, 172, description), SPI_UNKNOWN_FORMAT);
    EXPECT_EQ(plugin.describeFile(longerPath, 200, description), SPI_SUCCESS);
}

TEST_F(IfJpeg, TruncatedStreamsGiveTheirTopRowsOrBrokenData) {
    const QuadrantPicture picture = makeQuadrantPicture(256, 256);
    const QByteArray jpeg = makeJpeg(picture.image);
    const int scan = findScan(jpeg);
    const int data = scan + 2 + be16(jpeg, scan + 2);
    const int end = endOfScanData(jpeg, data);

    // Cut inside the headers, or before any picture data: nothing to show.
    for (const int cut : {20, findFrame(jpeg) + 6, scan, data}) {
        SCOPED_TRACE(cut);
        PictureDescription description;
        EXPECT_EQ(plugin.describe(jpeg.left(cut), description),
                  cut == data ? SPI_SUCCESS : SPI_BROKEN_DATA);
        Dib dib;
        EXPECT_EQ(plugin.decode(jpeg.left(cut), dib), SPI_BROKEN_DATA);
        EXPECT_EQ(plugin.decode(jpeg.left(cut), dib, Call::Preview), SPI_BROKEN_DATA);
        EXPECT_TRUE(dib.isEmpty());
    }

    // Cut 60 % into the picture data: the top is there, the missing bottom rows are black.
    const QByteArray cut = jpeg.left(data + (end - data) * 6 / 10);
    Dib full, preview;
    ASSERT_EQ(plugin.decode(cut, full), SPI_SUCCESS);
    EXPECT_COLOUR_NEAR(full.colour(60, 60), picture.colours[0], 6);
    EXPECT_COLOUR_NEAR(full.colour(200, 60), picture.colours[1], 6);
    EXPECT_EQ(full.colour(60, 255), qRgb(0, 0, 0));
    ASSERT_EQ(plugin.decode(cut, preview, Call::Preview), SPI_SUCCESS);
    EXPECT_COLOUR_NEAR(preview.colour(15, 15), picture.colours[0], 8);
    EXPECT_EQ(preview.colour(15, 63), qRgb(0, 0, 0));

    // Only the end-of-image marker missing: the whole picture.
    ASSERT_EQ(plugin.decode(jpeg.left(end), full), SPI_SUCCESS);
    expectQuadrants(full, picture, 1, 6);

    // A progressive stream cut half-way keeps the scans it has: here all of the colour.
    JpegOptions progressive;
    progressive.progressive = true;
    const QByteArray progressiveJpeg = makeJpeg(picture.image, progressive);
    ASSERT_EQ(plugin.decode(progressiveJpeg.left(progressiveJpeg.size() / 2), full), SPI_SUCCESS);
    expectQuadrants(full, picture, 1, 16);
}

TEST_F(IfJpeg, HostileHeadersAreRefusedWithoutBigAllocations) {
    const QImage image = makeQuadrantPicture(64, 64).image;
    const QByteArray huge = withFrameSize(makeJpeg(image), 65500, 65500);
    PictureDescription description;
    ASSERT_EQ(plugin.describe(huge, description), SPI_SUCCESS);
    EXPECT_EQ(description.info.width, 65500);

    JpegOptions progressive;
    progressive.progressive = true;
    const QByteArray progressiveLarge = withFrameSize(makeJpeg(image, progressive), 20000, 20000);

    const long growth = peakMemoryGrowthMb([&] {
        Dib dib;
        EXPECT_EQ(plugin.decode(huge, dib), SPI_NO_MEMORY) << "a 24-bit DIB of 12 GB";
        EXPECT_EQ(plugin.decode(huge, dib, Call::Preview), SPI_BROKEN_DATA)
            << "the data ends inside the first band of MCUs";
        // Whole-picture coefficient buffers of 1.2 GB: more than libjpeg may take.
        EXPECT_EQ(plugin.decode(progressiveLarge, dib), SPI_NO_MEMORY);
        EXPECT_EQ(plugin.decode(progressiveLarge, dib, Call::Preview), SPI_NO_MEMORY);
        EXPECT_EQ(plugin.decodeScaled(huge, 65500, 1, dib), SPI_NO_MEMORY);
        EXPECT_EQ(plugin.decodeScaled(huge, 1, 1, dib), SPI_BROKEN_DATA);
        EXPECT_EQ(plugin.decodeScaled(progressiveLarge, 1, 1, dib), SPI_NO_MEMORY);
        EXPECT_TRUE(dib.isEmpty());
    });
    if (growth >= 0) {
        EXPECT_LT(growth, 200) << "MB of peak memory";
    }
}

TEST_F(IfJpeg, StreamsWithEndlessScansAreRefused) {
    JpegOptions progressive;
    progressive.progressive = true;
    const QByteArray jpeg = makeJpeg(makeQuadrantPicture(64, 64).image, progressive);
    const int scan = findScan(jpeg);
    const int scanEnd = endOfScanData(jpeg, scan + 2 + be16(jpeg, scan + 2));
    QByteArray repeated = jpeg.left(scanEnd);
    for (int copy = 0; copy < 150; ++copy)
        repeated += jpeg.mid(scan, scanEnd - scan);
    repeated += jpeg.mid(scanEnd);
    Dib dib;
    EXPECT_EQ(plugin.decode(repeated, dib), SPI_BROKEN_DATA);
    EXPECT_EQ(plugin.decode(jpeg, dib), SPI_SUCCESS);
}

} // namespace
