// The first page of a TIFF file held in memory, read through libtiff without libtiff ever seeing a
// file name, and decoded into a DIB: 8 bits with a colour table for palette and greyscale pages
// (bilevel included), 24 bits for everything else. Colour pages go through libtiff's RGBA
// reader, except those whose samples it cannot read or reads wrongly (tiffsamples.h).
#pragma once

#include "plugins/common/spi_common.h"

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace iftiff {

// True for the little- and big-endian signatures of classic TIFF and BigTIFF.
bool hasTiffSignature(const uint8_t* data, size_t size);

// libtiff reports through process-wide handlers that print to stderr. A plug-in must stay silent
// and must not leave the host's handlers changed, so they are switched off for the lifetime of
// this object and then put back.
class QuietLibtiff {
public:
    QuietLibtiff();
    ~QuietLibtiff();
    QuietLibtiff(const QuietLibtiff&) = delete;
    QuietLibtiff& operator=(const QuietLibtiff&) = delete;

private:
    TIFFErrorHandler error_;
    TIFFErrorHandler warning_;
    TIFFErrorHandlerExt errorExt_;
    TIFFErrorHandlerExt warningExt_;
};

class TiffPicture {
public:
    TiffPicture() = default;
    TiffPicture(const TiffPicture&) = delete;
    TiffPicture& operator=(const TiffPicture&) = delete;

    // Opens the picture in data[0, size); the bytes must outlive this object. Returns
    // SPI_SUCCESS, SPI_UNKNOWN_FORMAT (no TIFF signature), SPI_BROKEN_DATA (libtiff cannot read
    // the first directory or its size is zero) or SPI_NO_MEMORY (a size beyond 32 bits).
    int32_t open(const uint8_t* data, size_t size);

    int32_t width() const { return int32_t(width_); }
    int32_t height() const { return int32_t(height_); }
    int16_t bitsPerPixel() const;
    spi::Densities densities() const;
    // The page's ImageDescription, shortened to a sensible length; empty when there is none.
    std::string text() const;

    // Decodes the page into dib. Returns SPI_SUCCESS, SPI_ABORTED, SPI_BROKEN_DATA,
    // SPI_NO_MEMORY, or SPI_UNKNOWN_FORMAT for a kind of page it does not read (a codec or a
    // sample layout libtiff has no way of decoding); dib holds a complete picture only on
    // success.
    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

    // Where reads stand in the caller's bytes; libtiff's client procedures work on it.
    struct MemoryStream {
        const uint8_t* data = nullptr;
        uint64_t size = 0;
        uint64_t position = 0;
    };

private:
    struct TiffCloser {
        void operator()(TIFF* tiff) const { TIFFClose(tiff); }
    };

    // Palette and grey pages keep their indices (8-bit DIB); the rest becomes 24-bit colour,
    // through libtiff's RGBA reader or from the samples themselves. Refused pages are of a kind
    // that cannot be read; broken ones contradict the format.
    enum class Route { Palette, Grey, Colour, Samples, Refused, Broken };

    Route route() const;
    int32_t checkDataCanHoldPage() const;
    int32_t decodeIndexed(spi::DibOutput& dib, bool palette, SpiProgressCallback progress,
                          int32_t lData);
    int32_t readIndexedStrips(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);
    int32_t readIndexedTiles(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);
    int32_t decodeColour(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

    // Declared first so that libtiff stays quiet until the handle below is closed.
    QuietLibtiff quiet_;
    MemoryStream stream_;
    std::unique_ptr<TIFF, TiffCloser> tiff_;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint16_t bitsPerSample_ = 1;
    uint16_t samplesPerPixel_ = 1;
    uint16_t photometric_ = PHOTOMETRIC_MINISWHITE;
    bool hasPhotometric_ = false;
    uint16_t sampleFormat_ = SAMPLEFORMAT_UINT;
    uint16_t compression_ = COMPRESSION_NONE;
    uint16_t planarConfig_ = PLANARCONFIG_CONTIG;
    bool tiled_ = false;
};

} // namespace iftiff
