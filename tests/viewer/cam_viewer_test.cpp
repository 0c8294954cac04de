// CAM files with ifcam.spi beside the program: the main window offers the CAM file type and shows
// CAM thumbnails at 4:3, and the viewer opens a CAM picture at 4:3 (width height × 4 div 3).
#include "app/Tazu.h"
#include "app/mainstate.h"
#include "app/startup.h"
#include "imaging/all.h"
#include "platform/filecontrols.h"
#include "tests/support/answerer.h"
#include "tests/support/cammaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/settingsfile.h"
#include "viewer/Gfull.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

using namespace testsupport;

namespace {

class CamFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder = QDir::cleanPath(pictures.path());
        ASSERT_TRUE(writeFile(folder + QStringLiteral("/a_normal.cam"), makeCam(normal.image)));
        ASSERT_TRUE(writeFile(folder + QStringLiteral("/b_fine.cam"),
                              makeCam(fine.image, {.coding = CamCoding::Fine})));
        ASSERT_TRUE(settings.write("[TForm1]\r\nDirectory=" + QFile::encodeName(folder) + "\r\n"));
        ASSERT_TRUE(StartUp());
    }
    void TearDown() override { ShutDown(); }

    const QuadrantPicture normal = makeQuadrantPicture(480, 240);
    const QuadrantPicture fine = makeQuadrantPicture(640, 480);
    QTemporaryDir pictures;
    ScopedSettingsFile settings;
    RecordingAnswerer answers;
    QString folder;
};

TEST_F(CamFiles, TheMainWindowListsThemAndShowsTheirThumbnailsAt4To3) {
    const int camType = Form1->FilterComboBox1->findText(QStringLiteral("CAM"));
    ASSERT_GE(camType, 0) << "the CAM file type is offered";
    Form1->FilterComboBox1->setItemIndex(camType);
    Form1->FilterComboBox1Change();
    ASSERT_EQ(FileCount, 2);
    Form1->Button2Click();
    for (const char* cell : {"ls0", "ls1"}) {
        const TAll* thumbnail = Form1->findChild<TAll*>(QString::fromLatin1(cell));
        ASSERT_NE(thumbnail, nullptr);
        EXPECT_TRUE(thumbnail->hasPicture()) << cell;
        EXPECT_EQ(thumbnail->size(), QSize(100, 75)) << cell;
    }
    EXPECT_TRUE(answers.messages.empty()) << qPrintable(answers.texts().join('\n'));
}

TEST_F(CamFiles, TheViewerShowsThemAt4To3) {
    struct Shown {
        const char* name;
        const QuadrantPicture& picture;
        QSize size;
    };
    for (const Shown& expected :
         {Shown{"a_normal.cam", normal, {320, 240}}, Shown{"b_fine.cam", fine, {640, 480}}}) {
        SCOPED_TRACE(expected.name);
        ViewerPath = folder + QLatin1Char('/') + QString::fromLatin1(expected.name);
        Form2->show();
        ASSERT_TRUE(Form2->PictureShown);
        EXPECT_TRUE(Form2->CamAspect);
        EXPECT_FALSE(Form2->J6IShown);
        EXPECT_EQ(Form2->ViewerOriginal.size(), expected.picture.image.size()) << "as stored";
        EXPECT_EQ(Form2->All1->size(), expected.size);
        const QRgb topLeft =
            Form2->All1->picture().pixel(expected.picture.splitX / 2, expected.picture.splitY / 2);
        const QRgb wanted = expected.picture.colours[0];
        EXPECT_LE(std::abs(qRed(topLeft) - qRed(wanted)) +
                      std::abs(qGreen(topLeft) - qGreen(wanted)) +
                      std::abs(qBlue(topLeft) - qBlue(wanted)),
                  12);
        Form2->close();
    }
    EXPECT_TRUE(answers.messages.empty()) << qPrintable(answers.texts().join('\n'));
}

} // namespace
