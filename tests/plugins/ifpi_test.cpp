// ifpi.spi through its exports, loaded as the program loads it: the shared Pi files written by
// other programs against their reference renderings, and files of our own writer.
#include "tests/support/jpegmaker.h"
#include "tests/support/pimaker.h"
#include "tests/support/spitesting.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

using namespace testsupport;

namespace {

const SpiPlugin& piPlugin() {
    return testedPlugin(QStringLiteral("ifpi.spi"));
}

QString sharedPiFile(const char* name) {
    return QDir(testdataDir()).filePath(QStringLiteral("retro/PI/") + QLatin1String(name));
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The largest difference of one colour channel between the DIB and the picture.
int largestChannelDifference(const Dib& dib, const QImage& expected) {
    int largest = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb a = dib.colour(x, y), b = expected.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(a) - qRed(b)),
                                std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
        }
    return largest;
}

struct SharedFile {
    const char* name;
    int width, height, colours;
    uint16_t xDensity, yDensity;
    const char* comment;
    int tolerance; // per channel, against the reference rendering
};

TEST(PiPlugin, SharedFilesShowTheirReferenceRenderings) {
    TAZU_REQUIRE_TESTDATA();
    const SharedFile files[] = {
        {"MG_T16.PI", 640, 400, 16, 1, 1, "User:MG-test \r\n16c 640x400 via MG 0.99c ", 0},
        {"MG_T256.PI", 640, 400, 256, 1, 1, "", 0},
        {"MG_L200.PI", 640, 200, 16, 2, 1, "", 0},
        {"MG_ODD16.PI", 301, 233, 16, 1, 1, "", 0},
        {"MG_DEFPAL.PI", 320, 200, 16, 1, 1, "", 15},
        {"XV_16.PI", 640, 400, 16, 1, 1, "xv harness", 0},
    };
    for (const SharedFile& file : files) {
        SCOPED_TRACE(file.name);
        const QString path = sharedPiFile(file.name);
        const QImage reference(path.chopped(3) + QStringLiteral(".png"));
        ASSERT_FALSE(reference.isNull());
        const QByteArray bytes = readAll(path);
        EXPECT_TRUE(piPlugin().supports(bytes));

        PictureDescription description;
        ASSERT_EQ(piPlugin().describeFile(path, 0, description), SPI_SUCCESS);
        EXPECT_EQ(description.info.width, file.width);
        EXPECT_EQ(description.info.height, file.height);
        EXPECT_EQ(description.info.colorDepth, file.colours == 16 ? 4 : 8);
        EXPECT_EQ(description.info.x_density, file.xDensity);
        EXPECT_EQ(description.info.y_density, file.yDensity);
        EXPECT_EQ(description.text, file.comment);

        Dib dib;
        ASSERT_EQ(piPlugin().decodeFile(path, 0, dib), SPI_SUCCESS);
        EXPECT_EQ(dib.bitCount(), 8);
        EXPECT_EQ(int(dib.palette().size()), file.colours);
        if (file.tolerance == 0)
            EXPECT_TRUE(showsPicture(dib, reference));
        else
            EXPECT_LE(largestChannelDifference(dib, reference), file.tolerance);
    }
}

// A picture of `colours` colours with a part for each way the stream can repeat dots: noise
// (colours only), columns (the dot above), rows alternating in pairs (two rows up), both
// diagonals (above-right and above-left) and horizontal runs (two or four dots back).
QImage mixedPicture(int width, int height, int colours) {
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i)
        table.append(qRgb((i * 37 + 5) & 255, (i * 101 + 90) & 255, (250 - i * 13) & 255));
    image.setColorTable(table);
    uint32_t random = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            random = random * 1103515245 + 12345;
            int value = 0;
            switch ((x * 6 / width + y / 16) % 6) {
            case 0:
                value = int(random >> 16);
                break;
            case 1:
                value = x / 3;
                break;
            case 2:
                value = (x / 2) * 2 + y % 2;
                break;
            case 3:
                value = x + y;
                break;
            case 4:
                value = x - y + 1000;
                break;
            default:
                value = (x / 4) % 2 ? 5 : 9 - (x % 2);
                break;
            }
            image.setPixel(x, y, uint(value % colours));
        }
    return image;
}

int32_t decoded(const QByteArray& file, Dib& dib) {
    return piPlugin().decode(file, dib);
}

TEST(PiPlugin, RoundTripsPicturesOfBothColourCountsAndAnyWidth) {
    for (const int colours : {16, 256})
        for (const auto& [width, height] :
             {std::pair(1, 5), std::pair(2, 3), std::pair(3, 1), std::pair(7, 9), std::pair(61, 40),
              std::pair(301, 233), std::pair(640, 80)}) {
            SCOPED_TRACE(::testing::Message() << colours << " colours, " << width << "x" << height);
            const QImage picture = mixedPicture(width, height, colours);
            const QByteArray file = makePiFile(picture);
            PictureDescription description;
            ASSERT_EQ(piPlugin().describe(file, description), SPI_SUCCESS);
            EXPECT_EQ(description.info.width, width);
            EXPECT_EQ(description.info.height, height);
            EXPECT_EQ(description.info.colorDepth, colours == 16 ? 4 : 8);
            Dib dib;
            ASSERT_EQ(decoded(file, dib), SPI_SUCCESS);
            EXPECT_EQ(int(dib.palette().size()), colours);
            EXPECT_TRUE(holdsIndices(dib, picture));
            EXPECT_TRUE(showsPicture(dib, picture));
        }
}

TEST(PiPlugin, ReportsAspectBytesAsDensities) {
    struct Case {
        uint8_t n, m;
        uint16_t x, y;
    };
    // Tall dots (n > m) are dense across: the program stretches the picture's height.
    for (const Case& c : {Case{0, 0, 1, 1}, Case{1, 1, 1, 1}, Case{2, 1, 2, 1}, Case{1, 2, 1, 2},
                          Case{0, 3, 1, 1}, Case{3, 0, 1, 1}, Case{5, 4, 5, 4}}) {
        SCOPED_TRACE(::testing::Message() << int(c.n) << ":" << int(c.m));
        PictureDescription description;
        ASSERT_EQ(
            piPlugin().describe(
                makePiFile(mixedPicture(8, 4, 16), {.aspectN = c.n, .aspectM = c.m}), description),
            SPI_SUCCESS);
        EXPECT_EQ(description.info.x_density, c.x);
        EXPECT_EQ(description.info.y_density, c.y);
    }
}

TEST(PiPlugin, CommentEndsAtTheEndMarkAndTheHeaderAfterTheFiller) {
    // Shift-JIS bytes as stored, the filler and the machine data skipped, the 0xFF plane mark.
    const QByteArray comment("User:\x83\x65\x83\x58\x83\x67\r\n");
    const QImage picture = mixedPicture(33, 12, 16);
    const QByteArray file = makePiFile(picture, {.planesByteFF = true,
                                                 .comment = comment,
                                                 .filler = "\x01\x02\xff",
                                                 .machineData = QByteArray(300, '\x00')});
    PictureDescription description;
    ASSERT_EQ(piPlugin().describe(file, description), SPI_SUCCESS);
    EXPECT_EQ(description.text, comment.toStdString());
    EXPECT_EQ(description.info.colorDepth, 4);
    Dib dib;
    ASSERT_EQ(decoded(file, dib), SPI_SUCCESS);
    EXPECT_TRUE(showsPicture(dib, picture));
}

TEST(PiPlugin, FilesWithoutPaletteUseTheFixedOne) {
    Dib dib;
    ASSERT_EQ(decoded(makePiFile(mixedPicture(16, 4, 16), {.defaultPalette = true}), dib),
              SPI_SUCCESS);
    ASSERT_EQ(dib.palette().size(), 16u);
    // Bit 0 blue, bit 1 red, bit 2 green, bit 3 bright.
    EXPECT_EQ(dib.paletteColour(0), qRgb(0, 0, 0));
    EXPECT_EQ(dib.paletteColour(1), qRgb(0, 0, 0x77));
    EXPECT_EQ(dib.paletteColour(6), qRgb(0x77, 0x77, 0));
    EXPECT_EQ(dib.paletteColour(7), qRgb(0x77, 0x77, 0x77));
    EXPECT_EQ(dib.paletteColour(8), qRgb(0, 0, 0));
    EXPECT_EQ(dib.paletteColour(10), qRgb(0xFF, 0, 0));
    EXPECT_EQ(dib.paletteColour(15), qRgb(0xFF, 0xFF, 0xFF));

    ASSERT_EQ(decoded(makePiFile(mixedPicture(16, 4, 256), {.defaultPalette = true}), dib),
              SPI_SUCCESS);
    ASSERT_EQ(dib.palette().size(), 256u);
    // GGGRRRBB.
    EXPECT_EQ(dib.paletteColour(0b00100001), qRgb(0, 0x20, 0x40));
    EXPECT_EQ(dib.paletteColour(0b00011100), qRgb(0xE0, 0, 0));
    EXPECT_EQ(dib.paletteColour(0xFF), qRgb(0xE0, 0xE0, 0xC0));
}

// The header of a 16-colour file without comment, palette data at 16, and a stream.
QByteArray headerWith(int width, int height, const QByteArray& stream) {
    QByteArray file("Pi\x1a\0\0\0\0\x04TAZU\0\0", 14);
    file += char(width >> 8);
    file += char(width);
    file += char(height >> 8);
    file += char(height);
    for (int i = 0; i < 16; ++i)
        file += QByteArray(3, char(i * 16));
    return file + stream;
}

TEST(PiPlugin, CopiesReadTheOpeningColoursAboveThePictureAndStopAtItsEnd) {
    // Colours 15 and 14 (codes 11, 11), then two rows up (10) for 3 pairs (101): every dot
    // comes from the rows imagined above, which repeat the opening colours.
    Dib dib;
    ASSERT_EQ(decoded(headerWith(3, 2, QByteArray("\xfa\x80", 2)), dib), SPI_SUCCESS);
    const int expected[2][3] = {{15, 14, 15}, {14, 15, 14}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(dib.index(x, y), expected[y][x]) << x << ", " << y;

    // A run of 2^20 + 0 pairs over a picture of 9 dots ends with the picture.
    ASSERT_EQ(decoded(headerWith(3, 3, QByteArray("\xf8\x7f\xff\xf0\x00\x00\x00", 7)), dib),
              SPI_SUCCESS);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(dib.index(x, y), (3 * y + x) % 2 ? 14 : 15) << x << ", " << y;
}

TEST(PiPlugin, RecognisesItsSignatureOnly) {
    EXPECT_TRUE(piPlugin().supports(makePiFile(mixedPicture(4, 4, 16))));
    for (const char* other : {"PI\x1a", "pi\x1a", "Pj\x1a", "MAKI02  ", "P"}) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(piPlugin().supports(other));
        PictureDescription description;
        EXPECT_EQ(piPlugin().describe(other, description), SPI_UNKNOWN_FORMAT);
    }
}

TEST(PiPlugin, BrokenFilesGiveResultCodes) {
    const QImage picture = mixedPicture(64, 64, 256);
    const QByteArray good = makePiFile(picture, {.comment = "abc"});
    // "Pi", comment 3, 0x1A and 0x00 at 5 and 6, header 7..16, sizes 17..20, palette 21..788.
    const auto withByte = [](QByteArray bytes, qsizetype at, char value) {
        bytes[at] = value;
        return bytes;
    };
    struct Case {
        const char* what;
        QByteArray file;
        int32_t info;    // GetPictureInfo
        int32_t picture; // GetPicture
    };
    const std::vector<Case> cases = {
        {"comment without end", good.left(5), SPI_UNKNOWN_FORMAT, SPI_UNKNOWN_FORMAT},
        {"comment area without end", good.left(6), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"cut in the header", good.left(12), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"cut in the sizes", good.left(19), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"palette shorter than its colours", good.left(500), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"stream cut in half", good.left(789 + (good.size() - 789) / 2), SPI_SUCCESS,
         SPI_BROKEN_DATA},
        {"no stream", good.left(789), SPI_SUCCESS, SPI_BROKEN_DATA},
        {"machine data past the end", withByte(good, 15, '\x7f'), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"five planes", withByte(good, 10, '\x05'), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"zero width", withByte(withByte(good, 17, 0), 18, 0), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        {"zero height", withByte(withByte(good, 19, 0), 20, 0), SPI_BROKEN_DATA, SPI_BROKEN_DATA},
        // Above-right of a one-dot-wide picture is the dot itself.
        {"copy from the dot itself", headerWith(1, 4, QByteArray("\xac", 1)), SPI_SUCCESS,
         SPI_BROKEN_DATA},
        {"run longer than any picture",
         headerWith(4, 4, QByteArray("\xa3") + QByteArray(8, '\xff')), SPI_SUCCESS,
         SPI_BROKEN_DATA},
        {"DIB beyond 2 GB", headerWith(65535, 65535, QByteArray(64, '\x55')), SPI_SUCCESS,
         SPI_NO_MEMORY},
        {"large picture, short stream", headerWith(4000, 4000, QByteArray(64, '\x55')), SPI_SUCCESS,
         SPI_BROKEN_DATA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PictureDescription description;
        EXPECT_EQ(piPlugin().describe(c.file, description), c.info);
        QElapsedTimer timer;
        timer.start();
        Dib dib;
        EXPECT_EQ(decoded(c.file, dib), c.picture);
        EXPECT_TRUE(dib.isEmpty());
        EXPECT_LT(timer.elapsed(), 1000);
    }
    // The last bytes of a stream may be missing: they read as zero bits.
    Dib dib;
    EXPECT_EQ(decoded(good.left(good.size() - 1), dib), SPI_SUCCESS);
}

struct ProgressLog {
    std::vector<std::pair<int32_t, int32_t>> calls{};
    int abortAtCall = -1;
};
ProgressLog progressLog;

int32_t recordProgress(int32_t done, int32_t total, int32_t) {
    progressLog.calls.emplace_back(done, total);
    return int(progressLog.calls.size()) - 1 == progressLog.abortAtCall ? 1 : 0;
}

TEST(PiPlugin, ReportsProgressByBandsAndStopsWhenAsked) {
    const QByteArray file = makePiFile(mixedPicture(40, 300, 16));
    progressLog = {};
    Dib dib;
    ASSERT_EQ(piPlugin().decode(file, dib, Call::Picture, recordProgress), SPI_SUCCESS);
    ASSERT_GE(progressLog.calls.size(), 300u / 64);
    EXPECT_EQ(progressLog.calls.front(), std::pair(0, 300));
    EXPECT_EQ(progressLog.calls.back(), std::pair(300, 300));
    for (size_t i = 1; i < progressLog.calls.size(); ++i) {
        EXPECT_GT(progressLog.calls[i].first, progressLog.calls[i - 1].first);
        EXPECT_LE(progressLog.calls[i].first - progressLog.calls[i - 1].first, 64 + 1);
    }
    for (const int abortAt : {0, 2}) {
        progressLog = {.abortAtCall = abortAt};
        EXPECT_EQ(piPlugin().decode(file, dib, Call::Picture, recordProgress), SPI_ABORTED);
        EXPECT_TRUE(dib.isEmpty());
        EXPECT_EQ(progressLog.calls.size(), size_t(abortAt) + 1);
    }
}

TEST(PiPlugin, ReadsAFileFromTheOffsetItIsGiven) {
    const QImage picture = mixedPicture(20, 10, 16);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wrapped.PI"));
    ASSERT_TRUE(writeFile(path, QByteArray(128, 'x') + makePiFile(picture)));
    Dib dib;
    EXPECT_EQ(piPlugin().decodeFile(path, 0, dib), SPI_UNKNOWN_FORMAT);
    ASSERT_EQ(piPlugin().decodeFile(path, 128, dib), SPI_SUCCESS);
    EXPECT_TRUE(holdsIndices(dib, picture));
}

} // namespace
