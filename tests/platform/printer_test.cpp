#include "platform/interaction.h"
#include "platform/printer.h"
#include "tests/support/answerer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace platform;
using testsupport::RecordingAnswerer;

TEST(Printer, RecordingPageTurnsWithTheOrientationAndCaptionsStartInTheJapaneseGothic) {
    RecordingPrinter a4;
    EXPECT_EQ(a4.pageSize(), QSize(2480, 3508));
    EXPECT_EQ(a4.resolution(), 300);
    a4.setOrientation(PageOrientation::Landscape);
    EXPECT_EQ(a4.orientation(), PageOrientation::Landscape);
    EXPECT_EQ(a4.pageSize(), QSize(3508, 2480));

    RecordingPrinter small(QSize(600, 800), 72);
    small.setOrientation(PageOrientation::Landscape);
    small.setOrientation(PageOrientation::Portrait);
    EXPECT_EQ(small.pageSize(), QSize(600, 800));
    EXPECT_EQ(small.resolution(), 72);

    EXPECT_EQ(small.font().family(), QStringLiteral("ＭＳ Ｐゴシック"));
    EXPECT_EQ(small.font().pointSize(), 9);
    QFont bold(QStringLiteral("IPAGothic"), 14);
    bold.setBold(true);
    small.setFont(bold);
    EXPECT_EQ(small.font(), bold);
}

TEST(Printer, SystemPrinterGivesAPageEvenWithoutAnInstalledPrinter) {
    QtPrinter printer;
    const QSize portrait = printer.pageSize();
    EXPECT_GE(printer.resolution(), 300);
    EXPECT_GT(portrait.width(), 0);
    EXPECT_LT(portrait.width(), portrait.height());
    if (QPrinterInfo::defaultPrinter().isNull()) {
        EXPECT_EQ(printer.qprinter().outputFormat(), QPrinter::PdfFormat);
        EXPECT_EQ(printer.qprinter().pageLayout().pageSize().id(), QPageSize::A4);
        // The printable area lies within the A4 sheet at the device's resolution.
        const QSize sheet = QPageSize(QPageSize::A4).sizePixels(printer.resolution());
        EXPECT_LE(portrait.width(), sheet.width());
        EXPECT_LE(portrait.height(), sheet.height());
        EXPECT_GT(portrait.width(), sheet.width() * 9 / 10);
    }
    printer.setOrientation(PageOrientation::Landscape);
    EXPECT_EQ(printer.orientation(), PageOrientation::Landscape);
    EXPECT_EQ(printer.pageSize(), portrait.transposed());
}

TEST(Printer, ScopedPrintersNestAndTheProgramsPrinterComesBack) {
    Printer& program = currentPrinter();
    EXPECT_EQ(&currentPrinter(), &program);
    RecordingPrinter outer, inner;
    {
        ScopedPrinter first(outer);
        EXPECT_EQ(&currentPrinter(), &outer);
        {
            ScopedPrinter second(inner);
            EXPECT_EQ(&currentPrinter(), &inner);
        }
        EXPECT_EQ(&currentPrinter(), &outer);
    }
    EXPECT_EQ(&currentPrinter(), &program);
}

TEST(Printer, FontDialogAnswersFromTheScriptAndIsCancelledWithoutOne) {
    RecordingAnswerer answers;
    QFont chosen(QStringLiteral("IPAGothic"), 12);
    chosen.setItalic(true);
    answers.fonts = {chosen, std::nullopt};
    const QFont initial = RecordingPrinter().font();
    EXPECT_EQ(chooseFont(initial), chosen);
    EXPECT_EQ(chooseFont(initial), std::nullopt);
    EXPECT_EQ(chooseFont(chosen), std::nullopt); // script used up
    ASSERT_EQ(answers.fontRequests.size(), 3u);
    EXPECT_EQ(answers.fontRequests[0], initial);
    EXPECT_EQ(answers.fontRequests[2], chosen);

    // An answerer that knows only message boxes cancels the font dialog.
    struct MessagesOnly : Answerer {
        MessageAnswer message(const MessageRequest&) override { return MessageAnswer::Ok; }
    } messagesOnly;
    ScopedAnswerer scope(messagesOnly);
    EXPECT_EQ(chooseFont(initial), std::nullopt);
}

TEST(Printer, PicturesReachThePageAtTheirCellsPixelsButNoFinerThanPrintedPictureDpi) {
    const QImage camera(4000, 3000, QImage::Format_RGB32);
    EXPECT_EQ(resampledForPrinting(camera, {400, 300}, 300).size(), QSize(400, 300));
    EXPECT_EQ(resampledForPrinting(camera, {400, 300}, 150).size(), QSize(400, 300));
    EXPECT_EQ(resampledForPrinting(camera, {1600, 1201}, 1200).size(), QSize(400, 301));
    // Never enlarged: the engine stretches a small picture itself.
    const QImage small(500, 500, QImage::Format_RGB32);
    EXPECT_EQ(resampledForPrinting(small, {1000, 200}, 300).size(), QSize(500, 200));
    EXPECT_EQ(resampledForPrinting(small, {800, 600}, 300).cacheKey(), small.cacheKey());
}

TEST(Printer, RecordingKeepsEveryOperationOfADocumentAndRendersItAsPrinted) {
    RecordingPrinter printer(QSize(200, 300), 72);
    printer.rectangle(QRect(0, 0, 5, 5)); // no document yet
    ASSERT_TRUE(printer.beginDoc(QStringLiteral("インデックス")));
    EXPECT_TRUE(printer.printing());
    EXPECT_FALSE(printer.beginDoc(QStringLiteral("again")));

    printer.setPen(Qt::red, 0);
    printer.setBrush(Qt::blue);
    printer.rectangle(QRect(10, 10, 20, 10));
    printer.clearBrush();
    printer.setPen(Qt::green, 3);
    printer.rectangle(QRect(50, 50, 40, 40));
    QImage yellow(40, 30, QImage::Format_RGB32);
    yellow.fill(Qt::yellow);
    const QByteArray dib = imageToDib(yellow, 24).value;
    const auto packed = byteView(dib);
    ASSERT_TRUE(printer.stretchImage(QRect(100, 10, 80, 60), packed.first(40), packed.subspan(40)));
    EXPECT_FALSE(printer.stretchImage(QRect(100, 10, 80, 60), packed.first(20), packed));
    printer.newPage();
    printer.setBrush(Qt::black);
    printer.rectangle(QRect(0, 190, 200, 60));
    printer.textOut(QPoint(20, 200), QStringLiteral("P1000123.JPG"));
    printer.endDoc();
    printer.newPage(); // after the document: nothing

    using Kind = PrintOperation::Kind;
    const auto& ops = printer.operations;
    ASSERT_EQ(ops.size(), 8u);
    EXPECT_EQ(ops[0].kind, Kind::BeginDoc);
    EXPECT_EQ(ops[0].text, QStringLiteral("インデックス"));
    EXPECT_EQ(ops[1].kind, Kind::Rectangle);
    EXPECT_EQ(ops[1].pen, QColor(Qt::red));
    EXPECT_EQ(ops[1].penWidth, 1);
    EXPECT_EQ(ops[1].brush, QColor(Qt::blue));
    EXPECT_EQ(ops[2].brush, std::nullopt);
    EXPECT_EQ(ops[2].penWidth, 3);
    EXPECT_EQ(ops[3].kind, Kind::Picture);
    EXPECT_EQ(ops[3].rect, QRect(100, 10, 80, 60));
    EXPECT_EQ(ops[3].pictureSize, QSize(40, 30));
    EXPECT_EQ(ops[4].kind, Kind::NewPage);
    EXPECT_EQ(ops[4].page, 1);
    EXPECT_EQ(ops[6].kind, Kind::Text);
    EXPECT_EQ(ops[6].page, 1);
    const QRect textBox = ops[6].rect;
    EXPECT_EQ(textBox, QRect(QPoint(20, 200), printer.textExtent(ops[6].text)));
    EXPECT_EQ(ops[6].font, printer.font());
    EXPECT_EQ(ops[7].kind, Kind::EndDoc);
    EXPECT_FALSE(printer.printing());

    const QImage first = printer.renderPage(0);
    EXPECT_EQ(first.size(), QSize(200, 300));
    const auto at = [&first](int x, int y) { return QColor(first.pixel(x, y)); };
    // The 1-pixel outline covers exactly the rectangle's outermost pixels.
    EXPECT_EQ(at(10, 10), QColor(Qt::red));
    EXPECT_EQ(at(29, 19), QColor(Qt::red));
    EXPECT_EQ(at(30, 20), QColor(Qt::white));
    EXPECT_EQ(at(9, 15), QColor(Qt::white));
    EXPECT_EQ(at(15, 15), QColor(Qt::blue));
    // Without a brush the inside stays as it was; the 3-pixel pen is centred on the edge.
    EXPECT_EQ(at(70, 70), QColor(Qt::white));
    EXPECT_EQ(at(49, 70), QColor(Qt::green));
    EXPECT_EQ(at(48, 70), QColor(Qt::white));
    EXPECT_EQ(at(100, 10), QColor(Qt::yellow));
    EXPECT_EQ(at(179, 69), QColor(Qt::yellow));
    EXPECT_EQ(at(180, 70), QColor(Qt::white));
    EXPECT_EQ(at(25, 205), QColor(Qt::white)); // the text is on the next page

    // Black text on white over whatever lay beneath it.
    const QImage second = printer.renderPage(1);
    EXPECT_EQ(QColor(second.pixel(textBox.topLeft())), QColor(Qt::white));
    EXPECT_EQ(QColor(second.pixel(textBox.bottomRight())), QColor(Qt::white));
    EXPECT_EQ(QColor(second.pixel(textBox.topLeft() - QPoint(1, 1))), QColor(Qt::black));
    int ink = 0;
    for (int y = textBox.top(); y <= textBox.bottom(); ++y)
        for (int x = textBox.left(); x <= textBox.right(); ++x)
            ink += qGray(second.pixel(x, y)) < 100;
    EXPECT_GT(ink, 20);
}

TEST(Printer, TextExtentFollowsTheFontsPointsAtTheDevicesResolution) {
    RecordingPrinter at300;
    const QString caption = QStringLiteral("2024/05/01 撮影");
    const QSize nine = at300.textExtent(caption);
    QFont larger = at300.font();
    larger.setPointSize(18);
    at300.setFont(larger);
    const QSize eighteen = at300.textExtent(caption);
    EXPECT_GT(eighteen.width(), nine.width() * 3 / 2);
    EXPECT_GT(eighteen.height(), nine.height() * 3 / 2);
    // 9 points at 300 dpi are 37.5 pixels; a line is a little taller.
    EXPECT_GE(nine.height(), 37);
    EXPECT_LT(nine.height(), 60);

    QtPrinter system;
    const QSize onSystem = system.textExtent(caption);
    const double ratio = double(system.resolution()) / at300.resolution();
    EXPECT_NEAR(onSystem.height(), nine.height() * ratio, nine.height() * ratio * 0.1);
}

namespace {

// Pages of a PDF file: pdfinfo's count, or the page objects counted in the file where pdfinfo is
// missing.
int pdfPages(const QString& path) {
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {path});
    if (pdfinfo.waitForFinished() && pdfinfo.exitCode() == 0) {
        const auto match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                               .match(QString::fromUtf8(pdfinfo.readAllStandardOutput()));
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return int(QString::fromLatin1(file.readAll())
                   .count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)"))));
}

} // namespace

TEST(Printer, PdfOutputHoldsItsPagesWithCameraPicturesResampledToTheirCells) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sheet.pdf"));
    QtPrinter printer;
    printer.qprinter().setOutputFormat(QPrinter::PdfFormat);
    printer.qprinter().setOutputFileName(path);

    // Noise, so that the picture would take tens of megabytes if it went in at full size.
    QImage camera(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(camera.bits()),
                                  camera.sizeInBytes() / 4);
    const int inch = printer.resolution();
    ASSERT_TRUE(printer.beginDoc(QStringLiteral("インデックス")));
    for (int page = 0; page < 2; ++page) {
        if (page > 0)
            printer.newPage();
        printer.rectangle(QRect(inch, inch, 3 * inch, 2 * inch));
        printer.textOut(QPoint(inch, 3 * inch + 10), QStringLiteral("P100012%1.JPG").arg(page));
        printer.stretchImage(QRect(inch + 10, inch + 10, 2 * inch, 3 * inch / 2), camera);
    }
    EXPECT_TRUE(printer.endDoc());
    EXPECT_FALSE(printer.printing());
    EXPECT_EQ(pdfPages(path), 2);
    EXPECT_LT(QFileInfo(path).size(), 1'000'000);
    EXPECT_TRUE(pdfFileIsComplete(path));

    // An aborted document leaves no file of its own, and the file of that name from before
    // stays as it was.
    QFile previous(path);
    ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
    const QByteArray earlier = previous.readAll();
    previous.close();
    ASSERT_TRUE(printer.beginDoc(QStringLiteral("dropped")));
    printer.rectangle(QRect(inch, inch, inch, inch));
    printer.abort();
    EXPECT_FALSE(printer.printing());
    ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
    EXPECT_EQ(previous.readAll(), earlier);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("sheet.pdf")});
    EXPECT_EQ(printer.qprinter().outputFileName(), path) << "the printer keeps its file name";

    // A folder that cannot be written refuses the document.
    printer.qprinter().setOutputFileName(dir.filePath(QStringLiteral("missing/sheet.pdf")));
    EXPECT_FALSE(printer.beginDoc(QStringLiteral("nowhere")));
    EXPECT_FALSE(printer.printing());
}

TEST(Printer, APdfFileCutShortIsNotComplete) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cut.pdf"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("%PDF-1.4\n" + QByteArray(5000, 'x') + "\nstartxref\n123\n%%EOF\n");
    file.close();
    EXPECT_TRUE(pdfFileIsComplete(path));
    ASSERT_TRUE(file.resize(3000));
    EXPECT_FALSE(pdfFileIsComplete(path));
    EXPECT_FALSE(pdfFileIsComplete(dir.filePath(QStringLiteral("none.pdf"))));
}

TEST(Printer, A24BitDibIsReducedFromItsRowsByAveragingWhatEachPixelCovers) {
    // 6 × 4, bottom-up: the top two rows red/blue halves, the bottom two black, rows of 18
    // bytes padded to 20.
    QImage picture(6, 4, QImage::Format_RGB32);
    picture.fill(Qt::black);
    for (int x = 0; x < 6; ++x) {
        picture.setPixel(x, 0, x < 3 ? qRgb(240, 0, 0) : qRgb(0, 0, 240));
        picture.setPixel(x, 1, x < 3 ? qRgb(120, 0, 0) : qRgb(0, 0, 120));
    }
    const auto dib = imageToDib(picture, 24);
    const auto* rows = reinterpret_cast<const uint8_t*>(dib.value.constData()) + 40;
    const QImage reduced = reducedDib24(rows, 6, 4, {2, 2});
    ASSERT_EQ(reduced.size(), QSize(2, 2));
    EXPECT_EQ(reduced.pixel(0, 0), qRgb(180, 0, 0));
    EXPECT_EQ(reduced.pixel(1, 0), qRgb(0, 0, 180));
    EXPECT_EQ(reduced.pixel(0, 1), qRgb(0, 0, 0));
    EXPECT_EQ(reducedDib24(rows, 6, 4, {6, 4}), picture) << "at its own size: the picture";

    // Through the printer: what a DIB and the same picture put on a page agree.
    RecordingPrinter printer;
    ASSERT_TRUE(printer.beginDoc(QStringLiteral("dib")));
    ASSERT_TRUE(printer.stretchImage(QRect(0, 0, 3, 2), byteView(dib.value).first(40),
                                     byteView(dib.value).subspan(40)));
    EXPECT_EQ(printer.operations.back().pictureSize, QSize(3, 2)) << "reduced before drawing";
    EXPECT_EQ(printer.operations.back().picture.pixel(0, 0), qRgb(180, 0, 0));
}

TEST(Printer, PrinterDialogAnswersFromTheScriptAndIsCancelledWithoutOne) {
    RecordingPrinter printer;
    EXPECT_TRUE(choosePrinter(printer)); // not a system printer: nothing to choose
    {
        struct MessagesOnly : Answerer {
            MessageAnswer message(const MessageRequest&) override { return MessageAnswer::Ok; }
        } messagesOnly;
        ScopedAnswerer scope(messagesOnly);
        EXPECT_FALSE(choosePrinter(printer)); // the answerer cancels
    }
    RecordingAnswerer answers;
    answers.printers = {true};
    EXPECT_TRUE(choosePrinter(printer));
    EXPECT_FALSE(choosePrinter(printer));
    ASSERT_EQ(answers.printerRequests.size(), 2u);
    EXPECT_EQ(answers.printerRequests[0], &printer);
}
