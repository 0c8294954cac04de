// Writes the seed pictures of the TIFF and GIF fuzz targets, small files of every kind the makers
// produce: make_tiffgif_corpus <folder>, giving <folder>/iftiff/ and <folder>/ifgif/.
// The checked-in corpus in tests/fuzz/corpus is made with it.
#include "tests/support/gifmaker.h"
#include "tests/support/testpatterns.h"
#include "tests/support/tiffmaker.h"

#include <QDir>
#include <QGuiApplication>

#include <tiffio.h>

#include <cstdio>
#include <exception>

using namespace testsupport;

namespace {

void makeTiffSeeds(const QDir& folder) {
    const QImage colour = colourPattern(8, 6);
    const QImage grey = greyPattern(10, 7);
    writeTiff(folder.filePath("rgb.tif"), {colour}, {.rowsPerStrip = 2});
    writeTiff(folder.filePath("rgb_lzw.tif"), {colour},
              {.compression = TiffCompression::Lzw, .rowsPerStrip = 3});
    writeTiff(folder.filePath("rgb_deflate_tiles.tif"), {colourPattern(17, 17)},
              {.compression = TiffCompression::Deflate, .tileSize = 16});
    writeTiff(folder.filePath("rgb_packbits_bigendian.tif"), {colour},
              {.compression = TiffCompression::PackBits, .bigEndian = true});
    writeTiff(folder.filePath("rgb_jpeg.tif"), {colourPattern(16, 8)},
              {.compression = TiffCompression::Jpeg, .rowsPerStrip = 8});
    writeTiff(folder.filePath("rgba.tif"), {colour.convertToFormat(QImage::Format_ARGB32)},
              {.pixels = TiffPixels::Rgba});
    writeTiff(folder.filePath("bigtiff.tif"), {colourPattern(4, 4)}, {.bigTiff = true});
    writeTiff(folder.filePath("palette8_lzw.tif"), {indexedPattern(9, 5, 40)},
              {.pixels = TiffPixels::Palette, .compression = TiffCompression::Lzw});
    writeTiff(folder.filePath("palette4_tiles.tif"), {indexedPattern(17, 3, 16)},
              {.pixels = TiffPixels::Palette, .paletteBits = 4, .tileSize = 16});
    writeTiff(folder.filePath("palette2.tif"), {indexedPattern(7, 3, 4)},
              {.pixels = TiffPixels::Palette, .paletteBits = 2});
    writeTiff(folder.filePath("palette1.tif"), {indexedPattern(11, 3, 2)},
              {.pixels = TiffPixels::Palette, .paletteBits = 1});
    writeTiff(folder.filePath("grey.tif"), {grey},
              {.pixels = TiffPixels::Grey, .compression = TiffCompression::Deflate});
    writeTiff(
        folder.filePath("grey_miniswhite_jpeg.tif"), {greyPattern(8, 8)},
        {.pixels = TiffPixels::Grey, .compression = TiffCompression::Jpeg, .minIsWhite = true});
    writeTiff(folder.filePath("bilevel.tif"), {grey}, {.pixels = TiffPixels::Bilevel});
    writeTiff(
        folder.filePath("bilevel_fax4.tif"), {greyPattern(30, 12)},
        {.pixels = TiffPixels::Bilevel, .compression = TiffCompression::Fax4, .minIsWhite = true});
    writeTiff(folder.filePath("multipage.tif"), {colourPattern(4, 3), greyPattern(3, 4)},
              {.compression = TiffCompression::Lzw});
    writeTiff(folder.filePath("resolution_description.tif"), {colourPattern(3, 3)},
              {.resolution = TiffResolution{300, 150, TiffResolutionUnit::Centimetre},
               .description = "seed"});

    // Pages read from their samples.
    const auto ramp = [](size_t i, int s) { return i * 37 + size_t(s) * 11; };
    writeSampleTiff(folder.filePath("grey12_lzw.tif"),
                    withValues(TiffSamples{.width = 7,
                                           .height = 3,
                                           .bitsPerSample = 12,
                                           .compression = TiffCompression::Lzw},
                               ramp));
    writeSampleTiff(folder.filePath("float_rgb_planes_range.tif"),
                    withValues(TiffSamples{.width = 4,
                                           .height = 3,
                                           .photometric = PHOTOMETRIC_RGB,
                                           .bitsPerSample = 32,
                                           .sampleFormat = SAMPLEFORMAT_IEEEFP,
                                           .samplesPerPixel = 3,
                                           .separatePlanes = true,
                                           .sampleRange = {{0.0, 50.0}}},
                               ramp));
    writeSampleTiff(
        folder.filePath("cmyk16_alpha_tiles.tif"),
        withValues(TiffSamples{.width = 5,
                               .height = 4,
                               .photometric = PHOTOMETRIC_SEPARATED,
                               .bitsPerSample = 16,
                               .samplesPerPixel = 5,
                               .extraSamples = {EXTRASAMPLE_UNASSALPHA},
                               .tileSize = 16},
                   [](size_t i, int s) { return (i * 4099 + size_t(s) * 977) % 65536; }));
    writeSampleTiff(folder.filePath("cielab8_whitepoint.tif"),
                    withValues(TiffSamples{.width = 4,
                                           .height = 2,
                                           .photometric = PHOTOMETRIC_CIELAB,
                                           .samplesPerPixel = 3,
                                           .whitePoint = {{0.3127f, 0.3290f}}},
                               [](size_t i, int s) { return int(i * 29) - s * 50; }));
    writeSampleTiff(
        folder.filePath("icclab16.tif"),
        withValues(TiffSamples{.width = 3,
                               .height = 3,
                               .photometric = PHOTOMETRIC_ICCLAB,
                               .bitsPerSample = 16,
                               .samplesPerPixel = 3},
                   [](size_t i, int s) { return (i * 7001 + size_t(s) * 20011) % 65536; }));
}

void makeGifSeeds(const QDir& folder) {
    const QImage picture = indexedPattern(8, 6, 16);
    writeGif(folder.filePath("gif87a.gif"), {GifFrame{.image = picture}}, {.gif89 = false});
    writeGif(folder.filePath("gif89a.gif"), {GifFrame{.image = picture}});
    writeGif(folder.filePath("local_table.gif"), {GifFrame{.image = picture, .localPalette = true}},
             {.globalPalette = false});
    writeGif(folder.filePath("interlaced.gif"), {GifFrame{.image = indexedPattern(5, 19, 8)}},
             {.interlaced = true});
    writeGif(folder.filePath("animated.gif"), {GifFrame{.image = picture, .delayCentiseconds = 20},
                                               GifFrame{.image = indexedPattern(4, 3, 16),
                                                        .left = 2,
                                                        .top = 1,
                                                        .localPalette = true,
                                                        .delayCentiseconds = 20}});
    writeGif(
        folder.filePath("transparent_positioned.gif"),
        {GifFrame{.image = indexedPattern(5, 4, 4), .left = 3, .top = 2, .transparentIndex = 1}},
        {.screenWidth = 10, .screenHeight = 8, .backgroundIndex = 2});
    writeGif(folder.filePath("aspect_comment.gif"), {GifFrame{.image = indexedPattern(3, 3, 2)}},
             {.aspectByte = 113, .comment = "seed"});
    writeGif(folder.filePath("colours256.gif"), {GifFrame{.image = indexedPattern(16, 16, 256)}});
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_tiffgif_corpus <corpus folder>\n");
        return 2;
    }
    try {
        const QDir root(QString::fromLocal8Bit(argv[1]));
        for (const char* name : {"iftiff", "ifgif"})
            if (!root.mkpath(QLatin1String(name)))
                throw std::runtime_error("cannot create the corpus folders");
        makeTiffSeeds(QDir(root.filePath(QStringLiteral("iftiff"))));
        makeGifSeeds(QDir(root.filePath(QStringLiteral("ifgif"))));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_tiffgif_corpus: %s\n", error.what());
        return 1;
    }
    return 0;
}
