#include "platform/dib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>

#include "platform/checked.h"
#include "tests/support/testdata.h"

using namespace platform;

namespace platform {
// Lets GoogleTest name the reasons in its messages.
void PrintTo(DibError error, std::ostream* out) {
    *out << dibErrorName(error);
}
} // namespace platform

namespace {

// ---- The BMP test suite ----------------------------------------------------------------------

QString suitePath(const QString& relative) {
    return testsupport::testdataDir() + QStringLiteral("/bmpsuite/") + relative;
}

QByteArray readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// A BMP file as the picture control reads it, from a buffer of exactly its size, so that the
// sanitizer build sees any read past its end.
DibResult<QImage> decodeBmpFile(const QByteArray& file) {
    const std::vector<uint8_t> bytes(file.begin(), file.end());
    return bmpFileToImage(bytes);
}

DibResult<QImage> decodeSuiteFile(const QString& relative) {
    const QByteArray file = readWhole(suitePath(relative));
    EXPECT_FALSE(file.isEmpty()) << relative.toStdString();
    return decodeBmpFile(file);
}

std::set<QString> bmpFilesIn(const QString& folder) {
    const QStringList names =
        QDir(suitePath(folder)).entryList({QStringLiteral("*.bmp")}, QDir::Files);
    return {names.begin(), names.end()};
}

enum class Compare {
    Exact,
    // The reference has transparency: only its opaque pixels say what the colour is.
    OpaquePixels,
    // Off by one in a channel is accepted (see the file's entry for why).
    WithinOne,
    // The reference has transparency: it is laid over white, off by one accepted for the
    // rounding of the reference's own channels.
    OverWhite,
};

QRgb referenceOverWhite(QRgb pixel) {
    const auto channel = [a = qAlpha(pixel)](int c) {
        return (c * a + 255 * (255 - a) + 127) / 255;
    };
    return qRgb(channel(qRed(pixel)), channel(qGreen(pixel)), channel(qBlue(pixel)));
}

void expectSameRgb(const QImage& actual, const QImage& expected, const std::string& what,
                   Compare compare = Compare::Exact) {
    ASSERT_FALSE(expected.isNull()) << what;
    ASSERT_EQ(actual.size(), expected.size()) << what;
    const QImage reference = expected.convertToFormat(QImage::Format_ARGB32);
    int mismatches = 0;
    std::string first;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const QRgb got = actual.pixel(x, y);
            QRgb want = reference.pixel(x, y);
            if (compare == Compare::OpaquePixels && qAlpha(want) != 255)
                continue;
            if (compare == Compare::OverWhite)
                want = referenceOverWhite(want);
            const int tolerance = compare == Compare::WithinOne || compare == Compare::OverWhite;
            if (std::abs(qRed(got) - qRed(want)) <= tolerance &&
                std::abs(qGreen(got) - qGreen(want)) <= tolerance &&
                std::abs(qBlue(got) - qBlue(want)) <= tolerance)
                continue;
            if (mismatches++ == 0)
                first = QStringLiteral(" first at (%1,%2): %3 instead of %4")
                            .arg(x)
                            .arg(y)
                            .arg(got & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                            .arg(want & 0xFFFFFF, 6, 16, QLatin1Char('0'))
                            .toStdString();
        }
    }
    EXPECT_EQ(mismatches, 0) << what << first;
}

// How one file of the suite must come out: refused with error, or converted and, when there is
// a reference rendering, equal to it.
struct SuiteCase {
    const char* file;
    DibError error;
    const char* reference; // in html/, or null
    Compare compare = Compare::Exact;
};

void checkSuiteFolder(const QString& folder, std::span<const SuiteCase> cases) {
    std::set<QString> listed;
    for (const SuiteCase& c : cases) {
        const QString relative = folder + QLatin1Char('/') + QLatin1String(c.file);
        const std::string what = relative.toStdString();
        listed.insert(QString::fromLatin1(c.file));
        const DibResult<QImage> decoded = decodeSuiteFile(relative);
        EXPECT_EQ(decoded.error, c.error) << what << ": " << dibErrorName(decoded.error)
                                          << " instead of " << dibErrorName(c.error);
        EXPECT_EQ(decoded.value.isNull(), !decoded.ok()) << what;
        if (!decoded.ok())
            continue;
        EXPECT_EQ(decoded.value.format(), QImage::Format_RGB32) << what;
        if (c.reference)
            expectSameRgb(decoded.value,
                          QImage(suitePath(QStringLiteral("html/") + QLatin1String(c.reference))),
                          what, c.compare);
    }
    // A file added to the folder must get an entry here, not be skipped.
    EXPECT_EQ(bmpFilesIn(folder), listed) << "files of " << folder.toStdString();
}

constexpr DibError Converts = DibError::None;

} // namespace

TEST(DibSuite, GoodFilesConvertToTheirReferencePixels) {
    TAZU_REQUIRE_TESTDATA();
    const SuiteCase cases[] = {
        {"pal1.bmp", Converts, "pal1.png"},
        {"pal1wb.bmp", Converts, "pal1.png"},
        {"pal1bg.bmp", Converts, "pal1bg.png"},
        {"pal4.bmp", Converts, "pal4.png"},
        {"pal4gs.bmp", Converts, "pal4gs.png"},
        {"pal8.bmp", Converts, "pal8.png"},
        {"pal8-0.bmp", Converts, "pal8.png"},
        {"pal8gs.bmp", Converts, "pal8gs.png"},
        // The "-v" reference is stretched to square pixels; a DIB conversion keeps the stored
        // pixels, which is the "-e" rendering.
        {"pal8nonsquare.bmp", Converts, "pal8nonsquare-e.png"},
        {"pal8topdown.bmp", Converts, "pal8.png"},
        {"pal8v4.bmp", Converts, "pal8.png"},
        {"pal8v5.bmp", Converts, "pal8.png"},
        {"pal8w124.bmp", Converts, "pal8w124.png"},
        {"pal8w125.bmp", Converts, "pal8w125.png"},
        {"pal8w126.bmp", Converts, "pal8w126.png"},
        {"rgb16.bmp", Converts, "rgb16.png"},
        {"rgb16bfdef.bmp", Converts, "rgb16.png"},
        {"rgb16-565.bmp", Converts, "rgb16-565.png"},
        {"rgb16-565pal.bmp", Converts, "rgb16-565.png"},
        {"rgb24.bmp", Converts, "rgb24.png"},
        {"rgb24pal.bmp", Converts, "rgb24.png"},
        {"rgb32.bmp", Converts, "rgb24.png"},
        {"rgb32bf.bmp", Converts, "rgb24.png"},
        {"rgb32bfdef.bmp", Converts, "rgb24.png"},
        // Known exclusions: run-length encoded pixels and the 12-byte OS/2 header are not
        // converted.
        {"pal4rle.bmp", DibError::UnsupportedCompression, nullptr},
        {"pal8rle.bmp", DibError::UnsupportedCompression, nullptr},
        {"pal8os2.bmp", DibError::UnsupportedHeader, nullptr},
    };
    checkSuiteFolder(QStringLiteral("g"), cases);
}

TEST(DibSuite, QuestionableFilesConvertAsWindowsShowsThemOrAreRefused) {
    TAZU_REQUIRE_TESTDATA();
    const SuiteCase cases[] = {
        // A one-entry table: index 1 is beyond it and shows black, as in the reference.
        {"pal1p1.bmp", Converts, "pal1p1.png"},
        {"pal8offs.bmp", Converts, "pal8.png"},
        {"pal8os2v2.bmp", Converts, "pal8.png"},
        {"pal8os2v2-40sz.bmp", Converts, "pal8.png"},
        {"pal8os2v2-sz.bmp", Converts, "pal8.png"},
        // 300 table entries: the whole table is in the block, pixels select from the first 256.
        {"pal8oversizepal.bmp", Converts, "pal8.png"},
        {"rgb16-231.bmp", Converts, "rgb16-231.png"},
        {"rgb16-3103.bmp", Converts, "rgb16-3103.png"},
        // The unused top bit of 5-5-5 is ignored.
        {"rgb16faketrns.bmp", Converts, "rgb16.png"},
        {"rgb24largepal.bmp", Converts, "rgb24.png"},
        // Colour profiles are not applied; the first profile changes nothing visible.
        {"rgb24lprof.bmp", Converts, "rgb24.png"},
        {"rgb24prof.bmp", Converts, "rgb24.png"},
        // Red and green are stored swapped for the profile to swap back: nothing to compare.
        {"rgb24prof2.bmp", Converts, nullptr},
        // One row stores red as 1690 of 2047 (210.53), which rounds to 211 where the
        // reference shows 210.
        {"rgb32-111110.bmp", Converts, "rgb24.png", Compare::WithinOne},
        {"rgb32-7187.bmp", Converts, "rgb32-7187.png"},
        {"rgb32-xbgr.bmp", Converts, "rgb24.png"},
        // The top byte of BI_RGB is ignored, so nothing turns transparent.
        {"rgb32fakealpha.bmp", Converts, "rgb24.png"},
        {"rgb32h52.bmp", Converts, "rgb24.png"},
        // Alpha masks in headers of 56 bytes and more, and BI_ALPHABITFIELDS: laid over white.
        {"rgba16-1924.bmp", Converts, "rgba16-1924.png", Compare::OverWhite},
        {"rgba16-4444.bmp", Converts, "rgba16-4444.png", Compare::OverWhite},
        {"rgba16-5551.bmp", Converts, "rgba16-5551.png", Compare::OverWhite},
        {"rgba32-1.bmp", Converts, "rgba32.png", Compare::OverWhite},
        {"rgba32-2.bmp", Converts, "rgba32.png", Compare::OverWhite},
        {"rgba32-1010102.bmp", Converts, "rgba32-1010102.png", Compare::OverWhite},
        {"rgba32-61754.bmp", Converts, "rgba32-61754.png", Compare::OverWhite},
        {"rgba32-81284.bmp", Converts, "rgba32-81284.png", Compare::OverWhite},
        {"rgba32h56.bmp", Converts, "rgba32.png", Compare::OverWhite},
        {"rgba32abf.bmp", Converts, "rgba32.png", Compare::OverWhite},
        // Refused: OS/2 headers shorter than 40 bytes, 2 bits a pixel, RLE, Huffman
        // (compression 3 of OS/2 with 1 bit), embedded JPEG and PNG, 64 bits.
        {"pal8os2-hs.bmp", DibError::UnsupportedHeader, nullptr},
        {"pal8os2-sz.bmp", DibError::UnsupportedHeader, nullptr},
        {"pal8os2sp.bmp", DibError::UnsupportedHeader, nullptr},
        {"pal8os2v2-16.bmp", DibError::UnsupportedHeader, nullptr},
        {"pal2.bmp", DibError::UnsupportedBitCount, nullptr},
        {"pal2color.bmp", DibError::UnsupportedBitCount, nullptr},
        {"pal4rlecut.bmp", DibError::UnsupportedCompression, nullptr},
        {"pal4rletrns.bmp", DibError::UnsupportedCompression, nullptr},
        {"pal8rlecut.bmp", DibError::UnsupportedCompression, nullptr},
        {"pal8rletrns.bmp", DibError::UnsupportedCompression, nullptr},
        {"rgb24rle24.bmp", DibError::UnsupportedCompression, nullptr},
        {"pal1huffmsb.bmp", DibError::UnsupportedCompression, nullptr},
        {"rgb24jpeg.bmp", DibError::UnsupportedBitCount, nullptr},
        {"rgb24png.bmp", DibError::UnsupportedBitCount, nullptr},
        {"rgba64.bmp", DibError::UnsupportedBitCount, nullptr},
    };
    checkSuiteFolder(QStringLiteral("q"), cases);
}

TEST(DibSuite, BadFilesAreRefusedUnlessTheFaultIsInAFieldWindowsIgnores) {
    TAZU_REQUIRE_TESTDATA();
    const SuiteCase cases[] = {
        {"badbitcount.bmp", DibError::UnsupportedBitCount, nullptr},
        // biSizeImage and the densities mean nothing for BI_RGB pixels, and the file size is
        // not part of the DIB: Windows shows these pictures, and so do we.
        {"badbitssize.bmp", Converts, "pal1.png"},
        {"baddens1.bmp", Converts, "pal1.png"},
        {"baddens2.bmp", Converts, "pal1.png"},
        {"badfilesize.bmp", Converts, "pal1.png"},
        // A 66-byte header: the first 40 bytes are the header, as for every size of 40 or more.
        {"badheadersize.bmp", Converts, "pal1.png"},
        {"badpalettesize.bmp", DibError::TruncatedColorTable, nullptr},
        {"badplanes.bmp", DibError::BadPlanes, nullptr},
        {"badrle.bmp", DibError::UnsupportedCompression, nullptr},
        {"badrlebis.bmp", DibError::UnsupportedCompression, nullptr},
        {"badrleter.bmp", DibError::UnsupportedCompression, nullptr},
        {"badrle4.bmp", DibError::UnsupportedCompression, nullptr},
        {"badrle4bis.bmp", DibError::UnsupportedCompression, nullptr},
        {"badrle4ter.bmp", DibError::UnsupportedCompression, nullptr},
        {"rletopdown.bmp", DibError::UnsupportedCompression, nullptr},
        {"badwidth.bmp", DibError::BadDimensions, nullptr},
        // Indices beyond the table show black (checked pixel by pixel below).
        {"pal8badindex.bmp", Converts, nullptr},
        {"reallybig.bmp", DibError::TooLarge, nullptr},
        // An empty blue mask gives blue 0 everywhere, which is what the reference shows.
        {"rgb16-880.bmp", Converts, "rgb16-880.png"},
        {"shortfile.bmp", DibError::TruncatedPixels, nullptr},
    };
    checkSuiteFolder(QStringLiteral("b"), cases);
}

TEST(DibSuite, IndicesBeyondTheColourTableShowBlack) {
    TAZU_REQUIRE_TESTDATA();
    const QByteArray file = readWhole(suitePath(QStringLiteral("b/pal8badindex.bmp")));
    const DibResult<QImage> decoded = decodeBmpFile(file);
    ASSERT_TRUE(decoded.ok());
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.constData());
    BitmapInfoHeader header;
    std::memcpy(&header, bytes + 14, sizeof header);
    const uint8_t* table = bytes + 14 + header.biSize;
    const uint8_t* rows = bytes + 14 + header.biSize + 4 * header.biClrUsed;
    const int rowBytes = (header.biWidth + 3) & ~3;
    int beyondTable = 0;
    for (int y = 0; y < header.biHeight; ++y) {
        for (int x = 0; x < header.biWidth; ++x) {
            const uint8_t index = rows[(header.biHeight - 1 - y) * rowBytes + x];
            QRgb expected = qRgb(0, 0, 0);
            if (index < header.biClrUsed)
                expected = qRgb(table[4 * index + 2], table[4 * index + 1], table[4 * index]);
            else
                ++beyondTable;
            ASSERT_EQ(decoded.value.pixel(x, y), expected) << x << "," << y;
        }
    }
    EXPECT_GT(beyondTable, 1000);
}

TEST(DibSuite, PackedDibOffsetsAgreeWithTheFilesOfTheSuite) {
    TAZU_REQUIRE_TESTDATA();
    // The good files that are packed (pixels right after the colour table) locate their pixels
    // with packedDibBitsOffset and convert as they do from separate blocks.
    int packedFiles = 0;
    for (const QString& name : bmpFilesIn(QStringLiteral("g"))) {
        const QByteArray file = readWhole(suitePath(QStringLiteral("g/") + name));
        const std::vector<uint8_t> packed(file.begin() + 14, file.end());
        const DibResult<DibLayout> layout = readDibHeader(packed);
        if (!layout || layout.value.header.biCompression > BI_BITFIELDS)
            continue;
        BitmapFileHeader fileHeader;
        std::memcpy(&fileHeader, file.constData(), sizeof fileHeader);
        const int64_t bitsOffset = fileHeader.bfOffBits; // GoogleTest binds references
        EXPECT_EQ(bitsOffset, 14 + packedDibBitsOffset(layout.value.header)) << name.toStdString();
        const DibResult<QImage> fromPacked = packedDibToImage(packed);
        ASSERT_TRUE(fromPacked.ok()) << name.toStdString();
        EXPECT_EQ(fromPacked.value, decodeBmpFile(file).value) << name.toStdString();
        ++packedFiles;
    }
    EXPECT_GE(packedFiles, 20);
}

// ---- Generated DIBs ----------------------------------------------------------------------

namespace {

using Bytes = std::vector<uint8_t>;

struct InfoFields {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bitCount = 24;
    uint32_t compression = BI_RGB;
    uint32_t clrUsed = 0;
    uint32_t headerSize = 40;
    uint16_t planes = 1;
    // Masks or colour table entries (0x00RRGGBB), written from offset 40: after a 40-byte
    // header, inside a longer one.
    std::vector<uint32_t> words = {};
};

Bytes infoBlock(const InfoFields& fields) {
    BitmapInfoHeader header{};
    header.biSize = fields.headerSize;
    header.biWidth = fields.width;
    header.biHeight = fields.height;
    header.biPlanes = fields.planes;
    header.biBitCount = fields.bitCount;
    header.biCompression = fields.compression;
    header.biClrUsed = fields.clrUsed;
    // The block is as long as the header says, except for absurd sizes meant to be refused.
    const size_t declared = fields.headerSize < 4096 ? fields.headerSize : 0;
    Bytes block(std::max({sizeof header, declared, sizeof header + 4 * fields.words.size()}));
    std::memcpy(block.data(), &header, sizeof header);
    if (!fields.words.empty())
        std::memcpy(block.data() + sizeof header, fields.words.data(), 4 * fields.words.size());
    return block;
}

Bytes le16(std::initializer_list<uint16_t> values) {
    Bytes bytes(2 * values.size());
    std::memcpy(bytes.data(), std::data(values), bytes.size());
    return bytes;
}

Bytes le32(std::initializer_list<uint32_t> values) {
    Bytes bytes(4 * values.size());
    std::memcpy(bytes.data(), std::data(values), bytes.size());
    return bytes;
}

// The picture's pixels, line by line from the top.
std::vector<QRgb> pixelsOf(const QImage& image) {
    std::vector<QRgb> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            pixels.push_back(image.pixel(x, y));
    return pixels;
}

std::vector<QRgb> convert(const Bytes& info, const Bytes& pixels) {
    const DibResult<QImage> result = dibToImage(info, pixels);
    EXPECT_TRUE(result.ok()) << dibErrorName(result.error);
    if (result.ok()) {
        EXPECT_EQ(result.value.format(), QImage::Format_RGB32);
    }
    return pixelsOf(result.value);
}

constexpr QRgb Red = qRgb(255, 0, 0), Green = qRgb(0, 255, 0), Blue = qRgb(0, 0, 255),
               White = qRgb(255, 255, 255), Black = qRgb(0, 0, 0);

} // namespace

TEST(DibToImage, PaletteDepthsReadIndicesHighBitsFirstAndShowBlackBeyondTheTable) {
    // 1 bit, bottom-up; the bits past the width and the padding bytes are set to show they
    // are not read.
    const Bytes info1 = infoBlock(
        {.width = 3, .height = 2, .bitCount = 1, .clrUsed = 2, .words = {0xFF0000, 0x0000FF}});
    EXPECT_EQ(convert(info1, {0xBF, 0xEE, 0xEE, 0xEE, 0x5F, 0xEE, 0xEE, 0xEE}),
              (std::vector<QRgb>{Red, Blue, Red, Blue, Red, Blue}));

    const Bytes info4 = infoBlock({.width = 3,
                                   .height = 1,
                                   .bitCount = 4,
                                   .clrUsed = 4,
                                   .words = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF}});
    EXPECT_EQ(convert(info4, {0x12, 0x3F, 0xEE, 0xEE}), (std::vector<QRgb>{Red, Green, Blue}));

    // Three entries: index 3 and 255 are beyond the table.
    const Bytes info8 = infoBlock({.width = 5,
                                   .height = 1,
                                   .bitCount = 8,
                                   .clrUsed = 3,
                                   .words = {0xFFFFFF, 0xFF0000, 0x00FF00}});
    EXPECT_EQ(convert(info8, {0, 1, 2, 3, 255, 0xEE, 0xEE, 0xEE}),
              (std::vector<QRgb>{White, Red, Green, Black, Black}));
}

TEST(DibToImage, SixteenBitChannelsAreScaledSoThatAFullChannelIsWhite) {
    // BI_RGB is 5-5-5; the top bit is unused. 3 of 31 is 24.7 of 255.
    const Bytes info555 = infoBlock({.width = 4, .height = 1, .bitCount = 16});
    EXPECT_EQ(convert(info555, le16({0x7FFF, 0x7C00, 0x83E0, 0x0003})),
              (std::vector<QRgb>{White, Red, Green, qRgb(0, 0, 25)}));

    // 5-6-5 bit fields; 1 of 63 is 4.05 of 255. Width 3 leaves 2 bytes of padding.
    const Bytes info565 = infoBlock({.width = 3,
                                     .height = 1,
                                     .bitCount = 16,
                                     .compression = BI_BITFIELDS,
                                     .words = {0xF800, 0x07E0, 0x001F}});
    EXPECT_EQ(convert(info565, le16({0xF800, 0x0020, 0x001F, 0xEEEE})),
              (std::vector<QRgb>{Red, qRgb(0, 4, 0), Blue}));
}

TEST(DibToImage, TwentyFourBitRowsArePaddedAtEveryWidthInBothRowOrders) {
    const auto colorAt = [](int x, int y) { return qRgb(10 + 40 * x, 20 + 100 * y, 30 + x + y); };
    for (int width : {1, 3, 5}) {
        for (bool topDown : {false, true}) {
            const int height = 2;
            const int rowBytes = (3 * width + 3) & ~3;
            Bytes pixels(size_t(rowBytes * height), 0xEE);
            for (int y = 0; y < height; ++y) {
                uint8_t* row = pixels.data() + rowBytes * (topDown ? y : height - 1 - y);
                for (int x = 0; x < width; ++x) {
                    row[3 * x] = uint8_t(qBlue(colorAt(x, y)));
                    row[3 * x + 1] = uint8_t(qGreen(colorAt(x, y)));
                    row[3 * x + 2] = uint8_t(qRed(colorAt(x, y)));
                }
            }
            std::vector<QRgb> expected;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    expected.push_back(colorAt(x, y));
            const Bytes info = infoBlock({.width = width, .height = topDown ? -height : height});
            EXPECT_EQ(convert(info, pixels), expected)
                << "width " << width << (topDown ? " top-down" : " bottom-up");
        }
    }
}

TEST(DibToImage, ThirtyTwoBitsIgnoreTheTopByteOrFollowTheBitFields) {
    const Bytes xrgb = infoBlock({.width = 2, .height = 1, .bitCount = 32});
    EXPECT_EQ(convert(xrgb, le32({0x12345678, 0xFFABCDEF})),
              (std::vector<QRgb>{qRgb(0x34, 0x56, 0x78), qRgb(0xAB, 0xCD, 0xEF)}));

    const Bytes xbgr = infoBlock({.width = 1,
                                  .height = 1,
                                  .bitCount = 32,
                                  .compression = BI_BITFIELDS,
                                  .words = {0x000000FF, 0x0000FF00, 0x00FF0000}});
    EXPECT_EQ(convert(xbgr, le32({0x00332211})), (std::vector<QRgb>{qRgb(0x11, 0x22, 0x33)}));

    // 10-10-10 with the two alpha bits set, in a 124-byte header (masks inside it), top-down.
    // 512 of 1023 is 127.6 of 255.
    const Bytes v5 = infoBlock({.width = 1,
                                .height = -2,
                                .bitCount = 32,
                                .compression = BI_BITFIELDS,
                                .headerSize = 124,
                                .words = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}});
    EXPECT_EQ(convert(v5, le32({0xFFF00000 | 512 << 10, 0xC00003FF})),
              (std::vector<QRgb>{qRgb(255, 128, 0), Blue}));
}

TEST(DibToImage, AlphaIsLaidOverWhiteUnlessEveryAlphaIsZero) {
    const Bytes argb = infoBlock({.width = 3,
                                  .height = 1,
                                  .bitCount = 32,
                                  .compression = BI_BITFIELDS,
                                  .headerSize = 124,
                                  .words = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}});
    // Opaque, transparent and half-transparent red: 127 of 255 white shows through.
    EXPECT_EQ(convert(argb, le32({0xFFFF0000, 0x00FF0000, 0x80FF0000})),
              (std::vector<QRgb>{Red, White, qRgb(255, 127, 127)}));
    EXPECT_EQ(convert(argb, le32({0x00FF0000, 0x0000FF00, 0x000000FF})),
              (std::vector<QRgb>{Red, Green, Blue}))
        << "alpha bytes left at 0 mean an opaque picture";

    // 5-5-5-1 through BI_ALPHABITFIELDS after a 40-byte header.
    const Bytes rgba5551 = infoBlock({.width = 3,
                                      .height = 1,
                                      .bitCount = 16,
                                      .compression = BI_ALPHABITFIELDS,
                                      .words = {0x7C00, 0x03E0, 0x001F, 0x8000}});
    EXPECT_EQ(convert(rgba5551, le16({0xFC00, 0x7C00, 0x83E0, 0})),
              (std::vector<QRgb>{Red, White, Green}));

    // No alpha: a fourth word after the masks of a 40-byte header, and the alpha field of a
    // long header whose pixels are BI_RGB.
    const Bytes fourthWord = infoBlock({.width = 2,
                                        .height = 1,
                                        .bitCount = 32,
                                        .compression = BI_BITFIELDS,
                                        .words = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}});
    EXPECT_EQ(convert(fourthWord, le32({0x00FF0000, 0xFF0000FF})), (std::vector<QRgb>{Red, Blue}));
    const Bytes plainV5 = infoBlock({.width = 2,
                                     .height = 1,
                                     .bitCount = 32,
                                     .headerSize = 124,
                                     .words = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}});
    EXPECT_EQ(convert(plainV5, le32({0x00FF0000, 0xFF0000FF})), (std::vector<QRgb>{Red, Blue}));
}

TEST(DibToImage, PicturesWithAlphaFromElsewhereAreFlattenedTheSameWay) {
    QImage straight(3, 1, QImage::Format_ARGB32);
    straight.setPixel(0, 0, qRgba(255, 0, 0, 255));
    straight.setPixel(1, 0, qRgba(255, 0, 0, 0));
    straight.setPixel(2, 0, qRgba(255, 0, 0, 128));
    for (const QImage& picture :
         {straight, straight.convertToFormat(QImage::Format_ARGB32_Premultiplied)}) {
        const QImage flat = flattenedOverWhite(picture);
        EXPECT_EQ(flat.format(), QImage::Format_RGB32);
        EXPECT_EQ(pixelsOf(flat), (std::vector<QRgb>{Red, White, qRgb(255, 127, 127)}));
    }
    QImage indexed(1, 1, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3)});
    indexed.fill(0);
    EXPECT_EQ(pixelsOf(flattenedOverWhite(indexed)), std::vector<QRgb>{qRgb(1, 2, 3)});
}

TEST(DibToImage, BmpFilesAreReadFromTheirBitsOffset) {
    const Bytes info = infoBlock({.width = 2, .height = 1});
    BitmapFileHeader fileHeader{BmpFileType, 0, 0, 0, 14 + 40 + 6};
    Bytes file(sizeof fileHeader);
    std::memcpy(file.data(), &fileHeader, sizeof fileHeader);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), 6, 0x77); // a gap before the pixels
    const Bytes pixels = {0, 0, 255, 255, 0, 0, 0, 0};
    file.insert(file.end(), pixels.begin(), pixels.end());
    const DibResult<QImage> read = bmpFileToImage(file);
    ASSERT_TRUE(read.ok()) << dibErrorName(read.error);
    EXPECT_EQ(pixelsOf(read.value), (std::vector<QRgb>{Red, Blue}));

    file[1] = 'A';
    EXPECT_EQ(bmpFileToImage(file).error, DibError::NotBmpFile);
    EXPECT_EQ(bmpFileToImage(Bytes(file.begin(), file.begin() + 13)).error,
              DibError::TruncatedHeader);
}

TEST(DibToImage, RefusesHostileHeaders) {
    const auto tooBig = [](int32_t width, int32_t height, uint16_t bitCount) {
        return infoBlock({.width = width,
                          .height = height,
                          .bitCount = bitCount,
                          .words = std::vector<uint32_t>(bitCount <= 8 ? 1 << bitCount : 0)});
    };
    const Bytes palette256 = infoBlock({.bitCount = 8, .words = std::vector<uint32_t>(256)});
    const Bytes plain = infoBlock({});
    struct Case {
        const char* what;
        Bytes info;
        DibError error;
    };
    const Case cases[] = {
        {"block of 3 bytes", Bytes(3), DibError::TruncatedHeader},
        {"header longer than block", infoBlock({.headerSize = 0xFFFFFFFF}),
         DibError::TruncatedHeader},
        {"block of 39 bytes", Bytes(plain.begin(), plain.end() - 1), DibError::TruncatedHeader},
        {"12-byte header", infoBlock({.headerSize = 12}), DibError::UnsupportedHeader},
        {"planes 0", infoBlock({.planes = 0}), DibError::BadPlanes},
        {"width 0", infoBlock({.width = 0}), DibError::BadDimensions},
        {"negative width", infoBlock({.width = -5}), DibError::BadDimensions},
        {"height 0", infoBlock({.height = 0}), DibError::BadDimensions},
        {"height INT32_MIN", infoBlock({.height = INT32_MIN}), DibError::BadDimensions},
        {"bit count 0", infoBlock({.bitCount = 0}), DibError::UnsupportedBitCount},
        {"bit count 2", infoBlock({.bitCount = 2, .words = {0, 0, 0, 0}}),
         DibError::UnsupportedBitCount},
        {"bit count 7", infoBlock({.bitCount = 7}), DibError::UnsupportedBitCount},
        {"bit count 64", infoBlock({.bitCount = 64}), DibError::UnsupportedBitCount},
        {"RLE8", infoBlock({.bitCount = 8, .compression = BI_RLE8}),
         DibError::UnsupportedCompression},
        {"bit fields at 24 bits",
         infoBlock({.compression = BI_BITFIELDS, .words = {0xFF0000, 0xFF00, 0xFF}}),
         DibError::UnsupportedCompression},
        {"alpha bit fields at 24 bits",
         infoBlock({.compression = BI_ALPHABITFIELDS, .words = {0xFF0000, 0xFF00, 0xFF, 0}}),
         DibError::UnsupportedCompression},
        {"alpha bit fields without the alpha mask",
         infoBlock(
             {.bitCount = 32, .compression = BI_ALPHABITFIELDS, .words = {0xFF0000, 0xFF00, 0xFF}}),
         DibError::BadBitfields},
        {"bit fields without masks", infoBlock({.bitCount = 16, .compression = BI_BITFIELDS}),
         DibError::BadBitfields},
        {"mask with a gap",
         infoBlock({.bitCount = 16, .compression = BI_BITFIELDS, .words = {0x0505, 0, 0}}),
         DibError::BadBitfields},
        {"mask wider than the pixel",
         infoBlock({.bitCount = 16, .compression = BI_BITFIELDS, .words = {0x1F0000, 0, 0}}),
         DibError::BadBitfields},
        {"table of 2^31 entries", infoBlock({.bitCount = 8, .clrUsed = 0x80000000}),
         DibError::TruncatedColorTable},
        {"table of 2^32-1 entries", infoBlock({.bitCount = 8, .clrUsed = 0xFFFFFFFF}),
         DibError::TruncatedColorTable},
        {"implied 256 entries, 255 present", Bytes(palette256.begin(), palette256.end() - 4),
         DibError::TruncatedColorTable},
        {"rows beyond int32", tooBig(INT32_MAX, INT32_MAX, 24), DibError::TooLarge},
        {"2^31 bytes of 32-bit rows", tooBig(32768, 16384, 32), DibError::TooLarge},
        // 450 MB of 1-bit rows is a valid DIB, but 14 GB as a picture.
        {"picture beyond int32", tooBig(60000, 60000, 1), DibError::TooLarge},
    };
    const Bytes pixels(64, 0);
    for (const Case& c : cases) {
        const DibResult<QImage> result = dibToImage(c.info, pixels);
        EXPECT_EQ(result.error, c.error) << c.what << ": " << dibErrorName(result.error);
        EXPECT_TRUE(result.value.isNull()) << c.what;
    }
}

TEST(DibToImage, RefusesAPixelBlockOneByteShort) {
    // 3 × 2 at 24 bits: rows of 12 bytes, the last row's padding included.
    const Bytes info = infoBlock({.width = 3, .height = 2});
    EXPECT_TRUE(dibToImage(info, Bytes(24)).ok());
    EXPECT_EQ(dibToImage(info, Bytes(23)).error, DibError::TruncatedPixels);
    EXPECT_EQ(dibToImage(info, Bytes()).error, DibError::TruncatedPixels);

    // A packed DIB whose declared table (ignored at 24 bits) hides the pixels past its end.
    Bytes packed = infoBlock({.width = 3, .height = 2, .clrUsed = 0x80000000});
    packed.resize(packed.size() + 24);
    EXPECT_EQ(packedDibToImage(packed).error, DibError::TruncatedPixels);
}

TEST(DibLayoutHelpers, RowBytesAndBitsOffset) {
    EXPECT_EQ(DibImageRowBytes(1, 1), 4);
    EXPECT_EQ(DibImageRowBytes(33, 1), 8);
    EXPECT_EQ(DibImageRowBytes(3, 4), 4);
    EXPECT_EQ(DibImageRowBytes(5, 24), 16);
    EXPECT_EQ(DibImageRowBytes(5, 32), 20);
    EXPECT_EQ(DibImageRowBytes(0, 24), 0);
    EXPECT_EQ(DibImageRowBytes(INT32_MAX, 1), 268435456);
    EXPECT_THROW(DibImageRowBytes(INT32_MAX, 8), OverflowError);
    EXPECT_THROW(DibImageRowBytes(-1, 24), std::invalid_argument);

    const auto offsetOf = [](const InfoFields& fields) {
        BitmapInfoHeader header;
        std::memcpy(&header, infoBlock(fields).data(), sizeof header);
        return packedDibBitsOffset(header);
    };
    EXPECT_EQ(offsetOf({.bitCount = 8}), 40 + 256 * 4);
    EXPECT_EQ(offsetOf({.bitCount = 4, .clrUsed = 3}), 40 + 3 * 4);
    EXPECT_EQ(offsetOf({.bitCount = 24}), 40);
    EXPECT_EQ(offsetOf({.bitCount = 24, .clrUsed = 256}), 40 + 256 * 4);
    EXPECT_EQ(offsetOf({.bitCount = 16, .compression = BI_BITFIELDS}), 52);
    EXPECT_EQ(offsetOf({.bitCount = 16, .compression = BI_BITFIELDS, .headerSize = 124}), 124);
    EXPECT_EQ(offsetOf({.bitCount = 32, .compression = BI_ALPHABITFIELDS}), 56);
    EXPECT_EQ(offsetOf({.bitCount = 8, .clrUsed = 0xFFFFFFFF}), 40 + 4 * int64_t(0xFFFFFFFF));
}

// ---- QImage to DIB -------------------------------------------------------------------------

namespace {

QImage indexedPicture(int width, int height, int colorCount) {
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colorCount; ++i)
        table.append(qRgb(i * 37 % 256, 255 - i, i * 101 % 256));
    image.setColorTable(table);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = uint8_t((x * 7 + y * 3) % colorCount);
    return image;
}

QImage truePicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 50 % 256, y * 80 % 256, (x * y * 13 + 7) % 256));
    return image;
}

BitmapInfoHeader headerOf(const QByteArray& dib) {
    BitmapInfoHeader header;
    std::memcpy(&header, dib.constData(), sizeof header);
    return header;
}

} // namespace

TEST(ImageToDib, RoundTripsEveryBitDepthAndWritesBottomUpPaddedRows) {
    struct Case {
        int32_t bitCount;
        QImage picture;
        int32_t colorCount;
    };
    const Case cases[] = {
        {1, indexedPicture(5, 3, 2), 2}, {4, indexedPicture(5, 3, 16), 16},
        {4, indexedPicture(5, 3, 3), 3}, {8, indexedPicture(5, 3, 256), 256},
        {24, truePicture(5, 3), 0},      {24, truePicture(1, 2), 0},
        {32, truePicture(5, 3), 0},      {24, indexedPicture(3, 2, 7), 0},
    };
    for (const Case& c : cases) {
        const std::string what =
            std::to_string(c.bitCount) + " bits, " + std::to_string(c.picture.width()) + " wide";
        const DibResult<QByteArray> dib = imageToDib(c.picture, c.bitCount);
        ASSERT_TRUE(dib.ok()) << what << ": " << dibErrorName(dib.error);
        // Aligned, as GoogleTest binds references to the fields.
        alignas(4) const BitmapInfoHeader header = headerOf(dib.value);
        const int32_t rowBytes = (c.picture.width() * c.bitCount + 31) / 32 * 4;
        EXPECT_EQ(header.biSize, 40u) << what;
        EXPECT_EQ(header.biWidth, c.picture.width()) << what;
        EXPECT_EQ(header.biHeight, c.picture.height()) << what;
        EXPECT_EQ(header.biBitCount, c.bitCount) << what;
        EXPECT_EQ(header.biCompression, BI_RGB) << what;
        EXPECT_EQ(header.biClrUsed, uint32_t(c.colorCount)) << what;
        EXPECT_EQ(header.biSizeImage, uint32_t(rowBytes * c.picture.height())) << what;
        EXPECT_EQ(dib.value.size(), 40 + 4 * c.colorCount + rowBytes * c.picture.height()) << what;

        const DibResult<QImage> back = packedDibToImage(byteView(dib.value));
        ASSERT_TRUE(back.ok()) << what << ": " << dibErrorName(back.error);
        expectSameRgb(back.value, c.picture, what);
    }

    // The first stored row is the bottom line, blue first, padded with zeros.
    const QImage picture = truePicture(1, 2);
    const QByteArray dib = imageToDib(picture, 24).value;
    const QRgb bottomLeft = picture.pixel(0, 1);
    const QByteArray firstRow = dib.mid(40, 4);
    EXPECT_EQ(uint8_t(firstRow[0]), qBlue(bottomLeft));
    EXPECT_EQ(uint8_t(firstRow[1]), qGreen(bottomLeft));
    EXPECT_EQ(uint8_t(firstRow[2]), qRed(bottomLeft));
    EXPECT_EQ(firstRow[3], '\0');
}

TEST(ImageToDib, SixteenBitsKeepTheTopFiveBitsOfEachChannel) {
    QImage picture(2, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 128, 8));
    picture.setPixel(1, 0, qRgb(0, 200, 7));
    const DibResult<QByteArray> dib = imageToDib(picture, 16);
    ASSERT_TRUE(dib.ok());
    // 31-16-1 and 0-25-0 as 5-5-5.
    EXPECT_EQ(dib.value.mid(40), QByteArray::fromHex("017e2003"));
    const DibResult<QImage> back = packedDibToImage(byteView(dib.value));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(pixelsOf(back.value), (std::vector<QRgb>{qRgb(255, 132, 8), qRgb(0, 206, 0)}));
    // A second trip changes nothing.
    EXPECT_EQ(imageToDib(back.value, 16).value, dib.value);
}

TEST(ImageToDib, MonoPicturesAndAlphaAreAccepted) {
    QImage mono(9, 2, QImage::Format_MonoLSB);
    mono.setColorTable({Red, Blue});
    mono.fill(0);
    mono.setPixel(8, 1, 1);
    const DibResult<QByteArray> dib = imageToDib(mono, 1);
    ASSERT_TRUE(dib.ok());
    const DibResult<QImage> back = packedDibToImage(byteView(dib.value));
    ASSERT_TRUE(back.ok());
    expectSameRgb(back.value, mono, "mono");

    QImage translucent(1, 1, QImage::Format_ARGB32);
    translucent.setPixel(0, 0, qRgba(10, 20, 30, 0));
    const DibResult<QByteArray> opaque = imageToDib(translucent, 32);
    ASSERT_TRUE(opaque.ok());
    EXPECT_EQ(opaque.value.mid(40), QByteArray::fromHex("1e140a00"));
}

TEST(ImageToDib, RefusesWhatTheBitCountCannotHold) {
    EXPECT_EQ(imageToDib(QImage(), 24).error, DibError::UnsupportedImage);
    EXPECT_EQ(imageToDib(truePicture(2, 2), 2).error, DibError::UnsupportedBitCount);
    EXPECT_EQ(imageToDib(truePicture(2, 2), 0).error, DibError::UnsupportedBitCount);
    EXPECT_EQ(imageToDib(truePicture(2, 2), 8).error, DibError::UnsupportedImage);
    EXPECT_EQ(imageToDib(indexedPicture(2, 2, 16), 1).error, DibError::IndexOutOfRange);
    QImage badIndex = indexedPicture(2, 2, 3);
    badIndex.scanLine(1)[1] = 5;
    EXPECT_EQ(imageToDib(badIndex, 4).error, DibError::IndexOutOfRange);
}

TEST(BmpFile, QtsOwnReaderReadsTheFilesWeWrite) {
    // An independent reader checks the file header, the row order, the padding and the colour
    // table. 16 bits is left out: Qt widens 5 bits to 8 by shifting (full is 248), not scaling.
    const std::pair<int32_t, QImage> pictures[] = {{1, indexedPicture(13, 5, 2)},
                                                   {4, indexedPicture(7, 5, 11)},
                                                   {8, indexedPicture(6, 5, 200)},
                                                   {24, truePicture(7, 5)},
                                                   {32, truePicture(7, 5)}};
    for (const auto& [bitCount, picture] : pictures) {
        const std::string what = std::to_string(bitCount) + " bits";
        const QByteArray dib = imageToDib(picture, bitCount).value;
        const DibResult<BitmapFileHeader> fileHeader = bmpFileHeaderFor(byteView(dib));
        ASSERT_TRUE(fileHeader.ok()) << what << ": " << dibErrorName(fileHeader.error);
        const QByteArray file =
            QByteArray(reinterpret_cast<const char*>(&fileHeader.value), 14) + dib;
        EXPECT_EQ(file.left(2), "BM") << what;
        const uint32_t fileSize = fileHeader.value.bfSize;
        EXPECT_EQ(fileSize, uint32_t(file.size())) << what;
        const QImage read = QImage::fromData(file, "BMP");
        ASSERT_FALSE(read.isNull()) << what;
        expectSameRgb(read, picture, what);
    }

    const QByteArray dib = imageToDib(truePicture(3, 3), 24).value;
    EXPECT_EQ(bmpFileHeaderFor(byteView(dib.left(dib.size() - 1))).error,
              DibError::TruncatedPixels);
    EXPECT_EQ(bmpFileHeaderFor(byteView(dib.left(20))).error, DibError::TruncatedHeader);
}
