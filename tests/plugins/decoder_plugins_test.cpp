// What every decoder plug-in must do, whatever its format: describe itself, refuse what is not
// its picture, report files it cannot read, read a picture only at the offset it is given,
// survive damaged bytes, and report progress and stop when asked. One table row a plug-in.
#include "tests/support/gifmaker.h"
#include "tests/support/heifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/magmaker.h"
#include "tests/support/picmaker.h"
#include "tests/support/pimaker.h"
#include "tests/support/pngmaker.h"
#include "tests/support/spitesting.h"
#include "tests/support/testpatterns.h"
#include "tests/support/tiffmaker.h"
#include "tests/support/webpmaker.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <tiffio.h>

#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace testsupport;

namespace {

struct PluginCase {
    const char* fileName;
    const char* aboutMentions; // the about text (number 1) names the plug-in
    const char* extensions;
    const char* formatName;
    bool hasPreview;
    bool decodesScaled; // exports GetPictureScaled
    // A small picture of the plug-in's format.
    QByteArray (*sample)();
    // Small pictures of each kind the plug-in has a separate path for, to damage byte by byte.
    std::vector<QByteArray> (*damageable)();
    // Beginnings of the plug-in's own format that are no picture.
    std::vector<QByteArray> nearMisses;
    // Pictures progressHeight rows tall, one for each way the plug-in reads rows.
    std::vector<QByteArray> (*tall)();
    int progressHeight;
};

void PrintTo(const PluginCase& plugin, std::ostream* out) {
    *out << plugin.fileName;
}

// A colour pattern with one translucent pixel, so that WebP stores its alpha.
QImage translucentPattern(int width, int height) {
    QImage image = colourPattern(width, height).convertToFormat(QImage::Format_ARGB32);
    image.setPixel(2, 3, qRgba(10, 20, 30, 100));
    return image;
}

const PluginCase kPlugins[] = {
    {
        .fileName = "ifjpeg.spi",
        .aboutMentions = "ifjpeg.spi",
        .extensions = "*.JPG;*.JPE;*.JPEG;*.J6I",
        .formatName = "JPEG",
        .hasPreview = true,
        .decodesScaled = true,
        .sample = [] { return makeJpeg(makeQuadrantPicture(48, 40).image); },
        .damageable =
            [] {
                const QImage image = makePhotoLikePicture(40, 24);
                JpegOptions withRestarts;
                withRestarts.restartInterval = 2;
                JpegOptions progressive;
                progressive.progressive = true;
                return std::vector<QByteArray>{makeJpeg(image, withRestarts),
                                               makeJpeg(image, progressive)};
            },
        .nearMisses = {QByteArray("\xFF\xD8", 2), QByteArray("GIF89a plus some more bytes")},
        .tall = [] { return std::vector<QByteArray>{makeJpeg(makePhotoLikePicture(64, 600))}; },
        .progressHeight = 600,
    },
    {
        .fileName = "iftiff.spi",
        .aboutMentions = "iftiff",
        .extensions = "*.TIF;*.TIFF",
        .formatName = "TIFF",
        .hasPreview = false,
        .decodesScaled = false,
        .sample =
            [] { return makeTiff({colourPattern(12, 9)}, {.compression = TiffCompression::Lzw}); },
        .damageable =
            [] {
                return std::vector<QByteArray>{
                    makeTiff({colourPattern(6, 5)},
                             {.compression = TiffCompression::Lzw, .rowsPerStrip = 2}),
                    makeTiff({indexedPattern(20, 18, 16)},
                             {.pixels = TiffPixels::Palette, .paletteBits = 4, .tileSize = 16}),
                    makeTiff({greyPattern(9, 4)},
                             {.pixels = TiffPixels::Bilevel, .bigEndian = true}),
                    // Pages read from their samples.
                    makeSampleTiff(
                        withValues(TiffSamples{.width = 5,
                                               .height = 3,
                                               .photometric = PHOTOMETRIC_CIELAB,
                                               .bitsPerSample = 16,
                                               .samplesPerPixel = 3,
                                               .compression = TiffCompression::Deflate,
                                               .tileSize = 16},
                                   [](size_t i, int s) { return int(997 * i) - 300 * s; })),
                    makeSampleTiff(withValues(TiffSamples{.width = 3,
                                                          .height = 2,
                                                          .photometric = PHOTOMETRIC_RGB,
                                                          .bitsPerSample = 32,
                                                          .sampleFormat = SAMPLEFORMAT_IEEEFP,
                                                          .samplesPerPixel = 4,
                                                          .extraSamples = {EXTRASAMPLE_ASSOCALPHA},
                                                          .separatePlanes = true},
                                              [](size_t i, int s) { return 0.1 * double(i + s); })),
                };
            },
        .nearMisses = {QByteArray("II*"), QByteArray("GIF89a\x01\x00\x01\x00", 10)},
        .tall =
            [] {
                return std::vector<QByteArray>{
                    makeTiff({colourPattern(40, 300)}, {.rowsPerStrip = 8}),
                    makeTiff({indexedPattern(40, 300, 256)}, {.pixels = TiffPixels::Palette}),
                    makeTiff({greyPattern(40, 300)}, {.pixels = TiffPixels::Grey, .tileSize = 32}),
                    // Floating point without its range: read twice.
                    makeSampleTiff(withValues(TiffSamples{.width = 40,
                                                          .height = 300,
                                                          .bitsPerSample = 32,
                                                          .sampleFormat = SAMPLEFORMAT_IEEEFP,
                                                          .rowsPerStrip = 8},
                                              [](size_t i, int) { return double(i % 97); })),
                    makeSampleTiff(
                        withValues(TiffSamples{.width = 40,
                                               .height = 300,
                                               .photometric = PHOTOMETRIC_SEPARATED,
                                               .bitsPerSample = 16,
                                               .samplesPerPixel = 4,
                                               .tileSize = 32},
                                   [](size_t i, int s) { return (i * 131 + s) % 65536; })),
                };
            },
        .progressHeight = 300,
    },
    {
        .fileName = "ifgif.spi",
        .aboutMentions = "ifgif",
        .extensions = "*.GIF",
        .formatName = "GIF",
        .hasPreview = false,
        .decodesScaled = false,
        .sample = [] { return makeGif({GifFrame{.image = indexedPattern(12, 9, 32)}}); },
        .damageable =
            [] {
                return std::vector<QByteArray>{
                    makeGif({GifFrame{.image = indexedPattern(7, 9, 16)}},
                            {.interlaced = true, .comment = "c"}),
                    makeGif({GifFrame{.image = indexedPattern(5, 4, 4),
                                      .left = 2,
                                      .localPalette = true,
                                      .transparentIndex = 1},
                             GifFrame{.image = indexedPattern(3, 3, 4)}},
                            {.screenWidth = 8, .screenHeight = 6, .backgroundIndex = 2}),
                };
            },
        .nearMisses = {QByteArray("GIF8"), QByteArray("GIF88a\0\0", 8)},
        .tall =
            [] {
                std::vector<QByteArray> pictures;
                for (const bool interlaced : {false, true})
                    pictures.push_back(makeGif({GifFrame{.image = indexedPattern(40, 200, 256)}},
                                               {.interlaced = interlaced}));
                return pictures;
            },
        .progressHeight = 200,
    },
    {
        .fileName = "ifmag.spi",
        .aboutMentions = "ifmag",
        .extensions = "*.MAG",
        .formatName = "MAG",
        .hasPreview = false,
        .decodesScaled = false,
        .sample = [] { return makeMagFile(indexedPattern(12, 9, 16)); },
        .damageable =
            [] {
                return std::vector<QByteArray>{
                    makeMagFile(indexedPattern(11, 5, 16), {.lines200 = true, .x0 = 3}),
                    makeMagFile(indexedPattern(9, 4, 256), {.colours256 = true, .comment = "c"}),
                };
            },
        .nearMisses = {QByteArray("MAKI0"), QByteArray("MAKI01A PC98 plus some more bytes")},
        .tall =
            [] {
                return std::vector<QByteArray>{
                    makeMagFile(indexedPattern(40, 300, 16)),
                    makeMagFile(indexedPattern(40, 300, 256), {.colours256 = true}),
                };
            },
        .progressHeight = 300,
    },
    {
        .fileName = "ifpi.spi",
        .aboutMentions = "ifpi",
        .extensions = "*.PI",
        .formatName = "PI",
        .hasPreview = false,
        .decodesScaled = false,
        .sample = [] { return makePiFile(indexedPattern(12, 9, 16)); },
        .damageable =
            [] {
                return std::vector<QByteArray>{
                    makePiFile(indexedPattern(7, 5, 16), {.aspectN = 2, .aspectM = 1}),
                    makePiFile(indexedPattern(6, 4, 256), {.planes = 8, .comment = "c"}),
                    makePiFile(indexedPattern(5, 4, 16), {.defaultPalette = true}),
                };
            },
        .nearMisses = {QByteArray("P"), QByteArray("PI\x1A\0\0\0\0\x04", 8)},
        .tall =
            [] {
                return std::vector<QByteArray>{
                    makePiFile(indexedPattern(40, 300, 16)),
                    makePiFile(indexedPattern(40, 300, 256), {.planes = 8}),
                };
            },
        .progressHeight = 300,
    },
    {
        .fileName = "ifpic.spi",
        .aboutMentions = "ifpic",
        .extensions = "*.PIC",
        .formatName = "PIC",
        .hasPreview = false,
        .decodesScaled = false,
        .sample = [] { return makePicFile(colourPattern(12, 9)); },
        .damageable =
            [] {
                return std::vector<QByteArray>{
                    makePicFile(colourPattern(7, 5), {.comment = "c"}),
                    makePicFile(indexedPattern(5, 4, 16), {.bits = 4}),
                    makePicFile(colourPattern(6, 4), {.machine = PicMachine::Generic,
                                                      .bits = 24,
                                                      .aspectHeight = 2,
                                                      .aspectWidth = 1}),
                    makePicHeader(5, 4, {}) +
                        PicStream().length(1).literal(1, 15).chain({0, 1, -2}).length(20).bytes(),
                };
            },
        .nearMisses = {QByteArray("PIC"), QByteArray("PIC\x1A\0\0\x01\0\x0F\0\x04\0\x04", 13)},
        .tall =
            [] {
                return std::vector<QByteArray>{
                    makePicFile(colourPattern(40, 300)),
                    makePicFile(indexedPattern(40, 300, 256), {.bits = 8}),
                };
            },
        .progressHeight = 300,
    },
    {
        .fileName = "ifwebp.spi",
        .aboutMentions = "ifwebp",
        .extensions = "*.WEBP",
        .formatName = "WEBP",
        .hasPreview = false,
        .decodesScaled = false,
        .sample = [] { return makeWebp(colourPattern(12, 9)); },
        .damageable =
            [] {
                const QImage translucent = translucentPattern(6, 5);
                return std::vector<QByteArray>{
                    makeWebp(colourPattern(7, 5), {.lossless = false}),
                    makeWebp(translucent),
                    makeWebp(translucent, {.lossless = false}),
                    makeWebpAnimation(
                        {{.image = translucent, .left = 2},
                         {.image = colourPattern(8, 6), .options = {.lossless = false}}},
                        8, 6),
                };
            },
        .nearMisses = {QByteArray("RIFF"), QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16)},
        .tall =
            [] {
                return std::vector<QByteArray>{
                    makeWebp(colourPattern(40, 300)),
                    makeWebp(colourPattern(40, 300), {.lossless = false}),
                    makeWebp(translucentPattern(40, 300), {.lossless = false}),
                    makeWebpAnimation({{.image = colourPattern(40, 296), .top = 4}}, 40, 300),
                };
            },
        .progressHeight = 300,
    },
    {
        .fileName = "ifpng.spi",
        .aboutMentions = "ifpng",
        .extensions = "*.PNG",
        .formatName = "PNG",
        .hasPreview = false,
        .decodesScaled = false,
        .sample = [] { return makePng(patternPngSpec(12, 9, 2, 8)); },
        .damageable =
            [] {
                PngSpec grey = patternPngSpec(7, 5, 0, 2);
                grey.interlaced = true;
                grey.transparent = std::vector<uint16_t>{1};
                grey.texts = {{"Comment", "c"}};
                PngSpec palette = patternPngSpec(5, 4, 3, 4);
                palette.palette[3] = qRgba(1, 2, 3, 100);
                palette.density = PngDensity{.x = 2835, .y = 2835};
                PngSpec alpha = patternPngSpec(5, 4, 6, 16);
                alpha.interlaced = true;
                return std::vector<QByteArray>{makePng(grey), makePng(palette), makePng(alpha),
                                               makePng(patternPngSpec(4, 3, 4, 8))};
            },
        .nearMisses = {QByteArray("\x89PNG\r\n\x1a\n", 8),
                       QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIDAT", 16) + QByteArray(17, '\0')},
        .tall =
            [] {
                PngSpec palette = patternPngSpec(40, 300, 3, 8);
                palette.interlaced = true;
                PngSpec alpha = patternPngSpec(40, 300, 6, 8);
                alpha.interlaced = true;
                return std::vector<QByteArray>{makePng(patternPngSpec(40, 300, 2, 8)),
                                               makePng(palette), makePng(alpha),
                                               makePng(patternPngSpec(40, 300, 4, 16))};
            },
        .progressHeight = 300,
    },
    {
        .fileName = "ifheif.spi",
        .aboutMentions = "ifheif",
        .extensions = "*.HEIC;*.HEIF;*.HIF",
        .formatName = "HEIF",
        .hasPreview = true,
        .decodesScaled = false,
        .sample = [] { return makeHeif(colourPattern(16, 12)); },
        // The picture and its alpha plane are coded apart: two streams to damage.
        .damageable = [] { return std::vector<QByteArray>{makeHeif(translucentPattern(8, 8))}; },
        .nearMisses = {QByteArray("\0\0\0\x18"
                                  "ftyp",
                                  8),
                       QByteArray("\0\0\0\x14"
                                  "ftypisom\0\0\0\0isom",
                                  20)},
        .tall = [] { return std::vector<QByteArray>{makeHeif(colourPattern(40, 300))}; },
        .progressHeight = 300,
    },
};

class EveryPlugin : public ::testing::TestWithParam<PluginCase> {
protected:
    // The decoding exports the plug-in implements.
    std::vector<Call> calls() const {
        std::vector<Call> calls{Call::Picture};
        if (GetParam().hasPreview)
            calls.push_back(Call::Preview);
        if (GetParam().decodesScaled)
            calls.push_back(Call::Scaled);
        return calls;
    }

    const SpiPlugin& plugin = testedPlugin(QString::fromLatin1(GetParam().fileName));
};

// Success when both DIBs show the same picture: size, depth, colour table, and every pixel's
// colour and (at 8 bits) index.
::testing::AssertionResult samePicture(const Dib& dib, const Dib& expected) {
    if (dib.width() != expected.width() || dib.height() != expected.height() ||
        dib.bitCount() != expected.bitCount() || dib.palette().size() != expected.palette().size())
        return ::testing::AssertionFailure()
               << dib.bitCount() << "-bit " << dib.width() << "x" << dib.height() << " with "
               << dib.palette().size() << " colours, expected " << expected.bitCount() << "-bit "
               << expected.width() << "x" << expected.height() << " with "
               << expected.palette().size();
    for (int i = 0; i < int(expected.palette().size()); ++i)
        if (dib.paletteColour(i) != expected.paletteColour(i))
            return ::testing::AssertionFailure() << "colour table differs at " << i;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (dib.colour(x, y) != expected.colour(x, y) ||
                (expected.bitCount() == 8 && dib.index(x, y) != expected.index(x, y)))
                return ::testing::AssertionFailure()
                       << "first difference at (" << x << ", " << y << ")";
    return ::testing::AssertionSuccess();
}

TEST_P(EveryPlugin, DescribesItselfAndHasGetPreviewAndGetPictureScaledWhereItHasThem) {
    EXPECT_EQ(plugin.pluginInfo(0), "00IN");
    EXPECT_NE(plugin.pluginInfo(1).find(GetParam().aboutMentions), std::string::npos)
        << plugin.pluginInfo(1);
    EXPECT_EQ(plugin.pluginInfo(2), GetParam().extensions);
    EXPECT_EQ(plugin.pluginInfo(3), GetParam().formatName);
    EXPECT_EQ(plugin.pluginInfo(4), "");
    EXPECT_EQ(plugin.pluginInfo(-1), "");
    EXPECT_EQ(plugin.pluginInfo(2, 4), std::string(GetParam().extensions, 3))
        << "cut to the buffer, NUL included";

    // The program looks GetPreview up in every plug-in; without a preview it says so.
    ASSERT_NE(plugin.getPreview, nullptr);
    Dib dib;
    EXPECT_EQ(plugin.decode(GetParam().sample(), dib, Call::Preview),
              GetParam().hasPreview ? SPI_SUCCESS : SPI_NOT_IMPLEMENTED);
    // GetPictureScaled is not part of the interface: a plug-in that cannot scale lacks it.
    EXPECT_EQ(plugin.getPictureScaled != nullptr, GetParam().decodesScaled);
}

TEST_P(EveryPlugin, RefusesWhatIsNotItsFormat) {
    std::vector<QByteArray> notPictures = {QByteArray(),
                                           QByteArray("Not a picture at all, just some text."),
                                           QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)};
    notPictures.insert(notPictures.end(), GetParam().nearMisses.begin(),
                       GetParam().nearMisses.end());
    for (const PluginCase& other : kPlugins)
        if (std::string_view(other.fileName) != GetParam().fileName)
            notPictures.push_back(other.sample());

    PictureDescription description;
    Dib dib;
    for (const QByteArray& bytes : notPictures) {
        SCOPED_TRACE(bytes.left(16).toHex().toStdString());
        EXPECT_EQ(plugin.describe(bytes, description), SPI_UNKNOWN_FORMAT);
        for (const Call call : calls())
            EXPECT_EQ(plugin.decode(bytes, dib, call), SPI_UNKNOWN_FORMAT);
    }

    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty"));
    ASSERT_TRUE(writeFile(empty, {}));
    EXPECT_EQ(plugin.describeFile(empty, 0, description), SPI_UNKNOWN_FORMAT);
    EXPECT_EQ(plugin.describeInput(nullptr, 0, SPI_INPUT_MEMORY, description), SPI_UNKNOWN_FORMAT);
    for (const Call call : calls()) {
        EXPECT_EQ(plugin.decodeFile(empty, 0, dib, call), SPI_UNKNOWN_FORMAT);
        EXPECT_EQ(plugin.decodeInput(nullptr, 0, SPI_INPUT_MEMORY, dib, call), SPI_UNKNOWN_FORMAT);
    }
    EXPECT_TRUE(dib.isEmpty());
}

TEST_P(EveryPlugin, FilesItCannotReadAreReadErrors) {
    QTemporaryDir dir;
    for (const QString& unreadable : {dir.filePath(QStringLiteral("missing")), dir.path()}) {
        SCOPED_TRACE(unreadable.toStdString());
        PictureDescription description;
        EXPECT_EQ(plugin.describeFile(unreadable, 0, description), SPI_READ_ERROR);
        for (const Call call : calls()) {
            Dib dib;
            EXPECT_EQ(plugin.decodeFile(unreadable, 0, dib, call), SPI_READ_ERROR);
        }
    }
}

TEST_P(EveryPlugin, ReadsAFileOnlyAtTheOffsetItIsGiven) {
    const QByteArray sample = GetParam().sample();
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    const QString wrapped = dir.filePath(QStringLiteral("wrapped"));
    ASSERT_TRUE(writeFile(plain, sample));
    ASSERT_TRUE(writeFile(wrapped, QByteArray(128, 'j') + sample));

    PictureDescription fromMemory, fromFile;
    ASSERT_EQ(plugin.describe(sample, fromMemory), SPI_SUCCESS);
    for (const auto& [path, offset] : {std::pair(plain, 0), std::pair(wrapped, 128)}) {
        SCOPED_TRACE(offset);
        ASSERT_EQ(plugin.describeFile(path, offset, fromFile), SPI_SUCCESS);
        EXPECT_EQ(fromFile.info.width, fromMemory.info.width);
        EXPECT_EQ(fromFile.info.height, fromMemory.info.height);
        EXPECT_EQ(fromFile.info.colorDepth, fromMemory.info.colorDepth);
        EXPECT_EQ(fromFile.text, fromMemory.text);
        for (const Call call : calls()) {
            Dib expected, dib;
            ASSERT_EQ(plugin.decode(sample, expected, call), SPI_SUCCESS);
            ASSERT_EQ(plugin.decodeFile(path, offset, dib, call), SPI_SUCCESS);
            EXPECT_TRUE(samePicture(dib, expected));
        }
    }

    const std::pair<QString, int32_t> wrongOffsets[] = {{wrapped, 0},
                                                        {wrapped, 64},
                                                        {wrapped, 127},
                                                        {wrapped, 129},
                                                        {plain, int32_t(sample.size()) + 1}};
    for (const auto& [path, offset] : wrongOffsets) {
        SCOPED_TRACE(offset);
        EXPECT_EQ(plugin.describeFile(path, offset, fromFile), SPI_UNKNOWN_FORMAT);
        for (const Call call : calls()) {
            Dib dib;
            EXPECT_EQ(plugin.decodeFile(path, offset, dib, call), SPI_UNKNOWN_FORMAT);
        }
    }
}

// Every byte of small files of each kind damaged in turn: each answer must be one of the
// interface's, and a picture that decodes must come with blocks of exactly its size.
TEST_P(EveryPlugin, SurvivesEveryDamagedByte) {
    for (const QByteArray& original : GetParam().damageable()) {
        for (qsizetype at = 0; at < original.size(); ++at) {
            const char byte = original[at];
            for (const char value :
                 {'\x00', '\xFF', char(byte ^ 0x80), char(byte ^ 0xFF), char(byte ^ 0x55)}) {
                QByteArray damaged = original;
                damaged[at] = value;
                SCOPED_TRACE(::testing::Message() << "byte " << at << " = " << int(uchar(value)));
                for (const Call call : calls()) {
                    Dib dib;
                    const int32_t result = plugin.decode(damaged, dib, call);
                    ASSERT_TRUE(result == SPI_SUCCESS || result == SPI_UNKNOWN_FORMAT ||
                                result == SPI_BROKEN_DATA || result == SPI_NO_MEMORY)
                        << result;
                    if (result == SPI_SUCCESS)
                        ASSERT_EQ(dib.bitsSize(), dib.stride() * size_t(dib.height()));
                    else
                        ASSERT_TRUE(dib.isEmpty());
                }
            }
        }
    }
}

struct ProgressLog {
    std::vector<std::pair<int32_t, int32_t>> calls{};
    int32_t lData = 0;
    int abortAtCall = -1;
};
ProgressLog progressLog;

int32_t recordProgress(int32_t done, int32_t total, int32_t lData) {
    progressLog.calls.emplace_back(done, total);
    progressLog.lData = lData;
    return int(progressLog.calls.size()) - 1 == progressLog.abortAtCall ? 1 : 0;
}

TEST_P(EveryPlugin, ReportsProgressAndStopsWhenAsked) {
    const int height = GetParam().progressHeight;
    for (const QByteArray& picture : GetParam().tall()) {
        progressLog = {};
        Dib dib;
        ASSERT_EQ(plugin.decode(picture, dib, Call::Picture, recordProgress, 4711), SPI_SUCCESS);
        EXPECT_EQ(progressLog.lData, 4711);
        ASSERT_GE(progressLog.calls.size(), size_t(height / 64)) << "a call every 64 rows";
        EXPECT_EQ(progressLog.calls.front(), std::pair(0, height));
        EXPECT_EQ(progressLog.calls.back(), std::pair(height, height));
        for (size_t i = 1; i < progressLog.calls.size(); ++i)
            EXPECT_GT(progressLog.calls[i].first, progressLog.calls[i - 1].first);

        for (const Call call : calls()) {
            for (const int abortAt : {0, 1, 2}) {
                progressLog = {.abortAtCall = abortAt};
                EXPECT_EQ(plugin.decode(picture, dib, call, recordProgress, 0), SPI_ABORTED);
                EXPECT_TRUE(dib.isEmpty());
                EXPECT_EQ(progressLog.calls.size(), size_t(abortAt) + 1) << "no call after the no";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllPlugins, EveryPlugin, ::testing::ValuesIn(kPlugins),
                         [](const ::testing::TestParamInfo<PluginCase>& info) {
                             return std::string(info.param.formatName);
                         });

} // namespace
