// Index sheets of 96 photographs of 4000 × 3000 pixels (JPEG) on A4 at 300 dpi, 2 × 4 pictures a
// page with file-name captions, printed by the print job into a PDF file through QPrinter;
// against the 96 full decodes of the same files through the JPEG plug-in, and ImageMagick's
// montage on the same files. Reports times (fastest of three runs), the PDF's size per page and
// the job's peak memory above the process's idle memory; and the job with the rotation switch
// off, which reads no EXIF data, against the job with it on (the generated photographs carry a
// camera's EXIF block), and the reads alone against the job without them (steadier than the
// difference of two jobs on a busy machine).
//
//   bench_printjob [pictures [folder]]
//
// pictures: how many (default 96); folder: print its JPEG files over and over instead of the
// generated photographs. TAZU_PLUGIN_PATH names the plug-in folder.
#include "correction/settings.h"
#include "imaging/all.h"
#include "imaging/exif.h"
#include "imaging/fullsize.h"
#include "platform/interaction.h"
#include "platform/printer.h"
#include "printing/printjob.h"
#include "tests/support/exifmaker.h"
#include "tests/support/jpegmaker.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

#include <sys/resource.h>

using namespace testsupport;

namespace {

constexpr int PictureWidth = 4000;
constexpr int PictureHeight = 3000;
constexpr int DistinctPictures = 12;
constexpr int Runs = 3;
constexpr double FullSizeMegabytes = PictureWidth * 3.0 * PictureHeight / (1024 * 1024);

class MessagePrinter : public platform::Answerer {
public:
    platform::MessageAnswer message(const platform::MessageRequest& request) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(request.text));
        return platform::MessageAnswer::Ok;
    }
};

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

struct JobRun {
    double seconds = 0;
    double cpuSeconds = 0; // of all threads: steadier than the time on a busy machine
    long peakKilobytes = 0;
    int pages = 0;
    qint64 bytes = 0;
};

JobRun printSheets(const PrintRequest& request, const QString& pdf) {
    platform::QtPrinter printer;
    QPrinter& qt = printer.qprinter();
    qt.setOutputFormat(QPrinter::PdfFormat);
    qt.setPageSize(QPageSize(QPageSize::A4));
    qt.setResolution(300);
    qt.setOutputFileName(pdf);
    TAll work;
    PrintMonitor monitor;
    resetPeakMemory();
    QElapsedTimer clock;
    clock.start();
    const std::clock_t cpu = std::clock();
    const PrintSummary summary = RunPrintJob(request, printer, work, monitor);
    JobRun run;
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.cpuSeconds = double(std::clock() - cpu) / CLOCKS_PER_SEC;
    run.peakKilobytes = statusKilobytes("VmHWM");
    run.pages = summary.pages;
    run.bytes = QFileInfo(pdf).size();
    if (summary.printed != int(request.entries.size()))
        std::fprintf(stderr, "only %d pictures printed\n", summary.printed);
    return run;
}

// The EXIF reads the print job adds with the rotation switch on: one a picture.
double readAllExif(const PrintRequest& request) {
    QElapsedTimer clock;
    clock.start();
    int turned = 0;
    for (const PrintEntry& entry : request.entries)
        turned += ReadExifInfo(QFile::encodeName(entry.path).toStdString()).orientation > 1;
    const double seconds = clock.nsecsElapsed() / 1e9;
    if (turned > 0)
        std::printf("(%d pictures to be turned)\n", turned);
    return seconds;
}

double decodeAll(const PrintRequest& request) {
    QElapsedTimer clock;
    clock.start();
    for (const PrintEntry& entry : request.entries) {
        if (LoadFullSize(entry.path, QStringLiteral(".JPG")) != HeldAsDib)
            std::fprintf(stderr, "decode failed: %s\n", qPrintable(entry.path));
        FreeDecodedDib();
    }
    return clock.nsecsElapsed() / 1e9;
}

struct ToolRun {
    bool ran = false;
    bool succeeded = false;
    double seconds = 0;
    long peakKilobytes = 0;
};

// Runs program in a child process; its peak memory from the children's resource use.
ToolRun runTool(const QString& program, const QStringList& arguments) {
    ToolRun run;
    if (!QFileInfo(program).isExecutable() && QStandardPaths::findExecutable(program).isEmpty())
        return run;
    run.ran = true;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    run.succeeded = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0;
    run.seconds = clock.nsecsElapsed() / 1e9;
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    run.peakKilobytes = usage.ru_maxrss; // the largest child so far: each run is larger
    return run;
}

void reportTool(const char* label, const ToolRun& run, double decodes) {
    if (!run.ran) {
        std::printf("%-44s not installed (apt-get install imagemagick)\n", label);
        return;
    }
    std::printf("%-44s %8.2f s  %6.2fx decodes  peak %6.0f MB%s\n", label, run.seconds,
                run.seconds / decodes, run.peakKilobytes / 1024.0,
                run.succeeded ? "" : "  (failed)");
}

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int pictures = argc > 1 ? std::max(1, std::atoi(argv[1])) : 96;
    MessagePrinter answers;
    const platform::ScopedAnswerer scope(answers);

    QTemporaryDir folder;
    std::vector<QByteArray> jpegs;
    if (argc > 2) {
        const QDir source(QString::fromLocal8Bit(argv[2]));
        for (const QFileInfo& file : source.entryInfoList(
                 {QStringLiteral("*.jpg"), QStringLiteral("*.JPG")}, QDir::Files, QDir::Name)) {
            QFile input(file.filePath());
            if (input.open(QIODevice::ReadOnly))
                jpegs.push_back(input.readAll());
        }
        std::printf("printing %d pictures from %zu files of %s ...\n", pictures, jpegs.size(),
                    argv[2]);
    } else {
        std::printf("writing %d photographs of %d x %d ...\n", pictures, PictureWidth,
                    PictureHeight);
        for (int i = 0; i < std::min(pictures, DistinctPictures); ++i) {
            JpegOptions options;
            options.quality = 85 + i % 8;
            jpegs.push_back(withExif(
                makeJpeg(makePhotoLikePicture(PictureWidth, PictureHeight, uint32_t(i + 1)),
                         options),
                makeExifBlock({1, "2026:11:03 10:00:00", "2026:11:03 10:00:00"})));
        }
    }
    std::fflush(stdout);
    if (jpegs.empty())
        return 1;
    PrintRequest request;
    request.layout.Columns = 2;
    request.layout.Rows = 4;
    request.layout.FileNameLine = true;
    QStringList files;
    for (int i = 0; i < pictures; ++i) {
        const QString path =
            folder.filePath(QStringLiteral("P%1.JPG").arg(i + 1, 4, 10, QChar(u'0')));
        if (!writeFile(path, jpegs[size_t(i) % jpegs.size()]))
            return 1;
        request.entries.push_back({path, true, 1, {}});
        files << path;
    }

    TAll warmUp; // the program's windows exist before it prints
    const long idle = statusKilobytes("VmRSS");
    JobRun best{std::numeric_limits<double>::max()};
    double decodes = std::numeric_limits<double>::max();
    JobRun withoutExif{std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    double cpuWithExif = std::numeric_limits<double>::max();
    double exifReads = std::numeric_limits<double>::max();
    long peak = 0;
    PrintRequest unturned = request;
    unturned.turnJ6I = false;
    for (int run = 0; run < Runs; ++run) {
        const JobRun job = printSheets(request, folder.filePath(QStringLiteral("sheets.pdf")));
        peak = std::max(peak, job.peakKilobytes);
        if (job.seconds < best.seconds)
            best = job;
        cpuWithExif = std::min(cpuWithExif, job.cpuSeconds);
        decodes = std::min(decodes, decodeAll(request));
        exifReads = std::min(exifReads, readAllExif(request));
        const JobRun plain = printSheets(unturned, folder.filePath(QStringLiteral("unturned.pdf")));
        withoutExif.seconds = std::min(withoutExif.seconds, plain.seconds);
        withoutExif.cpuSeconds = std::min(withoutExif.cpuSeconds, plain.cpuSeconds);
    }

    std::printf("\n%d pictures, %d pages, fastest of %d runs\n", pictures, best.pages, Runs);
    std::printf("%-44s %8.2f s\n", "full decodes through ifjpeg.spi", decodes);
    std::printf("%-44s %8.2f s  %6.2fx decodes  (guideline within 1.5x)\n", "print job into PDF",
                best.seconds, best.seconds / decodes);
    std::printf("%-44s %8.2f s  %6.3fx with EXIF read, CPU time %6.3fx  (guideline within "
                "1.03x)\n",
                "print job, rotation switch off (no EXIF)", withoutExif.seconds,
                best.seconds / withoutExif.seconds, cpuWithExif / withoutExif.cpuSeconds);
    std::printf("%-44s %8.4f s  %6.4fx of the job without them  (guideline within 1.03x)\n",
                "the job's EXIF reads alone", exifReads,
                (withoutExif.seconds + exifReads) / withoutExif.seconds);
    std::printf("%-44s %8.2f MB  (guideline at most 1.5 MB)\n", "PDF size per page",
                best.bytes / (1024.0 * 1024.0) / std::max(1, best.pages));
    std::printf("%-44s %8.0f MB  idle %.0f MB, peak above idle %.0f MB = %.2f full-size "
                "pictures of %.0f MB (guideline within 3)\n",
                "print job peak memory", peak / 1024.0, idle / 1024.0, (peak - idle) / 1024.0,
                (peak - idle) / 1024.0 / FullSizeMegabytes, FullSizeMegabytes);

    // The same sheets through tazu-sheet, as a user runs it (its own process, so its peak
    // memory is that of the whole program).
    {
        QTemporaryDir empty;
        const QString ini = empty.filePath(QStringLiteral("tazu.INI"));
        QFile settings(ini);
        if (settings.open(QIODevice::WriteOnly))
            settings.write("[PRNSET]\r\nFilename=1\r\n");
        settings.close();
        const ToolRun sheet = runTool(QStringLiteral(TAZU_SHEET),
                                      {folder.path(), QStringLiteral("-o"),
                                       folder.filePath(QStringLiteral("cli.pdf")),
                                       QStringLiteral("--ini"), ini, QStringLiteral("--quiet")});
        reportTool("tazu-sheet (whole program)", sheet, decodes);
        std::printf("%-44s %8.2f MB\n", "tazu-sheet PDF size per page",
                    QFileInfo(folder.filePath(QStringLiteral("cli.pdf"))).size() /
                        (1024.0 * 1024.0) / std::max(1, best.pages));
    }

    // montage told the tile size, so that it decodes the JPEGs reduced, and without it; in
    // that order, as the children's peak memory is the largest so far.
    const QString sheets = folder.filePath(QStringLiteral("montage-%02d.jpg"));
    reportTool("montage -define jpeg:size=1200x850 ...",
               runTool(QStringLiteral("montage"),
                       QStringList{QStringLiteral("-define"), QStringLiteral("jpeg:size=1200x850"),
                                   QStringLiteral("-tile"), QStringLiteral("2x4"),
                                   QStringLiteral("-geometry"), QStringLiteral("1200x850+8+8")}
                           << files << sheets),
               decodes);
    reportTool("montage -tile 2x4 -geometry 1200x850+8+8",
               runTool(QStringLiteral("montage"),
                       QStringList{QStringLiteral("-tile"), QStringLiteral("2x4"),
                                   QStringLiteral("-geometry"), QStringLiteral("1200x850+8+8")}
                           << files << sheets),
               decodes);
    return 0;
}
