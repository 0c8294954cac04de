// ifgif.spi through its exports, loaded as the program loads it, on GIF files of known content.
#include "tests/support/gifmaker.h"
#include "tests/support/spitesting.h"
#include "tests/support/testpatterns.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

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

TEST(GifPlugin, DescribesItselfAndHasNoPreview) {
    const SpiPlugin& plugin = gifPlugin();
    EXPECT_EQ(plugin.pluginInfo(0), "00IN");
    EXPECT_FALSE(plugin.pluginInfo(1).empty());
    EXPECT_EQ(plugin.pluginInfo(2), "*.GIF");
    EXPECT_EQ(plugin.pluginInfo(3), "GIF");
    EXPECT_EQ(plugin.pluginInfo(4), "");
    ASSERT_NE(plugin.getPreview, nullptr);
    Dib dib;
    EXPECT_EQ(plugin.decode(gifOf(indexedPattern(4, 4, 4)), dib, Call::Preview),
              SPI_NOT_IMPLEMENTED);
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

TEST(GifPlugin, FirstFrameIsDrawnAtItsPositionOverTheBackground) {
    const QImage frame = indexedPattern(10, 8, 16);
    const QByteArray gif = makeGif({GifFrame{.image = frame, .left = 5, .top = 4}},
                                   {.screenWidth = 30, .screenHeight = 20, .backgroundIndex = 3});
    Dib dib;
    ASSERT_EQ(gifPlugin().decode(gif, dib), SPI_SUCCESS);
    ASSERT_EQ(dib.width(), 30);
    ASSERT_EQ(dib.height(), 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool inFrame = x >= 5 && x < 15 && y >= 4 && y < 12;
            ASSERT_EQ(dib.index(x, y), inFrame ? frame.pixelIndex(x - 5, y - 4) : 3)
                << x << ", " << y;
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
    EXPECT_EQ(dib.index(24, 15), 0);
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

TEST(GifPlugin, PictureMustStartExactlyAtTheOffset) {
    QTemporaryDir dir;
    const QImage picture = indexedPattern(12, 9, 32);
    const QByteArray gif = gifOf(picture);
    const QString path = dir.filePath("wrapped.gif");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(128, 'j') + gif);
    file.close();
    const SpiPlugin& plugin = gifPlugin();

    PictureDescription description;
    EXPECT_EQ(plugin.describeFile(path, 0, description), SPI_UNKNOWN_FORMAT);
    EXPECT_EQ(plugin.describeFile(path, 128, description), SPI_SUCCESS);
    EXPECT_EQ(description.info.width, 12);
    Dib dib;
    EXPECT_EQ(plugin.decodeFile(path, 0, dib), SPI_UNKNOWN_FORMAT);
    EXPECT_EQ(plugin.decodeFile(path, 129, dib), SPI_UNKNOWN_FORMAT);
    ASSERT_EQ(plugin.decodeFile(path, 128, dib), SPI_SUCCESS);
    EXPECT_TRUE(holdsIndices(dib, picture));
    EXPECT_EQ(plugin.decodeFile(dir.filePath("absent.gif"), 0, dib), SPI_READ_ERROR);
    EXPECT_EQ(plugin.describeFile(dir.filePath("absent.gif"), 0, description), SPI_READ_ERROR);
}

TEST(GifPlugin, RefusesWhatIsNotGif) {
    for (const QByteArray& bytes : {QByteArray(), QByteArray("GIF8"), QByteArray("GIF88a\0\0", 8),
                                    QByteArray("Not a picture at all, just some text.")}) {
        SCOPED_TRACE(bytes.toStdString());
        PictureDescription description;
        Dib dib;
        EXPECT_EQ(gifPlugin().describe(bytes, description), SPI_UNKNOWN_FORMAT);
        EXPECT_EQ(gifPlugin().decode(bytes, dib), SPI_UNKNOWN_FORMAT);
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

TEST(GifPlugin, SurvivesEveryDamagedByte) {
    const std::vector<QByteArray> files = {
        gifOf(indexedPattern(7, 9, 16), {.interlaced = true, .comment = "c"}),
        makeGif({GifFrame{.image = indexedPattern(5, 4, 4),
                          .left = 2,
                          .localPalette = true,
                          .transparentIndex = 1},
                 GifFrame{.image = indexedPattern(3, 3, 4)}},
                {.screenWidth = 8, .screenHeight = 6, .backgroundIndex = 2}),
    };
    for (const QByteArray& original : files) {
        for (qsizetype i = 0; i < original.size(); ++i) {
            for (const char damage : {char(0xff), char(0x00), char(0x80)}) {
                QByteArray damaged = original;
                damaged[i] = char(damaged[i] ^ damage);
                Dib dib;
                const int32_t result = gifPlugin().decode(damaged, dib);
                EXPECT_TRUE(result == SPI_SUCCESS || result == SPI_UNKNOWN_FORMAT ||
                            result == SPI_BROKEN_DATA || result == SPI_NO_MEMORY)
                    << "byte " << i << " gave " << result;
            }
        }
    }
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

struct ProgressLog {
    std::vector<std::pair<int32_t, int32_t>> calls{};
    int32_t lData = 0;
    size_t abortAtCall = SIZE_MAX;
};

ProgressLog* progressLog = nullptr;

int32_t recordProgress(int32_t done, int32_t total, int32_t lData) {
    progressLog->calls.emplace_back(done, total);
    progressLog->lData = lData;
    return progressLog->calls.size() > progressLog->abortAtCall ? 1 : 0;
}

TEST(GifPlugin, ReportsProgressAndStopsWhenAsked) {
    for (const bool interlaced : {false, true}) {
        const QByteArray gif = gifOf(indexedPattern(40, 200, 256), {.interlaced = interlaced});
        ProgressLog log;
        progressLog = &log;
        Dib dib;
        ASSERT_EQ(gifPlugin().decode(gif, dib, Call::Picture, recordProgress, 5), SPI_SUCCESS);
        ASSERT_GE(log.calls.size(), 3u);
        EXPECT_EQ(log.calls.front(), std::make_pair(0, 200));
        EXPECT_EQ(log.calls.back(), std::make_pair(200, 200));
        EXPECT_TRUE(std::is_sorted(log.calls.begin(), log.calls.end()));
        EXPECT_EQ(log.lData, 5);

        ProgressLog stopping;
        stopping.abortAtCall = 1;
        progressLog = &stopping;
        EXPECT_EQ(gifPlugin().decode(gif, dib, Call::Picture, recordProgress, 0), SPI_ABORTED);
        EXPECT_EQ(stopping.calls.size(), 2u);
    }
    progressLog = nullptr;
}

} // namespace
