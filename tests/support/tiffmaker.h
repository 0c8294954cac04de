// Writes TIFF files of known content through libtiff: one page per QImage.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

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
};

// The TIFF file, pages in order. Throws std::runtime_error when libtiff refuses.
QByteArray makeTiff(const QList<QImage>& pages, const TiffOptions& options = {});

// makeTiff written to path (created or replaced). Throws std::runtime_error on failure.
void writeTiff(const QString& path, const QList<QImage>& pages, const TiffOptions& options = {});

// Sets a tag of the first directory of a little-endian classic TIFF to a single LONG value (the
// tag must be there already). For files that claim what their data cannot back.
void setTiffTag(QByteArray& tiff, uint16_t tag, uint32_t value);

} // namespace testsupport
