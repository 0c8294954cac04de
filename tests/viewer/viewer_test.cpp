// The viewer: J6I smoothing rows, display sizes and zooms, turning (J6I pictures by their header,
// JPEG and TIFF pictures by their EXIF orientation), the status line, the window's fit on the
// screen, BMP files and the clipboard, reset, and failed openings.
#include "app/mainstate.h"
#include "correction/settings.h"
#include "dialogs/opt.h"
#include "imaging/all.h"
#include "imaging/fullsize.h"
#include "imaging/j6i.h"
#include "imaging/orientation.h"
#include "platform/checked.h"
#include "platform/dib.h"
#include "tests/support/answerer.h"
#include "tests/support/decodeddib.h"
#include "tests/support/exifmaker.h"
#include "tests/support/gifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/settingsfile.h"
#include "tests/support/testdata.h"
#include "tests/support/testpatterns.h"
#include "tests/support/tiffmaker.h"
#include "viewer/Gfull.h"
#include "viewer/viewerpicture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>

#include <cstring>
#include <memory>

using namespace testsupport;

namespace {

// Rows whose every byte is its row number (storage order) times 2, plus its column's byte
// offset divided by 9, so that rows and columns can be told apart after blending.
QImage numberedRows(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const int row = height - 1 - y; // storage row of picture line y
        for (int x = 0; x < width; ++x) {
            const int v = (row * 2 + x / 9) % 256;
            picture.setPixel(x, y, qRgb(v, v, v));
        }
    }
    return picture;
}

// A picture file as stored, whatever orientation it records.
QImage storedPicture(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    return reader.read();
}

const uint8_t* heldRow(int storageRow) {
    return platform::LockedBlock(CurrentDib.pixels).as<const uint8_t>() +
           size_t(storageRow) * 768 * 3;
}

TEST(J6ISmoothing, EveryFiveRowsGiveSixWithTheFourBetweenBlended) {
    const QImage source = numberedRows(768, 480);
    ASSERT_TRUE(putDecodedDib(source));
    ASSERT_TRUE(SmoothJ6IPicture());
    EXPECT_EQ(DecodedDib.info, nullptr);
    EXPECT_EQ(DibImageSize, 1327104);
    const auto sourceByte = [](int row, int column) { return (row * 2 + column / 3 / 9) % 256; };
    for (int column : {12, 300, 761 * 3}) {
        EXPECT_EQ(heldRow(6)[column], sourceByte(5, column)) << "output row 6 = source row 5";
        EXPECT_EQ(heldRow(1)[column], (1 * sourceByte(0, column) + 4 * sourceByte(1, column)) / 5);
        EXPECT_EQ(heldRow(3)[column], (3 * sourceByte(2, column) + 2 * sourceByte(3, column)) / 5);
        EXPECT_EQ(heldRow(5)[column], sourceByte(4, column)) << "output row 5 = source row 4";
        EXPECT_EQ(heldRow(575)[column], sourceByte(479, column));
    }
    for (int row : {0, 1, 300, 575}) {
        for (int column : {0, 3, 764, 767}) {
            EXPECT_EQ(heldRow(row)[column * 3], 255) << column;
            EXPECT_EQ(heldRow(row)[column * 3 + 2], 255) << column;
        }
        EXPECT_NE(heldRow(row)[4 * 3], 255);
    }
    FreeCurrentDib();

    // Another size is left as it was decoded: nothing outside it is read.
    ASSERT_TRUE(putDecodedDib(numberedRows(640, 480)));
    EXPECT_FALSE(SmoothJ6IPicture());
    EXPECT_NE(DecodedDib.pixels, nullptr);
    FreeDecodedDib();
}

TEST(ViewerMeasures, ZoomsStatusLinesAndTheScreenEdges) {
    EXPECT_EQ(zoomedSize(Zoom::Full, {640, 480}, true), QSize(640, 480));
    EXPECT_EQ(zoomedSize(Zoom::Half, {640, 480}, true), QSize(320, 240));
    EXPECT_EQ(zoomedSize(Zoom::ThreeQuarters, {640, 480}, true), QSize(480, 360));
    EXPECT_EQ(zoomedSize(Zoom::Full, {600, 480}, true), QSize(640, 480)) << "CAM at 4:3";
    EXPECT_EQ(zoomedSize(Zoom::Half, {501, 333}, false), QSize(250, 166));
    EXPECT_EQ(zoomedSize(Zoom::ThreeQuarters, {501, 333}, false), QSize(375, 249));

    J6IInfo info;
    info.dateTime = {0x96, 0x12, 0x01, 0x09, 0x30, 0x05};
    EXPECT_EQ(j6iStatusLine(QStringLiteral("A.J6I"), info),
              QStringLiteral("A.J6I   96/12/01  09:30:05"));

    const QRect screen(0, 0, 1024, 768);
    EXPECT_EQ(fittedToScreen({900, 100, 400, 300}, screen), QRect(900, 100, 124, 300));
    EXPECT_EQ(fittedToScreen({10, 600, 400, 300}, screen), QRect(10, 600, 400, 138));
    EXPECT_EQ(fittedToScreen({10, 10, 400, 300}, screen), QRect(10, 10, 400, 300));
}

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        CorrectionSettings = {};
        ViewerWidth = 768;
        ViewerHeight = 576;
        J6ILargeSize = true;
        options = std::make_unique<TOKBottomDlg2>();
        OKBottomDlg2 = options.get();
        options->CheckBox1->setChecked(false);
        options->checkbox2->setChecked(true);
        viewer = std::make_unique<TForm2>();
    }
    void TearDown() override {
        viewer.reset();
        OKBottomDlg2 = nullptr;
        CorrectionSettings = {};
    }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }
    // Shows the viewer on path as the main window does.
    bool open(const QString& path) {
        ViewerPath = path;
        viewer->show();
        return viewer->PictureShown;
    }
    void close() { viewer->close(); }
    QAction* item(const char* name) const {
        return viewer->findChild<QAction*>(QString::fromLatin1(name));
    }
    QString j6i(uint8_t orientation = 0) {
        J6iOptions options;
        options.orientation = orientation;
        return write(QStringLiteral("shot%1.j6i").arg(orientation), makeJ6i(options));
    }
    // Saves through the viewer's menu into name; the file's bytes.
    QByteArray save(const QString& name) {
        answers.saveFiles = {dir.filePath(name)};
        item("KSAVE1")->trigger();
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static QSize bmpSize(const QByteArray& file) {
        platform::BitmapInfoHeader header{};
        if (file.size() < 54)
            return {};
        std::memcpy(&header, file.constData() + 14, sizeof header);
        return {header.biWidth, header.biHeight};
    }

    ScopedSettingsFile settings;
    QTemporaryDir dir;
    RecordingAnswerer answers;
    std::unique_ptr<TOKBottomDlg2> options;
    std::unique_ptr<TForm2> viewer;
};

TEST_F(ViewerTest, J6iDisplaySizesPersistAndTheSmallSizeStaysForTheNextPicture) {
    ASSERT_TRUE(open(j6i()));
    EXPECT_TRUE(viewer->J6IShown);
    EXPECT_EQ(viewer->All1->size(), QSize(768, 576));
    EXPECT_TRUE(item("N6404801")->isVisible());
    EXPECT_FALSE(item("K8")->isVisible());
    EXPECT_EQ(viewer->All1->picture().size(), QSize(768, 480)) << "stretched by the display";

    item("N6404801")->trigger();
    EXPECT_EQ(viewer->All1->size(), QSize(640, 480));
    EXPECT_EQ(ViewerWidth, 640);
    EXPECT_FALSE(J6ILargeSize);
    item("N3202401")->trigger();
    EXPECT_EQ(viewer->All1->size(), QSize(320, 240));
    EXPECT_EQ(ViewerWidth, 640) << "the other sizes do not stay";
    EXPECT_EQ(viewer->centralWidget()->size(), QSize(320, 240 + 23));
    close();

    ASSERT_TRUE(open(j6i()));
    EXPECT_EQ(viewer->All1->size(), QSize(640, 480));
    close();
}

TEST_F(ViewerTest, J6iPicturesRecordedOnTheirSideAreTurnedAndSavedTurned) {
    ASSERT_TRUE(open(j6i(1)));
    EXPECT_TRUE(viewer->ViewerRotated);
    EXPECT_EQ(viewer->All1->size(), QSize(576, 768));
    item("N6404801")->trigger();
    EXPECT_EQ(viewer->All1->size(), QSize(480, 640));
    EXPECT_EQ(bmpSize(save(QStringLiteral("turned.bmp"))), QSize(480, 768));
    close();

    options->CheckBox1->setChecked(true); // smoothing
    ASSERT_TRUE(open(j6i(1)));
    EXPECT_EQ(bmpSize(save(QStringLiteral("smoothed.bmp"))), QSize(576, 768));
    close();

    options->checkbox2->setChecked(false);
    ASSERT_TRUE(open(j6i(3)));
    EXPECT_FALSE(viewer->ViewerRotated) << "shown as stored";
    EXPECT_EQ(viewer->All1->size(), QSize(640, 480));
    close();
}

// Upright pictures are compared by their mean difference per channel: decoding, turning and
// the 24-bit BMP file leave the same scene within a few levels (4 of 255).
constexpr double SameScene = 4.0;

TEST_F(ViewerTest, ExifPicturesAreShownSavedAndCopiedUprightInAllEightOrientations) {
    TAZU_REQUIRE_TESTDATA();
    const QString scene = testdataDir() + QStringLiteral("/exif/Landscape_%1.jpg");
    const QImage reference = storedPicture(scene.arg(1));
    ASSERT_EQ(reference.size(), QSize(1800, 1200));
    for (int n = 1; n <= 8; ++n) {
        ASSERT_TRUE(open(scene.arg(n))) << n;
        EXPECT_EQ(LoadResult, HeldAsDib);
        EXPECT_EQ(viewer->All1->size(), reference.size())
            << n << ": the zoom of the upright picture";
        EXPECT_LT(meanChannelDifference(viewer->All1->picture(), reference), SameScene) << n;
        const QImage saved = QImage::fromData(save(QStringLiteral("saved.bmp")), "BMP");
        EXPECT_LT(meanChannelDifference(saved, reference), SameScene) << n;
        item("K5")->trigger();
        EXPECT_LT(meanChannelDifference(QGuiApplication::clipboard()->image(), reference),
                  SameScene)
            << n;
        item("K9")->trigger(); // 1/2
        EXPECT_EQ(viewer->All1->size(), QSize(900, 600)) << n;
        close();
    }
}

TEST_F(ViewerTest, CameraPicturesOnTheirSideStandUprightOnlyWithTheRotationSwitch) {
    TAZU_REQUIRE_TESTDATA();
    const QString camera = testdataDir() + QStringLiteral("/camera/");
    const std::pair<const char*, int> pictures[] = {
        {"04_iPhone-5_3264x2448_o3.jpg", 3},
        {"05_Canon-PowerShot-A85_1704x2272_o8.jpg", 8},
        {"10_CYBERSHOT_311x450_o6.jpg", 6},
    };
    for (const bool upright : {true, false}) {
        options->checkbox2->setChecked(upright);
        for (const auto& [name, orientation] : pictures) {
            const QString path = camera + QString::fromLatin1(name);
            const QImage stored = storedPicture(path);
            const QImage expected = upright ? uprightImage(stored, orientation) : stored;
            ASSERT_TRUE(open(path)) << name;
            EXPECT_EQ(viewer->All1->size(), expected.size()) << name << " upright " << upright;
            EXPECT_LT(meanChannelDifference(viewer->All1->picture(), expected), SameScene) << name;
            close();
        }
    }
}

TEST_F(ViewerTest, PicturesThePictureControlHoldsAreTurnedUprightToo) {
    // An 8-bit grey JPEG and a palette TIFF are held by the picture control, an RGB TIFF at
    // 24 bits; each stands upright, the grey one as it would have been turned held at 24 bits.
    JpegOptions grey;
    grey.colour = JpegColour::Greyscale;
    grey.quality = 100;
    const QImage ramp = makeGreyRamp(64, 32);
    const QString greyPath = write(QStringLiteral("grey.jpg"),
                                   withExif(makeJpeg(ramp, grey), makeExifBlock({8, {}, {}})));
    const QImage palette = indexedPattern(30, 20, 16);
    TiffOptions paletteTiff;
    paletteTiff.pixels = TiffPixels::Palette;
    paletteTiff.orientation = 6;
    const QString palettePath =
        write(QStringLiteral("palette.tif"), makeTiff({palette}, paletteTiff));
    const QImage colour = colourPattern(30, 20);
    TiffOptions mirrored;
    mirrored.orientation = 7;
    const QString colourPath = write(QStringLiteral("colour.tif"), makeTiff({colour}, mirrored));

    ASSERT_TRUE(open(greyPath));
    EXPECT_EQ(LoadResult, HeldByComponent);
    EXPECT_EQ(viewer->ViewerOriginal.size(), QSize(32, 64));
    EXPECT_LT(meanChannelDifference(viewer->ViewerOriginal, uprightImage(ramp, 8)), 2.0);
    EXPECT_EQ(bmpSize(save(QStringLiteral("grey.bmp"))), QSize(32, 64));
    close();

    ASSERT_TRUE(open(palettePath));
    EXPECT_EQ(LoadResult, HeldByComponent);
    EXPECT_EQ(viewer->ViewerOriginal.convertToFormat(QImage::Format_RGB32),
              uprightImage(palette, 6).convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(viewer->All1->size(), QSize(20, 30));
    close();

    ASSERT_TRUE(open(colourPath));
    EXPECT_EQ(LoadResult, HeldAsDib);
    EXPECT_EQ(viewer->All1->picture().convertToFormat(QImage::Format_RGB32),
              uprightImage(colour, 7));
    EXPECT_EQ(CurrentDibImage().convertToFormat(QImage::Format_RGB32), uprightImage(colour, 7));
    close();
}

TEST_F(ViewerTest, TheStatusLineShowsTheExifShootingDateElseTheFileTime) {
    const QImage picture = makeGreyRamp(16, 8);
    const QString taken =
        write(QStringLiteral("taken.jpg"),
              withExif(makeJpeg(picture),
                       makeExifBlock({1, "2024:02:29 07:05:09", "2001:01:01 01:01:01"})));
    ASSERT_TRUE(open(taken));
    EXPECT_EQ(viewer->StatusBar1->text(), QStringLiteral("taken.jpg   24/02/29  07:05:09"));
    close();

    // A blank date and no EXIF block at all both leave the file's last-modified time.
    const QDateTime modified(QDate(2019, 5, 4), QTime(3, 2, 1));
    for (const QByteArray& jpeg :
         {withExif(makeJpeg(picture), makeExifBlock({1, "    :  :     :  :", {}})),
          makeJpeg(picture)}) {
        const QString path = write(QStringLiteral("plain.jpg"), jpeg);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(modified, QFileDevice::FileModificationTime));
        file.close();
        ASSERT_TRUE(open(path));
        EXPECT_EQ(viewer->StatusBar1->text(),
                  fileStatusLine(QStringLiteral("plain.jpg"), modified));
        close();
    }
}

TEST_F(ViewerTest, TheCameraDigitizingDateStandsInForABlankShootingDate) {
    TAZU_REQUIRE_TESTDATA();
    ASSERT_TRUE(open(testdataDir() + QStringLiteral("/camera/11_SP-2500_81x121_o6.jpg")));
    EXPECT_EQ(viewer->StatusBar1->text(),
              QStringLiteral("11_SP-2500_81x121_o6.jpg   03/09/10  20:59:18"));
    EXPECT_EQ(viewer->All1->size(), QSize(121, 81));
    close();
}

TEST_F(ViewerTest, ASavedBmpHasItsFileHeaderAndTheInputTimeCorrections) {
    QImage picture(61, 40, QImage::Format_RGB32); // rows of 183 bytes, padded to 184
    picture.fill(qRgb(100, 100, 100));
    JpegOptions finest;
    finest.quality = 100;
    const QString path = write(QStringLiteral("photo.jpg"), makeJpeg(picture, finest));
    CorrectionSettings.CLBL = false; // colour at input time
    CorrectionSettings.Blue = 50;
    ASSERT_TRUE(open(path));
    EXPECT_FALSE(viewer->StatusBar1->text().isEmpty());
    EXPECT_TRUE(viewer->StatusBar1->text().startsWith(QStringLiteral("photo.jpg   ")));

    const QByteArray file = save(QStringLiteral("saved.bmp"));
    ASSERT_EQ(answers.saveFileRequests.size(), 1u);
    EXPECT_EQ(answers.saveFileRequests[0].initialPath, dir.filePath(QStringLiteral("photo.BMP")));
    EXPECT_EQ(answers.saveFileRequests[0].filter, QStringLiteral("BMP|*.bmp"));
    ASSERT_GE(file.size(), 54);
    EXPECT_EQ(file.left(2), QByteArray("BM"));
    platform::BitmapFileHeader header{};
    std::memcpy(&header, file.constData(), sizeof header);
    const uint32_t offBits = header.bfOffBits; // copied out of the packed header
    const uint32_t size = header.bfSize;
    EXPECT_EQ(offBits, 54u);
    EXPECT_EQ(size, uint32_t(54 + 184 * 40));
    EXPECT_EQ(file.size(), 54 + 184 * 40);
    const QImage saved = QImage::fromData(file, "BMP");
    ASSERT_EQ(saved.size(), QSize(61, 40));
    EXPECT_NEAR(qBlue(saved.pixel(30, 20)), 228, 3);
    EXPECT_NEAR(qRed(saved.pixel(30, 20)), 100, 3);

    // A folder that cannot be written: the general error display, the viewer stays open.
    answers.messages.clear();
    answers.saveFiles = {dir.filePath(QStringLiteral("missing/saved.bmp"))};
    item("KSAVE1")->trigger();
    EXPECT_EQ(answers.messages.size(), 1u);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("missing"))));
    close();
}

TEST_F(ViewerTest, AGifIsSavedAtItsZoomAndCopiedAtItsOwnSize) {
    QImage indexed(100, 60, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 128, 255), qRgb(255, 255, 0)});
    indexed.fill(0);
    const QString path = write(QStringLiteral("anim.gif"), makeGif({GifFrame{indexed}}));
    ASSERT_TRUE(open(path));
    EXPECT_EQ(LoadResult, HeldByComponent);
    EXPECT_FALSE(item("N6404801")->isVisible());
    item("K9")->trigger(); // ½
    EXPECT_EQ(viewer->All1->size(), QSize(50, 30));
    EXPECT_EQ(bmpSize(save(QStringLiteral("half.bmp"))), QSize(50, 30));

    item("K5")->trigger();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    const QImage image = qvariant_cast<QImage>(copied->imageData());
    EXPECT_EQ(image.size(), QSize(100, 60));
    EXPECT_EQ(image.pixel(10, 10), qRgb(0, 128, 255));
    EXPECT_EQ(bmpSize(copied->data(QStringLiteral("image/bmp"))), QSize(100, 60));
    close();
}

TEST_F(ViewerTest, A24BitBmpWithAColourTableIsSavedAndCopied) {
    // A true-colour picture may carry a colour table it does not need; the held picture keeps
    // only the rows, and what is saved and copied must say so.
    QImage picture(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            picture.setPixel(x, y, qRgb(40 * x, 70 * y, 200));
    QByteArray dib = platform::imageToDib(picture, 24).value;
    platform::BitmapInfoHeader header{};
    std::memcpy(&header, dib.constData(), sizeof header);
    header.biClrUsed = 256;
    dib.replace(0, sizeof header,
                QByteArray(reinterpret_cast<const char*>(&header), sizeof header));
    dib.insert(sizeof header, QByteArray(256 * 4, '\x33'));
    const platform::BitmapFileHeader fileHeader{platform::BmpFileType, uint32_t(14 + dib.size()), 0,
                                                0, 14 + 40 + 256 * 4};
    const QByteArray file =
        QByteArray(reinterpret_cast<const char*>(&fileHeader), sizeof fileHeader) + dib;

    ASSERT_TRUE(open(write(QStringLiteral("table.bmp"), file)));
    EXPECT_EQ(LoadResult, HeldAsDib);
    const QImage saved = QImage::fromData(save(QStringLiteral("saved.bmp")), "BMP");
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), picture);
    item("K5")->trigger();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(qvariant_cast<QImage>(copied->imageData()).convertToFormat(QImage::Format_RGB32),
              picture);
    EXPECT_EQ(QImage::fromData(copied->data(QStringLiteral("image/bmp")), "BMP")
                  .convertToFormat(QImage::Format_RGB32),
              picture);
    EXPECT_TRUE(answers.messages.empty());
    close();
}

TEST_F(ViewerTest, ABmpWithAlphaIsShownSavedAndCopiedOverWhite) {
    // 16 bits a pixel, 5-5-5 and one alpha bit (BI_ALPHABITFIELDS): opaque red, transparent red.
    platform::BitmapInfoHeader header{};
    header.biSize = 40;
    header.biWidth = 2;
    header.biHeight = 1;
    header.biPlanes = 1;
    header.biBitCount = 16;
    header.biCompression = platform::BI_ALPHABITFIELDS;
    const uint32_t masks[] = {0x7C00, 0x03E0, 0x001F, 0x8000};
    const uint16_t row[] = {0xFC00, 0x7C00};
    const platform::BitmapFileHeader fileHeader{platform::BmpFileType, 14 + 40 + 16 + 4, 0, 0,
                                                14 + 40 + 16};
    const QByteArray file = QByteArray(reinterpret_cast<const char*>(&fileHeader), 14) +
                            QByteArray(reinterpret_cast<const char*>(&header), 40) +
                            QByteArray(reinterpret_cast<const char*>(masks), 16) +
                            QByteArray(reinterpret_cast<const char*>(row), 4);
    const std::vector<QRgb> expected = {qRgb(255, 0, 0), qRgb(255, 255, 255)};
    const auto pixels = [](const QImage& image) {
        return image.isNull() ? std::vector<QRgb>{}
                              : std::vector<QRgb>{image.pixel(0, 0), image.pixel(1, 0)};
    };

    ASSERT_TRUE(open(write(QStringLiteral("alpha.bmp"), file)));
    EXPECT_EQ(LoadResult, HeldByComponent);
    EXPECT_EQ(pixels(viewer->All1->picture()), expected);
    EXPECT_EQ(pixels(QImage::fromData(save(QStringLiteral("saved.bmp")), "BMP")), expected);
    item("K5")->trigger();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(pixels(qvariant_cast<QImage>(copied->imageData())), expected);
    close();
}

TEST_F(ViewerTest, ResetShowsThePictureUncorrectedAndKeepsWhenTheCorrectionsAct) {
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(qRgb(100, 100, 100));
    const QByteArray bmp = [&] {
        const auto dib = platform::imageToDib(picture, 24);
        return bmpFileOf(dib.value);
    }();
    TCorrectionSettings& c = CorrectionSettings;
    c.CLBL = false;
    c.ToneBL = false;
    c.Red = 50;
    c.Lowtone = 500;
    ASSERT_TRUE(open(write(QStringLiteral("grey.bmp"), bmp)));
    EXPECT_EQ(LoadResult, HeldAsDib);
    EXPECT_NE(viewer->All1->picture().pixel(5, 5), qRgb(100, 100, 100));
    item("K6")->trigger();
    EXPECT_EQ(viewer->All1->picture().pixel(5, 5), qRgb(100, 100, 100));
    EXPECT_EQ(c.Red, 0);
    EXPECT_EQ(c.Lowtone, 0);
    EXPECT_FALSE(c.CLBL);
    EXPECT_FALSE(c.ToneBL);
    close();
    EXPECT_EQ(CurrentDib.header, nullptr) << "closing frees the picture";
}

TEST_F(ViewerTest, PicturesThatCannotBeOpenedLeaveNothingShown) {
    EXPECT_FALSE(open(write(QStringLiteral("broken.jpg"), QByteArray("\xff\xd8 broken"))));
    close();
    J6iOptions options;
    options.jpeg = QByteArray("\xff\xd8 broken");
    EXPECT_FALSE(open(write(QStringLiteral("broken.j6i"), makeJ6i(options))));
    close();
    EXPECT_FALSE(open(write(QStringLiteral("short.j6i"), QByteArray(30, '\0'))));
    close();
    EXPECT_FALSE(open(write(QStringLiteral("broken.gif"), QByteArray("GIF89a"))));
    close();
    EXPECT_FALSE(open(dir.filePath(QStringLiteral("gone.bmp"))));
    close();
    EXPECT_EQ(CurrentDib.header, nullptr);
    EXPECT_EQ(DecodedDib.info, nullptr);
}

TEST_F(ViewerTest, A24BitBmpBeyondTheSizeRuleIsAnOverflowAndNoPicture) {
    // 40000 × 40000 pixels of 3 bytes need more than 2^31 bytes: the size rule overflows.
    platform::BitmapFileHeader fileHeader{platform::BmpFileType, 54 + 64, 0, 0, 54};
    platform::BitmapInfoHeader header{};
    header.biSize = 40;
    header.biWidth = 40000;
    header.biHeight = 40000;
    header.biPlanes = 1;
    header.biBitCount = 24;
    QByteArray file(reinterpret_cast<const char*>(&fileHeader), sizeof fileHeader);
    file += QByteArray(reinterpret_cast<const char*>(&header), sizeof header) + QByteArray(64, 0);
    EXPECT_FALSE(open(write(QStringLiteral("huge.bmp"), file)));
    EXPECT_EQ(answers.texts(), QStringList{platform::OverflowError().text()});
    EXPECT_FALSE(viewer->All1->hasPicture());
    close();
    EXPECT_EQ(CurrentDib.header, nullptr);
}

} // namespace
