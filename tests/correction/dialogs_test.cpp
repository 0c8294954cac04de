// The tone and colour balance dialogs: the level boxes' ordering rules, Cancel and reset, the
// preview modes, the histogram's bars and the level markers, the colour wheel's steps and
// refusals, the track bars, and the settings sections.
#include "correction/hilite.h"
#include "correction/iroc.h"
#include "correction/pipeline.h"
#include "correction/preview.h"
#include "correction/settings.h"
#include "imaging/fullsize.h"
#include "platform/imagecontrol.h"
#include "platform/profile.h"
#include "tests/support/settingsfile.h"
#include "tests/support/typing.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <memory>

namespace {

class CorrectionDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        CorrectionSettings = {};
        LoadResult = HeldByComponent;
        Correctable = true;
        original = QImage(8, 4, QImage::Format_RGB32);
        original.fill(qRgb(100, 100, 100));
        CorrectionPreview = {&shown, &original};
    }
    void TearDown() override {
        tone.reset();
        colour.reset();
        CorrectionPreview = {};
        CorrectionSettings = {};
    }
    TForm3& toneDialog() {
        tone = std::make_unique<TForm3>();
        Form3 = tone.get();
        tone->show();
        return *tone;
    }
    Tiroform& colourDialog() {
        colour = std::make_unique<Tiroform>();
        colour->show();
        return *colour;
    }
    QRgb shownPixel() const { return shown.picture().pixel(1, 1); }

    testsupport::ScopedSettingsFile settings;
    platform::ImageControl shown;
    QImage original;
    std::unique_ptr<TForm3> tone;
    std::unique_ptr<Tiroform> colour;
};

TEST_F(CorrectionDialogTest, LevelsTypedInTheWrongOrderAreCorrectedAtOnce) {
    CorrectionSettings.Lowtone = 100;
    TForm3& d = toneDialog();
    EXPECT_EQ(d.SpinEdit3->value(), 10);
    d.SpinEdit1->setValue(5);
    EXPECT_EQ(CorrectionSettings.Hitone, 110);
    EXPECT_EQ(d.SpinEdit1->value(), 11);

    d.SpinEdit1->setValue(200);
    d.SpinEdit3->setValue(255);
    EXPECT_EQ(CorrectionSettings.Lowtone, 1990);
    EXPECT_EQ(d.SpinEdit3->value(), 199);
    d.SpinEdit2->setValue(30);
    EXPECT_EQ(CorrectionSettings.Midtone, 300);
}

TEST_F(CorrectionDialogTest, LevelsTypedBeyondTheirBoxesAreBroughtIntoRangeOnLeaving) {
    CorrectionSettings.Hitone = 2000;
    TForm3& d = toneDialog();
    testsupport::typeInto(d.SpinEdit1, QStringLiteral("300"));
    testsupport::leave(d.SpinEdit1);
    EXPECT_EQ(d.SpinEdit1->value(), 255);
    EXPECT_EQ(CorrectionSettings.Hitone, 2550);

    CorrectionSettings.Hitone = 2000;
    d.show(); // shows 200 again
    testsupport::typeInto(d.SpinEdit3, QStringLiteral("300"));
    testsupport::leave(d.SpinEdit3);
    EXPECT_EQ(d.SpinEdit3->value(), 199); // 255, then the ordering rule
    EXPECT_EQ(CorrectionSettings.Lowtone, 1990);
}

TEST_F(CorrectionDialogTest, ToneCancelRestoresTheLevelsOfTheShowingButNotTheAutomaticSwitch) {
    TCorrectionSettings& c = CorrectionSettings;
    c.Hitone = 2000;
    c.Lowtone = 300;
    TForm3& d = toneDialog();
    d.CheckBox2->setChecked(false);
    d.Button4->click(); // reset
    EXPECT_EQ(d.SpinEdit1->value(), 255);
    EXPECT_EQ(c.Hitone, 2550);
    d.Button2->click(); // cancel
    EXPECT_EQ(c.Hitone, 2000);
    EXPECT_EQ(c.Lowtone, 300);
    EXPECT_FALSE(d.isVisible());

    d.show();
    d.CheckBox2->setChecked(true);
    d.Button4->click();
    d.Button1->click(); // OK keeps the reset
    EXPECT_EQ(c.Hitone, 2550);
    EXPECT_EQ(c.Midtone, 500);
    EXPECT_EQ(c.Lowtone, 0);
    EXPECT_TRUE(currentAutoLevels().Auto) << "the box is the program's automatic switch";

    d.show();
    d.CheckBox2->setChecked(false);
    d.Button2->click();
    EXPECT_FALSE(d.CheckBox2->isChecked()) << "not part of Cancel";
}

TEST_F(CorrectionDialogTest, PreviewModesFollowTheRadioButtonsAndTheOtherCorrectionsTime) {
    TForm3& d = toneDialog();
    d.RadioButton2->setChecked(true);
    EXPECT_EQ(d.previewMode(), BothCorrections);
    EXPECT_TRUE(CorrectionSettings.ToneBL);
    d.RadioButton1->setChecked(true);
    EXPECT_FALSE(CorrectionSettings.ToneBL);
    CorrectionSettings.CLBL = true;
    EXPECT_EQ(d.previewMode(), ToneOnly);
    CorrectionSettings.CLBL = false;
    EXPECT_EQ(d.previewMode(), InputTimeOnly);

    Tiroform& c = colourDialog();
    c.RadioButton2->setChecked(true);
    EXPECT_EQ(c.previewMode(), BothCorrections);
    c.RadioButton1->setChecked(true);
    EXPECT_FALSE(CorrectionSettings.CLBL);
    CorrectionSettings.ToneBL = true;
    EXPECT_EQ(c.previewMode(), ColourOnly);

    // The preview draws into the viewer's picture.
    CorrectionSettings.Red = 50;
    c.Button3->click();
    EXPECT_EQ(shownPixel(), qRgb(228, 100, 100));
}

TEST_F(CorrectionDialogTest, EqualCountsGiveBarsOfAbout39PerCentAndAutomaticMarkersSpanTheStrip) {
    // Four levels of 100 pixels each, in rows of 25 pixels (padded rows).
    std::vector<uint8_t> rows(size_t(DibImageSizeOf(25, 16)));
    for (int y = 0; y < 16; ++y)
        std::fill_n(rows.begin() + y * DibImageSizeOf(25, 1), 75, uint8_t(y / 4 * 60));
    const DisplayHistogram counts = displayHistogramOf(rows.data(), 25, 16);
    EXPECT_EQ(counts[0], 100);
    EXPECT_EQ(counts[180], 100);
    const int32_t scale = histogramScale(counts);
    EXPECT_EQ(scale, 256);
    platform::ImageControl image;
    drawHistogram(image, counts, scale);
    const QImage& drawn = image.picture();
    ASSERT_EQ(drawn.size(), QSize(256, 101));
    const int x = 60 * 256 / 255 + 1;
    int bar = 0;
    for (int y = 1; y < 101; ++y) // the bottom row is the frame's and the bar's
        bar += drawn.pixel(x, y) == qRgb(0, 0, 0);
    EXPECT_EQ(bar, 39);
    EXPECT_EQ(drawn.pixel(x + 1, 90), qRgb(255, 255, 255));
    EXPECT_EQ(drawn.pixel(0, 50), qRgb(0, 0, 0)) << "the frame";

    TForm3& d = toneDialog();
    LevelHistogram.fill(0);
    LevelHistogram[0] = 50;
    LevelHistogram[255] = 50;
    LevelSampleCount = 100;
    d.SpinEdit4->setValue(0);
    d.SpinEdit5->setValue(0);
    d.CheckBox2->setChecked(true);
    EXPECT_EQ(d.markerPositions(), (std::array<int, 3>{256, 128, 0}));
    d.CheckBox2->setChecked(false);
    CorrectionSettings.Hitone = 2000;
    CorrectionSettings.Lowtone = 500;
    CorrectionSettings.Midtone = 500;
    EXPECT_EQ(d.markerPositions(), (std::array<int, 3>{201, 125, 50}));
}

TEST_F(CorrectionDialogTest, TheToneSectionIsReadAndWrittenInItsOrder) {
    TForm3& d = toneDialog();
    EXPECT_EQ(d.pos(), QPoint(0, 0)) << "first use: the top-left corner";
    EXPECT_FALSE(d.CheckBox2->isChecked());
    EXPECT_EQ(d.SpinEdit4->value(), 0);
    d.SpinEdit4->setValue(7);
    d.CheckBox2->setChecked(true);
    d.move(30, 40);
    tone.reset();
    EXPECT_TRUE(settings.bytes().contains("[Tone]\r\nTop=40\r\nLeft=30\r\nLevelh=7\r\nLevell=0\r\n"
                                          "Auto=1\r\n"))
        << settings.bytes().constData();
    EXPECT_FALSE(currentAutoLevels().Auto) << "the dialog's source leaves with it";
    TForm3& again = toneDialog();
    EXPECT_TRUE(again.CheckBox2->isChecked());
    EXPECT_EQ(again.SpinEdit4->value(), 7);
}

TEST_F(CorrectionDialogTest, WheelStepsKeepTheOffsetsInRangeOrAreRefusedAsAWhole) {
    TCorrectionSettings c;
    for (int click = 0; click < 25; ++click)
        EXPECT_TRUE(applyWheelStep(WheelColour::Yellow, c));
    EXPECT_EQ((std::array{c.Blue, c.Green, c.Red}), (std::array{-50, 25, 25}));
    EXPECT_FALSE(applyWheelStep(WheelColour::Yellow, c));
    EXPECT_EQ((std::array{c.Blue, c.Green, c.Red}), (std::array{-50, 25, 25}));

    c = {};
    c.Blue = -49;
    EXPECT_FALSE(applyWheelStep(WheelColour::Yellow, c));
    EXPECT_EQ(c.Blue, -49);
    EXPECT_TRUE(applyWheelStep(WheelColour::Red, c));
    EXPECT_EQ((std::array{c.Blue, c.Green, c.Red}), (std::array{-50, -1, 2}));

    for (auto [one, other] : {std::pair{WheelColour::Red, WheelColour::Cyan},
                              {WheelColour::Yellow, WheelColour::Blue},
                              {WheelColour::Green, WheelColour::Magenta}}) {
        TCorrectionSettings d;
        d.Blue = 3;
        d.Green = -7;
        d.Red = 11;
        ASSERT_TRUE(applyWheelStep(one, d));
        ASSERT_TRUE(applyWheelStep(other, d));
        EXPECT_EQ((std::array{d.Blue, d.Green, d.Red}), (std::array{3, -7, 11}));
    }
}

TEST_F(CorrectionDialogTest, TrackBarsLabelsResetAndCancelOfTheColourDialog) {
    CorrectionSettings.Blue = 10;
    CorrectionSettings.Green = 20;
    Tiroform& d = colourDialog();
    EXPECT_EQ(d.pos(), QPoint(0, 0));
    EXPECT_EQ(d.TrackBar[0]->value(), 10);
    EXPECT_EQ(d.valueLabels[1]->text(), QStringLiteral("20"));
    d.TrackBar[2]->setValue(-50);
    EXPECT_EQ(CorrectionSettings.Red, -50);
    EXPECT_EQ(d.valueLabels[2]->text(), QStringLiteral("-50"));
    EXPECT_EQ(CorrectionSettings.Blue, 10);

    d.ciryMouseDown();
    EXPECT_EQ(d.TrackBar[0]->value(), 8);
    d.Button4->click();
    EXPECT_EQ(d.valueLabels[0]->text(), QStringLiteral("0"));
    d.Button2->click(); // cancel
    EXPECT_EQ(
        (std::array{CorrectionSettings.Blue, CorrectionSettings.Green, CorrectionSettings.Red}),
        (std::array{10, 20, 0}));

    CorrectionSettings.CLBL = false; // colour at input time: OK redraws with it
    d.show();
    d.Button4->click();
    d.Button1->click();
    EXPECT_EQ(CorrectionSettings.Blue, 0);
    EXPECT_EQ(shownPixel(), qRgb(100, 100, 100));
}

TEST_F(CorrectionDialogTest, EachCircleTakesAnyMouseButtonAndPushesTowardItsOwnColour) {
    Tiroform& d = colourDialog();
    // Blue, green, red after one click from 0, 0, 0.
    const std::pair<const char*, std::array<int, 3>> steps[] = {
        {"cirr", {-1, -1, 2}}, {"ciry", {-2, 1, 1}},  {"cirg", {-1, 2, -1}},
        {"circ", {1, 1, -2}},  {"cirb", {2, -1, -1}}, {"cirm", {1, -2, 1}},
    };
    for (const auto& [name, expected] : steps) {
        CorrectionSettings.Blue = CorrectionSettings.Green = CorrectionSettings.Red = 0;
        auto* circle = d.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(circle, nullptr) << name;
        QTest::mouseClick(circle, Qt::RightButton);
        EXPECT_EQ(
            (std::array{CorrectionSettings.Blue, CorrectionSettings.Green, CorrectionSettings.Red}),
            expected)
            << name;
        EXPECT_EQ(d.TrackBar[2]->value(), expected[2]) << name;
    }
    for (QRadioButton* radio : {d.RadioButton1, d.RadioButton2}) {
        EXPECT_EQ(radio->font().family(), d.valueLabels[0]->font().family());
        EXPECT_EQ(radio->font().pixelSize(), 15);
    }
}

} // namespace
