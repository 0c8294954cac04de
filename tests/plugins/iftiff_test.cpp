// iftiff.spi through its exports, loaded as the program loads it, on TIFF files of known content.
#include "tests/support/spitesting.h"
#include "tests/support/testpatterns.h"
#include "tests/support/tiffmaker.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <tiffio.h>

#include <cstdlib>
#include <vector>

using namespace testsupport;

namespace {

const SpiPlugin& tiffPlugin() {
    return testedPlugin(QStringLiteral("iftiff.spi"));
}

TEST(TiffPlugin, RecognisesBothByteOrdersAndBigTiffOnly) {
    const SpiPlugin& plugin = tiffPlugin();
    const QImage picture = colourPattern(4, 4);
    EXPECT_TRUE(plugin.supports(makeTiff({picture})));
    EXPECT_TRUE(plugin.supports(makeTiff({picture}, {.bigEndian = true})));
    EXPECT_TRUE(plugin.supports(makeTiff({picture}, {.bigTiff = true})));
    EXPECT_FALSE(plugin.supports("GIF89a"));
    EXPECT_FALSE(plugin.supports(QByteArray("II*\x01", 4)));
    EXPECT_FALSE(plugin.supports(QByteArray(16, '\0')));
}

// Colour pages of every layout decode to 24-bit bottom-up B, G, R rows padded to 4 bytes.
struct ColourLayout {
    const char* name;
    TiffOptions options;
};

class TiffColourLayouts : public ::testing::TestWithParam<ColourLayout> {};

TEST_P(TiffColourLayouts, DecodeToTheSamePixels) {
    const QImage picture = colourPattern(37, 23); // 111-byte rows, padded to 112
    Dib dib;
    ASSERT_EQ(tiffPlugin().decode(makeTiff({picture}, GetParam().options), dib), SPI_SUCCESS);
    EXPECT_EQ(dib.header().biSize, 40u);
    EXPECT_EQ(dib.header().biPlanes, 1);
    EXPECT_EQ(dib.bitCount(), 24);
    EXPECT_EQ(dib.header().biCompression, 0u);
    EXPECT_EQ(dib.header().biSizeImage, 112u * 23);
    EXPECT_TRUE(dib.palette().empty());
    EXPECT_TRUE(showsPicture(dib, picture));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffColourLayouts,
    ::testing::Values(
        ColourLayout{"OneRowStrips", {.rowsPerStrip = 1}},
        ColourLayout{"LzwStrips", {.compression = TiffCompression::Lzw, .rowsPerStrip = 5}},
        ColourLayout{"DeflateOneStrip", {.compression = TiffCompression::Deflate}},
        ColourLayout{"PackBitsStrips",
                     {.compression = TiffCompression::PackBits, .rowsPerStrip = 7}},
        ColourLayout{"Tiles", {.tileSize = 16}},
        ColourLayout{"LzwTiles", {.compression = TiffCompression::Lzw, .tileSize = 16}},
        ColourLayout{"DeflateTiles", {.compression = TiffCompression::Deflate, .tileSize = 32}},
        ColourLayout{"BigEndianLzw",
                     {.compression = TiffCompression::Lzw, .rowsPerStrip = 3, .bigEndian = true}},
        ColourLayout{"BigTiffTiles",
                     {.compression = TiffCompression::Deflate, .tileSize = 16, .bigTiff = true}}),
    [](const auto& info) { return std::string(info.param.name); });

// Palette pages keep their indices and colour table, whatever their bits per pixel.
class TiffPaletteDepths : public ::testing::TestWithParam<std::tuple<int, uint32_t>> {};

TEST_P(TiffPaletteDepths, KeepIndicesAndColourTable) {
    const auto [bits, tileSize] = GetParam();
    const QImage picture = indexedPattern(29, 19, bits == 8 ? 200 : 1 << bits);
    Dib dib;
    ASSERT_EQ(tiffPlugin().decode(makeTiff({picture}, {.pixels = TiffPixels::Palette,
                                                       .compression = TiffCompression::Lzw,
                                                       .paletteBits = bits,
                                                       .tileSize = tileSize}),
                                  dib),
              SPI_SUCCESS);
    ASSERT_EQ(dib.palette().size(), size_t(1) << bits);
    EXPECT_EQ(dib.header().biClrUsed, 1u << bits);
    EXPECT_TRUE(holdsIndices(dib, picture));
    EXPECT_TRUE(showsPicture(dib, picture)); // the colour table came across unchanged
}

INSTANTIATE_TEST_SUITE_P(Depths, TiffPaletteDepths,
                         ::testing::Combine(::testing::Values(1, 2, 4, 8),
                                            ::testing::Values(0u, 16u)));

TEST(TiffPlugin, GreyscaleKeepsLevelsAsIndicesOfAGreyTable) {
    const QImage picture = greyPattern(21, 9);
    for (const bool minIsWhite : {false, true}) {
        SCOPED_TRACE(minIsWhite ? "min-is-white" : "min-is-black");
        Dib dib;
        ASSERT_EQ(
            tiffPlugin().decode(
                makeTiff({picture}, {.pixels = TiffPixels::Grey, .minIsWhite = minIsWhite}), dib),
            SPI_SUCCESS);
        EXPECT_EQ(dib.bitCount(), 8);
        EXPECT_EQ(dib.palette().size(), 256u);
        EXPECT_TRUE(showsPicture(dib, picture));
    }
    Dib tiled;
    ASSERT_EQ(tiffPlugin().decode(makeTiff({picture}, {.pixels = TiffPixels::Grey, .tileSize = 16}),
                                  tiled),
              SPI_SUCCESS);
    EXPECT_TRUE(showsPicture(tiled, picture));
}

TEST(TiffPlugin, BilevelBecomesTwoEntryPalette) {
    QImage picture(13, 5, QImage::Format_Grayscale8); // rows end inside a byte
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, (x * x + y) % 3 == 0 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    for (const auto& [compression, minIsWhite] :
         {std::pair{TiffCompression::Lzw, false}, std::pair{TiffCompression::Lzw, true},
          std::pair{TiffCompression::Fax4, true}}) {
        SCOPED_TRACE(minIsWhite ? "min-is-white" : "min-is-black");
        Dib dib;
        ASSERT_EQ(tiffPlugin().decode(makeTiff({picture}, {.pixels = TiffPixels::Bilevel,
                                                           .compression = compression,
                                                           .minIsWhite = minIsWhite}),
                                      dib),
                  SPI_SUCCESS);
        EXPECT_EQ(dib.bitCount(), 8);
        EXPECT_EQ(dib.palette().size(), 2u);
        EXPECT_TRUE(showsPicture(dib, picture));
    }
}

// JPEG is lossy: a smooth picture must come back close to the original, and grey stays grey.
TEST(TiffPlugin, JpegPagesDecodeCloseToTheOriginal) {
    QImage picture(48, 40, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 5, y * 6, 200 - x * 2));
    for (const TiffOptions& options :
         {TiffOptions{.compression = TiffCompression::Jpeg, .rowsPerStrip = 16},
          TiffOptions{.compression = TiffCompression::Jpeg, .tileSize = 16},
          TiffOptions{.pixels = TiffPixels::Grey, .compression = TiffCompression::Jpeg}}) {
        const QImage expected = options.pixels == TiffPixels::Grey
                                    ? picture.convertToFormat(QImage::Format_Grayscale8)
                                    : picture;
        Dib dib;
        ASSERT_EQ(tiffPlugin().decode(makeTiff({picture}, options), dib), SPI_SUCCESS);
        ASSERT_EQ(dib.bitCount(), options.pixels == TiffPixels::Grey ? 8 : 24);
        double error = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb got = dib.colour(x, y);
                const QRgb want = expected.pixel(x, y);
                error += std::abs(qRed(got) - qRed(want)) + std::abs(qGreen(got) - qGreen(want)) +
                         std::abs(qBlue(got) - qBlue(want));
            }
        EXPECT_LT(error / (3.0 * picture.width() * picture.height()), 4.0);
    }
}

TEST(TiffPlugin, AlphaIsCompositedOverWhite) {
    QImage picture(3, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(200, 10, 60, 0));
    picture.setPixel(1, 0, qRgba(200, 10, 60, 255));
    picture.setPixel(2, 0, qRgba(200, 10, 60, 102));
    Dib dib;
    ASSERT_EQ(tiffPlugin().decode(makeTiff({picture}, {.pixels = TiffPixels::Rgba}), dib),
              SPI_SUCCESS);
    ASSERT_EQ(dib.bitCount(), 24);
    EXPECT_EQ(dib.colour(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(dib.colour(1, 0), qRgb(200, 10, 60));
    // 40 % colour over 60 % white.
    const QColor blended = QColor::fromRgb(dib.colour(2, 0));
    EXPECT_NEAR(blended.red(), 233, 1);
    EXPECT_NEAR(blended.green(), 157, 1);
    EXPECT_NEAR(blended.blue(), 177, 1);
}

TEST(TiffPlugin, MultiPageFileGivesItsFirstPage) {
    const QImage first = colourPattern(20, 10);
    const QImage second = colourPattern(10, 20).mirrored(true, true);
    const QByteArray tiff = makeTiff({first, second}, {.compression = TiffCompression::Lzw});
    PictureDescription description;
    ASSERT_EQ(tiffPlugin().describe(tiff, description), SPI_SUCCESS);
    EXPECT_EQ(description.info.width, 20);
    EXPECT_EQ(description.info.height, 10);
    Dib dib;
    ASSERT_EQ(tiffPlugin().decode(tiff, dib), SPI_SUCCESS);
    EXPECT_TRUE(showsPicture(dib, first));
}

// ---- Pages read from their samples ----------------------------------------------------------

// The colours of the first row of a decoded page.
std::vector<QRgb> firstRow(const Dib& dib) {
    std::vector<QRgb> colours;
    for (int x = 0; x < dib.width(); ++x)
        colours.push_back(dib.colour(x, 0));
    return colours;
}

std::vector<QRgb> greys(std::initializer_list<int> levels) {
    std::vector<QRgb> colours;
    for (const int level : levels)
        colours.push_back(qRgb(level, level, level));
    return colours;
}

// Every channel of every colour within tolerance of the expected one.
::testing::AssertionResult nearColours(const std::vector<QRgb>& got,
                                       const std::vector<QRgb>& expected, int tolerance) {
    if (got.size() != expected.size())
        return ::testing::AssertionFailure() << got.size() << " colours, not " << expected.size();
    for (size_t i = 0; i < got.size(); ++i) {
        const QRgb g = got[i], e = expected[i];
        if (std::abs(qRed(g) - qRed(e)) > tolerance ||
            std::abs(qGreen(g) - qGreen(e)) > tolerance ||
            std::abs(qBlue(g) - qBlue(e)) > tolerance)
            return ::testing::AssertionFailure()
                   << "pixel " << i << ": (" << qRed(g) << ", " << qGreen(g) << ", " << qBlue(g)
                   << ") instead of (" << qRed(e) << ", " << qGreen(e) << ", " << qBlue(e) << ")";
    }
    return ::testing::AssertionSuccess();
}

// A page of one row of pixels.
TiffSamples row(uint16_t photometric, uint16_t bits, uint16_t samplesPerPixel,
                std::vector<double> values, uint16_t format = SAMPLEFORMAT_UINT) {
    TiffSamples page;
    page.width = uint32_t(values.size() / samplesPerPixel);
    page.photometric = photometric;
    page.bitsPerSample = bits;
    page.sampleFormat = format;
    page.samplesPerPixel = samplesPerPixel;
    page.values = std::move(values);
    return page;
}

struct SampleCase {
    const char* name;
    TiffSamples page;
    std::vector<QRgb> expected;
    int tolerance = 0;
};

void expectDecodedRows(const std::vector<SampleCase>& cases, int bitCount) {
    for (const SampleCase& c : cases) {
        SCOPED_TRACE(c.name);
        Dib dib;
        ASSERT_EQ(tiffPlugin().decode(makeSampleTiff(c.page), dib), SPI_SUCCESS);
        EXPECT_EQ(dib.bitCount(), bitCount);
        EXPECT_TRUE(nearColours(firstRow(dib), c.expected, c.tolerance));
    }
}

TEST(TiffSamples, IntegerGreyOfAnyWidthIsScaledToEightBits) {
    TiffSamples big = row(PHOTOMETRIC_MINISBLACK, 12, 1, {0, 4095, 2048, 1});
    big.bigEndian = true;
    big.compression = TiffCompression::Lzw;
    TiffSamples tiled =
        row(PHOTOMETRIC_MINISBLACK, 32, 1, {0, 4294967295.0, 2147483648.0, 16777216});
    tiled.tileSize = 16;
    expectDecodedRows(
        {
            {"12 bits", row(PHOTOMETRIC_MINISBLACK, 12, 1, {0, 4095, 2048, 1}),
             greys({0, 255, 128, 0})},
            {"12 bits, big-endian, LZW", big, greys({0, 255, 128, 0})},
            {"32 bits in tiles", tiled, greys({0, 255, 128, 1})},
            {"24 bits", row(PHOTOMETRIC_MINISBLACK, 24, 1, {0, 16777215, 8388608}),
             greys({0, 255, 128})},
            {"10 bits, white is zero", row(PHOTOMETRIC_MINISWHITE, 10, 1, {0, 1023, 341}),
             greys({255, 0, 170})},
            {"16 bits signed",
             row(PHOTOMETRIC_MINISBLACK, 16, 1, {-32768, 32767, 0}, SAMPLEFORMAT_INT),
             greys({0, 255, 128})},
        },
        8);
}

TEST(TiffSamples, FloatingPointIsScaledByItsStatedRangeOrElseByItsOwn) {
    TiffSamples stated = row(PHOTOMETRIC_MINISBLACK, 32, 1, {-1, 3, 1, 5, -2}, SAMPLEFORMAT_IEEEFP);
    stated.sampleRange = {{-1.0, 3.0}};
    expectDecodedRows(
        {
            {"stated range, values beyond it clipped", stated, greys({0, 255, 128, 255, 0})},
            {"its own range", row(PHOTOMETRIC_MINISBLACK, 32, 1, {10, 20, 15}, SAMPLEFORMAT_IEEEFP),
             greys({0, 255, 128})},
            {"64 bits", row(PHOTOMETRIC_MINISBLACK, 64, 1, {0, 0.5, 1}, SAMPLEFORMAT_IEEEFP),
             greys({0, 128, 255})},
            {"16 bits", row(PHOTOMETRIC_MINISBLACK, 16, 1, {0, 0.5, 1}, SAMPLEFORMAT_IEEEFP),
             greys({0, 128, 255})},
            {"one value throughout",
             row(PHOTOMETRIC_MINISBLACK, 32, 1, {0.25, 0.25}, SAMPLEFORMAT_IEEEFP),
             greys({64, 64})},
        },
        8);

    // Colour: the range spans all three channels, so that their balance stays.
    TiffSamples colour =
        row(PHOTOMETRIC_RGB, 32, 3, {0.25, 0.5, 1.0, 0, 0, 0}, SAMPLEFORMAT_IEEEFP);
    colour.separatePlanes = true;
    colour.tileSize = 16;
    expectDecodedRows({{"RGB in planes and tiles", colour, {qRgb(64, 128, 255), qRgb(0, 0, 0)}}},
                      24);
}

TEST(TiffSamples, ColourOfOtherWidthsAndSixteenBitCmyk) {
    TiffSamples cmyk = row(PHOTOMETRIC_SEPARATED, 16, 4,
                           {0, 0, 0, 0, 65535, 0, 0, 0, 0, 0, 0, 65535, 0, 32768, 65535, 0});
    TiffSamples planes = cmyk;
    planes.separatePlanes = true;
    planes.compression = TiffCompression::Lzw;
    const std::vector<QRgb> cmykColours = {qRgb(255, 255, 255), qRgb(0, 255, 255), qRgb(0, 0, 0),
                                           qRgb(255, 127, 0)};
    // 12-bit red with unassociated alpha of 2048 of 4095: white shows through by half.
    TiffSamples alpha =
        row(PHOTOMETRIC_RGB, 12, 4, {4095, 0, 0, 4095, 4095, 0, 0, 2048, 0, 0, 4095, 0});
    alpha.extraSamples = {EXTRASAMPLE_UNASSALPHA};
    expectDecodedRows(
        {
            {"CMYK", cmyk, cmykColours},
            {"CMYK in planes", planes, cmykColours},
            {"12-bit RGB with alpha",
             alpha,
             {qRgb(255, 0, 0), qRgb(255, 127, 127), qRgb(255, 255, 255)}},
            {"4-bit RGB", row(PHOTOMETRIC_RGB, 4, 3, {15, 5, 0}), {qRgb(255, 85, 0)}},
        },
        24);
}

TEST(TiffSamples, CieLabBecomesSrgbSeenFromItsWhitePoint) {
    // The same blue-grey, sRGB (100, 150, 200), as CIELab relative to D50 (the white when none
    // is named) and to D65, as ICC Lab, and at 16 bits; with white and a mid grey.
    TiffSamples d65 = row(PHOTOMETRIC_CIELAB, 8, 3, {154, -3, -31, 255, 0, 0});
    d65.whitePoint = {{0.3127f, 0.3290f}};
    TiffSamples tiled = row(PHOTOMETRIC_CIELAB, 16, 3, {39366, -1708, -8064, 65535, 0, 0});
    tiled.tileSize = 16;
    tiled.compression = TiffCompression::Deflate;
    expectDecodedRows(
        {
            {"D50",
             row(PHOTOMETRIC_CIELAB, 8, 3, {153, -7, -32, 255, 0, 0, 128, 0, 0}),
             {qRgb(98, 150, 201), qRgb(255, 255, 255), qRgb(119, 119, 119)},
             1},
            {"D65", d65, {qRgb(99, 150, 200), qRgb(255, 255, 255)}, 1},
            {"ICC Lab", row(PHOTOMETRIC_ICCLAB, 8, 3, {153, 121, 96}), {qRgb(98, 150, 201)}, 1},
            {"16 bits in tiles", tiled, {qRgb(100, 150, 200), qRgb(255, 255, 255)}, 1},
        },
        24);
}

TEST(TiffSamples, KindsLibtiffCannotReadAreNotThisFormatRatherThanBroken) {
    QByteArray unknownCodec = makeTiff({colourPattern(8, 8)});
    setTiffTag(unknownCodec, TIFFTAG_COMPRESSION, 34712); // JPEG 2000
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"a codec libtiff does not have", unknownCodec},
        {"ITU Lab", makeSampleTiff(row(PHOTOMETRIC_ITULAB, 8, 3, {10, 20, 30}))},
        {"colour filter array", makeSampleTiff(row(PHOTOMETRIC_CFA, 8, 1, {10, 20}))},
        {"complex samples",
         makeSampleTiff(row(PHOTOMETRIC_MINISBLACK, 32, 1, {1, 2}, SAMPLEFORMAT_COMPLEXINT))},
    };
    for (const auto& [name, tiff] : cases) {
        SCOPED_TRACE(name);
        PictureDescription description;
        EXPECT_EQ(tiffPlugin().describe(tiff, description), SPI_SUCCESS);
        Dib dib;
        EXPECT_EQ(tiffPlugin().decode(tiff, dib), SPI_UNKNOWN_FORMAT);
    }
}

struct ResolutionCase {
    std::optional<TiffResolution> resolution;
    uint16_t xDensity, yDensity;
    int32_t xPelsPerMeter;
};

TEST(TiffPlugin, ReportsSizeDepthResolutionAndDescription) {
    const std::vector<ResolutionCase> cases = {
        {TiffResolution{300, 300, TiffResolutionUnit::Inch}, 300, 300, 11811},
        {TiffResolution{100, 50, TiffResolutionUnit::Centimetre}, 254, 127, 10000},
        {TiffResolution{1, 2, TiffResolutionUnit::None}, 1, 2, 0},
        {std::nullopt, 1, 1, 0},
    };
    for (const ResolutionCase& c : cases) {
        SCOPED_TRACE(c.xDensity);
        const QByteArray tiff = makeTiff({colourPattern(30, 7)},
                                         {.resolution = c.resolution, .description = "Harbour"});
        PictureDescription description;
        ASSERT_EQ(tiffPlugin().describe(tiff, description), SPI_SUCCESS);
        EXPECT_EQ(description.info.left, 0);
        EXPECT_EQ(description.info.top, 0);
        EXPECT_EQ(description.info.width, 30);
        EXPECT_EQ(description.info.height, 7);
        EXPECT_EQ(description.info.x_density, c.xDensity);
        EXPECT_EQ(description.info.y_density, c.yDensity);
        EXPECT_EQ(description.info.colorDepth, 24);
        EXPECT_EQ(description.text, "Harbour");
        Dib dib;
        ASSERT_EQ(tiffPlugin().decode(tiff, dib), SPI_SUCCESS);
        EXPECT_NEAR(dib.header().biXPelsPerMeter, c.xPelsPerMeter, 1);
    }
    PictureDescription palette;
    ASSERT_EQ(tiffPlugin().describe(makeTiff({indexedPattern(5, 5, 16)},
                                             {.pixels = TiffPixels::Palette, .paletteBits = 4}),
                                    palette),
              SPI_SUCCESS);
    EXPECT_EQ(palette.info.colorDepth, 4);
    EXPECT_EQ(palette.text, "");
}

TEST(TiffPlugin, AbsurdSampleLayoutIsDescribedButNotDecoded) {
    QByteArray tiff = makeTiff({greyPattern(8, 8)}, {.pixels = TiffPixels::Grey});
    setTiffTag(tiff, TIFFTAG_BITSPERSAMPLE, 58632);
    setTiffTag(tiff, TIFFTAG_SAMPLESPERPIXEL, 65281);
    PictureDescription description;
    ASSERT_EQ(tiffPlugin().describe(tiff, description), SPI_SUCCESS);
    EXPECT_EQ(description.info.colorDepth, INT16_MAX);
    Dib dib;
    EXPECT_EQ(tiffPlugin().decode(tiff, dib), SPI_BROKEN_DATA);
}

TEST(TiffPlugin, TruncatedFilesAreBroken) {
    // libtiff writes the directory after the pixel data, so cutting the file anywhere past the
    // header loses the directory.
    const QByteArray tiff = makeTiff({colourPattern(16, 16)});
    for (const qsizetype cut : {qsizetype(8), qsizetype(9), tiff.size() / 2, tiff.size() - 1}) {
        SCOPED_TRACE(cut);
        Dib dib;
        EXPECT_EQ(tiffPlugin().decode(tiff.left(cut), dib), SPI_BROKEN_DATA);
    }
    // Pixel data that ends early, behind an intact directory.
    for (const TiffCompression compression :
         {TiffCompression::None, TiffCompression::Lzw, TiffCompression::Deflate}) {
        QByteArray cutShort =
            makeTiff({colourPattern(16, 16)}, {.compression = compression, .rowsPerStrip = 16});
        // libtiff recomputes an implausible byte count of uncompressed data, so there the data
        // is moved to run past the end of the file instead.
        if (compression == TiffCompression::None)
            setTiffTag(cutShort, TIFFTAG_STRIPOFFSETS, uint32_t(cutShort.size() - 40));
        else
            setTiffTag(cutShort, TIFFTAG_STRIPBYTECOUNTS, 40);
        Dib dib;
        EXPECT_EQ(tiffPlugin().decode(cutShort, dib), SPI_BROKEN_DATA) << int(compression);
    }
}

TEST(TiffPlugin, CorruptCompressedDataIsBroken) {
    QByteArray tiff = makeTiff({colourPattern(16, 16)}, {.compression = TiffCompression::Deflate});
    for (qsizetype i = 8; i < 40; ++i)
        tiff[i] = char(0xff); // the deflate stream starts right after the header
    Dib dib;
    EXPECT_EQ(tiffPlugin().decode(tiff, dib), SPI_BROKEN_DATA);
}

TEST(TiffPlugin, HostileSizesAreRefusedQuickly) {
    struct Hostile {
        const char* name;
        TiffOptions options;
        uint32_t width, height;
        int32_t expected;
    };
    const std::vector<Hostile> cases = {
        {"too large for 32 bits", {}, 100000, 100000, SPI_NO_MEMORY},
        {"one enormous tile", {.tileSize = 16}, 100000, 100000, SPI_NO_MEMORY},
        {"grey, too large", {.pixels = TiffPixels::Grey}, 70000, 70000, SPI_NO_MEMORY},
        {"fits, but no data", {}, 30000, 20000, SPI_BROKEN_DATA},
        {"fits, deflate bomb",
         {.compression = TiffCompression::Deflate},
         20000,
         20000,
         SPI_BROKEN_DATA},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray tiff = makeTiff({greyPattern(16, 16)}, c.options);
        setTiffTag(tiff, TIFFTAG_IMAGEWIDTH, c.width);
        setTiffTag(tiff, TIFFTAG_IMAGELENGTH, c.height);
        // One strip or tile still covers the whole page, as in the file before.
        if (c.options.tileSize) {
            setTiffTag(tiff, TIFFTAG_TILEWIDTH, 131072);
            setTiffTag(tiff, TIFFTAG_TILELENGTH, 131072);
        } else {
            setTiffTag(tiff, TIFFTAG_ROWSPERSTRIP, c.height);
        }
        PictureDescription description;
        ASSERT_EQ(tiffPlugin().describe(tiff, description), SPI_SUCCESS);
        EXPECT_EQ(description.info.width, int32_t(c.width));
        QElapsedTimer timer;
        timer.start();
        Dib dib;
        EXPECT_EQ(tiffPlugin().decode(tiff, dib), c.expected);
        EXPECT_LT(timer.elapsed(), 1000);
    }
}

} // namespace
