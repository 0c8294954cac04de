// How fast a page of thumbnails fills: eight TAll picture controls in thumbnail mode, each given
// the name of a 4000 × 3000 photo-like JPEG, and the main window's own page fill of the same
// files, against the floor of the same eight files read from disk and decoded by libjpeg-turbo
// directly at 1/4; and the main window's page of names over a folder of 500 files, which must
// not decode anything. The TAll page once more with the EXIF data of its eight files read
// (orientation and shooting date, as the page needs them), against the page alone, and the
// eight EXIF reads alone as a share of the page (steadier than the difference of two pages on a
// busy machine). A page of eight 12-megapixel phone HEIC pictures (the shared iPhone pictures,
// four copies each), through TAll and through the main window, against the JPEG page of the same
// size. Prints the ratios and the names page's time at the end.
// TAZU_PLUGIN_PATH names the plug-in folder, TAZU_TESTDATA the shared test pictures.
#include "app/Tazu.h"
#include "bench/direct_decode.h"
#include "bench/fastest_runs.h"
#include "bench/testdata.h"
#include "imaging/all.h"
#include "imaging/exif.h"
#include "platform/filecontrols.h"
#include "platform/interaction.h"
#include "tests/support/exifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/unattended.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

constexpr int PageSize = 8;
// The size of an iPhone's photographs, as the HEIC page's.
constexpr int PictureWidth = 4032;
constexpr int PictureHeight = 3024;

using Page = std::array<QString, PageSize>;

// Eight photographs that differ in content and quality, so that no decode can profit from the
// one before it; each with the EXIF block of a camera (orientation and shooting date).
bool writePage(const QTemporaryDir& folder, Page& page) {
    for (int i = 0; i < PageSize; ++i) {
        JpegOptions options;
        options.quality = 85 + i;
        options.subsampling = Subsampling::S420;
        page[i] = folder.filePath(QStringLiteral("photo%1.jpg").arg(i + 1));
        const QImage picture = makePhotoLikePicture(PictureWidth, PictureHeight, uint32_t(i + 1));
        const QByteArray exif =
            makeExifBlock({1, QByteArrayLiteral("2026:11:03 10:00:0") + char('0' + i), {}});
        if (!writeFile(page[i], withExif(makeJpeg(picture, options), exif)))
            return false;
    }
    return true;
}

// A phone's folder: the shared 12-megapixel iPhone pictures, alternately, under eight names.
bool copyHeicPage(const QString& testdata, const QTemporaryDir& folder, Page& page) {
    const QString phones[] = {QStringLiteral("arrow.heic"), QStringLiteral("pug.heic")};
    for (int i = 0; i < PageSize; ++i) {
        page[i] = folder.filePath(QStringLiteral("IMG_%1.HEIC").arg(i + 1, 4, 10, QChar('0')));
        if (!QFile::copy(testdata + QStringLiteral("/heic/") + phones[i % 2], page[i]))
            return false;
    }
    return true;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The thumbnail page of the main window: eight controls in thumbnail mode that stretch their
// picture over a fixed cell.
class ThumbnailPage {
public:
    ThumbnailPage() {
        for (int i = 0; i < PageSize; ++i) {
            TAll* control = new TAll(&page_);
            control->setAutoSize(false);
            control->setStretch(true);
            control->setPreView(true);
            control->setGeometry(4 + (i % 4) * 164, 4 + (i / 4) * 124, 160, 120);
            controls_[i] = control;
        }
    }

    // Gives every control its picture; false, with the benchmark stopped, when one fails.
    bool fill(const Page& names, benchmark::State& state) {
        for (int i = 0; i < PageSize; ++i) {
            TAll& control = *controls_[i];
            // Emptied first so that every round loads, whatever TAll may one day do with a
            // name it already shows.
            control.setPictureName(QString());
            control.setPictureName(names[i]);
            if (control.error() != 0 || !control.hasPicture()) {
                const std::string text = "TAll did not load " + names[i].toStdString() +
                                         " (Error " + std::to_string(control.error()) + ")";
                state.SkipWithError(text.c_str());
                return false;
            }
        }
        benchmark::DoNotOptimize(controls_.back()->picture().constBits());
        return true;
    }

private:
    QWidget page_;
    std::array<TAll*, PageSize> controls_{}; // children of page_
};

// With readExif, every file's EXIF data is read too, as the page does to turn its pictures
// upright.
void fillTAllPage(benchmark::State& state, const Page& names, bool readExif) {
    ThumbnailPage page;
    for (auto _ : state) {
        if (!page.fill(names, state))
            break;
        if (readExif)
            for (const QString& name : names)
                benchmark::DoNotOptimize(ReadExifInfo(QFile::encodeName(name).toStdString()));
    }
}

void readPageExif(benchmark::State& state, const Page& names) {
    for (auto _ : state)
        for (const QString& name : names)
            benchmark::DoNotOptimize(ReadExifInfo(QFile::encodeName(name).toStdString()));
}

void decodePageDirectly(benchmark::State& state, const Page& names) {
    for (auto _ : state) {
        for (const QString& name : names) {
            const QByteArray jpeg = readAll(name);
            if (jpeg.isEmpty()) {
                state.SkipWithError("a page file could not be read");
                return;
            }
            bench::decodeQuarterDirectly(jpeg);
        }
    }
}

// The main window opened on folder, as it starts with that folder stored in its settings.
std::unique_ptr<TForm1> openMainWindow(const QString& folder, const QTemporaryDir& settings) {
    if (!useSettingsOpeningFolder(settings, folder))
        return nullptr;
    StartupOk = true;
    return std::make_unique<TForm1>();
}

enum class PageWork { Thumbnails, Names, OpenFolder };

void fillMainWindowPage(benchmark::State& state, const QString& folder, PageWork work) {
    QTemporaryDir settings;
    const std::unique_ptr<TForm1> window = openMainWindow(folder, settings);
    if (!window || !StartupOk) {
        state.SkipWithError("the main window did not start");
        return;
    }
    // "すべての画像ﾌｧｲﾙ", the last file type, lists the HEIC pictures as well as the JPEG ones.
    window->FilterComboBox1->setItemIndex(window->FilterComboBox1->count() - 1);
    window->FilterComboBox1Change();
    window->ThumbsShown = work == PageWork::Thumbnails;
    for (auto _ : state) {
        if (work == PageWork::OpenFolder)
            window->OpenFolder(); // lists the folder again, then fills the page with names
        else
            window->ShowPage();
    }
    state.counters["files"] = FileCount;
}

// A folder as a camera card fills it: 500 JPEG files (empty: with names shown nothing is read).
bool writeNamesFolder(const QTemporaryDir& folder) {
    for (int i = 0; i < MaxFolderFiles; ++i)
        if (!writeFile(folder.filePath(QString::asprintf("DSC%05d.JPG", i)), {}))
            return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("TAZU_PLUGIN_PATH"))
        qputenv("TAZU_PLUGIN_PATH", TAZU_BIN_DIR);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // the controls are never shown
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv); // TAll is a widget; the plug-in search starts here too
    // A failing load answers on the error output, and the benchmark stops on the control's
    // Error.
    MessagePrinter printer("bench_thumbnails");
    const platform::ScopedAnswerer answers(printer);

    QTemporaryDir folder;
    QTemporaryDir namesFolder;
    QTemporaryDir heicFolder;
    Page page;
    Page heicPage;
    if (!folder.isValid() || !writePage(folder, page) || !writeNamesFolder(namesFolder)) {
        std::fprintf(stderr, "bench_thumbnails: cannot write the pictures into %s\n",
                     qPrintable(folder.path()));
        return 1;
    }
    const QString testdata = bench::sharedTestdata();
    if (!heicFolder.isValid() || !copyHeicPage(testdata, heicFolder, heicPage)) {
        std::fprintf(stderr,
                     "bench_thumbnails: no iPhone HEIC pictures in %s/heic; set "
                     "TAZU_TESTDATA\n",
                     qPrintable(testdata));
        return 1;
    }

    // Names such as TAllPage/8x4000x3000.
    const std::string pageName = QStringLiteral("/%1x%2x%3")
                                     .arg(PageSize)
                                     .arg(PictureWidth)
                                     .arg(PictureHeight)
                                     .toStdString();
    const std::string tallPage = "TAllPage" + pageName;
    const std::string exifPage = "TAllPageWithExif" + pageName;
    const std::string directPage = "DirectQuarterDecodes" + pageName;
    bench::keepFastest(benchmark::RegisterBenchmark(
        tallPage.c_str(), [&page](benchmark::State& state) { fillTAllPage(state, page, false); }));
    bench::keepFastest(benchmark::RegisterBenchmark(
        exifPage.c_str(), [&page](benchmark::State& state) { fillTAllPage(state, page, true); }));
    const std::string exifReads = "ExifReads" + pageName;
    bench::keepFastest(benchmark::RegisterBenchmark(
        exifReads.c_str(), [&page](benchmark::State& state) { readPageExif(state, page); }));
    bench::keepFastest(benchmark::RegisterBenchmark(
        directPage.c_str(), [&page](benchmark::State& state) { decodePageDirectly(state, page); }));
    const std::string windowPage = "MainWindowThumbnailPage" + pageName;
    bench::keepFastest(benchmark::RegisterBenchmark(
        windowPage.c_str(), [path = folder.path()](benchmark::State& state) {
            fillMainWindowPage(state, path, PageWork::Thumbnails);
        }));
    const std::string heicPageName = "/8xiPhoneHEIC";
    const std::string tallHeicPage = "TAllPage" + heicPageName;
    bench::keepFastest(
        benchmark::RegisterBenchmark(tallHeicPage.c_str(), [&heicPage](benchmark::State& state) {
            fillTAllPage(state, heicPage, false);
        }));
    const std::string windowHeicPage = "MainWindowThumbnailPage" + heicPageName;
    bench::keepFastest(benchmark::RegisterBenchmark(
        windowHeicPage.c_str(), [path = heicFolder.path()](benchmark::State& state) {
            fillMainWindowPage(state, path, PageWork::Thumbnails);
        }));
    const std::string namesPage = "MainWindowNamesPage/500files";
    bench::keepFastest(benchmark::RegisterBenchmark(
        namesPage.c_str(), [path = namesFolder.path()](benchmark::State& state) {
            fillMainWindowPage(state, path, PageWork::Names);
        }));
    const std::string openFolder = "MainWindowOpenFolder/500files";
    bench::keepFastest(benchmark::RegisterBenchmark(
        openFolder.c_str(), [path = namesFolder.path()](benchmark::State& state) {
            fillMainWindowPage(state, path, PageWork::OpenFolder);
        }));

    const std::vector<bench::Comparison> comparisons{
        {"TAll page / direct decodes", tallPage, directPage, 1.1},
        {"main window thumbnail page / direct decodes", windowPage, directPage, 1.1},
        {"TAll page with EXIF read / without", exifPage, tallPage, 1.03},
        {"TAll HEIC page / TAll JPEG page", tallHeicPage, tallPage, 2.0, true},
        {"main window HEIC page / JPEG page", windowHeicPage, windowPage, 2.0, true},
    };

    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    bench::printComparisons(reporter, comparisons);
    const double reads = reporter.fastestOf(exifReads), fill = reporter.fastestOf(tallPage);
    if (reads > 0 && fill > 0)
        std::printf("%-44s %9.3fx   within 1.03x%s\n", "TAll page + its EXIF reads / page alone",
                    1 + reads / fill, reads / fill > 0.03 ? " (over)" : "");
    const struct {
        const char* label;
        std::string name;
    } underFive[] = {{"main window names page, 500 files", namesPage},
                     {"main window folder opening, 500 files", openFolder}};
    for (const auto& line : underFive) {
        const double ms = reporter.fastestOf(line.name);
        if (ms > 0)
            std::printf("%-44s %7.2f ms   under 5 ms%s\n", line.label, ms,
                        ms >= 5 ? " (over)" : "");
    }
    return reporter.failed ? 1 : 0;
}
