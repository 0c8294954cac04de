// How fast the corrections run on a 4000 × 3000 photograph held as CurrentDib, with the colour
// shift and the tone curve both on: the pass over the pixels (CorrectPixels) against the floor of
// three plain table lookups a pixel, and a whole drawing of the corrected picture into a picture
// control (DrawCorrected) against the floor of one copy of the pixel block plus that lookup pass.
// Prints the ratios at the end.
#include "bench/fastest_runs.h"
#include "correction/pipeline.h"
#include "correction/settings.h"
#include "imaging/fullsize.h"
#include "platform/dib.h"
#include "platform/imagecontrol.h"
#include "platform/memory.h"
#include "tests/support/decodeddib.h"
#include "tests/support/jpegmaker.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t PictureWidth = 4000;
constexpr int32_t PictureHeight = 3000;

using Table = std::array<uint8_t, 256>;

// Puts a photo-like picture into DecodedDib as a decoder plug-in returns it and lets CurrentDib
// take it over, as a full-size load of a 24-bit picture ends. False when it could not.
bool holdPicture() {
    const QImage picture = testsupport::makePhotoLikePicture(PictureWidth, PictureHeight);
    if (!testsupport::putDecodedDib(picture))
        return false;
    AdoptDecodedPicture(false);
    LoadResult = HeldAsDib;
    Correctable = true;
    WriteBack = false;
    return true;
}

// Both corrections on, with a colour shift in every channel and a curve unlike the identity.
void setBothCorrections() {
    CorrectionSettings.Blue = 10;
    CorrectionSettings.Green = -5;
    CorrectionSettings.Red = 20;
    CorrectionSettings.Hitone = 2300;
    CorrectionSettings.Midtone = 450;
    CorrectionSettings.Lowtone = 150;
    CorrectionSettings.CLBL = true;
    CorrectionSettings.ToneBL = true;
    SetManualCurve();
}

// Three tables of fixed contents, different per channel so that no two lookups are alike.
std::array<Table, 3> floorTables() {
    std::array<Table, 3> tables{};
    for (size_t v = 0; v < 256; ++v) {
        tables[0][v] = uint8_t(255 - v);
        tables[1][v] = uint8_t(v * v / 255);
        tables[2][v] = uint8_t(v / 2 + 64);
    }
    return tables;
}

// The floor of a correction pass: one lookup a byte over bottom-up rows padded to 4 bytes.
void lookupPass(uint8_t* pixels, int32_t width, int32_t height, const std::array<Table, 3>& t) {
    const size_t rowBytes = (size_t(width) * 3 + 3) & ~size_t(3);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = pixels + size_t(y) * rowBytes;
        for (int32_t x = 0; x < width; ++x, p += 3) {
            p[0] = t[0][p[0]];
            p[1] = t[1][p[1]];
            p[2] = t[2][p[2]];
        }
    }
}

// A copy of the held pixel block, made once before the timing.
std::vector<uint8_t> copyOfHeldPixels() {
    const platform::LockedBlock held(CurrentDib.pixels);
    const auto* bytes = held.as<const uint8_t>();
    return std::vector<uint8_t>(bytes, bytes + DibImageSize);
}

void correctPixels(benchmark::State& state) {
    std::vector<uint8_t> scratch = copyOfHeldPixels();
    // Every pass costs the same whatever the bytes, so the copy is corrected again and again.
    for (auto _ : state) {
        CorrectPixels(scratch.data(), PictureWidth, PictureHeight, true, true);
        benchmark::DoNotOptimize(scratch.data());
        benchmark::ClobberMemory();
    }
}

void threeTableLookup(benchmark::State& state) {
    std::vector<uint8_t> scratch = copyOfHeldPixels();
    const std::array<Table, 3> tables = floorTables();
    for (auto _ : state) {
        lookupPass(scratch.data(), PictureWidth, PictureHeight, tables);
        benchmark::DoNotOptimize(scratch.data());
        benchmark::ClobberMemory();
    }
}

void drawCorrected(benchmark::State& state) {
    platform::ImageControl target;
    // A surface of the picture's size, so that every drawing goes into the one already there.
    target.setPicture(QImage(PictureWidth, PictureHeight, QImage::Format_RGB32));
    for (auto _ : state) {
        DrawCorrected(QImage(), target, BothCorrections);
        benchmark::DoNotOptimize(target.picture().constBits());
        benchmark::ClobberMemory();
    }
    if (target.picture().size() != QSize(PictureWidth, PictureHeight))
        state.SkipWithError("DrawCorrected replaced the surface of the picture's size");
}

void memcpyPlusLookup(benchmark::State& state) {
    const platform::LockedBlock held(CurrentDib.pixels);
    // Filled once so that its pages are in place before the timing.
    std::vector<uint8_t> copy = copyOfHeldPixels();
    const std::array<Table, 3> tables = floorTables();
    for (auto _ : state) {
        std::memcpy(copy.data(), held.data(), size_t(DibImageSize));
        lookupPass(copy.data(), PictureWidth, PictureHeight, tables);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // the control is never shown
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv); // the picture control is a widget
    if (!holdPicture()) {
        std::fprintf(stderr, "bench_correction: cannot hold the picture as CurrentDib\n");
        return 1;
    }
    setBothCorrections();

    // Names such as CorrectPixels/4000x3000.
    const std::string size =
        "/" + std::to_string(PictureWidth) + "x" + std::to_string(PictureHeight);
    const std::string correct = "CorrectPixels" + size;
    const std::string lookup = "ThreeTableLookup" + size;
    const std::string draw = "DrawCorrected/held" + size;
    const std::string copyLookup = "MemcpyPlusLookup" + size;
    bench::keepFastest(benchmark::RegisterBenchmark(correct.c_str(), correctPixels));
    bench::keepFastest(benchmark::RegisterBenchmark(lookup.c_str(), threeTableLookup));
    bench::keepFastest(benchmark::RegisterBenchmark(draw.c_str(), drawCorrected));
    bench::keepFastest(benchmark::RegisterBenchmark(copyLookup.c_str(), memcpyPlusLookup));

    const std::vector<bench::Comparison> comparisons{
        {"CorrectPixels / three-table lookup", correct, lookup, 1.5},
        {"DrawCorrected / memcpy + lookup", draw, copyLookup, 3.0},
    };

    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    FreeCurrentDib();

    bench::printComparisons(reporter, comparisons);
    return reporter.failed ? 1 : 0;
}
