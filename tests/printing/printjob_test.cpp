// The print job on the recording printer: which slot every copy takes, pages, separators,
// caption texts and places, turning and fitting of the pictures, corrections, cancel and the
// failures that drop the document.
#include "correction/settings.h"
#include "imaging/all.h"
#include "imaging/exif.h"
#include "imaging/fullsize.h"
#include "imaging/j6i.h"
#include "imaging/orientation.h"
#include "platform/dib.h"
#include "platform/printer.h"
#include "printing/printjob.h"
#include "printing/printpicture.h"
#include "tests/support/answerer.h"
#include "tests/support/exifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/testdata.h"
#include "tests/support/tiffmaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

using namespace testsupport;
using Kind = platform::PrintOperation::Kind;

namespace {

class StoppingMonitor : public PrintMonitor {
public:
    bool running() override { return !stopAfter || done_ < stopAfter; }
    void pictureDone(int done, int page) override {
        done_ = done;
        progress.emplace_back(done, page);
    }
    int stopAfter = 0;                         // 0: never
    std::vector<std::pair<int, int>> progress; // done, page

private:
    int done_ = 0;
};

QImage flat(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A BMP file of picture at bitCount bits.
QByteArray bmpFile(const QImage& picture, int bitCount) {
    const auto dib = platform::imageToDib(picture, bitCount);
    const auto header = platform::bmpFileHeaderFor(platform::byteView(dib.value));
    return QByteArray(reinterpret_cast<const char*>(&header.value), sizeof header.value) +
           dib.value;
}

// A picture file as stored, without obeying any orientation it records.
QImage readAsStored(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(false);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// What meanDifference leaves between one scene decoded by two decoders (after re-encoding) and
// scaled by two scalers; the scene turned or mirrored wrongly is off by 20 levels and more.
constexpr double SamePicture = 8.0;

// The mean difference per channel of a drawn picture and the reference picture scaled to its
// size, over a grid of samples (JPEG decoding and re-encoding, and scaling, leave a few levels);
// 255 for pictures of other proportions.
double meanDifference(const QImage& drawn, const QImage& reference) {
    if (drawn.isNull() || reference.isNull() ||
        std::abs(double(drawn.width()) / drawn.height() -
                 double(reference.width()) / reference.height()) > 0.01)
        return 255;
    const QImage scaled =
        reference.scaled(drawn.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    long difference = 0, samples = 0;
    for (int y = 3; y < drawn.height(); y += 17)
        for (int x = 3; x < drawn.width(); x += 19) {
            const QRgb p = drawn.pixel(x, y), q = scaled.pixel(x, y);
            difference += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                          std::abs(qBlue(p) - qBlue(q));
            samples += 3;
        }
    return double(difference) / double(samples);
}

class PrintJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        CorrectionSettings = {};
        request.layout.Columns = 2;
        request.layout.Rows = 4;
    }
    void TearDown() override {
        CorrectionSettings = {};
        AutoLevelsFrom = nullptr;
    }

    QString add(const QString& name, const QByteArray& bytes, int copies = 1,
                const QString& memo = {}, bool selected = true) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeFile(path, bytes));
        request.entries.push_back({path, selected, copies, memo});
        return path;
    }
    QString addJpeg(const QString& name, int width = 640, int height = 480, int copies = 1) {
        return add(name, makeJpeg(flat(width, height, qRgb(40, 120, 200))), copies);
    }

    PrintSummary run() { return RunPrintJob(request, printer, work, monitor); }

    std::vector<platform::PrintOperation> operations(Kind kind) const {
        std::vector<platform::PrintOperation> found;
        for (const auto& op : printer.operations)
            if (op.kind == kind)
                found.push_back(op);
        return found;
    }
    PrintLayout layout() const {
        const QSize page = printer.pageSize();
        return ComputePrintLayout(request.layout, page.width(), page.height());
    }
    // The slot index (row by row) whose cell holds the centre of rect.
    int slotOf(const QRect& rect) const {
        const PrintLayout l = layout();
        const QPointF centre = QRectF(rect).center();
        const int column = int((centre.x() - l.left) / (l.cellWidth + l.horizontalGap));
        const int row = int((centre.y() - l.top) / (l.cellHeight + l.verticalGap));
        return row * l.columns + column;
    }
    std::vector<std::pair<int, int>> pictureSlots() const {
        std::vector<std::pair<int, int>> placed; // page, slot
        for (const auto& op : operations(Kind::Picture))
            placed.emplace_back(op.page, slotOf(op.rect));
        return placed;
    }

    QTemporaryDir dir;
    platform::RecordingPrinter printer;
    TAll work;
    RecordingAnswerer answers;
    StoppingMonitor monitor;
    PrintRequest request;
};

using Placed = std::vector<std::pair<int, int>>;

TEST_F(PrintJobTest, CopiesTakeConsecutiveSlotsAndAPageStartsOnlyForAPictureThatFollows) {
    for (int i = 0; i < 9; ++i)
        addJpeg(QStringLiteral("p%1.jpg").arg(i));
    PrintSummary summary = run();
    EXPECT_EQ(summary.outcome, PrintOutcome::Ended);
    EXPECT_EQ(summary.printed, 9);
    EXPECT_EQ(summary.pages, 2);
    EXPECT_EQ(pictureSlots(),
              (Placed{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {0, 6}, {0, 7}, {1, 0}}));
    EXPECT_EQ(operations(Kind::NewPage).size(), 1u);
    EXPECT_EQ(printer.operations.back().kind, Kind::EndDoc);
    EXPECT_EQ(CurrentDib.header, nullptr) << "every copy's picture is released";

    // 8 copies fill one page exactly; 3 copies of an unselected file print nothing; a file of
    // 3 copies after them starts the next page.
    request.entries.clear();
    printer.operations.clear();
    addJpeg(QStringLiteral("eight.jpg"), 640, 480, 8);
    add(QStringLiteral("unselected.jpg"), makeJpeg(flat(64, 48, 0)), 3, {}, false);
    summary = run();
    EXPECT_EQ(summary.pages, 1);
    EXPECT_TRUE(operations(Kind::NewPage).empty());
    addJpeg(QStringLiteral("three.jpg"), 640, 480, 3);
    printer.operations.clear();
    run();
    EXPECT_EQ(operations(Kind::Picture).size(), 11u);
    EXPECT_EQ(pictureSlots().back(), (std::pair{1, 2}));
}

TEST_F(PrintJobTest, SeparatorsShareOneLineBetweenNeighbouringSlots) {
    request.layout.Separators = true;
    addJpeg(QStringLiteral("a.jpg"), 640, 480, 3);
    run();
    const auto rectangles = operations(Kind::Rectangle);
    ASSERT_EQ(rectangles.size(), 3u);
    const PrintLayout l = layout();
    const QRect first = rectangles[0].rect, second = rectangles[1].rect, third = rectangles[2].rect;
    EXPECT_EQ(first.topLeft(), QPoint(0, 0));
    EXPECT_EQ(first.right() + 1, qRound(l.slotLeft(1))) << "right edge exclusive";
    EXPECT_EQ(second.left(), first.right()) << "the second slot starts on the first one's line";
    EXPECT_EQ(third.top(), first.bottom());
    EXPECT_EQ(rectangles[0].penWidth, 1);
    EXPECT_EQ(rectangles[0].brush, QColor(Qt::white));

    request.layout.Separators = false;
    printer.operations.clear();
    run();
    EXPECT_TRUE(operations(Kind::Rectangle).empty());
}

TEST_F(PrintJobTest, AnUndecodablePictureIsSkippedAndTheNextTakesItsSlot) {
    addJpeg(QStringLiteral("a.jpg"));
    const QString broken = add(QStringLiteral("broken.jpg"), QByteArray("\xff\xd8 not a jpeg"), 2);
    addJpeg(QStringLiteral("c.jpg"));
    const PrintSummary summary = run();
    EXPECT_EQ(summary.skipped, QStringList{broken});
    EXPECT_EQ(pictureSlots(), (Placed{{0, 0}, {0, 1}}));
    EXPECT_EQ(answers.messages.size(), 1u) << "the decoder's message, once for both copies";
}

TEST_F(PrintJobTest, APictureTheWorkImageCannotReadKeepsAnEmptyCellOrIsLeftOutWhenAsked) {
    const QString gif =
        add(QStringLiteral("broken.gif"), QByteArray("GIF89a\x10\x01\x10\x01 cut short"));
    const QString bmp = add(QStringLiteral("broken.bmp"), QByteArray("BM\x01\x02 not a bitmap"), 2);
    addJpeg(QStringLiteral("c.jpg"));
    PrintSummary summary = run();
    EXPECT_TRUE(summary.skipped.isEmpty());
    EXPECT_EQ(operations(Kind::Rectangle).size(), 4u) << "framed cells for all of them";
    EXPECT_EQ(pictureSlots(), (Placed{{0, 3}}));
    EXPECT_EQ(answers.messages.size(), 2u) << "the reader's message once for both copies";

    request.leaveOutUnreadable = true;
    printer.operations.clear();
    answers.messages.clear();
    summary = run();
    EXPECT_EQ(summary.skipped, (QStringList{gif, bmp}));
    EXPECT_EQ(summary.printed, 1);
    EXPECT_EQ(operations(Kind::Rectangle).size(), 1u);
    EXPECT_EQ(pictureSlots(), (Placed{{0, 0}})) << "the next picture takes the first slot";
    EXPECT_EQ(answers.messages.size(), 2u) << "once for both copies of the BMP file";

    // Not one picture placed: a blank sheet is ended, or dropped when asked.
    request.entries.pop_back();
    printer.operations.clear();
    EXPECT_EQ(run().outcome, PrintOutcome::Ended);
    EXPECT_EQ(printer.operations.back().kind, Kind::EndDoc);
    request.dropEmptyDocument = true;
    printer.operations.clear();
    EXPECT_EQ(run().outcome, PrintOutcome::Empty);
    EXPECT_EQ(printer.operations.back().kind, Kind::Abort);
    EXPECT_TRUE(operations(Kind::EndDoc).empty());
}

TEST_F(PrintJobTest, ALayoutWithoutRoomForThePicturesIsRefusedBeforeTheDocumentBegins) {
    addJpeg(QStringLiteral("a.jpg"));
    const auto refusal = [&]() -> std::optional<LayoutRoom> {
        printer.operations.clear();
        try {
            run();
            return std::nullopt;
        } catch (const LayoutRefused& refused) {
            EXPECT_TRUE(printer.operations.empty()) << "nothing begun";
            return refused.room;
        }
    };
    request.layout.VerticalGap = 500;
    std::optional<LayoutRoom> room = refusal();
    ASSERT_TRUE(room);
    EXPECT_TRUE(room->across);
    EXPECT_FALSE(room->down);

    request.layout.VerticalGap = 10;
    request.layout.Columns = 50;
    room = refusal();
    ASSERT_TRUE(room);
    EXPECT_FALSE(room->across);
    EXPECT_TRUE(room->down);

    // 45 rows fit down a portrait A4 sheet, not down a landscape one.
    request.layout.Columns = 2;
    request.layout.VerticalGap = 0;
    request.layout.Rows = 45;
    EXPECT_FALSE(refusal());
    request.layout.Orientation = 1;
    room = refusal();
    ASSERT_TRUE(room);
    EXPECT_FALSE(room->down);
    EXPECT_TRUE(room->across);
}

TEST_F(PrintJobTest, CancelDuringPage2DropsTheDocumentBeforeTheNextPicture) {
    for (int i = 0; i < 12; ++i)
        addJpeg(QStringLiteral("p%1.jpg").arg(i));
    monitor.stopAfter = 9;
    const PrintSummary summary = run();
    EXPECT_EQ(summary.outcome, PrintOutcome::Aborted);
    EXPECT_EQ(operations(Kind::Picture).size(), 9u);
    EXPECT_EQ(printer.operations.back().kind, Kind::Abort);
    EXPECT_TRUE(operations(Kind::EndDoc).empty());
    EXPECT_FALSE(printer.printing());
}

TEST_F(PrintJobTest, FailuresWhilePrintingDropTheDocumentAndReleaseThePicture) {
    addJpeg(QStringLiteral("a.jpg"));
    printer.failEndDoc = true;
    EXPECT_THROW(run(), PrintFailed);
    EXPECT_FALSE(printer.printing());

    printer.failEndDoc = false;
    printer.operations.clear();
    add(QStringLiteral("short.j6i"), QByteArray(30, '\0'));
    EXPECT_THROW(run(), platform::IoError);
    EXPECT_EQ(printer.operations.back().kind, Kind::Abort);
    EXPECT_EQ(CurrentDib.header, nullptr);

    // A document that cannot begin leaves nothing at all.
    platform::RecordingPrinter busy;
    ASSERT_TRUE(busy.beginDoc(QStringLiteral("another")));
    EXPECT_THROW(RunPrintJob(request, busy, work, monitor), PrintFailed);
}

TEST_F(PrintJobTest, CaptionsSitUnderTheCellWithALargeGapAndOverThePictureWithASmallOne) {
    request.layout.FileNameLine = true;
    request.layout.MemoLine = true;
    addJpeg(QStringLiteral("a.jpg"));
    request.entries[0].memo = QStringLiteral("運動会");

    request.layout.VerticalGap = 100;
    run();
    PrintLayout l = layout();
    auto texts = operations(Kind::Text);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, QStringLiteral("a.jpg"));
    EXPECT_EQ(texts[1].text, QStringLiteral("運動会"));
    EXPECT_EQ(texts[0].rect.top(), qRound(l.cellTop(0) + l.cellHeight));
    EXPECT_EQ(texts[1].rect.top(), texts[0].rect.top() + texts[0].rect.height());
    EXPECT_NEAR(texts[0].rect.center().x(), l.slotLeft(0) + (l.cellWidth + l.horizontalGap) / 2, 1);

    request.layout.VerticalGap = 10;
    printer.operations.clear();
    run();
    l = layout();
    texts = operations(Kind::Text);
    const int lineHeight = texts[1].rect.height();
    const double slotBottom = l.slotTop(1);
    EXPECT_NEAR(texts[1].rect.top() + lineHeight, slotBottom - 0.2 * lineHeight, 1)
        << "the block ends a fifth of a line above the slot's bottom";
    const QRect picture = operations(Kind::Picture)[0].rect;
    EXPECT_LT(texts[0].rect.top(), picture.bottom()) << "over the picture";
}

TEST_F(PrintJobTest, DateLinesOfJ6iBytesAndOfFileTimes) {
    J6IInfo info;
    info.dateTime = {0x96, 0x12, 0x05, 0x13, 0x45, 0x10};
    EXPECT_EQ(j6iDateLine(info, DateAndTime), QStringLiteral("96/12/05 13:45:10"));
    EXPECT_EQ(j6iDateLine(info, DateOnly), QStringLiteral("96/12/05"));
    EXPECT_EQ(j6iDateLine(info, TimeOnly), QStringLiteral("13:45:10"));
    const QDateTime modified(QDate(2026, 3, 9), QTime(7, 5, 3));
    EXPECT_EQ(fileDateLine(modified, DateAndTime), QStringLiteral("26/03/09 07:05:03"));
    EXPECT_EQ(fileDateLine(modified, DateOnly), QStringLiteral("26/03/09"));
    EXPECT_EQ(fileDateLine(modified, TimeOnly), QStringLiteral("07:05:03"));

    // Through the job: the J6I header's bytes and a JPEG's file time.
    request.layout.DateLine = true;
    J6iOptions j6i;
    j6i.shot = {96, 12, 5, 13, 45, 10};
    add(QStringLiteral("shot.j6i"), makeJ6i(j6i));
    const QString jpeg = addJpeg(QStringLiteral("b.jpg"));
    run();
    const auto texts = operations(Kind::Text);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, QStringLiteral("96/12/05 13:45:10"));
    EXPECT_EQ(texts[1].text, fileDateLine(QFileInfo(jpeg).lastModified(), DateAndTime));
}

TEST_F(PrintJobTest, J6iPicturesAreTurnedAsTheCameraWasHeldOnlyWhenKeptUpright) {
    J6iOptions j6i;
    j6i.orientation = 1;
    add(QStringLiteral("tall.j6i"), makeJ6i(j6i));
    request.layout.KeepUpright = true;
    run();
    auto picture = operations(Kind::Picture).at(0);
    EXPECT_EQ(picture.pictureSize, QSize(480, 768)) << "turned";
    EXPECT_NEAR(double(picture.rect.width()) / picture.rect.height(), 0.75, 0.01);
    // Turned clockwise: the picture's top-left quadrant is now at the top right.
    const QuadrantPicture quadrants = makeQuadrantPicture(768, 480);
    const QImage& turned = picture.picture;
    const QRgb topRight = turned.pixel(turned.width() - 10, 10);
    EXPECT_NEAR(qRed(topRight), qRed(quadrants.colours[0]), 12);
    EXPECT_NEAR(qBlue(topRight), qBlue(quadrants.colours[0]), 12);

    request.turnJ6I = false;
    printer.operations.clear();
    run();
    EXPECT_EQ(operations(Kind::Picture).at(0).pictureSize, QSize(768, 480));

    request.turnJ6I = true;
    request.layout.KeepUpright = false;
    printer.operations.clear();
    run();
    picture = operations(Kind::Picture).at(0);
    EXPECT_EQ(picture.pictureSize, QSize(768, 480)) << "as stored";
    EXPECT_NEAR(double(picture.rect.width()) / picture.rect.height(), 4.0 / 3.0, 0.01);
    // White bands 4 pixels wide at the left and right edges.
    EXPECT_EQ(picture.picture.pixel(3, 100), qRgb(255, 255, 255));
    EXPECT_NE(picture.picture.pixel(5, 100), qRgb(255, 255, 255));
    EXPECT_EQ(picture.picture.pixel(764, 100), qRgb(255, 255, 255));
}

TEST_F(PrintJobTest, TheDateLineOfAJpegIsItsExifShootingDateElseItsFileTime) {
    const ExifDateTime taken{2003, 9, 10, 20, 59, 18};
    EXPECT_EQ(shootingDateLine(taken, DateAndTime), QStringLiteral("03/09/10 20:59:18"));
    EXPECT_EQ(shootingDateLine(taken, DateOnly), QStringLiteral("03/09/10"));
    EXPECT_EQ(shootingDateLine(taken, TimeOnly), QStringLiteral("20:59:18"));

    request.layout.DateLine = true;
    const QByteArray jpeg = makeJpeg(flat(64, 48, qRgb(40, 120, 200)));
    add(QStringLiteral("original.jpg"),
        withExif(jpeg, makeExifBlock({1, "2026:03:09 07:05:03", "2026:03:10 08:00:00"})));
    add(QStringLiteral("digitized.jpg"),
        withExif(jpeg, makeExifBlock({{}, "    :  :     :  :  ", "2003:09:10 20:59:18"})));
    const QString none =
        add(QStringLiteral("none.jpg"), withExif(jpeg, makeExifBlock({6, {}, {}})));
    const QString plain = addJpeg(QStringLiteral("plain.jpg"));
    // A date from EXIF whether or not the rotation switch reads the orientation too.
    for (const bool turn : {true, false}) {
        request.turnJ6I = turn;
        printer.operations.clear();
        run();
        const auto texts = operations(Kind::Text);
        ASSERT_EQ(texts.size(), 4u);
        EXPECT_EQ(texts[0].text, QStringLiteral("26/03/09 07:05:03"));
        EXPECT_EQ(texts[1].text, QStringLiteral("03/09/10 20:59:18")) << "the original is blank";
        EXPECT_EQ(texts[2].text, fileDateLine(QFileInfo(none).lastModified(), DateAndTime));
        EXPECT_EQ(texts[3].text, fileDateLine(QFileInfo(plain).lastModified(), DateAndTime));
    }
    request.dateForm = TimeOnly;
    printer.operations.clear();
    run();
    EXPECT_EQ(operations(Kind::Text).at(1).text, QStringLiteral("20:59:18"));
}

TEST_F(PrintJobTest, TheSceneStoredEightWaysPrintsUprightWithTheRotationSwitchOn) {
    TAZU_REQUIRE_TESTDATA();
    const QString folder = testdataDir() + QStringLiteral("/exif/Landscape_%1.jpg");
    const QImage reference = readAsStored(folder.arg(1));
    ASSERT_FALSE(reference.isNull());
    for (int n = 0; n <= 8; ++n)
        request.entries.push_back({folder.arg(n), true, 1, {}});
    // Upright, every one is wide: tall pictures kept upright or not, it prints straight.
    for (const bool keepUpright : {true, false}) {
        request.layout.KeepUpright = keepUpright;
        printer.operations.clear();
        run();
        const auto pictures = operations(Kind::Picture);
        ASSERT_EQ(pictures.size(), 9u);
        for (int n = 0; n <= 8; ++n) {
            EXPECT_LT(meanDifference(pictures[size_t(n)].picture, reference), SamePicture)
                << "Landscape_" << n << (keepUpright ? " kept upright" : "");
            EXPECT_NEAR(double(pictures[size_t(n)].rect.width()) /
                            pictures[size_t(n)].rect.height(),
                        1.5, 0.01);
        }
    }
    // The switch off: every picture prints as stored.
    request.turnJ6I = false;
    request.layout.KeepUpright = true;
    printer.operations.clear();
    run();
    const auto pictures = operations(Kind::Picture);
    ASSERT_EQ(pictures.size(), 9u);
    EXPECT_GT(meanDifference(pictures[3].picture, reference), 20.0) << "half turned";
    EXPECT_LT(meanDifference(pictures[3].picture, readAsStored(folder.arg(3))), SamePicture);
    EXPECT_NEAR(double(pictures[6].rect.width()) / pictures[6].rect.height(), 2.0 / 3.0, 0.01)
        << "tall as stored";
}

TEST_F(PrintJobTest, AJpegOnItsSideStandsUprightWhenKeptSoAndLiesLikeAnyTallPictureElse) {
    // Upright, the picture is tall; the camera stored it a quarter turn clockwise (orientation
    // 8: to be turned counter-clockwise), and mirrored (orientation 5).
    const QuadrantPicture upright = makeQuadrantPicture(96, 128);
    const QImage stored = upright.image.transformed(QTransform().rotate(90));
    add(QStringLiteral("o8.jpg"), withExif(makeJpeg(stored), makeExifBlock({8, {}, {}})));
    add(QStringLiteral("o5.jpg"),
        withExif(makeJpeg(upright.image.transformed(QTransform(0, 1, 1, 0, 0, 0))),
                 makeExifBlock({5, {}, {}})));
    const auto near = [](QRgb seen, QRgb expected) {
        return std::abs(qRed(seen) - qRed(expected)) < 12 &&
               std::abs(qGreen(seen) - qGreen(expected)) < 12 &&
               std::abs(qBlue(seen) - qBlue(expected)) < 12;
    };
    request.layout.KeepUpright = true;
    run();
    for (const auto& picture : operations(Kind::Picture)) {
        EXPECT_EQ(picture.pictureSize, QSize(96, 128));
        EXPECT_NEAR(double(picture.rect.width()) / picture.rect.height(), 0.75, 0.01);
        EXPECT_TRUE(near(picture.picture.pixel(10, 10), upright.colours[0]));
        EXPECT_TRUE(near(picture.picture.pixel(85, 10), upright.colours[1]));
        EXPECT_TRUE(near(picture.picture.pixel(10, 117), upright.colours[2]));
    }

    // Laid on its side as a tall picture is: a quarter turn counter-clockwise from upright, so
    // that its top is at the left.
    request.layout.KeepUpright = false;
    printer.operations.clear();
    run();
    for (const auto& picture : operations(Kind::Picture)) {
        EXPECT_EQ(picture.pictureSize, QSize(128, 96));
        EXPECT_NEAR(double(picture.rect.width()) / picture.rect.height(), 4.0 / 3.0, 0.01);
        EXPECT_TRUE(near(picture.picture.pixel(10, 85), upright.colours[0]));
        EXPECT_TRUE(near(picture.picture.pixel(10, 10), upright.colours[1]));
        EXPECT_TRUE(near(picture.picture.pixel(117, 85), upright.colours[2]));
    }
}

TEST_F(PrintJobTest, ANearlySquarePictureDecodedSmallerLiesAsItsStoredSizeSays) {
    // 2000 × 1999 is wide and prints unturned; decoded at 5/8 for a 2 × 4 cell its sides both
    // come out 1250, and a square picture would lie on its side.
    const QuadrantPicture picture = makeQuadrantPicture(2000, 1999);
    add(QStringLiteral("nearly-square.jpg"), makeJpeg(picture.image));
    const auto printed = [&](bool scaled) {
        request.scaledLoading = scaled;
        printer.operations.clear();
        EXPECT_EQ(run().printed, 1);
        return operations(Kind::Picture).at(0);
    };
    const platform::PrintOperation full = printed(false);
    const platform::PrintOperation scaled = printed(true);
    // The eighth the decoder chooses for the minimum asked for (libjpeg rounds each side up)
    // gives a square picture: the case of this test.
    const QSize minimum =
        MinimumDecodedSize(request.layout, layout(), printer.resolution(), QSize(2000, 1999), 0);
    int eighths = 1;
    while ((2000 * eighths + 7) / 8 < minimum.width() ||
           (1999 * eighths + 7) / 8 < minimum.height())
        ++eighths;
    ASSERT_LT(eighths, 8);
    EXPECT_EQ((2000 * eighths + 7) / 8, (1999 * eighths + 7) / 8);
    EXPECT_EQ(scaled.rect, full.rect);
    const auto near = [](QRgb seen, QRgb expected) {
        return std::abs(qRed(seen) - qRed(expected)) < 12 &&
               std::abs(qGreen(seen) - qGreen(expected)) < 12 &&
               std::abs(qBlue(seen) - qBlue(expected)) < 12;
    };
    for (const auto& op : {full, scaled}) {
        const QImage& drawn = op.picture;
        EXPECT_TRUE(near(drawn.pixel(5, 5), picture.colours[0])) << "not turned";
        EXPECT_TRUE(near(drawn.pixel(drawn.width() - 5, 5), picture.colours[1]));
    }
}

TEST_F(PrintJobTest, ACameraPictureOnItsSideTurnsOnlyWithTheSwitchOn) {
    TAZU_REQUIRE_TESTDATA();
    const QString path = testdataDir() + QStringLiteral("/camera/09_GT-I9000_640x480_o6.jpg");
    const QImage stored = readAsStored(path);
    ASSERT_EQ(stored.size(), QSize(640, 480));
    request.entries.push_back({path, true, 1, {}});
    request.layout.KeepUpright = true;
    run();
    auto picture = operations(Kind::Picture).at(0);
    EXPECT_LT(meanDifference(picture.picture, uprightImage(stored, TurnedClockwise)), SamePicture);

    request.turnJ6I = false;
    printer.operations.clear();
    run();
    picture = operations(Kind::Picture).at(0);
    EXPECT_LT(meanDifference(picture.picture, stored), SamePicture) << "as stored";
}

TEST_F(PrintJobTest, TiffPicturesTurnByTheirOrientationTagHeldAtFullDepthOrInTheWorkImage) {
    const QuadrantPicture upright = makeQuadrantPicture(96, 128);
    TiffOptions rgb;
    rgb.orientation = 6; // stored a quarter turn counter-clockwise
    const QImage stored = upright.image.transformed(QTransform().rotate(-90));
    add(QStringLiteral("rgb.tif"), makeTiff({stored}, rgb));
    TiffOptions palette;
    palette.pixels = TiffPixels::Palette;
    palette.orientation = 3;
    const QString palettePath =
        add(QStringLiteral("palette.tif"),
            makeTiff({upright.image.transformed(QTransform().rotate(180))
                          .convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)},
                     palette));
    ASSERT_FALSE(LoadPrintPicture(palettePath, QStringLiteral(".TIF"), work));
    ASSERT_EQ(LoadResult, HeldByComponent) << "the palette picture is the work image's";
    request.layout.KeepUpright = true;
    run();
    const auto pictures = operations(Kind::Picture);
    ASSERT_EQ(pictures.size(), 2u);
    for (const auto& picture : pictures) {
        ASSERT_EQ(picture.pictureSize, QSize(96, 128));
        EXPECT_EQ(picture.picture.pixel(10, 10), upright.colours[0]);
        EXPECT_EQ(picture.picture.pixel(85, 117), upright.colours[3]);
    }
}

TEST_F(PrintJobTest, LandscapeSheetsUseTheLandscapePage) {
    request.layout.Orientation = 1;
    addJpeg(QStringLiteral("a.jpg"), 640, 480, 2);
    run();
    EXPECT_EQ(printer.orientation(), platform::PageOrientation::Landscape);
    EXPECT_EQ(printer.pageSize(), QSize(3508, 2480));
    const PrintLayout l = layout();
    const QRect second = operations(Kind::Picture).at(1).rect;
    EXPECT_NEAR(QRectF(second).center().x(), l.cellLeft(1) + l.cellWidth / 2, 1);
}

TEST_F(PrintJobTest, BmpPicturesOfEightBitsAreCorrectedThroughTheWorkImageAndOfFourBitsNot) {
    CorrectionSettings.Blue = 50; // +128 on the blue channel
    QImage indexed(64, 48, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(100, 100, 100), qRgb(0, 0, 0)});
    indexed.fill(0);
    add(QStringLiteral("eight.bmp"), bmpFile(indexed, 8));
    add(QStringLiteral("four.bmp"), bmpFile(indexed, 4));
    add(QStringLiteral("full.bmp"), bmpFile(flat(64, 48, qRgb(100, 100, 100)), 24));
    run();
    const auto pictures = operations(Kind::Picture);
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(pictures[0].picture.pixel(10, 10), qRgb(100, 100, 228));
    EXPECT_EQ(pictures[1].picture.pixel(10, 10), qRgb(100, 100, 100));
    EXPECT_EQ(pictures[2].picture.pixel(10, 10), qRgb(100, 100, 228));
}

// A horizontal grey ramp from 60 to 186, which every correction below changes.
QImage ramp(int width, int height) {
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> greys;
    for (int level = 0; level < 256; ++level)
        greys.append(qRgb(level, level, level));
    image.setColorTable(greys);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.scanLine(y)[x] = uchar(60 + 2 * x);
    return image;
}

TAutoLevels levelsForTest() {
    return {true, 50, 50};
}

TEST_F(PrintJobTest, CopiesShowThePictureCorrectedOnceWithManualAndAutomaticLevels) {
    // Held in CurrentDib (JPEG, 24-bit BMP) and by the work image (8-bit BMP).
    add(QStringLiteral("ramp.jpg"), makeJpeg(ramp(64, 48).convertToFormat(QImage::Format_RGB32)));
    add(QStringLiteral("ramp24.bmp"), bmpFile(ramp(64, 48), 24));
    add(QStringLiteral("ramp8.bmp"), bmpFile(ramp(64, 48), 8));
    const auto printed = [&](int copies) {
        for (PrintEntry& entry : request.entries)
            entry.copies = copies;
        printer.operations.clear();
        run();
        std::vector<QImage> pictures;
        for (const auto& op : operations(Kind::Picture))
            pictures.push_back(op.picture);
        return pictures;
    };
    const std::vector<QImage> uncorrected = printed(1);
    ASSERT_EQ(uncorrected.size(), 3u);

    TCorrectionSettings manual;
    manual.Blue = 20;
    manual.Midtone = 300;
    manual.Lowtone = 300;
    for (const bool automatic : {false, true}) {
        SCOPED_TRACE(automatic ? "automatic levels" : "manual levels");
        CorrectionSettings = manual;
        AutoLevelsFrom = automatic ? levelsForTest : nullptr;
        const std::vector<QImage> alone = printed(1);
        const std::vector<QImage> copies = printed(3);
        ASSERT_EQ(alone.size(), 3u);
        ASSERT_EQ(copies.size(), 9u);
        for (size_t i = 0; i < copies.size(); ++i) {
            EXPECT_NE(alone[i / 3], uncorrected[i / 3]) << "corrected";
            EXPECT_EQ(copies[i], alone[i / 3]) << "copy " << i % 3 << " of picture " << i / 3;
        }
    }
}

TEST_F(PrintJobTest, APictureTurnedUprightIsTurnedOnceForAllItsCopies) {
    request.layout.KeepUpright = true;
    // Turned by EXIF in CurrentDib, by the TIFF orientation tag in the work image, and by the
    // J6I header when drawn.
    const QuadrantPicture upright = makeQuadrantPicture(96, 128);
    add(QStringLiteral("o8.jpg"),
        withExif(makeJpeg(upright.image.transformed(QTransform().rotate(90))),
                 makeExifBlock({8, {}, {}})),
        3);
    TiffOptions palette;
    palette.pixels = TiffPixels::Palette;
    palette.orientation = 3;
    add(QStringLiteral("palette.tif"),
        makeTiff({upright.image.transformed(QTransform().rotate(180))
                      .convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)},
                 palette),
        3);
    J6iOptions j6i;
    j6i.orientation = 1;
    add(QStringLiteral("tall.j6i"), makeJ6i(j6i), 3);
    run();
    const auto pictures = operations(Kind::Picture);
    ASSERT_EQ(pictures.size(), 9u);
    const QSize sizes[] = {{96, 128}, {96, 128}, {480, 768}};
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(pictures[i].pictureSize, sizes[i / 3]) << i;
        EXPECT_EQ(pictures[i].picture, pictures[i / 3 * 3].picture) << i;
    }
    EXPECT_EQ(pictures[3].picture.pixel(10, 10), upright.colours[0]);
}

TEST_F(PrintJobTest, CancelBetweenCopiesStopsTheJobAndReleasesThePicture) {
    addJpeg(QStringLiteral("a.jpg"), 640, 480, 3);
    addJpeg(QStringLiteral("b.jpg"));
    monitor.stopAfter = 2;
    EXPECT_EQ(run().outcome, PrintOutcome::Aborted);
    EXPECT_EQ(operations(Kind::Picture).size(), 2u);
    EXPECT_EQ(printer.operations.back().kind, Kind::Abort);
    EXPECT_EQ(CurrentDib.header, nullptr);
}

// Whether two recordings hold the same operations with the same pictures, texts and places.
bool sameOperations(const std::vector<platform::PrintOperation>& a,
                    const std::vector<platform::PrintOperation>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.kind == y.kind && x.page == y.page && x.rect == y.rect && x.text == y.text &&
               x.pen == y.pen && x.penWidth == y.penWidth && x.brush == y.brush &&
               x.font == y.font && x.pictureSize == y.pictureSize && x.picture == y.picture;
    });
}

// The job with the scripted stand-in plug-in, which logs every call, in place of the real ones.
class ScriptedPluginJobTest : public PrintJobTest {
protected:
    void SetUp() override {
        PrintJobTest::SetUp();
        qputenv("SCRIPTED_SPI_LOG", QFile::encodeName(logFile));
        qputenv("TAZU_PLUGIN_PATH", SCRIPTED_SPI_DIR);
    }
    void TearDown() override {
        qunsetenv("SCRIPTED_SPI_LOG");
        qputenv("TAZU_PLUGIN_PATH", pluginPath);
        PrintJobTest::TearDown();
    }
    // The plug-in calls since the last time, a line each.
    std::string takeCalls() const {
        QFile log(logFile);
        if (!log.open(QIODevice::ReadOnly))
            return {};
        const std::string calls = log.readAll().toStdString();
        log.remove();
        return calls;
    }

    QByteArray pluginPath = qgetenv("TAZU_PLUGIN_PATH");
    QString logFile = dir.filePath(QStringLiteral("calls.log"));
};

TEST_F(ScriptedPluginJobTest, APictureWithCopiesIsDecodedOnceAndPrintsAsIfListedAsOften) {
    request.layout.Separators = true;
    request.layout.FileNameLine = true;
    request.layout.DateLine = true;
    request.layout.MemoLine = true;
    // Held at 24 bits in CurrentDib, and at 8 bits by the work image; 9 copies over two pages.
    add(QStringLiteral("full.jpg"), "width=64 height=48 bits=24\n", 5, QStringLiteral("運動会"));
    add(QStringLiteral("palette.jpg"), "width=48 height=64 bits=8\n", 4, QStringLiteral("遠足"));
    const std::vector<PrintEntry> copied = request.entries;

    PrintSummary summary = run();
    const auto withCopies = printer.operations;
    const auto progress = monitor.progress;
    const std::string calls = takeCalls();
    EXPECT_EQ(summary.printed, 9);
    EXPECT_EQ(summary.pages, 2);
    EXPECT_EQ(CurrentDib.header, nullptr);
    ASSERT_NE(calls.find("GetPicture "), std::string::npos);

    for (PrintEntry& entry : request.entries)
        entry.copies = 1;
    printer.operations.clear();
    run();
    EXPECT_EQ(takeCalls(), calls) << "the same decoding for one copy as for five";

    // The same pages, captions and progress as every copy listed as a picture of its own.
    request.entries.clear();
    for (PrintEntry entry : copied) {
        const int copies = std::exchange(entry.copies, 1);
        request.entries.insert(request.entries.end(), size_t(copies), entry);
    }
    printer.operations.clear();
    monitor.progress.clear();
    summary = run();
    EXPECT_EQ(summary.printed, 9);
    EXPECT_TRUE(sameOperations(printer.operations, withCopies));
    EXPECT_EQ(operations(Kind::Text).size(), 27u);
    EXPECT_EQ(monitor.progress, progress);
}

// The same with the stand-in that exports GetPictureScaled too and logs the minimum it is asked
// for.
class ScaledPluginJobTest : public ScriptedPluginJobTest {
protected:
    void SetUp() override {
        ScriptedPluginJobTest::SetUp();
        qputenv("TAZU_PLUGIN_PATH", SCRIPTED_SCALED_SPI_DIR);
    }
    // Prints one scripted picture of width × height (behind an EXIF block turning it by
    // orientation when given) and returns the minimum it was decoded at (empty when it was
    // decoded through GetPicture) and the rectangle it was drawn into.
    std::pair<QSize, QRect> printOne(int width, int height, int orientation = 0) {
        const QByteArray script =
            QStringLiteral("width=%1 height=%2 bits=24\n").arg(width).arg(height).toLatin1();
        QByteArray file = script;
        if (orientation) {
            // The EXIF data where the JPEG stream starts, the script where the plug-in finds
            // a stream at 128.
            file = withExif(QByteArray("\xFF\xD8\xFF\xD9", 4),
                            makeExifBlock({uint16_t(orientation), {}, {}}));
            EXPECT_LT(file.size(), 128);
            file = file.leftJustified(128, ' ') + script;
        }
        request.entries.clear();
        add(QStringLiteral("picture.jpg"), file);
        printer.operations.clear();
        EXPECT_EQ(run().printed, 1);
        const QSize minimum = askedMinimum();
        const auto pictures = operations(Kind::Picture);
        return {minimum, pictures.empty() ? QRect() : pictures.front().rect};
    }
    // The minimum of the last GetPictureScaled call logged; empty when the picture was decoded
    // through GetPicture.
    QSize askedMinimum() {
        const std::string calls = takeCalls();
        static const QRegularExpression scaled(
            QStringLiteral("GetPictureScaled \\d+ (\\d+)x(\\d+)"));
        const auto match = scaled.match(QString::fromStdString(calls));
        if (match.hasMatch())
            return {match.captured(1).toInt(), match.captured(2).toInt()};
        EXPECT_NE(calls.find("GetPicture "), std::string::npos) << calls;
        return {};
    }
};

// A quarter larger than the rectangle drawn, at the printer's resolution capped at 300 dpi.
QSize aQuarterLarger(QSize size) {
    return {(size.width() * 5 + 3) / 4, (size.height() * 5 + 3) / 4};
}

TEST_F(ScaledPluginJobTest, AJpegIsDecodedAtTheScaleItsCellNeedsMeasuredAsItIsDrawn) {
    // 2 × 4 on A4 at 300 dpi: a 12-megapixel picture needs about a quarter of its pixels a side.
    const auto [wide, wideRect] = printOne(4000, 3000);
    EXPECT_GT(wideRect.width(), wideRect.height());
    EXPECT_EQ(wide, aQuarterLarger(wideRect.size()));
    EXPECT_LT(wide.width(), 4000 / 2);

    // A tall picture lies on its side in the same rectangle: its stored width covers the
    // drawn height. Kept upright, it stands in a narrower one.
    const auto [tall, tallRect] = printOne(3000, 4000);
    EXPECT_EQ(tallRect, wideRect);
    EXPECT_EQ(tall, wide.transposed());
    request.layout.KeepUpright = true;
    const auto [upright, uprightRect] = printOne(3000, 4000);
    EXPECT_LT(uprightRect.width(), uprightRect.height());
    EXPECT_EQ(upright, aQuarterLarger(uprightRect.size()));

    // Stored wide, turned upright by its EXIF orientation: measured in the stored orientation.
    const auto [turned, turnedRect] = printOne(4000, 3000, 6);
    EXPECT_EQ(turnedRect, uprightRect);
    EXPECT_EQ(turned, upright.transposed());
    request.layout.KeepUpright = false;
    const auto [lying, lyingRect] = printOne(4000, 3000, 6);
    EXPECT_EQ(lyingRect, wideRect);
    EXPECT_EQ(lying, wide);

    // At 600 dpi the picture is still printed at no more than 300 dpi.
    platform::RecordingPrinter fine(platform::RecordingPrinter::A4At300Dpi * 2, 600);
    request.entries.clear();
    add(QStringLiteral("fine.jpg"), "width=4000 height=3000 bits=24\n");
    EXPECT_EQ(RunPrintJob(request, fine, work, monitor).printed, 1);
    const auto picture = std::find_if(fine.operations.begin(), fine.operations.end(),
                                      [](const auto& op) { return op.kind == Kind::Picture; });
    ASSERT_NE(picture, fine.operations.end());
    const QSize atMost300Dpi((picture->rect.width() + 1) / 2, (picture->rect.height() + 1) / 2);
    EXPECT_EQ(askedMinimum(), aQuarterLarger(atMost300Dpi));

    // A picture its large cell needs whole, or one scaled loading is off for, is decoded whole.
    request.layout.Columns = 1;
    request.layout.Rows = 1;
    EXPECT_EQ(printOne(1600, 1200).first, QSize());
    request.layout.Columns = 2;
    request.layout.Rows = 4;
    request.scaledLoading = false;
    EXPECT_EQ(printOne(4000, 3000).first, QSize());

    // Automatic levels are found from the whole picture's histogram.
    request.scaledLoading = true;
    AutoLevelsFrom = [] { return TAutoLevels{true, 5, 5}; };
    EXPECT_EQ(printOne(4000, 3000).first, QSize());
}

// How many lines of the call log start with function and a space.
int callsOf(const std::string& calls, const std::string& function) {
    int count = 0;
    for (size_t at = calls.find(function + ' '); at != std::string::npos;
         at = calls.find(function + ' ', at + 1))
        count += at == 0 || calls[at - 1] == '\n';
    return count;
}

TEST_F(ScaledPluginJobTest, TheNextPictureIsDecodedAheadOnceAndAFailureToldAtItsTurn) {
    add(QStringLiteral("a.jpg"), "width=4000 height=3000 bits=24\n");
    const QString broken = add(QStringLiteral("b.jpg"), "width=4000 height=3000 picture=3\n");
    add(QStringLiteral("c.jpg"), "width=4000 height=3000 bits=24\n", 2);
    PrintSummary summary = run();
    EXPECT_EQ(summary.printed, 3);
    EXPECT_EQ(summary.skipped, QStringList{broken});
    EXPECT_EQ(pictureSlots(), (Placed{{0, 0}, {0, 1}, {0, 2}}));
    EXPECT_EQ(answers.messages.size(), 1u) << "the decoder's message, once";
    std::string calls = takeCalls();
    EXPECT_EQ(callsOf(calls, "GetPictureScaled"), 3) << calls;
    EXPECT_EQ(callsOf(calls, "GetPicture"), 0) << calls;

    // A 1 × 1 sheet needs them whole: each is decoded at its turn, once, and never ahead, so
    // that no two full-size pictures are held at a time.
    request.entries.clear();
    add(QStringLiteral("a.jpg"), "width=1600 height=1200 bits=24\n");
    add(QStringLiteral("c.jpg"), "width=1600 height=1200 bits=24\n", 2);
    request.layout.Columns = 1;
    request.layout.Rows = 1;
    summary = run();
    EXPECT_EQ(summary.printed, 3);
    calls = takeCalls();
    EXPECT_EQ(callsOf(calls, "GetPictureScaled"), 0) << calls;
    EXPECT_EQ(callsOf(calls, "GetPicture"), 2) << calls;
}

TEST_F(ScriptedPluginJobTest, AJpegWhosePluginCannotScalePrintsFromItsFullSize) {
    add(QStringLiteral("picture.jpg"), "width=2000 height=1500 bits=24\n");
    EXPECT_EQ(run().printed, 1);
    EXPECT_NE(takeCalls().find("GetPicture 0"), std::string::npos);
    const auto pictures = operations(Kind::Picture);
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].picture.size(), pictures[0].rect.size()) << "reduced to its cell";
}

class PictureInCellTest : public PrintJobTest {
protected:
    // Loads picture as a 24-bit BMP and draws it into a 400 × 400 cell centred on (500, 500).
    platform::PrintOperation draw(const QImage& picture, bool keepUpright, int rotation = 0) {
        const QString path = dir.filePath(QStringLiteral("cell.bmp"));
        EXPECT_TRUE(writeFile(path, bmpFile(picture, 24)));
        EXPECT_FALSE(LoadPrintPicture(path, QStringLiteral(".BMP"), work));
        EXPECT_EQ(LoadResult, HeldAsDib);
        printer.operations.clear();
        printer.beginDoc(QStringLiteral("cell"));
        const QSize size = PrintPictureSize(work);
        PrintPictureInCell(printer, 500, 500, 400, 400, double(size.width()) / size.height(), work,
                           rotation, keepUpright);
        printer.endDoc();
        FreeCurrentDib();
        return operations(Kind::Picture).at(0);
    }
};

TEST_F(PictureInCellTest, PicturesAreFittedAndCentredAndTallOrSquareOnesLaidOnTheirSide) {
    const QuadrantPicture wide = makeQuadrantPicture(640, 480);
    auto op = draw(wide.image, false);
    EXPECT_EQ(op.rect, QRect(300, 350, 400, 300)) << "50 pixels free above and below";
    EXPECT_EQ(op.pictureSize, QSize(400, 300));

    const QImage tall = wide.image.transformed(QTransform().rotate(90)); // 480 × 640
    op = draw(tall, false);
    EXPECT_EQ(op.rect, QRect(300, 350, 400, 300)) << "laid on its side";
    // Turned back counter-clockwise, the picture is the wide one again.
    EXPECT_EQ(op.picture.pixel(20, 20), wide.colours[0]);
    EXPECT_EQ(op.picture.pixel(380, 280), wide.colours[3]);

    op = draw(tall, true);
    EXPECT_EQ(op.rect, QRect(350, 300, 300, 400)) << "kept upright, 3:4";
    EXPECT_EQ(op.picture.pixel(20, 20), tall.pixel(0, 0));

    op = draw(makeQuadrantPicture(480, 480).image, false);
    EXPECT_EQ(op.rect, QRect(300, 300, 400, 400));
    EXPECT_EQ(op.picture.pixel(20, 20), makeQuadrantPicture(480, 480).colours[1])
        << "a square picture is turned too";
}

TEST_F(PictureInCellTest, APalettePictureIsTurnedFromTheWorkImagesBitmap) {
    QImage tall(48, 64, QImage::Format_Indexed8); // top half red, bottom half blue
    tall.setColorTable({qRgb(200, 0, 0), qRgb(0, 0, 200)});
    for (int y = 0; y < 64; ++y)
        std::memset(tall.scanLine(y), y < 32 ? 0 : 1, 48);
    const QString path = dir.filePath(QStringLiteral("tall.bmp"));
    ASSERT_TRUE(writeFile(path, bmpFile(tall, 8)));
    ASSERT_FALSE(LoadPrintPicture(path, QStringLiteral(".BMP"), work));
    ASSERT_EQ(LoadResult, HeldByComponent);
    EXPECT_EQ(PrintPictureSize(work), QSize(48, 64));
    printer.beginDoc(QStringLiteral("cell"));
    PrintPictureInCell(printer, 500, 500, 400, 400, 0.75, work, 0, false);
    printer.endDoc();
    const auto op = operations(Kind::Picture).at(0);
    EXPECT_EQ(op.pictureSize, QSize(64, 48)) << "laid on its side";
    // A quarter turn counter-clockwise puts the top half on the left.
    EXPECT_EQ(op.picture.pixel(2, 24), qRgb(200, 0, 0));
    EXPECT_EQ(op.picture.pixel(61, 24), qRgb(0, 0, 200));
}

TEST(TurnDib, EveryPixelMovesAsTheQuarterTurnsSayWithRowsPaddedForAnyWidth) {
    const int width = 5, height = 3; // 15 bytes a row, padded to 16; turned 9 padded to 12
    QImage numbered(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            numbered.setPixel(x, y, qRgb(x, y, 7));
    const auto dib = platform::imageToDib(numbered, 24);
    const auto* rows = reinterpret_cast<const uint8_t*>(dib.value.constData()) + 40;
    for (int rotation : {TurnForLyingDown, TurnClockwise, TurnCounterClockwise}) {
        const TurnedDib turned = turnDib24(rows, width, height, rotation);
        EXPECT_EQ(turned.header.biWidth, height);
        EXPECT_EQ(turned.header.biHeight, width);
        EXPECT_EQ(turned.header.biBitCount, 24);
        ASSERT_EQ(turned.pixels.size(), size_t(12 * width));
        for (int y = 0; y < height; ++y) { // memory rows, bottom-up
            for (int x = 0; x < width; ++x) {
                const bool ccw = rotation != TurnClockwise;
                const int row = ccw ? x : width - 1 - x;
                const int column = ccw ? height - 1 - y : y;
                const uint8_t* p = turned.pixels.data() + row * 12 + column * 3;
                EXPECT_EQ(p[2], x) << rotation;              // red: the source column
                EXPECT_EQ(p[1], height - 1 - y) << rotation; // green: the source's picture row
                EXPECT_EQ(p[0], 7);
            }
        }
    }
}

} // namespace
