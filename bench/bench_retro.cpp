// How fast the decoders of older Japanese formats are: GetPicture of ifmag.spi, ifpi.spi and
// ifpic.spi against GetPicture of ifgif.spi on a GIF of the same size and colours (the same
// pixels, reduced to at most 256 colours for a PIC picture of more), all from memory. Inputs: the
// 640 × 400 pictures of the shared test data (the GIF made from each one's reference rendering)
// and a 2048 × 2048 photo-like picture of each format written by the tests' writers. Prints the
// ratios at the end.
#include "bench/fastest_runs.h"
#include "bench/testdata.h"
#include "tests/support/gifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/magmaker.h"
#include "tests/support/picmaker.h"
#include "tests/support/pimaker.h"
#include "tests/support/spiloader.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

// One picture of a format and the GIF of the same pixels.
struct Input {
    std::string name;
    const SpiPlugin* plugin;
    QByteArray bytes;
    QByteArray gif;
};

void decodeInMemory(const SpiPlugin& plugin, const QByteArray& bytes, benchmark::State& state) {
    for (auto _ : state) {
        Dib dib;
        if (plugin.decode(bytes, dib) != SPI_SUCCESS) {
            state.SkipWithError("the plug-in refused the picture");
            return;
        }
        benchmark::DoNotOptimize(dib.bitsSize());
    }
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The picture reduced to at most `colours` colours, as an indexed picture with its table.
QImage indexed(const QImage& picture, int colours) {
    QImage reduced = picture.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
    if (reduced.colorCount() <= colours)
        return reduced;
    // Qt chose more colours than the format holds: a fixed table of `colours` levels.
    QList<QRgb> table;
    const int levels = colours == 16 ? 2 : 6;
    for (int i = 0; i < colours; ++i) {
        const int step = 255 / (levels - 1);
        table << qRgb(i % levels * step, i / levels % levels * step,
                      i / (levels * levels) % levels * step);
    }
    return picture.convertToFormat(QImage::Format_Indexed8, table, Qt::DiffuseDither);
}

QByteArray gifOf(const QImage& indexedPicture) {
    return makeGif({GifFrame{indexedPicture}});
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("TAZU_PLUGIN_PATH"))
        qputenv("TAZU_PLUGIN_PATH", TAZU_BIN_DIR);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    QGuiApplication app(argc, argv); // the plug-in search starts in the program's folder

    std::map<std::string, std::unique_ptr<SpiPlugin>> plugins;
    for (const char* name : {"ifgif.spi", "ifmag.spi", "ifpi.spi", "ifpic.spi"}) {
        try {
            plugins[name] = std::make_unique<SpiPlugin>(QString::fromLatin1(name));
        } catch (const std::exception& error) {
            std::fprintf(stderr, "bench_retro: %s\n", error.what());
            return 1;
        }
    }

    std::vector<Input> inputs;
    const QString testdata = bench::sharedTestdata();
    const struct {
        const char* file;
        const char* plugin;
        int colours;
    } shared[] = {{"MAG/MG_T16.MAG", "ifmag.spi", 16},
                  {"MAG/MG_T256.MAG", "ifmag.spi", 256},
                  {"PI/MG_T16.PI", "ifpi.spi", 16},
                  {"PI/MG_T256.PI", "ifpi.spi", 256},
                  {"PIC/PL_GEN640x400.PIC", "ifpic.spi", 256}};
    for (const auto& file : shared) {
        const QString path = testdata + QStringLiteral("/retro/") + QLatin1String(file.file);
        const QByteArray bytes = readAll(path);
        QString reference = path;
        reference.replace(reference.lastIndexOf(u'.'), reference.size(), QStringLiteral(".png"));
        const QImage rendering(reference);
        if (bytes.isEmpty() || rendering.isNull()) {
            std::fprintf(stderr, "bench_retro: %s or its rendering missing; set TAZU_TESTDATA\n",
                         qPrintable(path));
            continue;
        }
        inputs.push_back({file.file, plugins[file.plugin].get(), bytes,
                          gifOf(indexed(rendering, file.colours))});
    }

    const QImage photo = makePhotoLikePicture(2048, 2048);
    const QImage photo16 = indexed(photo, 16);
    const QImage photo256 = indexed(photo, 256);
    MagOptions mag256;
    mag256.colours256 = true;
    PiOptions pi256;
    pi256.planes = 8;
    inputs.push_back({"generated_2048/16.MAG", plugins["ifmag.spi"].get(), makeMagFile(photo16),
                      gifOf(photo16)});
    inputs.push_back({"generated_2048/256.MAG", plugins["ifmag.spi"].get(),
                      makeMagFile(photo256, mag256), gifOf(photo256)});
    inputs.push_back(
        {"generated_2048/16.PI", plugins["ifpi.spi"].get(), makePiFile(photo16), gifOf(photo16)});
    inputs.push_back({"generated_2048/256.PI", plugins["ifpi.spi"].get(),
                      makePiFile(photo256, pi256), gifOf(photo256)});
    inputs.push_back({"generated_2048/15bit.PIC", plugins["ifpic.spi"].get(),
                      makePicFile(photo.convertToFormat(QImage::Format_RGB32)), gifOf(photo256)});

    for (const Input& input : inputs) {
        bench::keepFastest(benchmark::RegisterBenchmark(
            ("GetPicture/" + input.name).c_str(), [&input](benchmark::State& state) {
                decodeInMemory(*input.plugin, input.bytes, state);
            }));
        bench::keepFastest(benchmark::RegisterBenchmark(
            ("GifGetPicture/" + input.name).c_str(), [&input, &plugins](benchmark::State& state) {
                decodeInMemory(*plugins["ifgif.spi"], input.gif, state);
            }));
    }

    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n%-36s %12s %12s %10s\n", "input (fastest runs)", "decoder ms", "GIF ms",
                "ratio");
    for (const Input& input : inputs) {
        const double own = reporter.fastestOf("GetPicture/" + input.name);
        const double gif = reporter.fastestOf("GifGetPicture/" + input.name);
        if (own <= 0 || gif <= 0)
            continue; // filtered out
        std::printf("%-36s %12.2f %12.2f %9.2fx%s\n", input.name.c_str(), own, gif, own / gif,
                    own > gif ? " (slower than GIF)" : "");
    }
    return reporter.failed ? 1 : 0;
}
