// Writes TIFF files of known content through libtiff: one page per QImage.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace testsupport {

enum class TiffPixels {
    Rgb,     // 8-bit R, G, B
    Rgba,    // 8-bit R, G, B and unassociated alpha (the image's alpha channel)
    Palette, // the Indexed8 image's indices and colour table, at paletteBits per pixel
    Grey,    // 8-bit grey levels
    Bilevel  // 1 bit: grey level 128 and above is white
};

// Jpeg needs 8-bit RGB or grey pages; Fax4 (CCITT group 4) needs bilevel pages.
enum class TiffCompression { None, Lzw, Deflate, PackBits, Jpeg, Fax4 };

enum class TiffResolutionUnit { None, Inch, Centimetre };

struct TiffResolution {
    float x = 72;
    float y = 72;
    TiffResolutionUnit unit = TiffResolutionUnit::Inch;
};

struct TiffOptions {
    TiffPixels pixels = TiffPixels::Rgb;
    TiffCompression compression = TiffCompression::None;
    int paletteBits = 8;       // Palette: 1, 2, 4 or 8; every index must fit
    bool minIsWhite = false;   // Grey and Bilevel: store 0 as white
    uint32_t rowsPerStrip = 0; // 0: libtiff's choice (about 8 KB a strip)
    uint32_t tileSize = 0;     // non-zero: square tiles of this size (a multiple of 16)
    bool bigEndian = false;    // "MM" instead of "II"
    bool bigTiff = false;
    std::optional<TiffResolution> resolution{};
    QByteArray description{}; // the ImageDescription tag when not empty
    uint16_t orientation = 0; // the Orientation tag when not 0
};

// The TIFF file, pages in order. Throws std::runtime_error when libtiff refuses.
QByteArray makeTiff(const QList<QImage>& pages, const TiffOptions& options = {});

// makeTiff written to path (created or replaced). Throws std::runtime_error on failure.
void writeTiff(const QString& path, const QList<QImage>& pages, const TiffOptions& options = {});

// A page given by its stored sample values, for what a QImage does not hold: samples of any
// width, signed and floating-point samples, CMYK and CIELab, alpha, planes stored apart. The
// tag values are libtiff's (PHOTOMETRIC_..., SAMPLEFORMAT_..., EXTRASAMPLE_...).
struct TiffSamples {
    uint32_t width = 1;
    uint32_t height = 1;
    uint16_t photometric = 1; // PHOTOMETRIC_MINISBLACK
    uint16_t bitsPerSample = 8;
    uint16_t sampleFormat = 1; // SAMPLEFORMAT_UINT
    uint16_t samplesPerPixel = 1;
    // width × height × samplesPerPixel values, pixel after pixel from the top left: integers as
    // their value (signed ones may be negative, and a CIELab a* or b* is signed), floating
    // point as it is.
    std::vector<double> values{};
    std::vector<uint16_t> extraSamples{}; // the kinds of the last samples
    bool separatePlanes = false;
    std::optional<std::pair<double, double>> sampleRange{}; // SMinSampleValue, SMaxSampleValue
    std::optional<std::pair<float, float>> whitePoint{};    // chromaticity x, y
    TiffCompression compression = TiffCompression::None;
    uint32_t rowsPerStrip = 0; // 0: libtiff's choice
    uint32_t tileSize = 0;     // non-zero: square tiles of this size (a multiple of 16)
    bool bigEndian = false;
};

// The one-page TIFF file of those samples. Throws std::runtime_error when libtiff refuses.
QByteArray makeSampleTiff(const TiffSamples& page);

// makeSampleTiff written to path (created or replaced). Throws std::runtime_error on failure.
void writeSampleTiff(const QString& path, const TiffSamples& page);

// page with its values filled for its size: sample s of pixel i is value(i, s).
template <class Value> TiffSamples withValues(TiffSamples page, Value value) {
    page.values.clear();
    for (size_t i = 0; i < size_t(page.width) * page.height; ++i)
        for (uint16_t s = 0; s < page.samplesPerPixel; ++s)
            page.values.push_back(double(value(i, s)));
    return page;
}

// Sets a tag of the first directory of a little-endian classic TIFF to a single LONG value (the
// tag must be there already). For files that claim what their data cannot back.
void setTiffTag(QByteArray& tiff, uint16_t tag, uint32_t value);

} // namespace testsupport
