#include "correction/pipeline.h"
#include "imaging/fullsize.h"
#include "platform/imagecontrol.h"
#include "tests/support/decodeddib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

TAutoLevels testLevels;
TAutoLevels levelsForTest() {
    return testLevels;
}

// Every test starts from the default settings, manual levels and a picture that may be
// corrected.
class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        CorrectionSettings = {};
        testLevels = {};
        AutoLevelsFrom = levelsForTest;
        Correctable = true;
        WriteBack = false;
        LoadResult = HeldByComponent;
    }
    void TearDown() override {
        FreeCurrentDib();
        AutoLevelsFrom = nullptr;
    }

    // Holds picture in CurrentDib as a load would.
    static void hold(const QImage& picture) {
        ASSERT_TRUE(testsupport::putDecodedDib(picture));
        AdoptDecodedPicture(false);
        LoadResult = HeldAsDib;
    }
    static std::vector<uint8_t> heldPixels() {
        const platform::LockedBlock block(CurrentDib.pixels);
        const auto* p = block.as<const uint8_t>();
        return {p, p + DibImageSize};
    }
};

QImage gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7) % 256, (y * 13) % 256, (x + y) % 256));
    return image;
}

// The rows of one or more pixels as the pass sees them: bottom-up, blue first, padded.
std::vector<uint8_t> rows(int width, int height, uint8_t fill, uint8_t padding) {
    const int rowBytes = DibImageSizeOf(width, 1);
    std::vector<uint8_t> bytes(size_t(rowBytes) * size_t(height), padding);
    for (int y = 0; y < height; ++y)
        std::memset(bytes.data() + y * rowBytes, fill, size_t(width) * 3);
    return bytes;
}

TEST_F(PipelineTest, WorkedSampleValues) {
    const std::pair<int, int> shifts[] = {{-50, -128}, {-49, -125}, {-1, -2}, {1, 2},
                                          {2, 5},      {49, 125},   {50, 128}};
    for (const auto& [offset, shift] : shifts) {
        CorrectionSettings.Green = offset;
        const int base = shift < 0 ? 200 : 50; // away from the clamps
        uint8_t v = uint8_t(base);
        ShiftColourSample(v, 1);
        EXPECT_EQ(v, base + shift) << offset;
    }

    CorrectionSettings.Hitone = 2000;
    CorrectionSettings.Lowtone = 300;
    CorrectionSettings.Midtone = 500;
    SetManualCurve();
    EXPECT_EQ(CurveMid, 1150);
    for (const auto& [in, out] : {std::pair{29, 0}, {31, 1}, {100, 105}, {115, 128}, {200, 255}}) {
        uint8_t v = uint8_t(in);
        MapToneSample(v);
        EXPECT_EQ(v, out) << in;
    }
    CorrectionSettings = {};
    SetManualCurve();
    for (int in = 0; in < 256; ++in) {
        uint8_t v = uint8_t(in);
        MapToneSample(v);
        ASSERT_EQ(v, in);
    }

    // Blue 50 on (200, 100, 0) in blue, green, red order; red −1 takes a red 1 to 0.
    CorrectionSettings.Blue = 50;
    CorrectionSettings.Red = -1;
    uint8_t pixel[4] = {200, 100, 1, 0};
    CorrectPixels(pixel, 1, 1, false, true);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 100);
    EXPECT_EQ(pixel[2], 0);
}

TEST_F(PipelineTest, ThePassSkipsExactlyTheRowPadding) {
    CorrectionSettings.Green = 10;
    for (int width : {1, 2, 3, 4}) {
        std::vector<uint8_t> bytes = rows(width, 3, 100, 0xAB);
        CorrectPixels(bytes.data(), width, 3, false, true);
        const int rowBytes = DibImageSizeOf(width, 1);
        for (int y = 0; y < 3; ++y) {
            const uint8_t* row = bytes.data() + y * rowBytes;
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(row[x * 3 + 1], 125) << width;
            for (int pad = width * 3; pad < rowBytes; ++pad)
                EXPECT_EQ(row[pad], 0xAB) << width;
        }
    }
}

// The table-driven pass against the per-byte algorithm on random pictures and settings.
TEST_F(PipelineTest, TheTablePassEqualsThePerByteAlgorithm) {
    std::mt19937 random(7);
    const auto between = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    for (int round = 0; round < 200; ++round) {
        TCorrectionSettings& c = CorrectionSettings;
        c.Blue = between(-50, 50);
        c.Green = round % 4 == 0 ? 0 : between(-50, 50);
        c.Red = round % 5 == 0 ? 50 : between(-50, 50);
        c.Lowtone = between(0, 2540);
        c.Hitone = between(c.Lowtone + 10, 2550);
        c.Midtone = between(100, 900);
        SetManualCurve();
        const bool tone = round % 3 != 1;
        const bool colour = round % 3 != 2;
        const int width = between(1, 37);
        const int height = between(1, 9);
        std::vector<uint8_t> bytes(size_t(DibImageSizeOf(width, height)));
        for (uint8_t& b : bytes)
            b = uint8_t(between(0, 255));
        std::vector<uint8_t> expected = bytes;
        const int rowBytes = DibImageSizeOf(width, 1);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                for (int k = 0; k < 3; ++k) {
                    uint8_t& v = expected[size_t(y * rowBytes + x * 3 + k)];
                    if (colour)
                        ShiftColourSample(v, k);
                    if (tone)
                        MapToneSample(v);
                }
            }
        }
        CorrectPixels(bytes.data(), width, height, tone, colour);
        ASSERT_EQ(bytes, expected) << "round " << round;
    }
}

TEST_F(PipelineTest, AutomaticLevelsFollowTheHistogramWithinTheirClamps) {
    // 10 000 samples, a shadow loss of 10 per mille: the lowest 100 samples lie in bins 0..2.
    LevelHistogram.fill(0);
    LevelHistogram[0] = 40;
    LevelHistogram[1] = 30;
    LevelHistogram[2] = 50;
    LevelHistogram[128] = 10000 - 120;
    LevelSampleCount = 10000;
    testLevels = {true, 0, 10};
    FindAutoLevels();
    EXPECT_EQ(CurveLow, 30);
    EXPECT_EQ(CurveHigh, 2550);
    EXPECT_EQ(CurveMid, 1290);

    testLevels = {true, 0, 0};
    FindAutoLevels();
    EXPECT_EQ(CurveLow, 0);
    EXPECT_EQ(CurveMid, 1275);
    EXPECT_EQ(CurveHigh, 2550);

    // A black picture's highlight and a white one's shadow stop at the clamps, and targets the
    // histogram cannot reach end the search at its ends.
    for (const auto& [bin, low, high] : {std::tuple{0, 10, 1500}, {255, 1000, 2540}}) {
        LevelHistogram.fill(0);
        LevelHistogram[size_t(bin)] = 1000;
        LevelSampleCount = 1000;
        testLevels = {true, 100, 100};
        FindAutoLevels();
        EXPECT_EQ(CurveLow, low);
        EXPECT_EQ(CurveHigh, high);
        LevelSampleCount = 1000000; // more than the histogram holds
        FindAutoLevels();
        EXPECT_EQ(CurveLow, 1000);
        EXPECT_EQ(CurveHigh, 1500);
    }
}

TEST_F(PipelineTest, OnlyTheCentralWindowIsSampled) {
    // 640 × 480: columns 64..566 and rows 48..422 hold 100, the rest 200.
    const int width = 640;
    const int height = 480;
    std::vector<uint8_t> bytes = rows(width, height, 200, 0);
    for (int y = 48; y <= 422; ++y)
        std::memset(bytes.data() + y * width * 3 + 64 * 3, 100, (566 - 64 + 1) * 3);
    testLevels = {true, 0, 0};
    SampleDibLevels(bytes.data(), width, height);
    EXPECT_EQ(LevelSampleCount, 503 * 375);
    EXPECT_EQ(LevelHistogram[100], 503 * 375);
    EXPECT_EQ(LevelHistogram[200], 0);

    // A bitmap adds every byte of the window, and counts every byte of the picture.
    QImage bitmap(width, height, QImage::Format_RGB32);
    bitmap.fill(qRgb(200, 200, 200));
    for (int y = 48; y <= 422; ++y)
        for (int x = 64; x <= 566; ++x)
            bitmap.setPixel(x, height - 1 - y, qRgb(100, 100, 100)); // storage rows bottom-up
    SampleBitmapLevels(bitmap);
    EXPECT_EQ(LevelSampleCount, 3 * 640 * 480);
    EXPECT_EQ(LevelHistogram[100], 3 * 503 * 375);
    EXPECT_EQ(LevelHistogram[200], 0);

    // Under 11 pixels the window is empty and the curve stays the identity.
    testLevels = {true, 50, 50};
    const std::vector<uint8_t> small = rows(10, 10, 60, 0);
    SampleDibLevels(small.data(), 10, 10);
    EXPECT_EQ(LevelSampleCount, 0);
    EXPECT_EQ(CurveLow, 0);
    EXPECT_EQ(CurveHigh, 2550);
}

TEST_F(PipelineTest, ModesDecideWhatIsDrawnAndWriteBackKeepsIt) {
    const QImage picture = gradient(13, 7);
    hold(picture);
    const std::vector<uint8_t> original = heldPixels();
    CorrectionSettings.Red = 20;
    CorrectionSettings.Hitone = 2000;
    platform::ImageControl target;
    target.setPicture(QImage(20, 10, QImage::Format_RGB32));

    // Both corrections at output time: the input-time drawing (also for unknown modes) is the
    // picture as loaded, on white.
    for (int mode : {int(InputTimeOnly), 5}) {
        DrawCorrected(QImage(), target, mode);
        EXPECT_EQ(target.picture().copy(0, 0, 13, 7), picture);
        EXPECT_EQ(target.picture().pixel(19, 9), qRgb(255, 255, 255));
    }
    DrawCorrected(QImage(), target, ColourOnly);
    EXPECT_EQ(qRed(target.picture().pixel(0, 0)), qRed(picture.pixel(0, 0)) + 51);
    EXPECT_EQ(qBlue(target.picture().pixel(0, 0)), qBlue(picture.pixel(0, 0)));
    DrawCorrected(QImage(), target, BothCorrections);
    const QImage both = target.picture().copy(0, 0, 13, 7);
    EXPECT_NE(both, picture);
    EXPECT_EQ(heldPixels(), original);

    CorrectionSettings.CLBL = false; // colour at input time
    DrawCorrected(QImage(), target, InputTimeOnly);
    EXPECT_EQ(qRed(target.picture().pixel(0, 0)), qRed(picture.pixel(0, 0)) + 51);
    EXPECT_EQ(qGreen(target.picture().pixel(0, 0)), qGreen(picture.pixel(0, 0)));

    WriteBack = true;
    DrawCorrected(QImage(), target, BothCorrections);
    WriteBack = false;
    CorrectionSettings = {};
    DrawCorrected(QImage(), target, BothCorrections); // defaults: no pass, the held pixels
    EXPECT_EQ(target.picture().copy(0, 0, 13, 7), both);

    // A picture that may not be corrected is not drawn at all.
    Correctable = false;
    target.setPicture(QImage(4, 4, QImage::Format_RGB32));
    target.canvas().fill(Qt::black);
    DrawCorrected(QImage(), target, BothCorrections);
    EXPECT_EQ(target.picture().pixel(0, 0), qRgb(0, 0, 0));
}

TEST_F(PipelineTest, ABitmapIsCorrectedIntoTheTargetAndLeftAsItWas) {
    const QImage source = gradient(6, 5);
    platform::ImageControl target;
    CorrectionSettings.Blue = -50;
    DrawCorrected(source, target, BothCorrections);
    ASSERT_EQ(target.picture().size(), QSize(6, 5));
    for (const QPoint at : {QPoint(0, 0), QPoint(5, 4), QPoint(2, 3)}) {
        const QRgb in = source.pixel(at);
        EXPECT_EQ(target.picture().pixel(at),
                  qRgb(qRed(in), qGreen(in), std::max(0, qBlue(in) - 128)));
    }
    EXPECT_EQ(source, gradient(6, 5));
}

TEST_F(PipelineTest, ExportUsesTheInputTimeCorrectionsAndTheLastDrawnCurve) {
    hold(gradient(9, 4));
    CorrectionSettings.ToneBL = false; // tone at input time, colour at output time
    CorrectionSettings.Blue = 30;
    CorrectionSettings.Hitone = 1500;
    platform::ImageControl target;
    DrawCorrected(QImage(), target, InputTimeOnly);
    const QImage drawn = target.picture();
    CorrectionSettings.Hitone = 2550; // changed since the drawing: not used by the export

    std::vector<uint8_t> copy = heldPixels();
    CorrectDibForExport(copy.data(), 9, 4);
    const QByteArray info(
        reinterpret_cast<const char*>(platform::LockedBlock(CurrentDib.header).data()), 40);
    const auto image = platform::dibToImage(platform::byteView(info), {copy.data(), copy.size()});
    ASSERT_TRUE(image);
    EXPECT_EQ(image.value, drawn);
}

TEST(CorrectionSettingsTest, ValuesFromTheFileAreBroughtIntoTheCurvesRanges) {
    TCorrectionSettings s;
    s.Blue = 99;
    s.Red = -70;
    s.Midtone = 5000;
    s.Hitone = 305;
    s.Lowtone = 300;
    clampCorrectionSettings(s);
    EXPECT_EQ(s.Blue, 50);
    EXPECT_EQ(s.Red, -50);
    EXPECT_EQ(s.Midtone, 900);
    EXPECT_EQ(s.Hitone, 310);
    s.Lowtone = 3000;
    s.Midtone = 0;
    clampCorrectionSettings(s);
    EXPECT_EQ(s.Lowtone, 2540);
    EXPECT_EQ(s.Hitone, 2550);
    EXPECT_EQ(s.Midtone, 100);
    const TCorrectionSettings defaults;
    s = defaults;
    clampCorrectionSettings(s);
    EXPECT_EQ(s.Hitone, 2550);
    EXPECT_EQ(s.Lowtone, 0);
    EXPECT_EQ(s.Midtone, 500);
}

} // namespace
