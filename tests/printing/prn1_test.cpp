#include "platform/codepage.h"
#include "platform/imagecontrol.h"
#include "platform/printer.h"
#include "platform/profile.h"
#include "printing/prn1.h"
#include "tests/support/answerer.h"
#include "tests/support/settingsfile.h"
#include "tests/support/typing.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace {

class PrintSettingsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ini_ = settings_.path();
        PrintSettings = {};
        PrintPictureTotal = 0;
    }
    void TearDown() override { dialog_.reset(); }

    TForm4& open(const QByteArray& settings = {}) {
        if (!settings.isEmpty()) {
            QFile f(ini_);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(platform::toCp932(QString::fromUtf8(settings)));
        }
        dialog_ = std::make_unique<TForm4>();
        dialog_->FitPreviewPaper(2480, 3508);
        dialog_->show();
        return *dialog_;
    }
    platform::Profile written() {
        dialog_.reset(); // writes the section
        return platform::Profile(ini_);
    }

    platform::RecordingPrinter printer_; // A4 at 300 dpi
    platform::ScopedPrinter usePrinter_{printer_};
    testsupport::ScopedSettingsFile settings_;
    QString ini_;
    std::unique_ptr<TForm4> dialog_;
};

TEST_F(PrintSettingsDialogTest, PageCountsAndCaptionHeights) {
    TForm4& f = open();
    for (const auto& [pictures, perPage, pages] :
         {std::tuple{9, "9/8", "2"}, {8, "8/8", "1"}, {0, "0/8", "0"}}) {
        PrintPictureTotal = pictures;
        f.ShowPageCount();
        EXPECT_EQ(f.Label12->text(), QLatin1String(perPage));
        EXPECT_EQ(f.Label13->text(), QLatin1String(pages));
    }
    EXPECT_EQ(f.Label8->text(), QStringLiteral(" 0.0mm"));
    EXPECT_EQ(f.Label16->text(), QStringLiteral("(9ﾎﾟｲﾝﾄ)"));
    const char* heights[] = {" 3.8mm", " 7.0mm", "10.1mm"};
    int i = 0;
    for (QCheckBox* box : {f.CheckBox2, f.CheckBox3, f.CheckBox5}) {
        box->click();
        EXPECT_EQ(f.Label8->text(), QLatin1String(heights[i++]));
    }

    // The font dialog sets the printer's canvas font.
    testsupport::RecordingAnswerer answers;
    QFont larger = printer_.font();
    larger.setPointSize(12);
    answers.fonts = {larger};
    f.Button5->click();
    EXPECT_EQ(printer_.font().pointSize(), 12);
    EXPECT_EQ(f.Label16->text(), QStringLiteral("(12ﾎﾟｲﾝﾄ)"));
    f.Button5->click(); // cancelled: unchanged
    EXPECT_EQ(printer_.font().pointSize(), 12);
}

TEST_F(PrintSettingsDialogTest, AValueThatLeavesNoRoomIsRefused) {
    TForm4& f = open();
    EXPECT_EQ(f.SpinEdit[0]->value(), 2); // the settings, not the design values
    EXPECT_EQ(f.SpinEdit[6]->value(), 4);
    f.SpinEdit[2]->setValue(430); // top margin
    EXPECT_EQ(f.SpinEdit[2]->value(), 430);
    f.SpinEdit[3]->setValue(600); // bottom margin: cells of 4 preview pixels
    EXPECT_EQ(f.SpinEdit[3]->value(), 0);
    EXPECT_EQ(f.LastAccepted.Bottom, 0);
    // The preview shows the accepted layout: a cell's blue inside the paper.
    const LayoutPreview expected = previewLayout(f.controlValues(), f.previewPaper());
    const Corners cell = expected.slot(0).cell;
    EXPECT_EQ(f.Image1->picture().pixel(cell.left + 2, cell.top + 2), qRgb(0, 0, 255));
}

TEST_F(PrintSettingsDialogTest, LandscapeTurnsThePreview) {
    TForm4& f = open("[PRNSET]\r\nTop=100\r\nRight=50\r\n");
    f.orientationButtons[1]->click();
    EXPECT_EQ(f.controlValues().Orientation, 1);
    const LayoutPreview p = previewLayout(f.controlValues(), f.previewPaper());
    const QImage& shown = f.Image1->picture();
    // The top margin along the left edge: paper grey up to the first slot's outline.
    EXPECT_EQ(p.slot(0).slot.left, 26);
    EXPECT_EQ(p.slot(0).slot.top, 13);
    EXPECT_EQ(shown.pixel(20, 100), qRgb(136, 136, 136));
    EXPECT_EQ(shown.pixel(26, 100), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(100, 8), qRgb(136, 136, 136));
    // Frames 3 across to 4 down.
    const Corners frame = p.slot(0).frame;
    EXPECT_NEAR(double(frame.right - frame.left + 2) / (frame.bottom - frame.top + 2), 0.75, 0.03);
    EXPECT_EQ(shown.pixel((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2),
              qRgb(102, 102, 255));
}

TEST_F(PrintSettingsDialogTest, ZeroColumnsOrRowsTypedBecomeOne) {
    TForm4& f = open();
    for (QSpinBox* box : {f.SpinEdit[0], f.SpinEdit[6]}) {
        box->setValue(3);
        testsupport::typeInto(box, QStringLiteral("0"));
        testsupport::leave(box);
        EXPECT_EQ(box->value(), 1) << box->objectName().toStdString();
    }
}

TEST_F(PrintSettingsDialogTest, SettingsAreReadAndWrittenAndCancelKeepsTheEdits) {
    TForm4& f = open("[PRNSET]\r\n列=3\r\n行=-3\r\n上下余白=-5\r\ndate=1\r\nFDate=7\r\n"
                     "FontName=IPAGothic\r\nFontSize=11\r\nFontStyle=3\r\n");
    EXPECT_EQ(f.SpinEdit[0]->value(), 3);
    EXPECT_EQ(f.SpinEdit[6]->value(), 1); // brought into range
    EXPECT_EQ(f.SpinEdit[1]->value(), 0);
    EXPECT_TRUE(f.CheckBox3->isChecked()); // "date" found as "Date"
    EXPECT_TRUE(f.RadioButton3->isChecked());
    EXPECT_EQ(printer_.font().family(), QStringLiteral("IPAGothic"));
    EXPECT_EQ(printer_.font().pointSize(), 11);
    EXPECT_TRUE(printer_.font().bold());
    EXPECT_TRUE(printer_.font().italic());

    f.SpinEdit[0]->setValue(4);
    f.Button4->click();
    EXPECT_FALSE(PrintConfirmed);
    EXPECT_EQ(PrintSettings.Columns, 4);
    const platform::Profile ini = written();
    EXPECT_EQ(ini.readInteger(QStringLiteral("PRNSET"), QStringLiteral("列"), 0), 4);
    EXPECT_EQ(ini.readInteger(QStringLiteral("PRNSET"), QStringLiteral("FontStyle"), 0), 3);
    EXPECT_EQ(ini.readInteger(QStringLiteral("PRNSET"), QStringLiteral("FDate"), 0), 2);
    EXPECT_EQ(ini.readInteger(QStringLiteral("PRNSET"), QStringLiteral("Number"), 0), 3);
    EXPECT_TRUE(ini.readBool(QStringLiteral("PRNSET"), QStringLiteral("Date"), false));
}

TEST_F(PrintSettingsDialogTest, AChangeDuringADrawingSupersedesIt) {
    // 40 × 50 slots: about the most a 215 × 305 preview paper takes.
    TForm4& f = open("[PRNSET]\r\n列=40\r\n行=50\r\n上下余白=0\r\n左右余白=0\r\n");
    ASSERT_EQ(f.LastAccepted.Columns, 40);
    // The change waits in the event queue and is handled at the drawing's first slot; the new
    // preview is drawn whole and the old drawing stops.
    QTimer::singleShot(0, f.SpinEdit[0], [&f] { f.SpinEdit[0]->setValue(3); });
    f.SpinEdit[6]->setValue(49);
    EXPECT_EQ(f.LastAccepted.Columns, 3);
    const QImage afterChange = f.Image1->picture();
    f.DrawLayoutPreview();
    EXPECT_EQ(f.Image1->picture(), afterChange);
}

} // namespace
