// Thumbnails of pictures the camera recorded turned or mirrored: with the rotation switch on they
// stand upright in their cells, fitted by their upright proportions (J6I pictures as 3:4), and
// the page follows the switch when the options dialog changes it.
#include "app/Tazu.h"
#include "app/startup.h"
#include "dialogs/opt.h"
#include "imaging/all.h"
#include "imaging/orientation.h"
#include "platform/filecontrols.h"
#include "tests/support/answerer.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/settingsfile.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace testsupport;

namespace {

class UprightThumbnails : public ::testing::Test {
protected:
    void SetUp() override { folder = QDir::cleanPath(pictures.path()); }
    void TearDown() override { ShutDown(); }

    void copyShared(const QString& sharedPath, const QString& name) {
        ASSERT_TRUE(QFile::copy(testdataDir() + sharedPath, folder + u'/' + name))
            << qPrintable(name);
    }
    // Starts in the folder with the thumbnails shown.
    void start() {
        ASSERT_TRUE(settings.write("[TForm1]\r\nDirectory=" + QFile::encodeName(folder) + "\r\n"));
        ASSERT_TRUE(StartUp());
        ASSERT_TRUE(picturesTurnedUpright()) << "on at first";
        Form1->Button2Click();
        ASSERT_TRUE(Form1->ThumbsShown);
    }
    // Switches turning upright on or off through the options dialog, as the user does.
    static void chooseUpright(bool upright) {
        QTimer::singleShot(0, OKBottomDlg2, [upright] {
            OKBottomDlg2->checkbox2->setChecked(upright);
            OKBottomDlg2->OKBtn->click();
        });
        Form1->findChild<QAction*>(QStringLiteral("K3"))->trigger();
    }
    static TAll* thumbnail(int cell) {
        return Form1->findChild<TAll*>(QStringLiteral("ls%1").arg(cell));
    }
    // The thumbnail's place within its cell of 100 × 80 pixels.
    static QRect placeInCell(int cell) {
        return thumbnail(cell)->geometry().translated(-27 - 144 * (cell % 4),
                                                      -159 - 128 * (cell / 4));
    }

    QTemporaryDir pictures;
    ScopedSettingsFile settings;
    RecordingAnswerer answers;
    QString folder;
};

TEST_F(UprightThumbnails, TheSceneStoredEightWaysStandsUprightInEveryCell) {
    TAZU_REQUIRE_TESTDATA();
    for (int n = 1; n <= 8; ++n)
        copyShared(QStringLiteral("/exif/Landscape_%1.jpg").arg(n),
                   QStringLiteral("Landscape_%1.jpg").arg(n));
    start();
    ASSERT_EQ(FileCount, 8);
    // The quarter-size previews of the 1800 × 1200 scene, 450 × 300 upright.
    const QImage reference = thumbnail(0)->picture();
    ASSERT_EQ(reference.size(), QSize(450, 300));
    for (int cell = 0; cell < 8; ++cell) {
        EXPECT_EQ(placeInCell(cell), QRect(0, 7, 100, 66)) << cell;
        EXPECT_LT(meanChannelDifference(thumbnail(cell)->picture(), reference), 4.0) << cell;
    }

    chooseUpright(false);
    for (int cell = 0; cell < 8; ++cell) {
        const bool sideways = cell >= 4; // Landscape_5 to Landscape_8
        EXPECT_EQ(placeInCell(cell), sideways ? QRect(23, 0, 53, 80) : QRect(0, 7, 100, 66))
            << cell;
        EXPECT_EQ(thumbnail(cell)->picture().size(), sideways ? QSize(300, 450) : QSize(450, 300));
    }
    EXPECT_TRUE(answers.messages.empty()) << qPrintable(answers.texts().join('\n'));
}

TEST_F(UprightThumbnails, CameraAndJ6iPicturesOnTheirSideStandUprightByTheirUprightProportions) {
    TAZU_REQUIRE_TESTDATA();
    copyShared(QStringLiteral("/camera/04_iPhone-5_3264x2448_o3.jpg"), QStringLiteral("a_o3.jpg"));
    copyShared(QStringLiteral("/camera/05_Canon-PowerShot-A85_1704x2272_o8.jpg"),
               QStringLiteral("b_o8.jpg"));
    copyShared(QStringLiteral("/camera/10_CYBERSHOT_311x450_o6.jpg"), QStringLiteral("c_o6.jpg"));
    for (const uint8_t byte : {0, 1, 3}) {
        J6iOptions options;
        options.orientation = byte;
        ASSERT_TRUE(writeFile(folder + QStringLiteral("/d_%1.j6i").arg(byte), makeJ6i(options)));
    }
    start();
    ASSERT_EQ(FileCount, 6);
    const int orientations[] = {3, 8, 6, AsStored, TurnedClockwise, TurnedCounterClockwise};
    const QRect upright[] = {{0, 2, 100, 75}, {0, 2, 100, 75}, {0, 5, 100, 69},
                             {0, 2, 100, 75}, {20, 0, 60, 80}, {20, 0, 60, 80}};
    const QRect stored[] = {{0, 2, 100, 75}, {20, 0, 60, 80}, {22, 0, 55, 80},
                            {0, 2, 100, 75}, {0, 2, 100, 75}, {0, 2, 100, 75}};
    QImage shownUpright[6];
    for (int cell = 0; cell < 6; ++cell) {
        EXPECT_EQ(placeInCell(cell), upright[cell]) << cell;
        shownUpright[cell] = thumbnail(cell)->picture();
    }

    chooseUpright(false);
    for (int cell = 0; cell < 6; ++cell) {
        EXPECT_EQ(placeInCell(cell), stored[cell]) << cell;
        // The same quarter-size preview, only turned.
        EXPECT_EQ(shownUpright[cell], uprightImage(thumbnail(cell)->picture(), orientations[cell]))
            << cell;
    }
    EXPECT_EQ(thumbnail(1)->picture().size(), QSize(426, 568)) << "a quarter of 1704 × 2272";

    chooseUpright(true);
    EXPECT_EQ(placeInCell(4), upright[4]);
    EXPECT_TRUE(answers.messages.empty()) << qPrintable(answers.texts().join('\n'));
}

} // namespace
