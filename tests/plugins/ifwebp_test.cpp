// ifwebp.spi as the program uses it: the shared WebP pictures against their reference
// renderings, pictures of our own encoder for alpha and animation frames, and the ways a file
// can be broken.
#include "tests/support/spitesting.h"
#include "tests/support/testdata.h"
#include "tests/support/testpatterns.h"
#include "tests/support/webpmaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdlib>
#include <map>

using namespace testsupport;

namespace {

const SpiPlugin& webpPlugin() {
    return testedPlugin(QStringLiteral("ifwebp.spi"));
}

// What the DIB shows, as a picture.
QImage shownPicture(const Dib& dib) {
    QImage image(dib.width(), dib.height(), QImage::Format_RGB32);
    for (int y = 0; y < dib.height(); ++y)
        for (int x = 0; x < dib.width(); ++x)
            image.setPixel(x, y, dib.colour(x, y));
    return image;
}

// The colour a pixel of the picture shows on white paper, rounded as the program rounds BMP
// alpha.
QRgb overWhite(QRgb pixel) {
    const auto channel = [&](int value) {
        return (value * qAlpha(pixel) + 255 * (255 - qAlpha(pixel)) + 127) / 255;
    };
    return qRgb(channel(qRed(pixel)), channel(qGreen(pixel)), channel(qBlue(pixel)));
}

// A colour pattern whose alpha runs through every value from 0 to 255.
QImage alphaPattern(int width, int height) {
    QImage image = colourPattern(width, height).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = image.pixel(x, y);
            image.setPixel(x, y,
                           qRgba(qRed(pixel), qGreen(pixel), qBlue(pixel), (x + y * width) % 256));
        }
    return image;
}

QImage overWhite(const QImage& image) {
    QImage shown(image.size(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            shown.setPixel(x, y, overWhite(image.pixel(x, y)));
    return shown;
}

// Every shared WebP picture against libwebp's own rendering of it. libwebp decodes lossy
// pictures exactly as the reference decoder does, so every picture must match to the level.
TEST(WebpPlugin, SharedFilesMatchTheirReferences) {
    TAZU_REQUIRE_TESTDATA();
    const std::map<QString, QSize> expected = {
        {"Alpha_Lossless_1.webp", {400, 301}},      {"Alpha_Lossy_1.webp", {400, 301}},
        {"Animation_Lossy.webp", {320, 240}},       {"HTC_Desire.webp", {776, 909}},
        {"Nikon_Coolpix_P7000.webp", {3648, 2736}}, {"Photo_1.webp", {1024, 772}},
        {"hopper_orientation_3.webp", {128, 128}},  {"webpvp8l.webp", {1200, 900}},
    };
    const QDir folder(testdataDir() + QStringLiteral("/webp"));
    const QStringList files = folder.entryList({QStringLiteral("*.webp")}, QDir::Files);
    ASSERT_EQ(files.size(), qsizetype(expected.size()));
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const QImage reference(
            folder.filePath("reference/" + QFileInfo(name).completeBaseName() + ".png"));
        ASSERT_FALSE(reference.isNull());

        PictureDescription description;
        ASSERT_EQ(webpPlugin().describeFile(folder.filePath(name), 0, description), SPI_SUCCESS);
        EXPECT_EQ(QSize(description.info.width, description.info.height), expected.at(name));
        EXPECT_EQ(description.info.colorDepth, 24);
        EXPECT_EQ(description.info.x_density, 1);
        EXPECT_EQ(description.info.y_density, 1);
        EXPECT_EQ(description.text, "");

        Dib dib;
        ASSERT_EQ(webpPlugin().decodeFile(folder.filePath(name), 0, dib), SPI_SUCCESS);
        EXPECT_EQ(dib.bitCount(), 24);
        EXPECT_EQ(dib.header().biXPelsPerMeter, 0);
        EXPECT_TRUE(showsPicture(dib, reference));
    }
}

// Lossless pictures come back exactly, alpha laid over white with the program's rounding; a
// width of 3 bytes a pixel that is no multiple of 4 pads its rows with zeros.
TEST(WebpPlugin, LosslessPicturesComeBackExactlyWithAlphaOverWhite) {
    const QImage opaque = colourPattern(37, 11);
    const QImage translucent = alphaPattern(33, 16);
    for (const QImage& image : {opaque, translucent}) {
        SCOPED_TRACE(image.hasAlphaChannel() ? "alpha" : "opaque");
        Dib dib;
        ASSERT_EQ(webpPlugin().decode(makeWebp(image), dib), SPI_SUCCESS);
        ASSERT_EQ(dib.bitCount(), 24);
        EXPECT_TRUE(showsPicture(dib, overWhite(image)));
        for (int y = 0; y < dib.height(); ++y) {
            const auto row = dib.storedRow(y);
            EXPECT_TRUE(std::all_of(row.begin() + dib.width() * 3, row.end(),
                                    [](uint8_t b) { return b == 0; }));
        }
    }
}

// Lossy pictures, with and without alpha, lie close to what was encoded (at quality 100 within
// a few levels on average), the right way up.
TEST(WebpPlugin, LossyPicturesLieCloseToTheirOriginal) {
    QImage smooth(64, 48, QImage::Format_ARGB32);
    for (int y = 0; y < smooth.height(); ++y)
        for (int x = 0; x < smooth.width(); ++x)
            smooth.setPixel(x, y, qRgba(x * 4, y * 5, 255 - x * 2, y < 24 ? 255 : 128));
    const QImage opaque = smooth.convertToFormat(QImage::Format_RGB32);
    for (const QImage& image : {opaque, smooth}) {
        SCOPED_TRACE(image.hasAlphaChannel() ? "alpha" : "opaque");
        Dib dib;
        ASSERT_EQ(webpPlugin().decode(makeWebp(image, {.lossless = false, .quality = 100}), dib),
                  SPI_SUCCESS);
        EXPECT_LT(meanChannelDifference(shownPicture(dib), overWhite(image)), 3.0);
    }
}

// An animation shows its first frame at its place; the canvas around it is white, whatever the
// later frames hold.
TEST(WebpPlugin, AnimationShowsItsFirstFrameOnAWhiteCanvas) {
    const QImage first = colourPattern(10, 6);
    const QImage second(30, 20, QImage::Format_RGB32);
    const QImage translucent = alphaPattern(8, 8);
    for (const QImage& image : {first, translucent}) {
        SCOPED_TRACE(image.hasAlphaChannel() ? "alpha" : "opaque");
        QImage expected(30, 20, QImage::Format_RGB32);
        expected.fill(Qt::white);
        const QImage shown = overWhite(image);
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                expected.setPixel(x + 4, y + 6, shown.pixel(x, y));

        const QByteArray animation =
            makeWebpAnimation({{.image = image, .left = 4, .top = 6}, {.image = second}}, 30, 20);
        PictureDescription description;
        ASSERT_EQ(webpPlugin().describe(animation, description), SPI_SUCCESS);
        EXPECT_EQ(description.info.width, 30);
        EXPECT_EQ(description.info.height, 20);
        Dib dib;
        ASSERT_EQ(webpPlugin().decode(animation, dib), SPI_SUCCESS);
        EXPECT_TRUE(showsPicture(dib, expected));
    }
}

// Writes value little-endian into bytes at a position, in the given number of bytes (4 for
// chunk sizes, 3 for the canvas size).
void putLittleEndian(QByteArray& bytes, qsizetype at, uint32_t value, int count = 4) {
    for (int i = 0; i < count; ++i)
        bytes[at + i] = char(value >> (8 * i));
}

// Success when result is SPI_BROKEN_DATA, or SPI_SUCCESS with the very picture the intact file
// shows: an animation whose first frame is whole shows it, whatever became of the later ones.
::testing::AssertionResult brokenOrIntact(int32_t result, const Dib& dib, const QImage& intact) {
    if (result == SPI_BROKEN_DATA)
        return ::testing::AssertionSuccess();
    if (result != SPI_SUCCESS)
        return ::testing::AssertionFailure() << "result " << result;
    return showsPicture(dib, intact);
}

// Broken files give a result code: truncated anywhere, and chunk sizes that claim more or less
// than there is. Still pictures cut short are broken data; an animation may still show its
// first frame when that is whole, and then exactly as the intact file does.
TEST(WebpPlugin, BrokenFilesAreBrokenData) {
    const QByteArray lossy = makeWebp(colourPattern(40, 30), {.lossless = false});
    const QByteArray lossless = makeWebp(alphaPattern(40, 30));
    const QByteArray alphaLossy = makeWebp(alphaPattern(40, 30), {.lossless = false});
    const QByteArray animation = makeWebpAnimation(
        {{.image = colourPattern(20, 10), .left = 2, .top = 2}, {.image = colourPattern(30, 20)}},
        30, 20);
    for (const QByteArray& file : {lossy, lossless, alphaLossy, animation}) {
        SCOPED_TRACE(file.left(16).toHex().toStdString());
        Dib dib;
        ASSERT_EQ(webpPlugin().decode(file, dib), SPI_SUCCESS);
        const QImage intact = shownPicture(dib);
        for (const qsizetype length :
             {qsizetype(20), qsizetype(40), file.size() / 2, file.size() - 1}) {
            SCOPED_TRACE(length);
            EXPECT_TRUE(brokenOrIntact(webpPlugin().decode(file.left(length), dib), dib, intact));
        }
        // The RIFF size claims more than the file holds, or less than its first chunk.
        for (const uint32_t riffSize : {uint32_t(file.size()) * 2, 0xFFFFFFF0u, 12u}) {
            SCOPED_TRACE(riffSize);
            QByteArray lying = file;
            putLittleEndian(lying, 4, riffSize);
            EXPECT_TRUE(brokenOrIntact(webpPlugin().decode(lying, dib), dib, intact));
        }
        // The first chunk's size claims more than the file holds, or nothing.
        for (const uint32_t chunkSize : {uint32_t(file.size()), 0x7FFFFFF0u, 0u}) {
            SCOPED_TRACE(chunkSize);
            QByteArray lying = file;
            putLittleEndian(lying, 16, chunkSize);
            EXPECT_TRUE(brokenOrIntact(webpPlugin().decode(lying, dib), dib, intact));
        }
    }
}

// An animation canvas too large for a DIB of signed 32-bit size is described, and refused as
// too large before anything of its size is allocated.
TEST(WebpPlugin, CanvasBeyondTheSizeLimitIsTooLarge) {
    QByteArray animation = makeWebpAnimation({{.image = colourPattern(8, 8)}}, 16, 16);
    // VP8X: flags, 3 reserved bytes, then canvas width and height less one, 24 bits each.
    ASSERT_EQ(animation.mid(12, 4), "VP8X");
    putLittleEndian(animation, 24, 40000 - 1, 3);
    putLittleEndian(animation, 27, 20000 - 1, 3);
    PictureDescription description;
    ASSERT_EQ(webpPlugin().describe(animation, description), SPI_SUCCESS);
    EXPECT_EQ(description.info.width, 40000);
    EXPECT_EQ(description.info.height, 20000);
    Dib dib;
    EXPECT_EQ(webpPlugin().decode(animation, dib), SPI_NO_MEMORY);
}

} // namespace
