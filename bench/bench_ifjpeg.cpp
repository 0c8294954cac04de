// How fast ifjpeg.spi makes previews: GetPreview (from a file and from memory) against
// libjpeg-turbo called directly with the same settings (the floor a 1/4 decode can reach) and
// against GetPicture (what the preview saves). Inputs: a generated 4000 × 3000 photo-like JPEG and
// the three largest photographs of the shared test pictures. Prints the ratios at the end.
#include "bench/direct_decode.h"
#include "bench/fastest_runs.h"
#include "bench/testdata.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/spiloader.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

struct Input {
    std::string name;
    QString path;
    QByteArray bytes;
};

// One decode of the input, from its file or from memory, by GetPicture or GetPreview.
void decodeThroughPlugin(const SpiPlugin& plugin, const Input& input, bool fromFile, Call call,
                         benchmark::State& state) {
    Dib dib;
    const int32_t result = fromFile ? plugin.decodeFile(input.path, 0, dib, call)
                                    : plugin.decode(input.bytes, dib, call);
    if (result != SPI_SUCCESS)
        state.SkipWithError("the plug-in refused the picture");
    benchmark::DoNotOptimize(dib.bitsSize());
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The three camera photographs with the most pixels.
std::vector<Input> largestCameraPhotos(const SpiPlugin& plugin) {
    const QString testdata = bench::sharedTestdata();
    const QDir folder(testdata + QStringLiteral("/camera"));
    std::vector<std::pair<int64_t, Input>> photos;
    for (const QString& name : folder.entryList({QStringLiteral("*.jpg")}, QDir::Files)) {
        Input input{name.toStdString(), folder.filePath(name), {}};
        PictureDescription description;
        if (plugin.describeFile(input.path, 0, description) != SPI_SUCCESS)
            continue;
        input.bytes = readAll(input.path);
        photos.emplace_back(int64_t(description.info.width) * description.info.height,
                            std::move(input));
    }
    std::sort(photos.begin(), photos.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<Input> largest;
    for (size_t i = 0; i < photos.size() && i < 3; ++i)
        largest.push_back(std::move(photos[i].second));
    if (largest.empty())
        std::fprintf(stderr, "bench_ifjpeg: no camera photos in %s; set TAZU_TESTDATA\n",
                     qPrintable(folder.path()));
    return largest;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("TAZU_PLUGIN_PATH"))
        qputenv("TAZU_PLUGIN_PATH", TAZU_BIN_DIR);
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv); // the plug-in search starts in the program's folder

    std::optional<SpiPlugin> loaded;
    try {
        loaded.emplace(QStringLiteral("ifjpeg.spi"));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_ifjpeg: %s\n", error.what());
        return 1;
    }
    const SpiPlugin& plugin = *loaded;

    QTemporaryDir folder;
    JpegOptions options;
    options.quality = 90;
    options.subsampling = Subsampling::S420;
    Input generated{"generated_4000x3000", folder.filePath("generated.jpg"),
                    makeJpeg(makePhotoLikePicture(4000, 3000), options)};
    if (!writeFile(generated.path, generated.bytes))
        return 1;
    std::vector<Input> inputs{generated};
    for (Input& photo : largestCameraPhotos(plugin))
        inputs.push_back(std::move(photo));

    for (const Input& input : inputs) {
        const auto add = [&](const std::string& kind, auto&& body) {
            bench::keepFastest(
                benchmark::RegisterBenchmark((kind + "/" + input.name).c_str(), body));
        };
        add("DirectQuarter", [&input](benchmark::State& state) {
            for (auto _ : state)
                bench::decodeQuarterDirectly(input.bytes);
        });
        add("GetPreviewMemory", [&input, &plugin](benchmark::State& state) {
            for (auto _ : state)
                decodeThroughPlugin(plugin, input, false, Call::Preview, state);
        });
        add("GetPreviewFile", [&input, &plugin](benchmark::State& state) {
            for (auto _ : state)
                decodeThroughPlugin(plugin, input, true, Call::Preview, state);
        });
        add("GetPictureFile", [&input, &plugin](benchmark::State& state) {
            for (auto _ : state)
                decodeThroughPlugin(plugin, input, true, Call::Picture, state);
        });
    }

    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n%-44s %14s %14s %14s\n", "input (fastest runs)", "preview/direct", "file/direct",
                "picture/preview");
    for (const Input& input : inputs) {
        const auto time = [&](const std::string& kind) {
            return reporter.fastestOf(kind + "/" + input.name);
        };
        const double direct = time("DirectQuarter");
        const double previewFile = time("GetPreviewFile");
        if (direct <= 0 || previewFile <= 0)
            continue; // filtered out
        std::printf("%-44s %13.2fx %13.2fx %13.2fx\n", input.name.c_str(),
                    time("GetPreviewMemory") / direct, previewFile / direct,
                    time("GetPictureFile") / previewFile);
    }
    return 0;
}
