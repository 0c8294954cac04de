// The print job end to end into a PDF file through QPrinter: the file is rasterised and its
// words located with poppler's tools, and pictures and captions must stand where the layout
// puts them; camera pictures decoded at their cells' scale print as at full size.
#include "correction/pipeline.h"
#include "correction/settings.h"
#include "imaging/all.h"
#include "platform/printer.h"
#include "printing/printjob.h"
#include "tests/support/answerer.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/likenesscorrections.h"
#include "tests/support/pdfpages.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace testsupport;

namespace {

constexpr int RasterDpi = 50;

bool runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

struct Word {
    int page = 0; // from 0
    QString text;
    QRectF box; // in points from the page's top-left corner
};

// Every word of the file with its box, from pdftotext's bounding-box output.
std::vector<Word> wordsOf(const QString& pdf, const QString& html) {
    std::vector<Word> words;
    if (!runTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, html}))
        return words;
    QFile file(html);
    if (!file.open(QIODevice::ReadOnly))
        return words;
    const QString text = QString::fromUtf8(file.readAll());
    static const QRegularExpression item(QStringLiteral(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    int page = -1;
    for (auto match = item.globalMatch(text); match.hasNext();) {
        const auto m = match.next();
        if (m.captured(0).startsWith(QLatin1String("<page"))) {
            ++page;
            continue;
        }
        words.push_back({page, m.captured(5),
                         QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    }
    return words;
}

TEST(PrintJobPdf, PicturesAndCaptionsStandWhereTheLayoutPutsThemOnEveryPage) {
    QTemporaryDir dir;
    RecordingAnswerer answers;
    CorrectionSettings = {};
    const std::array<QRgb, 5> colours{qRgb(220, 30, 30), qRgb(30, 200, 40), qRgb(30, 40, 220),
                                      qRgb(230, 200, 20), qRgb(20, 200, 210)};
    PrintRequest request;
    request.layout.Columns = 2;
    request.layout.Rows = 2;
    request.layout.VerticalGap = 200; // room for the captions under the cells
    request.layout.FileNameLine = true;
    for (size_t i = 0; i < colours.size(); ++i) {
        QImage picture(800, 600, QImage::Format_RGB32);
        picture.fill(colours[i]);
        const QString path = dir.filePath(QStringLiteral("pic%1.jpg").arg(i));
        ASSERT_TRUE(writeFile(path, makeJpeg(picture)));
        request.entries.push_back({path, true, 1, {}});
    }

    platform::QtPrinter printer;
    QPrinter& qt = printer.qprinter();
    qt.setOutputFormat(QPrinter::PdfFormat);
    qt.setPageSize(QPageSize(QPageSize::A4));
    const QString pdf = dir.filePath(QStringLiteral("sheets.pdf"));
    qt.setOutputFileName(pdf);
    TAll work;
    PrintMonitor monitor;
    const PrintSummary summary = RunPrintJob(request, printer, work, monitor);
    ASSERT_EQ(summary.outcome, PrintOutcome::Ended);
    ASSERT_EQ(summary.pages, 2);
    EXPECT_TRUE(QFile::exists(pdf));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.part")}), QStringList())
        << "no partial file left";

    ASSERT_TRUE(runTool(QStringLiteral("pdftoppm"),
                        {QStringLiteral("-r"), QString::number(RasterDpi), QStringLiteral("-png"),
                         pdf, dir.filePath(QStringLiteral("page"))}))
        << "pdftoppm (poppler-utils) must be installed";
    const std::array<QImage, 2> pages{QImage(dir.filePath(QStringLiteral("page-1.png"))),
                                      QImage(dir.filePath(QStringLiteral("page-2.png")))};
    ASSERT_FALSE(pages[0].isNull());
    ASSERT_FALSE(pages[1].isNull());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("page-3.png"))));

    // Device pixels of the printable area to raster pixels and to points of the whole page.
    const int dpi = printer.resolution();
    const QPoint origin = qt.pageLayout().paintRectPixels(dpi).topLeft();
    const auto toRaster = [&](QPointF device) {
        return ((device + QPointF(origin)) * RasterDpi / dpi).toPoint();
    };
    const auto toPoints = [&](QPointF device) { return (device + QPointF(origin)) * 72.0 / dpi; };
    const QSize page = printer.pageSize();
    const PrintLayout layout = ComputePrintLayout(request.layout, page.width(), page.height());
    const std::vector<Word> words = wordsOf(pdf, dir.filePath(QStringLiteral("words.html")));

    for (int i = 0; i < int(colours.size()); ++i) {
        const int slot = i % 4;
        const int row = slot / 2, column = slot % 2;
        const QPointF cellCentre(layout.cellLeft(column) + layout.cellWidth / 2,
                                 layout.cellTop(row) + layout.cellHeight / 2);
        const QRgb seen = pages[size_t(i / 4)].pixel(toRaster(cellCentre));
        EXPECT_NEAR(qRed(seen), qRed(colours[size_t(i)]), 16) << i;
        EXPECT_NEAR(qGreen(seen), qGreen(colours[size_t(i)]), 16) << i;
        EXPECT_NEAR(qBlue(seen), qBlue(colours[size_t(i)]), 16) << i;

        const QString name = QStringLiteral("pic%1.jpg").arg(i);
        const auto word =
            std::find_if(words.begin(), words.end(), [&](const Word& w) { return w.text == name; });
        ASSERT_NE(word, words.end()) << qPrintable(name);
        EXPECT_EQ(word->page, i / 4);
        const QPointF underCell =
            toPoints({layout.slotLeft(column) + (layout.cellWidth + layout.horizontalGap) / 2,
                      layout.cellTop(row) + layout.cellHeight});
        EXPECT_NEAR(word->box.center().x(), underCell.x(), 2) << "centred across its slot";
        EXPECT_NEAR(word->box.top(), underCell.y(), 3) << "right under its cell";
    }
    EXPECT_LT(QFileInfo(pdf).size(), 2 * 1024 * 1024);
}

} // namespace

// Lowest and highest tone curve points after each picture was corrected.
class LevelRecorder : public PrintMonitor {
public:
    void pictureDone(int done, int page) override {
        (void)page;
        if (size_t(done) > levels.size())
            levels.emplace_back(CurveLow, CurveHigh);
    }
    std::vector<std::pair<int, int>> levels;
};

TEST(PrintJobPdf, CameraPicturesDecodedAtTheirCellsScalePrintAsAtFullSize) {
    TAZU_REQUIRE_TESTDATA();
    QTemporaryDir dir;
    RecordingAnswerer answers;
    PrintRequest request;
    request.layout.Columns = 2;
    request.layout.Rows = 4;
    request.layout.FileNameLine = true;
    const QDir camera(testdataDir() + QStringLiteral("/camera"));
    QStringList names = camera.entryList({QStringLiteral("*.jpg")}, QDir::Files);
#if defined(__SANITIZE_ADDRESS__)
    // Under the sanitizers one page of them: the same paths, in a third of the time.
    names = names.mid(0, 8);
#endif
    for (const QString& name : names)
        request.entries.push_back({camera.filePath(name), true, 1, {}});
    ASSERT_FALSE(request.entries.empty());

    const auto print = [&](bool scaled, const QString& name, LevelRecorder& monitor) {
        request.scaledLoading = scaled;
        platform::QtPrinter printer;
        QPrinter& qt = printer.qprinter();
        qt.setOutputFormat(QPrinter::PdfFormat);
        qt.setPageSize(QPageSize(QPageSize::A4));
        qt.setResolution(300);
        const QString pdf = dir.filePath(name);
        qt.setOutputFileName(pdf);
        TAll work;
        EXPECT_EQ(RunPrintJob(request, printer, work, monitor).outcome, PrintOutcome::Ended);
        return rasterisedPdf(pdf, 150);
    };
    for (const LikenessCorrections& corrections : likenessCorrections()) {
        SCOPED_TRACE(corrections.name);
        CorrectionSettings = corrections.settings;
        AutoLevelsFrom = corrections.levels;
        LevelRecorder scaledLevels, fullLevels;
        const std::vector<QImage> scaled =
            print(true, QStringLiteral("scaled-%1.pdf").arg(corrections.name), scaledLevels);
        const std::vector<QImage> full =
            print(false, QStringLiteral("full-%1.pdf").arg(corrections.name), fullLevels);
        ASSERT_EQ(scaled.size(), full.size());
        ASSERT_FALSE(full.empty());
        for (size_t i = 0; i < full.size(); ++i) {
            const double decibels = psnr(scaled[i], full[i]);
            std::printf("%s corrections, page %zu: %.1f dB\n", corrections.name, i + 1, decibels);
            EXPECT_GE(decibels, 38.0) << "page " << i + 1;
        }
        ASSERT_EQ(scaledLevels.levels.size(), fullLevels.levels.size());
        int largest = 0;
        for (size_t i = 0; i < fullLevels.levels.size(); ++i) {
            const auto [low, high] = scaledLevels.levels[i];
            const auto [fullLow, fullHigh] = fullLevels.levels[i];
            largest = std::max({largest, std::abs(low - fullLow), std::abs(high - fullHigh)});
        }
        std::printf("%s corrections: tone curve ends differ by at most %d tenths of a level\n",
                    corrections.name, largest);
        EXPECT_EQ(largest, 0) << "automatic levels come from the picture decoded whole";
    }
    CorrectionSettings = {};
    AutoLevelsFrom = nullptr;
}
