// ifpic.spi as the program uses it: the shared PIC files made by other programs against their
// reference renderings, pictures of every depth it reads made by our writer, streams written by
// hand for the colour cache and the chains, and files broken in the ways they can be.
#include "tests/support/picmaker.h"
#include "tests/support/spitesting.h"
#include "tests/support/testdata.h"
#include "tests/support/testpatterns.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

const SpiPlugin& picPlugin() {
    return testedPlugin(QStringLiteral("ifpic.spi"));
}

// A channel kept at 5 bits and widened back by repeating its high bits.
int fiveBitLevel(int level) {
    const int c = level >> 3;
    return c << 3 | c >> 2;
}

QRgb fiveBitColour(QRgb colour) {
    return qRgb(fiveBitLevel(qRed(colour)), fiveBitLevel(qGreen(colour)),
                fiveBitLevel(qBlue(colour)));
}

// The picture as a PIC of 15 or 16 bits (without the I bit) holds it.
QImage fiveBitPicture(const QImage& picture) {
    QImage result = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < result.height(); ++y)
        for (int x = 0; x < result.width(); ++x)
            result.setPixel(x, y, fiveBitColour(result.pixel(x, y)));
    return result;
}

::testing::AssertionResult closeTo(const Dib& dib, const QImage& expected, int tolerance) {
    if (dib.width() != expected.width() || dib.height() != expected.height())
        return ::testing::AssertionFailure() << dib.width() << "x" << dib.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb got = dib.colour(x, y), want = expected.pixel(x, y);
            if (std::abs(qRed(got) - qRed(want)) > tolerance ||
                std::abs(qGreen(got) - qGreen(want)) > tolerance ||
                std::abs(qBlue(got) - qBlue(want)) > tolerance)
                return ::testing::AssertionFailure()
                       << "at (" << x << ", " << y << "): " << std::hex << got << " for " << want;
        }
    return ::testing::AssertionSuccess();
}

// The start of a file, up to and including the header fields common to every type.
constexpr int kHeaderEnd = 13; // "PIC", 0x1A, 0, reserved, type, bits, width, height

TEST(PicPlugin, SharedFilesMatchTheirReferences) {
    TAZU_REQUIRE_TESTDATA();
    struct Expected {
        int width, height, depth;
        uint16_t xDensity, yDensity;
        std::string comment;
    };
    const std::map<QString, Expected> expected = {
        {QStringLiteral("PL_GEN512.PIC"), {512, 512, 15, 3, 4, ""}},
        {QStringLiteral("PL_GEN640x400.PIC"), {640, 400, 15, 3, 4, ""}},
        {QStringLiteral("XV_TYPEF_512.PIC"), {512, 512, 24, 1, 1, "xv harness"}},
    };
    const QDir folder(testdataDir() + QStringLiteral("/retro/PIC"));
    const QStringList files = folder.entryList({QStringLiteral("*.PIC")}, QDir::Files);
    ASSERT_EQ(files.size(), qsizetype(expected.size()));
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(expected.contains(name));
        const Expected& want = expected.at(name);
        PictureDescription description;
        ASSERT_EQ(picPlugin().describeFile(folder.filePath(name), 0, description), SPI_SUCCESS);
        EXPECT_EQ(description.info.width, want.width);
        EXPECT_EQ(description.info.height, want.height);
        EXPECT_EQ(description.info.colorDepth, want.depth);
        EXPECT_EQ(description.info.x_density, want.xDensity);
        EXPECT_EQ(description.info.y_density, want.yDensity);
        EXPECT_EQ(description.text, want.comment);

        Dib dib;
        ASSERT_EQ(picPlugin().decodeFile(folder.filePath(name), 0, dib), SPI_SUCCESS);
        EXPECT_EQ(dib.bitCount(), 24);
        const QImage reference(folder.filePath(QFileInfo(name).completeBaseName() + ".png"));
        ASSERT_FALSE(reference.isNull());
        EXPECT_TRUE(closeTo(dib, reference, 8));
    }
}

struct Depth {
    PicMachine machine;
    int bits;
};

class PicDepths : public ::testing::TestWithParam<Depth> {};

// Pictures of every depth, odd sizes included, come back as written: palette pictures as 8-bit
// DIBs with their indices and table, colour pictures at 24 bits.
TEST_P(PicDepths, WriterPicturesComeBack) {
    const auto [machine, bits] = GetParam();
    const PicOptions options{.machine = machine, .bits = bits};
    for (const auto& [width, height] :
         {std::pair(1, 1), std::pair(7, 3), std::pair(301, 5), std::pair(64, 48)}) {
        SCOPED_TRACE(::testing::Message() << width << "x" << height);
        QImage picture;
        if (bits <= 8) {
            picture = indexedPattern(width, height, 1 << bits);
            QList<QRgb> table = picture.colorTable();
            for (QRgb& colour : table)
                colour = fiveBitColour(colour);
            picture.setColorTable(table);
        } else {
            picture = colourPattern(width, height);
            if (bits < 24)
                picture = fiveBitPicture(picture);
        }
        const QByteArray file = makePicFile(picture, options);
        PictureDescription description;
        ASSERT_EQ(picPlugin().describe(file, description), SPI_SUCCESS);
        Dib dib;
        ASSERT_EQ(picPlugin().decode(file, dib), SPI_SUCCESS);
        EXPECT_EQ(dib.width(), description.info.width);
        EXPECT_EQ(dib.height(), description.info.height);
        EXPECT_EQ(description.info.colorDepth, bits);
        if (bits <= 8) {
            EXPECT_EQ(dib.bitCount(), 8);
            ASSERT_EQ(dib.palette().size(), size_t(1) << bits);
            EXPECT_TRUE(holdsIndices(dib, picture));
        } else {
            EXPECT_EQ(dib.bitCount(), 24);
        }
        EXPECT_TRUE(showsPicture(dib, picture));
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllDepths, PicDepths,
    ::testing::Values(Depth{PicMachine::X68000, 4}, Depth{PicMachine::X68000, 8},
                      Depth{PicMachine::X68000, 15}, Depth{PicMachine::X68000, 16},
                      Depth{PicMachine::Generic, 15}, Depth{PicMachine::Generic, 24}),
    [](const ::testing::TestParamInfo<Depth>& info) {
        return std::string(info.param.machine == PicMachine::X68000 ? "X68000_" : "Generic_") +
               std::to_string(info.param.bits);
    });

// A picture 1 dot tall whose dots are the 24-bit colours the stream gives, one run each.
QByteArray rowOfColours(const std::vector<std::function<void(PicStream&)>>& newColours) {
    PicStream stream;
    for (size_t i = 0; i < newColours.size(); ++i) {
        stream.length(1);
        newColours[i](stream);
        if (i + 1 < newColours.size())
            stream.noChain();
    }
    return makePicHeader(int(newColours.size()), 1, {.machine = PicMachine::Generic, .bits = 24}) +
           stream.bytes();
}

QRgb grey(int level) {
    return qRgb(level, level, level);
}

TEST(PicPlugin, NewColoursGoToTheLeastRecentlyUsedSlot) {
    const auto literal = [](int level) {
        return [level](PicStream& s) { s.literal(uint32_t(level) * 0x010101, 24); };
    };
    const auto slot = [](int n) { return [n](PicStream& s) { s.slot(n); }; };

    // The first new colours fill slots 1, 2, ...; slot 0 holds black until it is used.
    Dib dib;
    ASSERT_EQ(
        picPlugin().decode(
            rowOfColours({literal(10), literal(20), slot(1), slot(2), slot(0), slot(5)}), dib),
        SPI_SUCCESS);
    const int levels[] = {10, 20, 10, 20, 0, 0};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(dib.colour(x, 0), grey(levels[x])) << x;

    // 128 new colours fill slots 1 to 127 and then 0; the 129th replaces slot 1 unless slot 1
    // was named since, when it replaces slot 2.
    for (const bool touchSlot1 : {false, true}) {
        std::vector<std::function<void(PicStream&)>> colours;
        for (int i = 0; i < 128; ++i)
            colours.push_back(literal(i + 1));
        if (touchSlot1)
            colours.push_back(slot(1));
        colours.push_back(literal(200));
        colours.push_back(slot(0));
        colours.push_back(slot(1));
        colours.push_back(slot(2));
        ASSERT_EQ(picPlugin().decode(rowOfColours(colours), dib), SPI_SUCCESS);
        const int last = dib.width() - 1;
        EXPECT_EQ(dib.colour(last - 2, 0), grey(128)) << "slot 0";
        EXPECT_EQ(dib.colour(last - 1, 0), grey(touchSlot1 ? 1 : 200)) << "slot 1";
        EXPECT_EQ(dib.colour(last, 0), grey(touchSlot1 ? 200 : 2)) << "slot 2";
    }

    // Many colours, each used again after others pushed it down the list, through the writer.
    QImage busy(200, 6, QImage::Format_RGB32);
    for (int y = 0; y < busy.height(); ++y)
        for (int x = 0; x < busy.width(); ++x)
            busy.setPixel(x, y, qRgb((x * 7 + y * 13) % 150, x % 3, y));
    ASSERT_EQ(
        picPlugin().decode(makePicFile(busy, {.machine = PicMachine::Generic, .bits = 24}), dib),
        SPI_SUCCESS);
    EXPECT_TRUE(showsPicture(dib, busy));
}

TEST(PicPlugin, IntensityBitIsTheLowestBitOfSixBitChannels) {
    const auto word = [](PicStream& s, int g, int r, int b, int i) {
        s.literal(uint32_t(g << 11 | r << 6 | b << 1 | i), 16);
    };
    PicStream stream;
    stream.length(1);
    word(stream, 0, 16, 31, 0);
    stream.noChain().length(1);
    word(stream, 0, 16, 31, 1);
    const QByteArray file = makePicHeader(2, 1, {.bits = 16}) + stream.bytes();
    Dib dib;
    ASSERT_EQ(picPlugin().decode(file, dib), SPI_SUCCESS);
    EXPECT_EQ(dib.colour(0, 0), qRgb(132, 0, 255));
    EXPECT_EQ(dib.colour(1, 0), qRgb(134, 4, 255));

    // The writer's whole pictures at 16 bits with the I bit set.
    const QImage picture = fiveBitPicture(colourPattern(9, 4));
    ASSERT_EQ(picPlugin().decode(makePicFile(picture, {.bits = 16, .intensity = true}), dib),
              SPI_SUCCESS);
    EXPECT_TRUE(closeTo(dib, picture, 4));
}

// A 5 x 4 picture of 15-bit colours A, B, C: dots 0 and 1 start chains, dot 2 is C, and one run
// fills the rest, taking up each chain mark's colour as it meets it:
//   A B C C C
//   A A B B B
//   A A A A B
//   A A A B B
constexpr uint32_t kA = 0x7C00, kB = 0x03E0, kC = 0x001F; // green, red, blue at full level

PicStream chainedStream(const std::vector<int>& lastChain = {}) {
    PicStream stream;
    stream.length(1).literal(kA, 15).chain({0, 0, 0});
    stream.length(1).literal(kB, 15).chain({1, 2, -1});
    stream.length(1).literal(kC, 15).noChain();
    if (lastChain.empty())
        return stream.length(18);
    // The same picture, with a new colour B at dot 18 starting a chain.
    stream.length(16).literal(kB, 15).chain(lastChain);
    return stream.length(2);
}

TEST(PicPlugin, RunsTakeUpTheColoursChainsLeftBelow) {
    const QRgb a = qRgb(0, 255, 0), b = qRgb(255, 0, 0), c = qRgb(0, 0, 255);
    const QRgb rows[4][5] = {{a, b, c, c, c}, {a, a, b, b, b}, {a, a, a, a, b}, {a, a, a, b, b}};
    // Marks below the last row are left out, whichever way they go.
    for (const std::vector<int>& lastChain :
         {std::vector<int>{}, std::vector<int>{-2}, std::vector<int>{2, 2, -1, 0, 1}}) {
        SCOPED_TRACE(lastChain.size());
        const QByteArray file = makePicHeader(5, 4, {}) + chainedStream(lastChain).bytes();
        Dib dib;
        ASSERT_EQ(picPlugin().decode(file, dib), SPI_SUCCESS);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(dib.colour(x, y), rows[y][x]) << x << ", " << y;
    }
}

TEST(PicPlugin, ReportsDotProportionsDepthAndComment) {
    struct Case {
        const char* name;
        PicOptions options;
        uint16_t x, y;
    };
    const QByteArray shiftJis = "\x83\x65\x83\x58\x83\x67"; // テスト
    const Case cases[] = {
        {"X68000 4 bits", {.bits = 4}, 1, 1},
        {"X68000 8 bits", {.bits = 8}, 3, 4},
        {"X68000 15 bits", {.bits = 15, .comment = shiftJis}, 3, 4},
        {"X68000 16 bits", {.bits = 16}, 3, 4},
        {"square dots", {.bits = 15, .comment = shiftJis + " /XSS/"}, 1, 1},
        {"dummy bytes", {.bits = 15, .comment = "/XSS", .dummy = "/\x01"}, 3, 4},
        {"generic", {.machine = PicMachine::Generic, .bits = 24}, 1, 1},
        {"generic mode 1", {.machine = PicMachine::Generic, .bits = 24, .mode = 1}, 3, 4},
        {"generic tall dots",
         {.machine = PicMachine::Generic, .bits = 15, .aspectHeight = 2, .aspectWidth = 1},
         2,
         1},
        {"generic aspect over mode",
         {.machine = PicMachine::Generic,
          .bits = 24,
          .mode = 1,
          .aspectHeight = 4,
          .aspectWidth = 6},
         2,
         3},
        {"generic mode 15, one aspect byte 0",
         {.machine = PicMachine::Generic, .bits = 24, .mode = 15, .aspectHeight = 3},
         1,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QImage picture = indexedPattern(6, 3, c.options.bits <= 8 ? 1 << c.options.bits : 256);
        if (c.options.bits > 8)
            picture = picture.convertToFormat(QImage::Format_RGB32);
        PictureDescription description;
        ASSERT_EQ(picPlugin().describe(makePicFile(picture, c.options), description), SPI_SUCCESS);
        EXPECT_EQ(description.info.width, 6);
        EXPECT_EQ(description.info.height, 3);
        EXPECT_EQ(description.info.colorDepth, c.options.bits);
        EXPECT_EQ(description.info.x_density, c.x);
        EXPECT_EQ(description.info.y_density, c.y);
        EXPECT_EQ(description.text, c.options.comment.toStdString());
    }
}

TEST(PicPlugin, RecognisesTheSignatureWithItsCommentEnd) {
    const QByteArray file = makePicFile(colourPattern(4, 4), {.comment = "a comment"});
    EXPECT_TRUE(picPlugin().supports(file));
    EXPECT_FALSE(picPlugin().supports("PIC without an end of comment"));
    EXPECT_FALSE(picPlugin().supports(QByteArray("Pic\x1A\0", 5)));
    EXPECT_FALSE(picPlugin().supports(QByteArray("Pi\x1A\0\0", 5)));
}

QByteArray withByte(QByteArray bytes, qsizetype at, char value) {
    bytes[at] = value;
    return bytes;
}
QByteArray withBigEndian16(QByteArray bytes, qsizetype at, uint16_t value) {
    bytes[at] = char(value >> 8);
    bytes[at + 1] = char(value & 0xFF);
    return bytes;
}

TEST(PicPlugin, BrokenAndForeignFilesGetTheirResult) {
    const QByteArray colour = makePicFile(colourPattern(16, 8));
    const QByteArray palette = makePicFile(indexedPattern(16, 8, 256), {.bits = 8});
    const QByteArray generic =
        makePicFile(colourPattern(16, 8), {.machine = PicMachine::Generic, .bits = 24});
    const auto header = [](int width, int height, const PicOptions& options = {}) {
        return makePicHeader(width, height, options);
    };
    struct Case {
        const char* name;
        QByteArray file;
        int32_t result;
        bool inHeader; // GetPictureInfo gives the same result
    };
    const Case cases[] = {
        {"no signature", colour.mid(1), SPI_UNKNOWN_FORMAT, true},
        {"no end of comment", colour.left(3), SPI_UNKNOWN_FORMAT, true},
        {"no zero after the comment", colour.left(4), SPI_BROKEN_DATA, true},
        {"header cut short", colour.left(kHeaderEnd - 1), SPI_BROKEN_DATA, true},
        {"generic header cut short", generic.left(kHeaderEnd + 5), SPI_BROKEN_DATA, true},
        {"no stream", colour.left(kHeaderEnd), SPI_BROKEN_DATA, false},
        {"stream cut in half", colour.left(colour.size() / 2), SPI_BROKEN_DATA, false},
        {"last byte missing", colour.left(colour.size() - 1), SPI_BROKEN_DATA, false},
        {"palette cut short", palette.left(kHeaderEnd + 511), SPI_BROKEN_DATA, true},
        {"generic stream cut", generic.left(generic.size() - 1), SPI_BROKEN_DATA, false},
        {"width 0", withBigEndian16(colour, 9, 0), SPI_BROKEN_DATA, true},
        {"height 0", withBigEndian16(colour, 11, 0), SPI_BROKEN_DATA, true},
        {"PC-88VA", withByte(colour, 6, 1), SPI_UNKNOWN_FORMAT, true},
        {"FM TOWNS", withByte(colour, 6, 2), SPI_UNKNOWN_FORMAT, true},
        {"Macintosh", withByte(colour, 6, 3), SPI_UNKNOWN_FORMAT, true},
        {"X68000 mode 1", withByte(colour, 6, 0x10), SPI_UNKNOWN_FORMAT, true},
        {"X68000 12 bits", withBigEndian16(colour, 7, 12), SPI_UNKNOWN_FORMAT, true},
        {"X68000 24 bits", withBigEndian16(colour, 7, 24), SPI_UNKNOWN_FORMAT, true},
        {"generic 8 bits", withBigEndian16(generic, 7, 8), SPI_UNKNOWN_FORMAT, true},
        {"generic 16 bits", withBigEndian16(generic, 7, 16), SPI_UNKNOWN_FORMAT, true},
        {"generic mode 2", withByte(generic, 6, 0x2F), SPI_UNKNOWN_FORMAT, true},
        {"DIB beyond 2 GB", header(65535, 65535) + PicStream().length(1).bytes(), SPI_NO_MEMORY,
         false},
        {"length longer than any picture",
         header(4, 4) + PicStream().put(0xFFFFFFFFF, 36).put(0, 64).bytes(), SPI_BROKEN_DATA,
         false},
        {"large picture, stream of a few bytes", header(3000, 2000) + QByteArray(4, '\x55'),
         SPI_BROKEN_DATA, false},
        {"chain off the left",
         header(5, 4) + PicStream().length(1).literal(kA, 15).chain({-1}).length(19).bytes(),
         SPI_BROKEN_DATA, false},
        {"chain off the right",
         header(5, 4) + PicStream().length(5).literal(kA, 15).chain({0, 1}).length(15).bytes(),
         SPI_BROKEN_DATA, false},
        {"chain off the right by two",
         header(5, 4) + PicStream().length(4).literal(kA, 15).chain({2}).length(16).bytes(),
         SPI_BROKEN_DATA, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QElapsedTimer timer;
        timer.start();
        Dib dib;
        EXPECT_EQ(picPlugin().decode(c.file, dib), c.result);
        EXPECT_LT(timer.elapsed(), 1000);
        // Faults of the stream show only when it is decoded.
        PictureDescription description;
        EXPECT_EQ(picPlugin().describe(c.file, description), c.inHeader ? c.result : SPI_SUCCESS);
    }
}

} // namespace
