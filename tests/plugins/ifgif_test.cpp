// ifgif.spi through its exports, loaded as the program loads it, on GIF files of known content.
#include "tests/support/gifmaker.h"
#include "tests/support/spitesting.h"
#include "tests/support/testpatterns.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <vector>

using namespace testsupport;

namespace {

const SpiPlugin& gifPlugin() {
    return testedPlugin(QStringLiteral("ifgif.spi"));
}

QByteArray gifOf(const QImage& image, const GifOptions& options = {}) {
    return makeGif({GifFrame{.image = image}}, options);
}

void setU16(QByteArray& bytes, qsizetype at, uint16_t value) {
    bytes[at] = char(value & 0xff);
    bytes[at + 1] = char(value >> 8);
}

TEST(GifPlugin, RecognisesBothVersionsOnly) {
    const SpiPlugin& plugin = gifPlugin();
    EXPECT_TRUE(plugin.supports(gifOf(indexedPattern(4, 4, 4), {.gif89 = false})));
    EXPECT_TRUE(plugin.supports(gifOf(indexedPattern(4, 4, 4), {.gif89 = true})));
    EXPECT_FALSE(plugin.supports("GIF88a"));
    EXPECT_FALSE(plugin.supports(QByteArray("II*\0", 4)));
    EXPECT_FALSE(plugin.supports(QByteArray(16, '\0')));
}

// Both versions, global or local colour table: the indices and colours come across unchanged,
// in a 256-entry table.
class GifPalettes : public ::testing::TestWithParam<std::tuple<bool, bool>> {};

TEST_P(GifPalettes, KeepIndicesAndColourTable) {
    const auto [gif89, local] = GetParam();
    const QImage picture = indexedPattern(23, 17, 200);
    const QByteArray gif = makeGif({GifFrame{.image = picture, .localPalette = local}},
                                   {.gif89 = gif89, .globalPalette = !local});
    Dib dib;
    ASSERT_EQ(gifPlugin().decode(gif, dib), SPI_SUCCESS);
    EXPECT_EQ(dib.header().biSize, 40u);
    EXPECT_EQ(dib.bitCount(), 8);
    EXPECT_EQ(dib.header().biSizeImage, 24u * 17);
    EXPECT_EQ(dib.palette().size(), 256u);
    EXPECT_TRUE(holdsIndices(dib, picture));
    EXPECT_TRUE(showsPicture(dib, picture));
}

INSTANTIATE_TEST_SUITE_P(VersionsAndTables, GifPalettes,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

TEST(GifPlugin, LocalTableWinsOverGlobal) {
    const QImage picture = indexedPattern(8, 8, 16);
    QList<QRgb> other(16, qRgb(1, 2, 3));
    const QByteArray gif =
        makeGif({GifFrame{.image = picture, .localPalette = true}}, {.globalColours = other});
    Dib dib;
    ASSERT_EQ(gifPlugin().decode(gif, dib), SPI_SUCCESS);
    EXPECT_TRUE(showsPicture(dib, picture));
}

TEST(GifPlugin, InterlacedRowsComeBackInOrder) {
    for (const int height : {1, 5, 8, 21, 64}) {
        SCOPED_TRACE(height);
        const QImage picture = indexedPattern(11, height, 64);
        Dib dib;
        ASSERT_EQ(gifPlugin().decode(gifOf(picture, {.interlaced = true}), dib), SPI_SUCCESS);
        EXPECT_TRUE(holdsIndices(dib, picture));
    }
}

TEST(GifPlugin, AnimationGivesItsFirstFrame) {
    const QImage first = indexedPattern(16, 12, 32);
    QImage second = indexedPattern(16, 12, 32).mirrored(true, false);
    const QByteArray gif = makeGif({GifFrame{.image = first, .delayCentiseconds = 10},
                                    GifFrame{.image = second, .delayCentiseconds = 10}});
    Dib dib;
    ASSERT_EQ(gifPlugin().decode(gif, dib), SPI_SUCCESS);
    EXPECT_TRUE(holdsIndices(dib, first));
}

constexpr QRgb White = qRgb(255, 255, 255);

// The 30 × 20 screen around a frame at (5, 4): the frame's colours, white everywhere else
// (the background colour index does not count).
void expectFrameOnWhiteScreen(const Dib& dib, const QImage& frame) {
    ASSERT_EQ(dib.width(), 30);
    ASSERT_EQ(dib.height(), 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool inFrame =
                x >= 5 && x < 5 + frame.width() && y >= 4 && y < 4 + frame.height();
            ASSERT_EQ(dib.colour(x, y), inFrame ? frame.pixel(x - 5, y - 4) : White)
                << x << ", " << y;
        }
}

TEST(GifPlugin, FirstFrameIsDrawnAtItsPositionOnAWhiteScreen) {
    const QImage frame = indexedPattern(10, 8, 16);
    const QByteArray gif = makeGif({GifFrame{.image = frame, .left = 5, .top = 4}},
                                   {.screenWidth = 30, .screenHeight = 20, .backgroundIndex = 3});
    Dib dib;
    ASSERT_EQ(gifPlugin().decode(gif, dib), SPI_SUCCESS);
    EXPECT_EQ(dib.bitCount(), 8);
    expectFrameOnWhiteScreen(dib, frame);
    // The frame keeps its indices; an index it does not use paints the rest.
    EXPECT_EQ(dib.index(5, 4), frame.pixelIndex(0, 0));
    EXPECT_EQ(dib.index(0, 0), 255);
}

TEST(GifPlugin, TheScreenAroundTheFrameTakesAnIndexThatShowsWhite) {
    const auto decodeOnScreen = [](const GifFrame& frame, Dib& dib) {
        GifFrame placed = frame;
        placed.left = 5;
        placed.top = 4;
        ASSERT_EQ(
            gifPlugin().decode(makeGif({placed}, {.screenWidth = 30, .screenHeight = 20}), dib),
            SPI_SUCCESS);
    };
    {
        SCOPED_TRACE("the transparent index");
        const QImage frame = indexedPattern(10, 8, 16);
        Dib dib;
        decodeOnScreen({.image = frame, .transparentIndex = 5}, dib);
        EXPECT_EQ(dib.index(0, 0), 5);
        EXPECT_EQ(dib.index(29, 19), 5);
    }
    {
        SCOPED_TRACE("an entry that is white");
        QImage frame = indexedPattern(10, 8, 16);
        frame.setColor(7, White);
        Dib dib;
        decodeOnScreen({.image = frame}, dib);
        EXPECT_EQ(dib.index(0, 0), 7);
        expectFrameOnWhiteScreen(dib, frame);
    }
    // A 16 × 16 frame whose every pixel has an index of its own.
    QImage full(16, 16, QImage::Format_Indexed8);
    full.setColorTable(indexedPattern(1, 1, 256).colorTable());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            full.setPixel(x, y, uint(16 * y + x));
    {
        SCOPED_TRACE("every index used, one of them white");
        full.setColor(3, White);
        Dib dib;
        decodeOnScreen({.image = full}, dib);
        EXPECT_EQ(dib.bitCount(), 8);
        EXPECT_EQ(dib.index(0, 0), 3);
        expectFrameOnWhiteScreen(dib, full);
    }
    {
        SCOPED_TRACE("every index used, none white");
        full.setColor(3, qRgb(1, 2, 3));
        Dib dib;
        decodeOnScreen({.image = full}, dib);
        EXPECT_EQ(dib.bitCount(), 24);
        expectFrameOnWhiteScreen(dib, full);
    }
}

TEST(GifPlugin, FrameReachingPastTheScreenIsClipped) {
    const QImage frame = indexedPattern(10, 8, 16);
    const QByteArray gif = makeGif({GifFrame{.image = frame, .left = 25, .top = 15}},
                                   {.screenWidth = 30, .screenHeight = 20});
    Dib dib;
    ASSERT_EQ(gifPlugin().decode(gif, dib), SPI_SUCCESS);
    EXPECT_EQ(dib.index(29, 19), frame.pixelIndex(4, 4));
    EXPECT_EQ(dib.index(25, 15), frame.pixelIndex(0, 0));
    EXPECT_EQ(dib.colour(24, 15), White);

    // Wholly beside the screen: nothing of it shows.
    Dib beside;
    ASSERT_EQ(gifPlugin().decode(makeGif({GifFrame{.image = frame, .left = 40}},
                                         {.screenWidth = 30, .screenHeight = 20}),
                                 beside),
              SPI_SUCCESS);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(beside.colour(x, y), White) << x << ", " << y;
}

TEST(GifPlugin, EmptyScreenTakesTheFrameSize) {
    const QImage frame = indexedPattern(9, 7, 8);
    QByteArray gif = makeGif({GifFrame{.image = frame, .left = 2, .top = 3}},
                             {.screenWidth = 20, .screenHeight = 20});
    setU16(gif, 6, 0);
    setU16(gif, 8, 0);
    Dib dib;
    ASSERT_EQ(gifPlugin().decode(gif, dib), SPI_SUCCESS);
    EXPECT_TRUE(holdsIndices(dib, frame));
}

TEST(GifPlugin, TransparentIndexStaysAndShowsWhite) {
    const QImage picture = indexedPattern(8, 8, 16);
    const QByteArray gif = makeGif({GifFrame{.image = picture, .transparentIndex = 5}});
    Dib dib;
    ASSERT_EQ(gifPlugin().decode(gif, dib), SPI_SUCCESS);
    EXPECT_TRUE(holdsIndices(dib, picture));
    EXPECT_EQ(dib.paletteColour(5), qRgb(255, 255, 255));
    EXPECT_EQ(dib.paletteColour(4), picture.color(4));
}

TEST(GifPlugin, ReportsScreenAspectDepthAndComment) {
    struct Case {
        uint8_t aspect;
        uint16_t x, y;
    };
    for (const Case& c : {Case{0, 1, 1}, Case{49, 64, 64}, Case{113, 64, 128}}) {
        SCOPED_TRACE(int(c.aspect));
        const QByteArray gif = makeGif({GifFrame{.image = indexedPattern(6, 4, 16), .left = 1}},
                                       {.screenWidth = 12,
                                        .screenHeight = 5,
                                        .aspectByte = c.aspect,
                                        .comment = "Summer 1999"});
        PictureDescription description;
        ASSERT_EQ(gifPlugin().describe(gif, description), SPI_SUCCESS);
        EXPECT_EQ(description.info.left, 0);
        EXPECT_EQ(description.info.top, 0);
        EXPECT_EQ(description.info.width, 12);
        EXPECT_EQ(description.info.height, 5);
        EXPECT_EQ(description.info.x_density, c.x);
        EXPECT_EQ(description.info.y_density, c.y);
        EXPECT_EQ(description.info.colorDepth, 4);
        EXPECT_EQ(description.text, "Summer 1999");
    }
}

TEST(GifPlugin, TruncatedFilesAreBroken) {
    // Layout: 13-byte header and screen, 48-byte global table, 10-byte image descriptor at 61,
    // then the image data; the trailer alone is not needed.
    const QByteArray gif = gifOf(indexedPattern(16, 16, 16));
    for (const qsizetype cut :
         {qsizetype(6), qsizetype(12), qsizetype(13), qsizetype(40), qsizetype(61), qsizetype(66),
          qsizetype(72), gif.size() / 2, gif.size() - 3}) {
        SCOPED_TRACE(cut);
        Dib dib;
        EXPECT_EQ(gifPlugin().decode(gif.left(cut), dib), SPI_BROKEN_DATA);
    }
    Dib dib;
    EXPECT_EQ(gifPlugin().decode(gif.left(gif.size() - 1), dib), SPI_SUCCESS);
}

TEST(GifPlugin, HostileSizesAreRefusedQuickly) {
    struct Hostile {
        const char* name;
        uint16_t screenWidth, screenHeight, frameWidth, frameHeight;
        int32_t expected;
    };
    // The image descriptor's sizes sit at 61 + 5 in a file with a 16-entry global table.
    for (const Hostile& c :
         {Hostile{"screen", 65535, 65535, 16, 16, SPI_NO_MEMORY},
          Hostile{"screen and frame", 65535, 65535, 65535, 65535, SPI_NO_MEMORY},
          Hostile{"frame beyond its data", 0, 0, 40000, 40000, SPI_BROKEN_DATA}}) {
        SCOPED_TRACE(c.name);
        QByteArray gif = gifOf(indexedPattern(16, 16, 16));
        setU16(gif, 6, c.screenWidth);
        setU16(gif, 8, c.screenHeight);
        setU16(gif, 66, c.frameWidth);
        setU16(gif, 68, c.frameHeight);
        QElapsedTimer timer;
        timer.start();
        Dib dib;
        EXPECT_EQ(gifPlugin().decode(gif, dib), c.expected);
        EXPECT_LT(timer.elapsed(), 1000);
    }
}

} // namespace
