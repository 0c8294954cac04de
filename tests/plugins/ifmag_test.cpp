// ifmag.spi as the program uses it: the MAG pictures of other people's writers against their
// reference renderings, pictures of our own writer for what those do not cover, and the ways a
// file can be broken.
#include "tests/support/magmaker.h"
#include "tests/support/spitesting.h"
#include "tests/support/testdata.h"
#include "tests/support/testpatterns.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <map>
#include <string>

using namespace testsupport;

namespace {

const SpiPlugin& magPlugin() {
    return testedPlugin(QStringLiteral("ifmag.spi"));
}

// Runs of colour with scattered single dots: both copied and literal words.
QImage mixedPicture(int width, int height, int colours) {
    QImage image = indexedPattern(width, height, colours);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           uint((x * 31 + y * 17) % 11 == 0 ? (x * y + 5) % colours
                                                            : (x / 6 + y / 5) % colours));
    return image;
}

// The colour table stored in a MAG file (G, R, B after the header that follows the 0x1A).
QList<QRgb> storedPalette(const QByteArray& file, int entries) {
    const qsizetype at = file.indexOf('\x1a', 8) + 1 + 32;
    QList<QRgb> palette;
    for (int i = 0; i < entries; ++i) {
        const auto byte = [&](int k) { return uchar(file[at + 3 * i + k]); };
        palette.append(qRgb(byte(1), byte(0), byte(2)));
    }
    return palette;
}

::testing::AssertionResult hasPalette(const Dib& dib, const QList<QRgb>& expected) {
    if (dib.palette().size() != size_t(expected.size()))
        return ::testing::AssertionFailure() << dib.palette().size() << " colours";
    for (int i = 0; i < expected.size(); ++i)
        if (dib.paletteColour(i) != expected[i])
            return ::testing::AssertionFailure() << "colour " << i << " differs";
    return ::testing::AssertionSuccess();
}

TEST(MagPlugin, NamesItsFilesAndKnowsThemByTheirSignature) {
    const SpiPlugin& plugin = magPlugin();
    EXPECT_EQ(plugin.pluginInfo(0), "00IN");
    EXPECT_EQ(plugin.pluginInfo(2), "*.MAG");
    EXPECT_EQ(plugin.pluginInfo(3), "MAG");
    const QByteArray mag = makeMagFile(indexedPattern(8, 2, 16));
    EXPECT_TRUE(plugin.supports(mag));
    EXPECT_FALSE(plugin.supports("MAKI01A MG  user name"));
    EXPECT_FALSE(plugin.supports(QByteArray(4, ' ') + mag));
    EXPECT_FALSE(plugin.supports("GIF89a"));
    Dib dib;
    EXPECT_EQ(plugin.decode(mag, dib, Call::Preview), SPI_NOT_IMPLEMENTED);
    PictureDescription description;
    EXPECT_EQ(plugin.describe("GIF89a and more bytes than a MAG signature", description),
              SPI_UNKNOWN_FORMAT);
}

// Every MAG file of the shared pictures, pixel for pixel against the rendering beside it.
TEST(MagPlugin, SharedFilesMatchTheirReferences) {
    TAZU_REQUIRE_TESTDATA();
    struct Expected {
        int colours;
        uint16_t xDensity;
        std::string comment;
    };
    const std::map<QString, Expected> expected = {
        {"MG_T16.MAG", {16, 1, "16c 640x400 via MG 0.99c "}},
        {"MG_T256.MAG", {256, 1, ""}},
        {"MG_L200.MAG", {16, 2, "640x200 2:1 dots "}},
        {"MG_ODD16.MAG", {16, 1, ""}},
        {"XV_16.MAG", {16, 1, "xv harness"}},
        {"PY_768x512_16.MAG", {16, 1, ""}},
    };
    const QDir folder(testdataDir() + QStringLiteral("/retro/MAG"));
    const QStringList files = folder.entryList({QStringLiteral("*.MAG")}, QDir::Files);
    ASSERT_EQ(files.size(), qsizetype(expected.size()));
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(expected.contains(name));
        const Expected& e = expected.at(name);
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const QImage reference(folder.filePath(QFileInfo(name).completeBaseName() + ".png"));
        ASSERT_FALSE(reference.isNull());

        PictureDescription description;
        ASSERT_EQ(magPlugin().describeFile(folder.filePath(name), 0, description), SPI_SUCCESS);
        EXPECT_EQ(description.info.width, reference.width());
        EXPECT_EQ(description.info.height, reference.height());
        EXPECT_EQ(description.info.x_density, e.xDensity);
        EXPECT_EQ(description.info.y_density, 1);
        EXPECT_EQ(description.info.colorDepth, e.colours == 256 ? 8 : 4);
        EXPECT_EQ(description.text, e.comment);

        Dib dib;
        ASSERT_EQ(magPlugin().decodeFile(folder.filePath(name), 0, dib), SPI_SUCCESS);
        EXPECT_EQ(dib.bitCount(), 8);
        EXPECT_TRUE(hasPalette(dib, storedPalette(bytes, e.colours)));
        EXPECT_TRUE(showsPicture(dib, reference));
    }
}

// Pictures of our own writer: both colour counts, odd widths, start positions off the 8-dot
// grid, and pictures tall enough for copies from 16 rows up.
TEST(MagPlugin, WrittenPicturesComeBackIndexForIndex) {
    struct Case {
        int width, height, colours, x0, y0;
    };
    for (const Case& c :
         {Case{8, 1, 16, 0, 0}, Case{1, 1, 16, 0, 0}, Case{3, 40, 16, 0, 0},
          Case{301, 233, 16, 0, 0}, Case{37, 30, 16, 3, 9}, Case{20, 24, 16, 13, 400},
          Case{64, 64, 16, 632, 0}, Case{640, 40, 256, 0, 0}, Case{1, 2, 256, 0, 0},
          Case{45, 33, 256, 5, 7}, Case{70, 20, 256, 2, 1}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at " << c.x0 << ","
                                        << c.y0 << ", " << c.colours << " colours");
        const QImage picture = mixedPicture(c.width, c.height, c.colours);
        const QByteArray mag =
            makeMagFile(picture, {.colours256 = c.colours == 256, .x0 = c.x0, .y0 = c.y0});
        Dib dib;
        ASSERT_EQ(magPlugin().decode(mag, dib), SPI_SUCCESS);
        EXPECT_TRUE(holdsIndices(dib, picture));
        EXPECT_TRUE(hasPalette(dib, picture.colorTable()));
        EXPECT_EQ(dib.header().biXPelsPerMeter, 0);
    }
}

// Writers widen 256-colour rows to 8 dots (most) or 4: the length of flag A tells which.
TEST(MagPlugin, TwoFiftySixColourRowsMayBeWidenedToFourOrEightDots) {
    for (const int width : {1, 2, 3, 4, 9, 12, 61, 100}) {
        for (const int x0 : {0, 4, 6}) {
            for (const int group : {4, 8}) {
                SCOPED_TRACE(testing::Message()
                             << width << " wide at " << x0 << ", " << group << "-dot groups");
                const QImage picture = mixedPicture(width, 50, 256);
                const QByteArray mag =
                    makeMagFile(picture, {.colours256 = true, .x0 = x0, .alignment256 = group});
                Dib dib;
                ASSERT_EQ(magPlugin().decode(mag, dib), SPI_SUCCESS);
                EXPECT_TRUE(holdsIndices(dib, picture));
            }
        }
    }
    // When flag A's length does not tell (here padded by 4 bytes), rows of 8-dot groups are read.
    const QImage picture = mixedPicture(12, 50, 256);
    for (const int group : {4, 8}) {
        MagFile file = encodeMag(picture, {.colours256 = true, .alignment256 = group});
        file.flagA.append(4, '\0');
        Dib dib;
        const int32_t result = magPlugin().decode(magBytes(file), dib);
        EXPECT_EQ(result == SPI_SUCCESS && holdsIndices(dib, picture), group == 8) << group;
    }
}

TEST(MagPlugin, ReportsTallDotsAndTheComment) {
    const QImage picture = mixedPicture(16, 10, 16);
    const QByteArray shiftJis("\x83\x65\x83\x58\x83\x67 1999", 11); // "テスト 1999"
    const QByteArray mag =
        makeMagFile(picture, {.lines200 = true, .user = "\x96\xbc\x91\x4f", .comment = shiftJis});
    PictureDescription description;
    ASSERT_EQ(magPlugin().describe(mag, description), SPI_SUCCESS);
    EXPECT_EQ(description.info.x_density, 2);
    EXPECT_EQ(description.info.y_density, 1);
    EXPECT_EQ(description.info.width, 16);
    EXPECT_EQ(description.info.height, 10);
    EXPECT_EQ(description.text, shiftJis.toStdString());
    Dib dib;
    ASSERT_EQ(magPlugin().decode(mag, dib), SPI_SUCCESS);
    EXPECT_TRUE(holdsIndices(dib, picture));

    // A writer that ends the text inside the user name: no comment, the picture still reads.
    MagFile early = encodeMag(picture);
    early.text = "MG  name";
    ASSERT_EQ(magPlugin().describe(magBytes(early), description), SPI_SUCCESS);
    EXPECT_EQ(description.text, "");
    EXPECT_EQ(description.info.x_density, 1);
    ASSERT_EQ(magPlugin().decode(magBytes(early), dib), SPI_SUCCESS);
    EXPECT_TRUE(holdsIndices(dib, picture));
}

TEST(MagPlugin, ReadsFromTheOffsetItIsGivenAndStopsWhenAsked) {
    const QImage picture = mixedPicture(40, 200, 16);
    const QByteArray mag = makeMagFile(picture);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("HEADED.MAG"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(128, 'x') + mag);
    file.close();
    Dib dib;
    EXPECT_EQ(magPlugin().decodeFile(path, 0, dib), SPI_UNKNOWN_FORMAT);
    ASSERT_EQ(magPlugin().decodeFile(path, 128, dib), SPI_SUCCESS);
    EXPECT_TRUE(holdsIndices(dib, picture));

    static int calls = 0;
    const auto stopAtSecondCall = [](int32_t, int32_t, int32_t) -> int32_t {
        return ++calls == 2 ? 1 : 0;
    };
    EXPECT_EQ(magPlugin().decode(mag, dib, Call::Picture, stopAtSecondCall), SPI_ABORTED);
    EXPECT_EQ(calls, 2);
}

// An 8-dot wide, 16-colour picture of `rows` rows whose every word is a literal.
MagFile literalMag(int rows) {
    MagFile file;
    file.text = QByteArray("TAZU") + QByteArray(20, ' ');
    file.y1 = uint16_t(rows - 1);
    file.x1 = 7;
    file.palette = indexedPattern(1, 1, 16).colorTable();
    file.flagA = QByteArray((rows + 15) / 16 * 2, '\0');
    for (int i = 0; i < rows * 4; ++i)
        file.pixels.append(char(i * 37));
    return file;
}

// The header starts after the text: 8 + 24 bytes and the 0x1A.
constexpr int kHeader = 33;

QByteArray patchedLe(QByteArray bytes, int at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes[at + i] = char(value >> (8 * i));
    return bytes;
}

TEST(MagPlugin, BrokenFilesGiveAResultCode) {
    const MagFile literal = literalMag(20);
    const QByteArray plain = magBytes(literal);
    ASSERT_EQ(plain.indexOf('\x1a'), kHeader - 1);
    Dib check;
    ASSERT_EQ(magPlugin().decode(plain, check), SPI_SUCCESS);
    const QByteArray coded = makeMagFile(mixedPicture(50, 40, 16));
    const qsizetype codedFlagB = kHeader + qsizetype(uchar(coded[kHeader + 16]));

    const auto withFlags = [&](int bitOfFlagA, char flagB, int rows = 20) {
        MagFile file = literalMag(rows);
        file.flagA[bitOfFlagA / 8] = char(0x80 >> (bitOfFlagA % 8));
        file.flagB = QByteArray(1, flagB);
        return magBytes(file);
    };
    MagFile manyColours = literal;
    manyColours.screenMode = 0x80; // 256 colours announced, 48 bytes of colour table stored
    MagFile flagBShort = literal;
    flagBShort.flagA[0] = char(0x80);

    struct Case {
        const char* name;
        QByteArray bytes;
        int32_t expected;
    };
    const Case cases[] = {
        {"the signature cut", plain.left(5), SPI_UNKNOWN_FORMAT},
        {"within the machine name", plain.left(10), SPI_BROKEN_DATA},
        {"no end of the text", plain.left(kHeader - 1), SPI_BROKEN_DATA},
        {"within the header", plain.left(kHeader + 31), SPI_BROKEN_DATA},
        {"within the colour table", plain.left(kHeader + 32 + 47), SPI_BROKEN_DATA},
        {"within flag A", coded.left(kHeader + 32 + 48 + 5), SPI_BROKEN_DATA},
        {"within flag B", coded.left(codedFlagB + 3), SPI_BROKEN_DATA},
        {"within the pixels", plain.left(plain.size() - 1), SPI_BROKEN_DATA},
        {"coded file one byte short", coded.left(coded.size() - 1), SPI_BROKEN_DATA},
        {"left edge right of the right", patchedLe(plain, kHeader + 4, 8, 2), SPI_BROKEN_DATA},
        {"bottom above the top", patchedLe(plain, kHeader + 6, 30, 2), SPI_BROKEN_DATA},
        {"flag A beyond the file", patchedLe(plain, kHeader + 12, 1u << 30, 4), SPI_BROKEN_DATA},
        {"flag A running off the file",
         patchedLe(plain, kHeader + 12, uint32_t(plain.size()) - kHeader - 2, 4), SPI_BROKEN_DATA},
        {"flag B beyond the file", patchedLe(coded, kHeader + 16, 0xFFFFFFF0u, 4), SPI_BROKEN_DATA},
        {"flag B shorter than used", magBytes(flagBShort), SPI_BROKEN_DATA},
        {"pixels beyond the file", patchedLe(plain, kHeader + 24, 1u << 20, 4), SPI_BROKEN_DATA},
        {"pixels shorter than used", patchedLe(plain, kHeader + 28, 70, 4), SPI_BROKEN_DATA},
        {"colour table shorter than 256 colours", magBytes(manyColours), SPI_BROKEN_DATA},
        {"copy from the row above in the first row", withFlags(0, 0x40), SPI_BROKEN_DATA},
        {"copy from the left of the first word", withFlags(0, 0x10), SPI_BROKEN_DATA},
        {"copy from 4 words left of the second word", withFlags(0, 0x03), SPI_BROKEN_DATA},
        {"copy from 16 rows up in row 15", withFlags(15, char(0xF0)), SPI_BROKEN_DATA},
        {"copy from 16 rows up in row 16", withFlags(16, char(0xF0)), SPI_SUCCESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Dib dib;
        EXPECT_EQ(magPlugin().decode(c.bytes, dib), c.expected);
        // GetPictureInfo agrees: the same size for what decodes, "not MAG" for what is not.
        PictureDescription description;
        const int32_t described = magPlugin().describe(c.bytes, description);
        if (c.expected == SPI_SUCCESS) {
            ASSERT_EQ(described, SPI_SUCCESS);
            EXPECT_EQ(description.info.width, dib.width());
            EXPECT_EQ(description.info.height, dib.height());
        }
        if (c.expected == SPI_UNKNOWN_FORMAT) {
            EXPECT_EQ(described, SPI_UNKNOWN_FORMAT);
        }
    }
}

TEST(MagPlugin, HostileSizesAreRefusedQuickly) {
    struct Hostile {
        const char* name;
        uint16_t x1, y1;
        int32_t expected;
    };
    for (const Hostile& c :
         {Hostile{"65536 x 65536", 65535, 65535, SPI_NO_MEMORY},
          Hostile{"40000 x 60000", 39999, 59999, SPI_NO_MEMORY},
          Hostile{"8000 x 8000 from a few bytes", 7999, 7999, SPI_BROKEN_DATA}}) {
        SCOPED_TRACE(c.name);
        QByteArray mag = patchedLe(magBytes(literalMag(20)), kHeader + 8, c.x1, 2);
        mag = patchedLe(mag, kHeader + 10, c.y1, 2);
        PictureDescription description;
        ASSERT_EQ(magPlugin().describe(mag, description), SPI_SUCCESS);
        EXPECT_EQ(description.info.width, c.x1 + 1);
        EXPECT_EQ(description.info.height, c.y1 + 1);
        QElapsedTimer timer;
        timer.start();
        Dib dib;
        EXPECT_EQ(magPlugin().decode(mag, dib), c.expected);
        EXPECT_LT(timer.elapsed(), 1000);
    }
}

} // namespace
