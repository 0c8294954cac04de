#include "correction/pipeline.h"

#include "imaging/fullsize.h"
#include "platform/dib.h"
#include "platform/imagecontrol.h"

#include <algorithm>
#include <cstring>

bool WriteBack = false;
int32_t CurveLow = 0;
int32_t CurveMid = 1275;
int32_t CurveHigh = 2550;
std::array<int32_t, 256> LevelHistogram{};
int64_t LevelSampleCount = 0;

namespace {

using Table = std::array<uint8_t, 256>;

int32_t rowBytesOf(int32_t width) {
    return DibImageSizeOf(width, 1);
}

// One table per channel: the colour shift, then the tone curve, exactly as the per-byte
// functions do it, so that the pass is three lookups a pixel.
std::array<Table, 3> tablesFor(bool tone, bool colour) {
    std::array<Table, 3> tables{};
    for (int channel = 0; channel < 3; ++channel) {
        for (int v = 0; v < 256; ++v) {
            uint8_t sample = uint8_t(v);
            if (colour)
                ShiftColourSample(sample, channel);
            if (tone)
                MapToneSample(sample);
            tables[size_t(channel)][size_t(v)] = sample;
        }
    }
    return tables;
}

struct Flags {
    bool tone = false;
    bool colour = false;
};

Flags flagsFor(int mode) {
    const TCorrectionSettings& c = CorrectionSettings;
    switch (mode) {
    case BothCorrections:
        return {true, true};
    case ToneOnly:
        return {true, false};
    case ColourOnly:
        return {false, true};
    default:
        return {!c.ToneBL, !c.CLBL};
    }
}

// The skip tests: no colour pass when every offset is 0, no tone pass when the manual levels
// map every byte to itself.
Flags withoutIdentities(Flags flags, bool automatic) {
    const TCorrectionSettings& c = CorrectionSettings;
    if (c.Blue == 0 && c.Green == 0 && c.Red == 0)
        flags.colour = false;
    if (!automatic && c.Hitone == 2550 && c.Midtone == 500 && c.Lowtone == 0)
        flags.tone = false;
    return flags;
}

// The sampling window: strictly inside a tenth of the size from each edge (9 × cx, as it has
// always been measured, not nine tenths of the size).
struct Window {
    int32_t cx, cy;
    bool holds(int32_t x, int32_t y) const { return cx < x && x < 9 * cx && cy < y && y < 9 * cy; }
};

Window windowOf(int32_t width, int32_t height) {
    return {(width - 1) / 10, (height - 1) / 10};
}

// The picture's drawing surface, opaque 32 bits a pixel; a target without a picture gets one of
// the size drawn.
QImage& surfaceOf(platform::ImageControl& target, int32_t width, int32_t height) {
    QImage& canvas = target.canvas();
    if (canvas.isNull())
        target.setPicture(QImage(width, height, QImage::Format_RGB32));
    else if (canvas.format() != QImage::Format_RGB32 &&
             canvas.format() != QImage::Format_ARGB32_Premultiplied &&
             canvas.format() != QImage::Format_ARGB32)
        canvas = canvas.convertToFormat(QImage::Format_RGB32);
    return target.canvas();
}

// White over the whole surface, then the rows at the top-left corner, one pixel for one pixel,
// cut off where the surface ends; each byte through its channel's table when there are tables.
void drawRows(platform::ImageControl& target, const uint8_t* pixels, int32_t width, int32_t height,
              const std::array<Table, 3>* tables) {
    QImage& canvas = surfaceOf(target, width, height);
    canvas.fill(Qt::white);
    const int32_t rowBytes = rowBytesOf(width);
    const int32_t columns = std::min(width, int32_t(canvas.width()));
    const int32_t rows = std::min(height, int32_t(canvas.height()));
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* in = pixels + size_t(height - 1 - y) * size_t(rowBytes);
        auto* out = reinterpret_cast<QRgb*>(canvas.scanLine(y));
        if (tables) {
            const auto& [blue, green, red] = *tables;
            for (int32_t x = 0; x < columns; ++x, in += 3)
                out[x] = qRgb(red[in[2]], green[in[1]], blue[in[0]]);
        } else {
            for (int32_t x = 0; x < columns; ++x, in += 3)
                out[x] = qRgb(in[2], in[1], in[0]);
        }
    }
    target.update();
}

// Corrects and draws the rows in one pass; the rows themselves stay as they are.
void drawCorrectedRows(platform::ImageControl& target, const uint8_t* pixels, int32_t width,
                       int32_t height, Flags flags) {
    if (!flags.tone && !flags.colour) {
        drawRows(target, pixels, width, height, nullptr);
        return;
    }
    const std::array<Table, 3> tables = tablesFor(flags.tone, flags.colour);
    drawRows(target, pixels, width, height, &tables);
}

// CurrentDib locked, its size checked, and the curve points computed for it.
class HeldRows {
    // Locked first: the rows below are read from them.
    platform::LockedBlock headerBlock_;
    platform::LockedBlock pixelBlock_;

public:
    explicit HeldRows(bool automatic)
        : headerBlock_(CurrentDib.header), pixelBlock_(CurrentDib.pixels) {
        platform::BitmapInfoHeader header{};
        std::memcpy(&header, headerBlock_.data(), sizeof header);
        width = header.biWidth;
        height = header.biHeight;
        CheckDibSize(DibImageSizeOf(width, height), int32_t(header.biSizeImage));
        pixels = pixelBlock_.as<uint8_t>();
        if (automatic)
            SampleDibLevels(pixels, width, height);
        else
            SetManualCurve();
    }

    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = nullptr;
};

} // namespace

void ShiftColourSample(uint8_t& value, int channel) {
    const TCorrectionSettings& c = CorrectionSettings;
    const int32_t offset = channel == 0 ? c.Blue : channel == 1 ? c.Green : c.Red;
    const int32_t shift = offset * 256 / 100;
    value = uint8_t(std::clamp(value + shift, 0, 255));
}

void MapToneSample(uint8_t& value) {
    // 64 bits, so that no curve points make the products overflow; a segment without width
    // (which the settings' clamps keep away) maps to its end.
    const int64_t u = 10 * int64_t(value);
    int64_t d;
    if (u >= CurveMid)
        d = CurveHigh > CurveMid ? 1280 + (u - CurveMid) * 1280 / (CurveHigh - CurveMid) : 2550;
    else
        d = CurveMid > CurveLow ? 1280 - (CurveMid - u) * 1280 / (CurveMid - CurveLow) : 0;
    value = uint8_t(std::clamp<int64_t>(d, 0, 2550) / 10);
}

void CorrectPixels(uint8_t* pixels, int32_t width, int32_t height, bool tone, bool colour) {
    if (!tone && !colour)
        return;
    const std::array<Table, 3> t = tablesFor(tone, colour);
    const size_t rowBytes = size_t(rowBytesOf(width));
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = pixels + size_t(y) * rowBytes;
        for (int32_t x = 0; x < width; ++x, p += 3) {
            p[0] = t[0][p[0]];
            p[1] = t[1][p[1]];
            p[2] = t[2][p[2]];
        }
    }
}

void SetManualCurve() {
    const TCorrectionSettings& c = CorrectionSettings;
    CurveHigh = c.Hitone;
    CurveLow = c.Lowtone;
    CurveMid = int32_t(c.Lowtone + int64_t(c.Hitone - c.Lowtone) * c.Midtone / 1000);
}

void FindAutoLevels() {
    const TAutoLevels levels = currentAutoLevels();
    const int64_t n = LevelSampleCount;
    // Targets that the histogram cannot reach end the search at its ends; the clamps below
    // then place the points.
    const int64_t shadowTarget = n * levels.Levell / 1000;
    int32_t s = 0;
    int64_t sum = 0;
    while (sum < shadowTarget && s < 256)
        sum += LevelHistogram[size_t(s++)];
    const int64_t highlightTarget = n * levels.Levelh / 1000;
    int32_t h = 255;
    sum = 0;
    while (sum < highlightTarget && h >= 0)
        sum += LevelHistogram[size_t(h--)];
    CurveLow = std::min(10 * s, 1000);
    CurveHigh = std::max(10 * h, 1500);
    CurveMid = (CurveLow + CurveHigh) / 2;
}

namespace {

// Calls sample(pixel) for every pixel of the sampling window of bottom-up 24-bit rows.
template <typename Sample>
void forEachSampledPixel(const uint8_t* pixels, int32_t width, int32_t height, Sample sample) {
    const Window window = windowOf(width, height);
    const size_t rowBytes = size_t(rowBytesOf(width));
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + size_t(y) * rowBytes;
        for (int32_t x = 0; x < width; ++x)
            if (window.holds(x, y))
                sample(row + size_t(x) * 3);
    }
}

} // namespace

void SampleDibLevels(const uint8_t* pixels, int32_t width, int32_t height) {
    LevelHistogram.fill(0);
    LevelSampleCount = 0;
    forEachSampledPixel(pixels, width, height, [](const uint8_t* p) {
        ++LevelHistogram[size_t((p[0] + p[1] + p[2]) / 3)];
        ++LevelSampleCount;
    });
    FindAutoLevels();
}

void SampleBitmapLevels(const QImage& bitmap) {
    LevelHistogram.fill(0);
    LevelSampleCount = 3 * int64_t(bitmap.width()) * bitmap.height();
    if (const auto dib = platform::imageToDib(bitmap, 24)) {
        const auto* pixels = reinterpret_cast<const uint8_t*>(dib.value.constData()) + 40;
        forEachSampledPixel(pixels, bitmap.width(), bitmap.height(), [](const uint8_t* p) {
            for (int k = 0; k < 3; ++k)
                ++LevelHistogram[p[k]];
        });
    }
    FindAutoLevels();
}

void CorrectHeldPicture(int mode) {
    if (!Correctable || LoadResult != HeldAsDib)
        return;
    const bool automatic = currentAutoLevels().Auto;
    const Flags flags = withoutIdentities(flagsFor(mode), automatic);
    const HeldRows held(automatic);
    CorrectPixels(held.pixels, held.width, held.height, flags.tone, flags.colour);
}

void DrawCorrected(const QImage& source, platform::ImageControl& target, int mode) {
    if (!Correctable)
        return;
    const bool automatic = currentAutoLevels().Auto;
    const Flags flags = withoutIdentities(flagsFor(mode), automatic);

    if (LoadResult == HeldAsDib) {
        const HeldRows held(automatic);
        // Drawn straight through the tables, which leaves the held picture as it is and needs
        // no copy of it; written back, the held picture is corrected where it lies.
        if (WriteBack) {
            CorrectPixels(held.pixels, held.width, held.height, flags.tone, flags.colour);
            drawRows(target, held.pixels, held.width, held.height, nullptr);
        } else {
            drawCorrectedRows(target, held.pixels, held.width, held.height, flags);
        }
        return;
    }

    if (source.isNull())
        return;
    if (automatic)
        SampleBitmapLevels(source);
    else
        SetManualCurve();
    const auto dib = platform::imageToDib(source, 24);
    if (!dib)
        throw std::bad_alloc(); // a picture that cannot be read out has no memory to go to
    const auto* pixels = reinterpret_cast<const uint8_t*>(dib.value.constData()) + 40;
    drawCorrectedRows(target, pixels, source.width(), source.height(), flags);
}

void CorrectDibForExport(uint8_t* pixels, int32_t width, int32_t height) {
    const TCorrectionSettings& c = CorrectionSettings;
    CorrectPixels(pixels, width, height, !c.ToneBL, !c.CLBL);
}
