#include "imaging/fullsize.h"
#include "platform/checked.h"
#include "platform/imagecontrol.h"
#include "tests/support/answerer.h"
#include "tests/support/decodeddib.h"
#include "tests/support/jpegmaker.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstring>
#include <utility>

using testsupport::RecordingAnswerer;

namespace {

// Distinct corners on a picture of gradients: enough to tell every turn and mirror apart.
QImage cornerPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x + y) % 200));
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(width - 1, 0, qRgb(0, 255, 0));
    image.setPixel(0, height - 1, qRgb(0, 0, 255));
    image.setPixel(width - 1, height - 1, qRgb(255, 255, 0));
    return image;
}

void decodeInto(const QImage& image) {
    ASSERT_TRUE(testsupport::putDecodedDib(image));
}

// A 24-bit BMP file: file header, an information header of headerSize bytes (40, or 124 for
// the V5 header), the rows.
QByteArray bmpFile(const QImage& image, int headerSize, int32_t heightField = 0) {
    const QByteArray dib = platform::imageToDib(image, 24).value;
    platform::BitmapInfoHeader header{};
    std::memcpy(&header, dib.constData(), 40);
    header.biSize = uint32_t(headerSize);
    if (heightField != 0)
        header.biHeight = heightField;
    QByteArray infoBlock(headerSize, '\0');
    std::memcpy(infoBlock.data(), &header, 40);
    const QByteArray rows = dib.mid(40);
    platform::BitmapFileHeader file{platform::BmpFileType, uint32_t(14 + headerSize + rows.size()),
                                    0, 0, uint32_t(14 + headerSize)};
    return QByteArray(reinterpret_cast<const char*>(&file), 14) + infoBlock + rows;
}

class FullSizeTest : public ::testing::Test {
protected:
    void TearDown() override {
        FreeCurrentDib();
        FreeDecodedDib();
    }
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        EXPECT_TRUE(testsupport::writeFile(path, bytes));
        return path;
    }
    QTemporaryDir dir_;
};

TEST(DibSizeTest, RowsArePaddedToFourBytesAndOverflowIsRefused) {
    EXPECT_EQ(DibImageSizeOf(768, 576), 1327104);
    EXPECT_EQ(DibImageSizeOf(768, 480), 1105920);
    EXPECT_EQ(DibImageSizeOf(640, 480), 921600);
    EXPECT_EQ(DibImageSizeOf(5, 3), 48);
    EXPECT_EQ(DibImageSizeOf(1, 1), 4);
    EXPECT_EQ(DibImageSizeOf(0, 77), 0);
    EXPECT_EQ(DibImageSizeOf(5, 0), 0);
    EXPECT_THROW(DibImageSizeOf(40000, 40000), platform::OverflowError);
    EXPECT_THROW(DibImageSizeOf(1 << 30, 1), platform::OverflowError);

    RecordingAnswerer answers;
    CheckDibSize(48, 0);
    CheckDibSize(48, 48);
    EXPECT_TRUE(answers.messages.empty());
    CheckDibSize(48, 52);
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0].text,
              QStringLiteral("このメッセージがでたら作者まで連絡してくださいmm(48 52)"));
}

TEST_F(FullSizeTest, J6IPicturesGetWhiteSideBandsAndOthersDoNot) {
    const QImage picture = cornerPicture(768, 480);
    for (bool isJ6I : {true, false}) {
        decodeInto(picture);
        EXPECT_EQ(AdoptDecodedPicture(isJ6I), QSize(768, 480));
        EXPECT_EQ(DecodedDib.info, nullptr);
        EXPECT_EQ(DibImageSize, 1105920);
        EXPECT_EQ(DibHeaderSize, 44);
        const QImage held = CurrentDibImage();
        for (int x : {0, 3, 764, 767})
            EXPECT_EQ(held.pixel(x, 100) == qRgb(255, 255, 255), isJ6I) << x;
        EXPECT_EQ(held.pixel(4, 100), picture.pixel(4, 100));
        EXPECT_EQ(held.pixel(763, 100), picture.pixel(763, 100));
        FreeCurrentDib();
    }
    // Narrower than two bands: the whole row turns white, nothing beyond it.
    decodeInto(cornerPicture(3, 2));
    AdoptDecodedPicture(true);
    EXPECT_EQ(CurrentDibImage().pixel(2, 1), qRgb(255, 255, 255));
}

TEST_F(FullSizeTest, TheDecodedRowsBecomeThePicturesAndAShortBlockIsFilledOutWithWhite) {
    decodeInto(cornerPicture(64, 48));
    const platform::HGLOBAL decodedRows = DecodedDib.pixels;
    AdoptDecodedPicture(false);
    EXPECT_EQ(CurrentDib.pixels, decodedRows) << "taken over, not copied";
    FreeCurrentDib();

    decodeInto(cornerPicture(5, 3)); // rows of 16 bytes
    const auto shorter = platform::GlobalAlloc(platform::GMEM_MOVEABLE, 20);
    std::memcpy(platform::LockedBlock(shorter).data(),
                platform::LockedBlock(DecodedDib.pixels).data(), 20);
    platform::GlobalFree(std::exchange(DecodedDib.pixels, shorter));
    AdoptDecodedPicture(false);
    ASSERT_EQ(platform::GlobalSize(CurrentDib.pixels), size_t(48));
    const QImage held = CurrentDibImage();
    EXPECT_EQ(held.pixel(0, 2), cornerPicture(5, 3).pixel(0, 2)) << "the rows there were";
    EXPECT_EQ(held.pixel(4, 0), qRgb(255, 255, 255)) << "the rows missing";
}

TEST_F(FullSizeTest, TurningMovesEveryCornerBothWays) {
    for (const QSize size : {QSize(768, 480), QSize(5, 3), QSize(6, 1)}) {
        const QImage picture = cornerPicture(size.width(), size.height());
        for (int direction : {1, 3}) {
            decodeInto(picture);
            AdoptDecodedPicture(false);
            platform::ImageControl shown;
            RotateCurrentDib(shown, direction);
            const int w = size.width();
            const int h = size.height();
            EXPECT_EQ(DibImageSize, DibImageSizeOf(h, w));
            ASSERT_EQ(platform::GlobalSize(CurrentDib.pixels), size_t(DibImageSize));
            const QImage turned = CurrentDibImage();
            ASSERT_EQ(turned.size(), QSize(h, w));
            EXPECT_EQ(shown.picture(), turned);
            // Clockwise the left edge becomes the top; counter-clockwise the top becomes the
            // left edge.
            const QImage expected =
                picture.transformed(QTransform().rotate(direction == 3 ? -90 : 90));
            for (const QPoint corner : {QPoint(0, 0), QPoint(h - 1, 0), QPoint(0, w - 1),
                                        QPoint(h - 1, w - 1), QPoint(h / 2, w / 3)})
                EXPECT_EQ(turned.pixel(corner), expected.pixel(corner))
                    << w << "x" << h << " direction " << direction;
            {
                // The turned block is not zeroed first: its rows' padding is cleared on its own.
                const platform::LockedBlock pixels(CurrentDib.pixels);
                const size_t stride = size_t(DibImageSizeOf(h, 1));
                int nonZeroPadding = 0;
                for (int y = 0; y < w; ++y)
                    for (size_t at = size_t(h) * 3; at < stride; ++at)
                        nonZeroPadding += pixels.as<const uint8_t>()[size_t(y) * stride + at] != 0;
                EXPECT_EQ(nonZeroPadding, 0) << w << "x" << h;
            }
            FreeCurrentDib();
        }
    }
}

TEST_F(FullSizeTest, TwentyFourBitBmpFilesAreReadDirectly) {
    const QImage picture = cornerPicture(5, 3);
    // The V5 header puts the rows at offset 138.
    for (int headerSize : {40, 124}) {
        ASSERT_TRUE(LoadBmp24(write("a.bmp", bmpFile(picture, headerSize))));
        EXPECT_EQ(uint32_t(BmpFileHeader.bfOffBits), uint32_t(14 + headerSize));
        EXPECT_TRUE(Correctable);
        EXPECT_EQ(DibImageSize, 48);
        EXPECT_EQ(platform::GlobalSize(CurrentDib.header), 44u);
        EXPECT_EQ(CurrentDibImage(), picture.convertToFormat(QImage::Format_RGB32));
        FreeCurrentDib();
    }

    // Other bit counts are left to the picture control; below 8 bits no correction applies.
    for (const auto& [format, correctable] :
         {std::pair{QImage::Format_Mono, false}, std::pair{QImage::Format_Indexed8, true}}) {
        // More than 16 colours, or the writer would store 4 bits.
        const QImage indexed = cornerPicture(40, 30).convertToFormat(format);
        const QString path = dir_.filePath("indexed.bmp");
        ASSERT_TRUE(indexed.save(path, "BMP"));
        EXPECT_FALSE(LoadBmp24(path));
        EXPECT_EQ(Correctable, correctable);
        EXPECT_EQ(CurrentDib.pixels, nullptr);
    }
}

TEST_F(FullSizeTest, HostileBmpFilesAllocateNothing) {
    const QImage picture = cornerPicture(5, 3);
    const QByteArray good = bmpFile(picture, 40);
    // Rows stored top down, and no width at all: the picture control's business.
    EXPECT_FALSE(LoadBmp24(write("topdown.bmp", bmpFile(picture, 40, -3))));
    QByteArray noWidth = good;
    std::memset(noWidth.data() + 18, 0, 4);
    EXPECT_FALSE(LoadBmp24(write("nowidth.bmp", noWidth)));
    QByteArray notBmp = good;
    notBmp[0] = 'X';
    EXPECT_FALSE(LoadBmp24(write("notbmp.bmp", notBmp)));

    // Rows that are not all there, or that would start beyond the end: an input error.
    EXPECT_THROW(LoadBmp24(write("short.bmp", good.left(good.size() - 1))), platform::IoError);
    QByteArray farOffset = good;
    const uint32_t beyond = 1000;
    std::memcpy(farOffset.data() + 10, &beyond, 4);
    EXPECT_THROW(LoadBmp24(write("far.bmp", farOffset)), platform::IoError);
    EXPECT_THROW(LoadBmp24(write("tiny.bmp", good.left(30))), platform::IoError);
    EXPECT_THROW(LoadBmp24(dir_.filePath("missing.bmp")), platform::IoError);

    // A header that claims 40000 × 40000 pixels overflows before anything is allocated.
    QByteArray huge = good;
    const int32_t side = 40000;
    std::memcpy(huge.data() + 18, &side, 4);
    std::memcpy(huge.data() + 22, &side, 4);
    EXPECT_THROW(LoadBmp24(write("huge.bmp", huge)), platform::OverflowError);
    // One that fits in 32 bits but not in the file is refused without a gigabyte block.
    const int32_t large = 20000;
    std::memcpy(huge.data() + 18, &large, 4);
    std::memcpy(huge.data() + 22, &large, 4);
    RecordingAnswerer answers; // the header's own row size differs from the rule's
    EXPECT_THROW(LoadBmp24(write("large.bmp", huge)), platform::IoError);
    EXPECT_EQ(CurrentDib.header, nullptr);
    EXPECT_EQ(CurrentDib.pixels, nullptr);
}

} // namespace
