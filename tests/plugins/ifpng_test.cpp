// ifpng.spi through its exports, loaded as the program loads it: the PNG test suite against its
// reference renderings, and PNG files of known content written here.
#include "tests/support/pngmaker.h"
#include "tests/support/spitesting.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>

#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>

using namespace testsupport;

namespace {

const SpiPlugin& pngPlugin() {
    return testedPlugin(QStringLiteral("ifpng.spi"));
}

constexpr QRgb White = qRgb(255, 255, 255);

int overWhite(int channel, int alpha) {
    return (channel * alpha + 255 * (255 - alpha) + 127) / 255;
}

void putBigEndian32(QByteArray& bytes, qsizetype at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (24 - 8 * i));
}

// The png with its IHDR declaring another size, its CRC made right again.
QByteArray declaringSize(QByteArray png, uint32_t width, uint32_t height) {
    putBigEndian32(png, 16, width);
    putBigEndian32(png, 20, height);
    putBigEndian32(png, 29,
                   uint32_t(crc32(0, reinterpret_cast<const Bytef*>(png.constData() + 12), 17)));
    return png;
}

// The colour a DIB shows at (x, y): the samples narrowed to 8 bits (the high byte) and laid over
// white.
QRgb expectedColour(const PngSpec& spec, int x, int y) {
    const int channels = pngChannels(spec.colourType);
    const uint16_t* s =
        spec.samples.data() + (size_t(y) * size_t(spec.width) + size_t(x)) * size_t(channels);
    const auto narrow = [&](uint16_t v) { return spec.bitDepth == 16 ? v >> 8 : int(v); };
    switch (spec.colourType) {
    case 4: {
        const int grey = overWhite(narrow(s[0]), narrow(s[1]));
        return qRgb(grey, grey, grey);
    }
    case 6: {
        const int alpha = narrow(s[3]);
        return qRgb(overWhite(narrow(s[0]), alpha), overWhite(narrow(s[1]), alpha),
                    overWhite(narrow(s[2]), alpha));
    }
    case 2:
        return qRgb(narrow(s[0]), narrow(s[1]), narrow(s[2]));
    default:
        return qRgb(narrow(s[0]), narrow(s[0]), narrow(s[0]));
    }
}

::testing::AssertionResult showsSpec(const Dib& dib, const PngSpec& spec, int rows = -1) {
    if (dib.width() != spec.width || dib.height() != spec.height)
        return ::testing::AssertionFailure() << "size " << dib.width() << "x" << dib.height();
    for (int y = 0; y < (rows < 0 ? spec.height : rows); ++y)
        for (int x = 0; x < spec.width; ++x)
            if (dib.colour(x, y) != expectedColour(spec, x, y))
                return ::testing::AssertionFailure()
                       << "first difference at (" << x << ", " << y << "): " << std::hex
                       << dib.colour(x, y) << " instead of " << expectedColour(spec, x, y);
    return ::testing::AssertionSuccess();
}

// Every file of the suite that is not broken on purpose decodes to its reference exactly, at
// 8 bits with a table of 2^depth entries for grey and palette pictures of 8 bits or fewer, else
// at 24 bits; every file that is broken on purpose is refused.
TEST(PngPlugin, DecodesThePngSuiteExactlyAndRefusesItsBrokenFiles) {
    TAZU_REQUIRE_TESTDATA();
    const QDir suite(testdataDir() + QStringLiteral("/png"));
    const QStringList files = suite.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 170);
    int decoded = 0;
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const QString path = suite.filePath(name);
        Dib dib;
        PictureDescription description;
        if (name.startsWith(u'x')) {
            const int32_t described = pngPlugin().describeFile(path, 0, description);
            EXPECT_NE(described == SPI_SUCCESS ? pngPlugin().decodeFile(path, 0, dib) : described,
                      SPI_SUCCESS);
            continue;
        }
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray header = file.read(26);
        const int depth = header[24];
        const int colourType = header[25];
        ASSERT_EQ(pngPlugin().describeFile(path, 0, description), SPI_SUCCESS);
        EXPECT_EQ(description.info.colorDepth, depth * pngChannels(colourType));
        ASSERT_EQ(pngPlugin().decodeFile(path, 0, dib), SPI_SUCCESS);
        const bool indexed = (colourType == 0 || colourType == 3) && depth <= 8;
        EXPECT_EQ(dib.bitCount(), indexed ? 8 : 24);
        EXPECT_EQ(dib.palette().size(), indexed ? size_t(1) << depth : 0u);
        const QImage reference(suite.filePath(QStringLiteral("reference/") + name));
        ASSERT_FALSE(reference.isNull());
        EXPECT_EQ(description.info.width, reference.width());
        EXPECT_EQ(description.info.height, reference.height());
        EXPECT_TRUE(showsPicture(dib, reference));
        ++decoded;
    }
    EXPECT_EQ(decoded, 160);
}

// 1-bit to 8-bit grey and palette pictures keep their levels and indices; transparency goes
// into the table, over white.
TEST(PngPlugin, IndexedPicturesKeepTheirIndicesWithTransparencyInTheTable) {
    for (const int depth : {1, 2, 4, 8}) {
        for (const bool interlaced : {false, true}) {
            SCOPED_TRACE(::testing::Message() << depth << " bits, interlaced " << interlaced);
            PngSpec palette = patternPngSpec(13, 11, 3, depth);
            palette.interlaced = interlaced;
            palette.palette[0] = qRgba(10, 20, 30, 0);
            palette.palette[1] = qRgba(200, 100, 50, 128);
            if (depth > 1) { // the last index has no entry in the file, and is not used
                palette.palette.removeLast();
                for (uint16_t& index : palette.samples)
                    if (index == (1 << depth) - 1)
                        index = 2;
            }
            Dib dib;
            ASSERT_EQ(pngPlugin().decode(makePng(palette), dib), SPI_SUCCESS);
            ASSERT_EQ(dib.bitCount(), 8);
            ASSERT_EQ(dib.palette().size(), size_t(1) << depth);
            for (int y = 0; y < 11; ++y)
                for (int x = 0; x < 13; ++x)
                    ASSERT_EQ(dib.index(x, y), palette.samples[size_t(y * 13 + x)])
                        << x << ", " << y;
            EXPECT_EQ(dib.paletteColour(0), White);
            EXPECT_EQ(dib.paletteColour(1),
                      qRgb(overWhite(200, 128), overWhite(100, 128), overWhite(50, 128)));
            if (depth > 1) {
                EXPECT_EQ(dib.paletteColour(2), palette.palette[2] | 0xff000000u);
                EXPECT_EQ(dib.paletteColour((1 << depth) - 1), qRgb(0, 0, 0)) << "not in the file";
            }

            PngSpec grey = patternPngSpec(13, 11, 0, depth);
            grey.interlaced = interlaced;
            grey.transparent = std::vector<uint16_t>{1};
            ASSERT_EQ(pngPlugin().decode(makePng(grey), dib), SPI_SUCCESS);
            ASSERT_EQ(dib.bitCount(), 8);
            ASSERT_EQ(dib.palette().size(), size_t(1) << depth);
            const int step = 255 / ((1 << depth) - 1);
            EXPECT_EQ(dib.paletteColour(0), qRgb(0, 0, 0));
            EXPECT_EQ(dib.paletteColour(1), White);
            if (depth > 1) {
                EXPECT_EQ(dib.paletteColour(2), qRgb(2 * step, 2 * step, 2 * step));
            }
            for (int y = 0; y < 11; ++y)
                for (int x = 0; x < 13; ++x)
                    ASSERT_EQ(dib.index(x, y), grey.samples[size_t(y * 13 + x)]) << x << ", " << y;
        }
    }
}

// Pictures with alpha go through a row of their own: every size an interlaced picture's
// passes can leave empty or partial, and a tRNS colour, come out as the samples over white.
TEST(PngPlugin, AlphaIsLaidOverWhiteAtEverySizeAndInterlacing) {
    for (const auto& [colourType, depth] :
         {std::pair(6, 8), std::pair(6, 16), std::pair(4, 8), std::pair(4, 16), std::pair(2, 16)}) {
        for (const auto& [width, height] : {std::pair(1, 1), std::pair(2, 3), std::pair(5, 9),
                                            std::pair(9, 5), std::pair(17, 2)}) {
            for (const bool interlaced : {false, true}) {
                SCOPED_TRACE(::testing::Message()
                             << "type " << colourType << ", " << depth << " bits, " << width << "x"
                             << height << ", interlaced " << interlaced);
                PngSpec spec = patternPngSpec(width, height, colourType, depth);
                spec.interlaced = interlaced;
                Dib dib;
                ASSERT_EQ(pngPlugin().decode(makePng(spec), dib), SPI_SUCCESS);
                EXPECT_EQ(dib.bitCount(), 24);
                EXPECT_TRUE(showsSpec(dib, spec));
            }
        }
    }
    PngSpec keyed = patternPngSpec(6, 4, 2, 16);
    keyed.transparent = std::vector<uint16_t>{keyed.samples[0], keyed.samples[1], keyed.samples[2]};
    Dib dib;
    ASSERT_EQ(pngPlugin().decode(makePng(keyed), dib), SPI_SUCCESS);
    EXPECT_EQ(dib.colour(0, 0), White);
    EXPECT_EQ(dib.colour(1, 0), expectedColour(keyed, 1, 0));
}

TEST(PngPlugin, DensitiesComeFromPhysAndTheTextFromTheFirstComment) {
    const auto describeAndDecode = [](const PngSpec& spec, PictureDescription& description,
                                      Dib& dib) {
        const QByteArray png = makePng(spec);
        ASSERT_EQ(pngPlugin().describe(png, description), SPI_SUCCESS);
        ASSERT_EQ(pngPlugin().decode(png, dib), SPI_SUCCESS);
    };
    PngSpec spec = patternPngSpec(4, 3, 2, 8);
    PictureDescription description;
    Dib dib;

    describeAndDecode(spec, description, dib);
    EXPECT_EQ(description.info.x_density, 1);
    EXPECT_EQ(description.info.y_density, 1);
    EXPECT_EQ(dib.header().biXPelsPerMeter, 0);
    EXPECT_EQ(description.text, "");

    spec.density = PngDensity{.x = 11811, .y = 2835};
    spec.texts = {{"Title", "not this"}, {"Comment", "the first"}, {"Comment", "the second"}};
    describeAndDecode(spec, description, dib);
    EXPECT_EQ(description.info.x_density, 300);
    EXPECT_EQ(description.info.y_density, 72);
    EXPECT_EQ(dib.header().biXPelsPerMeter, 11811);
    EXPECT_EQ(dib.header().biYPelsPerMeter, 2835);
    EXPECT_EQ(description.text, "the first");

    spec.density = PngDensity{.x = 1, .y = 2, .perMetre = false};
    spec.texts = {{"Comment", "international \xE2\x9C\x93", true}};
    describeAndDecode(spec, description, dib);
    EXPECT_EQ(description.info.x_density, 1);
    EXPECT_EQ(description.info.y_density, 2);
    EXPECT_EQ(dib.header().biXPelsPerMeter, 0);
    EXPECT_EQ(description.text, "international \xE2\x9C\x93");

    spec.density = PngDensity{.x = 200000, .y = 100000, .perMetre = false};
    describeAndDecode(spec, description, dib);
    EXPECT_EQ(description.info.x_density, 65535);
    EXPECT_EQ(description.info.y_density, 32768) << "the aspect kept within 16 bits";
}

// libpng reads the default image of an animated PNG and passes the animation chunks over.
TEST(PngPlugin, AnAnimationGivesItsDefaultImage) {
    const PngSpec spec = patternPngSpec(8, 6, 6, 8);
    const QByteArray still = makePng(spec);
    const QByteArray control = QByteArray::fromHex("00000002"
                                                   "00000000");
    const QByteArray frame = QByteArray::fromHex("00000000"
                                                 "00000008"
                                                 "00000006"
                                                 "00000000"
                                                 "00000000"
                                                 "0001"
                                                 "0064"
                                                 "00"
                                                 "00");
    const QByteArray frameData = QByteArray::fromHex("00000002") + QByteArray("not image data");
    QByteArray nextFrame = frame;
    putBigEndian32(nextFrame, 0, 1);
    // The default image as the first frame, and an image that is not part of the animation.
    const QByteArray firstFrame =
        insertPngChunk(insertPngChunk(insertPngChunk(insertPngChunk(still, "IDAT", "acTL", control),
                                                     "IDAT", "fcTL", frame),
                                      "IEND", "fcTL", nextFrame),
                       "IEND", "fdAT", frameData);
    const QByteArray notAFrame = insertPngChunk(
        insertPngChunk(insertPngChunk(still, "IDAT", "acTL", control), "IEND", "fcTL", frame),
        "IEND", "fdAT", frameData);
    for (const QByteArray& animation : {firstFrame, notAFrame}) {
        Dib dib;
        ASSERT_EQ(pngPlugin().decode(animation, dib), SPI_SUCCESS);
        EXPECT_TRUE(showsSpec(dib, spec));
    }
}

QByteArray withByteFlipped(QByteArray bytes, qsizetype at) {
    bytes[at] = char(bytes[at] ^ 0x01);
    return bytes;
}

// A damaged critical chunk is broken data; a damaged ancillary chunk is left out.
TEST(PngPlugin, BadChecksums) {
    PngSpec spec = patternPngSpec(8, 6, 2, 8);
    spec.texts = {{"Comment", "kept when whole"}};
    const QByteArray png = makePng(spec);
    PictureDescription description;
    Dib dib;

    const QByteArray badHeader = withByteFlipped(png, 29);
    EXPECT_EQ(pngPlugin().describe(badHeader, description), SPI_BROKEN_DATA);
    EXPECT_EQ(pngPlugin().decode(badHeader, dib), SPI_BROKEN_DATA);

    const qsizetype data = pngChunkOffset(png, "IDAT");
    const QByteArray badData = withByteFlipped(png, data + 8 + 3);
    EXPECT_EQ(pngPlugin().decode(badData, dib), SPI_BROKEN_DATA);
    EXPECT_TRUE(dib.isEmpty());

    const QByteArray badText = withByteFlipped(png, pngChunkOffset(png, "tEXt") + 8 + 2);
    ASSERT_EQ(pngPlugin().describe(badText, description), SPI_SUCCESS);
    EXPECT_EQ(description.text, "");
    ASSERT_EQ(pngPlugin().decode(badText, dib), SPI_SUCCESS);
    EXPECT_TRUE(showsSpec(dib, spec));
}

// A small file declaring a huge picture is refused before its picture is allocated: too large
// for the interface, or more than its compressed data can hold (here the first rows of the
// picture, cut off after them, which would otherwise be shown).
TEST(PngPlugin, DecompressionBombsAreRefused) {
    const QByteArray tiny = makePng(patternPngSpec(1, 1, 0, 1));
    const QByteArray huge = declaringSize(tiny, 100000, 100000);
    PictureDescription description;
    ASSERT_EQ(pngPlugin().describe(huge, description), SPI_SUCCESS);
    EXPECT_EQ(description.info.width, 100000);
    Dib dib;
    EXPECT_EQ(pngPlugin().decode(huge, dib), SPI_NO_MEMORY);
    EXPECT_EQ(pngPlugin().decode(declaringSize(tiny, 2000000, 1), dib), SPI_NO_MEMORY);

    PngSpec rows{.width = 20000, .height = 8, .colourType = 0};
    rows.samples.assign(20000 * 8, 0);
    const QByteArray firstRows = makePng(rows);
    const QByteArray bomb =
        declaringSize(firstRows.left(pngChunkOffset(firstRows, "IEND")), 20000, 20000);
    EXPECT_EQ(pngPlugin().decode(bomb, dib), SPI_BROKEN_DATA);
    EXPECT_TRUE(dib.isEmpty());
}

// A text chunk declaring 1.5 GB in a small file: libpng would allocate and zero a buffer of that
// length before reading it.
TEST(PngPlugin, ChunkLengthsDoNotDecideWhatIsAllocated) {
    const PngSpec spec = patternPngSpec(8, 6, 2, 8);
    QByteArray png = insertPngChunk(makePng(spec), "IDAT", "tEXt", QByteArray("Comment\0lie", 11));
    putBigEndian32(png, pngChunkOffset(png, "tEXt"), 1593835534);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    PictureDescription description;
    Dib dib;
    EXPECT_NE(pngPlugin().describe(png, description), SPI_SUCCESS);
    EXPECT_NE(pngPlugin().decode(png, dib), SPI_SUCCESS);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "kilobytes";
}

// A picture whose data ends early keeps its complete top rows, black below them; with no
// complete row, or interlaced (no row is complete before the last pass), it is broken.
TEST(PngPlugin, TruncatedPicturesKeepTheirTopRows) {
    for (const int colourType : {2, 6, 3}) {
        SCOPED_TRACE(colourType);
        const PngSpec spec = patternPngSpec(40, 60, colourType, 8);
        const QByteArray png = makePng(spec);
        const qsizetype data = pngChunkOffset(png, "IDAT") + 8;
        const qsizetype dataEnd = pngChunkOffset(png, "IEND") - 4;
        Dib dib;
        ASSERT_EQ(pngPlugin().decode(png.left((data + dataEnd) / 2), dib), SPI_SUCCESS);
        const auto blank = [&](int y) {
            const auto row = dib.storedRow(y);
            return std::all_of(row.begin(), row.end(), [](uint8_t byte) { return byte == 0; });
        };
        int rows = 0;
        while (rows < 60 && !blank(rows))
            ++rows;
        EXPECT_GT(rows, 10);
        EXPECT_LT(rows, 50);
        for (int y = rows; y < 60; ++y)
            ASSERT_TRUE(blank(y)) << "row " << y;
        if (colourType == 3) {
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < 40; ++x)
                    ASSERT_EQ(dib.index(x, y), spec.samples[size_t(y * 40 + x)]);
        } else {
            EXPECT_TRUE(showsSpec(dib, spec, rows));
        }

        EXPECT_EQ(pngPlugin().decode(png.left(data + 2), dib), SPI_BROKEN_DATA) << "no row";
        PngSpec interlaced = spec;
        interlaced.interlaced = true;
        const QByteArray adam7 = makePng(interlaced);
        EXPECT_EQ(pngPlugin().decode(adam7.left(adam7.size() - 40), dib), SPI_BROKEN_DATA);
    }
}

} // namespace
