// Index sheets of camera photographs on A4 at 300 dpi, 2 × 4 pictures a page with file-name
// captions, printed by the print job into a PDF file through QPrinter; measured on two sets:
//   camera     the shared camera pictures (testdata/camera), each five times
//   generated  96 photo-like pictures of 4000 × 3000 pixels with a camera's EXIF block
// Against, in the same run:
//   - the plain libjpeg-turbo decodes of the same files at the scales the job chose (its floor)
//     and at full size;
//   - the job with scaled loading off (every picture at full size): the time, and the likeness
//     of its pages to the scaled job's (PSNR at 150 dpi) with corrections off, manual and with
//     automatic levels;
//   - a libvips pipeline (vipsthumbnail shrink-on-load, then vips arrayjoin per page, on both
//     cores, no captions) and ImageMagick's montage told the tile size (jpeg:size), with limits
//     raised through a policy file of the benchmark's own; each when installed;
//   - 20 pictures with five copies each against the same 20 with one copy.
// Times are the fastest of three runs; the job's peak memory is above what the process held
// when the job began.
//
//   bench_printjob [camera|generated ...]       (default: both sets)
//
// TAZU_PLUGIN_PATH names the plug-in folder, TAZU_TESTDATA the shared test pictures.
#include "bench/direct_decode.h"
#include "bench/testdata.h"
#include "correction/pipeline.h"
#include "correction/settings.h"
#include "imaging/all.h"
#include "imaging/exif.h"
#include "platform/interaction.h"
#include "platform/printer.h"
#include "plugins/common/jpegscale.h"
#include "printing/layout.h"
#include "printing/printjob.h"
#include "tests/support/exifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/likenesscorrections.h"
#include "tests/support/pdfpages.h"
#include "tests/support/unattended.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <sys/resource.h>

using namespace testsupport;

namespace {

constexpr int Runs = 3;
constexpr int Dpi = 300;

// A field of /proc/self/status in kilobytes ("VmRSS", "VmHWM").
long statusKilobytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression line(QStringLiteral("^%1:\\s+(\\d+) kB").arg(QLatin1String(field)),
                                  QRegularExpression::MultilineOption);
    const auto match = line.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLong() : 0;
}

// Starts the peak memory afresh from the present use.
void resetPeakMemory() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double cpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

// Wall and processor time of one piece of work.
struct Timing {
    double seconds = std::numeric_limits<double>::max();
    double cpu = std::numeric_limits<double>::max();

    void keepFastest(const Timing& other) {
        seconds = std::min(seconds, other.seconds);
        cpu = std::min(cpu, other.cpu);
    }
};

Timing timed(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    const double cpu = cpuSeconds();
    work();
    return {clock.nsecsElapsed() / 1e9, cpuSeconds() - cpu};
}

void configurePdf(platform::QtPrinter& printer, const QString& pdf) {
    QPrinter& qt = printer.qprinter();
    qt.setOutputFormat(QPrinter::PdfFormat);
    qt.setPageSize(QPageSize(QPageSize::A4));
    qt.setResolution(Dpi);
    qt.setOutputFileName(pdf);
}

struct JobRun {
    Timing time;
    long peakKilobytes = 0; // above the memory in use when the job began
    int pages = 0;
    std::vector<std::pair<int, int>> levels; // tone curve ends after each picture
};

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

JobRun printSheets(const PrintRequest& request, const QString& pdf) {
    platform::QtPrinter printer;
    configurePdf(printer, pdf);
    TAll work;
    LevelRecorder monitor;
    resetPeakMemory();
    const long before = statusKilobytes("VmRSS");
    PrintSummary summary;
    JobRun run;
    run.time = timed([&] { summary = RunPrintJob(request, printer, work, monitor); });
    run.peakKilobytes = statusKilobytes("VmHWM") - before;
    run.pages = summary.pages;
    run.levels = std::move(monitor.levels);
    if (summary.printed != printCopyCount(request))
        std::fprintf(stderr, "only %d pictures printed\n", summary.printed);
    return run;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The floor of a job: every file read and decoded at the minimum the job asks its decoder for
// (the same function), or at full size.
struct Floor {
    Timing scaled;
    Timing full;
    long decodedPixels = 0; // at the chosen scales, all pictures
    long storedPixels = 0;
    QSize largest; // the largest stored picture
};

Floor measureFloor(const PrintRequest& request) {
    platform::QtPrinter printer;
    configurePdf(printer, QDir::temp().filePath(QStringLiteral("unused.pdf")));
    const QSize page = printer.pageSize();
    const PrintLayout layout = ComputePrintLayout(request.layout, page.width(), page.height());
    std::vector<QSize> minimums;
    Floor floor;
    for (const PrintEntry& entry : request.entries) {
        const QByteArray jpeg = readAll(entry.path);
        const QSize stored = bench::storedSize(jpeg);
        const int orientation =
            ReadExifInfo(QFile::encodeName(entry.path).toStdString()).orientation;
        minimums.push_back(
            MinimumDecodedSize(request.layout, layout, printer.resolution(), stored, orientation));
        floor.storedPixels += long(stored.width()) * stored.height();
        if (long(stored.width()) * stored.height() >
            long(floor.largest.width()) * floor.largest.height())
            floor.largest = stored;
    }
    for (int run = 0; run < Runs; ++run) {
        long pixels = 0;
        floor.scaled.keepFastest(timed([&] {
            for (size_t i = 0; i < request.entries.size(); ++i) {
                const QSize size = bench::decodeDirectly(
                    readAll(request.entries[i].path), [&](jpeg_decompress_struct& cinfo) {
                        spi::scaleToCover(cinfo, minimums[i].width(), minimums[i].height());
                    });
                pixels += long(size.width()) * size.height();
            }
        }));
        floor.decodedPixels = pixels;
        floor.full.keepFastest(timed([&] {
            for (const PrintEntry& entry : request.entries)
                bench::decodeDirectly(readAll(entry.path), [](jpeg_decompress_struct&) {});
        }));
    }
    return floor;
}

// The scaled job's pages against the full-size job's, for each way of correcting.
void reportLikeness(PrintRequest request, const QTemporaryDir& folder) {
    for (const LikenessCorrections& corrections : likenessCorrections()) {
        CorrectionSettings = corrections.settings;
        AutoLevelsFrom = corrections.levels;
        request.scaledLoading = true;
        const QString scaledPdf = folder.filePath(QStringLiteral("likeness-scaled.pdf"));
        const JobRun scaled = printSheets(request, scaledPdf);
        request.scaledLoading = false;
        const QString fullPdf = folder.filePath(QStringLiteral("likeness-full.pdf"));
        const JobRun full = printSheets(request, fullPdf);
        const std::vector<QImage> scaledPages = rasterisedPdf(scaledPdf, 150);
        const std::vector<QImage> fullPages = rasterisedPdf(fullPdf, 150);
        double worst = 99;
        for (size_t i = 0; i < std::min(scaledPages.size(), fullPages.size()); ++i)
            worst = std::min(worst, psnr(scaledPages[i], fullPages[i]));
        int levelSteps = 0; // in tenths of a level step
        for (size_t i = 0; i < std::min(scaled.levels.size(), full.levels.size()); ++i)
            levelSteps =
                std::max({levelSteps, std::abs(scaled.levels[i].first - full.levels[i].first),
                          std::abs(scaled.levels[i].second - full.levels[i].second)});
        const bool samePages = scaledPages.size() == fullPages.size() && !fullPages.empty();
        std::printf("  likeness, corrections %-17s %zu pages, worst %5.1f dB (at least 38)%s,"
                    " tone curve ends within %.1f steps\n",
                    corrections.name, fullPages.size(), worst,
                    samePages ? (worst < 38 ? " (under)" : "") : " (page counts differ)",
                    levelSteps / 10.0);
    }
    CorrectionSettings = {};
    AutoLevelsFrom = nullptr;
}

struct ToolRun {
    bool ran = false;
    bool succeeded = true;
    double seconds = 0;
};

bool installed(const QString& program) {
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// Runs the commands, at most parallel at a time, and waits for all of them.
bool runAll(const std::vector<std::pair<QString, QStringList>>& commands, int parallel,
            const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    bool succeeded = true;
    size_t next = 0;
    std::vector<std::unique_ptr<QProcess>> running;
    while (next < commands.size() || !running.empty()) {
        while (next < commands.size() && int(running.size()) < parallel) {
            auto process = std::make_unique<QProcess>();
            process->setProcessEnvironment(environment);
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process->start(commands[next].first, commands[next].second);
            running.push_back(std::move(process));
            ++next;
        }
        running.front()->waitForFinished(-1);
        succeeded = succeeded && running.front()->exitStatus() == QProcess::NormalExit &&
                    running.front()->exitCode() == 0;
        running.erase(running.begin());
    }
    return succeeded;
}

// vipsthumbnail shrinks every file to its cell on load (turned by its EXIF orientation), two at
// a time, then vips arrayjoin puts every page of eight together, two pages at a time.
ToolRun runVipsPipeline(const QStringList& files, QSize cell, const QString& work) {
    ToolRun run;
    if (!installed(QStringLiteral("vipsthumbnail")) || !installed(QStringLiteral("vips")))
        return run;
    run.ran = true;
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    QElapsedTimer clock;
    clock.start();
    const QString size = QStringLiteral("%1x%2").arg(cell.width()).arg(cell.height());
    // vipsthumbnail takes many files at once: half of them to each core.
    std::vector<std::pair<QString, QStringList>> halves(2);
    for (auto& half : halves)
        half.first = QStringLiteral("vipsthumbnail");
    for (int i = 0; i < files.size(); ++i) {
        QStringList& arguments = halves[size_t(i % 2)].second;
        arguments << files[i];
    }
    for (size_t h = 0; h < halves.size(); ++h)
        halves[h].second << QStringLiteral("-s") << size << QStringLiteral("-o")
                         << QStringLiteral("%1/%s-%2.jpg").arg(work).arg(h);
    run.succeeded = runAll(halves, 2);
    QStringList shrunk = QDir(work).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    std::vector<std::pair<QString, QStringList>> pages;
    for (int first = 0; first < shrunk.size(); first += 8) {
        QStringList page;
        for (int i = first; i < std::min<int>(first + 8, shrunk.size()); ++i)
            page << work + u'/' + shrunk[i];
        pages.push_back(
            {QStringLiteral("vips"),
             {QStringLiteral("arrayjoin"), page.join(u' '),
              QStringLiteral("%1/page%2.jpg").arg(work).arg(first / 8), QStringLiteral("--across"),
              QStringLiteral("2"), QStringLiteral("--shim"), QStringLiteral("16")}});
    }
    run.succeeded = runAll(pages, 2) && run.succeeded && !pages.empty();
    run.seconds = clock.nsecsElapsed() / 1e9;
    return run;
}

// montage told the tile size, so that it decodes every JPEG reduced; Debian's policy limits
// stop it, so a policy file of the benchmark's own raises them.
ToolRun runMontage(const QStringList& files, QSize cell, const QString& work) {
    ToolRun run;
    if (!installed(QStringLiteral("montage")))
        return run;
    run.ran = true;
    QDir().mkpath(work);
    QFile policy(work + QStringLiteral("/policy.xml"));
    if (policy.open(QIODevice::WriteOnly))
        policy.write("<policymap>\n"
                     "  <policy domain=\"resource\" name=\"memory\" value=\"16GiB\"/>\n"
                     "  <policy domain=\"resource\" name=\"map\" value=\"16GiB\"/>\n"
                     "  <policy domain=\"resource\" name=\"area\" value=\"4GP\"/>\n"
                     "  <policy domain=\"resource\" name=\"disk\" value=\"64GiB\"/>\n"
                     "  <policy domain=\"resource\" name=\"width\" value=\"64KP\"/>\n"
                     "  <policy domain=\"resource\" name=\"height\" value=\"64KP\"/>\n"
                     "</policymap>\n");
    policy.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MAGICK_CONFIGURE_PATH"), work);
    const QString size = QStringLiteral("%1x%2").arg(cell.width()).arg(cell.height());
    QElapsedTimer clock;
    clock.start();
    run.succeeded =
        runAll({{QStringLiteral("montage"),
                 QStringList{QStringLiteral("-define"), QStringLiteral("jpeg:size=") + size,
                             QStringLiteral("-tile"), QStringLiteral("2x4"),
                             QStringLiteral("-geometry"), size + QStringLiteral("+8+8")}
                     << files << work + QStringLiteral("/montage-%02d.jpg")}},
               1, environment);
    run.seconds = clock.nsecsElapsed() / 1e9;
    return run;
}

void reportTool(const char* label, const ToolRun& run, const Timing& job, double guideline,
                const char* package) {
    if (!run.ran) {
        std::printf("  %-42s not installed (apt-get install %s)\n", label, package);
        return;
    }
    std::printf("  %-42s %8.2f s   job / it %6.3fx  (at most %.2fx)%s%s\n", label, run.seconds,
                job.seconds / run.seconds, guideline,
                job.seconds / run.seconds > guideline ? " (over)" : "",
                run.succeeded ? "" : "  (it failed)");
}

PrintRequest sheetsOf(const QStringList& files, int copies) {
    PrintRequest request;
    request.layout.Columns = 2;
    request.layout.Rows = 4;
    request.layout.FileNameLine = true;
    for (const QString& file : files)
        request.entries.push_back({file, true, copies, {}});
    return request;
}

void benchmarkSet(const char* name, const QStringList& files, const QTemporaryDir& folder) {
    std::printf("\n== %s: %lld pictures ==\n", name, static_cast<long long>(files.size()));
    std::fflush(stdout);
    PrintRequest request = sheetsOf(files, 1);
    const QString pdf = folder.filePath(QStringLiteral("sheets.pdf"));
    JobRun best;
    long peak = 0;
    for (int run = 0; run < Runs; ++run) {
        const JobRun job = printSheets(request, pdf);
        peak = std::max(peak, job.peakKilobytes);
        best.time.keepFastest(job.time);
        best.pages = job.pages;
    }
    PrintRequest fullSize = request;
    fullSize.scaledLoading = false;
    const JobRun full = printSheets(fullSize, folder.filePath(QStringLiteral("full.pdf")));
    const Floor floor = measureFloor(request);

    std::printf("  %-42s %8.2f s wall %8.2f s CPU, %d pages, %.2f MB a page\n", "print job",
                best.time.seconds, best.time.cpu, best.pages,
                QFileInfo(pdf).size() / (1024.0 * 1024.0) / std::max(1, best.pages));
    std::printf("  %-42s %8.2f s wall %8.2f s CPU\n", "print job at full size (scaling off)",
                full.time.seconds, full.time.cpu);
    std::printf("  %-42s %8.2f s CPU   %.1f %% of the stored pixels\n",
                "libjpeg-turbo at the job's scales", floor.scaled.cpu,
                100.0 * floor.decodedPixels / std::max(1L, floor.storedPixels));
    std::printf("  %-42s %8.2f s CPU\n", "libjpeg-turbo at full size", floor.full.cpu);
    const double floorRatio = best.time.cpu / floor.scaled.cpu;
    std::printf("  %-42s %8.3fx  (at most 1.5x)%s\n", "job CPU / decodes at its scales", floorRatio,
                floorRatio > 1.5 ? " (over)" : "");
    const double fullPicture = floor.largest.width() * 3.0 * floor.largest.height() / (1024 * 1024);
    const double above = peak / 1024.0;
    std::printf("  %-42s %8.0f MB  = %.2f of its largest picture at full size (%d x %d, %.0f MB;"
                " at most 1)%s\n",
                "peak memory above the job's start", above, above / fullPicture,
                floor.largest.width(), floor.largest.height(), fullPicture,
                above > fullPicture ? " (over)" : "");

    platform::QtPrinter printer;
    configurePdf(printer, folder.filePath(QStringLiteral("unused.pdf")));
    const QSize page = printer.pageSize();
    const PrintLayout layout = ComputePrintLayout(request.layout, page.width(), page.height());
    const QSize cell(int(layout.cellWidth), int(layout.cellHeight));
    reportTool("libvips pipeline (2 cores, no captions)",
               runVipsPipeline(files, cell, folder.filePath(QStringLiteral("vips"))), best.time,
               0.5, "libvips-tools");
    reportTool("montage -define jpeg:size (no captions)",
               runMontage(files, cell, folder.filePath(QStringLiteral("montage"))), best.time, 0.2,
               "imagemagick");

    // Copies: 20 pictures five times each against the same 20 once each; the difference is
    // the drawing of 80 more cells, estimated from the single copies' job less their decodes.
    const QStringList twenty = files.mid(0, 20);
    Timing once, fiveTimes;
    for (int run = 0; run < Runs; ++run) {
        once.keepFastest(printSheets(sheetsOf(twenty, 1), pdf).time);
        fiveTimes.keepFastest(printSheets(sheetsOf(twenty, 5), pdf).time);
    }
    const Floor twentyFloor = measureFloor(sheetsOf(twenty, 1));
    const double drawing = std::max(0.0, once.cpu - twentyFloor.scaled.cpu) / twenty.size();
    const double expected = once.cpu + drawing * 4 * twenty.size();
    std::printf("  %-42s %8.2f s CPU against %.2f s once; with 80 more drawings (%.0f ms each) "
                "%.2f s: %.3fx  (at most 1.2x)%s\n",
                "20 pictures, 5 copies each", fiveTimes.cpu, once.cpu, drawing * 1000, expected,
                fiveTimes.cpu / expected, fiveTimes.cpu / expected > 1.2 ? " (over)" : "");

    reportLikeness(request, folder);
    std::fflush(stdout);
}

// The shared camera pictures, each copied five times under its own name.
QStringList cameraSet(const QTemporaryDir& folder) {
    const QString testdata = bench::sharedTestdata();
    const QDir camera(testdata + QStringLiteral("/camera"));
    const QStringList names = camera.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    QStringList files;
    QDir().mkpath(folder.filePath(QStringLiteral("camera")));
    for (int copy = 0; copy < 5; ++copy)
        for (const QString& name : names) {
            const QString path =
                folder.filePath(QStringLiteral("camera/%1-%2").arg(copy + 1).arg(name));
            if (QFile::copy(camera.filePath(name), path))
                files << path;
        }
    if (names.isEmpty())
        std::fprintf(stderr, "no camera pictures in %s\n", qPrintable(camera.path()));
    return files;
}

// 96 photographs of 4000 × 3000 (12 distinct ones) with a camera's EXIF block.
QStringList generatedSet(const QTemporaryDir& folder) {
    std::vector<QByteArray> jpegs;
    for (int i = 0; i < 12; ++i) {
        JpegOptions options;
        options.quality = 85 + i % 8;
        jpegs.push_back(
            withExif(makeJpeg(makePhotoLikePicture(4000, 3000, uint32_t(i + 1)), options),
                     makeExifBlock({1, "2026:11:03 10:00:00", "2026:11:03 10:00:00"})));
    }
    QStringList files;
    QDir().mkpath(folder.filePath(QStringLiteral("generated")));
    for (int i = 0; i < 96; ++i) {
        const QString path =
            folder.filePath(QStringLiteral("generated/P%1.JPG").arg(i + 1, 4, 10, QChar(u'0')));
        if (writeFile(path, jpegs[size_t(i) % jpegs.size()]))
            files << path;
    }
    return files;
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessagePrinter answers("bench_printjob");
    const platform::ScopedAnswerer scope(answers);
    QStringList sets;
    for (int i = 1; i < argc; ++i)
        sets << QString::fromLocal8Bit(argv[i]);
    if (sets.isEmpty())
        sets = {QStringLiteral("camera"), QStringLiteral("generated")};

    TAll warmUp; // the program's windows exist before it prints
    for (const QString& set : sets) {
        QTemporaryDir folder;
        const QStringList files = set == QLatin1String("camera")      ? cameraSet(folder)
                                  : set == QLatin1String("generated") ? generatedSet(folder)
                                                                      : QStringList();
        if (files.isEmpty()) {
            std::fprintf(stderr, "bench_printjob: no pictures for the set %s\n", qPrintable(set));
            return 1;
        }
        benchmarkSet(qPrintable(set), files, folder);
    }
    return 0;
}
