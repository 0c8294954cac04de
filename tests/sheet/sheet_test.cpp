// tazu-sheet: its options and usage errors, a run on a generated folder checked in the PDF it
// writes (pages, caption texts on their pages, pictures in their cells), the same pages as the
// window prints for the same selection, and what a run says and leaves when pictures cannot be
// read, the layout or the selection list is wrong, or it is interrupted. The sample maker's
// command line too.
#include "app/Tazu.h"
#include "app/mainstate.h"
#include "app/pages.h"
#include "app/startup.h"
#include "correction/settings.h"
#include "imaging/all.h"
#include "platform/codepage.h"
#include "platform/library.h"
#include "platform/printer.h"
#include "platform/profile.h"
#include "printing/prn1.h"
#include "sheet/sheet.h"
#include "tests/support/answerer.h"
#include "tests/support/exifmaker.h"
#include "tests/support/gifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/settingsfile.h"
#include "tests/support/testdata.h"
#include "tests/support/tiffmaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QPageLayout>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>

using namespace testsupport;

namespace {

TEST(SheetOptions, OverridesAreReadAndUsageErrorsNamed) {
    const ParsedSheetOptions parsed = parseSheetOptions(
        {QStringLiteral("pics"), QStringLiteral("-o"), QStringLiteral("out.pdf"),
         QStringLiteral("--columns"), QStringLiteral("3"), QStringLiteral("--margins"),
         QStringLiteral("10,20,30,40"), QStringLiteral("--gaps"), QStringLiteral("5,6"),
         QStringLiteral("--captions"), QStringLiteral("name,memo"), QStringLiteral("--font"),
         QStringLiteral("IPAPGothic,12"), QStringLiteral("--date-form"), QStringLiteral("time"),
         QStringLiteral("--landscape"), QStringLiteral("--no-lines")});
    ASSERT_TRUE(parsed.error.isEmpty()) << qPrintable(parsed.error);
    const SheetOptions& o = parsed.options;
    EXPECT_EQ(o.inputs, QStringList{QStringLiteral("pics")});
    EXPECT_EQ(o.columns, 3);
    EXPECT_EQ(o.margins, (std::array{10, 20, 30, 40}));
    EXPECT_EQ(o.gaps, (std::array{5, 6}));
    EXPECT_EQ(o.captions, (std::array{true, false, true}));
    EXPECT_EQ(o.font->pointSize(), 12);
    EXPECT_EQ(o.dateForm, TimeOnly);
    EXPECT_TRUE(o.landscape && o.noLines);

    for (const QStringList& wrong :
         {QStringList{QStringLiteral("pics")},               // no output
          {QStringLiteral("-o"), QStringLiteral("out.pdf")}, // no input
          {QStringLiteral("pics"), QStringLiteral("-o"), QStringLiteral("a.pdf"),
           QStringLiteral("--printer"), QStringLiteral("p")},
          {QStringLiteral("pics"), QStringLiteral("-o"), QStringLiteral("a.pdf"),
           QStringLiteral("--rows"), QStringLiteral("100")},
          {QStringLiteral("pics"), QStringLiteral("-o"), QStringLiteral("a.pdf"),
           QStringLiteral("--margins"), QStringLiteral("1,2,3")},
          {QStringLiteral("pics"), QStringLiteral("-o"), QStringLiteral("a.pdf"),
           QStringLiteral("--captions"), QStringLiteral("title")},
          {QStringLiteral("pics"), QStringLiteral("--colour")}})
        EXPECT_FALSE(parseSheetOptions(wrong).error.isEmpty()) << qPrintable(wrong.join(u' '));
}

TEST(SheetOptions, VersionPrintsTheProgramsVersionAndSucceedsWithoutInputs) {
    QProcess sheet;
    sheet.start(QStringLiteral(TAZU_SHEET), {QStringLiteral("--version")});
    ASSERT_TRUE(sheet.waitForFinished(60000));
    EXPECT_EQ(sheet.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sheet.exitCode(), SheetPrinted);
    EXPECT_EQ(sheet.readAllStandardOutput(), QByteArray("tazu-sheet " TAZU_VERSION "\n"));
}

// The manual page's option list and the usage name every option the parser takes, and the
// page lists no option the parser does not know: an option added or dropped later cannot drift
// from its documentation.
TEST(SheetOptions, TheManualPageAndTheUsageListExactlyTheOptionsTheParserTakes) {
    QFile file(QStringLiteral(TAZU_SHEET_MAN_PAGE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << TAZU_SHEET_MAN_PAGE;
    // The headings of the page's tagged paragraphs: the line after each ".TP".
    QStringList headings;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        if (lines[i] == QLatin1String(".TP"))
            headings.append(lines[i + 1]);
    const QString listed = headings.join(u'\n');
    const QString usage = sheetUsage();

    QStringList known;
    for (const QCommandLineOption& option : sheetCommandLineOptions())
        for (const QString& name : option.names()) {
            const QString dashes = name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--");
            known.append(dashes + name);
            // In roff every hyphen of an option is written "\-".
            const QString roff = QString(dashes + name).replace(u'-', QLatin1String("\\-"));
            EXPECT_TRUE(listed.contains(QRegularExpression(QRegularExpression::escape(roff) +
                                                           QStringLiteral(R"((?!\w|\\-))"))))
                << qPrintable(dashes + name) << " is not in the manual page's options";
            EXPECT_TRUE(usage.contains(QRegularExpression(
                QStringLiteral("[ ,]") + QRegularExpression::escape(dashes + name) +
                QStringLiteral("(?![\\w-])"))))
                << qPrintable(dashes + name) << " is not in the usage";
        }
    const QRegularExpression documented(QStringLiteral(R"(\\-\\-(\w+(?:\\-\w+)*))"));
    for (const QRegularExpressionMatch& match : documented.globalMatch(listed)) {
        const QString option = QStringLiteral("--") + match.captured(1).remove(u'\\');
        EXPECT_TRUE(known.contains(option)) << qPrintable(option) << " is not an option";
    }
}

QImage flat(QRgb colour) {
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

// Nine flat pictures p1..p9, a J6I shot with a date, turned by the camera, and a broken file.
class GeneratedFolder : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 9; ++i)
            ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("p%1.jpg").arg(i + 1)),
                                  makeJpeg(flat(colours[size_t(i)]))));
        J6iOptions j6i;
        j6i.shot = {96, 12, 5, 13, 45, 10};
        j6i.orientation = 1;
        ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("shot.j6i")), makeJ6i(j6i)));
        ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("zz_broken.jpg")),
                              QByteArray("\xff\xd8 not a picture")));
        ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("tazu.txt")),
                              "p1.jpg\r\n" + platform::toCp932(QStringLiteral("運動会")) +
                                  "\r\nshot.j6i\r\nfamily\r\n"));
        ASSERT_TRUE(settings.write("[TForm1]\r\nFilter=0\r\n"));
    }

    std::array<QRgb, 9> colours{qRgb(220, 30, 30),  qRgb(30, 200, 40),  qRgb(30, 40, 220),
                                qRgb(230, 200, 20), qRgb(20, 200, 210), qRgb(200, 30, 200),
                                qRgb(120, 60, 20),  qRgb(250, 140, 0),  qRgb(0, 90, 90)};
    QTemporaryDir dir;
    ScopedSettingsFile settings;
};

QString pageText(const QString& pdf, int page) {
    QProcess text;
    text.start(QStringLiteral("pdftotext"),
               {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                QString::number(page), pdf, QStringLiteral("-")});
    text.waitForFinished();
    return QString::fromUtf8(text.readAllStandardOutput());
}

// A run of tazu-sheet: its exit status (-1 when a signal ended it) and standard error.
struct SheetRun {
    int status = -1;
    QString errors;
};
SheetRun runSheetProgram(const QStringList& arguments) {
    QProcess sheet;
    sheet.start(QStringLiteral(TAZU_SHEET), arguments);
    EXPECT_TRUE(sheet.waitForFinished(120000));
    return {sheet.exitStatus() == QProcess::NormalExit ? sheet.exitCode() : -1,
            QString::fromLocal8Bit(sheet.readAllStandardError())};
}

// The files of folder whose names start with prefix.
QStringList filesStartingWith(const QString& folder, const QString& prefix) {
    return QDir(folder).entryList({prefix + u'*'}, QDir::Files);
}

// A page of a PDF sheet file of the default layout on A4, as pdftoppm draws it at 50 dpi.
struct RasterPage {
    RasterPage(const QString& pdf, int page) {
        QTemporaryDir dir;
        const QString prefix = dir.filePath(QStringLiteral("page"));
        const QString number = QString::number(page);
        if (QProcess::execute(QStringLiteral("pdftoppm"),
                              {QStringLiteral("-r"), QStringLiteral("50"), QStringLiteral("-png"),
                               QStringLiteral("-f"), number, QStringLiteral("-l"), number, pdf,
                               prefix}) == 0)
            image = QImage(prefix + u'-' + number + QStringLiteral(".png"));
        platform::QtPrinter printer;
        printer.qprinter().setOutputFormat(QPrinter::PdfFormat);
        printer.qprinter().setPageSize(QPageSize(QPageSize::A4));
        origin = printer.qprinter().pageLayout().paintRectPixels(printer.resolution()).topLeft();
        resolution = printer.resolution();
        const QSize size = printer.pageSize();
        layout = ComputePrintLayout(TPrintSettings(), size.width(), size.height());
    }
    // The colour at the point of slot's cell (row by row) a fraction x across and y down it.
    QRgb inCell(int slot, double x, double y) const {
        const QPointF point(layout.cellLeft(slot % layout.columns) + layout.cellWidth * x,
                            layout.cellTop(slot / layout.columns) + layout.cellHeight * y);
        return image.pixel(((point + QPointF(origin)) * 50 / resolution).toPoint());
    }

    QImage image;
    QPoint origin;
    int resolution = 0;
    PrintLayout layout;
};

TEST_F(GeneratedFolder, TheSheetsHoldEveryPictureInItsCellWithItsCaptionsOnItsPage) {
    const QString out = dir.filePath(QStringLiteral("sheets/index.pdf"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("sheets"))));
    QProcess sheet;
    sheet.start(QStringLiteral(TAZU_SHEET),
                {dir.path(), QStringLiteral("-o"), out, QStringLiteral("--captions"),
                 QStringLiteral("name,date,memo"), QStringLiteral("--ini"), settings.path()});
    ASSERT_TRUE(sheet.waitForFinished(120000));
    const QString errors = QString::fromLocal8Bit(sheet.readAllStandardError());
    EXPECT_EQ(sheet.exitCode(), SheetSkipped) << qPrintable(errors);
    EXPECT_TRUE(errors.contains(QStringLiteral("skipped ") + dir.filePath("zz_broken.jpg")))
        << qPrintable(errors);
    EXPECT_TRUE(errors.contains(QStringLiteral("page 1 printed (8/11 pictures)")));
    EXPECT_TRUE(errors.contains(QStringLiteral("page 2 printed (10/11 pictures)")));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("sheets"))).entryList(QDir::Files),
              QStringList{QStringLiteral("index.pdf")})
        << "no partial file left";

    const QString first = pageText(out, 1);
    const QString second = pageText(out, 2);
    for (int i = 1; i <= 8; ++i)
        EXPECT_TRUE(first.contains(QStringLiteral("p%1.jpg").arg(i))) << i;
    EXPECT_TRUE(first.contains(QStringLiteral("運動会")));
    EXPECT_FALSE(first.contains(QStringLiteral("p9.jpg")));
    EXPECT_TRUE(second.contains(QStringLiteral("p9.jpg")));
    EXPECT_TRUE(second.contains(QStringLiteral("96/12/05 13:45:10")));
    EXPECT_TRUE(second.contains(QStringLiteral("family")));
    EXPECT_TRUE(pageText(out, 3).trimmed().isEmpty()) << "two pages only";

    // The pictures stand in the cells the layout computes for the page.
    const RasterPage sheet1(out, 1);
    ASSERT_FALSE(sheet1.image.isNull());
    for (int slot = 0; slot < 8; ++slot) {
        const QRgb seen = sheet1.inCell(slot, 0.5, 1.0 / 3);
        EXPECT_NEAR(qRed(seen), qRed(colours[size_t(slot)]), 20) << slot;
        EXPECT_NEAR(qGreen(seen), qGreen(colours[size_t(slot)]), 20) << slot;
        EXPECT_NEAR(qBlue(seen), qBlue(colours[size_t(slot)]), 20) << slot;
    }
}

TEST_F(GeneratedFolder, ASelectionListChoosesFilesAndCopiesAndAnUnwritableOutputFails) {
    const QString list = dir.filePath(QStringLiteral("list.txt"));
    ASSERT_TRUE(writeFile(list, "p2.jpg\t3\n# a comment\n" +
                                    QFile::encodeName(dir.filePath("shot.j6i")) + "\n"));
    SheetOptions options;
    options.inputs = {dir.path()};
    options.selectList = list;
    QStringList errors;
    const SheetJob job = buildSheetJob(options, platform::Profile(settings.path()), errors);
    ASSERT_TRUE(errors.isEmpty()) << qPrintable(errors.join(u'\n'));
    EXPECT_EQ(printCopyCount(job.request), 4);
    EXPECT_EQ(job.request.entries.size(), 11u) << "the folder's files, two of them chosen";

    options.selectList = dir.filePath(QStringLiteral("missing.txt"));
    errors.clear();
    buildSheetJob(options, platform::Profile(settings.path()), errors);
    EXPECT_FALSE(errors.isEmpty());

    QProcess sheet;
    sheet.start(QStringLiteral(TAZU_SHEET),
                {dir.filePath(QStringLiteral("p1.jpg")), QStringLiteral("-o"),
                 dir.filePath(QStringLiteral("no/such/folder/out.pdf")), QStringLiteral("--ini"),
                 settings.path(), QStringLiteral("--quiet")});
    ASSERT_TRUE(sheet.waitForFinished(60000));
    EXPECT_EQ(sheet.exitCode(), SheetNotWritten);
    EXPECT_TRUE(sheet.readAllStandardError().contains("印刷を開始できません"));
}

TEST_F(GeneratedFolder, SelectionListLinesWithBadCopiesOrNamingNoFileAreNamedAndNothingPrinted) {
    const QString list = dir.filePath(QStringLiteral("list.txt"));
    ASSERT_TRUE(writeFile(list, "p2.jpg\t3\np3.jpg,0\n# p4.jpg,100\n\np4.jpg,100\nP5.JPG\n"
                                "nope.jpg\np6.jpg, two\np,7.jpg\n"));
    SheetOptions options;
    options.inputs = {dir.path()};
    options.selectList = list;
    QStringList errors;
    const SheetJob job = buildSheetJob(options, platform::Profile(settings.path()), errors);
    EXPECT_EQ(errors,
              (QStringList{list + QStringLiteral(":2: copies outside 1..99: p3.jpg,0"),
                           list + QStringLiteral(":5: copies outside 1..99: p4.jpg,100"),
                           list + QStringLiteral(":7: no file of the inputs is named nope.jpg"),
                           list + QStringLiteral(":8: no file of the inputs is named "
                                                 "p6.jpg, two"),
                           list + QStringLiteral(":9: no file of the inputs is named "
                                                 "p,7.jpg")}));
    EXPECT_EQ(printCopyCount(job.request), 4) << "p2.jpg 3 times, p5.jpg once";

    const QString out = dir.filePath(QStringLiteral("out.pdf"));
    const SheetRun run =
        runSheetProgram({dir.path(), QStringLiteral("-o"), out, QStringLiteral("--select"), list,
                         QStringLiteral("--ini"), settings.path()});
    EXPECT_EQ(run.status, SheetUsageError);
    EXPECT_EQ(run.errors.count(QStringLiteral("tazu-sheet: ") + list), 5) << qPrintable(run.errors);
    EXPECT_FALSE(QFileInfo::exists(out));
}

TEST_F(GeneratedFolder, ALayoutWithoutRoomForThePicturesIsRefusedWithItsValuesNamed) {
    const QString out = dir.filePath(QStringLiteral("out.pdf"));
    const QStringList common{dir.path(), QStringLiteral("-o"), out, QStringLiteral("--ini"),
                             settings.path()};
    const std::vector<std::pair<QStringList, QStringList>> refused{
        {{QStringLiteral("--gaps"), QStringLiteral("500,500")},
         {QStringLiteral("too narrow with 2 columns, left and right margins 0 and 0, horizontal "
                         "gap 500"),
          QStringLiteral("too low with 4 rows, top and bottom margins 0 and 0, vertical gap 500")}},
        {{QStringLiteral("--margins"), QStringLiteral("600,500,0,0")},
         {QStringLiteral("top and bottom margins 600 and 500")}},
        {{QStringLiteral("--columns"), QStringLiteral("50"), QStringLiteral("--rows"),
          QStringLiteral("99")},
         {QStringLiteral("50 columns"), QStringLiteral("99 rows")}},
    };
    for (const auto& [layout, named] : refused) {
        const SheetRun run = runSheetProgram(common + layout);
        EXPECT_EQ(run.status, SheetUsageError) << qPrintable(layout.join(u' '));
        for (const QString& values : named)
            EXPECT_TRUE(run.errors.contains(values)) << qPrintable(run.errors);
        EXPECT_FALSE(run.errors.contains(QStringLiteral("printed"))) << "before any picture";
    }
    // The same from a vertical gap stored in the settings file.
    ASSERT_TRUE(settings.write("[TForm1]\r\nFilter=0\r\n[PRNSET]\r\n" +
                               platform::toCp932(QStringLiteral("上下余白")) + "=300\r\n"));
    SheetRun run = runSheetProgram(common);
    EXPECT_EQ(run.status, SheetUsageError);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("4 rows, top and bottom margins 0 and 0, "
                                                   "vertical gap 300")))
        << qPrintable(run.errors);
    EXPECT_TRUE(filesStartingWith(dir.path(), QStringLiteral("out.pdf")).isEmpty());

    // What the dialog accepts prints.
    run = runSheetProgram(common + QStringList{QStringLiteral("--rows"), QStringLiteral("1")});
    EXPECT_EQ(run.status, SheetSkipped) << "only the broken file left out";
    EXPECT_TRUE(QFileInfo::exists(out));
}

TEST_F(GeneratedFolder, AnInterruptedRunLeavesNoPartialFileAndEndsByItsSignal) {
    const QString out = dir.filePath(QStringLiteral("out.pdf"));
    QProcess sheet;
    sheet.start(QStringLiteral(TAZU_SHEET),
                {dir.path(), QStringLiteral("-o"), out, QStringLiteral("--copies"),
                 QStringLiteral("99"), QStringLiteral("--ini"), settings.path()});
    ASSERT_TRUE(sheet.waitForStarted());
    const QString partial = platform::partialPdfFile(out, sheet.processId());
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(partial) && !sheet.waitForFinished(5) && waited.elapsed() < 60000) {
    }
    ASSERT_TRUE(QFileInfo::exists(partial)) << "the run is under way";
    ASSERT_EQ(::kill(pid_t(sheet.processId()), SIGTERM), 0);
    ASSERT_TRUE(sheet.waitForFinished(60000));
    EXPECT_EQ(sheet.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(sheet.exitCode(), SIGTERM) << "the shell sees 143";
    EXPECT_TRUE(filesStartingWith(dir.path(), QStringLiteral("out.pdf")).isEmpty());
}

// A JPEG and a TIFF picture that the camera recorded on their side: upright and tall, top half
// red, bottom half blue; a shooting date in the JPEG's EXIF data.
TEST(SheetPictures, ExifPicturesStandUprightWithTheirShootingDate) {
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    QImage upright(480, 640, QImage::Format_RGB32);
    upright.fill(qRgb(220, 30, 30));
    for (int y = 320; y < 640; ++y)
        std::fill_n(reinterpret_cast<QRgb*>(upright.scanLine(y)), 480, qRgb(30, 40, 220));
    const QImage stored = upright.transformed(QTransform().rotate(-90)); // to be turned clockwise
    ASSERT_TRUE(
        writeFile(path("side.jpg"),
                  withExif(makeJpeg(stored), makeExifBlock({6, "2003:09:10 20:59:18", {}}))));
    TiffOptions tiff;
    tiff.orientation = 6;
    writeTiff(path("side.tif"), {stored}, tiff);
    ScopedSettingsFile settings;
    ASSERT_TRUE(settings.write("[PRNSET]\r\n" + platform::toCp932(QStringLiteral("正立")) +
                               "=1\r\nDate=1\r\n"));
    const QString out = path("sheet.pdf");
    const SheetRun run = runSheetProgram({path("side.jpg"), path("side.tif"), QStringLiteral("-o"),
                                          out, QStringLiteral("--ini"), settings.path()});
    EXPECT_EQ(run.status, 0) << qPrintable(run.errors);
    EXPECT_TRUE(pageText(out, 1).contains(QStringLiteral("03/09/10 20:59:18")));
    const RasterPage page(out, 1);
    ASSERT_FALSE(page.image.isNull());
    for (int slot : {0, 1}) {
        const QRgb top = page.inCell(slot, 0.5, 0.25), bottom = page.inCell(slot, 0.5, 0.75);
        EXPECT_NEAR(qRed(top), 220, 20) << slot;
        EXPECT_NEAR(qBlue(top), 30, 20) << slot;
        EXPECT_NEAR(qRed(bottom), 30, 20) << slot;
        EXPECT_NEAR(qBlue(bottom), 220, 20) << slot;
    }
}

// Good pictures of every reader beside a broken GIF, BMP and JPEG, in a folder shown whole.
TEST(SheetPictures, UnreadableOnesAreNamedAndLeftOutAndTheGoodOnesPrinted) {
    QTemporaryDir dir;
    const auto path = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    QImage indexed(64, 48, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(200, 40, 40)});
    indexed.fill(0);
    ASSERT_TRUE(writeFile(path("good.jpg"), makeJpeg(flat(qRgb(40, 120, 200)))));
    ASSERT_TRUE(writeFile(path("good.gif"), makeGif({GifFrame{indexed}})));
    ASSERT_TRUE(flat(qRgb(40, 200, 40)).save(path("good.bmp")));
    ASSERT_TRUE(writeFile(path("broken.gif"), QByteArray("GIF89a\x10\x01\x10\x01 cut short")));
    ASSERT_TRUE(writeFile(path("broken.bmp"), QByteArray("BM\x01\x02 not a bitmap")));
    ASSERT_TRUE(writeFile(path("broken.jpg"), QByteArray("\xff\xd8 not a picture")));
    ScopedSettingsFile settings;
    const QStringList types = installedFileTypeFilter().split(u'|');
    ASSERT_TRUE(settings.write("[TForm1]\r\nFilter=" + QByteArray::number(types.size() / 2 - 1) +
                               "\r\n")); // all picture files
    const QString out = path("sheet.pdf");
    SheetRun run =
        runSheetProgram({dir.path(), QStringLiteral("-o"), out, QStringLiteral("--ini"),
                         settings.path(), QStringLiteral("--captions"), QStringLiteral("name")});
    EXPECT_EQ(run.status, SheetSkipped) << qPrintable(run.errors);
    for (const char* broken : {"broken.gif", "broken.bmp", "broken.jpg"})
        EXPECT_TRUE(run.errors.contains(QStringLiteral("skipped ") + path(broken)))
            << broken << qPrintable(run.errors);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("page 1 printed (3/6 pictures)")))
        << qPrintable(run.errors);
    const QString text = pageText(out, 1);
    for (const char* good : {"good.jpg", "good.gif", "good.bmp"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(good))) << good;
    EXPECT_FALSE(text.contains(QStringLiteral("broken")));

    // Not one picture printed: no file at all.
    const QString none = path("none.pdf");
    run = runSheetProgram({path("broken.gif"), path("broken.bmp"), QStringLiteral("-o"), none,
                           QStringLiteral("--ini"), settings.path()});
    EXPECT_EQ(run.status, SheetSkipped);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("not one picture was printed")));
    EXPECT_TRUE(filesStartingWith(dir.path(), QStringLiteral("none.pdf")).isEmpty());
}

// A folder of pictures of older computers, listed by their file types and printed through their
// plug-ins.
TEST(SheetPictures, MagPiAndPicPicturesOfAFolderArePrinted) {
    TAZU_REQUIRE_TESTDATA();
    QTemporaryDir dir;
    const QString retro = testdataDir() + QStringLiteral("/retro/");
    const QStringList files{"MAG/MG_T256.MAG", "PI/MG_L200.PI", "PIC/XV_TYPEF_512.PIC"};
    for (const QString& file : files)
        ASSERT_TRUE(QFile::copy(retro + file, dir.filePath(QFileInfo(file).fileName())));
    ScopedSettingsFile settings;
    const QStringList types = installedFileTypeFilter().split(u'|');
    ASSERT_TRUE(settings.write("[TForm1]\r\nFilter=" + QByteArray::number(types.size() / 2 - 1) +
                               "\r\n")); // all picture files
    const QString out = dir.filePath(QStringLiteral("sheet.pdf"));
    const SheetRun run =
        runSheetProgram({dir.path(), QStringLiteral("-o"), out, QStringLiteral("--ini"),
                         settings.path(), QStringLiteral("--captions"), QStringLiteral("name")});
    EXPECT_EQ(run.status, 0) << qPrintable(run.errors);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("page 1 printed (3/3 pictures)")))
        << qPrintable(run.errors);
    const QString text = pageText(out, 1);
    for (const QString& file : files)
        EXPECT_TRUE(text.contains(QFileInfo(file).fileName())) << qPrintable(file);
}

// A folder of a phone's and a camera's HEIF photographs prints with their shooting dates.
TEST(SheetPictures, HeifPhotographsOfAFolderArePrintedWithTheirShootingDates) {
    TAZU_REQUIRE_TESTDATA();
    QTemporaryDir dir;
    const QString heic = testdataDir() + QStringLiteral("/heic/");
    for (const char* file : {"arrow.heic", "xiaomi.heic", "test.heic", "cat.hif"})
        ASSERT_TRUE(QFile::copy(heic + QLatin1String(file), dir.filePath(QLatin1String(file))));
    ScopedSettingsFile settings;
    const QStringList types = installedFileTypeFilter().split(u'|');
    const qsizetype heifType = types.indexOf(QStringLiteral("HEIC"));
    ASSERT_GE(heifType, 0) << "the HEIF plug-in is built";
    ASSERT_TRUE(settings.write("[TForm1]\r\nFilter=" + QByteArray::number(heifType / 2) +
                               "\r\n[PRNSET]\r\nDate=1\r\n"));
    const QString out = dir.filePath(QStringLiteral("sheet.pdf"));
    const SheetRun run = runSheetProgram(
        {dir.path(), QStringLiteral("-o"), out, QStringLiteral("--ini"), settings.path()});
    EXPECT_EQ(run.status, 0) << qPrintable(run.errors);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("page 1 printed (4/4 pictures)")))
        << qPrintable(run.errors);
    const QString text = pageText(out, 1);
    for (const char* taken :
         {"18/07/31 14:52:07", "23/04/27 19:44:18", "23/09/03 09:28:14", "20/09/14 11:09:34"})
        EXPECT_TRUE(text.contains(QLatin1String(taken))) << taken << qPrintable(text);
}

TEST(SampleMaker, OptionsGiveTheUsageInsteadOfAFolder) {
    QTemporaryDir dir;
    QProcess samples;
    samples.setWorkingDirectory(dir.path());
    for (const auto& [option, status] : {std::pair{QStringLiteral("--help"), 0},
                                         {QStringLiteral("-h"), 0},
                                         {QStringLiteral("--colour"), 2}}) {
        samples.start(QStringLiteral(TAZU_SAMPLES), {option});
        ASSERT_TRUE(samples.waitForFinished(60000));
        EXPECT_EQ(samples.exitCode(), status) << qPrintable(option);
        const QByteArray usage =
            status == 0 ? samples.readAllStandardOutput() : samples.readAllStandardError();
        EXPECT_TRUE(usage.contains("Usage: tazu-samples FOLDER")) << qPrintable(option);
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty())
        << "no folder made";
}

TEST_F(GeneratedFolder, TheWindowAndTheCommandLinePrintTheSamePages) {
    ASSERT_TRUE(settings.write(
        "[TForm1]\r\nFilter=0\r\nDirectory=" + QFile::encodeName(QDir::cleanPath(dir.path())) +
        "\r\n[PRNSET]\r\nFilename=1\r\ndate=1\r\nmemo=1\r\n"));
    RecordingAnswerer answers; // both tell about the broken file
    platform::RecordingPrinter fromWindow;
    {
        const platform::ScopedPrinter use(fromWindow);
        ASSERT_TRUE(StartUp());
        Form1->K5Click(); // select all
        answers.printers = {true};
        QTimer::singleShot(0, Form4->Button1, &QPushButton::click);
        Form1->Print1Click();
        ShutDown();
    }

    SheetOptions options;
    options.inputs = {dir.path()};
    QStringList errors;
    const SheetJob job = buildSheetJob(options, platform::Profile(settings.path()), errors);
    ASSERT_TRUE(errors.isEmpty());
    platform::RecordingPrinter fromSheet;
    TAll work;
    PrintMonitor monitor;
    RunPrintJob(job.request, fromSheet, work, monitor);

    ASSERT_EQ(fromSheet.operations.size(), fromWindow.operations.size());
    int texts = 0;
    for (size_t i = 0; i < fromSheet.operations.size(); ++i) {
        const auto& a = fromWindow.operations[i];
        const auto& b = fromSheet.operations[i];
        EXPECT_EQ(a.kind, b.kind) << i;
        EXPECT_EQ(a.page, b.page) << i;
        EXPECT_EQ(a.rect, b.rect) << i;
        EXPECT_EQ(a.text, b.text) << i;
        EXPECT_EQ(a.pictureSize, b.pictureSize) << i;
        texts += b.kind == platform::PrintOperation::Kind::Text;
    }
    EXPECT_GT(texts, 20);
}

} // namespace
